// Process, file and directory calls (kernel32).
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32_lazy.h"
#include "platform/win32_changes.h"
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
const UINT quietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;

// Every file hostcmd opens: a pipe's server may identify the caller, never
// impersonate it (without the flags it gets impersonation, and an elevated
// hostcmd would lend it an administrator's token).
const DWORD openFlags = FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
}  // namespace

// SetErrorMode is one mode for the whole process, and a program the shell
// starts inherits it: switched quiet, the started programs would lose their
// crash and missing-DLL reports; switched back for the start, hostcmd's own
// thread could raise the "No Disk" box the host cannot see. Windows 7 brought
// a mode per thread that ends the trade.
bool quietThreadErrorMode() {
    auto setThreadMode = lookedUp<BOOL(WINAPI*)(DWORD, LPDWORD)>("kernel32.dll", "SetThreadErrorMode");
    return setThreadMode && setThreadMode(quietErrorMode, nullptr);
}

void platformQuietErrorMode() {
    UINT previous = SetErrorMode(quietErrorMode);
    if (errorModeKept) return;
    foundErrorMode = previous;
    errorModeKept = true;
}

// Inherited by every process created while it is set (CreateProcess without CREATE_DEFAULT_ERROR_MODE).
void platformStartErrorMode() { SetErrorMode(foundErrorMode); }

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

unsigned long windowsVersion() {
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof info;
    // Without the manifest's supportedOS entries 8.1 and later would say 6.2.
    if (!GetVersionExA(&info)) return 0;
    return (info.dwMajorVersion & 0xFF) << 24 | (info.dwMinorVersion & 0xFF) << 16 | (info.dwBuildNumber & 0xFFFF);
}

bool processSession(unsigned long& session) {
    DWORD id = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &id)) {
        traceFailure("ProcessIdToSessionId", GetLastError(), traceAsIs "GetCurrentProcessId()");
        return false;
    }
    session = id;
    return true;
}

// Windows before 10 version 1903 ignores the manifest's activeCodePage and keeps the ANSI code page.
unsigned activeCodePage() { return GetACP(); }

Handle openFileForReading(const std::string& name) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, openFlags, nullptr);
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
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, openFlags,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        // CREATE_ALWAYS succeeds with ERROR_ALREADY_EXISTS when it truncated a file that was there.
        reportChange(changeFile, GetLastError() != ERROR_ALREADY_EXISTS, 0, name);
        return reinterpret_cast<Handle>(file);
    }
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

bool flushFileBuffers(Handle file) {
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(file))) return true;
    traceHandleFailure("FlushFileBuffers", GetLastError(), file);
    return false;
}

void closeFile(Handle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

bool deleteFile(const std::string& path) {
    if (DeleteFileA(path.c_str())) return true;
    traceFailure("DeleteFileA", GetLastError(), path.c_str());
    return false;
}

unsigned long copyToNewFile(const std::string& source, const std::string& destination) {
    if (!CopyFileA(source.c_str(), destination.c_str(), TRUE)) {
        DWORD error = GetLastError();
        traceFailure("CopyFileA", error, source.c_str(), destination.c_str(), traceAsIs "TRUE");
        return error;
    }
    // CopyFileA returns with the data still in the cache. FlushFileBuffers
    // needs a handle open for writing, which a read-only file refuses: the
    // copy (a name no one else uses yet) loses the attribute while it is
    // flushed and gets it back.
    DWORD attributes = GetFileAttributesA(destination.c_str());
    bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly && !SetFileAttributesA(destination.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) readOnly = false;
    HANDLE copy = CreateFileA(destination.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              openFlags, nullptr);
    DWORD error = 0;
    if (copy == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        traceFailure("CreateFileA", error, destination.c_str(), traceAsIs "GENERIC_WRITE", traceAsIs "OPEN_EXISTING");
    } else {
        if (!FlushFileBuffers(copy)) {
            error = GetLastError();
            traceFailure("FlushFileBuffers", error, destination.c_str());
        }
        CloseHandle(copy);
    }
    if (readOnly && !SetFileAttributesA(destination.c_str(), attributes) && !error) {
        error = GetLastError();
        traceFailure("SetFileAttributesA", error, destination.c_str());
    }
    return error;
}

Handle createNewFile(const std::string& name, unsigned long& error) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              openFlags, nullptr);
    if (file != INVALID_HANDLE_VALUE) return reinterpret_cast<Handle>(file);
    error = GetLastError();
    traceFailure("CreateFileA", error, name.c_str(), traceAsIs "GENERIC_WRITE", traceAsIs "CREATE_NEW");
    return 0;
}

bool putFileInPlace(const std::string& from, const std::string& to, bool replaceExisting) {
    // Without MOVEFILE_COPY_ALLOWED a move across volumes fails instead of
    // becoming a copy that could be seen half made.
    bool existed = changesObserved() && nameExistsNow(to);
    if (MoveFileExA(from.c_str(), to.c_str(), replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0)) {
        reportChange(changeFile, !existed, 0, to);
        return true;
    }
    traceFailure("MoveFileExA", GetLastError(), from.c_str(), to.c_str(),
                 replaceExisting ? traceAsIs "MOVEFILE_REPLACE_EXISTING" : traceAsIs "0");
    return false;
}

bool fileIdentity(const std::string& name, FileIdentity& identity) {
    DWORD error = GetLastError();
    // No access asked: the attributes and the index can be read even of a
    // file another process holds open without sharing. Without
    // FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
    HANDLE file = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, openFlags, nullptr);
    bool found = false;
    if (file != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION information;
        // A device (COM1, NUL) opens too, and is no file.
        found = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information);
        if (found) {
            identity.attributes = information.dwFileAttributes;
            identity.volume = information.dwVolumeSerialNumber;
            identity.indexHigh = information.nFileIndexHigh;
            identity.indexLow = information.nFileIndexLow;
        }
        CloseHandle(file);
    }
    SetLastError(error);
    return found;
}

bool createDirectory(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) {
        reportChange(changeDirectory, true, 0, path);
        return true;
    }
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

bool volumePathName(const std::string& path, std::string& root) {
    auto getVolumePath = lookedUp<BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD)>("kernel32.dll", "GetVolumePathNameA");
    if (!getVolumePath) return false;
    char buffer[MAX_PATH + 1] = "";
    if (!getVolumePath(path.c_str(), buffer, sizeof buffer)) {
        traceFailure("GetVolumePathNameA", GetLastError(), path.c_str());
        return false;
    }
    buffer[MAX_PATH] = 0;
    root = buffer;
    // A "\\?\" name keeps its prefix in the answer ("\\?\E:\"): the plain
    // drive or share root is what every GetDriveTypeA of XP to 11 reads.
    if (root.compare(0, 4, "\\\\?\\") == 0) {
        if (root.size() >= 7 && root[5] == ':' && root[6] == '\\') root.erase(0, 4);
        else if (root.size() > 8 && (root[4] | 0x20) == 'u' && (root[5] | 0x20) == 'n' && (root[6] | 0x20) == 'c' &&
                 root[7] == '\\')
            root = "\\\\" + root.substr(8);
    }
    return !root.empty();
}

bool volumeReadOnly(const std::string& root) {
    DWORD flags = 0;
    if (!GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
        traceFailure("GetVolumeInformationA", GetLastError(), root.c_str());
        return false;
    }
    return (flags & FILE_READ_ONLY_VOLUME) != 0;
}

namespace {
std::uint64_t joined(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }
}  // namespace

bool fileFacts(const std::string& name, FileFacts& facts) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    // A symbolic link or junction is answered about itself, never its target.
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) {
        traceFailure("GetFileAttributesExA", GetLastError(), name.c_str());
        return false;
    }
    facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.reparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts.size = facts.directory ? 0 : joined(data.nFileSizeHigh, data.nFileSizeLow);
    facts.lastWritten = joined(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool ownProgramPath(std::string& path) {
    wchar_t buffer[MAX_PATH];
    // A path that does not fit is cut to 259 characters and answers MAX_PATH (XP: without its zero byte).
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        traceFailure("GetModuleFileNameW", length ? ERROR_INSUFFICIENT_BUFFER : GetLastError(), traceAsIs "NULL");
        return false;
    }
    buffer[length] = 0;
    // Like a directory, the program's own file is reached by its short name
    // where the long one has no exact form: both name the one file.
    return exactDirectory("GetModuleFileNameW", buffer, path, traceAsIs "NULL");
}

bool claimNamedMutex(const std::string& name, Handle& mutex) {
    HANDLE made = CreateMutexA(nullptr, FALSE, name.c_str());
    DWORD error = GetLastError();
    // An existing mutex comes back as a handle with ERROR_ALREADY_EXISTS; one
    // another account made, which this one may not open, as NULL with ERROR_ACCESS_DENIED.
    if (made && error != ERROR_ALREADY_EXISTS) {
        mutex = reinterpret_cast<Handle>(made);
        return true;
    }
    if (made) CloseHandle(made);
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) return false;
    traceFailure("CreateMutexA", error, name.c_str());
    mutex = 0;
    return true;
}

void releaseNamedMutex(Handle mutex) {
    if (mutex) CloseHandle(reinterpret_cast<HANDLE>(mutex));
}

bool getTempFileName(const std::string& directory, const std::string& prefix, std::string& path) {
    char buffer[MAX_PATH];
    // With 0 as the number Windows tries names until one is free, and creates it.
    if (!GetTempFileNameA(directory.c_str(), prefix.c_str(), 0, buffer)) {
        traceFailure("GetTempFileNameA", GetLastError(), directory.c_str(), prefix.c_str());
        return false;
    }
    path = buffer;
    return true;
}

bool deleteAtRestart(const std::string& path) {
    // Recorded in HKLM (PendingFileRenameOperations): ERROR_ACCESS_DENIED for a user who is no administrator.
    if (MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
    traceFailure("MoveFileExA", GetLastError(), path.c_str(), traceAsIs "NULL", traceAsIs "MOVEFILE_DELAY_UNTIL_REBOOT");
    return false;
}

void localDate(int& year, int& month, int& day) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    year = now.wYear;
    month = now.wMonth;
    day = now.wDay;
}
