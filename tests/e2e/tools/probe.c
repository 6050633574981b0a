/* probe.exe: makes one known Win32 call and writes what it returned, so
 * that the harness can check its own tools and the prefix it prepared
 * (answerer, recorder file type, CD-ROM drives) without the program under
 * test.
 *
 *   probe.exe <result file> box <caption> <text> <style>
 *   probe.exe <result file> save|open <title> <initial dir> <file name>
 *   probe.exe <result file> folder <title>
 *   probe.exe <result file> shell <verb> <file> <parameters or ->
 *   probe.exe <result file> drive <root> <name>
 *   probe.exe <result file> short <path>
 *   probe.exe <result file> crash <anything>
 *
 * The result file receives "result=<return value>" and, for the dialogs,
 * a second line "path=<chosen path>"; for "drive" the result is
 * GetDriveTypeA of the root and "found=<0|1>" tells whether root+name
 * exists; "short" answers GetShortPathNameA's length and the short path.
 * "crash" writes through a null pointer, an unhandled page fault (the
 * prefix must end the process at once rather than start a debugger).
 * In texts, "\n" stands for CR LF. */
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void unescape(char *s)
{
    char *out = s;
    for (; *s; s++) {
        if (s[0] == '\\' && s[1] == 'n') {
            *out++ = '\r';
            *out++ = '\n';
            s++;
        } else {
            *out++ = *s;
        }
    }
    *out = '\0';
}

static void writeResult(const char *path, long result, const char *chosen)
{
    FILE *f = fopen(path, "wb");
    if (!f) return;
    fprintf(f, "result=%ld\n", result);
    if (chosen) fprintf(f, "path=%s\n", chosen);
    fclose(f);
}

int main(int argc, char **argv)
{
    if (argc < 4) return 2;
    const char *out = argv[1];
    const char *kind = argv[2];
    if (strcmp(kind, "box") == 0 && argc >= 6) {
        unescape(argv[4]);
        int r = MessageBoxA(NULL, argv[4], argv[3], (UINT)strtoul(argv[5], NULL, 0));
        writeResult(out, r, NULL);
        return 0;
    }
    if ((strcmp(kind, "save") == 0 || strcmp(kind, "open") == 0) && argc >= 6) {
        char file[MAX_PATH];
        lstrcpynA(file, argv[5], sizeof file);
        OPENFILENAMEA ofn;
        ZeroMemory(&ofn, sizeof ofn);
        ofn.lStructSize = sizeof ofn;
        ofn.lpstrFilter = "Text files\0*.txt\0\0";
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file;
        ofn.nMaxFile = sizeof file;
        ofn.lpstrInitialDir = argv[4];
        ofn.lpstrTitle = argv[3];
        BOOL r;
        if (strcmp(kind, "save") == 0) {
            ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_SHAREAWARE;
            r = GetSaveFileNameA(&ofn);
        } else {
            ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_SHAREAWARE;
            r = GetOpenFileNameA(&ofn);
        }
        writeResult(out, r, r ? file : "");
        return 0;
    }
    if (strcmp(kind, "folder") == 0) {
        char display[MAX_PATH], path[MAX_PATH];
        BROWSEINFOA bi;
        ZeroMemory(&bi, sizeof bi);
        bi.pszDisplayName = display;
        bi.lpszTitle = argv[3];
        bi.ulFlags = BIF_RETURNONLYFSDIRS;
        LPITEMIDLIST item = SHBrowseForFolderA(&bi);
        path[0] = '\0';
        if (item) {
            SHGetPathFromIDListA(item, path);
            CoTaskMemFree(item);
        }
        writeResult(out, item != NULL, path);
        return 0;
    }
    if (strcmp(kind, "shell") == 0 && argc >= 6) {
        const char *params = strcmp(argv[5], "-") == 0 ? NULL : argv[5];
        HINSTANCE r = ShellExecuteA(NULL, argv[3], argv[4], params, NULL, SW_SHOWNORMAL);
        writeResult(out, (long)(INT_PTR)r, NULL);
        return 0;
    }
    if (strcmp(kind, "drive") == 0 && argc >= 5) {
        char path[MAX_PATH];
        UINT type = GetDriveTypeA(argv[3]);
        lstrcpynA(path, argv[3], sizeof path);
        lstrcatA(path, argv[4]);
        FILE *f = fopen(out, "wb");
        if (!f) return 2;
        fprintf(f, "result=%u\nfound=%d\n", type,
                GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES);
        fclose(f);
        return 0;
    }
    if (strcmp(kind, "short") == 0) {
        char path[MAX_PATH];
        DWORD length = GetShortPathNameA(argv[3], path, sizeof path);
        writeResult(out, (long)length, length && length < sizeof path ? path : "");
        return 0;
    }
    if (strcmp(kind, "crash") == 0) {
        writeResult(out, 0, NULL);
        *(volatile int *)(INT_PTR)atoi("0") = 1;
        return 3;
    }
    return 2;
}
