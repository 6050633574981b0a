// The journal's items as they are stored, the keys that name an
// installation, and names compared as Windows compares them (journal.h).
#include "app/text.h"
#include "install/install.h"
#include "install/journal.h"
#include "registry/registry.h"

const char* const journalKeyName = "hostcmd uninstall journal";
const char* const journalCountName = "items";
const char* const uninstallerName = "hostcmd-uninstall.exe";

namespace {
// A journal item and a value read for its identity fit these.
const std::size_t itemBufferSize = 4096, valueBufferSize = 65536;

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

// By JournalItemKind.
const char* const kindNames[] = {"directory", "file", "key", "value", "installed"};
}  // namespace

Handle scopeRoot(InstallScope scope) { return scope == InstallScope::user ? rootCurrentUser : rootLocalMachine; }

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
    item = JournalItem{journaledDirectory, 0, std::string(), std::string(), false, 0, 0, 0};
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
    if (regQueryValue(key, journalCountName, itemBufferSize, data)) parseDecimalCount(textOfValueData(data), count);
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
