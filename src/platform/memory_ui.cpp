// Boxes, the shell, the pickers and shortcuts (the model of win32_ui.cpp).
//
// Boxes and dialogs are answered from queues or by an answering function;
// shell calls and shortcuts are kept for the tests to look at.
#include <cstdio>
#include <set>

#include "platform/memory_model.h"

using namespace memory;

std::vector<FakeBox> fakeBoxes;
std::function<int(const FakeBox&)> fakeBoxAnswerer;
std::function<bool(const FakeDialog&, std::string&)> fakeDialogAnswerer;
std::vector<FakeDialog> fakeDialogs;
std::vector<FakeShellCall> fakeShellCalls;
std::vector<FakeElevatedStart> fakeElevatedStarts;
std::map<std::string, FakeShortcut> fakeShortcuts;
std::vector<int> fakeShellFolderRequests;

namespace {
struct LinkObject {
    FakeShortcut shortcut;
    int references;
};

std::vector<int> boxAnswers;
std::vector<std::string> dialogAnswers;
std::string dialogDirectory;
std::map<Handle, std::string> itemLists;
std::set<Handle> allocations;
std::map<Handle, Handle> persistToLink;
std::map<Handle, LinkObject> links;
int comBalance;
bool stationHidden;
bool shellNeedsFiles;
bool comMultithreaded;
std::map<int, std::string> shellFolders;

// The Shell Folders value name Explorer records each folder under.
const char* explorerName(int csidl) {
    switch (csidl) {
        case folderDesktop: return "Desktop";
        case folderPrograms: return "Programs";
        case folderStartMenu: return "Start Menu";
        case folderStartup: return "Startup";
        default: return "";
    }
}

unsigned long elevatedStartError, elevatedExitCode;
}  // namespace

namespace memory {
void resetUi() {
    fakeBoxes.clear();
    fakeBoxAnswerer = nullptr;
    fakeDialogAnswerer = nullptr;
    fakeDialogs.clear();
    fakeShellCalls.clear();
    fakeShortcuts.clear();
    boxAnswers.clear();
    dialogAnswers.clear();
    dialogDirectory.clear();
    itemLists.clear();
    allocations.clear();
    persistToLink.clear();
    links.clear();
    comBalance = 0;
    stationHidden = false;
    shellNeedsFiles = false;
    comMultithreaded = false;
    shellFolders.clear();
    fakeShellFolderRequests.clear();
    fakeElevatedStarts.clear();
    elevatedStartError = 0;
    elevatedExitCode = 0;
}
}  // namespace memory

// ---- controls ------------------------------------------------------------------

void fakeAnswerBoxes(const std::vector<int>& answers) { boxAnswers = answers; }
void fakeAnswerDialogs(const std::vector<std::string>& answers) { dialogAnswers = answers; }
void fakeDialogsMoveCurrentDirectory(const std::string& path) { dialogDirectory = path; }
void fakeHideWindowStation() { stationHidden = true; }
void fakeShellNeedsFiles(bool on) { shellNeedsFiles = on; }
void fakeSetShellFolder(int folder, const std::string& path) { shellFolders[folder] = path; }
void fakeComMultithreaded() { comMultithreaded = true; }
void fakeAnswerElevatedStart(unsigned long error, unsigned long exitCode) {
    elevatedStartError = error;
    elevatedExitCode = exitCode;
}
int fakeComBalance() { return comBalance; }
int fakeLiveComObjects() { return static_cast<int>(links.size()); }
int fakeLiveAllocations() { return static_cast<int>(allocations.size()); }

// ---- the platform ------------------------------------------------------------

namespace {
// Shows a box, hostcmd's or a dialog's own, and takes its answer.
int showBox(Handle owner, const std::string& text, const std::string& caption, unsigned style) {
    fakeBoxes.push_back(FakeBox{owner, text, caption, style, fakeCalls.size()});
    if (fakeBoxAnswerer) return fakeBoxAnswerer(fakeBoxes.back());
    if (boxAnswers.empty()) return 1;
    int answer = boxAnswers.front();
    boxAnswers.erase(boxAnswers.begin());
    return answer;
}
}  // namespace

int messageBox(Handle owner, const std::string& text, const std::string& caption, unsigned style) {
    if (failing("messageBox")) return 0;
    return showBox(owner, text, caption, style);
}

std::intptr_t shellExecute(Handle owner, const std::string& verb, const std::string& file, bool hasParameters,
                           const std::string& parameters, unsigned mask) {
    if (failing("shellExecute")) return 2;
    // A name that names nothing is not found (SE_ERR_FNF); only a bare program name may be on the PATH.
    bool program = lower(file).size() > 4 && lower(file).compare(file.size() - 4, 4, ".exe") == 0;
    bool onPath = program && file.find_first_of("\\:") == std::string::npos;
    if (shellNeedsFiles && !onPath && (file.empty() || !entryExists(absolute(file)))) {
        failed("ShellExecuteExA", 2, {verb, file, hasParameters ? parameters : "\1NULL"});
        return 2;
    }
    fakeShellCalls.push_back(FakeShellCall{owner, verb, file, hasParameters, parameters, mask, comBalance > 0,
                                           processErrorModeQuiet(), threadErrorModeQuiet(), fakeCalls.size()});
    return 42;
}

unsigned long startElevatedAndWait(const std::string& program, const std::string& parameters,
                                   const std::string& directory, unsigned long& exitCode) {
    if (failing("startElevatedAndWait")) return 2;  // ERROR_FILE_NOT_FOUND
    fakeElevatedStarts.push_back(
        FakeElevatedStart{program, parameters, directory, !fakeHeldMutexes().empty(), fakeCalls.size()});
    if (elevatedStartError) {
        failed("ShellExecuteExA", elevatedStartError, {"\1runas", program, parameters, directory});
        return elevatedStartError;
    }
    exitCode = elevatedExitCode;
    return 0;
}

bool windowStationVisible() {
    // A check that cannot be made counts as a station nobody sees.
    return !failing("windowStationVisible") && !stationHidden;
}

bool shellFolderCallBound() { return !failing("shellFolderCallBound") && present("SHGetFolderPathW"); }

bool shGetFolderPath(int folder, std::string& path) {
    if (failing("shGetFolderPath")) return false;
    fakeShellFolderRequests.push_back(folder);
    char csidl[24];
    std::snprintf(csidl, sizeof csidl, "\1CSIDL 0x%04X", folder);
    int which = folder & 0xFF;
    std::string answer;
    if (!present("SHGetFolderPathW")) return false;
    if (shellFolders.count(which)) answer = shellFolders[which];
    else if (!explorerRecord(explorerName(which), answer)) {
        failed("SHGetFolderPathW", 0x80004005UL, {"\1NULL", csidl});  // E_FAIL
        return false;
    }
    if (!isDirectory(absolute(answer))) {
        // A folder the user has not got yet: made only when asked to.
        if (!(folder & folderCreate)) {
            failed("SHGetFolderPathW", 1, {"\1NULL", csidl});  // S_FALSE
            return false;
        }
        fakeAddDirectory(answer);
    }
    return exactDirectory("SHGetFolderPathW", answer, path, {"\1NULL", csidl});
}

namespace {
// The next dialog answer: true with a path when chosen.
bool nextDialogAnswer(std::string& path) {
    if (fakeDialogAnswerer) return fakeDialogAnswerer(fakeDialogs.back(), path);
    if (dialogAnswers.empty()) return false;
    path = dialogAnswers.front();
    dialogAnswers.erase(dialogAnswers.begin());
    return !path.empty();
}
}  // namespace

Handle shGetMalloc() { return failing("shGetMalloc") ? 0 : 0x77; }
Handle mallocAlloc(Handle, std::size_t) {
    if (failing("mallocAlloc")) return 0;
    Handle block = newHandle();
    allocations.insert(block);
    return block;
}
void mallocFree(Handle, Handle block) {
    fakeCalls.push_back("mallocFree");
    allocations.erase(block);
}
void mallocRelease(Handle) { fakeCalls.push_back("mallocRelease"); }

Handle shBrowseForFolder(Handle owner, Handle, const std::string& title, unsigned flags) {
    if (failing("shBrowseForFolder")) return 0;
    fakeDialogs.push_back(FakeDialog{"browse", owner, title, "", "", "", flags, fakeCalls.size()});
    std::string path;
    if (!nextDialogAnswer(path)) return 0;
    if (!dialogDirectory.empty()) moveCurrentDirectory(dialogDirectory);
    Handle list = newHandle();
    itemLists[list] = path;
    allocations.insert(list);
    return list;
}

bool shGetPathFromIDList(Handle itemList, std::string& path) {
    if (failing("shGetPathFromIDList") || !itemLists.count(itemList)) return false;
    return exactAnswer("SHGetPathFromIDListW", itemLists[itemList], path);
}

std::string fakeDialogCaption(const std::string& kind, const std::string& title) {
    if (!title.empty()) return title;
    return kind == "browse" ? "Browse for Folder" : kind == "save" ? "Save As" : "Open";
}

namespace {
const unsigned overwritePrompt = 0x2, pathMustExist = 0x800, fileMustExist = 0x1000;  // OFN_*
const unsigned warningOk = 0x30, warningYesNo = 0x34;                                  // MB_ICONEXCLAMATION | MB_OK, MB_YESNO
const int answerYes = 6;

// The dialog as Windows answers it: it closes only on a name it takes. A
// typed name that must exist and does not, or whose folder does not, gets
// the dialog's own message box and the dialog stays; so does a name to save
// over an existing file that the user does not want replaced.
bool fileDialog(const char* kind, Handle owner, const std::string& filter, std::string& file,
                const std::string& initialDir, const std::string& title, unsigned flags) {
    std::string caption = fakeDialogCaption(kind, title);
    for (;;) {
        fakeDialogs.push_back(FakeDialog{kind, owner, title, filter, file, initialDir, flags, fakeCalls.size()});
        std::string path;
        if (!nextDialogAnswer(path)) return false;
        std::string key = absolute(path);
        bool folderThere = !key.empty() && isDirectory(parentOf(key));
        bool fileThere = !key.empty() && entryExists(key) && !isDirectory(key);
        if ((flags & (pathMustExist | fileMustExist)) && !folderThere) {
            showBox(owner, "Path does not exist", caption, warningOk);
            continue;
        }
        if ((flags & fileMustExist) && !fileThere) {
            showBox(owner, "File does not exist", caption, warningOk);
            continue;
        }
        if ((flags & overwritePrompt) && fileThere &&
            showBox(owner, "File already exists.\nDo you want to replace it?", caption, warningYesNo) != answerYes)
            continue;
        if (!dialogDirectory.empty()) moveCurrentDirectory(dialogDirectory);
        return exactAnswer(kind[0] == 'o' ? "GetOpenFileNameW" : "GetSaveFileNameW", path, file);
    }
}
}  // namespace

bool getOpenFileName(Handle owner, const std::string& filter, std::string& file, const std::string& initialDir,
                     const std::string& title, unsigned flags) {
    if (failing("getOpenFileName")) return false;
    return fileDialog("open", owner, filter, file, initialDir, title, flags);
}

bool getSaveFileName(Handle owner, const std::string& filter, std::string& file, const std::string& initialDir,
                     const std::string& title, unsigned flags) {
    if (failing("getSaveFileName")) return false;
    return fileDialog("save", owner, filter, file, initialDir, title, flags);
}

long coInitialize() {
    if (failing("coInitialize")) return static_cast<long>(0x80004005L);
    if (comMultithreaded) return comChangedMode;
    ++comBalance;
    return 0;
}
void coUninitialize() {
    fakeCalls.push_back("coUninitialize");
    --comBalance;
}

long createShellLink(Handle& link) {
    if (failing("createShellLink")) return static_cast<long>(0x80040154L);  // REGDB_E_CLASSNOTREG
    link = newHandle();
    links[link] = LinkObject{FakeShortcut{}, 1};
    return 0;
}

long queryPersistFile(Handle link, Handle& persistFile) {
    if (failing("queryPersistFile")) return static_cast<long>(0x80004002L);  // E_NOINTERFACE
    persistFile = newHandle();
    persistToLink[persistFile] = link;
    ++links[link].references;
    return 0;
}

long shellLinkSetPath(Handle link, const std::string& path) {
    if (failing("shellLinkSetPath")) return -1;
    links[link].shortcut.target = path;
    return 0;
}
long shellLinkSetArguments(Handle link, const std::string& arguments) {
    if (failing("shellLinkSetArguments")) return -1;
    links[link].shortcut.arguments = arguments;
    links[link].shortcut.hasArguments = true;
    return 0;
}
long shellLinkSetIconLocation(Handle link, const std::string& iconFile, int iconIndex) {
    if (failing("shellLinkSetIconLocation")) return -1;
    links[link].shortcut.iconFile = iconFile;
    links[link].shortcut.iconIndex = iconIndex;
    links[link].shortcut.hasIcon = true;
    return 0;
}
long shellLinkSetWorkingDirectory(Handle link, const std::string& directory) {
    if (failing("shellLinkSetWorkingDirectory")) return -1;
    links[link].shortcut.workingDirectory = directory;
    links[link].shortcut.hasWorkingDirectory = true;
    return 0;
}
long shellLinkSetDescription(Handle link, const std::string& description) {
    if (failing("shellLinkSetDescription")) return -1;
    links[link].shortcut.description = description;
    return 0;
}

bool multiByteToWide(const std::string& text, std::u16string& wide) {
    if (failing("multiByteToWide")) return false;
    wide.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (isLeadByte(c) && i + 1 < text.size()) {
            wide += static_cast<char16_t>((c << 8) | static_cast<unsigned char>(text[++i]));
        } else {
            wide += static_cast<char16_t>(c);
        }
    }
    return wide.size() + 1 <= 260;
}

long persistFileSave(Handle persistFile, const std::u16string& path) {
    if (failing("persistFileSave")) return static_cast<long>(0x80070005L);
    std::string narrow;
    for (char16_t c : path) {
        if (c > 0xFF) narrow += static_cast<char>(c >> 8);
        narrow += static_cast<char>(c & 0xFF);
    }
    std::string full = absolute(narrow);
    if (!isDirectory(parentOf(full))) {
        failed("IPersistFile::Save", 0x80070003UL, {narrow, "\1TRUE"});  // path not found
        return static_cast<long>(0x80070003L);
    }
    bool existed = entryExists(full);
    putFile(narrow, "shortcut");
    reportChange(changeFile, !existed, 0, narrow);
    FakeShortcut shortcut = links[persistToLink[persistFile]].shortcut;
    shortcut.path = full;
    fakeShortcuts[full] = shortcut;
    return 0;
}

void comRelease(Handle object) {
    fakeCalls.push_back("comRelease");
    Handle link = persistToLink.count(object) ? persistToLink[object] : object;
    persistToLink.erase(object);
    if (links.count(link) && --links[link].references == 0) links.erase(link);
}
