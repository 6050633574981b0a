// What the parts of the in-memory platform share (memory_platform.cpp keeps
// the call log and the failures; memory_files.cpp, memory_registry.cpp,
// memory_ui.cpp and memory_trace.cpp model what their win32_* twins call).
// Only those files include this header; tests and hostcmd-sim use the
// controls of memory_platform.h.
#pragma once

#include <initializer_list>
#include <string>

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
// (memory_files.cpp).
void modelStartUp();

// The change observer (platform.h): whether one is set and not running now,
// and a report to it (its own calls meanwhile report nothing).
bool changesObserved();
void reportChange(ChangeKind kind, bool created, Handle root, const std::string& name,
                  const std::string& valueName = std::string());

// ---- the file model (memory_files.cpp)
// The absolute lower-case form of a path: the key of an entry.
std::string absolute(const std::string& path);
// The parent of an absolute path ("C:\" for "C:\a"; "" for a root).
std::string parentOf(const std::string& full);
bool isDirectory(const std::string& full);
bool entryExists(const std::string& full);
// Creates or replaces a file (keeping the name of one that exists).
void putFile(const std::string& path, const std::string& bytes);
// Appends bytes to the file at the absolute path, creating it.
void appendToFile(const std::string& full, const std::string& bytes);
// The name as given, made absolute ("." and ".." resolved), in its case.
std::string absoluteName(const std::string& path);
// Whether the handle is open on the file at the absolute path.
bool fileOpenAs(Handle file, const std::string& full);
std::string currentDirectoryNow();
bool processErrorModeQuiet();
bool threadErrorModeQuiet();
void moveCurrentDirectory(const std::string& path);

// The ANSI code page the fake works in (fakeSetCodePage).
unsigned ansiCodePage();

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

// Each part's state back to a fresh world (fakeReset calls them all).
void resetFiles();
void resetRegistry();
void resetUi();
void resetTrace();
void resetText();
}  // namespace memory
