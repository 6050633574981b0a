// The registry, the restart's privilege calls and the process token (the
// model of win32_registry.cpp).
//
// Keys and value names are compared as the registry compares them, by their
// upper case across the code page (memory_code_page.cpp), and keep the names
// they were created with. A sub-key path is taken as Windows takes it: a
// leading "\" is refused, repeated "\" are one, and "." and ".." are names
// like any other. Every open key holds the rights it was opened with.
#include <cstdio>
#include <set>

#include "platform/memory_model.h"

using namespace memory;

bool fakeRebootStarted;
unsigned long fakeRebootReason;
std::vector<unsigned> fakeKeyAccess;

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
std::map<Handle, unsigned> keyAccess;  // what each open key was opened with
std::map<Handle, std::pair<Handle, std::string>> keysAsOpened;  // root and path as given, for reports
std::set<Handle> deniedRoots;
std::map<std::string, unsigned> grantedRights;  // key -> the rights held there and below
bool shutdownDenied;
bool consoleUser;
FakeToken token;
// The last key a value was set below by a control, and its key: a .reg file
// sets many values below one key, whose path need not be read again for each.
Handle memoRoot;
std::string memoPath, memoKey;
std::map<std::string, Value>* memoValues;  // the key's values (forgotten when a key is deleted)

const unsigned allRights = keyQueryValue | keySetValue | keyCreateSubKey | keyEnumerateSubKeys | fakeKeyDelete;
const unsigned readRights = keyQueryValue | keyEnumerateSubKeys;

// Whether the key is the other one or lies below it.
bool atOrBelow(const std::string& key, const std::string& other) {
    return key == other || key.compare(0, other.size() + 1, other + "\\") == 0;
}

// The rights the user holds on a key: those of the nearest key at or above
// it that has a grant of its own, else all.
unsigned rightsOn(const std::string& key) {
    unsigned rights = allRights;
    std::size_t matched = 0;
    for (auto& grant : grantedRights)
        if (atOrBelow(key, grant.first) && grant.first.size() >= matched) {
            matched = grant.first.size();
            rights = grant.second;
        }
    return rights;
}

std::string accessNames(unsigned access) {
    std::string names;
    const char* const all[] = {"KEY_QUERY_VALUE", "KEY_SET_VALUE", "KEY_CREATE_SUB_KEY", "KEY_ENUMERATE_SUB_KEYS"};
    for (unsigned bit = 0; bit < 4; ++bit)
        if (access & (1u << bit)) names += (names.empty() ? "" : " | ") + std::string(all[bit]);
    return names;
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
// parent is named, then its own name as given. Answers the paths below the
// root of the keys it made, as given, outermost first.
std::vector<std::string> createKeys(Handle root, const std::string& path) {
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
    std::size_t rootEnd = given.find('\\');
    std::size_t baseEnd = known < ends.size() ? ends[known] : rootEnd;
    std::string base = known < ends.size() ? keyNames[key.substr(0, baseEnd)] : given.substr(0, baseEnd);
    std::vector<std::string> made;
    for (std::size_t i = known; i-- > 0;) {
        registryKeys.insert(key.substr(0, ends[i]));
        keyNames.emplace(key.substr(0, ends[i]), base + given.substr(baseEnd, ends[i] - baseEnd));
        made.push_back(given.substr(rootEnd + 1, ends[i] - rootEnd - 1));
    }
    return made;
}

// The path below its root of a key as given ("" for the root itself).
std::string pathBelowRoot(const std::string& given) {
    std::size_t slash = given.find('\\');
    return slash == std::string::npos ? std::string() : given.substr(slash + 1);
}

// Sets a value of an open key that holds KEY_SET_VALUE, and reports it when
// the key was opened while observed.
bool setValue(Handle key, const std::string& name, unsigned type, const std::string& bytes, const std::string& shown) {
    unsigned long code = !openKeys.count(key) ? 6 : !(keyAccess[key] & keySetValue) ? 5
                         : wideLength(name) > maxValueName ? invalidParameter : 0;
    if (code) {
        if (type == 1) failed("RegSetValueExA", code, {rootName(key), name, "\1REG_SZ", shown});
        else failed("RegSetValueExA", code, {rootName(key), name, "\1REG_DWORD"});
        return false;
    }
    auto& values = registryValues[openKeys[key]];
    auto existing = values.find(folded(name));
    bool existed = existing != values.end();
    values[folded(name)] = Value{existed ? existing->second.name : name, type, bytes, true};
    if (keysAsOpened.count(key)) reportChange(changeValue, !existed, keysAsOpened[key].first, keysAsOpened[key].second, name);
    return true;
}
}  // namespace

namespace memory {
void resetRegistry() {
    registryKeys.clear();
    registryValues.clear();
    keysAsOpened.clear();
    keyNames.clear();
    openKeys.clear();
    keyAccess.clear();
    deniedRoots.clear();
    grantedRights.clear();
    fakeKeyAccess.clear();
    shutdownDenied = false;
    consoleUser = true;
    token = FakeToken();
    memoRoot = 0;
    memoPath.clear();
    memoKey.clear();
    memoValues = nullptr;
    fakeRebootStarted = false;
    fakeRebootReason = 0;
}

bool explorerRecord(const std::string& name, std::string& path) {
    std::string bytes;
    if (name.empty() || !fakeRegistryValue(rootCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                           name, bytes))
        return false;
    path = bytes.substr(0, bytes.find('\0'));
    return !path.empty();
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
        if (atOrBelow(*it, key)) {
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
void fakeMakeRegistryKeyReadOnly(Handle root, const std::string& path) { grantedRights[keyPath(root, path)] = readRights; }
void fakeGrantRegistryRights(Handle root, const std::string& path, unsigned rights) {
    grantedRights[keyPath(root, path)] = rights;
}
void fakeSetConsoleUser(bool console) { consoleUser = console; }
int fakeOpenKeys() { return static_cast<int>(openKeys.size()); }
void fakeDenyShutdownPrivilege() { shutdownDenied = true; }
void fakeSetToken(const FakeToken& kind) { token = kind; }

// ---- the platform ------------------------------------------------------------

Handle regCreateKey(Handle root, const std::string& path, unsigned access) {
    if (failing("regCreateKey")) return 0;
    fakeKeyAccess.push_back(access);
    unsigned long code;
    std::string given = keyPathAsGiven(root, path, &code);
    std::string key = folded(given);
    // Each missing key asks its parent for KEY_CREATE_SUB_KEY; the key itself
    // refuses any right the user does not hold.
    bool refused = deniedRoots.count(root) || (access & ~rightsOn(key)) != 0;
    for (std::string k = key; !code && !refused && k.find('\\') != std::string::npos; k = k.substr(0, lastSeparator(k)))
        if (!registryKeys.count(k)) refused = (rightsOn(k.substr(0, lastSeparator(k))) & keyCreateSubKey) == 0;
    if (!code && refused) code = 5;
    if (code) {
        failed("RegCreateKeyExA", code, {rootName(root), path, "\1" + accessNames(access)});
        return 0;
    }
    std::vector<std::string> made = createKeys(root, path);
    Handle handle = newHandle();
    openKeys[handle] = key;
    keyAccess[handle] = access;
    keysAsOpened[handle] = {root, pathBelowRoot(given)};
    for (const std::string& created : made) reportChange(changeKey, true, root, created);
    return handle;
}

Handle regOpenKeyForReading(Handle root, const std::string& path) {
    if (failing("regOpenKeyForReading")) return 0;
    unsigned long code;
    std::string key = folded(keyPathAsGiven(root, path, &code));
    if (code || (key.find('\\') != std::string::npos && !registryKeys.count(key))) return 0;
    if (!(rightsOn(key) & keyQueryValue)) {
        failed("RegOpenKeyExA", 5, {rootName(root), path, "\1KEY_QUERY_VALUE"});
        return 0;
    }
    Handle handle = newHandle();
    openKeys[handle] = key;
    keyAccess[handle] = keyQueryValue;
    return handle;
}

void regCloseKey(Handle key) {
    fakeCalls.push_back("regCloseKey");
    openKeys.erase(key);
    keyAccess.erase(key);
    keysAsOpened.erase(key);
}

bool regQueryValue(Handle key, const std::string& name, std::size_t bufferSize, std::string& data) {
    if (failing("regQueryValue")) return false;
    if (!openKeys.count(key) || !(keyAccess[key] & keyQueryValue)) {
        failed("RegQueryValueExW", openKeys.count(key) ? 5 : 6, {rootName(key), name});  // 6: ERROR_INVALID_HANDLE
        return false;
    }
    auto values = registryValues.find(openKeys[key]);
    auto value = values == registryValues.end() ? std::map<std::string, Value>::iterator() : values->second.find(folded(name));
    if (values == registryValues.end() || value == values->second.end()) {
        failed("RegQueryValueExW", 2, {rootName(key), name});
        return false;
    }
    if (!value->second.exact) {
        failed("RegQueryValueExW", noUnicodeTranslation, {rootName(key), name});
        return false;
    }
    // Texts (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) come converted, the other types as they are.
    unsigned type = value->second.type;
    std::string bytes = value->second.bytes;
    if ((type == 1 || type == 2 || type == 7) && !exactAnswer("RegQueryValueExW", value->second.bytes, bytes, {rootName(key), name}))
        return false;
    if (bytes.size() > bufferSize) {
        failed("RegQueryValueExW", 234, {rootName(key), name});  // ERROR_MORE_DATA
        return false;
    }
    data = bytes;
    return true;
}

bool regSetStringValue(Handle key, const std::string& name, const std::string& text) {
    if (failing("regSetStringValue")) return false;
    return setValue(key, name, 1, text + std::string(1, '\0'), text);
}

bool regSetDwordValue(Handle key, const std::string& name, std::uint32_t value) {
    if (failing("regSetDwordValue")) return false;
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);  // little-endian
    return setValue(key, name, 4, bytes, "");
}

bool regKeyCounts(Handle key, unsigned long& subKeys, unsigned long& values) {
    if (failing("regKeyCounts")) return false;
    if (!openKeys.count(key)) {
        failed("RegQueryInfoKeyA", 6, {rootName(key)});
        return false;
    }
    const std::string& path = openKeys[key];
    subKeys = 0;
    for (auto k = registryKeys.upper_bound(path + "\\"); k != registryKeys.end() && atOrBelow(*k, path); ++k)
        if (lastSeparator(*k) == path.size()) ++subKeys;
    auto found = registryValues.find(path);
    values = found == registryValues.end() ? 0 : static_cast<unsigned long>(found->second.size());
    return true;
}

bool regDeleteKey(Handle key, const std::string& name) {
    if (failing("regDeleteKey")) return false;
    if (!openKeys.count(key)) {
        failed("RegDeleteKeyA", 6, {rootName(key), name});
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
    // Windows opens the sub-key itself for DELETE; the parent's access plays no part.
    bool refused = !(rightsOn(target) & fakeKeyDelete);
    for (auto& k : registryKeys)
        if (k != target && atOrBelow(k, target)) refused = true;
    if (refused) {
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
    if (openKeys.count(key) && !(keyAccess[key] & keySetValue)) {
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
CallOutcome initiateSystemReboot(unsigned long reason) {
    if (failing("initiateSystemReboot")) return callFailed;
    if (!present("InitiateSystemShutdownExA")) return callMissing;
    fakeRebootStarted = true;
    fakeRebootReason = reason;
    return callSucceeded;
}
bool exitWindowsReboot(unsigned long reason) {
    if (failing("exitWindowsReboot")) return false;
    // It "can succeed without actually shutting down" for a caller that is
    // not the interactive user.
    fakeRebootStarted = consoleUser;
    fakeRebootReason = reason;
    return true;
}

bool tokenElevation(int& elevationType, bool& elevated) {
    if (failing("tokenElevation")) return false;
    if (!token.elevationType) return false;  // XP: ERROR_INVALID_PARAMETER, not traced
    elevationType = token.elevationType;
    elevated = token.elevated;
    return true;
}

bool tokenIsAdministrator(bool& member) {
    if (failing("tokenIsAdministrator")) return false;
    member = token.administrator;
    return true;
}
