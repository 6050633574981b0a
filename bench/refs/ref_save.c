/* Throughput reference: the create/write/close calls of N "save" commands,
 * made directly. Usage: ref_save.exe <count> <folder>; file i is
 * <folder>\f<i>.txt holding "line <i>", as in the batch file it is compared
 * with. No C runtime, like ref_empty. */
#include <windows.h>

static char* append(char* at, const char* text) {
    while (*text) *at++ = *text++;
    return at;
}

static char* appendNumber(char* at, unsigned value) {
    char digits[12];
    int n = 0;
    do digits[n++] = (char)('0' + value % 10); while (value /= 10);
    while (n) *at++ = digits[--n];
    return at;
}

static const char* skipArgument(const char* at) {
    while (*at == ' ') ++at;
    if (*at == '"') {
        for (++at; *at && *at != '"'; ++at) {}
        if (*at) ++at;
    } else {
        while (*at && *at != ' ') ++at;
    }
    while (*at == ' ') ++at;
    return at;
}

void start(void) {
    const char* at = skipArgument(GetCommandLineA());
    unsigned count = 0;
    while (*at >= '0' && *at <= '9') count = count * 10 + (unsigned)(*at++ - '0');
    while (*at == ' ') ++at;
    const char* folder = at;
    if (GetCommandLineA()[0] == 1) RegCloseKey(NULL);
    for (unsigned i = 0; i < count; ++i) {
        char name[MAX_PATH], text[32];
        char* end = appendNumber(append(append(name, folder), "\\f"), i);
        append(end, ".txt")[0] = 0;
        char* textEnd = appendNumber(append(text, "line "), i);
        HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(file, text, (DWORD)(textEnd - text), &written, NULL);
            CloseHandle(file);
        }
    }
    ExitProcess(0);
}
