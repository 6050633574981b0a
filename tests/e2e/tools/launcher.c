/* launcher.exe: starts a program with a command line taken byte for byte
 * from a file, so that no argument quoting of Wine or of a C runtime stands
 * between an end-to-end test and the program under test.
 *
 *   launcher.exe [--utf8] [--limited] <program path> <command line file> <timeout ms> [<status file>]
 *
 * The command line file holds the whole raw command line, program part
 * included; its bytes are passed unchanged as lpCommandLine of CreateProcessA
 * (a NUL byte in the file would end the line early, so none may be there).
 * The program path is passed as lpApplicationName; a program path of "*"
 * passes NULL instead, so that Windows finds the program in the command
 * line's first part, as it does for a command line such as an uninstall
 * string of Windows' list.  The child inherits the launcher's current
 * directory.
 *
 * With --utf8 the file (and the program path) are UTF-8: both are converted
 * with MultiByteToWideChar(CP_UTF8) and the child is started with
 * CreateProcessW, so that characters the launcher's own ANSI code page
 * cannot spell reach the child intact (it reads them back as UTF-16, or as
 * its own process code page).  Invalid UTF-8 is refused as unreadable.
 *
 * With --limited the child gets the limited token linked to the launcher's
 * own (TokenLinkedToken, CreateProcessAsUser): Wine starts every process
 * with an elevated administrator's token, and this is the token an
 * administrator's programs get under UAC, which Wine reports as
 * TokenElevationTypeLimited and not elevated.  The launcher refuses (status
 * "startfail limited <error>") when Wine gives no such token.
 *
 * Exit code: the child's exit code when it ended in time (only its low 8 bits
 * reach a Unix caller, so the status file carries the full value), or
 *   250 bad usage, 251 command line file unreadable, 252 CreateProcessA
 *   failed, 253 the child did not end in time (it has been terminated).
 * The status file, when named, receives one line: "exit <code>",
 * "timeout", "startfail <GetLastError>" or "readfail".
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void writeStatus(const char *path, const char *text)
{
    if (!path) return;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(h, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(h);
}

static char *readWholeFile(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return NULL;
    DWORD size = GetFileSize(h, NULL);
    if (size == INVALID_FILE_SIZE) { CloseHandle(h); return NULL; }
    char *buf = (char *)malloc(size + 1);
    DWORD got = 0;
    if (!buf || !ReadFile(h, buf, size, &got, NULL) || got != size) {
        CloseHandle(h);
        free(buf);
        return NULL;
    }
    CloseHandle(h);
    buf[size] = '\0';
    return buf;
}

/* The UTF-8 text as UTF-16, or NULL when it is not valid UTF-8. */
static WCHAR *utf8ToWide(const char *text)
{
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, NULL, 0);
    if (n <= 0) return NULL;
    WCHAR *wide = (WCHAR *)malloc(n * sizeof(WCHAR));
    if (wide && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, n) != n) {
        free(wide);
        return NULL;
    }
    return wide;
}

/* The limited token linked to this process's elevated one, or NULL. */
static HANDLE limitedToken(DWORD *error)
{
    HANDLE own = NULL;
    TOKEN_LINKED_TOKEN linked;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    linked.LinkedToken = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) ||
        !GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
        *error = GetLastError();
        if (own) CloseHandle(own);
        return NULL;
    }
    CloseHandle(own);
    if (!GetTokenInformation(linked.LinkedToken, TokenElevationType, &type, sizeof type, &size) ||
        type != TokenElevationTypeLimited) {
        *error = ERROR_NO_SUCH_LOGON_SESSION;
        CloseHandle(linked.LinkedToken);
        return NULL;
    }
    return linked.LinkedToken;
}

int main(int argc, char **argv)
{
    int utf8 = 0, limited = 0;
    while (argc > 1 && (strcmp(argv[1], "--utf8") == 0 || strcmp(argv[1], "--limited") == 0)) {
        if (strcmp(argv[1], "--utf8") == 0) utf8 = 1;
        else limited = 1;
        --argc;
        ++argv;
    }
    if (argc < 4) {
        fprintf(stderr, "usage: launcher.exe [--utf8] [--limited] <program> <cmdline file> <timeout ms> [<status file>]\n");
        return 250;
    }
    const char *program = strcmp(argv[1], "*") == 0 ? NULL : argv[1];
    const char *statusPath = argc > 4 ? argv[4] : NULL;
    DWORD timeoutMs = (DWORD)strtoul(argv[3], NULL, 10);

    char *cmdline = readWholeFile(argv[2]);
    if (!cmdline) {
        writeStatus(statusPath, "readfail\n");
        return 251;
    }

    HANDLE token = NULL;
    if (limited) {
        DWORD error = 0;
        token = limitedToken(&error);
        if (!token) {
            char text[64];
            sprintf(text, "startfail limited %lu\n", (unsigned long)error);
            writeStatus(statusPath, text);
            return 252;
        }
    }

    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    BOOL started;
    if (utf8) {
        WCHAR *wideProgram = program ? utf8ToWide(program) : NULL, *wideLine = utf8ToWide(cmdline);
        if ((program && !wideProgram) || !wideLine) {
            writeStatus(statusPath, "readfail\n");
            return 251;
        }
        STARTUPINFOW si;
        ZeroMemory(&si, sizeof si);
        si.cb = sizeof si;
        started = token ? CreateProcessAsUserW(token, wideProgram, wideLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)
                        : CreateProcessW(wideProgram, wideLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi);
    } else {
        STARTUPINFOA si;
        ZeroMemory(&si, sizeof si);
        si.cb = sizeof si;
        started = token ? CreateProcessAsUserA(token, program, cmdline, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)
                        : CreateProcessA(program, cmdline, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi);
    }
    if (token) CloseHandle(token);
    if (!started) {
        char text[64];
        sprintf(text, "startfail %lu\n", (unsigned long)GetLastError());
        writeStatus(statusPath, text);
        return 252;
    }
    CloseHandle(pi.hThread);

    if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 253);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        writeStatus(statusPath, "timeout\n");
        return 253;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    char text[64];
    sprintf(text, "exit %lu\n", (unsigned long)code);
    writeStatus(statusPath, text);
    return (int)code;
}
