// Process, file and directory calls (kernel32).
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32_text.h"
#include "platform/win32_trace.h"

bool platformCommandLine(std::string& line) {
    // GetCommandLineA is the best-fit form of the UTF-16 line a Unicode host wrote.
    const wchar_t* wide = GetCommandLineW();
    unsigned long missing = 0;
    if (!wide || exactText(wide, wideLength(wide), line, missing)) return true;
    if (traceEnabled())
        appendTraceLine("the command line holds " + codePointName(missing) + ", which has no exact form in code page " +
                        std::to_string(processCodePage()) + ": nothing runs");
    return false;
}

namespace {
UINT foundErrorMode;
bool errorModeKept;
}  // namespace

void platformQuietErrorMode() {
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    if (errorModeKept) return;
    foundErrorMode = previous;
    errorModeKept = true;
}

// Inherited by every process created while it is set (CreateProcess without CREATE_DEFAULT_ERROR_MODE).
void platformStartErrorMode() { SetErrorMode(foundErrorMode); }

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

// Windows before 10 version 1903 ignores the manifest's activeCodePage and keeps the ANSI code page.
unsigned activeCodePage() { return GetACP(); }

Handle openFileForReading(const std::string& name) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        traceFailure("CreateFileA", GetLastError(), name.c_str(), traceAsIs "GENERIC_READ", traceAsIs "OPEN_EXISTING");
        return 0;
    }
    // A device (COM1, CON, a pipe) would block ReadFile for ever: only disk files are read.
    DWORD type = GetFileType(file);
    if (type == FILE_TYPE_DISK) return reinterpret_cast<Handle>(file);
    traceFailure("GetFileType", type, name.c_str());
    CloseHandle(file);
    return 0;
}

Handle createFileForWriting(const std::string& name) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return reinterpret_cast<Handle>(file);
    traceFailure("CreateFileA", GetLastError(), name.c_str(), traceAsIs "GENERIC_WRITE", traceAsIs "CREATE_ALWAYS");
    return 0;
}

long readFileBytes(Handle file, char* buffer, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(size), &got, nullptr)) {
        traceHandleFailure("ReadFile", GetLastError(), file);
        return -1;
    }
    return static_cast<long>(got);
}

bool writeFileBytes(Handle file, const char* bytes, std::size_t size) {
    DWORD written = 0;
    // WriteFile with zero bytes succeeds and leaves the file empty.
    if (WriteFile(reinterpret_cast<HANDLE>(file), bytes, static_cast<DWORD>(size), &written, nullptr) &&
        written == size)
        return true;
    traceHandleFailure("WriteFile", GetLastError(), file);
    return false;
}

void closeFile(Handle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

bool deleteFile(const std::string& path) {
    if (DeleteFileA(path.c_str())) return true;
    traceFailure("DeleteFileA", GetLastError(), path.c_str());
    return false;
}

bool copyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    if (CopyFileA(source.c_str(), destination.c_str(), failIfExists ? TRUE : FALSE)) return true;
    traceFailure("CopyFileA", GetLastError(), source.c_str(), destination.c_str(),
                 failIfExists ? traceAsIs "TRUE" : traceAsIs "FALSE");
    return false;
}

bool createDirectory(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    traceFailure("CreateDirectoryA", GetLastError(), path.c_str(), traceAsIs "NULL");
    return false;
}

bool removeDirectory(const std::string& path) {
    if (RemoveDirectoryA(path.c_str())) return true;
    traceFailure("RemoveDirectoryA", GetLastError(), path.c_str());
    return false;
}

bool findFirstFile(const std::string& pattern) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        traceFailure("FindFirstFileA", GetLastError(), pattern.c_str());
        return false;
    }
    FindClose(search);
    return true;
}

bool clearReadOnly(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        traceFailure("GetFileAttributesA", GetLastError(), path.c_str());
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return true;
    // Only the read-only bit goes; hidden, system and archive stay as copied.
    if (SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) return true;
    traceFailure("SetFileAttributesA", GetLastError(), path.c_str(), traceAsIs "read-only off");
    return false;
}

bool getCurrentDirectory(std::string& directory) {
    wchar_t buffer[MAX_PATH];
    // 0 is a failure; MAX_PATH or more the size the answer would need.
    DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH) return false;
    return exactDirectory("GetCurrentDirectoryW", buffer, directory);
}

bool setCurrentDirectory(const std::string& directory) {
    if (SetCurrentDirectoryA(directory.c_str())) return true;
    traceFailure("SetCurrentDirectoryA", GetLastError(), directory.c_str());
    return false;
}

std::string fullPathName(const std::string& name) {
    wchar_t path[MAX_PATH];
    wchar_t* filePart = nullptr;
    DWORD length = GetFullPathNameW(wideText(name).c_str(), MAX_PATH, path, &filePart);
    // 0 is a failure; MAX_PATH or more is the size the answer would need.
    std::string full;
    if (length == 0 || length >= MAX_PATH || !exactAnswer("GetFullPathNameW", path, full, name.c_str())) return name;
    return full;
}

namespace {
// The answer of a GetWindowsDirectoryW-like call into 260 wide characters: 0
// is a failure, 260 or more the size that would have been needed.
bool directoryAnswer(const char* call, UINT length, const wchar_t* buffer, std::string& directory) {
    if (length == 0 || length >= MAX_PATH) return false;
    return exactDirectory(call, buffer, directory);
}
}  // namespace

bool getWindowsDirectory(std::string& directory) {
    wchar_t buffer[MAX_PATH];
    return directoryAnswer("GetWindowsDirectoryW", GetWindowsDirectoryW(buffer, MAX_PATH), buffer, directory);
}

bool getTempPath(std::string& directory) {
    wchar_t buffer[MAX_PATH];
    return directoryAnswer("GetTempPathW", GetTempPathW(MAX_PATH, buffer), buffer, directory);
}

bool getSystemDirectory(std::string& directory) {
    wchar_t buffer[MAX_PATH];
    return directoryAnswer("GetSystemDirectoryW", GetSystemDirectoryW(buffer, MAX_PATH), buffer, directory);
}

unsigned getDriveType(const std::string& root) { return GetDriveTypeA(root.c_str()); }
