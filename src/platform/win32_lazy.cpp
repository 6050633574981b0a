#include "platform/win32_lazy.h"

#include <windows.h>

namespace {
const char* const libraryFiles[] = {"\\user32.dll", "\\shell32.dll", "\\ole32.dll", "\\comdlg32.dll"};
HMODULE loaded[4];
bool tried[4];

HMODULE loadFromSystemDirectory(LazyLibrary library) {
    if (tried[library]) return loaded[library];
    tried[library] = true;
    char path[MAX_PATH + 32];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;  // no system directory: bind nothing
    lstrcpyA(path + length, libraryFiles[library]);
    loaded[library] = LoadLibraryA(path);
    return loaded[library];
}
}  // namespace

void* bindFunction(LazyLibrary library, const char* name) {
    HMODULE module = loadFromSystemDirectory(library);
    return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}
