// The uninstall journal, and the entry in Windows' list of installed programs.
//
// While an installation runs, everything it creates that was not there before
// is appended, in order, to its journal: directories, files (with their size
// and last-write time as the installation leaves them), registry keys, and
// values (with a hash of their data). The platform reports each creation
// (setChangeObserver); no command handler knows of the journal, so every
// command of an installer file, at any nesting depth, is journaled alike.
// What the installation replaced or overwrote is never journaled for removal:
// an uninstall leaves it as it is, and restores nothing that was there.
//
// The journal lives beside the record, in the key "hostcmd uninstall journal"
// below the install key: under HKLM for a machine-wide installation (where
// only administrators can change it: an elevated uninstall acts on it), under
// HKCU for one user's. Its values "1", "2", ... are the items, "items" their
// count. Running the same installer again appends to the journal it finds.
//
// When an installation is done, a copy of the running program goes into the
// installed directory as "hostcmd-uninstall.exe" (journaled like any file),
// and the entry Software\Microsoft\Windows\CurrentVersion\Uninstall\<id> is
// written in the same root, its two uninstall strings starting that copy
// with "uninstall&..." and "uninstallQuiet&...". "uninstall" (uninstall.cpp)
// removes what the journal lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/install.h"
#include "platform/platform.h"
#include "registry/registry.h"

// ---- what the installer calls ----------------------------------------------

// 1. Once the user has passed the welcome message and the path dialog, right
//    before the directory chain: the journal is opened (created below the
//    install key, whose keys that are missing now become its first items)
//    and every creation from here on is journaled. False when it cannot be
//    stored (the install key's root may not be written): nothing is then
//    journaled, and the installation goes on as before.
bool beginInstallJournal(InstallScope scope, const std::string& part1, const std::string& part2,
                         const std::string& part3);
// 2. Right after the directory chain, with the installed directory (the
//    value the record is about to get). An uninstall removes files only in
//    the installed directories of its journal (and the shortcut folders).
void journalInstalledDirectory(const std::string& installedDirectory);
// 3. When the installation is done: after the final command, before the
//    restart prompt, and on every way out of the installer after 1 (a
//    failed read-back, a stopped run). `installed`: the record read back and
//    the command list ran; then the uninstaller copy and the entry are
//    written. The identities of what was written are taken, and observing
//    ends.
void endInstallJournal(bool installed);

// ---- shared with the uninstall -----------------------------------------------

extern const char* const journalKeyName;    // "hostcmd uninstall journal"
extern const char* const journalCountName;  // "items": the value holding how many items it has
extern const char* const uninstallerName;  // "hostcmd-uninstall.exe"

Handle scopeRoot(InstallScope scope);
// Software\<part 1>\<part 2>\<part 3>, and the journal's key below it.
std::string installKeyPath(const std::string& part1, const std::string& part2, const std::string& part3);
std::string journalKeyPath(const std::string& part1, const std::string& part2, const std::string& part3);
// Software\Microsoft\Windows\CurrentVersion\Uninstall\<id>. The id holds the
// three parts, "#" between them ("%", "\" and "#" in a part written %25, %5C,
// %23): the same parts always give the same entry, different parts another.
std::string entryKeyPath(const std::string& part1, const std::string& part2, const std::string& part3);
// Part 2 and part 3, a blank between them ("Viewer 2.0"); part 2 alone when
// part 3 is empty.
std::string displayName(const std::string& part2, const std::string& part3);

enum JournalItemKind { journaledDirectory, journaledFile, journaledKey, journaledValue, journaledInstallLocation };
struct JournalItem {
    JournalItemKind kind;
    Handle root;            // keys and values
    std::string name;       // absolute file or directory name, or key path
    std::string valueName;  // values
    bool identityKnown;     // files and values: taken when the installation ended
    std::uint64_t size, lastWritten;  // files
    std::uint64_t dataHash;           // values
};
// The journal's text of an item, and back; false for a text that is none.
std::string journalItemText(const JournalItem& item);
bool parseJournalItem(const std::string& text, JournalItem& item);
// Every item of the journal stored in that scope, in order; false when there
// is no journal.
bool readJournal(InstallScope scope, const std::string& part1, const std::string& part2, const std::string& part3,
                 std::vector<JournalItem>& items);
// A value's data (up to 64 KB) and the hash a journal records of it.
bool readValueData(Handle root, const std::string& keyPath, const std::string& valueName, std::string& data);
std::uint64_t valueDataHash(const std::string& data);

// ---- names as Windows compares them -----------------------------------------

// The absolute name, "." and ".." resolved (GetFullPathNameA), without a
// final "\" unless it is a root such as "C:\".
std::string resolvedName(const std::string& name);
// ASCII letters to lower case, never the second byte of a double-byte character.
std::string foldedCase(const std::string& text);
// Whether `name` is `base` or lies below it, comparing whole components
// without regard to case; both resolved names.
bool nameWithin(const std::string& name, const std::string& base);

// The parts of a key path joined by single "\" (empty parts dropped, the
// second byte of a double-byte character never taken for a separator), and
// the path's leading parts: "A", "A\B", "A\B\C".
std::string cleanKeyPath(const std::string& path);
std::vector<std::string> keyPathPrefixes(const std::string& path);

// ---- the uninstaller copy and the entry (uninstall_entry.cpp) ---------------

// Copies the running program into the directory as uninstallerName; true
// with the copy's path.
bool placeUninstaller(const std::string& installedDirectory, std::string& copyPath);
// Writes the entry in the scope's root: DisplayName, Publisher,
// DisplayVersion, VersionMajor and VersionMinor (when part 3 begins with a
// number), InstallLocation, InstallDate (YYYYMMDD), EstimatedSize (KB of
// `installedBytes`), NoModify, NoRepair, UninstallString and
// QuietUninstallString.
void writeUninstallEntry(InstallScope scope, const std::string& part1, const std::string& part2,
                         const std::string& part3, const std::string& installedDirectory,
                         const std::string& uninstallerPath, std::uint64_t installedBytes);
// The command line the entry starts the copy with: the copy's path in
// double quotes, a blank, then "<word>&<part 1>&<part 2>&<part 3>".
std::string uninstallCommandLine(const std::string& uninstallerPath, const std::string& word, const std::string& part1,
                                 const std::string& part2, const std::string& part3);
// Whether part 3 begins with a number: its leading digits, and those after
// a "." that follows them (0 without).
bool versionNumbers(const std::string& part3, std::uint32_t& major, std::uint32_t& minor);
