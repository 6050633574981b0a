// The change observer (see win32_changes.h).
#include <windows.h>

#include "platform/win32_changes.h"

namespace {
ChangeObserver observer;
bool observerRunning;
}  // namespace

void setChangeObserver(ChangeObserver newObserver) { observer = newObserver; }

bool changesObserved() { return observer && !observerRunning; }

void reportChange(ChangeKind kind, bool created, Handle root, const std::string& name, const std::string& valueName) {
    if (!changesObserved()) return;
    // The observer's own calls (it stores what it is told) are not reported
    // back to it, and must not change the last error the caller reads next.
    DWORD error = GetLastError();
    observerRunning = true;
    Change change;
    change.kind = kind;
    change.created = created;
    change.root = root;
    change.name = kind == changeKey || kind == changeValue ? name : fullPathName(name);
    change.valueName = valueName;
    observer(change);
    observerRunning = false;
    SetLastError(error);
}

bool nameExistsNow(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }
