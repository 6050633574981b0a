// Failure injection: every command is run once cleanly to count its platform
// calls, then once more for each of those calls with exactly that call
// failing. Whatever fails, the command must end on its own, leave no file or
// registry key open, keep COM and the shell allocator balanced, lose no file,
// and leave its reply file either as it was (it could not be opened), or
// holding the clean reply or the reply's failure form. The calls hostcmd
// wraps around the shell, the dialogs, the boxes and the restart follow one
// table of call sequences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/runner.h"
#include "install/journal.h"
#include "platform/memory_platform.h"

namespace {
const Handle instance = 0x400000;
const char* const shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const sourceBytes = "the source's bytes";
const char* const oldReply = "OLD REPLY";

std::string setupFile() {
    std::string text = "Viewer installer\nExampleSoft\nViewer\n2.0\nYES\nYES\nYES\nWelcome\nWelcome.&&Hi\nPath\n"
                       "Install into:\nChoose\nRestart\nRestart now?\nC:\\Apps\\\nExampleSoft\\Viewer\\\n"
                       "save&%APP%done.txt&final\n";
    for (int i = 0; i < 20; ++i) text += "\n";
    text += "copy&C:\\work\\files\\viewer.exe&%APP%viewer.exe\n"
            "startIcon&Viewer&%APP%viewer.exe&&The viewer&none&0&none&ExampleSoft&none&none\n\n";
    return text;
}

// The same world for every run: source files, an old reply, install records,
// the shell folders, a CD drive holding a file, dialog and box answers.
void buildWorld() {
    fakeReset();
    resetRuns();
    fakeAddFile("C:\\work\\a.txt", sourceBytes);
    fakeAddFile("C:\\work\\b.txt", "B's old bytes");
    fakeAddFile("C:\\work\\reply.txt", oldReply);
    fakeAddFile("C:\\work\\files\\viewer.exe", "program");
    fakeAddDirectory("C:\\work\\empty");
    fakeAddDirectory("C:\\Apps");
    fakeAddFile("C:\\Installed\\viewer.exe", "program");
    fakeAddFile("C:\\work\\kw.ini", "check\nExampleSoft\nViewer\n2.0\nviewer.exe\n"
                                    "save&C:\\work\\yes.txt&%APP%\nsave&C:\\work\\no.txt&none\n");
    fakeAddFile("C:\\work\\setup.txt", setupFile());
    fakeAddFile("C:\\work\\b.bat", "save&C:\\work\\reply.txt&from batch\ncopy&a.txt&c.txt&\n"
                                   "regToFile&HKCU&Software\\Acme&Name&C:\\work\\r2.txt\nbatch&b2.bat\n\n");
    fakeAddFile("C:\\work\\b2.bat", "move&c.txt&d.txt&\n");
    fakeSetRegistryValue(rootLocalMachine, "Software\\ExampleSoft\\Viewer\\2.0", "isDir", "C:\\Installed");
    fakeSetRegistryValue(rootCurrentUser, "Software\\Acme", "Name", std::string("Value") + '\0');
    fakeSetRegistryValue(rootCurrentUser, "Software\\Acme\\Old", "x", "y");
    fakeSetRegistryValue(rootCurrentUser, shellFolders, "Desktop", "C:\\Desk");
    fakeSetRegistryValue(rootCurrentUser, shellFolders, "Programs", "C:\\Menu\\Programs");
    fakeSetRegistryValue(rootCurrentUser, shellFolders, "Start Menu", "C:\\Menu");
    fakeSetRegistryValue(rootCurrentUser, shellFolders, "Startup", "C:\\Menu\\Programs\\Startup");
    fakeAddDirectory("C:\\Menu\\Programs\\Startup");
    fakeAddDirectory("C:\\Desk\\Group");
    fakeAddFile("C:\\Desk\\Old.lnk", "shortcut");
    fakeAddFile("E:\\disk1.id", "x");
    fakeSetDriveType('E', driveCdrom);
    // The journal of that installation, for the uninstall.
    FileFacts installed;
    fileFacts("C:\\Installed\\viewer.exe", installed);
    const std::string journal = "Software\\ExampleSoft\\Viewer\\2.0\\hostcmd uninstall journal";
    const JournalItem items[] = {{journaledDirectory, 0, "C:\\Installed", "", false, 0, 0, 0},
                                 {journaledInstallLocation, 0, "C:\\Installed", "", false, 0, 0, 0},
                                 {journaledFile, 0, "C:\\Installed\\viewer.exe", "", true, installed.size, installed.lastWritten, 0},
                                 {journaledKey, rootCurrentUser, "Software\\Acme\\Old", "", false, 0, 0, 0}};
    for (int i = 0; i < 4; ++i)
        fakeSetRegistryValue(rootLocalMachine, journal, std::to_string(i + 1), journalItemText(items[i]) + '\0');
    fakeSetRegistryValue(rootLocalMachine, journal, "items", std::string("4") + '\0');
    fakeAnswerDialogs({"C:\\Chosen\\file.txt"});
    fakeAddDirectory("C:\\Chosen");
    fakeDialogsMoveCurrentDirectory("C:\\Chosen");
    fakeSetShellFolder(folderLocalAppData, "C:\\Local");
    fakeAddDirectory("C:\\Local");
    fakeCalls.clear();
}

struct Case {
    const char* commandLine;
    const char* replyFile;   // the file whose content is checked, or null
    const char* errorReply;  // the failure form, or null when the command has none
    std::vector<int> boxes;  // box answers
};

const Case cases[] = {
    {"save&C:\\work\\reply.txt&new text", "C:\\work\\reply.txt", nullptr, {}},
    {"savePretty&C:\\work\\reply.txt&one&&two%TAB%", "C:\\work\\reply.txt", nullptr, {}},
    {"saveM&Saved&ok&C:\\work\\reply.txt&text", "C:\\work\\reply.txt", nullptr, {}},
    {"savePME&C:\\work\\reply.txt&none&C:\\work\\reply.txt&a&&b", "C:\\work\\reply.txt", nullptr, {}},
    {"C:\\work\\reply.txt&default branch", "C:\\work\\reply.txt", nullptr, {}},
    {"delete&C:\\work\\b.txt", nullptr, nullptr, {}},
    {"deleteM&Gone&ok&C:\\work\\b.txt", nullptr, nullptr, {}},
    {"copy&a.txt&b.txt&", nullptr, nullptr, {}},
    {"copyME&b.txt&none&a.txt&b.txt&TRUE", nullptr, nullptr, {}},
    {"move&a.txt&b.txt&", nullptr, nullptr, {}},
    {"move&a.txt&new.txt&TRUE", nullptr, nullptr, {}},
    {"moveM&Moved&ok&a.txt&C:\\Apps\\a.txt&", nullptr, nullptr, {}},
    {"moveME&notepad.exe&none&a.txt&b.txt&", nullptr, nullptr, {}},
    {"makeDir&C:\\work\\new", nullptr, nullptr, {}},
    {"makeDirM&Made&ok&C:\\work\\new", nullptr, nullptr, {}},
    {"deleteDir&C:\\work\\empty", nullptr, nullptr, {}},
    {"deleteDirME&C:\\&none&C:\\work\\empty", nullptr, nullptr, {}},
    {"open&C:\\work\\a.txt", nullptr, nullptr, {}},
    {"run&%WIN%notepad.exe&%TEMP%x.txt", nullptr, nullptr, {}},
    {"print&%SYS%a.txt", nullptr, nullptr, {}},
    {"explore&%PROG%", nullptr, nullptr, {}},
    {"reg&HKCU&Software\\Acme\\New&Name&text", nullptr, nullptr, {}},
    {"regToFile&HKCU&Software\\Acme&Name&C:\\work\\reply.txt", "C:\\work\\reply.txt", "regToFile=ERROR", {}},
    {"regGetValue&HKLM&Software\\ExampleSoft\\Viewer\\2.0&isDir&C:\\work\\reply.txt", "C:\\work\\reply.txt",
     "regToFile=ERROR", {}},
    {"regCreateKey&HKCU&Software\\Acme\\A\\B", nullptr, nullptr, {}},
    {"regDeleteKey&HKCU&Software\\Acme&Old", nullptr, nullptr, {}},
    {"regDeleteValue&HKCU&Software\\Acme&Name", nullptr, nullptr, {}},
    {"pathToInstall&ExampleSoft&Viewer&2.0&viewer.exe&C:\\work\\reply.txt", "C:\\work\\reply.txt",
     "PathToInstall=ERROR", {}},
    {"pathToCD&disk1.id&C:\\work\\reply.txt", "C:\\work\\reply.txt", "pathToCD=ERROR", {}},
    {"pathToCDM&Found&It is there&disk1.id&C:\\work\\reply.txt", "C:\\work\\reply.txt", "pathToCD=ERROR", {}},
    {"pathToCDR&Insert&Insert disk 2&disk2.id&C:\\work\\reply.txt", "C:\\work\\reply.txt", "pathToCD=ERROR",
     {4, 4, 2}},
    {"cursor&x", nullptr, nullptr, {}},
    {"batch&b.bat", "C:\\work\\reply.txt", nullptr, {}},
    {"install&setup.txt", nullptr, nullptr, {1, 6, 1}},
    {"install&setup.txt", nullptr, nullptr, {1, 7, 6, 2}},
    {"installQuiet&setup.txt", nullptr, nullptr, {}},
    {"installUser&setup.txt", nullptr, nullptr, {1, 6, 1}},
    {"installUserQuiet&setup.txt", nullptr, nullptr, {}},
    {"startIcon&Viewer&C:\\Apps\\&v.exe&Desc&C:\\v.ico&1&C:\\Apps&Group&Sub&-x", nullptr, nullptr, {}},
    {"deskIcon&Viewer&C:\\v.exe&&Desc&none&0&none&none&none&none", nullptr, nullptr, {}},
    {"startUpIcon&Viewer&C:\\v.exe&&Desc&none&0&none&none&none&/s", nullptr, nullptr, {}},
    {"programIcon&Viewer&C:\\v.exe&&Desc&none&0&%WIN%&ExampleSoft&none&none", nullptr, nullptr, {}},
    {"deleteIcon&0&Old.lnk", nullptr, nullptr, {}},
    {"deleteIconDir&0&Group", nullptr, nullptr, {}},
    {"message&Title&Hello&&World", nullptr, nullptr, {}},
    {"confirm&Title&Sure?&save&C:\\work\\reply.txt&confirmed", "C:\\work\\reply.txt", nullptr, {}},
    {"installCheck&kw.ini", nullptr, nullptr, {}},
    {"uninstall&ExampleSoft&Viewer&2.0", nullptr, nullptr, {1, 1}},
    {"uninstallQuiet&ExampleSoft&Viewer&2.0", nullptr, nullptr, {}},
    {"", nullptr, nullptr, {}},
    {"getUserDir&reply.txt&Choose", "C:\\work\\reply.txt", "UserDir=na\\", {}},
    {"savePrompt&reply.txt&Text&*.txt&none&C:\\&Save as", "C:\\work\\reply.txt", "fileSelected=ERROR", {}},
    {"openPrompt&C:\\work\\reply.txt&All&*.*&a.txt&C:\\&Open", "C:\\work\\reply.txt", "fileSelected=ERROR", {}},
};

struct Outcome {
    std::vector<std::string> calls;
    std::string reply;
};

Outcome run(const Case& c, int failCall, int budget) {
    buildWorld();
    fakeAnswerBoxes(c.boxes);
    if (failCall) fakeFailCallNumber(failCall);
    if (budget) fakeFailCallsFrom(budget);
    runCommandLine(instance, c.commandLine);
    Outcome outcome;
    outcome.calls = fakeCalls;
    if (c.replyFile) outcome.reply = fakeFileBytes(c.replyFile);
    return outcome;
}

// A file that held the source's bytes must still hold them somewhere: at its
// old place, or at the copy's destination.
bool sourceBytesSurvive() {
    if (fakeFileBytes("C:\\work\\a.txt") == sourceBytes) return true;
    for (const char* place : {"C:\\work\\b.txt", "C:\\work\\new.txt", "C:\\Apps\\a.txt", "C:\\work\\c.txt",
                              "C:\\work\\d.txt"})
        if (fakeFileExists(place) && fakeFileBytes(place) == sourceBytes) return true;
    return false;
}

TEST(FailureInjection, EveryCallOfEveryCommandMayFail) {
    int injected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("command line: ") + c.commandLine);
        Outcome clean = run(c, 0, 0);
        const int calls = static_cast<int>(clean.calls.size());
        if (c.replyFile) {
            EXPECT_NE(clean.reply, oldReply) << "the clean run wrote no reply";
        }
        // A run with a failing call may take another path, but one much longer
        // than the clean run means it is going round in circles: every call
        // past the budget fails too, which must end any loop.
        const int budget = 3 * calls + 50;
        for (int k = 1; k <= calls; ++k) {
            Outcome failed = run(c, k, budget);
            ++injected;
            const std::string& failedCall = failed.calls.size() >= static_cast<std::size_t>(k) ? failed.calls[k - 1] : "";
            SCOPED_TRACE("failing call " + std::to_string(k) + ": " + failedCall);
            EXPECT_LT(static_cast<int>(failed.calls.size()), budget) << "the command did not end by itself";
            EXPECT_EQ(fakeOpenFiles(), 0);
            EXPECT_EQ(fakeOpenKeys(), 0);
            EXPECT_EQ(fakeComBalance(), 0);
            EXPECT_EQ(fakeLiveComObjects(), 0);
            EXPECT_EQ(fakeLiveAllocations(), 0);
            EXPECT_TRUE(sourceBytesSurvive()) << "the source file was lost";
            EXPECT_TRUE(fakeFileExists("C:\\work\\files\\viewer.exe"));
            EXPECT_TRUE(fakeErrorModeQuiet());
            // A dialog moved the directory: only a failed keep or restore leaves it moved.
            if (failedCall != "getCurrentDirectory" && failedCall != "setCurrentDirectory") {
                EXPECT_EQ(fakeCurrentDirectory(), "C:\\work");
            }
            if (!c.replyFile) continue;
            std::set<std::string> allowed = {clean.reply};
            bool nested = std::string(c.commandLine).compare(0, 5, "batch") == 0 ||
                          std::string(c.commandLine).compare(0, 7, "confirm") == 0;
            if (c.errorReply) {
                allowed.insert(c.errorReply);
                // A reply is written in place: once opened the file is
                // truncated, and a write that fails leaves it empty.
                if (failedCall == "createFileForWriting") allowed.insert(oldReply);
                if (failedCall == "writeFileBytes") allowed.insert("");
            } else {
                // A saved text is put in place whole, or the old one stays.
                allowed.insert(oldReply);
            }
            // Inside a batch or a confirm, the failing call may belong to
            // another line: the reply is one of the forms above or untouched.
            if (nested) allowed.insert("");
            EXPECT_TRUE(allowed.count(failed.reply)) << "reply: " << failed.reply;
        }
    }
    EXPECT_GT(injected, 300);
}

// An installation for every user asked for by a token that may not make it:
// whichever call fails, the mutex of the elevated start is let go, COM stays
// balanced, and the exit code is one a deployment tool knows.
TEST(FailureInjection, ElevatedStartMayFailAnywhere) {
    const FakeToken limited{3, false, false};
    buildWorld();
    fakeSetToken(limited);
    runCommandLine(instance, "installQuiet&setup.txt");
    ASSERT_EQ(fakeElevatedStarts.size(), 1u);
    const int calls = static_cast<int>(fakeCalls.size());
    for (int k = 1; k <= calls; ++k) {
        buildWorld();
        fakeSetToken(limited);
        fakeFailCallNumber(k);
        runCommandLine(instance, "installQuiet&setup.txt");
        SCOPED_TRACE("failing call " + std::to_string(k) + ": " + fakeCalls[k - 1]);
        EXPECT_TRUE(fakeHeldMutexes().empty());
        EXPECT_EQ(fakeComBalance(), 0);
        EXPECT_EQ(fakeOpenFiles(), 0);
        EXPECT_LE(fakeElevatedStarts.size(), 1u);
        EXPECT_TRUE(exitCode() == 0 || exitCode() == 1603 || exitCode() == 1619 || exitCode() == 3010) << exitCode();
    }
}

// A lookup that fails answers with the failure form, never with a wrong value.
TEST(FailureInjection, FailingLookupsGiveTheErrorForm) {
    struct Lookup {
        const char* commandLine;
        const char* call;
        const char* reply;
    };
    const Lookup lookups[] = {
        {"regToFile&HKCU&Software\\Acme&Name&C:\\work\\reply.txt", "regQueryValue", "regToFile=ERROR"},
        {"regToFile&HKCU&Software\\Acme&Name&C:\\work\\reply.txt", "regOpenKeyForReading", "regToFile=ERROR"},
        {"pathToInstall&ExampleSoft&Viewer&2.0&viewer.exe&C:\\work\\reply.txt", "regOpenKeyForReading", "PathToInstall=ERROR"},
        {"pathToInstall&ExampleSoft&Viewer&2.0&viewer.exe&C:\\work\\reply.txt", "findFirstFile", "PathToInstall=ERROR"},
        {"pathToCD&disk1.id&C:\\work\\reply.txt", "getDriveType", "pathToCD=ERROR"},
        {"pathToCD&disk1.id&C:\\work\\reply.txt", "findFirstFile", "pathToCD=ERROR"},
        {"pathToCDR&I&T&disk1.id&C:\\work\\reply.txt", "findFirstFile", "pathToCD=ERROR"},
        {"getUserDir&C:\\work\\reply.txt&t", "shGetMalloc", "UserDir=na\\"},
        {"getUserDir&C:\\work\\reply.txt&t", "shBrowseForFolder", "UserDir=na\\"},
        {"savePrompt&C:\\work\\reply.txt&T&*.txt&none&C:\\&S", "getSaveFileName", "fileSelected=ERROR"},
        {"openPrompt&C:\\work\\reply.txt&T&*.txt&none&C:\\&S", "getOpenFileName", "fileSelected=ERROR"},
    };
    for (const Lookup& l : lookups) {
        SCOPED_TRACE(std::string(l.commandLine) + " with " + l.call + " failing");
        buildWorld();
        fakeAddDirectory("C:\\Chosen");
        fakeAnswerDialogs({"C:\\Chosen"});
        fakeFail(l.call);
        runCommandLine(instance, l.commandLine);
        EXPECT_EQ(fakeFileBytes("C:\\work\\reply.txt"), l.reply);
    }
}

// A move whose copy fails keeps its source; one whose delete fails keeps both.
TEST(FailureInjection, MoveDeletesItsSourceOnlyAfterAGoodCopy) {
    buildWorld();
    fakeFail("copyToNewFile");
    runCommandLine(instance, "move&a.txt&new.txt&");
    EXPECT_EQ(fakeFileBytes("C:\\work\\a.txt"), sourceBytes);
    EXPECT_FALSE(fakeFileExists("C:\\work\\new.txt"));
    EXPECT_EQ(std::count(fakeCalls.begin(), fakeCalls.end(), "deleteFile"), 0);

    buildWorld();
    fakeFail("deleteFile");
    runCommandLine(instance, "move&a.txt&new.txt&");
    EXPECT_EQ(fakeFileBytes("C:\\work\\a.txt"), sourceBytes);
    EXPECT_EQ(fakeFileBytes("C:\\work\\new.txt"), sourceBytes);
}

// A reply file that cannot be opened keeps its old content.
TEST(FailureInjection, UnopenableReplyKeepsTheOldOne) {
    buildWorld();
    fakeFail("createFileForWriting");
    runCommandLine(instance, "pathToCD&disk1.id&C:\\work\\reply.txt");
    EXPECT_EQ(fakeFileBytes("C:\\work\\reply.txt"), oldReply);
    buildWorld();
    fakeSetReadOnly("C:\\work\\reply.txt");
    runCommandLine(instance, "regToFile&HKCU&Software\\Acme&Name&C:\\work\\reply.txt");
    EXPECT_EQ(fakeFileBytes("C:\\work\\reply.txt"), oldReply);
}
// A shell folder that cannot be read is no folder: nothing is made or
// deleted below a relative "na" directory that happens to exist. The
// registry is read where shell32 cannot be bound.
TEST(FailureInjection, UnreadableShellFolderTouchesNothing) {
    for (const char* failing : {"regQueryValue", "regOpenKeyForReading", "shGetFolderPath"}) {
        SCOPED_TRACE(failing);
        buildWorld();
        fakeAddFile("C:\\work\\na\\Old.lnk", "shortcut");
        fakeAddDirectory("C:\\work\\na\\Group");
        if (std::string(failing) != "shGetFolderPath") fakeRemoveFunction("SHGetFolderPathW");
        fakeFail(failing);
        runCommandLine(instance, "deleteIcon&0&Old.lnk");
        runCommandLine(instance, "deleteIconDir&0&Group");
        runCommandLine(instance, "deskIcon&Viewer&C:\\v.exe&&Desc&none&0&none&Sub&none&none");
        EXPECT_TRUE(fakeFileExists("C:\\work\\na\\Old.lnk"));
        EXPECT_TRUE(fakeDirectoryExists("C:\\work\\na\\Group"));
        EXPECT_FALSE(fakeDirectoryExists("C:\\work\\na\\Sub"));
        EXPECT_TRUE(fakeShortcuts.empty());
    }
}
// A batch file that rewrites or deletes itself while it runs: the reader has
// its current block and then finds the end; an open file cannot be deleted.
TEST(FailureInjection, BatchThatRewritesOrDeletesItselfEnds) {
    buildWorld();
    fakeAddFile("C:\\work\\self.bat", "save&self.bat&\nsave&after.txt&x\n");
    runCommandLine(instance, "batch&self.bat");
    EXPECT_EQ(fakeOpenFiles(), 0);
    EXPECT_EQ(fakeFileBytes("C:\\work\\self.bat"), "");
    EXPECT_EQ(fakeFileBytes("C:\\work\\after.txt"), "x");  // it was in the block already read

    buildWorld();
    fakeAddFile("C:\\work\\self.bat", "delete&self.bat\nsave&after.txt&y\n");
    runCommandLine(instance, "batch&self.bat");
    EXPECT_EQ(fakeOpenFiles(), 0);
    EXPECT_TRUE(fakeFileExists("C:\\work\\self.bat"));
    EXPECT_EQ(fakeFileBytes("C:\\work\\after.txt"), "y");
}
}  // namespace

// What hostcmd wraps around a platform call, and what it asks of Windows, in
// order: COM (a single-threaded apartment) around the shell, which starts
// without async work or boxes of its own; the error mode, kept quiet for
// hostcmd's own thread from Windows 7 on and switched for the whole process
// before; the current directory kept across every dialog; no box or dialog
// where the window station is not visible or cannot be asked about, nor in
// session 0 from Vista on; shell folders made when missing, the registry
// record of them read only without shell32; a restart recorded as a planned
// one for an installation, through the call that restarts for any caller;
// registry keys opened with the rights of their one call; device names never
// opened; a shortcut made in a multithreaded apartment too. A wrapping call
// that fails leaves the rest as it was.
namespace {
const char* const wrappingCalls =
    "coInitialize coUninitialize quietThreadErrorMode platformStartErrorMode platformQuietErrorMode shellExecute "
    "windowStationVisible processSession messageBox getCurrentDirectory setCurrentDirectory shBrowseForFolder "
    "getOpenFileName getSaveFileName shGetFolderPath initiateSystemReboot exitWindowsReboot";

std::string keyAccessNames(unsigned access) {
    std::string names;
    const char* const all[] = {"KEY_QUERY_VALUE", "KEY_SET_VALUE", "KEY_CREATE_SUB_KEY", "KEY_ENUMERATE_SUB_KEYS"};
    for (unsigned bit = 0; bit < 4; ++bit)
        if (access & (1u << bit)) names += (names.empty() ? "" : " | ") + std::string(all[bit]);
    return names;
}

// The calls named in `shown`, in order; the shell's start with its mask, a
// shell folder with its CSIDL and flags, a key with the access it asked for.
std::string wrappingSequence(const char* shown) {
    std::string names = std::string(" ") + shown + " ";
    std::string sequence;
    std::size_t shell = 0, folder = 0, key = 0;
    for (const std::string& call : fakeCalls) {
        std::string shownCall = call;
        char argument[32] = "";
        if (call == "shellExecute" && shell < fakeShellCalls.size())
            std::snprintf(argument, sizeof argument, "(0x%04X)", fakeShellCalls[shell++].mask);
        if (call == "shGetFolderPath" && folder < fakeShellFolderRequests.size())
            std::snprintf(argument, sizeof argument, "(0x%04X)", fakeShellFolderRequests[folder++]);
        if (call == "regCreateKey" && key < fakeKeyAccess.size()) shownCall += "(" + keyAccessNames(fakeKeyAccess[key++]) + ")";
        if (names.find(" " + call + " ") == std::string::npos) continue;
        // Opens of keys with the same access in a row are shown once: an
        // installation's journal opens its key for every item it stores.
        std::string shownWhole = shownCall + argument;
        if (call == "regCreateKey" && sequence.size() >= shownWhole.size() &&
            sequence.compare(sequence.size() - shownWhole.size(), shownWhole.size(), shownWhole) == 0)
            continue;
        sequence += (sequence.empty() ? "" : " ") + shownWhole;
    }
    return sequence;
}

// The world's changes a row names, each a word: "xp", "vista", "7" (the
// Windows), "session0", "hidden" (a window station nobody sees),
// "missing:<Windows call>", "mta" (the thread is in the multithreaded
// apartment), "elsewhere" (not the user at the console).
void changeWorld(const std::string& words) {
    std::size_t from = 0;
    while (from < words.size()) {
        std::size_t end = words.find(' ', from);
        std::string word = words.substr(from, end == std::string::npos ? std::string::npos : end - from);
        from = end == std::string::npos ? words.size() : end + 1;
        if (word == "xp") fakeSetWindowsVersion(windowsXp | 2600);
        else if (word == "vista") fakeSetWindowsVersion(windowsVista | 6002);
        else if (word == "7") fakeSetWindowsVersion(windows7 | 7601);
        else if (word == "session0") fakeSetSession(0);
        else if (word == "hidden") fakeHideWindowStation();
        else if (word.compare(0, 8, "missing:") == 0) fakeRemoveFunction(word.substr(8));
        else if (word == "mta") fakeComMultithreaded();
        else if (word == "elsewhere") fakeSetConsoleUser(false);
        else ADD_FAILURE() << "no such change: " << word;
    }
}

// The shell start and its wrappers: from Windows 7 hostcmd's own thread is
// quiet and the process mode is never switched; before, the process mode is.
#define SHELL_START "coInitialize quietThreadErrorMode shellExecute(0x0500) coUninitialize"
#define SHELL_START_SWITCHING \
    "coInitialize quietThreadErrorMode platformStartErrorMode shellExecute(0x0500) platformQuietErrorMode coUninitialize"
#define SHELL_START_WITHOUT_COM "coInitialize quietThreadErrorMode shellExecute(0x0500)"
#define BOX "windowStationVisible processSession messageBox"
#define BOX_XP "windowStationVisible messageBox"
#define NOBODY_IN_SESSION_0 "windowStationVisible processSession"
#define BROWSER \
    "windowStationVisible processSession getCurrentDirectory coInitialize shBrowseForFolder coUninitialize " \
    "setCurrentDirectory"
#define SHORTCUT "shGetFolderPath(0x800B) coInitialize coUninitialize"
#define RESTART "initiateSystemReboot"
#define DESK_ICON "deskIcon&Viewer&C:\\v.exe&&Desc&none&0&none&none&none&none"
#define FILE_CALLS "openFileForReading createFileForWriting createNewFile copyToNewFile"

TEST(PlatformCallOrder, WhatIsWrappedAroundTheShellDialogsBoxesAndRestart) {
    struct Order {
        const char* commandLine;
        std::vector<int> boxes;
        const char* world;    // changeWorld's words, or ""
        const char* failing;  // a call made to fail every time, or null
        const char* sequence;
        const char* shown = wrappingCalls;
        bool restarted = false;
    };
    const Order orders[] = {
        {"open&C:\\work\\a.txt", {}, "", nullptr, SHELL_START},
        {"run&%WIN%notepad.exe&none", {}, "", nullptr, SHELL_START},
        {"print&a.txt", {}, "hidden", nullptr, SHELL_START},  // a service may start programs
        {"explore&C:\\", {}, "", "coInitialize", SHELL_START_WITHOUT_COM},
        {"run&x.exe&none", {}, "", "shellExecute", "coInitialize quietThreadErrorMode shellExecute coUninitialize"},
        {"saveME&C:\\work\\reply.txt&none&C:\\work\\reply.txt&x", {}, "", nullptr, SHELL_START},
        // The thread error mode from Windows 7; the process mode before, or
        // where the call cannot be had.
        {"open&C:\\work\\a.txt", {}, "7", nullptr, SHELL_START},
        {"open&C:\\work\\a.txt", {}, "vista", nullptr, SHELL_START_SWITCHING},
        {"open&C:\\work\\a.txt", {}, "xp", nullptr, SHELL_START_SWITCHING},
        {"open&C:\\work\\a.txt", {}, "missing:SetThreadErrorMode", nullptr, SHELL_START_SWITCHING},
        {"open&C:\\work\\a.txt", {}, "", "quietThreadErrorMode", SHELL_START_SWITCHING},
        {"message&T&Hi", {}, "", nullptr, BOX},
        {"message&T&Hi", {}, "hidden", nullptr, "windowStationVisible"},
        {"message&T&Hi", {}, "", "windowStationVisible", "windowStationVisible"},  // cannot tell: nobody sees it
        // Session 0 is the services' from Vista on; on XP it is the console's.
        {"message&T&Hi", {}, "session0", nullptr, NOBODY_IN_SESSION_0},
        {"message&T&Hi", {}, "vista session0", nullptr, NOBODY_IN_SESSION_0},
        {"message&T&Hi", {}, "xp session0", nullptr, BOX_XP},
        {"message&T&Hi", {}, "", "processSession", NOBODY_IN_SESSION_0},
        {"copyM&Done&ok&a.txt&new.txt&", {}, "hidden", nullptr, "windowStationVisible"},
        {"confirm&T&Sure?&run&x.exe&none", {}, "", nullptr, BOX " " SHELL_START},
        {"confirm&T&Sure?&run&x.exe&none", {}, "hidden", nullptr, "windowStationVisible"},
        {"confirm&T&Sure?&run&x.exe&none", {}, "session0", nullptr, NOBODY_IN_SESSION_0},
        {"pathToCDR&Insert&Insert disk 2&disk2.id&C:\\work\\reply.txt", {4, 2}, "", nullptr, BOX " " BOX},
        {"pathToCDR&Insert&Insert disk 2&disk2.id&C:\\work\\reply.txt", {4, 2}, "hidden", nullptr,
         "windowStationVisible"},
        {"getUserDir&reply.txt&Choose", {}, "", nullptr, BROWSER},
        {"getUserDir&reply.txt&Choose", {}, "", "coInitialize",
         "windowStationVisible processSession getCurrentDirectory coInitialize shBrowseForFolder setCurrentDirectory"},
        // A current directory that cannot be kept could not be restored: no browser, no dialog.
        {"getUserDir&reply.txt&Choose", {}, "", "getCurrentDirectory",
         "windowStationVisible processSession getCurrentDirectory"},
        {"savePrompt&reply.txt&Text&*.txt&none&C:\\&Save as", {}, "", "getCurrentDirectory",
         "windowStationVisible processSession getCurrentDirectory"},
        {"getUserDir&reply.txt&Choose", {}, "hidden", nullptr, "windowStationVisible"},
        {"getUserDir&reply.txt&Choose", {}, "session0", nullptr, NOBODY_IN_SESSION_0},
        {"savePrompt&reply.txt&Text&*.txt&none&C:\\&Save as", {}, "", nullptr,
         "windowStationVisible processSession getCurrentDirectory getSaveFileName setCurrentDirectory"},
        {"openPrompt&reply.txt&Text&*.txt&none&C:\\&Open", {}, "", "getOpenFileName",
         "windowStationVisible processSession getCurrentDirectory getOpenFileName setCurrentDirectory"},
        {"openPrompt&reply.txt&Text&*.txt&none&C:\\&Open", {}, "hidden", nullptr, "windowStationVisible"},
        // Welcome, path dialog (Yes), the command list (a shortcut), the restart prompt (OK).
        {"install&setup.txt", {1, 6, 1}, "", nullptr, BOX " " BOX " " SHORTCUT " " BOX " " RESTART,
         wrappingCalls, true},
        // Path dialog No: the browser, then Yes.
        {"install&setup.txt", {1, 7, 6, 2}, "", nullptr, BOX " " BOX " " BROWSER " " BOX " " SHORTCUT " " BOX},
        // Nobody can answer the welcome box: nothing is installed, nothing restarted.
        {"install&setup.txt", {}, "hidden", nullptr, "windowStationVisible"},
        {"install&setup.txt", {}, "session0", nullptr, NOBODY_IN_SESSION_0},
        // The restart for any caller with the privilege, ExitWindowsEx only
        // where that call is missing, which restarts nothing for a caller
        // that is not the user at the console.
        {"install&setup.txt", {1, 6, 1}, "elsewhere", nullptr, BOX " " BOX " " SHORTCUT " " BOX " " RESTART,
         wrappingCalls, true},
        {"install&setup.txt", {1, 6, 1}, "missing:InitiateSystemShutdownExA", nullptr,
         BOX " " BOX " " SHORTCUT " " BOX " " RESTART " exitWindowsReboot", wrappingCalls, true},
        {"install&setup.txt", {1, 6, 1}, "elsewhere missing:InitiateSystemShutdownExA", nullptr,
         BOX " " BOX " " SHORTCUT " " BOX " " RESTART " exitWindowsReboot"},
        // Shell folders: made when the user has none yet; the Shell Folders
        // key only where shell32 cannot be bound, and a shell that fails
        // is not second-guessed by it.
        {DESK_ICON, {}, "", nullptr, "shellFolderCallBound shGetFolderPath(0x8010)",
         "shellFolderCallBound shGetFolderPath regOpenKeyForReading"},
        {DESK_ICON, {}, "missing:SHGetFolderPathW", nullptr, "shellFolderCallBound regOpenKeyForReading",
         "shellFolderCallBound shGetFolderPath regOpenKeyForReading"},
        {DESK_ICON, {}, "", "shGetFolderPath", "shellFolderCallBound shGetFolderPath",
         "shellFolderCallBound shGetFolderPath regOpenKeyForReading"},
        // RPC_E_CHANGED_MODE: the shortcut is made, and COM not undone.
        {DESK_ICON, {}, "mta", nullptr, "coInitialize createShellLink persistFileSave",
         "coInitialize createShellLink persistFileSave coUninitialize"},
        {DESK_ICON, {}, "", "coInitialize", "coInitialize", "coInitialize createShellLink persistFileSave coUninitialize"},
        // The rights each registry call asks for: never full access.
        {"reg&HKCU&Software\\Acme&Name&v", {}, "", nullptr, "regCreateKey(KEY_SET_VALUE)", "regCreateKey"},
        {"regDeleteValue&HKCU&Software\\Acme&Name", {}, "", nullptr, "regCreateKey(KEY_SET_VALUE)", "regCreateKey"},
        {"regDeleteKey&HKCU&Software\\Acme&Old", {}, "", nullptr,
         "regCreateKey(KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS)", "regCreateKey"},
        {"regCreateKey&HKCU&Software\\Acme\\New", {}, "", nullptr, "regCreateKey(KEY_QUERY_VALUE)", "regCreateKey"},
        {"install&setup.txt", {1, 6, 1}, "", nullptr, "regCreateKey(KEY_SET_VALUE)", "regCreateKey", true},
        // Device names, read or written, are never opened; long names of files are.
        {"batch&\\\\.\\pipe\\x", {}, "", nullptr, "", FILE_CALLS},
        {"installCheck&//./PhysicalDrive0", {}, "", nullptr, "", FILE_CALLS},
        {"install&\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition1\\setup.txt", {}, "", nullptr, "", FILE_CALLS},
        {"save&\\\\.\\PhysicalDrive0&x", {}, "", nullptr, "", FILE_CALLS},
        {"regToFile&HKCU&Software\\Acme&Name&\\\\.\\pipe\\reply", {}, "", nullptr, "", FILE_CALLS},
        {"copy&\\\\.\\PhysicalDrive0&C:\\work\\disk.bin&", {}, "", nullptr, "", FILE_CALLS},
        {"copy&a.txt&\\\\server\\pipe\\x&", {}, "", nullptr, "", FILE_CALLS},
        {"batch&\\\\?\\C:\\work\\b2.bat", {}, "", nullptr, "openFileForReading copyToNewFile", FILE_CALLS},
        {"regToFile&HKCU&Software\\Acme&Name&\\\\?\\C:\\work\\reply.txt", {}, "", nullptr, "createFileForWriting",
         FILE_CALLS},
    };
    for (const Order& o : orders) {
        SCOPED_TRACE(std::string(o.commandLine) + (*o.world ? std::string(", ") + o.world : "") +
                     (o.failing ? std::string(", failing ") + o.failing : ""));
        buildWorld();
        fakeAnswerBoxes(o.boxes);
        changeWorld(o.world);
        if (o.failing) fakeFail(o.failing);
        runCommandLine(instance, o.commandLine);
        EXPECT_EQ(wrappingSequence(o.shown), o.sequence);
        EXPECT_EQ(fakeComBalance(), 0);
        EXPECT_TRUE(fakeErrorModeQuiet());
        EXPECT_EQ(fakeOpenFiles(), 0);
        if (std::string(o.failing ? o.failing : "") != "getCurrentDirectory") {
            EXPECT_EQ(fakeCurrentDirectory(), "C:\\work");
        }
        bool switching = std::string(o.sequence).find("platformStartErrorMode") != std::string::npos;
        for (const FakeShellCall& call : fakeShellCalls) {
            EXPECT_EQ(call.comInitialised, std::string(o.failing ? o.failing : "") != "coInitialize");
            EXPECT_FALSE(call.quietErrorMode);  // what the started program inherits
            // hostcmd's own thread is quiet wherever the process mode is not switched.
            if (!switching) EXPECT_TRUE(call.quietThread);
            else if (!o.failing) EXPECT_FALSE(call.quietThread);
        }
        EXPECT_EQ(fakeRebootStarted, o.restarted);
        if (fakeRebootStarted) EXPECT_EQ(fakeRebootReason, 0x80040002UL);  // planned, application installation
        if (std::string(o.sequence) == "windowStationVisible" || std::string(o.sequence) == NOBODY_IN_SESSION_0) {
            EXPECT_TRUE(fakeBoxes.empty());
            EXPECT_TRUE(fakeDialogs.empty());
            EXPECT_FALSE(fakeDirectoryExists("C:\\Apps\\ExampleSoft"));
        }
        if (std::string(o.world) == "mta") EXPECT_EQ(fakeShortcuts.size(), 1u);
    }
}
}  // namespace
