// Registry and privilege calls (advapi32).
#include <windows.h>

#include <vector>

#include "platform/platform.h"
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
}  // namespace

Handle regCreateKey(Handle root, const std::string& path) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(asKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | keyView,
                                  nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) return reinterpret_cast<Handle>(key);
    traceHandleFailure("RegCreateKeyExA", result, root, path.c_str(), traceAsIs "KEY_ALL_ACCESS");
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
    DeleteKeyEx deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
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

bool exitWindowsReboot(unsigned long reason) {
    auto exitWindows = bound<BOOL(WINAPI*)(UINT, DWORD)>(libraryUser32, "ExitWindowsEx");
    return exitWindows && exitWindows(EWX_REBOOT, reason);
}
