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
#include "platform/win32_changes.h"
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
    // A station that cannot be asked about counts as unseen: a box shown
    // there might wait for ever, with the host waiting on it.
    if (!station || !information) return false;
    HWINSTA current = station();  // not to be closed
    USEROBJECTFLAGS flags;
    DWORD needed = 0;
    if (!current || !information(current, UOI_FLAGS, &flags, sizeof flags, &needed)) {
        traceFailure("GetUserObjectInformationA", GetLastError(), traceAsIs "GetProcessWindowStation()",
                     traceAsIs "UOI_FLAGS");
        return false;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

namespace {
// The SE_ERR_ code ShellExecuteA answers for a failure ShellExecuteExA
// reports only through GetLastError; 0 (out of resources) for the others.
std::intptr_t shellErrorCode(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_ACCESS_DENIED: case ERROR_NOT_ENOUGH_MEMORY:
            return static_cast<std::intptr_t>(error);
        case ERROR_SHARING_VIOLATION: return SE_ERR_SHARE;
        case ERROR_NO_ASSOCIATION: return SE_ERR_NOASSOC;
        case ERROR_DDE_FAIL: return SE_ERR_DDEFAIL;
        case ERROR_DLL_NOT_FOUND: return SE_ERR_DLLNOTFOUND;
        default: return 0;
    }
}

// A ShellExecuteExA request shown normally; a null directory is the current one.
SHELLEXECUTEINFOA shellRequest(unsigned long mask, HWND owner, const char* verb, const char* file,
                               const char* parameters, const char* directory) {
    SHELLEXECUTEINFOA request;
    std::memset(&request, 0, sizeof request);
    request.cbSize = sizeof request;
    request.fMask = mask;
    request.hwnd = owner;
    request.lpVerb = verb;
    request.lpFile = file;
    request.lpParameters = parameters;
    request.lpDirectory = directory;
    request.nShow = SW_SHOWNORMAL;
    return request;
}
}  // namespace

std::intptr_t shellExecute(Handle owner, const std::string& verb, const std::string& file, bool hasParameters,
                           const std::string& parameters, unsigned mask) {
    // ShellExecuteA cannot pass a mask: without SEE_MASK_NOASYNC a DDE verb
    // needs the caller's message loop to finish after the call returns, and
    // hostcmd has none and ends at once.
    auto execute = bound<BOOL(WINAPI*)(SHELLEXECUTEINFOA*)>(libraryShell32, "ShellExecuteExA");
    if (!execute) return 0;
    SHELLEXECUTEINFOA info = shellRequest(mask, ownerWindow(owner), verb.c_str(), file.c_str(),
                                          hasParameters ? parameters.c_str() : nullptr, nullptr);
    BOOL started = execute(&info);
    DWORD error = started ? 0 : GetLastError();
    // hInstApp holds the value ShellExecuteA would answer; Windows documents
    // it as set only with SEE_MASK_NOCLOSEPROCESS, so each side is made sure of.
    std::intptr_t answer = reinterpret_cast<std::intptr_t>(info.hInstApp);
    if (started) return answer > 32 ? answer : 33;
    if (answer <= 0 || answer > 32) answer = shellErrorCode(error);
    traceFailure("ShellExecuteExA", static_cast<unsigned long>(answer), verb.c_str(), file.c_str(),
                 hasParameters ? parameters.c_str() : traceAsIs "NULL");
    return answer;
}

namespace {
using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
GetFolderPath folderPathCall() { return bound<GetFolderPath>(libraryShell32, "SHGetFolderPathW"); }
}  // namespace

bool shellFolderCallBound() { return folderPathCall() != nullptr; }

unsigned long startElevatedAndWait(const std::string& program, const std::string& parameters,
                                   const std::string& directory, unsigned long& exitCode) {
    auto execute = bound<BOOL(WINAPI*)(SHELLEXECUTEINFOA*)>(libraryShell32, "ShellExecuteExA");
    if (!execute) return ERROR_PROC_NOT_FOUND;
    // The prompt is owned by the foreground window (the host's, as a rule):
    // without an owner Windows shows it only as a blinking taskbar button.
    auto foreground = bound<HWND(WINAPI*)()>(libraryUser32, "GetForegroundWindow");
    SHELLEXECUTEINFOA request = shellRequest(SEE_MASK_NOCLOSEPROCESS, foreground ? foreground() : nullptr, "runas",
                                             program.c_str(), parameters.c_str(), directory.c_str());
    if (!execute(&request)) {
        DWORD error = GetLastError();  // ERROR_CANCELLED when the user declined
        traceFailure("ShellExecuteExA", error, traceAsIs "runas", program.c_str(), parameters.c_str(), directory.c_str());
        return error ? error : ERROR_GEN_FAILURE;
    }
    // No process comes back when the start was handed to a running program
    // (DDE): not the case for an .exe, but nothing could be waited for then.
    if (!request.hProcess) return ERROR_INVALID_HANDLE;
    WaitForSingleObject(request.hProcess, INFINITE);
    DWORD code = 0;
    bool known = GetExitCodeProcess(request.hProcess, &code) != FALSE;
    DWORD error = known ? ERROR_SUCCESS : GetLastError();
    CloseHandle(request.hProcess);
    if (!known) {
        traceFailure("GetExitCodeProcess", error, traceAsIs "the elevated process");
        return error;
    }
    exitCode = code;
    return 0;
}

bool shGetFolderPath(int folder, std::string& path) {
    GetFolderPath getFolder = folderPathCall();
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
    // COINIT_DISABLE_OLE1DDE: no OLE 1 DDE window on this thread, which has
    // no message loop to serve it.
    auto initializeEx = bound<HRESULT(WINAPI*)(LPVOID, DWORD)>(libraryOle32, "CoInitializeEx");
    if (initializeEx) return initializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
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

namespace {
// The shortcut's name in the code page it came from (the conversion back is exact).
std::string narrowed(const std::u16string& path) {
    char narrow[MAX_PATH * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(path.c_str()), -1, narrow, sizeof narrow, nullptr, nullptr);
    narrow[sizeof narrow - 1] = 0;
    return narrow;
}
}  // namespace

long persistFileSave(Handle persistFile, const std::u16string& path) {
    std::string name;
    bool existed = false;
    if (changesObserved()) {
        name = narrowed(path);
        existed = nameExistsNow(name);
    }
    HRESULT result = reinterpret_cast<IPersistFile*>(persistFile)->Save(reinterpret_cast<LPCOLESTR>(path.c_str()), TRUE);
    if (SUCCEEDED(result) && !name.empty()) reportChange(changeFile, !existed, 0, name);
    if (FAILED(result) && traceEnabled())
        traceFailure("IPersistFile::Save", static_cast<unsigned long>(result), narrowed(path).c_str(), traceAsIs "TRUE");
    return result;
}

void comRelease(Handle object) { reinterpret_cast<IUnknown*>(object)->Release(); }
