// Lazy binding of the libraries that only some commands need.
//
// hostcmd imports only KERNEL32 and ADVAPI32 (and msvcrt) statically: a file
// or registry command must not pay for loading the shell, COM and dialog
// libraries. USER32, SHELL32, OLE32 and COMDLG32 are loaded on first use by
// full path from the system directory, never through the DLL search path, so
// a DLL planted beside hostcmd.exe is never loaded.
#pragma once

enum LazyLibrary { libraryUser32, libraryShell32, libraryOle32, libraryComdlg32 };

// The function's address, or null when the library or function cannot be bound.
void* bindFunction(LazyLibrary library, const char* name);

// The function as a pointer of the given type: `auto f = bound<Type>(library, "Name");`
template <typename Function>
Function bound(LazyLibrary library, const char* name) {
    return reinterpret_cast<Function>(bindFunction(library, name));
}

// A function of a library every hostcmd process has loaded from its start
// ("kernel32.dll", "advapi32.dll"), or null where this Windows lacks it. Calls
// newer than Windows XP are looked up so, never imported: an import missing
// from the system stops the program before it runs.
void* presentFunction(const char* library, const char* name);
// `auto f = lookedUp<Type>("kernel32.dll", "Name");`
template <typename Function>
Function lookedUp(const char* library, const char* name) {
    return reinterpret_cast<Function>(presentFunction(library, name));
}
