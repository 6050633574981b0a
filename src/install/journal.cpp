// The uninstall journal: what an installation creates, as the platform
// reports it, stored item by item beside the record (see journal.h).
//
// Each item is stored the moment it is reported, so an installation that is
// stopped half-way (a deployment tool's time-out, a crash) still leaves the
// journal of what it made; identities are added when the installation ends,
// and an item without one is never removed (nothing tells that it is still
// as installed).
#include "install/journal.h"

#include <utility>

#include "app/text.h"
#include "install/install.h"
#include "registry/registry.h"

const char* const journalKeyName = "hostcmd uninstall journal";
const char* const uninstallerName = "hostcmd-uninstall.exe";

namespace {
const char* const itemCountName = "items";
// A journal item and a value read for its identity fit these.
const std::size_t itemBufferSize = 4096, valueBufferSize = 65536;

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

// Counts and lengths in decimal; sizes, times and hashes in hex, which
// needs no 64-bit division.
std::string decimal(std::size_t value) { return std::to_string(static_cast<unsigned>(value)); }

bool parseDecimalCount(const std::string& text, std::size_t& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

std::string hex(std::uint64_t value) {
    const char* digits = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) text[i] = digits[value & 15];
    return text;
}

bool parseHex(const std::string& text, std::uint64_t& value) {
    if (text.size() != 16) return false;
    value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return true;
}

// The first `count` fields of a text, "|" after each, and the rest.
bool takeBarFields(const std::string& text, int count, std::vector<std::string>& fields, std::string& rest) {
    fields.clear();
    std::size_t from = 0;
    for (int i = 0; i < count; ++i) {
        std::size_t bar = text.find('|', from);
        if (bar == std::string::npos) return false;
        fields.push_back(text.substr(from, bar - from));
        from = bar + 1;
    }
    rest = text.substr(from);
    return true;
}

// What tells two items apart: their kind and their names, case folded.
std::string positionKey(JournalItemKind kind, Handle root, const std::string& name, const std::string& valueName) {
    std::string key = decimal(kind) + "|" + hex(root) + "|" + foldedCase(name);
    return kind == journaledValue ? key + "|" + foldedCase(valueName) : key;
}
std::string positionKey(const JournalItem& item) {
    return positionKey(item.kind, item.root, item.name, item.valueName);
}

bool sameKeyPath(const std::string& a, const std::string& b) { return foldedCase(a) == foldedCase(b); }

// Stores items[position] as its value, and the count. The observer is not
// told of these writes (they happen while it runs, or while none is set).
void storeItem(const RunningJournal& journal, std::size_t position) {
    Handle key = regCreateKey(journal.root, journal.storageKey);
    if (!key) return;
    regSetStringValue(key, decimal(position + 1), journalItemText(journal.items[position]));
    regSetStringValue(key, itemCountName, decimal(journal.items.size()));
    regCloseKey(key);
}

void append(RunningJournal& journal, const JournalItem& item, bool written) {
    journal.keys.push_back(positionKey(item));
    journal.items.push_back(item);
    if (written) journal.touched.push_back(journal.items.size() - 1);
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
        if (kind == journaledFile || kind == journaledValue) journal.touched.push_back(known);
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

Handle scopeRoot(InstallScope scope) { return scope == installPerUser ? rootCurrentUser : rootLocalMachine; }

std::string registryRootName(Handle root) {
    const char* names[] = {"HKCR", "HKCU", "HKLM", "HKU"};
    for (const char* name : names)
        if (rootKeyByName(name) == root) return name;
    return std::string();
}

std::string installKeyPath(const std::string& part1, const std::string& part2, const std::string& part3) {
    return "Software\\" + installKeyTail(part1, part2, part3);
}

std::string journalKeyPath(const std::string& part1, const std::string& part2, const std::string& part3) {
    return installKeyPath(part1, part2, part3) + "\\" + journalKeyName;
}

std::string entryKeyPath(const std::string& part1, const std::string& part2, const std::string& part3) {
    auto encoded = [](const std::string& part) {
        return replaceEach(replaceEach(replaceEach(part, "%", "%25"), "\\", "%5C"), "#", "%23");
    };
    return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#" + encoded(part1) + "#" +
           encoded(part2) + "#" + encoded(part3);
}

std::string displayName(const std::string& part2, const std::string& part3) {
    return part3.empty() ? part2 : part2 + " " + part3;
}

namespace {
// By JournalItemKind.
const char* const kindNames[] = {"directory", "file", "key", "value", "installed"};
}  // namespace

// "<kind>|<root>|<identity>|<length of the name>|<name><value name>": the
// length tells the key path from the value name, which may hold anything.
// Files and directories have no root; an identity not taken is empty.
std::string journalItemText(const JournalItem& item) {
    std::string identity;
    if (item.identityKnown && item.kind == journaledFile) identity = hex(item.size) + hex(item.lastWritten);
    if (item.identityKnown && item.kind == journaledValue) identity = hex(item.dataHash);
    std::string text = kindNames[item.kind];
    text += "|" + registryRootName(item.root) + "|" + identity + "|" + decimal(item.name.size()) + "|";
    return text + item.name + item.valueName;
}

bool parseJournalItem(const std::string& text, JournalItem& item) {
    item = newItem(journaledDirectory, 0, std::string(), std::string());
    std::vector<std::string> fields;
    std::string rest;
    std::size_t length = 0;
    if (!takeBarFields(text, 4, fields, rest) || !parseDecimalCount(fields[3], length) || length == 0 ||
        length > rest.size())
        return false;
    int kind = 0;
    while (kind < 5 && fields[0] != kindNames[kind]) ++kind;
    if (kind == 5) return false;
    item.kind = static_cast<JournalItemKind>(kind);
    bool registry = item.kind == journaledKey || item.kind == journaledValue;
    item.root = rootKeyByName(fields[1]);
    if (registry ? item.root == nullKey : !fields[1].empty()) return false;
    item.name = rest.substr(0, length);
    item.valueName = rest.substr(length);
    if (item.kind != journaledValue && !item.valueName.empty()) return false;
    const std::string& identity = fields[2];
    if (identity.empty()) return true;
    if (item.kind == journaledFile)
        item.identityKnown = identity.size() == 32 && parseHex(identity.substr(0, 16), item.size) &&
                             parseHex(identity.substr(16), item.lastWritten);
    else if (item.kind == journaledValue)
        item.identityKnown = parseHex(identity, item.dataHash);
    return item.identityKnown;
}

bool readJournal(InstallScope scope, const std::string& part1, const std::string& part2, const std::string& part3,
                 std::vector<JournalItem>& items) {
    items.clear();
    Handle key = regOpenKeyForReading(scopeRoot(scope), journalKeyPath(part1, part2, part3));
    if (!key) return false;
    std::string data;
    std::size_t count = 0;
    if (regQueryValue(key, itemCountName, itemBufferSize, data)) parseDecimalCount(textOfValueData(data), count);
    // An item that cannot be read or makes no sense is left out: nothing is
    // removed on its word.
    for (std::size_t n = 1; n <= count; ++n) {
        JournalItem item;
        if (regQueryValue(key, decimal(n), itemBufferSize, data) && parseJournalItem(textOfValueData(data), item))
            items.push_back(std::move(item));
    }
    regCloseKey(key);
    return true;
}

bool readValueData(Handle root, const std::string& keyPath, const std::string& valueName, std::string& data) {
    Handle key = regOpenKeyForReading(root, keyPath);
    if (!key) return false;
    bool read = regQueryValue(key, valueName, valueBufferSize, data);
    regCloseKey(key);
    return read;
}

// FNV-1a, 64 bits: any change of the data changes it but for a chance of 2^-64.
std::uint64_t valueDataHash(const std::string& data) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : data) hash = (hash ^ c) * 1099511628211ULL;
    return hash;
}

std::string resolvedName(const std::string& name) {
    std::string full = fullPathName(name);
    while (full.size() > 3 && endsWithBackslash(full)) full.erase(full.size() - 1);
    return full;
}

std::string foldedCase(const std::string& text) {
    std::string folded = text;
    for (std::size_t i = 0; i < folded.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(folded[i]);
        if (isLeadByte(c)) ++i;
        else if (c >= 'A' && c <= 'Z') folded[i] = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

bool nameWithin(const std::string& name, const std::string& base) {
    std::string n = foldedCase(name), b = foldedCase(base);
    if (n.size() < b.size() || n.compare(0, b.size(), b) != 0) return false;
    // "C:\Apps2" is not within "C:\Apps"; everything is within a root "C:\".
    return n.size() == b.size() || endsWithBackslash(b) || n[b.size()] == '\\';
}

// The parts of a key path joined by single "\" (empty parts dropped, the
// second byte of a double-byte character never a separator), and the path's
// leading parts: "A", "A\B", "A\B\C".
std::vector<std::string> keyPathPrefixes(const std::string& path) {
    std::vector<std::string> prefixes;
    std::string prefix, part;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\') {
            part += path[i];
            if (isLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) part += path[++i];
        } else if (!part.empty()) {
            prefix += (prefix.empty() ? "" : "\\") + part;
            prefixes.push_back(prefix);
            part.clear();
        }
    }
    return prefixes;
}
std::string cleanKeyPath(const std::string& path) {
    std::vector<std::string> prefixes = keyPathPrefixes(path);
    return prefixes.empty() ? std::string() : prefixes.back();
}

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
    Handle storage = regCreateKey(journal.root, journal.storageKey);
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
