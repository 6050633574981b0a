// The opt-in trace: HOSTCMD_TRACE names a file that receives one line per
// command line run and one per failed Windows call. The variable is read
// once, on first use; without it no file is ever opened.
#include <windows.h>

#include "platform/win32_lazy.h"
#include "platform/win32_trace.h"
#include "platform/win32_text.h"

namespace {
enum TraceState { traceUnknown, traceOff, traceOn };
TraceState state = traceUnknown;
// Kept as Windows gives it, in UTF-16: a name converted with best fit could
// name another file.
wchar_t traceFile[MAX_PATH];

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
        DWORD length = GetEnvironmentVariableW(L"HOSTCMD_TRACE", traceFile, MAX_PATH);
        state = length > 0 && length < MAX_PATH ? traceOn : traceOff;
        SetLastError(error);
    }
    return state == traceOn;
}

void appendTraceLine(const std::string& line) {
    if (!traceEnabled()) return;
    // The trace must not change what the traced program sees afterwards.
    DWORD error = GetLastError();
    // As every open of hostcmd: a pipe's server may identify the caller, never impersonate it.
    HANDLE file = CreateFileW(traceFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        std::string bytes = line + "\r\n";
        DWORD written = 0;
        SetFilePointer(file, 0, nullptr, FILE_END);
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    SetLastError(error);
}

namespace {
// A file's identity: its volume and its id on that volume.
struct OpenFileId {
    bool wide;  // from FileIdInfo: a 64-bit volume serial and a 128-bit id
    unsigned long long volume;
    unsigned char id[16];
};

// FILE_ID_INFO, for GetFileInformationByHandleEx's class FileIdInfo (18).
struct FileIdInformation {
    unsigned long long volumeSerialNumber;
    unsigned char fileId[16];
};
const int fileIdInfo = 18;

// The identity of an open file; false when it cannot be told. The 64-bit
// index of GetFileInformationByHandle is not unique on ReFS (Windows 11's Dev
// Drive, servers): FileIdInfo (Windows 8 and Server 2012 on; the Vista and 7
// GetFileInformationByHandleEx refuse the class) gives the 128-bit id. Some
// SMB servers answer an id of 0 for every file: no identity at all.
bool identify(HANDLE file, OpenFileId& identity) {
    identity = OpenFileId();
    using ByHandleEx = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    auto byHandleEx = lookedUp<ByHandleEx>("kernel32.dll", "GetFileInformationByHandleEx");
    FileIdInformation wide;
    if (byHandleEx && byHandleEx(file, fileIdInfo, &wide, sizeof wide)) {
        identity.wide = true;
        identity.volume = wide.volumeSerialNumber;
        for (int i = 0; i < 16; ++i) identity.id[i] = wide.fileId[i];
    } else {
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(file, &information)) return false;
        identity.volume = information.dwVolumeSerialNumber;
        unsigned long long index =
            static_cast<unsigned long long>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
        for (int i = 0; i < 8; ++i) identity.id[i] = static_cast<unsigned char>(index >> (8 * i));
    }
    for (unsigned char byte : identity.id)
        if (byte) return true;
    return false;
}
}  // namespace

bool isTraceFile(Handle file) {
    if (!traceEnabled()) return false;
    // The same file whatever its name (another case, a short name, a link):
    // the same volume and the same file id. An id that cannot be told never
    // makes a real batch file the trace file.
    DWORD error = GetLastError();
    bool same = false;
    HANDLE trace = CreateFileW(traceFile, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                               nullptr);
    if (trace != INVALID_HANDLE_VALUE) {
        OpenFileId opened, traced;
        same = identify(reinterpret_cast<HANDLE>(file), opened) && identify(trace, traced) &&
               opened.wide == traced.wide && opened.volume == traced.volume;
        for (int i = 0; same && i < 16; ++i) same = opened.id[i] == traced.id[i];
        CloseHandle(trace);
    }
    SetLastError(error);
    return same;
}

namespace {
void appendArgument(std::string& line, const TraceArgument& argument) {
    if (line.back() != '(') line += ", ";
    if (argument.asIs) {
        line += argument.text;
        return;
    }
    line += '"';
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(argument.text); *c; ++c) {
        if (*c == '\r') line += "<CR>";
        else if (*c == '\n') line += "<LF>";
        else if (*c == '\t') line += "<TAB>";
        else if (*c < 0x20 || *c == 0x7F) {
            line += "<0x";
            line += hexDigits[*c >> 4];
            line += hexDigits[*c & 15];
            line += '>';
        } else line += static_cast<char>(*c);
    }
    line += '"';
}

void finishLine(std::string& line, const std::string& failure, const TraceArgument* arguments, int count) {
    for (int i = 0; i < count && arguments[i].text; ++i) appendArgument(line, arguments[i]);
    line += ") failed: " + failure;
    appendTraceLine(line);
}

void finishFailure(std::string& line, unsigned long code, const TraceArgument* arguments, int count) {
    // Small codes are Win32 error numbers; HRESULTs read better in hex.
    finishLine(line, "error " + (code > 0xFFFF ? hexNumber(code) : std::to_string(code)), arguments, count);
}

std::string handleName(Handle handle) {
    switch (handle) {
        case rootClassesRoot: return "HKCR";
        case rootCurrentUser: return "HKCU";
        case rootLocalMachine: return "HKLM";
        case rootUsers: return "HKU";
        default: return "handle " + hexNumber(static_cast<unsigned long>(handle));
    }
}

std::string inexact(unsigned long character) {
    return codePointName(character) + " has no exact form in code page " + std::to_string(processCodePage());
}
}  // namespace

std::string codePointName(unsigned long character) {
    std::string digits = hexNumber(character).substr(2);
    while (digits.size() < 4) digits.insert(digits.begin(), '0');
    return "U+" + digits;
}

void traceFailure(const char* call, unsigned long code, TraceArgument a, TraceArgument b, TraceArgument c,
                  TraceArgument d) {
    if (!traceEnabled()) return;
    std::string line = std::string("    ") + call + "(";
    const TraceArgument arguments[] = {a, b, c, d};
    finishFailure(line, code, arguments, 4);
}

void traceHandleFailure(const char* call, unsigned long code, Handle handle, TraceArgument a, TraceArgument b,
                        TraceArgument c) {
    if (!traceEnabled()) return;
    std::string line = std::string("    ") + call + "(" + handleName(handle);
    const TraceArgument arguments[] = {a, b, c};
    finishFailure(line, code, arguments, 3);
}

void traceInexact(const char* call, unsigned long character, TraceArgument a, TraceArgument b) {
    if (!traceEnabled()) return;
    std::string line = std::string("    ") + call + "(";
    const TraceArgument arguments[] = {a, b};
    finishLine(line, inexact(character), arguments, 2);
}

void traceHandleInexact(const char* call, unsigned long character, Handle handle, TraceArgument a) {
    if (!traceEnabled()) return;
    std::string line = std::string("    ") + call + "(" + handleName(handle);
    const TraceArgument arguments[] = {a};
    finishLine(line, inexact(character), arguments, 1);
}
