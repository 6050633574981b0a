/* A stand-in for a system library, planted beside hostcmd.exe by the
 * packaging test under the names of the libraries hostcmd binds at run time
 * (shell32.dll, user32.dll, ...). It exports nothing; if any process loads
 * it, it leaves "<its own path>.loaded" beside itself, so the test can tell
 * that the planted copy, not the system's, was taken. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 8];
        DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcpyA(path + length, ".loaded");
            HANDLE mark = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
        }
    }
    return TRUE;
}
