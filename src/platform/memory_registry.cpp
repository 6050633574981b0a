// The registry and the restart's privilege calls (the model of win32_registry.cpp).
//
// Keys and value names are compared without regard to ASCII case and keep
// the names they were created with.
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
};

std::set<std::string> registryKeys;
std::map<std::string, std::map<std::string, Value>> registryValues;  // key -> lower name -> value
std::map<std::string, std::string> keyNames;                         // key -> path as first created
std::map<Handle, std::string> openKeys;
std::map<Handle, unsigned> keyAccess;  // what each open key was opened with
std::map<Handle, std::pair<Handle, std::string>> keysAsOpened;  // root and path as given, for reports
std::set<Handle> deniedRoots;
std::map<std::string, unsigned> grantedRights;  // key -> the rights held there and below
bool shutdownDenied;
bool consoleUser;
FakeToken token;

const unsigned allRights = keyQueryValue | keySetValue | keyCreateSubKey | keyEnumerateSubKeys | fakeKeyDelete;
const unsigned readRights = keyQueryValue | keyEnumerateSubKeys;

// The rights the user holds on a key: those of the nearest key at or above
// it that has a grant of its own, else all.
unsigned rightsOn(const std::string& key) {
    unsigned rights = allRights;
    std::size_t matched = 0;
    for (auto& grant : grantedRights)
        if ((key == grant.first || key.compare(0, grant.first.size() + 1, grant.first + "\\") == 0) &&
            grant.first.size() >= matched) {
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

std::string keyPathAsGiven(Handle root, const std::string& path) {
    std::string key = std::to_string(root);
    std::string component;
    for (char c : path + "\\") {
        if (c != '\\') {
            component += c;
        } else if (!component.empty()) {
            key += "\\" + component;
            component.clear();
        }
    }
    return key;
}
std::string keyPath(Handle root, const std::string& path) { return lower(keyPathAsGiven(root, path)); }

// Creates the key and its missing parents, each named as given.
void createKeys(Handle root, const std::string& path) {
    std::string given = keyPathAsGiven(root, path);
    for (std::string k = given; k.find('\\') != std::string::npos; k = k.substr(0, k.rfind('\\'))) {
        registryKeys.insert(lower(k));
        keyNames.emplace(lower(k), k);
    }
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
    fakeRebootStarted = false;
    fakeRebootReason = 0;
}
}  // namespace memory

// ---- controls ------------------------------------------------------------------

void fakeSetRegistryValue(Handle root, const std::string& path, const std::string& name, const std::string& bytes,
                          unsigned type) {
    createKeys(root, path);
    registryValues[keyPath(root, path)][lower(name)] = Value{name, type, bytes};
}
bool fakeRegistryValue(Handle root, const std::string& path, const std::string& name, std::string& bytes) {
    auto key = registryValues.find(keyPath(root, path));
    if (key == registryValues.end()) return false;
    auto value = key->second.find(lower(name));
    if (value == key->second.end()) return false;
    bytes = value->second.bytes;
    return true;
}
void fakeCreateRegistryKey(Handle root, const std::string& path) { createKeys(root, path); }
void fakeDeleteRegistryTree(Handle root, const std::string& path) {
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
    if (key != registryValues.end()) key->second.erase(lower(name));
}
FakeRegistry fakeRegistrySnapshot() {
    FakeRegistry snapshot;
    for (auto& key : registryKeys) snapshot.keys[key] = keyNames.count(key) ? keyNames[key] : key;
    for (auto& key : registryValues)
        for (auto& value : key.second)
            snapshot.values[key.first + "\n" + value.first] =
                FakeRegistryValue{snapshot.keys.count(key.first) ? snapshot.keys[key.first] : key.first, value.second.name,
                                  value.second.type, value.second.bytes};
    return snapshot;
}
bool fakeRegistryKeyExists(Handle root, const std::string& path) { return registryKeys.count(keyPath(root, path)) > 0; }
void fakeDenyRegistryRoot(Handle root) { deniedRoots.insert(root); }
void fakeMakeRegistryKeyReadOnly(Handle root, const std::string& path) { grantedRights[keyPath(root, path)] = readRights; }
void fakeGrantRegistryRights(Handle root, const std::string& path, unsigned rights) {
    grantedRights[keyPath(root, path)] = rights;
}
void fakeSetConsoleUser(bool console) { consoleUser = console; }

namespace memory {
bool explorerRecord(const std::string& name, std::string& path) {
    std::string bytes;
    if (name.empty() || !fakeRegistryValue(rootCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                           name, bytes))
        return false;
    path = bytes.substr(0, bytes.find('\0'));
    return !path.empty();
}
}  // namespace memory
int fakeOpenKeys() { return static_cast<int>(openKeys.size()); }
void fakeDenyShutdownPrivilege() { shutdownDenied = true; }
void fakeSetToken(const FakeToken& kind) { token = kind; }

// ---- the platform ------------------------------------------------------------

Handle regCreateKey(Handle root, const std::string& path, unsigned access) {
    if (failing("regCreateKey")) return 0;
    fakeKeyAccess.push_back(access);
    std::string key = keyPath(root, path);
    // Each missing key asks its parent for KEY_CREATE_SUB_KEY; the key itself
    // refuses any right the user does not hold.
    bool refused = deniedRoots.count(root) || (access & ~rightsOn(key)) != 0;
    for (std::string k = key; !refused && k.find('\\') != std::string::npos; k = k.substr(0, k.rfind('\\')))
        if (!registryKeys.count(k)) refused = (rightsOn(k.substr(0, k.rfind('\\'))) & keyCreateSubKey) == 0;
    if (refused) {
        failed("RegCreateKeyExA", 5, {rootName(root), path, "\1" + accessNames(access)});
        return 0;
    }
    // Which keys of the path are missing, outermost first, for the report.
    std::string given = keyPathAsGiven(root, path);
    std::vector<std::string> missing;
    for (std::string k = given; k.find('\\') != std::string::npos && !registryKeys.count(lower(k));
         k = k.substr(0, k.rfind('\\')))
        missing.insert(missing.begin(), k.substr(k.find('\\') + 1));
    createKeys(root, path);
    Handle handle = newHandle();
    openKeys[handle] = key;
    keyAccess[handle] = access;
    keysAsOpened[handle] = {root, given.find('\\') == std::string::npos ? std::string() : given.substr(given.find('\\') + 1)};
    for (const std::string& created : missing) reportChange(changeKey, true, root, created);
    return handle;
}

Handle regOpenKeyForReading(Handle root, const std::string& path) {
    if (failing("regOpenKeyForReading")) return 0;
    std::string key = keyPath(root, path);
    if (key.find('\\') != std::string::npos && !registryKeys.count(key)) return 0;
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
    auto value = values == registryValues.end() ? std::map<std::string, Value>::iterator() : values->second.find(lower(name));
    if (values == registryValues.end() || value == values->second.end()) {
        failed("RegQueryValueExW", 2, {rootName(key), name});
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
    if (!openKeys.count(key) || !(keyAccess[key] & keySetValue)) {
        failed("RegSetValueExA", openKeys.count(key) ? 5 : 6, {rootName(key), name, "\1REG_SZ", text});
        return false;
    }
    auto& values = registryValues[openKeys[key]];
    auto existing = values.find(lower(name));
    bool existed = existing != values.end();
    values[lower(name)] = Value{existed ? existing->second.name : name, 1, text + std::string(1, '\0')};
    if (keysAsOpened.count(key)) reportChange(changeValue, !existed, keysAsOpened[key].first, keysAsOpened[key].second, name);
    return true;
}

bool regSetDwordValue(Handle key, const std::string& name, std::uint32_t value) {
    if (failing("regSetDwordValue")) return false;
    if (!openKeys.count(key) || !(keyAccess[key] & keySetValue)) {
        failed("RegSetValueExA", openKeys.count(key) ? 5 : 6, {rootName(key), name, "\1REG_DWORD"});
        return false;
    }
    auto& values = registryValues[openKeys[key]];
    auto existing = values.find(lower(name));
    bool existed = existing != values.end();
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);  // little-endian
    values[lower(name)] = Value{existed ? existing->second.name : name, 4, bytes};
    if (keysAsOpened.count(key)) reportChange(changeValue, !existed, keysAsOpened[key].first, keysAsOpened[key].second, name);
    return true;
}

bool regKeyCounts(Handle key, unsigned long& subKeys, unsigned long& values) {
    if (failing("regKeyCounts")) return false;
    if (!openKeys.count(key)) {
        failed("RegQueryInfoKeyA", 6, {rootName(key)});
        return false;
    }
    const std::string& path = openKeys[key];
    subKeys = 0;
    for (const std::string& k : registryKeys)
        if (k.size() > path.size() && k.compare(0, path.size() + 1, path + "\\") == 0 &&
            k.find('\\', path.size() + 1) == std::string::npos)
            ++subKeys;
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
    std::string relative = keyPath(0, name);
    target += relative.substr(1);
    if (!registryKeys.count(target) || target.find('\\') == std::string::npos) {
        failed("RegDeleteKeyA", 2, {rootName(key), name});
        return false;
    }
    // Windows opens the sub-key itself for DELETE; the parent's access plays no part.
    bool refused = !(rightsOn(target) & fakeKeyDelete);
    for (auto& k : registryKeys)
        if (k.size() > target.size() && k.compare(0, target.size() + 1, target + "\\") == 0) refused = true;
    if (refused) {
        failed("RegDeleteKeyA", 5, {rootName(key), name});
        return false;
    }
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
    if (openKeys.count(key) && registryValues[openKeys[key]].erase(lower(name)) > 0) return true;
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
