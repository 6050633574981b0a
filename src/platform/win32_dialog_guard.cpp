#include "platform/win32_dialog_guard.h"

#include <vector>

#include "platform/win32_lazy.h"
#include "platform/win32_text.h"
#include "platform/win32_trace.h"

namespace {
const int fileNameBox = 0x47C;        // cmb13: the file name box
const int hookedFileNameBox = 0x480;  // edt1: the file name box of a hooked dialog
const UINT folderPath = WM_USER + 100 + 2;  // CDM_GETFOLDERPATH

using SendMessageCall = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using WindowProcedureCall = LRESULT(WINAPI*)(WNDPROC, HWND, UINT, WPARAM, LPARAM);

WNDPROC dialogProcedure;  // the guarded dialog's own (one dialog at a time: one thread)
const char* guardedCall;

// ntdll is in every process; only Wine's has this function.
bool underWine() { return presentFunction("ntdll.dll", "wine_get_version") != nullptr; }

// Whether the path the dialog would build from its name box (the name, or
// the current folder, a "\" and the name) has MAX_PATH characters or more.
bool typedPathTooLong(HWND dialog) {
    auto send = bound<SendMessageCall>(libraryUser32, "SendMessageW");
    auto item = bound<HWND(WINAPI*)(HWND, int)>(libraryUser32, "GetDlgItem");
    auto visible = bound<BOOL(WINAPI*)(HWND)>(libraryUser32, "IsWindowVisible");
    if (!send || !item || !visible) return false;
    HWND box = item(dialog, hookedFileNameBox);
    if (!box || !visible(box)) box = item(dialog, fileNameBox);
    if (!box) return false;
    LRESULT length = send(box, WM_GETTEXTLENGTH, 0, 0);
    if (length >= MAX_PATH) return true;
    std::vector<wchar_t> typed(static_cast<std::size_t>(length > 0 ? length : 0) + 1, 0);
    send(box, WM_GETTEXT, typed.size(), reinterpret_cast<LPARAM>(typed.data()));
    bool absolute = typed[0] == L'\\' || (typed[0] && typed[1] == L':');
    if (absolute) return false;
    std::vector<wchar_t> folder(32768, 0);
    send(dialog, folderPath, folder.size() - 1, reinterpret_cast<LPARAM>(folder.data()));
    // Both end in a zero: `typed` has a unit to spare, and `folder`'s last unit is never written.
    return wideLength(folder.data()) + 1 + wideLength(typed.data()) >= MAX_PATH;
}

LRESULT CALLBACK guardedDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && typedPathTooLong(dialog)) {
        // Not passed on: the dialog would overrun its buffer. Cancelled instead.
        if (traceEnabled())
            appendTraceLine(std::string("    ") + guardedCall +
                            " cancelled: the path typed has MAX_PATH characters or more, which Wine's dialog would "
                            "copy into a buffer of MAX_PATH");
        auto post = bound<BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM)>(libraryUser32, "PostMessageW");
        if (post) post(dialog, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    auto call = bound<WindowProcedureCall>(libraryUser32, "CallWindowProcW");
    return call ? call(dialogProcedure, dialog, message, wParam, lParam) : 0;
}

// The hook's child dialog is created inside the dialog: its parent is the
// dialog, whose window procedure the guard then stands in front of.
UINT_PTR CALLBACK dialogHook(HWND child, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return 0;
    auto parent = bound<HWND(WINAPI*)(HWND)>(libraryUser32, "GetParent");
    auto call = bound<WindowProcedureCall>(libraryUser32, "CallWindowProcW");
#ifdef _WIN64
    auto replace = bound<LONG_PTR(WINAPI*)(HWND, int, LONG_PTR)>(libraryUser32, "SetWindowLongPtrW");
#else
    auto replace = bound<LONG(WINAPI*)(HWND, int, LONG)>(libraryUser32, "SetWindowLongW");  // the same in 32-bit code
#endif
    HWND dialog = parent ? parent(child) : nullptr;
    if (dialog && replace && call)
        dialogProcedure = reinterpret_cast<WNDPROC>(replace(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(guardedDialog)));
    return 0;
}
}  // namespace

void guardWineFileDialog(OPENFILENAMEW& request, const char* call) {
    if (!underWine()) return;
    guardedCall = call;
    request.Flags |= OFN_EXPLORER | OFN_ENABLEHOOK;
    request.lpfnHook = dialogHook;
}
