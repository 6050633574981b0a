// Boxes, shell verbs, pickers and shortcuts (user32, shell32, comdlg32,
// ole32), all bound lazily: a call whose library or function cannot be bound
// fails the way the commands treat a failure of that call.
#include <windows.h>
#include <commdlg.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/win32_dialog_guard.h"
#include "platform/win32_lazy.h"
#include "platform/win32_text.h"
#include "platform/win32_trace.h"

namespace {
HWND asWindow(Handle owner) { return reinterpret_cast<HWND>(owner); }

// Boxes and dialogs are owned by the handle only when it is a window: the
// instance handle the commands pass is not one, and Windows or Wine would
// refuse the box or dialog altogether.
HWND ownerWindow(Handle owner) {
    auto isWindow = bound<BOOL(WINAPI*)(HWND)>(libraryUser32, "IsWindow");
    return owner && isWindow && isWindow(asWindow(owner)) ? asWindow(owner) : nullptr;
}

IShellLinkA* asLink(Handle link) { return reinterpret_cast<IShellLinkA*>(link); }

// The shell link class and its two interfaces.
const CLSID shellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID shellLinkInterface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID persistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const long notBound = static_cast<long>(0x80004005L);  // E_FAIL
}  // namespace

int messageBox(Handle owner, const std::string& text, const std::string& caption, unsigned style) {
    auto box = bound<int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT)>(libraryUser32, "MessageBoxA");
    if (!box) return 0;
    int answer = box(ownerWindow(owner), text.c_str(), caption.c_str(), style);
    // 0 is a failed box; Wine without a display answers -1.
    if (answer <= 0) traceFailure("MessageBoxA", GetLastError(), text.c_str(), caption.c_str());
    return answer;
}

bool windowStationVisible() {
    auto station = bound<HWINSTA(WINAPI*)()>(libraryUser32, "GetProcessWindowStation");
    auto information = bound<BOOL(WINAPI*)(HANDLE, int, PVOID, DWORD, LPDWORD)>(libraryUser32,
                                                                                 "GetUserObjectInformationA");
    if (!station || !information) return true;
    HWINSTA current = station();  // not to be closed
    USEROBJECTFLAGS flags;
    DWORD needed = 0;
    if (!current || !information(current, UOI_FLAGS, &flags, sizeof flags, &needed)) {
        traceFailure("GetUserObjectInformationA", GetLastError(), traceAsIs "GetProcessWindowStation()",
                     traceAsIs "UOI_FLAGS");
        return true;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

std::intptr_t shellExecute(Handle owner, const std::string& verb, const std::string& file, bool hasParameters,
                           const std::string& parameters) {
    auto execute = bound<HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)>(libraryShell32,
                                                                                          "ShellExecuteA");
    if (!execute) return 0;
    HINSTANCE result = execute(ownerWindow(owner), verb.c_str(), file.c_str(),
                               hasParameters ? parameters.c_str() : nullptr, nullptr, SW_SHOWNORMAL);
    std::intptr_t answer = reinterpret_cast<std::intptr_t>(result);
    if (answer <= 32)  // the answer itself is the error code
        traceFailure("ShellExecuteA", static_cast<unsigned long>(answer), verb.c_str(), file.c_str(),
                     hasParameters ? parameters.c_str() : traceAsIs "NULL");
    return answer;
}

bool shGetFolderPath(int folder, std::string& path) {
    auto getFolder = bound<HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR)>(libraryShell32, "SHGetFolderPathW");
    if (!getFolder) return false;
    wchar_t buffer[MAX_PATH] = L"";
    // E_FAIL: a folder the shell knows but that does not exist (the ANSI form answers S_FALSE).
    HRESULT result = getFolder(nullptr, folder, nullptr, 0 /* SHGFP_TYPE_CURRENT */, buffer);
    std::string csidl = traceEnabled() ? "CSIDL " + std::to_string(folder) : std::string();
    if (result != S_OK) {
        traceFailure("SHGetFolderPathW", static_cast<unsigned long>(result), traceAsIs "NULL", traceAsIs csidl.c_str());
        return false;
    }
    buffer[MAX_PATH - 1] = 0;
    return buffer[0] && exactDirectory("SHGetFolderPathW", buffer, path, traceAsIs csidl.c_str());
}

Handle shGetMalloc() {
    auto getMalloc = bound<HRESULT(WINAPI*)(IMalloc**)>(libraryShell32, "SHGetMalloc");
    IMalloc* allocator = nullptr;
    if (!getMalloc || FAILED(getMalloc(&allocator)) || !allocator) return 0;
    return reinterpret_cast<Handle>(allocator);
}

Handle mallocAlloc(Handle allocator, std::size_t size) {
    return reinterpret_cast<Handle>(reinterpret_cast<IMalloc*>(allocator)->Alloc(size));
}

void mallocFree(Handle allocator, Handle block) {
    reinterpret_cast<IMalloc*>(allocator)->Free(reinterpret_cast<void*>(block));
}

void mallocRelease(Handle allocator) { reinterpret_cast<IMalloc*>(allocator)->Release(); }

Handle shBrowseForFolder(Handle owner, Handle displayName, const std::string& title, unsigned flags) {
    auto browse = bound<LPITEMIDLIST(WINAPI*)(LPBROWSEINFOW)>(libraryShell32, "SHBrowseForFolderW");
    if (!browse) return 0;
    std::wstring wideTitle = wideText(title);
    BROWSEINFOW info;
    std::memset(&info, 0, sizeof info);
    info.hwndOwner = ownerWindow(owner);
    info.pidlRoot = nullptr;  // the whole namespace, from the desktop
    // browseDisplayNameSize bytes: Windows writes the leaf name there, Wine the whole path.
    info.pszDisplayName = reinterpret_cast<wchar_t*>(displayName);
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = flags;
    return reinterpret_cast<Handle>(browse(&info));
}

bool shGetPathFromIDList(Handle itemList, std::string& path) {
    auto getPath = bound<BOOL(WINAPI*)(LPCITEMIDLIST, LPWSTR)>(libraryShell32, "SHGetPathFromIDListW");
    // The call assumes MAX_PATH wide characters; more room costs nothing.
    std::vector<wchar_t> buffer(32768, 0);
    if (!getPath || !getPath(reinterpret_cast<LPCITEMIDLIST>(itemList), buffer.data())) return false;
    buffer.back() = 0;
    return exactAnswer("SHGetPathFromIDListW", buffer.data(), path);
}

namespace {
using FileDialog = BOOL(WINAPI*)(LPOPENFILENAMEW);
// Room for the longest path Windows has: a dialog given a buffer too small
// for the path typed fails (FNERR_BUFFERTOOSMALL). Wine's dialog has a
// smaller buffer of its own, which the guard keeps it within.
const std::size_t fileBufferUnits = 32768;

bool fileDialog(const char* call, FileDialog dialog, Handle owner, const std::string& filter, std::string& file,
                const std::string& initialDir, const std::string& title, unsigned flags) {
    if (!dialog) return false;
    std::vector<wchar_t> buffer(fileBufferUnits, 0);
    std::wstring preset = wideText(file);
    std::copy(preset.begin(), preset.begin() + std::min(preset.size(), fileBufferUnits - 1), buffer.begin());
    std::wstring wideFilter = wideText(filter), wideDirectory = wideText(initialDir), wideTitle = wideText(title);
    OPENFILENAMEW request;
    std::memset(&request, 0, sizeof request);
#ifdef _WIN64
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400W;  // 64-bit twin: the same old layout, in 64-bit sizes
#else
    request.lStructSize = 76;  // the layout every Windows since 95 knows
#endif
    request.hwndOwner = ownerWindow(owner);
    request.lpstrFilter = wideFilter.c_str();  // filter holds its own zeros and ends in two
    request.nFilterIndex = 1;
    request.lpstrFile = buffer.data();
    request.nMaxFile = static_cast<DWORD>(fileBufferUnits);
    request.lpstrInitialDir = wideDirectory.c_str();
    request.lpstrTitle = wideTitle.c_str();
    request.Flags = flags;
    guardWineFileDialog(request, call);
    if (!dialog(&request)) return false;
    buffer.back() = 0;
    return exactAnswer(call, buffer.data(), file);
}
}  // namespace

bool getOpenFileName(Handle owner, const std::string& filter, std::string& file, const std::string& initialDir,
                     const std::string& title, unsigned flags) {
    return fileDialog("GetOpenFileNameW", bound<FileDialog>(libraryComdlg32, "GetOpenFileNameW"), owner, filter, file,
                      initialDir, title, flags);
}

bool getSaveFileName(Handle owner, const std::string& filter, std::string& file, const std::string& initialDir,
                     const std::string& title, unsigned flags) {
    return fileDialog("GetSaveFileNameW", bound<FileDialog>(libraryComdlg32, "GetSaveFileNameW"), owner, filter, file,
                      initialDir, title, flags);
}

long coInitialize() {
    auto initialize = bound<HRESULT(WINAPI*)(LPVOID)>(libraryOle32, "CoInitialize");
    return initialize ? initialize(nullptr) : notBound;
}

void coUninitialize() {
    auto uninitialize = bound<void(WINAPI*)()>(libraryOle32, "CoUninitialize");
    if (uninitialize) uninitialize();
}

long createShellLink(Handle& link) {
    auto create = bound<HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*)>(libraryOle32,
                                                                                      "CoCreateInstance");
    if (!create) return notBound;
    void* object = nullptr;
    HRESULT result = create(shellLinkClass, nullptr, CLSCTX_INPROC_SERVER, shellLinkInterface, &object);
    if (FAILED(result)) traceFailure("CoCreateInstance", static_cast<unsigned long>(result), traceAsIs "CLSID_ShellLink",
                                      traceAsIs "IID_IShellLinkA");
    link = SUCCEEDED(result) ? reinterpret_cast<Handle>(object) : 0;
    return result;
}

long queryPersistFile(Handle link, Handle& persistFile) {
    void* object = nullptr;
    HRESULT result = asLink(link)->QueryInterface(persistFileInterface, &object);
    persistFile = SUCCEEDED(result) ? reinterpret_cast<Handle>(object) : 0;
    return result;
}

long shellLinkSetPath(Handle link, const std::string& path) { return asLink(link)->SetPath(path.c_str()); }

long shellLinkSetArguments(Handle link, const std::string& arguments) {
    return asLink(link)->SetArguments(arguments.c_str());
}

long shellLinkSetIconLocation(Handle link, const std::string& iconFile, int iconIndex) {
    return asLink(link)->SetIconLocation(iconFile.c_str(), iconIndex);
}

long shellLinkSetWorkingDirectory(Handle link, const std::string& directory) {
    return asLink(link)->SetWorkingDirectory(directory.c_str());
}

long shellLinkSetDescription(Handle link, const std::string& description) {
    return asLink(link)->SetDescription(description.c_str());
}

bool multiByteToWide(const std::string& text, std::u16string& wide) {
    wchar_t buffer[MAX_PATH];
    // Fails (0) when the text with its terminator does not fit 260 wide characters.
    int count = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, MAX_PATH);
    if (count <= 0) return false;
    wide.assign(reinterpret_cast<const char16_t*>(buffer), static_cast<std::size_t>(count - 1));
    return true;
}

long persistFileSave(Handle persistFile, const std::u16string& path) {
    std::u16string terminated = path;
    HRESULT result = reinterpret_cast<IPersistFile*>(persistFile)->Save(reinterpret_cast<LPCOLESTR>(terminated.c_str()), TRUE);
    if (FAILED(result) && traceEnabled()) {
        char shown[MAX_PATH * 2] = "";
        WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(terminated.c_str()), -1, shown, sizeof shown, nullptr, nullptr);
        shown[sizeof shown - 1] = 0;
        traceFailure("IPersistFile::Save", static_cast<unsigned long>(result), shown, traceAsIs "TRUE");
    }
    return result;
}

void comRelease(Handle object) { reinterpret_cast<IUnknown*>(object)->Release(); }
