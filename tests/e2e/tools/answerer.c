/* answerer.exe: answers the boxes and dialogs of another program in the same
 * Wine session, following a script, and reports what it saw.
 *
 *   answerer.exe [--utf8] <script file> <report file> [<step timeout ms>]
 *
 * The script holds one step per line, fields separated by TAB (raw ANSI
 * bytes; CR before LF is ignored).  A caption of "*" matches any caption.
 * With --utf8 every window text is read as UTF-16 (WM_GETTEXT of the wide
 * window procedure) and converted to UTF-8, and the script's texts are UTF-8
 * too: the answerer's own ANSI code page then mangles nothing.
 *
 *   box    <caption> <button id>
 *       Wait for a message box (a dialog with a Static of id 0xFFFF and no
 *       file-name field or folder tree), report caption, text, whether it is
 *       topmost (system-modal) and the visible buttons, then press the button
 *       with PostMessage(WM_COMMAND).
 *   file   <caption> <file name or "-"> <button id>
 *       Wait for an open/save dialog (a control of id 0x47c, or an edit box
 *       of id 0x480 in a hooked dialog); report caption
 *       and the file name it shows; when the button is 1 and the name is not
 *       "-", set the file name first.  Then press the button.  The dialog may
 *       stay open afterwards (an overwrite prompt, a refused name): a later
 *       "box" step can answer the prompt and a later "file" step the dialog.
 *   folder <caption> <path or empty> <button id>
 *       Wait for a folder browser (a SysTreeView32 of id 0x3741); report
 *       caption and static texts; when a path is given ("C:\dir\sub", a drive
 *       root "C:\"), select it by walking the tree, then press the button.
 *   window <class or *> <caption or *> <close|none>
 *       Wait for any visible top-level window of that class and caption,
 *       report it, and post WM_CLOSE to it when asked.
 *   nobox  <milliseconds>
 *       Watch for that long; any dialog (#32770) that appears is reported
 *       as an error and dismissed with IDCANCEL.
 *
 * The report gets one JSON object per line and step, written as soon as the
 * step is done.  Texts are raw bytes written as JSON strings (bytes outside
 * printable ASCII as \u00XX: decode the JSON, encode the texts as Latin-1).
 * A step that fails (nothing came in time, a button that is not there, a
 * path that cannot be selected) reports "error" and the visible top-level
 * windows, and the answerer stops with exit code 3.  Exit code 0 when every
 * step was done, 2 on bad usage or an unreadable script.
 */
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "jsonbytes.h"

#define POLL_MS 20
#define ID_FILENAME 0x47c
/* A hooked dialog (hostcmd hooks Wine's) has an edit box edt1 instead. */
#define ID_FILENAME_HOOKED 0x480
#define ID_FOLDERTREE 0x3741
#define ID_BOXTEXT 0xFFFF

static HANDLE reportFile = INVALID_HANDLE_VALUE;

static void reportLine(OutBuf *b)
{
    outText(b, "}\n");
    DWORD written;
    WriteFile(reportFile, b->data, (DWORD)b->len, &written, NULL);
    FlushFileBuffers(reportFile);
    free(b->data);
    b->data = NULL;
    b->len = b->cap = 0;
}

/* ---- window texts and classes ---- */

static int utf8Texts = 0;

static void getText(HWND w, char *buf, int size)
{
    DWORD_PTR got = 0;
    buf[0] = '\0';
    if (utf8Texts) {
        WCHAR wide[1024];
        wide[0] = 0;
        if (!SendMessageTimeoutW(w, WM_GETTEXT, (WPARAM)(sizeof wide / sizeof wide[0]), (LPARAM)wide,
                                 SMTO_ABORTIFHUNG, 2000, &got))
            wide[0] = 0;
        wide[sizeof wide / sizeof wide[0] - 1] = 0;
        if (!WideCharToMultiByte(CP_UTF8, 0, wide, -1, buf, size, NULL, NULL)) buf[0] = '\0';
        buf[size - 1] = '\0';
        return;
    }
    if (!SendMessageTimeoutA(w, WM_GETTEXT, (WPARAM)size, (LPARAM)buf,
                             SMTO_ABORTIFHUNG, 2000, &got))
        buf[0] = '\0';
    buf[size - 1] = '\0';
}

static int classIs(HWND w, const char *name)
{
    char cls[64];
    if (!GetClassNameA(w, cls, sizeof cls)) return 0;
    return lstrcmpiA(cls, name) == 0;
}

static int captionMatches(HWND w, const char *caption)
{
    if (strcmp(caption, "*") == 0) return 1;
    char text[1024];
    getText(w, text, sizeof text);
    return strcmp(text, caption) == 0;
}

/* ---- finding child controls by id and class ---- */

typedef struct {
    int id;
    const char *cls; /* NULL: any class */
    HWND found;
} ChildQuery;

static BOOL CALLBACK findChildProc(HWND w, LPARAM lp)
{
    ChildQuery *q = (ChildQuery *)lp;
    if ((GetDlgCtrlID(w) & 0xFFFF) == q->id && (!q->cls || classIs(w, q->cls))) {
        q->found = w;
        return FALSE;
    }
    return TRUE;
}

static HWND findChild(HWND parent, int id, const char *cls)
{
    ChildQuery q = {id, cls, NULL};
    EnumChildWindows(parent, findChildProc, (LPARAM)&q);
    return q.found;
}

/* ---- classifying dialogs ---- */

enum { KIND_OTHER, KIND_BOX, KIND_FILE, KIND_FOLDER };

static int dialogKind(HWND w)
{
    if (findChild(w, ID_FILENAME, NULL) || findChild(w, ID_FILENAME_HOOKED, "Edit")) return KIND_FILE;
    if (findChild(w, ID_FOLDERTREE, "SysTreeView32")) return KIND_FOLDER;
    if (findChild(w, ID_BOXTEXT, "Static")) return KIND_BOX;
    return KIND_OTHER;
}

/* Windows already answered by an earlier step: a box can stay on screen for
 * a moment after its button was pressed, and must not be answered twice. */
#define MAX_DONE 256
static HWND doneWindows[MAX_DONE];
static int doneCount;

static int isDone(HWND w)
{
    for (int i = 0; i < doneCount; i++)
        if (doneWindows[i] == w) return 1;
    return 0;
}

static void markDone(HWND w)
{
    if (doneCount < MAX_DONE) doneWindows[doneCount++] = w;
}

typedef struct {
    const char *cls;      /* class wanted, "*" any */
    const char *caption;  /* caption wanted, "*" any */
    int kind;             /* KIND_* wanted for dialogs, -1: do not check */
    HWND found;
} TopQuery;

static BOOL CALLBACK findTopProc(HWND w, LPARAM lp)
{
    TopQuery *q = (TopQuery *)lp;
    if (!IsWindowVisible(w) || isDone(w)) return TRUE;
    if (strcmp(q->cls, "*") != 0 && !classIs(w, q->cls)) return TRUE;
    if (!captionMatches(w, q->caption)) return TRUE;
    if (q->kind >= 0 && dialogKind(w) != q->kind) return TRUE;
    q->found = w;
    return FALSE;
}

static HWND findTop(const char *cls, const char *caption, int kind)
{
    TopQuery q = {cls, caption, kind, NULL};
    EnumWindows(findTopProc, (LPARAM)&q);
    return q.found;
}

static HWND waitTop(const char *cls, const char *caption, int kind, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = findTop(cls, caption, kind);
        if (w) return w;
        if (GetTickCount() - start >= timeoutMs) return NULL;
        Sleep(POLL_MS);
    }
}

/* ---- reporting ---- */

static BOOL CALLBACK listWindowProc(HWND w, LPARAM lp)
{
    OutBuf *b = (OutBuf *)lp;
    if (!IsWindowVisible(w)) return TRUE;
    char cls[64], text[512];
    if (!GetClassNameA(w, cls, sizeof cls)) cls[0] = '\0';
    getText(w, text, sizeof text);
    if (b->data[b->len - 1] != '[') outText(b, ", ");
    outText(b, "{\"class\": ");
    outJsonText(b, cls);
    outText(b, ", \"caption\": ");
    outJsonText(b, text);
    outText(b, "}");
    return TRUE;
}

static void reportError(int step, const char *kind, const char *error)
{
    OutBuf b = {0};
    outText(&b, "{\"step\": ");
    outJsonInt(&b, step);
    outText(&b, ", \"kind\": ");
    outJsonText(&b, kind);
    outText(&b, ", \"error\": ");
    outJsonText(&b, error);
    outText(&b, ", \"windows\": [");
    EnumWindows(listWindowProc, (LPARAM)&b);
    outText(&b, "]");
    reportLine(&b);
}

static void startReport(OutBuf *b, int step, const char *kind, HWND w)
{
    char text[1024];
    getText(w, text, sizeof text);
    outText(b, "{\"step\": ");
    outJsonInt(b, step);
    outText(b, ", \"kind\": ");
    outJsonText(b, kind);
    outText(b, ", \"caption\": ");
    outJsonText(b, text);
}

typedef struct {
    OutBuf *b;
    const char *cls;
    int visibleOnly;
    int first;
} ListQuery;

/* Lists the controls of one class as [{"id": n, "text": "..."}]. */
static BOOL CALLBACK listControlProc(HWND w, LPARAM lp)
{
    ListQuery *q = (ListQuery *)lp;
    if (!classIs(w, q->cls)) return TRUE;
    if (q->visibleOnly && !IsWindowVisible(w)) return TRUE;
    char text[4096];
    getText(w, text, sizeof text);
    if (!q->first) outText(q->b, ", ");
    q->first = 0;
    outText(q->b, "{\"id\": ");
    outJsonInt(q->b, GetDlgCtrlID(w) & 0xFFFF);
    outText(q->b, ", \"text\": ");
    outJsonText(q->b, text);
    outText(q->b, "}");
    return TRUE;
}

static void listControls(OutBuf *b, HWND dlg, const char *key, const char *cls)
{
    ListQuery q = {b, cls, 1, 1};
    outText(b, ", \"");
    outText(b, key);
    outText(b, "\": [");
    EnumChildWindows(dlg, listControlProc, (LPARAM)&q);
    outText(b, "]");
}

static void press(HWND dlg, int id)
{
    HWND button = findChild(dlg, id, "Button");
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
}

/* Waits until a pressed dialog has gone, so that the next step cannot find
 * it again; gives up quietly after a while (the next step will tell). */
static void waitGone(HWND w, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(w) && IsWindowVisible(w) && GetTickCount() - start < timeoutMs)
        Sleep(POLL_MS);
}

/* ---- folder tree across processes ---- */

typedef struct {
    HWND tree;
    HANDLE process;
    char *remote; /* TVITEMA followed by a text buffer, in the dialog's process */
} RemoteTree;

#define REMOTE_TEXT 520

static int openRemoteTree(RemoteTree *t, HWND tree)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    t->tree = tree;
    t->process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                             FALSE, pid);
    if (!t->process) return 0;
    t->remote = (char *)VirtualAllocEx(t->process, NULL, sizeof(TVITEMA) + REMOTE_TEXT,
                                       MEM_COMMIT, PAGE_READWRITE);
    return t->remote != NULL;
}

static void closeRemoteTree(RemoteTree *t)
{
    if (t->remote) VirtualFreeEx(t->process, t->remote, 0, MEM_RELEASE);
    if (t->process) CloseHandle(t->process);
}

static int itemText(RemoteTree *t, HTREEITEM item, char *out, int size)
{
    TVITEMA tv;
    ZeroMemory(&tv, sizeof tv);
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = t->remote + sizeof(TVITEMA);
    tv.cchTextMax = REMOTE_TEXT;
    SIZE_T moved = 0;
    char zero = 0;
    out[0] = '\0';
    if (!WriteProcessMemory(t->process, t->remote, &tv, sizeof tv, &moved)) return 0;
    WriteProcessMemory(t->process, t->remote + sizeof(TVITEMA), &zero, 1, &moved);
    DWORD_PTR ok = 0;
    if (!SendMessageTimeoutA(t->tree, TVM_GETITEMA, 0, (LPARAM)t->remote,
                             SMTO_ABORTIFHUNG, 5000, &ok) || !ok)
        return 0;
    char buf[REMOTE_TEXT];
    if (!ReadProcessMemory(t->process, t->remote + sizeof(TVITEMA), buf, sizeof buf, &moved))
        return 0;
    buf[REMOTE_TEXT - 1] = '\0';
    lstrcpynA(out, buf, size);
    return 1;
}

static HTREEITEM treeNext(RemoteTree *t, HTREEITEM item, int how)
{
    DWORD_PTR r = 0;
    SendMessageTimeoutA(t->tree, TVM_GETNEXTITEM, how, (LPARAM)item,
                        SMTO_ABORTIFHUNG, 5000, &r);
    return (HTREEITEM)r;
}

static void treeExpand(RemoteTree *t, HTREEITEM item)
{
    DWORD_PTR r = 0;
    SendMessageTimeoutA(t->tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)item,
                        SMTO_ABORTIFHUNG, 10000, &r);
}

/* The text of a drive item ends with "(X:)"; other items match by name,
 * ignoring case. */
static int itemMatches(const char *text, const char *component, int isDrive)
{
    if (isDrive) {
        char tail[8];
        sprintf(tail, "(%c:)", component[0]);
        size_t n = strlen(text);
        return n >= 4 && lstrcmpiA(text + n - 4, tail) == 0;
    }
    return lstrcmpiA(text, component) == 0;
}

/* The shell fills a folder's children after it is expanded, and on a busy
 * machine not always before they are read: they are read again for up to
 * two seconds. */
static HTREEITEM findAmongChildren(RemoteTree *t, HTREEITEM parent,
                                   const char *component, int isDrive)
{
    treeExpand(t, parent);
    char text[REMOTE_TEXT];
    for (int tries = 0; tries < 20; tries++) {
        for (HTREEITEM c = treeNext(t, parent, TVGN_CHILD); c; c = treeNext(t, c, TVGN_NEXT)) {
            if (itemText(t, c, text, sizeof text) && itemMatches(text, component, isDrive))
                return c;
        }
        Sleep(100);
    }
    return NULL;
}

/* Breadth-first search for the drive item below the given items, a few
 * levels deep (Desktop, My Computer, drive). */
static HTREEITEM findDrive(RemoteTree *t, HTREEITEM first, const char *drive, int depth)
{
    char text[REMOTE_TEXT];
    for (HTREEITEM c = first; c; c = treeNext(t, c, TVGN_NEXT))
        if (itemText(t, c, text, sizeof text) && itemMatches(text, drive, 1)) return c;
    if (depth == 0) return NULL;
    for (HTREEITEM c = first; c; c = treeNext(t, c, TVGN_NEXT)) {
        treeExpand(t, c);
        HTREEITEM child = treeNext(t, c, TVGN_CHILD);
        if (child) {
            HTREEITEM found = findDrive(t, child, drive, depth - 1);
            if (found) return found;
        }
    }
    return NULL;
}

/* Selects the folder "X:\a\b" in the tree; returns 0 with an error text on
 * failure. */
static int selectFolder(HWND tree, const char *path, const char **error)
{
    RemoteTree t = {0};
    int ok = 0;
    if (!openRemoteTree(&t, tree)) {
        *error = "cannot reach the dialog's process";
        closeRemoteTree(&t);
        return 0;
    }
    char buf[MAX_PATH];
    lstrcpynA(buf, path, sizeof buf);
    if (strlen(buf) < 2 || buf[1] != ':') {
        *error = "folder path must begin with a drive letter";
        goto done;
    }
    HTREEITEM item = findDrive(&t, treeNext(&t, NULL, TVGN_ROOT), buf, 3);
    if (!item) {
        *error = "drive not found in the folder tree";
        goto done;
    }
    char *rest = buf + 2;
    while (*rest) {
        while (*rest == '\\') rest++;
        if (!*rest) break;
        char *end = strchr(rest, '\\');
        if (end) *end = '\0';
        HTREEITEM child = findAmongChildren(&t, item, rest, 0);
        if (!child) {
            *error = "folder not found in the folder tree";
            goto done;
        }
        item = child;
        rest = end ? end + 1 : rest + strlen(rest);
    }
    DWORD_PTR r = 0;
    SendMessageTimeoutA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item,
                        SMTO_ABORTIFHUNG, 10000, &r);
    SendMessageTimeoutA(tree, TVM_ENSUREVISIBLE, 0, (LPARAM)item,
                        SMTO_ABORTIFHUNG, 10000, &r);
    if (treeNext(&t, NULL, TVGN_CARET) != item) {
        *error = "the folder could not be selected";
        goto done;
    }
    ok = 1;
done:
    closeRemoteTree(&t);
    return ok;
}

/* ---- steps ---- */

static int hasVisibleButton(HWND dlg, int id)
{
    HWND b = findChild(dlg, id, "Button");
    return b && IsWindowVisible(b);
}

static int stepBox(int step, char **f, int nf, DWORD timeoutMs)
{
    if (nf < 3) { reportError(step, "box", "usage: box <caption> <button id>"); return 0; }
    int id = atoi(f[2]);
    HWND w = waitTop("#32770", f[1], KIND_BOX, timeoutMs);
    if (!w) { reportError(step, "box", "timeout"); return 0; }
    OutBuf b = {0};
    startReport(&b, step, "box", w);
    char text[4096];
    getText(findChild(w, ID_BOXTEXT, "Static"), text, sizeof text);
    outText(&b, ", \"text\": ");
    outJsonText(&b, text);
    /* A system-modal box (MB_SYSTEMMODAL) is a topmost window. */
    outText(&b, ", \"topmost\": ");
    outText(&b, (GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST) ? "true" : "false");
    listControls(&b, w, "buttons", "Button");
    int present = hasVisibleButton(w, id);
    outText(&b, ", \"pressed\": ");
    outJsonInt(&b, present ? id : 0);
    if (!present) outText(&b, ", \"error\": \"no such button\"");
    reportLine(&b);
    markDone(w);
    if (!present) {
        /* Close it all the same so the program under test can end. */
        PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    press(w, id);
    waitGone(w, 2000);
    return 1;
}

static int stepFile(int step, char **f, int nf, DWORD timeoutMs)
{
    if (nf < 4) { reportError(step, "file", "usage: file <caption> <name|-> <button id>"); return 0; }
    int id = atoi(f[3]);
    HWND w = waitTop("#32770", f[1], KIND_FILE, timeoutMs);
    if (!w) { reportError(step, "file", "timeout"); return 0; }
    HWND edit = findChild(w, ID_FILENAME, "Edit");
    if (!edit) edit = findChild(w, ID_FILENAME, NULL);
    if (!edit || !IsWindowVisible(edit)) {
        HWND hooked = findChild(w, ID_FILENAME_HOOKED, "Edit");
        if (hooked) edit = hooked;
    }
    OutBuf b = {0};
    startReport(&b, step, "file", w);
    char text[1024];
    getText(edit, text, sizeof text);
    outText(&b, ", \"filename\": ");
    outJsonText(&b, text);
    listControls(&b, w, "statics", "Static");
    outText(&b, ", \"pressed\": ");
    outJsonInt(&b, id);
    if (id == IDOK && strcmp(f[2], "-") != 0) {
        DWORD_PTR r = 0;
        SendMessageTimeoutA(edit, WM_SETTEXT, 0, (LPARAM)f[2], SMTO_ABORTIFHUNG, 5000, &r);
        getText(edit, text, sizeof text);
        outText(&b, ", \"typed\": ");
        outJsonText(&b, text);
    }
    reportLine(&b);
    press(w, id);
    /* The dialog closes, or stays under a prompt: give either a moment. */
    DWORD start = GetTickCount();
    while (IsWindow(w) && IsWindowVisible(w) && GetTickCount() - start < 1000) {
        if (findTop("#32770", "*", KIND_BOX)) break;
        Sleep(POLL_MS);
    }
    return 1;
}

static int stepFolder(int step, char **f, int nf, DWORD timeoutMs)
{
    if (nf < 4) { reportError(step, "folder", "usage: folder <caption> <path> <button id>"); return 0; }
    int id = atoi(f[3]);
    HWND w = waitTop("#32770", f[1], KIND_FOLDER, timeoutMs);
    if (!w) { reportError(step, "folder", "timeout"); return 0; }
    OutBuf b = {0};
    startReport(&b, step, "folder", w);
    listControls(&b, w, "statics", "Static");
    int ok = 1;
    if (f[2][0]) {
        const char *error = NULL;
        ok = selectFolder(findChild(w, ID_FOLDERTREE, "SysTreeView32"), f[2], &error);
        outText(&b, ", \"selected\": ");
        outJsonText(&b, ok ? f[2] : "");
        if (!ok) {
            outText(&b, ", \"error\": ");
            outJsonText(&b, error);
        }
    }
    outText(&b, ", \"pressed\": ");
    outJsonInt(&b, ok ? id : IDCANCEL);
    reportLine(&b);
    markDone(w);
    press(w, ok ? id : IDCANCEL);
    waitGone(w, 2000);
    return ok;
}

static int stepWindow(int step, char **f, int nf, DWORD timeoutMs)
{
    if (nf < 4) { reportError(step, "window", "usage: window <class> <caption> <close|none>"); return 0; }
    HWND w = waitTop(f[1], f[2], -1, timeoutMs);
    if (!w) { reportError(step, "window", "timeout"); return 0; }
    OutBuf b = {0};
    startReport(&b, step, "window", w);
    char cls[64];
    if (!GetClassNameA(w, cls, sizeof cls)) cls[0] = '\0';
    outText(&b, ", \"class\": ");
    outJsonText(&b, cls);
    reportLine(&b);
    markDone(w);
    if (strcmp(f[3], "close") == 0) {
        PostMessageA(w, WM_CLOSE, 0, 0);
        waitGone(w, 2000);
    }
    return 1;
}

static int stepNoBox(int step, char **f, int nf)
{
    DWORD ms = nf > 1 ? (DWORD)strtoul(f[1], NULL, 10) : 1000;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        HWND w = findTop("#32770", "*", -1);
        if (w) {
            OutBuf b = {0};
            startReport(&b, step, "nobox", w);
            char text[4096];
            getText(findChild(w, ID_BOXTEXT, "Static"), text, sizeof text);
            outText(&b, ", \"text\": ");
            outJsonText(&b, text);
            outText(&b, ", \"error\": \"a dialog appeared\"");
            reportLine(&b);
            markDone(w);
            PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return 0;
        }
        Sleep(POLL_MS);
    }
    OutBuf b = {0};
    outText(&b, "{\"step\": ");
    outJsonInt(&b, step);
    outText(&b, ", \"kind\": \"nobox\"");
    reportLine(&b);
    return 1;
}

/* ---- script ---- */

static char *readWholeFile(const char *path, DWORD *size)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return NULL;
    *size = GetFileSize(h, NULL);
    char *buf = (char *)malloc(*size + 1);
    DWORD got = 0;
    if (!buf || !ReadFile(h, buf, *size, &got, NULL) || got != *size) {
        CloseHandle(h);
        free(buf);
        return NULL;
    }
    CloseHandle(h);
    buf[*size] = '\0';
    return buf;
}

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "--utf8") == 0) {
        utf8Texts = 1;
        --argc;
        ++argv;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: answerer.exe [--utf8] <script> <report> [<step timeout ms>]\n");
        return 2;
    }
    DWORD timeoutMs = argc > 3 ? (DWORD)strtoul(argv[3], NULL, 10) : 10000;
    DWORD size = 0;
    char *script = readWholeFile(argv[1], &size);
    if (!script) return 2;
    reportFile = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (reportFile == INVALID_HANDLE_VALUE) return 2;

    int step = 0;
    char *line = script;
    while (line && *line) {
        char *next = strchr(line, '\n');
        if (next) *next++ = '\0';
        size_t n = strlen(line);
        if (n && line[n - 1] == '\r') line[--n] = '\0';
        if (n == 0) { line = next; continue; }

        char *f[8];
        int nf = 0;
        char *p = line;
        f[nf++] = p;
        while (nf < 8 && (p = strchr(p, '\t')) != NULL) {
            *p++ = '\0';
            f[nf++] = p;
        }
        for (int i = nf; i < 8; i++) f[i] = "";
        step++;

        int ok;
        if (strcmp(f[0], "box") == 0) ok = stepBox(step, f, nf, timeoutMs);
        else if (strcmp(f[0], "file") == 0) ok = stepFile(step, f, nf, timeoutMs);
        else if (strcmp(f[0], "folder") == 0) ok = stepFolder(step, f, nf, timeoutMs);
        else if (strcmp(f[0], "window") == 0) ok = stepWindow(step, f, nf, timeoutMs);
        else if (strcmp(f[0], "nobox") == 0) ok = stepNoBox(step, f, nf);
        else { reportError(step, f[0], "unknown step kind"); ok = 0; }
        if (!ok) {
            CloseHandle(reportFile);
            return 3;
        }
        line = next;
    }
    CloseHandle(reportFile);
    return 0;
}
