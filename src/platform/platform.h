// The one seam between hostcmd and Windows.
//
// One plain function per platform call the commands make, with the commands'
// own arguments and a plain result. src/platform/win32*.cpp implements them
// with the real API (USER32, SHELL32, OLE32 and COMDLG32 bound lazily, by full
// path from the system directory); the unit tests and hostcmd-sim link
// memory_*.cpp (memory_platform.h), which models files, registry, drives, boxes and dialogs
// in memory and can fail any call.
// Nothing outside this folder includes <windows.h>.
//
// Texts are std::string of ANSI bytes. A text handed to Windows is passed as a
// pointer to its bytes (an empty text as "", never as a null pointer) unless a
// function says otherwise. Handles are opaque numbers; 0 means "none".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef std::uintptr_t Handle;

// ---- process ---------------------------------------------------------------

// The whole process command line as GetCommandLineA gives it.
std::string platformCommandLine();
// SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX):
// no "insert a disk" or crash dialog may ever block the host waiting for us.
// The mode found at the first call is kept for the programs the shell starts.
void platformQuietErrorMode();
// SetErrorMode(the mode kept by platformQuietErrorMode): a started program
// inherits the error mode, and with it Windows' own missing-DLL and crash reports.
void platformStartErrorMode();
// IsDBCSLeadByte: whether the byte opens a double-byte character in the ANSI code page.
bool isLeadByte(unsigned char byte);
// Whether the process works in UTF-8: only hostcmd-utf8.exe does, whose
// manifest asks Windows (10 version 1903 and later) for UTF-8 as the process
// code page, so that every "A" call takes and gives UTF-8 bytes.
// HOSTCMD_MEMORY_PLATFORM: a Windows program built on the in-memory platform
// (hostcmd-sim.exe), which answers as the fake does.
#if defined(_WIN32) && !defined(HOSTCMD_MEMORY_PLATFORM) && defined(HOSTCMD_UTF8)
// Fixed when compiled: CMake defines HOSTCMD_UTF8 for hostcmd-utf8.exe only.
inline bool processWorksInUtf8() { return true; }
#elif defined(_WIN32) && !defined(HOSTCMD_MEMORY_PLATFORM)
inline bool processWorksInUtf8() { return false; }
#else
bool processWorksInUtf8();  // the in-memory fake can be switched either way
#endif
// GetACP: the process code page; 65001 when Windows honoured that manifest.
// Asked only where processWorksInUtf8() (the Windows side defines it for hostcmd-utf8.exe alone).
unsigned activeCodePage();

// ---- files (kernel32) ------------------------------------------------------

// CreateFileA(GENERIC_READ, share read+write, OPEN_EXISTING), then
// GetFileType: anything but a disk file (a device such as COM1 or CON, a
// pipe) is closed again and counts as a file that cannot be opened. A
// directory does not open (no FILE_FLAG_BACKUP_SEMANTICS). Returns 0 on failure.
Handle openFileForReading(const std::string& name);
// CreateFileA(GENERIC_WRITE, share read, CREATE_ALWAYS): creates or truncates.
// Fails (0) on an empty name, a missing directory, a read-only or hidden file.
Handle createFileForWriting(const std::string& name);
// ReadFile: bytes read, 0 at end of file, -1 on failure.
long readFileBytes(Handle file, char* buffer, std::size_t size);
// WriteFile of the whole buffer; false when the write failed or was short.
bool writeFileBytes(Handle file, const char* bytes, std::size_t size);
// CloseHandle.
void closeFile(Handle file);

// DeleteFileA: no wildcards; fails on a directory or a read-only file.
bool deleteFile(const std::string& path);
// CopyFileA: with failIfExists an existing destination makes it fail.
bool copyFile(const std::string& source, const std::string& destination, bool failIfExists);
// CreateDirectoryA(path, NULL): one level only; fails when it exists already.
bool createDirectory(const std::string& path);
// RemoveDirectoryA: only an empty directory.
bool removeDirectory(const std::string& path);
// FindFirstFileA then FindClose: whether the pattern matches any entry,
// file or directory. "dir\" with a trailing backslash matches nothing.
bool findFirstFile(const std::string& pattern);
// GetFileAttributesA, then SetFileAttributesA without FILE_ATTRIBUTE_READONLY
// (the other attributes stay). True when the file is writable afterwards.
bool clearReadOnly(const std::string& path);
// GetCurrentDirectoryA into 260 bytes; false when it fails or does not fit.
bool getCurrentDirectory(std::string& directory);
// SetCurrentDirectoryA.
bool setCurrentDirectory(const std::string& directory);
// GetFullPathNameA: the absolute form of a name against the current directory;
// the name itself when the call fails or the result does not fit 260 bytes.
std::string fullPathName(const std::string& name);

// GetFileAttributesExA: what a name is now, without following it (for a
// symbolic link or junction Windows answers about the link itself, with
// FILE_ATTRIBUTE_REPARSE_POINT set). False when nothing has that name.
struct FileFacts {
    bool directory;
    bool reparsePoint;          // a junction, a symbolic link, a mount point
    bool readOnly;
    std::uint64_t size;         // bytes (0 for a directory)
    std::uint64_t lastWritten;  // FILETIME, 100 ns units since 1601 (UTC)
};
bool fileFacts(const std::string& name, FileFacts& facts);
// GetModuleFileNameA(NULL): the full path of the running program; false when
// it does not fit 260 bytes.
bool ownProgramPath(std::string& path);
// GetTempFileNameA(directory, prefix, 0): creates an empty file of a name no
// other file has in that directory and answers its path.
bool getTempFileName(const std::string& directory, const std::string& prefix, std::string& path);
// MoveFileExA(source, destination, MOVEFILE_REPLACE_EXISTING): renames within
// one volume. A running program's own file may be renamed (never deleted).
bool renameFileReplacing(const std::string& source, const std::string& destination);
// MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): Windows deletes the
// file (or the then empty directory) at the next start, in the order asked.
// Only administrators may (it writes HKLM); false for everyone else.
bool deleteAtRestart(const std::string& path);
// GetLocalTime: today's date on this machine.
void localDate(int& year, int& month, int& day);

// GetWindowsDirectoryA / GetTempPathA / GetSystemDirectoryA into 260 bytes.
// False when the call fails (returns 0) or the answer does not fit.
bool getWindowsDirectory(std::string& directory);
bool getTempPath(std::string& directory);
bool getSystemDirectory(std::string& directory);

// GetDriveTypeA on a root such as "E:\"; 5 is DRIVE_CDROM.
const unsigned driveCdrom = 5;
unsigned getDriveType(const std::string& root);

// ---- registry (advapi32) ---------------------------------------------------

// The predefined root keys, as Windows numbers them.
const Handle rootClassesRoot = 0x80000000u;
const Handle rootCurrentUser = 0x80000001u;
const Handle rootLocalMachine = 0x80000002u;
const Handle rootUsers = 0x80000003u;

// RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
// NULL, &key, NULL): creates every missing key on the path. 0 on failure.
Handle regCreateKey(Handle root, const std::string& path);
// RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE): opens an existing key for
// reading its values only, creating nothing; what a user without write rights
// (HKLM\Software for every host that is not elevated) may still do. 0 on failure.
Handle regOpenKeyForReading(Handle root, const std::string& path);
// RegCloseKey.
void regCloseKey(Handle key);
// RegQueryValueExA(key, name, NULL, NULL, buffer, &size) with a buffer of
// `bufferSize` bytes: true on ERROR_SUCCESS with the returned bytes in data.
// Data larger than the buffer fails (ERROR_MORE_DATA).
bool regQueryValue(Handle key, const std::string& name, std::size_t bufferSize, std::string& data);
// RegSetValueExA(key, name, 0, REG_SZ, text, length + 1): the text and its zero byte.
bool regSetStringValue(Handle key, const std::string& name, const std::string& text);
// RegSetValueExA(key, name, 0, REG_DWORD, &value, 4).
bool regSetDwordValue(Handle key, const std::string& name, std::uint32_t value);
// RegQueryInfoKeyA: how many sub-keys and values the key holds (a key opened
// for reading is enough).
bool regKeyCounts(Handle key, unsigned long& subKeys, unsigned long& values);
// RegDeleteKeyA: refuses a key that still has sub-keys.
bool regDeleteKey(Handle key, const std::string& name);
// RegDeleteValueA.
bool regDeleteValue(Handle key, const std::string& name);

// ---- what the calls create (the uninstall journal) --------------------------

// While an observer is set, every platform call that makes something reports
// it right after it succeeded, with what it made or replaced:
// - createDirectory: the directory (it did not exist: CreateDirectoryA fails
//   on one that does);
// - createFileForWriting, copyFile, persistFileSave (a shortcut), and every
//   call that puts a file in place under its final name (MoveFileExA with or
//   without MOVEFILE_REPLACE_EXISTING): the file, created when no file of
//   that name was there before the call (CREATE_ALWAYS says so itself with
//   ERROR_ALREADY_EXISTS; the others ask GetFileAttributesA first);
// - regCreateKey: each key of the path that it created, outermost first
//   (found by opening the path and its shorter forms before the call);
// - regSetStringValue, regSetDwordValue: the value, created when the key held
//   no value of that name before (RegQueryValueExA first).
// File names are absolute (GetFullPathNameA); keys are a predefined root and
// the path below it, its parts joined by single "".
// Nothing is asked and nothing reported while no observer is set, and nothing
// while the observer itself runs: what it writes is not reported to it.
enum ChangeKind { changeDirectory, changeFile, changeKey, changeValue };
struct Change {
    ChangeKind kind;
    bool created;           // false: a file or value that was there is replaced
    Handle root;            // keys and values: the predefined root; 0 for files
    std::string name;       // the file or directory, or the key path below root
    std::string valueName;  // values only
};
typedef void (*ChangeObserver)(const Change& change);
// Sets the one observer, or none with a null pointer.
void setChangeObserver(ChangeObserver observer);

// ---- restart (advapi32, user32) --------------------------------------------

// OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY).
bool openProcessToken(Handle& token);
// LookupPrivilegeValueA(NULL, name, &luid).
bool lookupPrivilegeValue(const std::string& name, std::uint64_t& luid);
// AdjustTokenPrivileges(token, FALSE, {1, luid, SE_PRIVILEGE_ENABLED}, 0, NULL, NULL),
// then GetLastError(): 0 only when the privilege was really granted.
unsigned long adjustTokenPrivilege(Handle token, std::uint64_t luid);
// CloseHandle on the token.
void closeToken(Handle token);
// ExitWindowsEx(EWX_REBOOT, reason): only starts the restart. The reason is
// what Windows records (and the Shutdown Event Tracker shows) for it.
bool exitWindowsReboot(unsigned long reason);

// ---- boxes (user32) ----------------------------------------------------------

// MessageBoxA(owner, text, caption, style). An owner that is not a window is
// replaced by no owner, or the box would never show. 0 when the box failed
// (Wine without a display answers -1).
int messageBox(Handle owner, const std::string& text, const std::string& caption, unsigned style);
// GetProcessWindowStation, then GetUserObjectInformationA(UOI_FLAGS): whether
// WSF_VISIBLE is set, i.e. whether a window made here can be seen by anyone
// (not for a service, nor a task run while nobody is logged on). True when
// it cannot be told.
bool windowStationVisible();

// ---- shell (shell32) ---------------------------------------------------------

// ShellExecuteA(owner, verb, file, parameters or NULL, NULL, SW_SHOWNORMAL).
// With hasParameters false the parameters pointer is NULL; an empty text is "".
// Returns the instance value Windows answers (> 32 is success).
std::intptr_t shellExecute(Handle owner, const std::string& verb, const std::string& file,
                           bool hasParameters, const std::string& parameters);

// SHGetFolderPathA(NULL, folder, NULL, SHGFP_TYPE_CURRENT) into 260 bytes,
// folder a CSIDL value; true only on S_OK.
const int folderDesktop = 0x10, folderPrograms = 0x02, folderStartMenu = 0x0B, folderStartup = 0x07;
bool shGetFolderPath(int folder, std::string& path);

// SHGetMalloc: the shell's allocator, 0 on failure.
Handle shGetMalloc();
// IMalloc::Alloc / Free / Release.
Handle mallocAlloc(Handle allocator, std::size_t size);
void mallocFree(Handle allocator, Handle block);
void mallocRelease(Handle allocator);
// SHBrowseForFolderA with a BROWSEINFOA of: owner, root NULL, the display-name
// buffer, the title, the flags, no callback. Returns the item list, 0 when
// the user cancelled or the dialog failed.
Handle shBrowseForFolder(Handle owner, Handle displayName, const std::string& title, unsigned flags);
// SHGetPathFromIDListA into 260 bytes.
bool shGetPathFromIDList(Handle itemList, std::string& path);

// ---- file dialogs (comdlg32) -------------------------------------------------

// GetOpenFileNameA / GetSaveFileNameA with an OPENFILENAMEA of size 76:
// owner, the filter (name, zero, pattern, zero, zero), filter index 1, a file
// buffer of 260 bytes holding `file`, the initial directory, the title and
// the flags; no custom filter, file title, default extension or hook.
// True with the chosen path in `file`; false when cancelled or failed.
bool getOpenFileName(Handle owner, const std::string& filter, std::string& file,
                     const std::string& initialDir, const std::string& title, unsigned flags);
bool getSaveFileName(Handle owner, const std::string& filter, std::string& file,
                     const std::string& initialDir, const std::string& title, unsigned flags);

// ---- shortcuts (ole32, kernel32) ---------------------------------------------

// HRESULT values are returned as long; negative is failure.
long coInitialize();
void coUninitialize();
// CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA).
long createShellLink(Handle& link);
// link->QueryInterface(IID_IPersistFile).
long queryPersistFile(Handle link, Handle& persistFile);
// IShellLinkA setters.
long shellLinkSetPath(Handle link, const std::string& path);
long shellLinkSetArguments(Handle link, const std::string& arguments);
long shellLinkSetIconLocation(Handle link, const std::string& iconFile, int iconIndex);
long shellLinkSetWorkingDirectory(Handle link, const std::string& directory);
long shellLinkSetDescription(Handle link, const std::string& description);
// MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, 260): the UTF-16 text with
// its terminator; false when it does not fit the 260 wide characters.
bool multiByteToWide(const std::string& text, std::u16string& wide);
// IPersistFile::Save(path, TRUE).
long persistFileSave(Handle persistFile, const std::u16string& path);
// IUnknown::Release on either interface.
void comRelease(Handle object);

// ---- trace (opt-in diagnostics) ----------------------------------------------

// Whether the environment variable HOSTCMD_TRACE names a file to trace into.
// Read once, on first use (GetEnvironmentVariableA); without it nothing is
// ever opened or written.
bool traceEnabled();
// Appends the line and CR LF to that file (opened and closed per line, so a
// trace survives whatever happens after it); nothing when tracing is off.
// The platform also appends a line of its own for every call that fails:
// the call, its arguments and the error code (GetLastError or the code the
// call returned).
void appendTraceLine(const std::string& line);
// Whether an open file is the trace file itself, under whatever name
// (GetFileInformationByHandle: the same volume and file index); false when
// tracing is off. What the trace appends must never be read back as commands.
bool isTraceFile(Handle file);
