// The opt-in trace: HOSTCMD_TRACE names a file that receives one line per
// command line run and one per failed Windows call. The variable is read
// once, on first use; without it no file is ever opened.
#include <windows.h>

#include "platform/win32_trace.h"

namespace {
enum TraceState { traceUnknown, traceOff, traceOn };
TraceState state = traceUnknown;
char traceFile[MAX_PATH];

const char* hexDigits = "0123456789ABCDEF";

std::string hexNumber(unsigned long value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), hexDigits[value & 15]);
        value >>= 4;
    } while (value);
    return "0x" + digits;
}
}  // namespace

bool traceEnabled() {
    if (state == traceUnknown) {
        DWORD error = GetLastError();
        DWORD length = GetEnvironmentVariableA("HOSTCMD_TRACE", traceFile, MAX_PATH);
        state = length > 0 && length < MAX_PATH ? traceOn : traceOff;
        SetLastError(error);
    }
    return state == traceOn;
}

void appendTraceLine(const std::string& line) {
    if (!traceEnabled()) return;
    // The trace must not change what the traced program sees afterwards.
    DWORD error = GetLastError();
    HANDLE file = CreateFileA(traceFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        std::string bytes = line + "\r\n";
        DWORD written = 0;
        SetFilePointer(file, 0, nullptr, FILE_END);
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    SetLastError(error);
}

std::string tracedText(const std::string& text) {
    std::string shown = "\"";
    for (unsigned char c : text) {
        if (c == '\r') {
            shown += "<CR>";
        } else if (c == '\n') {
            shown += "<LF>";
        } else if (c == '\t') {
            shown += "<TAB>";
        } else if (c < 0x20 || c == 0x7F) {
            shown += "<0x";
            shown += hexDigits[c >> 4];
            shown += hexDigits[c & 15];
            shown += '>';
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown + "\"";
}

std::string tracedKey(Handle key) {
    switch (key) {
        case rootClassesRoot: return "HKCR";
        case rootCurrentUser: return "HKCU";
        case rootLocalMachine: return "HKLM";
        case rootUsers: return "HKU";
        default: return "key " + hexNumber(static_cast<unsigned long>(key));
    }
}

void traceFailure(const char* call, unsigned long code, std::initializer_list<std::string> arguments) {
    if (!traceEnabled()) return;
    std::string line = "    ";
    line += call;
    line += "(";
    bool first = true;
    for (const std::string& argument : arguments) {
        if (!first) line += ", ";
        line += argument;
        first = false;
    }
    // Small codes are Win32 error numbers; HRESULTs read better in hex.
    line += ") failed: error " + (code > 0xFFFF ? hexNumber(code) : std::to_string(code));
    appendTraceLine(line);
}
