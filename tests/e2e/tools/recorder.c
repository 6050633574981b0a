/* recorder.exe: stands in for an application started through the shell.
 * It appends one JSON line holding its full command line (GetCommandLineA)
 * and its current directory to a log file, then ends with exit code 0.
 * The log file is named by the environment variable E2E_RECORDER_LOG, or is
 * C:\e2e\recorder.log when that is not set. */
#include <windows.h>
#include <stdlib.h>
#include "jsonbytes.h"

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR tail, int show)
{
    (void)inst; (void)prev; (void)tail; (void)show;
    char logPath[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("E2E_RECORDER_LOG", logPath, sizeof logPath);
    if (n == 0 || n >= sizeof logPath) lstrcpyA(logPath, "C:\\e2e\\recorder.log");

    char cwd[MAX_PATH + 1];
    DWORD cwdLen = GetCurrentDirectoryA(sizeof cwd, cwd);
    if (cwdLen >= sizeof cwd) cwdLen = 0;

    const char *cmd = GetCommandLineA();
    OutBuf b = {0};
    outText(&b, "{\"cmdline\": ");
    outJsonBytes(&b, cmd, strlen(cmd));
    outText(&b, ", \"cwd\": ");
    outJsonBytes(&b, cwd, cwdLen);
    outText(&b, ", \"pid\": ");
    outJsonInt(&b, (long)GetCurrentProcessId());
    outText(&b, "}\n");

    /* Several recorders may start at once: append under a retry loop so that
     * a sharing violation does not lose a record. */
    for (int attempt = 0; attempt < 200; attempt++) {
        HANDLE h = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(h, b.data, (DWORD)b.len, &written, NULL);
            CloseHandle(h);
            break;
        }
        Sleep(10);
    }
    free(b.data);
    return 0;
}
