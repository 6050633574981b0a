#include "app/boxes.h"
#include "app/reply.h"
#include "app/text.h"
#include "shell/shell.h"

namespace {
const unsigned browseOnlyFileSystemFolders = 0x1;  // BIF_RETURNONLYFSDIRS
// OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_SHAREAWARE
const unsigned saveDialogFlags = 0x4806;
// OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_SHAREAWARE
const unsigned openDialogFlags = 0x5004;

// A relative reply file is pinned down before any dialog opens, so the answer
// lands where the host looks for it even if the directory could not be kept
// (below). An empty name stays empty: there is no reply file.
std::string replyFileBeforeDialog(const std::string& name) { return name.empty() ? name : fullPathName(name); }

// The dialogs move the process's current directory to the folder the user
// browsed (the open dialog even with OFN_NOCHANGEDIR), and later relative
// names of a batch or "kw.ini" would follow it: it is kept before a dialog
// and restored afterwards, whatever the answer. Where it cannot be kept (it
// has no exact form and no short name that has one, or is too long) no
// dialog is shown: the command answers as cancelled, in the directory the
// host started it in, and later names stay where they were.
struct KeptDirectory {
    bool kept;
    std::string directory;
};
KeptDirectory keepCurrentDirectory() {
    KeptDirectory kept;
    kept.kept = getCurrentDirectory(kept.directory);
    return kept;
}
void restoreCurrentDirectory(const KeptDirectory& kept) {
    if (kept.kept) setCurrentDirectory(kept.directory);
}

void fileCommand(Handle instance, const std::string& arguments, const char* mode) {
    std::string rest = arguments;
    std::string replyFile = replyFileBeforeDialog(takeField(rest));
    std::string filterName = takeField(rest);
    std::string filterPattern = takeField(rest);
    std::string defaultFile = takeField(rest);
    std::string initialDir = takeField(rest);
    const std::string& title = rest;
    std::string chosen = chooseFile(instance, filterName, filterPattern, defaultFile, initialDir, title, mode);
    writeTextFile(replyFile, chosen == notAvailable ? std::string("fileSelected=ERROR") : "fileSelected=" + chosen);
}

// The browser itself, the current directory kept: the chosen path or "na".
std::string browseWithDisplayName(Handle owner, Handle allocator, Handle displayName, const std::string& title) {
    std::string answer = notAvailable;
    // Folders the shell implements through COM (namespace extensions) show only with COM on this thread.
    long com = coInitialize();
    Handle itemList = shBrowseForFolder(owner, displayName, title, browseOnlyFileSystemFolders);
    if (itemList) {
        std::string path;
        // A path over 259 bytes would not fit the buffers every other path
        // of hostcmd lives in: no answer rather than a cut one.
        if (shGetPathFromIDList(itemList, path) && path.size() <= maxPathLength) answer = path;
        // The item list is the shell's allocation and goes back to it also
        // when it named no file-system path.
        mallocFree(allocator, itemList);
    }
    if (!comFailed(com)) coUninitialize();
    return answer;
}
}  // namespace

std::string browseForFolder(Handle owner, const std::string& title) {
    if (!someoneCanAnswer("SHBrowseForFolderW")) return notAvailable;
    Handle allocator = shGetMalloc();
    if (!allocator) return notAvailable;
    std::string answer = notAvailable;
    Handle displayName = mallocAlloc(allocator, browseDisplayNameSize);
    if (displayName) {
        KeptDirectory kept = keepCurrentDirectory();
        if (kept.kept) answer = browseWithDisplayName(owner, allocator, displayName, title);
        restoreCurrentDirectory(kept);
        mallocFree(allocator, displayName);
    }
    mallocRelease(allocator);
    return answer;
}

std::string chooseFile(Handle owner, const std::string& filterName, const std::string& filterPattern,
                       const std::string& defaultFile, const std::string& initialDir, const std::string& title,
                       const std::string& mode) {
    // Exactly one filter pair: name, zero, pattern, zero, and the closing zero.
    std::string filter = filterName;
    filter += '\0';
    filter += filterPattern;
    filter += '\0';
    filter += '\0';
    std::string file = defaultFile == notGiven ? std::string() : defaultFile;
    bool save = mode == "save";
    if (!someoneCanAnswer(save ? "GetSaveFileNameW" : "GetOpenFileNameW")) return notAvailable;
    KeptDirectory kept = keepCurrentDirectory();
    if (!kept.kept) return notAvailable;
    bool chosen = save ? getSaveFileName(owner, filter, file, initialDir, title, saveDialogFlags)
                       : getOpenFileName(owner, filter, file, initialDir, title, openDialogFlags);
    restoreCurrentDirectory(kept);
    // The dialog takes any path; hostcmd's paths end at 259 bytes.
    return chosen && file.size() <= maxPathLength ? file : std::string(notAvailable);
}

void commandGetUserDir(Handle instance, const std::string&, const std::string& arguments) {
    std::string replyFile, title;
    splitField(arguments, replyFile, title);
    replyFile = replyFileBeforeDialog(replyFile);
    // A drive root comes back as "C:\" already; a cancel gives "na\".
    writeTextFile(replyFile, "UserDir=" + withTrailingBackslash(browseForFolder(instance, title)));
}

void commandSavePrompt(Handle instance, const std::string&, const std::string& arguments) {
    fileCommand(instance, arguments, "save");
}

void commandOpenPrompt(Handle instance, const std::string&, const std::string& arguments) {
    fileCommand(instance, arguments, "open");
}
