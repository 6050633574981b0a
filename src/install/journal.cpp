// The uninstall journal: what an installation creates, as the platform
// reports it, stored item by item beside the record (see journal.h).
//
// Each item is stored the moment it is reported, so an installation that is
// stopped half-way (a deployment tool's time-out, a crash) still leaves the
// journal of what it made; the identities of files and values are added when
// the installation ends, and one without is never removed (nothing tells
// that it is still as installed).
#include "install/journal.h"

#include <utility>

#include "app/text.h"
#include "install/install.h"
#include "registry/registry.h"

namespace {
// One installation being journaled. Installations nest (a command list may
// run "install" on another file): the innermost is the last.
struct RunningJournal {
    InstallScope scope;
    Handle root;
    std::string part1, part2, part3, installKey, storageKey, installedDirectory;
    std::vector<JournalItem> items;                // every item, stored as "1", "2", ...
    std::vector<std::string> keys;                 // what each item names (positionKey), by place
    std::vector<std::size_t> touched;              // items written by this run: identities to take
    bool stored;                                   // the journal's key could be made
};
std::vector<RunningJournal> running;

// What tells two items apart: their kind and their names, case folded.
std::string positionKey(JournalItemKind kind, Handle root, const std::string& name, const std::string& valueName) {
    std::string key = std::to_string(static_cast<int>(kind)) + "|" + registryRootName(root) + "|" + foldedCase(name);
    return kind == journaledValue ? key + "|" + foldedCase(valueName) : key;
}
std::string positionKey(const JournalItem& item) {
    return positionKey(item.kind, item.root, item.name, item.valueName);
}

bool sameKeyPath(const std::string& a, const std::string& b) { return foldedCase(a) == foldedCase(b); }

// Stores items[position] as its value, and the count. The observer is not
// told of these writes (they happen while it runs, or while none is set).
void storeItem(const RunningJournal& journal, std::size_t position) {
    Handle key = regCreateKey(journal.root, journal.storageKey, keySetValue);
    if (!key) return;
    regSetStringValue(key, std::to_string(static_cast<unsigned>(position + 1)), journalItemText(journal.items[position]));
    regSetStringValue(key, journalCountName, std::to_string(static_cast<unsigned>(journal.items.size())));
    regCloseKey(key);
}

// Notes that this run wrote the item (once, however often it writes it).
void touch(RunningJournal& journal, std::size_t position) {
    for (std::size_t touched : journal.touched)
        if (touched == position) return;
    journal.touched.push_back(position);
}

void append(RunningJournal& journal, const JournalItem& item, bool written) {
    journal.keys.push_back(positionKey(item));
    journal.items.push_back(item);
    if (written) touch(journal, journal.items.size() - 1);
    storeItem(journal, journal.items.size() - 1);
}

// The place of the item with that key, or the count of items when none has it.
std::size_t findKey(const RunningJournal& journal, const std::string& key) {
    std::size_t i = 0;
    while (i < journal.keys.size() && journal.keys[i] != key) ++i;
    return i;
}

JournalItem newItem(JournalItemKind kind, Handle root, const std::string& name, const std::string& valueName) {
    JournalItem item = {kind, root, name, valueName, false, 0, 0, 0};
    return item;
}

// What the platform reports while an installation runs.
void observeChange(const Change& change) {
    if (running.empty() || !running.back().stored) return;
    RunningJournal& journal = running.back();
    JournalItemKind kind = change.kind == changeDirectory ? journaledDirectory
                           : change.kind == changeFile    ? journaledFile
                           : change.kind == changeKey     ? journaledKey
                                                          : journaledValue;
    std::string name = kind == journaledKey || kind == journaledValue ? change.name : resolvedName(change.name);
    if (kind == journaledKey || kind == journaledValue) {
        // The record and the journal itself are removed by the uninstall's
        // last steps, not as items.
        if (change.root == journal.root && sameKeyPath(name, journal.storageKey)) return;
        if (kind == journaledValue && change.root == journal.root && sameKeyPath(name, journal.installKey) &&
            foldedCase(change.valueName) == "isdir")
            return;
    }
    std::size_t known = findKey(journal, positionKey(kind, change.root, name, change.valueName));
    if (known < journal.items.size()) {
        // Journaled before (by an earlier run, or earlier in this one) and
        // written again: its identity is what this run leaves.
        if (kind == journaledFile || kind == journaledValue) touch(journal, known);
        return;
    }
    // A file or value that was there before the installation is not its own.
    if (!change.created) return;
    append(journal, newItem(kind, change.root, name, change.valueName), kind == journaledFile || kind == journaledValue);
}

// Where the keys of a path (its leading parts, outermost first) begin to be missing.
std::size_t firstMissingKey(Handle root, const std::vector<std::string>& prefixes) {
    std::size_t firstMissing = prefixes.size();
    for (; firstMissing > 0; --firstMissing) {
        Handle existing = regOpenKeyForReading(root, prefixes[firstMissing - 1]);
        if (!existing) continue;
        regCloseKey(existing);
        break;
    }
    return firstMissing;
}

// The identity of what an item names now, taken when the installation ends.
void takeIdentity(JournalItem& item) {
    item.identityKnown = false;
    if (item.kind == journaledFile) {
        FileFacts facts;
        if (!fileFacts(item.name, facts) || facts.directory || facts.reparsePoint) return;
        item.size = facts.size;
        item.lastWritten = facts.lastWritten;
        item.identityKnown = true;
    } else if (item.kind == journaledValue) {
        std::string data;
        if (!readValueData(item.root, item.name, item.valueName, data)) return;
        item.dataHash = valueDataHash(data);
        item.identityKnown = true;
    }
}
}  // namespace

// ---- the installation's side -------------------------------------------------

bool beginInstallJournal(InstallScope scope, const std::string& part1, const std::string& part2,
                         const std::string& part3) {
    // The journal's own keys are not what the installation creates: no
    // observer (an enclosing installation's) sees them.
    setChangeObserver(nullptr);
    RunningJournal journal;
    journal.scope = scope;
    journal.root = scopeRoot(scope);
    journal.part1 = part1, journal.part2 = part2, journal.part3 = part3;
    journal.installKey = cleanKeyPath(installKeyPath(part1, part2, part3));
    journal.storageKey = cleanKeyPath(journalKeyPath(part1, part2, part3));

    // The keys of the install key's path that are missing now: the
    // installation creates them, and its uninstall removes them when empty.
    std::vector<std::string> prefixes = keyPathPrefixes(journal.installKey);
    std::size_t firstMissing = firstMissingKey(journal.root, prefixes);
    Handle storage = regCreateKey(journal.root, journal.storageKey, keySetValue);
    journal.stored = storage != 0;
    if (journal.stored) {
        regCloseKey(storage);
        readJournal(scope, part1, part2, part3, journal.items);
        for (const JournalItem& item : journal.items) journal.keys.push_back(positionKey(item));
        for (std::size_t i = firstMissing; i < prefixes.size(); ++i)
            append(journal, newItem(journaledKey, journal.root, prefixes[i], ""), false);
    }
    // An installation whose journal cannot be stored still runs, journaled
    // nowhere: what it makes is not an enclosing installation's either.
    bool stored = journal.stored;
    running.push_back(std::move(journal));
    setChangeObserver(observeChange);
    return stored;
}

void journalInstalledDirectory(const std::string& installedDirectory) {
    if (running.empty() || !running.back().stored) return;
    RunningJournal& journal = running.back();
    journal.installedDirectory = resolvedName(installedDirectory);
    JournalItem item = newItem(journaledInstallLocation, 0, journal.installedDirectory, "");
    if (findKey(journal, positionKey(item)) == journal.items.size()) append(journal, item, false);
}

void endInstallJournal(bool installed) {
    if (running.empty()) return;
    RunningJournal& journal = running.back();
    std::string uninstaller;
    // The copy is journaled as it is made, like every file of the installation.
    // Without it there is no entry: its strings would start nothing.
    bool placed = installed && journal.stored && !journal.installedDirectory.empty() &&
                  placeUninstaller(journal.installedDirectory, uninstaller);
    setChangeObserver(nullptr);
    if (journal.stored) {
        for (std::size_t position : journal.touched) {
            takeIdentity(journal.items[position]);
            storeItem(journal, position);
        }
        if (placed) {
            // Keys above the entry that are missing now (a user's first entry
            // makes HKCU's Uninstall key) are the installation's too.
            std::vector<std::string> prefixes = keyPathPrefixes(entryKeyPath(journal.part1, journal.part2, journal.part3));
            prefixes.pop_back();
            std::size_t firstMissing = firstMissingKey(journal.root, prefixes);
            for (std::size_t i = firstMissing; i < prefixes.size(); ++i)
                append(journal, newItem(journaledKey, journal.root, prefixes[i], ""), false);
            std::uint64_t bytes = 0;
            for (const JournalItem& item : journal.items)
                if (item.kind == journaledFile && item.identityKnown) bytes += item.size;
            writeUninstallEntry(journal.scope, journal.part1, journal.part2, journal.part3, journal.installedDirectory,
                                uninstaller, bytes);
        }
    }
    running.pop_back();
    // An enclosing installation goes on being journaled.
    if (!running.empty()) setChangeObserver(observeChange);
}
