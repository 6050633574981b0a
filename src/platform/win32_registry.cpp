// Registry and privilege calls (advapi32).
#include <windows.h>

#include <vector>

#include "platform/platform.h"
#include "platform/win32_lazy.h"
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
    // Only the rights the one call needs: a key delegated with some rights
    // only (Set Value, say) refuses any open that asks for more.
    LONG result = RegCreateKeyExA(asKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | keyView,
                                  nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) return reinterpret_cast<Handle>(key);
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

void regCloseKey(Handle key) { RegCloseKey(asKey(key)); }

bool regQueryValue(Handle key, const std::string& name, std::size_t bufferSize, std::string& data) {
    std::vector<char> buffer(bufferSize ? bufferSize : 1);
    DWORD size = static_cast<DWORD>(bufferSize);
    LONG result = RegQueryValueExA(asKey(key), name.c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS) {  // ERROR_MORE_DATA for data over the buffer
        traceHandleFailure("RegQueryValueExA", result, key, name.c_str());
        return false;
    }
    data.assign(buffer.data(), size <= bufferSize ? size : bufferSize);
    return true;
}

bool regSetStringValue(Handle key, const std::string& name, const std::string& text) {
    LONG result = RegSetValueExA(asKey(key), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
    if (result == ERROR_SUCCESS) return true;
    traceHandleFailure("RegSetValueExA", result, key, name.c_str(), traceAsIs "REG_SZ", text.c_str());
    return false;
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
