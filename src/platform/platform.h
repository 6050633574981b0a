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
// GetCurrentDirectoryW into 260 wide characters, converted exactly (or its
// short name); false when it fails, does not fit or has no exact form.
bool getCurrentDirectory(std::string& directory);
// SetCurrentDirectoryA.
bool setCurrentDirectory(const std::string& directory);
// GetFullPathNameW: the absolute form of a name against the current directory;
// the name itself when the call fails, the result does not fit 260 wide
// characters or it has no exact form (no short name: the file may not exist).
std::string fullPathName(const std::string& name);

// GetWindowsDirectoryW / GetTempPathW / GetSystemDirectoryW into 260 wide
// characters, converted exactly (or the short name). False when the call
// fails (returns 0), the answer does not fit, or it has no exact form.
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
// RegQueryValueExW(key, name, NULL, &type, buffer, &size): true on
// ERROR_SUCCESS with the data in the process code page, as RegQueryValueExA
// gives them (REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ converted, exactly;
// other types as they are), when they fit `bufferSize` bytes. Data larger
// than that fails (ERROR_MORE_DATA), and so does a text with no exact form.
bool regQueryValue(Handle key, const std::string& name, std::size_t bufferSize, std::string& data);
// RegSetValueExA(key, name, 0, REG_SZ, text, length + 1): the text and its zero byte.
bool regSetStringValue(Handle key, const std::string& name, const std::string& text);
// RegDeleteKeyA: refuses a key that still has sub-keys.
bool regDeleteKey(Handle key, const std::string& name);
// RegDeleteValueA.
bool regDeleteValue(Handle key, const std::string& name);

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

// SHGetFolderPathW(NULL, folder, NULL, SHGFP_TYPE_CURRENT) into 260 wide
// characters, folder a CSIDL value; true only on S_OK with a path that has
// an exact form (or a short name that has one).
const int folderDesktop = 0x10, folderPrograms = 0x02, folderStartMenu = 0x0B, folderStartup = 0x07;
bool shGetFolderPath(int folder, std::string& path);

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
