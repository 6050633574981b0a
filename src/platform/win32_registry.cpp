// Registry and privilege calls (advapi32).
#include <windows.h>

#include <vector>

#include "platform/platform.h"
#include "platform/win32_changes.h"
#include "platform/win32_lazy.h"
#include "platform/win32_text.h"
#include "platform/win32_trace.h"

namespace {
HKEY asKey(Handle key) { return reinterpret_cast<HKEY>(key); }

#ifdef _WIN64
// 64-bit twin: every key is opened in the 32-bit view, where the 32-bit
// product's keys live (HKLM\Software lands under WOW6432Node), so a record
// written by either build is found by the other.
const REGSAM keyView = KEY_WOW64_32KEY;
#else
const REGSAM keyView = 0;
#endif

// What a report names a key by: its root and path, kept for the keys opened
// while changes are observed (a value set on one is reported by it).
struct ObservedKey {
    HKEY key;
    Handle root;
    std::string path;
};
std::vector<ObservedKey> observedKeys;

// The leading parts of a key path as Windows reads it ("A", "A\B",
// "A\B\C"): empty parts are dropped, and the second byte of a double-byte
// character is never a separator. The last is the whole path with its parts
// joined by single "\".
std::vector<std::string> keyPrefixes(const std::string& path) {
    std::vector<std::string> prefixes;
    std::string prefix;
    bool partEnded = true;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\') {
            if (!partEnded) prefixes.push_back(prefix);
            partEnded = true;
            continue;
        }
        if (partEnded && !prefix.empty()) prefix += '\\';
        partEnded = false;
        prefix += path[i];
        if (isLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) prefix += path[++i];
    }
    if (!partEnded) prefixes.push_back(prefix);
    return prefixes;
}

bool keyExistsNow(Handle root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(asKey(root), path.c_str(), 0, KEY_QUERY_VALUE | keyView, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The keys of the path that do not exist yet, outermost first: the path
// itself is asked first, since most opens find their key.
std::vector<std::string> missingKeys(Handle root, const std::vector<std::string>& prefixes) {
    std::size_t firstMissing = prefixes.size();
    while (firstMissing > 0 && !keyExistsNow(root, prefixes[firstMissing - 1])) --firstMissing;
    return std::vector<std::string>(prefixes.begin() + firstMissing, prefixes.end());
}

// Reports a value set on the key, when the key was opened while observed.
void reportValue(HKEY key, const std::string& name, bool existed) {
    for (const ObservedKey& observed : observedKeys)
        if (observed.key == key) reportChange(changeValue, !existed, observed.root, observed.path, name);
}

bool valueExistsNow(HKEY key, const std::string& name) {
    return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}
}  // namespace

namespace {
// The access rights by their names, as the trace shows them.
std::string accessNames(unsigned access) {
    static const struct {
        unsigned right;
        const char* name;
    } rights[] = {{KEY_QUERY_VALUE, "KEY_QUERY_VALUE"},
                  {KEY_SET_VALUE, "KEY_SET_VALUE"},
                  {KEY_CREATE_SUB_KEY, "KEY_CREATE_SUB_KEY"},
                  {KEY_ENUMERATE_SUB_KEYS, "KEY_ENUMERATE_SUB_KEYS"}};
    std::string names;
    for (const auto& right : rights)
        if (access & right.right) names += (names.empty() ? "" : " | ") + std::string(right.name);
    return names;
}
}  // namespace

Handle regCreateKey(Handle root, const std::string& path, unsigned access) {
    HKEY key = nullptr;
    std::vector<std::string> prefixes, missing;
    if (changesObserved()) {
        prefixes = keyPrefixes(path);
        missing = missingKeys(root, prefixes);
    }
    DWORD disposition = 0;
    // Only the rights the one call needs: a key delegated with some rights
    // only (Set Value, say) refuses any open that asks for more.
    LONG result = RegCreateKeyExA(asKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | keyView,
                                  nullptr, &key, &disposition);
    if (result == ERROR_SUCCESS) {
        if (changesObserved()) {
            observedKeys.push_back(ObservedKey{key, root, prefixes.empty() ? std::string() : prefixes.back()});
            // REG_OPENED_EXISTING_KEY: another program made the keys since they were looked for.
            if (disposition == REG_CREATED_NEW_KEY)
                for (const std::string& created : missing) reportChange(changeKey, true, root, created);
        }
        return reinterpret_cast<Handle>(key);
    }
    if (traceEnabled()) traceHandleFailure("RegCreateKeyExA", result, root, path.c_str(), traceAsIs accessNames(access).c_str());
    return 0;
}

Handle regOpenKeyForReading(Handle root, const std::string& path) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(asKey(root), path.c_str(), 0, KEY_QUERY_VALUE | keyView, &key);
    if (result == ERROR_SUCCESS) return reinterpret_cast<Handle>(key);
    traceHandleFailure("RegOpenKeyExA", result, root, path.c_str(), traceAsIs "KEY_QUERY_VALUE");
    return 0;
}

void regCloseKey(Handle key) {
    for (std::size_t i = 0; i < observedKeys.size(); ++i)
        if (observedKeys[i].key == asKey(key)) observedKeys.erase(observedKeys.begin() + i--);
    RegCloseKey(asKey(key));
}

bool regQueryValue(Handle key, const std::string& name, std::size_t bufferSize, std::string& data) {
    // Every UTF-16 unit of a text takes at least one byte in the code page: a
    // text of more units than bufferSize would not fit converted either.
    std::vector<wchar_t> buffer(bufferSize ? bufferSize : 1);
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    DWORD type = 0;
    LONG result = RegQueryValueExW(asKey(key), wideText(name).c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS) {  // ERROR_MORE_DATA for data over the buffer
        traceHandleFailure("RegQueryValueExW", result, key, name.c_str());
        return false;
    }
    std::string bytes;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        // The types RegQueryValueExA converts, converted exactly (an odd last byte is no character).
        unsigned long missing = 0;
        if (!exactText(buffer.data(), size / sizeof(wchar_t), bytes, missing)) {
            traceHandleInexact("RegQueryValueExW", missing, key, name.c_str());
            return false;
        }
    } else {
        bytes.assign(reinterpret_cast<const char*>(buffer.data()), size);
    }
    // The caller's limit counts bytes of the code page, as RegQueryValueExA does.
    if (bytes.size() > bufferSize) {
        traceHandleFailure("RegQueryValueExW", ERROR_MORE_DATA, key, name.c_str());
        return false;
    }
    data = bytes;
    return true;
}

bool regSetStringValue(Handle key, const std::string& name, const std::string& text) {
    bool existed = changesObserved() && valueExistsNow(asKey(key), name);
    LONG result = RegSetValueExA(asKey(key), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
    if (result == ERROR_SUCCESS) {
        reportValue(asKey(key), name, existed);
        return true;
    }
    traceHandleFailure("RegSetValueExA", result, key, name.c_str(), traceAsIs "REG_SZ", text.c_str());
    return false;
}

bool regSetDwordValue(Handle key, const std::string& name, std::uint32_t value) {
    bool existed = changesObserved() && valueExistsNow(asKey(key), name);
    DWORD data = value;
    LONG result = RegSetValueExA(asKey(key), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    if (result == ERROR_SUCCESS) {
        reportValue(asKey(key), name, existed);
        return true;
    }
    traceHandleFailure("RegSetValueExA", result, key, name.c_str(), traceAsIs "REG_DWORD");
    return false;
}

bool regKeyCounts(Handle key, unsigned long& subKeys, unsigned long& values) {
    DWORD keys = 0, count = 0;
    LONG result = RegQueryInfoKeyA(asKey(key), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &count, nullptr,
                                   nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        traceHandleFailure("RegQueryInfoKeyA", result, key);
        return false;
    }
    subKeys = keys;
    values = count;
    return true;
}

bool regDeleteKey(Handle key, const std::string& name) {
#ifdef _WIN64
    // 64-bit twin: RegDeleteKeyA deletes in the 64-bit view; the 32-bit view
    // needs RegDeleteKeyExA (advapi32 of every 64-bit Windows, looked up so a
    // missing export falls back instead of stopping the program at load).
    using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
    DeleteKeyEx deleteKeyEx = lookedUp<DeleteKeyEx>("advapi32.dll", "RegDeleteKeyExA");
    LONG result = deleteKeyEx ? deleteKeyEx(asKey(key), name.c_str(), keyView, 0) : RegDeleteKeyA(asKey(key), name.c_str());
#else
    LONG result = RegDeleteKeyA(asKey(key), name.c_str());
#endif
    if (result == ERROR_SUCCESS) return true;
    traceHandleFailure("RegDeleteKeyA", result, key, name.c_str());
    return false;
}

bool regDeleteValue(Handle key, const std::string& name) {
    LONG result = RegDeleteValueA(asKey(key), name.c_str());
    if (result == ERROR_SUCCESS) return true;
    traceHandleFailure("RegDeleteValueA", result, key, name.c_str());
    return false;
}

bool openProcessToken(Handle& token) {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
        traceFailure("OpenProcessToken", GetLastError(), traceAsIs "GetCurrentProcess()",
                     traceAsIs "TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY");
        return false;
    }
    token = reinterpret_cast<Handle>(opened);
    return true;
}

bool lookupPrivilegeValue(const std::string& name, std::uint64_t& luid) {
    LUID value = {};
    BOOL ok = LookupPrivilegeValueA(nullptr, name.c_str(), &value);
    luid = (static_cast<std::uint64_t>(static_cast<DWORD>(value.HighPart)) << 32) | value.LowPart;
    return ok != FALSE;
}

unsigned long adjustTokenPrivilege(Handle token, std::uint64_t luid) {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = static_cast<DWORD>(luid);
    privileges.Privileges[0].Luid.HighPart = static_cast<LONG>(luid >> 32);
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(reinterpret_cast<HANDLE>(token), FALSE, &privileges, 0, nullptr, nullptr);
    // Success with ERROR_NOT_ALL_ASSIGNED means the privilege was not granted.
    DWORD error = GetLastError();
    if (error != ERROR_SUCCESS) traceHandleFailure("AdjustTokenPrivileges", error, token, traceAsIs "SeShutdownPrivilege enabled");
    return error;
}

void closeToken(Handle token) { CloseHandle(reinterpret_cast<HANDLE>(token)); }

CallOutcome initiateSystemReboot(unsigned long reason) {
    using InitiateShutdown = BOOL(WINAPI*)(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD);
    auto initiate = lookedUp<InitiateShutdown>("advapi32.dll", "InitiateSystemShutdownExA");
    if (!initiate) return callMissing;
    // This machine (no name), no message and no time-out: no countdown box
    // before the restart, which the user has just asked for. FALSE: programs
    // holding unsaved work are asked, not forced, as without EWX_FORCE.
    if (initiate(nullptr, nullptr, 0, FALSE, TRUE, reason)) return callSucceeded;
    traceFailure("InitiateSystemShutdownExA", GetLastError(), traceAsIs "NULL", traceAsIs "restart");
    return callFailed;
}

bool exitWindowsReboot(unsigned long reason) {
    auto exitWindows = bound<BOOL(WINAPI*)(UINT, DWORD)>(libraryUser32, "ExitWindowsEx");
    return exitWindows && exitWindows(EWX_REBOOT, reason);
}

bool tokenElevation(int& elevationType, bool& elevated) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        traceFailure("OpenProcessToken", GetLastError(), traceAsIs "GetCurrentProcess()", traceAsIs "TOKEN_QUERY");
        return false;
    }
    // Both classes are Vista's; XP's GetTokenInformation refuses them with
    // ERROR_INVALID_PARAMETER, which tells the caller to ask for the group.
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool known = GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size) &&
                 GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    DWORD error = known ? ERROR_SUCCESS : GetLastError();
    CloseHandle(token);
    if (!known) {
        if (error != ERROR_INVALID_PARAMETER)
            traceFailure("GetTokenInformation", error, traceAsIs "TokenElevationType, TokenElevation");
        return false;
    }
    elevationType = static_cast<int>(type);
    elevated = elevation.TokenIsElevated != 0;
    return true;
}

bool tokenIsAdministrator(bool& member) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &administrators)) {
        traceFailure("AllocateAndInitializeSid", GetLastError(), traceAsIs "BUILTIN\\Administrators");
        return false;
    }
    // A group present only for deny (an administrator's limited token under
    // UAC) counts as no membership: what the process may do decides.
    BOOL isMember = FALSE;
    bool known = CheckTokenMembership(nullptr, administrators, &isMember) != FALSE;
    if (!known) traceFailure("CheckTokenMembership", GetLastError(), traceAsIs "NULL", traceAsIs "BUILTIN\\Administrators");
    FreeSid(administrators);
    member = isMember != FALSE;
    return known;
}
