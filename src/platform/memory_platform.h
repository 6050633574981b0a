// Controls of the in-memory platform that the unit tests and hostcmd-sim
// link instead of Windows.
//
// It models a file system (names resolved as Windows resolves them and
// compared as NTFS compares them, across the code page), the registry, drive
// types, the ANSI code page's lead bytes, message boxes, the folder browser
// and file dialogs (answered from queues), shell calls and shortcuts. Every
// platform call is logged by name, and any call can be made to fail: by name
// (its n-th call, or every call) or by its number among all calls. A call that
// fails on its own (a missing file, a missing key) is also kept as the line
// the Windows platform traces for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

// A fresh world: Windows 10 (22H2) in session 1, C:\ and the current
// directory C:\work exist, code page 1252, an empty registry, no CD drives,
// every box answered OK, every dialog cancelled.
void fakeReset();

// ---- the Windows it is
// The version windowsVersion() answers (windowsXp, windowsVista, windows7,
// windows10Version1903, ... of platform.h). It decides the calls that exist
// (SetThreadErrorMode from 7, the others from XP), and the error mode is set
// as hostcmd's start sets it there: on 7 and later for hostcmd's own thread,
// before that for the whole process.
void fakeSetWindowsVersion(unsigned long version);
// The session hostcmd runs in: 0 for a service or a task run as SYSTEM.
void fakeSetSession(unsigned long session);
// A call this Windows lacks, or whose library cannot be bound, by its Windows
// name: "SetThreadErrorMode", "InitiateSystemShutdownExA", "SHGetFolderPathW",
// "GetVolumePathNameA".
void fakeRemoveFunction(const std::string& windowsFunction);

void fakeUseCodePage932(bool on);
// Makes the process the UTF-8 build's (processWorksInUtf8), with the code page
// Windows gave it: 65001, or the ANSI one of a Windows older than 10 1903.
void fakeUseUtf8(bool on, unsigned activeCodePage = 65001);
// Lead bytes of 932, 936, 949 and 950; every other code page has none.
void fakeSetCodePage(unsigned page);
// A text in the process code page as WideCharToMultiByte gives it without
// best fit (UTF-8 in the UTF-8 build): false when a character has no exact
// form there (it is given as "?"). Known: 1250, 1251, 1252 and ASCII in every page.
bool fakeTextFromUnicode(const std::u16string& text, std::string& bytes);
// The same from UTF-8 (false too for bytes that are not UTF-8).
bool fakeTextFromUtf8(const std::string& text, std::string& bytes);
// A code point as its UTF-8 bytes (a lone surrogate as the three bytes of
// its value), for the texts the fake and hostcmd-sim build.
void appendUtf8(std::string& text, char32_t codePoint);
void fakeSetCurrentDirectory(const std::string& path);
// The absolute name Windows makes of a name (GetFullPathName's rules); false
// when it does not resolve (a name too long, a character no name may hold).
bool fakeResolveName(const std::string& name, std::string& full);
void fakeSetDirectories(const std::string& windows, const std::string& temp, const std::string& system);

// ---- texts the code page cannot spell
// Windows holds its texts in UTF-16. A text the fake hands back (a directory,
// a shell folder, a dialog's choice, a registry text) that holds this marker
// holds that character, which the ANSI code page lacks: the call then fails
// as Windows' exact conversion fails it (a directory falls back to its short
// name, below). In the UTF-8 build the character converts to its UTF-8
// bytes, unless it is a surrogate (0xD800 to 0xDFFF) without its partner.
std::string fakeWideCharacter(unsigned long codePoint);
// The short (8.3) name Windows keeps for a directory: a directory answer
// beginning with longPath (a component path, compared without regard to
// ASCII case) that has no exact form is given with shortPath instead. No
// short name set: 8.3 names are off, and the call fails.
void fakeSetShortName(const std::string& longPath, const std::string& shortPath);

// ---- files
void fakeAddDirectory(const std::string& path);
void fakeAddFile(const std::string& path, const std::string& bytes, bool readOnly = false);
// A file whose bytes stay in a host file until the run reads them (read then
// where it reads) or the report asks for them (fakeFileBytes).
void fakeAddHostFile(const std::string& path, const std::string& hostFile, std::uint64_t size, bool readOnly);
// Removes the entry and everything below it.
void fakeForget(const std::string& path);
void fakeSetReadOnly(const std::string& path);
// fileReadOnly, fileHidden and fileSystem (platform.h) of an entry.
void fakeSetAttributes(const std::string& path, unsigned long attributes);
unsigned long fakeAttributes(const std::string& path);
bool fakeIsReadOnly(const std::string& path);
bool fakeFileExists(const std::string& path);
bool fakeDirectoryExists(const std::string& path);
std::string fakeFileBytes(const std::string& path);
// Every file and directory, as folded absolute paths (ASCII letters in lower
// case; directories end in "\").
std::vector<std::string> fakeEntries();
// Every file has an index (what fileIdentity answers), kept by a rename.
// Replaces whatever has that name by a junction to the target: names below
// it are names below the target; the junction itself reports itself as a
// reparse point, and removing it removes only the link.
void fakeAddJunction(const std::string& path, const std::string& target);
// The running program's file (GetModuleFileNameA), "C:\work\hostcmd.exe"
// after fakeReset (no such file is made): it can be renamed, never deleted.
void fakeSetOwnProgramPath(const std::string& path);
// Where the running program's file is now (its folded absolute path, as fakeEntries names it).
std::string fakeRunningImage();
// Deletions asked for the next restart (MOVEFILE_DELAY_UNTIL_REBOOT), in order.
extern std::vector<std::string> fakeDeletionsAtRestart;
// The process is no administrator: deletions at the next restart are refused.
void fakeDenyDeletionsAtRestart();
// GetLocalTime's date (2024-05-17 after fakeReset).
void fakeSetLocalDate(int year, int month, int day);
// How many files are open right now (files must never stay open).
int fakeOpenFiles();
struct FakeEntry {
    std::string name;  // absolute, in the case it was created with
    bool directory, readOnly;
    std::string bytes;   // "" while they are still in the host file
    std::string source;  // that host file, or ""
    std::uint64_t size;
};
// Every entry by its folded absolute path.
std::map<std::string, FakeEntry> fakeEntrySnapshot();
// An entry's bytes, read from the host file where they are still there.
std::string fakeEntryBytes(const FakeEntry& entry);

// ---- registry
// Sets a value (type 1 is REG_SZ) and creates the missing keys on its path.
// A value that is not exact holds characters the code page lacks: the ANSI
// read of it fails (ERROR_NO_UNICODE_TRANSLATION), as hostcmd's read of a
// text it cannot hold exactly does.
void fakeSetRegistryValue(Handle root, const std::string& path, const std::string& name, const std::string& bytes,
                          unsigned type = 1, bool exact = true);
void fakeCreateRegistryKey(Handle root, const std::string& path);
// Deletes the key with everything below it.
void fakeDeleteRegistryTree(Handle root, const std::string& path);
void fakeDeleteRegistryValue(Handle root, const std::string& path, const std::string& name);
struct FakeRegistryValue {
    std::string name;  // in the case it was first set with
    unsigned type;
    std::string bytes;
};
struct FakeRegistry {
    std::map<std::string, std::string> keys;  // folded key ("<root number>\path") -> key as created
    std::map<std::string, std::map<std::string, FakeRegistryValue>> values;  // folded key -> folded name -> value
};
FakeRegistry fakeRegistrySnapshot();
bool fakeRegistryValue(Handle root, const std::string& path, const std::string& name, std::string& bytes);
bool fakeRegistryKeyExists(Handle root, const std::string& path);
// Opening keys to write or delete (regCreateKey) below this root fails, as
// for a user without rights; opening an existing key for reading still works.
void fakeDenyRegistryRoot(Handle root);
// The user may read this key and the keys below it but not write them (as a
// standard user under HKLM\Software): an open asking for more than
// keyQueryValue | keyEnumerateSubKeys fails, and so does every delete.
void fakeMakeRegistryKeyReadOnly(Handle root, const std::string& path);
// The user holds exactly these rights (platform.h's key rights, and
// fakeKeyDelete) on this key and the keys below it, as after a delegation:
// an open asking for any other right fails with error 5 (access denied).
const unsigned fakeKeyDelete = 0x00010000;  // DELETE
void fakeGrantRegistryRights(Handle root, const std::string& path, unsigned rights);
// The access every regCreateKey asked for, in order.
extern std::vector<unsigned> fakeKeyAccess;
int fakeOpenKeys();

// ---- drives and volumes
void fakeSetDriveType(char letter, unsigned type);
// A volume mounted in a folder ("C:\mnt\cd"), or a drive's volume
// ("E:\"), with its drive type and whether its file system is read-only.
void fakeSetVolume(const std::string& root, unsigned type, bool readOnly);
// The drive holds at most this many bytes of file content: a copy or write
// beyond it keeps the part that fits and fails with ERROR_DISK_FULL (112).
void fakeSetDriveCapacity(char letter, std::size_t bytes);

// ---- boxes and dialogs
struct FakeBox {
    Handle owner;
    std::string text, caption;
    unsigned style;
    std::size_t callNumber;  // its place in fakeCalls
};
extern std::vector<FakeBox> fakeBoxes;
void fakeAnswerBoxes(const std::vector<int>& answers);  // then OK again
// When set, boxes are answered by this function instead of the queue.
extern std::function<int(const FakeBox&)> fakeBoxAnswerer;
struct FakeDialog {
    std::string kind;  // "browse", "open" or "save"
    Handle owner;
    std::string title, filter, file, initialDir;
    unsigned flags;
    std::size_t callNumber;
};
extern std::vector<FakeDialog> fakeDialogs;
// The caption Windows gives a dialog of that kind with that title ("" for none).
std::string fakeDialogCaption(const std::string& kind, const std::string& title);
// Each answer is a chosen path, or "" for a cancel. When the queue is empty dialogs are cancelled.
void fakeAnswerDialogs(const std::vector<std::string>& answers);
// When set, dialogs are answered by this function instead of the queue: true
// with the chosen path, false for a cancel.
extern std::function<bool(const FakeDialog&, std::string&)> fakeDialogAnswerer;
// A directory that every dialog answered with a choice moves the current
// directory to, as Windows' file dialogs do.
void fakeDialogsMoveCurrentDirectory(const std::string& path);
std::string fakeCurrentDirectory();
// The window station is not visible (a service, a task nobody watches).
void fakeHideWindowStation();
// Whether hostcmd's own thread runs with the quiet error mode hostcmd sets,
// by its thread mode or the process mode (on after fakeReset).
bool fakeErrorModeQuiet();

// ---- shell and shortcuts
struct FakeShellCall {
    Handle owner;
    std::string verb, file;
    bool hasParameters;
    std::string parameters;
    unsigned mask;  // the SEE_MASK_ flags
    // At the time of the call: COM, the process error mode (which the
    // started program inherits) and hostcmd's own thread's error mode.
    bool comInitialised, quietErrorMode, quietThread;
    std::size_t callNumber;
};
extern std::vector<FakeShellCall> fakeShellCalls;
// On, a shell call on a path that does not exist fails as Windows fails it
// (off after fakeReset: the unit tests hand the shell names of no file).
void fakeShellNeedsFiles(bool on);
struct FakeShortcut {
    std::string path, target, arguments, iconFile, workingDirectory, description;
    bool hasArguments, hasIcon, hasWorkingDirectory;
    int iconIndex;
};
extern std::map<std::string, FakeShortcut> fakeShortcuts;  // by folded absolute path (as fakeEntries names it)
// What SHGetFolderPathW answers for a CSIDL. Without an answer of its own it
// answers what the Shell Folders key holds (Explorer keeps the two in step),
// and fails where that is missing. A folder that does not exist is made only
// with folderCreate; without it the answer is S_FALSE, a failure.
void fakeSetShellFolder(int folder, const std::string& path);
// Every CSIDL value SHGetFolderPathW was asked for, flags included.
extern std::vector<int> fakeShellFolderRequests;
// CoInitialize answers RPC_E_CHANGED_MODE: the thread is in the
// multithreaded apartment already (COM works, and is not to be undone).
void fakeComMultithreaded();
int fakeComBalance();  // CoInitialize minus CoUninitialize calls
int fakeLiveComObjects();
int fakeLiveAllocations();  // shell allocator blocks not freed

// ---- restart
extern bool fakeRebootStarted;
extern unsigned long fakeRebootReason;
// Whether hostcmd runs as the user at the console (yes after fakeReset).
// Not, ExitWindowsEx succeeds without restarting anything.
void fakeSetConsoleUser(bool console);
void fakeDenyShutdownPrivilege();

// ---- elevation
// The process token: its TokenElevationType (1 default, 2 full, 3 limited; 0
// for XP, which knows none and answers neither it nor TokenElevation), whether
// it is elevated, and whether Administrators is enabled in it. After
// fakeReset: an elevated administrator, as Wine starts every process.
struct FakeToken {
    int elevationType = 2;
    bool elevated = true;
    bool administrator = true;
};
void fakeSetToken(const FakeToken& token);
struct FakeElevatedStart {
    std::string program, parameters, directory;
    bool mutexHeld;  // a named mutex was held by this process at the time
    std::size_t callNumber;
};
extern std::vector<FakeElevatedStart> fakeElevatedStarts;
// What elevated starts answer: the error (0: it ran; 1223: declined) and the
// exit code of the started instance. After fakeReset: 0 and 0.
void fakeAnswerElevatedStart(unsigned long error, unsigned long exitCode = 0);
// A named mutex held by another process, as an instance waiting for this one would.
void fakeHoldNamedMutex(const std::string& name);
// The names of the mutexes this process holds now.
std::vector<std::string> fakeHeldMutexes();

// ---- calls and failures
extern std::vector<std::string> fakeCalls;
// Calls that failed on their own (not made to fail), as the Windows platform
// traces them: "    CreateFileA("x", GENERIC_READ, OPEN_EXISTING) failed: error 2".
struct FakeFailedCall {
    std::size_t callNumber;  // its place in fakeCalls
    std::string line;
};
extern std::vector<FakeFailedCall> fakeFailedCalls;
// Fail the n-th call (1-based) of the named function, or all of them with 0.
void fakeFail(const std::string& call, int nth = 0);
// Fail the k-th platform call of all (1-based), whatever it is.
void fakeFailCallNumber(int k);
// Fail every platform call from the k-th on (0: none): a budget that ends any
// run, however many lines it would run, once it has made k - 1 calls.
void fakeFailCallsFrom(int k);

// ---- trace
// Tracing is off after fakeReset; on, every appended line is kept here, and
// with a file name also appended to that file (with CR LF), which is then the
// trace file.
void fakeTraceOn(bool on, const std::string& file = std::string());
extern std::vector<std::string> fakeTraceLines;
