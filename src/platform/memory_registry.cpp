// The registry and the restart's privilege calls (the model of win32_registry.cpp).
//
// Keys and value names are compared as the registry compares them, by their
// upper case across the code page (memory_code_page.cpp), and keep the names
// they were created with. A sub-key path is taken as Windows takes it: a
// leading "\" is refused, repeated "\" are one, and "." and ".." are names
// like any other.
#include <cstdio>
#include <set>

#include "platform/memory_model.h"

using namespace memory;

bool fakeRebootStarted;
unsigned long fakeRebootReason;

namespace {
struct Value {
    std::string name;  // as first set
    unsigned type;
    std::string bytes;
    bool exact;  // false: the data holds characters the code page lacks, which the ANSI read cannot give
};

const unsigned long badPathName = 161, invalidParameter = 87, noUnicodeTranslation = 1113;
const std::size_t maxKeyName = 256;      // Windows takes 256 characters (the documented limit is 255)
const std::size_t maxValueName = 16383;
const std::size_t maxDepth = 512;        // levels of keys below a root

std::set<std::string> registryKeys;
std::map<std::string, std::map<std::string, Value>> registryValues;  // key -> folded name -> value
std::map<std::string, std::string> keyNames;                         // key -> path as first created
std::map<Handle, std::string> openKeys;
std::set<Handle> readingKeys;  // opened with query access only
std::set<Handle> deniedRoots;
std::set<std::string> readOnlyKeys;
bool shutdownDenied;
// The last key a value was set below by a control, and its key: a .reg file
// sets many values below one key, whose path need not be read again for each.
Handle memoRoot;
std::string memoPath, memoKey;
std::map<std::string, Value>* memoValues;  // the key's values (forgotten when a key is deleted)

// Whether full access to the key is refused: its root is denied, or it is a
// read-only key or lies below one.
bool writeDenied(Handle root, const std::string& key) {
    if (deniedRoots.count(root)) return true;
    for (const std::string& k : readOnlyKeys)
        if (key == k || key.compare(0, k.size() + 1, k + "\\") == 0) return true;
    return false;
}

std::string rootName(Handle root) {
    switch (root) {
        case rootClassesRoot: return "\1HKCR";
        case rootCurrentUser: return "\1HKCU";
        case rootLocalMachine: return "\1HKLM";
        case rootUsers: return "\1HKU";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "\1handle 0x%lX", static_cast<unsigned long>(root));
            return text;
        }
    }
}

// "<root number>\path" of a sub-key path, in the case given; the error
// RegCreateKeyEx gives for the path (0 when Windows takes it).
std::string keyPathAsGiven(Handle root, const std::string& path, unsigned long* error = nullptr) {
    std::string key = std::to_string(root);
    std::string component;
    std::size_t depth = 0;
    unsigned long code = !path.empty() && path[0] == '\\' ? badPathName : 0;
    for (std::size_t at = 0, size; at <= path.size(); at += size) {
        size = at < path.size() ? characterSize(path, at) : 1;
        if (at < path.size() && path[at] != '\\') {
            component.append(path, at, size);
        } else if (!component.empty()) {
            if (wideLength(component) > maxKeyName) code = code ? code : invalidParameter;
            key += "\\" + component;
            component.clear();
            ++depth;
        }
    }
    if (depth > maxDepth && !code) code = invalidParameter;
    if (error) *error = code;
    return key;
}
std::string keyPath(Handle root, const std::string& path) { return folded(keyPathAsGiven(root, path)); }

// Creates the key and its missing parents: each new key is named as its
// parent is named, then its own name as given.
void createKeys(Handle root, const std::string& path) {
    std::string given = keyPathAsGiven(root, path);
    std::string key = folded(given);
    std::vector<std::size_t> ends;  // of the key and its parents, the key's first
    ends.push_back(given.size());
    for (std::size_t at = 0, size; at < given.size(); at += size) {
        size = characterSize(given, at);
        if (given[at] == '\\') ends.insert(ends.begin() + 1, at);
    }
    ends.pop_back();  // the root is no key of its own
    std::size_t known = ends.size();  // the first of `ends` that exists already
    for (std::size_t i = 0; i < ends.size(); ++i)
        if (registryKeys.count(key.substr(0, ends[i]))) {
            known = i;
            break;
        }
    std::size_t baseEnd = known < ends.size() ? ends[known] : given.find('\\');
    std::string base = known < ends.size() ? keyNames[key.substr(0, baseEnd)] : given.substr(0, baseEnd);
    for (std::size_t i = 0; i < known; ++i) {
        registryKeys.insert(key.substr(0, ends[i]));
        keyNames.emplace(key.substr(0, ends[i]), base + given.substr(baseEnd, ends[i] - baseEnd));
    }
}

}  // namespace

namespace memory {
void resetRegistry() {
    registryKeys.clear();
    registryValues.clear();
    keyNames.clear();
    openKeys.clear();
    readingKeys.clear();
    deniedRoots.clear();
    readOnlyKeys.clear();
    shutdownDenied = false;
    memoRoot = 0;
    memoPath.clear();
    memoKey.clear();
    memoValues = nullptr;
    fakeRebootStarted = false;
    fakeRebootReason = 0;
}
}  // namespace memory

// ---- controls ------------------------------------------------------------------

void fakeSetRegistryValue(Handle root, const std::string& path, const std::string& name, const std::string& bytes,
                          unsigned type, bool exact) {
    if (!memoValues || memoRoot != root || memoPath != path) {
        createKeys(root, path);
        memoRoot = root;
        memoPath = path;
        memoKey = keyPath(root, path);
        memoValues = &registryValues[memoKey];
    }
    (*memoValues)[folded(name)] = Value{name, type, bytes, exact};
}
bool fakeRegistryValue(Handle root, const std::string& path, const std::string& name, std::string& bytes) {
    auto key = registryValues.find(keyPath(root, path));
    if (key == registryValues.end()) return false;
    auto value = key->second.find(folded(name));
    if (value == key->second.end()) return false;
    bytes = value->second.bytes;
    return true;
}
void fakeCreateRegistryKey(Handle root, const std::string& path) { createKeys(root, path); }
void fakeDeleteRegistryTree(Handle root, const std::string& path) {
    memoValues = nullptr;
    std::string key = keyPath(root, path);
    for (auto it = registryKeys.begin(); it != registryKeys.end();) {
        if (*it == key || it->compare(0, key.size() + 1, key + "\\") == 0) {
            registryValues.erase(*it);
            keyNames.erase(*it);
            it = registryKeys.erase(it);
        } else {
            ++it;
        }
    }
}
void fakeDeleteRegistryValue(Handle root, const std::string& path, const std::string& name) {
    auto key = registryValues.find(keyPath(root, path));
    if (key != registryValues.end()) key->second.erase(folded(name));
}
FakeRegistry fakeRegistrySnapshot() {
    FakeRegistry snapshot;
    for (auto& key : registryKeys) snapshot.keys[key] = keyNames.count(key) ? keyNames[key] : key;
    for (auto& key : registryValues) {
        auto& values = snapshot.values[key.first];
        for (auto& value : key.second) values[value.first] = FakeRegistryValue{value.second.name, value.second.type, value.second.bytes};
    }
    return snapshot;
}
bool fakeRegistryKeyExists(Handle root, const std::string& path) { return registryKeys.count(keyPath(root, path)) > 0; }
void fakeDenyRegistryRoot(Handle root) { deniedRoots.insert(root); }
void fakeMakeRegistryKeyReadOnly(Handle root, const std::string& path) { readOnlyKeys.insert(keyPath(root, path)); }
int fakeOpenKeys() { return static_cast<int>(openKeys.size()); }
void fakeDenyShutdownPrivilege() { shutdownDenied = true; }

// ---- the platform ------------------------------------------------------------

Handle regCreateKey(Handle root, const std::string& path) {
    if (failing("regCreateKey")) return 0;
    unsigned long code;
    std::string key = folded(keyPathAsGiven(root, path, &code));
    if (!code && writeDenied(root, key)) code = 5;
    if (code) {
        failed("RegCreateKeyExA", code, {rootName(root), path, "\1KEY_ALL_ACCESS"});
        return 0;
    }
    createKeys(root, path);
    Handle handle = newHandle();
    openKeys[handle] = key;
    return handle;
}

Handle regOpenKeyForReading(Handle root, const std::string& path) {
    if (failing("regOpenKeyForReading")) return 0;
    unsigned long code;
    std::string key = folded(keyPathAsGiven(root, path, &code));
    if (code || (key.find('\\') != std::string::npos && !registryKeys.count(key))) return 0;
    Handle handle = newHandle();
    openKeys[handle] = key;
    readingKeys.insert(handle);
    return handle;
}

void regCloseKey(Handle key) {
    fakeCalls.push_back("regCloseKey");
    openKeys.erase(key);
    readingKeys.erase(key);
}

bool regQueryValue(Handle key, const std::string& name, std::size_t bufferSize, std::string& data) {
    if (failing("regQueryValue")) return false;
    if (!openKeys.count(key)) {
        failed("RegQueryValueExA", 6, {rootName(key), name});  // ERROR_INVALID_HANDLE
        return false;
    }
    auto values = registryValues.find(openKeys[key]);
    auto value = values == registryValues.end() ? std::map<std::string, Value>::iterator() : values->second.find(folded(name));
    if (values == registryValues.end() || value == values->second.end()) {
        failed("RegQueryValueExA", 2, {rootName(key), name});
        return false;
    }
    if (!value->second.exact) {
        failed("RegQueryValueExA", noUnicodeTranslation, {rootName(key), name});
        return false;
    }
    if (value->second.bytes.size() > bufferSize) {
        failed("RegQueryValueExA", 234, {rootName(key), name});  // ERROR_MORE_DATA
        return false;
    }
    data = value->second.bytes;
    return true;
}

bool regSetStringValue(Handle key, const std::string& name, const std::string& text) {
    if (failing("regSetStringValue")) return false;
    unsigned long code = !openKeys.count(key) ? 6 : readingKeys.count(key) ? 5 : wideLength(name) > maxValueName ? invalidParameter : 0;
    if (code) {
        failed("RegSetValueExA", code, {rootName(key), name, "\1REG_SZ", text});
        return false;
    }
    auto& values = registryValues[openKeys[key]];
    auto existing = values.find(folded(name));
    values[folded(name)] = Value{existing == values.end() ? name : existing->second.name, 1, text + std::string(1, '\0'), true};
    return true;
}

bool regDeleteKey(Handle key, const std::string& name) {
    if (failing("regDeleteKey")) return false;
    if (!openKeys.count(key) || readingKeys.count(key)) {
        failed("RegDeleteKeyA", openKeys.count(key) ? 5 : 6, {rootName(key), name});
        return false;
    }
    std::string target = openKeys[key];
    unsigned long code;
    std::string relative = folded(keyPathAsGiven(0, name, &code));
    target += relative.substr(1);
    if (code || !registryKeys.count(target) || target.find('\\') == std::string::npos) {
        failed("RegDeleteKeyA", code ? code : 2, {rootName(key), name});
        return false;
    }
    for (auto& k : registryKeys)
        if (k.size() > target.size() && k.compare(0, target.size() + 1, target + "\\") == 0) {
            failed("RegDeleteKeyA", 5, {rootName(key), name});
            return false;
        }
    memoValues = nullptr;
    registryKeys.erase(target);
    registryValues.erase(target);
    keyNames.erase(target);
    return true;
}

bool regDeleteValue(Handle key, const std::string& name) {
    if (failing("regDeleteValue")) return false;
    if (openKeys.count(key) && readingKeys.count(key)) {
        failed("RegDeleteValueA", 5, {rootName(key), name});
        return false;
    }
    if (openKeys.count(key) && registryValues[openKeys[key]].erase(folded(name)) > 0) return true;
    failed("RegDeleteValueA", openKeys.count(key) ? 2 : 6, {rootName(key), name});
    return false;
}

bool openProcessToken(Handle& token) {
    if (failing("openProcessToken")) return false;
    token = newHandle();
    return true;
}
bool lookupPrivilegeValue(const std::string&, std::uint64_t& luid) {
    luid = 19;
    return !failing("lookupPrivilegeValue");
}
unsigned long adjustTokenPrivilege(Handle, std::uint64_t) {
    if (failing("adjustTokenPrivilege")) return 5;  // ERROR_ACCESS_DENIED
    return shutdownDenied ? 1300 : 0;              // ERROR_NOT_ALL_ASSIGNED
}
void closeToken(Handle) { fakeCalls.push_back("closeToken"); }
bool exitWindowsReboot(unsigned long reason) {
    if (failing("exitWindowsReboot")) return false;
    fakeRebootStarted = true;
    fakeRebootReason = reason;
    return true;
}
