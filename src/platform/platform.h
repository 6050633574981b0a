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
//
// Texts Windows hands back (the command line, directories, full path names,
// dialog choices, registry texts) are asked for in UTF-16 (the "W" calls) and
// converted to the process code page exactly: the "A" calls would convert
// with best fit, turning a character the code page lacks into a look-alike
// ("Ł" into "L", "＆" into "&", "∖" into "\"), a name of another file. A text
// that has no exact form fails its call as if the item were not there, and
// the trace names the first character that has none (as U+0141); a
// directory is given by its short (8.3) name instead where it has one with
// an exact form. Texts going to Windows are converted as the "A" calls
// convert them (every text of the code page has a UTF-16 form).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef std::uintptr_t Handle;

// ---- process ---------------------------------------------------------------

// The whole process command line: GetCommandLineW, converted exactly. False
// when it holds a character the process code page cannot hold exactly:
// nothing may run then (the best-fit form names other files), and the trace
// says which character it was.
bool platformCommandLine(std::string& line);
// SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX)
// where kernel32 has it (looked up: Windows 7 and Server 2008 R2 on): hostcmd's
// own thread never shows an "insert a disk" or crash dialog, while the process
// mode, which started programs inherit, stays as the host left it. False where
// the call is missing (XP, Vista) or fails.
bool quietThreadErrorMode();
// SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX),
// for the whole process: where there is no thread error mode, no such dialog
// may ever block the host waiting for us. The mode found at the first call is
// kept for the programs the shell starts.
void platformQuietErrorMode();
// SetErrorMode(the mode kept by platformQuietErrorMode): a started program
// inherits the error mode, and with it Windows' own missing-DLL and crash reports.
void platformStartErrorMode();
// The Windows version as one number, major << 24 | minor << 16 | build
// (GetVersionExA: the manifest's supportedOS entries keep the answer true on
// 8.1, 10 and 11, which report 10.0 with builds from 22000). 0 when unknown.
const unsigned long windowsXp = 0x05010000, windowsVista = 0x06000000, windows7 = 0x06010000,
                    windows10 = 0x0A000000, windows10Version1903 = 0x0A000000 | 18362;
unsigned long windowsVersion();
// ProcessIdToSessionId(GetCurrentProcessId()): the session the process runs
// in; 0 is the services' session on Vista and later.
bool processSession(unsigned long& session);
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
unsigned activeCodePage();
// Whether hostcmd's texts are UTF-8: in hostcmd-utf8.exe, and in hostcmd.exe
// where the ANSI code page itself is UTF-8 (the system-wide setting of
// Windows 10 version 1903 and later). Then no byte is a lead byte
// (IsDBCSLeadByte answers false for every byte under 65001), and the rules
// that drop or test the last character step over whole UTF-8 sequences.
bool textsAreUtf8();

// ---- files (kernel32) ------------------------------------------------------

// CreateFileA(GENERIC_READ, share read+write, OPEN_EXISTING), then
// GetFileType: anything but a disk file (a device such as COM1 or CON, a
// pipe) is closed again and counts as a file that cannot be opened. A
// directory does not open (no FILE_FLAG_BACKUP_SEMANTICS). Returns 0 on failure.
// Every CreateFileA of hostcmd passes SECURITY_SQOS_PRESENT |
// SECURITY_IDENTIFICATION: a pipe server behind a name may learn who opened
// it, never act as that user (an elevated hostcmd above all).
Handle openFileForReading(const std::string& name);
// CreateFileA(GENERIC_WRITE, share read, CREATE_ALWAYS): creates or truncates.
// Fails (0) on an empty name, a missing directory, a read-only or hidden file.
Handle createFileForWriting(const std::string& name);
// ReadFile: bytes read, 0 at end of file, -1 on failure.
long readFileBytes(Handle file, char* buffer, std::size_t size);
// WriteFile of the whole buffer; false when the write failed or was short.
bool writeFileBytes(Handle file, const char* bytes, std::size_t size);
// FlushFileBuffers: the bytes written so far are on the disk when it returns,
// so a file renamed over another after it is never one whose data a power
// loss could still take. The handle must be open for writing.
bool flushFileBuffers(Handle file);
// CloseHandle.
void closeFile(Handle file);

// DeleteFileA: no wildcards; fails on a directory or a read-only file.
bool deleteFile(const std::string& path);
// CopyFileA(source, destination, TRUE): a copy under a name that is free;
// the attributes and the last-write time come along. Then the copy is
// flushed to disk as flushFileBuffers does (a read-only copy loses its
// attribute for that moment). 0 when copied and flushed, else
// GetLastError: 80 (or 183) when the name is taken. A copy that fails part
// way may leave part of the file under the new name (Wine does).
unsigned long copyToNewFile(const std::string& source, const std::string& destination);
// CreateFileA(GENERIC_WRITE, share read, CREATE_NEW): a file under a name
// that is free, never an existing one. 0 on failure, with GetLastError in
// `error`: 80 when the name is taken.
Handle createNewFile(const std::string& name, unsigned long& error);
// MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING or 0): a rename on one
// volume (no MOVEFILE_COPY_ALLOWED), so `to` is at every moment either the
// old file or the whole new one. Without replacing, an existing `to` makes it
// fail (183); a directory, a read-only file (on Windows) or a file open
// without delete sharing cannot be replaced (5). A running program's own file
// may be renamed (never deleted).
bool putFileInPlace(const std::string& from, const std::string& to, bool replaceExisting);
// What GetFileInformationByHandle tells of an existing file: its attributes
// and, in the volume serial number and the file index, the file itself
// whatever name reaches it.
struct FileIdentity {
    unsigned long attributes;
    unsigned long volume, indexHigh, indexLow;
};
const unsigned long fileReadOnly = 0x1, fileHidden = 0x2, fileSystem = 0x4;
// CreateFileA(no access, every share mode, OPEN_EXISTING), GetFileType, then
// GetFileInformationByHandle. False when the name opens no disk file (none
// there, a directory, a device): a question whose "no" is not traced.
bool fileIdentity(const std::string& name, FileIdentity& identity);
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
// GetCurrentDirectoryW into 260 wide characters, converted exactly (or its
// short name); false when it fails, does not fit or has no exact form.
bool getCurrentDirectory(std::string& directory);
// SetCurrentDirectoryA.
bool setCurrentDirectory(const std::string& directory);
// GetFullPathNameW: the absolute form of a name against the current directory;
// the name itself when the call fails, the result does not fit 260 wide
// characters or it has no exact form (no short name: the file may not exist).
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
// GetTempFileNameA(directory, prefix, 0): creates an empty file of a name no
// other file has in that directory and answers its path.
bool getTempFileName(const std::string& directory, const std::string& prefix, std::string& path);
// MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): Windows deletes the
// file (or the then empty directory) at the next start, in the order asked.
// Only administrators may (it writes HKLM); false for everyone else.
bool deleteAtRestart(const std::string& path);
// GetLocalTime: today's date on this machine.
void localDate(int& year, int& month, int& day);

// GetWindowsDirectoryW / GetTempPathW / GetSystemDirectoryW into 260 wide
// characters, converted exactly (or the short name). False when the call
// fails (returns 0), the answer does not fit, or it has no exact form.
bool getWindowsDirectory(std::string& directory);
bool getTempPath(std::string& directory);
bool getSystemDirectory(std::string& directory);

// GetDriveTypeA on a root such as "E:\" (or a volume root GetVolumePathNameA
// gave); 5 is DRIVE_CDROM.
const unsigned driveCdrom = 5;
unsigned getDriveType(const std::string& root);
// GetVolumePathNameA (looked up, so that a kernel32 without it still runs):
// the root of the volume a full path lies on, "E:\", "C:\mnt\cd\" for a
// volume mounted in a folder, "\\server\share\" over the network. A
// "\\?\" form of a drive or share root is given in its plain form. False
// when the call is missing or fails.
bool volumePathName(const std::string& path, std::string& root);
// GetVolumeInformationA on a volume root: whether the file system says
// FILE_READ_ONLY_VOLUME (a CD or DVD file system, also through a share, a
// read-only mounted image). False when it cannot be told.
bool volumeReadOnly(const std::string& root);

// ---- registry (advapi32) ---------------------------------------------------

// The predefined root keys, as Windows numbers them.
const Handle rootClassesRoot = 0x80000000u;
const Handle rootCurrentUser = 0x80000001u;
const Handle rootLocalMachine = 0x80000002u;
const Handle rootUsers = 0x80000003u;

// Access rights as Windows numbers them. Each open asks for what its one
// call needs: KEY_ALL_ACCESS holds WRITE_DAC and WRITE_OWNER too, which a key
// delegated with Set Value alone refuses, and the open would fail.
const unsigned keyQueryValue = 0x0001, keySetValue = 0x0002, keyCreateSubKey = 0x0004,
               keyEnumerateSubKeys = 0x0008;
// RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL,
// &key, NULL): creates every missing key on the path (creating asks the
// parent's rights, whatever the access asked for the key). 0 on failure.
Handle regCreateKey(Handle root, const std::string& path, unsigned access);
// RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE): opens an existing key for
// reading its values only, creating nothing; what a user without write rights
// (HKLM\Software for every host that is not elevated) may still do. 0 on failure.
Handle regOpenKeyForReading(Handle root, const std::string& path);
// RegCloseKey.
void regCloseKey(Handle key);
// RegQueryValueExW(key, name, NULL, &type, buffer, &size): true on
// ERROR_SUCCESS with the data in the process code page, as RegQueryValueExA
// gives them (REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ converted, exactly;
// other types as they are), when they fit `bufferSize` bytes. Data larger
// than that fails (ERROR_MORE_DATA), and so does a text with no exact form.
bool regQueryValue(Handle key, const std::string& name, std::size_t bufferSize, std::string& data);
// RegSetValueExA(key, name, 0, REG_SZ, text, length + 1): the text and its zero byte.
bool regSetStringValue(Handle key, const std::string& name, const std::string& text);
// RegSetValueExA(key, name, 0, REG_DWORD, &value, 4).
bool regSetDwordValue(Handle key, const std::string& name, std::uint32_t value);
// RegQueryInfoKeyA: how many sub-keys and values the key holds (a key opened
// for reading is enough).
bool regKeyCounts(Handle key, unsigned long& subKeys, unsigned long& values);
// RegDeleteKeyA: refuses a key that still has sub-keys. Windows opens the
// sub-key for DELETE itself; the parent's own access plays no part.
bool regDeleteKey(Handle key, const std::string& name);
// RegDeleteValueA: the key must be open with KEY_SET_VALUE.
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
// What became of a call that may be missing from the Windows it runs on.
enum CallOutcome { callSucceeded, callFailed, callMissing };
// InitiateSystemShutdownExA(NULL, NULL, 0, FALSE, TRUE, reason) (advapi32 of
// XP and later, looked up): restarts the machine for whoever asks with the
// shutdown privilege, also when that is not the user at the console. The
// reason is what Windows records (and the Shutdown Event Tracker shows).
CallOutcome initiateSystemReboot(unsigned long reason);
// ExitWindowsEx(EWX_REBOOT, reason): only starts the restart, and "can succeed
// without actually shutting down" when the caller is not the interactive user.
bool exitWindowsReboot(unsigned long reason);

// ---- elevation (advapi32, kernel32, shell32) ---------------------------------

// TOKEN_ELEVATION_TYPE: a token of its own (UAC off, a standard user, the
// built-in Administrator), the full token of an elevated administrator, or the
// limited one every administrator runs with under UAC.
const int elevationTypeDefault = 1, elevationTypeFull = 2, elevationTypeLimited = 3;
// OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY), then GetTokenInformation
// with TokenElevationType and with TokenElevation. False where Windows knows
// neither (XP answers ERROR_INVALID_PARAMETER) or the token cannot be read.
bool tokenElevation(int& elevationType, bool& elevated);
// AllocateAndInitializeSid(BUILTIN\Administrators), CheckTokenMembership(NULL)
// (the process's own token when no thread impersonates), FreeSid: whether the
// group is enabled in the token. False when that cannot be told.
bool tokenIsAdministrator(bool& member);
// GetModuleFileNameA(NULL) into 260 bytes: the program's own full path; false
// when it fails or does not fit.
bool ownProgramPath(std::string& path);
// ShellExecuteExA with verb "runas", SEE_MASK_NOCLOSEPROCESS, the program, the
// parameters and the directory, SW_SHOWNORMAL; then WaitForSingleObject
// (INFINITE) and GetExitCodeProcess. 0 when the program ran to its end, with
// its exit code; otherwise the error: ERROR_CANCELLED (1223) when the user
// declined. On XP the verb shows the "Run As" dialog instead of a UAC prompt.
const unsigned long errorCancelled = 1223;
unsigned long startElevatedAndWait(const std::string& program, const std::string& parameters,
                                   const std::string& directory, unsigned long& exitCode);
// CreateMutexA(NULL, FALSE, name): false when a mutex of that name exists
// already (ERROR_ALREADY_EXISTS, or ERROR_ACCESS_DENIED for one another account
// made); otherwise true, with the new mutex in `mutex` (0 when none could be made).
bool claimNamedMutex(const std::string& name, Handle& mutex);
// CloseHandle on the mutex (nothing for 0).
void releaseNamedMutex(Handle mutex);

// ---- boxes (user32) ----------------------------------------------------------

// MessageBoxA(owner, text, caption, style). An owner that is not a window is
// replaced by no owner, or the box would never show. 0 when the box failed
// (Wine without a display answers -1).
int messageBox(Handle owner, const std::string& text, const std::string& caption, unsigned style);
// GetProcessWindowStation, then GetUserObjectInformationA(UOI_FLAGS): whether
// WSF_VISIBLE is set, i.e. whether a window made here can be seen by anyone
// (not for a service, nor a task run while nobody is logged on). False when
// it cannot be told: a box nobody may see would hold the host for ever.
bool windowStationVisible();

// ---- shell (shell32) ---------------------------------------------------------

// ShellExecuteExA with a SHELLEXECUTEINFOA of: the mask, owner, verb, file,
// parameters or NULL, directory NULL, SW_SHOWNORMAL. No process handle is
// asked for and nothing is waited for beyond what the mask says. With
// hasParameters false the parameters pointer is NULL; an empty text is "".
// Returns the instance value as ShellExecuteA would (> 32 is success, else an
// SE_ERR_ code).
// SEE_MASK_NOASYNC (Vista and later: every asynchronous start, a DDE
// conversation above all, is complete when the call returns), which hostcmd
// needs as it has no message loop and ends at once; XP's shell reads the same
// bit as SEE_MASK_FLAG_DDEWAIT (the DDE conversation is complete).
// SEE_MASK_FLAG_NO_UI: no "no program is associated" box where nobody may see it.
const unsigned shellNoAsync = 0x0100, shellNoUi = 0x0400;
std::intptr_t shellExecute(Handle owner, const std::string& verb, const std::string& file,
                           bool hasParameters, const std::string& parameters, unsigned mask);

// SHGetFolderPathW(NULL, folder, NULL, SHGFP_TYPE_CURRENT) into 260 wide
// characters, folder a CSIDL value; true only on S_OK with a path that has
// an exact form (or a short name that has one). Without folderCreate
// (CSIDL_FLAG_CREATE) a folder the user has not got yet answers S_FALSE.
const int folderDesktop = 0x10, folderPrograms = 0x02, folderStartMenu = 0x0B, folderStartup = 0x07;
const int folderCreate = 0x8000;
// The local (not roaming) application-data folder, and the Program Files
// folders a program of this build sees: on 64-bit Windows the 32-bit product's
// CSIDL_PROGRAM_FILES is "Program Files (x86)", the twin's the native one.
const int folderLocalAppData = 0x1C, folderProgramFiles = 0x26, folderProgramFilesX86 = 0x2A;
bool shGetFolderPath(int folder, std::string& path);
// Whether shell32 and its SHGetFolderPathW can be bound at all.
bool shellFolderCallBound();

// SHGetMalloc: the shell's allocator, 0 on failure.
Handle shGetMalloc();
// IMalloc::Alloc / Free / Release.
Handle mallocAlloc(Handle allocator, std::size_t size);
void mallocFree(Handle allocator, Handle block);
void mallocRelease(Handle allocator);
// The longest path hostcmd takes from Windows, in bytes of the process code
// page: what a buffer of 260 bytes with its zero holds, as every path and
// line of hostcmd. A dialog's choice longer than that is no answer.
const std::size_t maxPathLength = 259;

// The display-name buffer SHBrowseForFolderW is given, in bytes: room for the
// longest path Windows has (32,767 wide characters and the zero), since Wine
// writes the chosen folder's full path there.
const std::size_t browseDisplayNameSize = 32768 * 2;
// SHBrowseForFolderW with a BROWSEINFOW of: owner, root NULL, the display-name
// buffer (browseDisplayNameSize bytes), the title, the flags, no callback.
// Returns the item list, 0 when the user cancelled or the dialog failed.
Handle shBrowseForFolder(Handle owner, Handle displayName, const std::string& title, unsigned flags);
// SHGetPathFromIDListW, converted exactly (no short name: the user chose the
// folder by its name); false when it fails or has no exact form. The path
// comes whole, whatever its length.
bool shGetPathFromIDList(Handle itemList, std::string& path);

// ---- file dialogs (comdlg32) -------------------------------------------------

// GetOpenFileNameW / GetSaveFileNameW with an OPENFILENAMEW of the old
// layout (76 bytes in 32-bit code): owner, the filter (name, zero, pattern,
// zero, zero), filter index 1, a file buffer of 32,768 wide characters (any
// path the dialog accepts fits) holding `file`, the initial directory, the
// title and the flags; no custom filter, file title, default extension or
// hook. True with the chosen path in `file`, converted exactly, whatever its
// length; false when cancelled, failed, or the path has no exact form.
// Under Wine the dialog is hooked to keep it within a buffer of its own
// (win32_dialog_guard.h).
bool getOpenFileName(Handle owner, const std::string& filter, std::string& file,
                     const std::string& initialDir, const std::string& title, unsigned flags);
bool getSaveFileName(Handle owner, const std::string& filter, std::string& file,
                     const std::string& initialDir, const std::string& title, unsigned flags);

// ---- shortcuts (ole32, kernel32) ---------------------------------------------

// HRESULT values are returned as long; negative is failure.
// CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)
// where ole32 has it (NT 4 on), else CoInitialize(NULL). comChangedMode
// (RPC_E_CHANGED_MODE): the thread is in the multithreaded apartment already.
const long comChangedMode = static_cast<long>(0x80010106UL);
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
// Read once, on first use (GetEnvironmentVariableW, the name kept in UTF-16); without it nothing is
// ever opened or written.
bool traceEnabled();
// Appends the line and CR LF to that file (opened and closed per line, so a
// trace survives whatever happens after it); nothing when tracing is off.
// The platform also appends a line of its own for every call that fails:
// the call, its arguments and the error code (GetLastError or the code the
// call returned).
void appendTraceLine(const std::string& line);
// Whether an open file is the trace file itself, under whatever name (the
// same volume and file id: GetFileInformationByHandleEx(FileIdInfo) where
// Windows has it, else GetFileInformationByHandle's 64-bit index); false when
// tracing is off, and when either id is unknown (0). What the trace appends
// must never be read back as commands.
bool isTraceFile(Handle file);
