#include "platform/win32_lazy.h"

#include <windows.h>

namespace {
const wchar_t* const libraryFiles[] = {L"\\user32.dll", L"\\shell32.dll", L"\\ole32.dll", L"\\comdlg32.dll"};
HMODULE loaded[4];
bool tried[4];

// Not in XP's headers; the values are fixed by the Windows API.
const DWORD searchSystem32 = 0x00000800;        // LOAD_LIBRARY_SEARCH_SYSTEM32
const DWORD alteredSearchPath = 0x00000008;     // LOAD_WITH_ALTERED_SEARCH_PATH

// Loading a library by full path keeps that one file out of reach of a
// planted copy, but the libraries it pulls in itself (its imports, and what
// it loads later by name, as the shell and the dialogs do) are searched for
// in the program's directory first. Before the first lazy load the process
// search is narrowed where the system allows it: to the system directory
// (SetDefaultDllDirectories: Windows 8, and 7 and Vista with the update that
// brought it), or at least without the current directory (SetDllDirectoryA:
// XP SP1 on). Both are looked up at run time, so XP RTM still runs.
bool restrictSearchPath() {
    static bool restricted = false;
    static bool done = false;
    if (done) return restricted;
    done = true;
    auto setDefault = lookedUp<BOOL(WINAPI*)(DWORD)>("kernel32.dll", "SetDefaultDllDirectories");
    if (setDefault && setDefault(searchSystem32)) {
        restricted = true;
        return true;
    }
    auto setDirectory = lookedUp<BOOL(WINAPI*)(LPCSTR)>("kernel32.dll", "SetDllDirectoryA");
    if (setDirectory) setDirectory("");
    return false;
}

// The shell and the dialogs load COM themselves while they run, through the
// loader's delay-load path; Wine's loader searches the program's directory
// there even when the process search has been narrowed. Loading ole32 first,
// by full path, leaves nothing for that search to find: a library already
// loaded is taken by name.
const int noLibrary = -1;
const int loadedFirst[] = {noLibrary, libraryOle32, noLibrary, libraryShell32};

HMODULE loadFromSystemDirectory(LazyLibrary library) {
    if (tried[library]) return loaded[library];
    tried[library] = true;
    if (loadedFirst[library] != noLibrary) loadFromSystemDirectory(static_cast<LazyLibrary>(loadedFirst[library]));
    bool restricted = restrictSearchPath();
    // In UTF-16 throughout: the best-fit form of a system directory the code
    // page cannot spell would name another directory.
    wchar_t path[MAX_PATH + 32];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;  // no system directory: bind nothing
    for (const wchar_t* c = libraryFiles[library];; ++c) {
        path[length++] = *c;
        if (!*c) break;
    }
    // With the altered search path the library's own imports are looked for
    // in its directory (the system directory) before the program's. It cannot
    // be combined with the restricted search, which already does that.
    loaded[library] = LoadLibraryExW(path, nullptr, restricted ? 0 : alteredSearchPath);
    return loaded[library];
}
}  // namespace

void* bindFunction(LazyLibrary library, const char* name) {
    HMODULE module = loadFromSystemDirectory(library);
    return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

void* presentFunction(const char* library, const char* name) {
    HMODULE module = GetModuleHandleA(library);
    return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}
