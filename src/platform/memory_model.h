// What the parts of the in-memory platform share (memory_platform.cpp keeps
// the call log and the failures; memory_files.cpp with memory_process.cpp,
// memory_registry.cpp, memory_ui.cpp and memory_trace.cpp model what their
// win32_* twins call; memory_code_page.cpp and memory_names.cpp model the
// code page and names as Windows reads them, for all of them).
// Only those files include this header; tests and hostcmd-sim use the
// controls of memory_platform.h.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/memory_platform.h"

namespace memory {
// Logs the call in fakeCalls and answers whether it is made to fail
// (fakeFail, fakeFailCallNumber, fakeFailCallsFrom).
bool failing(const char* call);
// Keeps a call that failed on its own as the Windows platform traces it:
// "    Call(arguments) failed: error N". Arguments starting with "\1" are
// shown as they stand, the others quoted with their control bytes named.
void failed(const char* call, unsigned long code, std::initializer_list<std::string> arguments);
// The same for a call whose answer has no exact form in the process code page:
// "    Call(arguments) failed: U+0141 has no exact form in code page 1252".
void failedInexact(const char* call, unsigned long character, std::initializer_list<std::string> arguments);
Handle newHandle();
// ASCII letters to lower case.
std::string lower(std::string text);
// Whether the Windows modelled has the call (fakeSetWindowsVersion,
// fakeRemoveFunction), by its Windows name.
bool present(const char* windowsFunction);
unsigned long sessionNow();
// The error modes as hostcmd's start leaves them on this Windows
// (memory_process.cpp).
void modelStartUp();

// The change observer (platform.h): whether one is set and not running now,
// and a report to it (its own calls meanwhile report nothing).
bool changesObserved();
void reportChange(ChangeKind kind, bool created, Handle root, const std::string& name,
                  const std::string& valueName = std::string());

// ---- the code page (memory_code_page.cpp) and names (memory_names.cpp)
// The code page the ANSI calls work in (fakeSetCodePage; memory_process.cpp keeps it).
unsigned ansiCodePage();
// The size in bytes of the character at `at` (see characters).
std::size_t characterSize(const std::string& text, std::size_t at);
// The text's characters, each as its bytes (a double-byte character, or in
// the UTF-8 build a UTF-8 sequence, is one).
std::vector<std::string> characters(const std::string& text);
// The form every text of the same upper case shares (NTFS's and the
// registry's comparison): the key of a file entry or registry name. Every
// character keeps its size, so a folded text's separators stand where the
// text's own do.
std::string folded(const std::string& text);
// Its length in UTF-16 units, as MAX_PATH counts.
std::size_t wideLength(const std::string& text);
// Byte position of the last "\" that is a character of its own.
std::size_t lastSeparator(const std::string& text);
// Whether a name holds FindFirstFile's wildcards ("*", "?", "<", ">").
bool hasWildcard(const std::string& name);
// Whether a FindFirstFile pattern (its last name as written) matches a name.
bool patternMatches(const std::string& pattern, const std::string& name);
// The 8.3 name Windows gives a name that is not one ("LONGNA~1.HTM"), or "".
std::string shortNameOf(const std::string& name);
// GetFullPathName's rules on the part of an absolute path below its root ("C:\").
void collapsePath(const std::string& root, const std::string& rest, std::string& full, bool& endsInSeparator);
// A name as Windows takes it (GetFullPathNameA's rules, then the file
// system's): "/" is "\"; a name is taken against the current directory, "\x"
// against its drive's root and "C:x" against the current directory when it
// is on that drive, else that drive's root; "." and ".." are resolved,
// repeated separators are one, a directory's name loses one trailing dot and
// the last name all its trailing dots and blanks; a DOS device's name is the
// device in any folder. "\\?\C:\..." is taken as written. Fails (with the
// error the call gives) on an empty name, a UNC name (there is no network), a
// character no name may hold, a name longer than 255 characters, an ANSI name
// of more than MAX_PATH characters, or a path of MAX_PATH or more.
struct Resolved {
    std::string full;       // absolute, in the case given; no trailing "\" but for a root
    std::string key;        // full, folded: the key of its entry
    bool endsInSeparator;   // the name ends in "\" (or its last name vanished): it names a directory
    unsigned long error;    // 0 when resolved
    std::string device;     // "NUL", "CON", "COM1", ... when the name is a DOS device's
};
// With wildcardsInLastName, the last name may hold FindFirstFile's wildcards.
Resolved resolve(const std::string& name, bool wildcardsInLastName = false);

// ---- the file model (memory_files.cpp)
// The key of the entry a name resolves to (see resolve; below a junction,
// below its target), "" when it does not resolve.
std::string absolute(const std::string& path);
// The parent of an absolute path or key ("C:\" for "C:\a"; "" for a root).
std::string parentOf(const std::string& full);
bool isDirectory(const std::string& full);
bool entryExists(const std::string& full);
// Creates or replaces a file (keeping the name of one that exists).
void putFile(const std::string& path, const std::string& bytes);
// Appends bytes to the file at the absolute path, creating it.
void appendToFile(const std::string& full, const std::string& bytes);
// The name as given, made absolute as GetFullPathNameA makes it (resolve's
// full), in its case.
std::string absoluteName(const std::string& path);
// Whether the handle is open on the file at the absolute path.
bool fileOpenAs(Handle file, const std::string& full);

// ---- the process (memory_process.cpp)
std::string currentDirectoryNow();
bool processErrorModeQuiet();
bool threadErrorModeQuiet();
void moveCurrentDirectory(const std::string& path);

// ---- texts Windows hands back (memory_text.cpp)
// A text the fake holds for Windows, as the platform hands it over: false,
// kept as the call's failure, when a fakeWideCharacter in it has no exact form.
bool exactAnswer(const char* call, const std::string& held, std::string& text,
                 std::initializer_list<std::string> arguments = {});
// The same for a directory, which falls back to its short name.
bool exactDirectory(const char* call, const std::string& held, std::string& text,
                    std::initializer_list<std::string> arguments = {});

// ---- the registry model (memory_registry.cpp)
// The text of a Shell Folders value of HKCU (up to its zero byte), as
// Explorer recorded it; nothing is logged.
bool explorerRecord(const std::string& name, std::string& path);

// Each part's state back to a fresh world (fakeReset calls them all, the
// process first: the files' keys are folded in its code page).
void resetProcess();
void resetFiles();
void resetRegistry();
void resetUi();
void resetTrace();
void resetText();
}  // namespace memory
