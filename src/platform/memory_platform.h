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

// A fresh world: C:\ and the current directory C:\work exist, code page 1252,
// an empty registry, no CD drives, every box answered OK, every dialog cancelled.
void fakeReset();

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
void fakeSetCurrentDirectory(const std::string& path);
// The absolute name Windows makes of a name (GetFullPathName's rules); false
// when it does not resolve (a name too long, a character no name may hold).
bool fakeResolveName(const std::string& name, std::string& full);
void fakeSetDirectories(const std::string& windows, const std::string& temp, const std::string& system);

// ---- files
void fakeAddDirectory(const std::string& path);
void fakeAddFile(const std::string& path, const std::string& bytes, bool readOnly = false);
// A file whose bytes stay in a host file until the run reads them (read then
// where it reads) or the report asks for them (fakeFileBytes).
void fakeAddHostFile(const std::string& path, const std::string& hostFile, std::uint64_t size, bool readOnly);
// Removes the entry and everything below it.
void fakeForget(const std::string& path);
void fakeSetReadOnly(const std::string& path);
bool fakeIsReadOnly(const std::string& path);
bool fakeFileExists(const std::string& path);
bool fakeDirectoryExists(const std::string& path);
std::string fakeFileBytes(const std::string& path);
// Every file and directory, as folded absolute paths (ASCII letters in lower
// case; directories end in "\").
std::vector<std::string> fakeEntries();
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
// Opening keys with full access below this root fails, as for a user without
// rights; opening an existing key for reading still works.
void fakeDenyRegistryRoot(Handle root);
// The same for one key and the keys below it: the user may read them but not
// write (as a standard user under HKLM\Software). Keys opened for reading
// never set or delete anything.
void fakeMakeRegistryKeyReadOnly(Handle root, const std::string& path);
int fakeOpenKeys();

// ---- drives
void fakeSetDriveType(char letter, unsigned type);

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
// Whether the error mode is the quiet one hostcmd sets (on after fakeReset).
bool fakeErrorModeQuiet();

// ---- shell and shortcuts
struct FakeShellCall {
    Handle owner;
    std::string verb, file;
    bool hasParameters;
    std::string parameters;
    bool comInitialised, quietErrorMode;  // at the time of the call
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
// What SHGetFolderPathA answers for a CSIDL; without an answer the call fails.
void fakeSetShellFolder(int folder, const std::string& path);
int fakeComBalance();  // CoInitialize minus CoUninitialize calls
int fakeLiveComObjects();
int fakeLiveAllocations();  // shell allocator blocks not freed

// ---- restart
extern bool fakeRebootStarted;
extern unsigned long fakeRebootReason;
void fakeDenyShutdownPrivilege();

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
