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
    fakeAnswerDialogs({"C:\\Chosen\\file.txt"});
    fakeAddDirectory("C:\\Chosen");
    fakeDialogsMoveCurrentDirectory("C:\\Chosen");
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
    {"startIcon&Viewer&C:\\Apps\\&v.exe&Desc&C:\\v.ico&1&C:\\Apps&Group&Sub&-x", nullptr, nullptr, {}},
    {"deskIcon&Viewer&C:\\v.exe&&Desc&none&0&none&none&none&none", nullptr, nullptr, {}},
    {"startUpIcon&Viewer&C:\\v.exe&&Desc&none&0&none&none&none&/s", nullptr, nullptr, {}},
    {"programIcon&Viewer&C:\\v.exe&&Desc&none&0&%WIN%&ExampleSoft&none&none", nullptr, nullptr, {}},
    {"deleteIcon&0&Old.lnk", nullptr, nullptr, {}},
    {"deleteIconDir&0&Group", nullptr, nullptr, {}},
    {"message&Title&Hello&&World", nullptr, nullptr, {}},
    {"confirm&Title&Sure?&save&C:\\work\\reply.txt&confirmed", "C:\\work\\reply.txt", nullptr, {}},
    {"installCheck&kw.ini", nullptr, nullptr, {}},
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
            if (c.errorReply) allowed.insert(c.errorReply);
            if (failedCall == "createFileForWriting") allowed.insert(oldReply);
            // Once opened the file is truncated: a write that fails leaves it empty.
            if (failedCall == "writeFileBytes") allowed.insert("");
            // Inside a batch or a confirm, the failing call may belong to
            // another line: the reply is one of the forms above or untouched.
            if (std::string(c.commandLine).compare(0, 5, "batch") == 0 ||
                std::string(c.commandLine).compare(0, 7, "confirm") == 0) {
                allowed.insert(oldReply);
                allowed.insert("");
            }
            EXPECT_TRUE(allowed.count(failed.reply)) << "reply: " << failed.reply;
        }
    }
    EXPECT_GT(injected, 300);
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
    fakeFail("copyFile");
    runCommandLine(instance, "move&a.txt&new.txt&");
    EXPECT_EQ(fakeFileBytes("C:\\work\\a.txt"), sourceBytes);
    EXPECT_FALSE(fakeFileExists("C:\\work\\new.txt"));
    EXPECT_EQ(fakeCalls, std::vector<std::string>{"copyFile"});

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
// deleted below a relative "na" directory that happens to exist.
TEST(FailureInjection, UnreadableShellFolderTouchesNothing) {
    for (const char* failing : {"regQueryValue", "regOpenKeyForReading"}) {
        SCOPED_TRACE(failing);
        buildWorld();
        fakeAddFile("C:\\work\\na\\Old.lnk", "shortcut");
        fakeAddDirectory("C:\\work\\na\\Group");
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

// What hostcmd wraps around a platform call, in order: COM (a single-threaded
// apartment) and the error mode found at start around the shell; the current
// directory kept across every dialog; no box or dialog at all where the
// window station is not visible; and a restart recorded as a planned one for
// an installation. A wrapping call that fails leaves the rest as it was.
namespace {
const char* const wrappingCalls[] = {"coInitialize", "coUninitialize", "platformStartErrorMode",
                                     "platformQuietErrorMode", "shellExecute", "windowStationVisible",
                                     "messageBox", "getCurrentDirectory", "setCurrentDirectory",
                                     "shBrowseForFolder", "getOpenFileName", "getSaveFileName",
                                     "exitWindowsReboot"};

std::string wrappingSequence() {
    std::string sequence;
    for (const std::string& call : fakeCalls) {
        if (std::find(std::begin(wrappingCalls), std::end(wrappingCalls), call) == std::end(wrappingCalls)) continue;
        sequence += sequence.empty() ? "" : " ";
        if (call == "exitWindowsReboot") {
            char reason[32];
            std::snprintf(reason, sizeof reason, "(0x%08lX)", fakeRebootReason);
            sequence += call + reason;
        } else {
            sequence += call;
        }
    }
    return sequence;
}

// The shell start and its wrappers.
#define SHELL_START "coInitialize platformStartErrorMode shellExecute platformQuietErrorMode coUninitialize"
#define SHELL_START_WITHOUT_COM "coInitialize platformStartErrorMode shellExecute platformQuietErrorMode"
#define BOX "windowStationVisible messageBox"
#define BROWSER "windowStationVisible getCurrentDirectory coInitialize shBrowseForFolder coUninitialize setCurrentDirectory"
#define SHORTCUT "coInitialize coUninitialize"
#define PLANNED_INSTALLATION_RESTART "exitWindowsReboot(0x80040002)"

TEST(PlatformCallOrder, WhatIsWrappedAroundTheShellDialogsBoxesAndRestart) {
    struct Order {
        const char* commandLine;
        std::vector<int> boxes;
        bool stationHidden;
        const char* failing;  // a call made to fail every time, or null
        const char* sequence;
    };
    const Order orders[] = {
        {"open&C:\\work\\a.txt", {}, false, nullptr, SHELL_START},
        {"run&%WIN%notepad.exe&none", {}, false, nullptr, SHELL_START},
        {"print&a.txt", {}, true, nullptr, SHELL_START},  // a service may start programs
        {"explore&C:\\", {}, false, "coInitialize", SHELL_START_WITHOUT_COM},
        {"run&x.exe&none", {}, false, "shellExecute", SHELL_START},
        {"saveME&C:\\work\\reply.txt&none&C:\\work\\reply.txt&x", {}, false, nullptr, SHELL_START},
        {"message&T&Hi", {}, false, nullptr, BOX},
        {"message&T&Hi", {}, true, nullptr, "windowStationVisible"},
        {"message&T&Hi", {}, false, "windowStationVisible", BOX},  // cannot tell: shown as before
        {"copyM&Done&ok&a.txt&new.txt&", {}, true, nullptr, "windowStationVisible"},
        {"confirm&T&Sure?&run&x.exe&none", {}, false, nullptr, BOX " " SHELL_START},
        {"confirm&T&Sure?&run&x.exe&none", {}, true, nullptr, "windowStationVisible"},
        {"pathToCDR&Insert&Insert disk 2&disk2.id&C:\\work\\reply.txt", {4, 2}, false, nullptr, BOX " " BOX},
        {"pathToCDR&Insert&Insert disk 2&disk2.id&C:\\work\\reply.txt", {4, 2}, true, nullptr,
         "windowStationVisible"},
        {"getUserDir&reply.txt&Choose", {}, false, nullptr, BROWSER},
        {"getUserDir&reply.txt&Choose", {}, false, "coInitialize",
         "windowStationVisible getCurrentDirectory coInitialize shBrowseForFolder setCurrentDirectory"},
        // A current directory that cannot be kept could not be restored: no browser, no dialog.
        {"getUserDir&reply.txt&Choose", {}, false, "getCurrentDirectory", "windowStationVisible getCurrentDirectory"},
        {"savePrompt&reply.txt&Text&*.txt&none&C:\\&Save as", {}, false, "getCurrentDirectory",
         "windowStationVisible getCurrentDirectory"},
        {"getUserDir&reply.txt&Choose", {}, true, nullptr, "windowStationVisible"},
        {"savePrompt&reply.txt&Text&*.txt&none&C:\\&Save as", {}, false, nullptr,
         "windowStationVisible getCurrentDirectory getSaveFileName setCurrentDirectory"},
        {"openPrompt&reply.txt&Text&*.txt&none&C:\\&Open", {}, false, "getOpenFileName",
         "windowStationVisible getCurrentDirectory getOpenFileName setCurrentDirectory"},
        {"openPrompt&reply.txt&Text&*.txt&none&C:\\&Open", {}, true, nullptr, "windowStationVisible"},
        // Welcome, path dialog (Yes), the command list (a shortcut), the restart prompt (OK).
        {"install&setup.txt", {1, 6, 1}, false, nullptr,
         BOX " " BOX " " SHORTCUT " " BOX " " PLANNED_INSTALLATION_RESTART},
        // Path dialog No: the browser, then Yes.
        {"install&setup.txt", {1, 7, 6, 2}, false, nullptr, BOX " " BOX " " BROWSER " " BOX " " SHORTCUT " " BOX},
        // Nobody can answer the welcome box: nothing is installed, nothing restarted.
        {"install&setup.txt", {}, true, nullptr, "windowStationVisible"},
    };
    for (const Order& o : orders) {
        SCOPED_TRACE(std::string(o.commandLine) + (o.stationHidden ? ", window station not visible" : "") +
                     (o.failing ? std::string(", failing ") + o.failing : ""));
        buildWorld();
        fakeAnswerBoxes(o.boxes);
        if (o.stationHidden) fakeHideWindowStation();
        if (o.failing) fakeFail(o.failing);
        runCommandLine(instance, o.commandLine);
        EXPECT_EQ(wrappingSequence(), o.sequence);
        EXPECT_EQ(fakeComBalance(), 0);
        EXPECT_TRUE(fakeErrorModeQuiet());
        if (std::string(o.failing ? o.failing : "") != "getCurrentDirectory") {
            EXPECT_EQ(fakeCurrentDirectory(), "C:\\work");
        }
        for (const FakeShellCall& call : fakeShellCalls) {
            EXPECT_EQ(call.comInitialised, std::string(o.failing ? o.failing : "") != "coInitialize");
            EXPECT_FALSE(call.quietErrorMode);
        }
        if (o.stationHidden) {
            EXPECT_TRUE(fakeBoxes.empty());
            EXPECT_TRUE(fakeDialogs.empty());
            EXPECT_FALSE(fakeRebootStarted);
            EXPECT_FALSE(fakeDirectoryExists("C:\\Apps\\ExampleSoft"));
        }
    }
}
}  // namespace
