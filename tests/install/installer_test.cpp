// The installer on the in-memory platform: its dialogs and their answers, the
// path dialog text, the picker loop, the directory chain, the record and its
// read-back, the command list, the final command and the restart.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/runner.h"
#include "install/install.h"
#include "install/journal.h"
#include "platform/memory_platform.h"

namespace {
const char* const setupFile = "C:\\work\\setup.txt";
const char* const installKey = "Software\\ExampleSoft\\Viewer\\2.0";
const std::string choices =
    "Select Yes to install.\r\nSelect No to specify a different installation path.\r\n"
    "Select Cancel to abort installation.\r\n\r\n";

// An installer file: the seventeen setting lines, twenty skipped lines, the
// command list and the empty line that ends it.
struct InstallerFile {
    std::vector<std::string> line = {
        "",  // lines are numbered from 1
        "Viewer 2.0 installer", "ExampleSoft", "Viewer", "2.0", "YES", "YES", "NO",
        "Welcome caption", "Welcome.&&This installs the viewer.", "Path caption",
        "Install into:", "Choose the folder", "Restart caption", "Restart now?&&Really.",
        "C:\\Apps\\", "Vendor\\Product\\", "NO"};
    std::vector<std::string> skipped = std::vector<std::string>(20);
    std::vector<std::string> commands = {"save&C:\\work\\copied.txt&one"};
    bool endWithEmptyLine = true;

    InstallerFile& set(int n, const std::string& text) {
        line[n] = text;
        return *this;
    }
    InstallerFile& switches(const char* welcome, const char* path, const char* restart) {
        return set(5, welcome).set(6, path).set(7, restart);
    }
    std::string text() const {
        std::string all;
        for (int n = 1; n <= 17; ++n) all += line[n] + "\r\n";
        for (auto& s : skipped) all += s + "\r\n";
        for (auto& c : commands) all += c + "\r\n";
        if (endWithEmptyLine) all += "\r\n";
        return all;
    }
};

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        fakeReset();
        resetRuns();
        fakeAddDirectory("C:\\Apps");
        fakeAddDirectory("D:\\Apps");
        fakeAddDirectory("D:\\Other");
    }
    void TearDown() override {
        EXPECT_EQ(fakeOpenFiles(), 0);
        EXPECT_EQ(fakeOpenKeys(), 0);
    }
    void run(const InstallerFile& file) {
        fakeAddFile(setupFile, file.text());
        runInstaller(0x400000, setupFile);
    }
    static std::string recorded() {
        std::string bytes;
        if (!fakeRegistryValue(rootLocalMachine, installKey, "isDir", bytes)) return "(none)";
        return bytes.substr(0, bytes.find('\0'));
    }
    static bool ranCommandList() { return fakeFileExists("C:\\work\\copied.txt"); }
    static int browses() { return static_cast<int>(fakeDialogs.size()); }
    static std::string pathText(const std::string& offered, const std::string& subdirectory = "Vendor\\Product\\") {
        return "Install into:\r\n\r\n\r\n" + offered + subdirectory + "\r\n\r\n\r\n" + choices;
    }
};

TEST_F(Installer, AllSwitchesOffInstallsWithoutAnyDialog) {
    InstallerFile file;
    file.switches("NO", "NO", "NO");
    file.commands = {"save&C:\\work\\copied.txt&one", "save&C:\\work\\second.txt&two"};
    run(file);
    EXPECT_TRUE(fakeBoxes.empty());
    EXPECT_TRUE(fakeDirectoryExists("C:\\Apps\\Vendor\\Product"));
    EXPECT_EQ(recorded(), "C:\\Apps\\Vendor\\Product");
    EXPECT_EQ(fakeFileBytes("C:\\work\\copied.txt"), "one");
    EXPECT_EQ(fakeFileBytes("C:\\work\\second.txt"), "two");
}

TEST_F(Installer, WelcomeMessageGoesOnOnlyOnOk) {
    struct Case {
        int answer;
        bool installs;
    } cases[] = {{1, true}, {2, false}, {0, false}, {-1, false}, {6, false}, {7, false}};
    for (const Case& c : cases) {
        SetUp();
        fakeAnswerBoxes({c.answer});
        run(InstallerFile().switches("YES", "NO", "NO"));
        ASSERT_EQ(fakeBoxes.size(), 1u) << c.answer;
        EXPECT_EQ(fakeBoxes[0].text, "Welcome.\r\nThis installs the viewer.");
        EXPECT_EQ(fakeBoxes[0].caption, "Welcome caption");
        EXPECT_EQ(fakeBoxes[0].style, 0x1001u);
        EXPECT_EQ(fakeBoxes[0].owner, 0x400000u);
        EXPECT_EQ(recorded() != "(none)", c.installs) << c.answer;
        EXPECT_EQ(ranCommandList(), c.installs) << c.answer;
        if (!c.installs) {
            // Cancelling leaves no trace: no directory, no key.
            EXPECT_FALSE(fakeDirectoryExists("C:\\Apps\\Vendor")) << c.answer;
            EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\ExampleSoft")) << c.answer;
        }
    }
}

TEST_F(Installer, WelcomeBoxThatCannotBeShownStops) {
    fakeFail("messageBox");
    run(InstallerFile().switches("", "NO", "NO"));  // an empty switch is on
    EXPECT_EQ(recorded(), "(none)");
    EXPECT_FALSE(fakeDirectoryExists("C:\\Apps\\Vendor"));
}

TEST_F(Installer, PathDialogTextByteForByte) {
    fakeAnswerBoxes({6});
    InstallerFile file;
    file.switches("NO", "YES", "NO").set(11, "Lead&&line%TAB%two").set(16, "A b\\C\\rest");
    run(file);
    ASSERT_EQ(fakeBoxes.size(), 1u);
    EXPECT_EQ(fakeBoxes[0].text,
              "Lead\r\nline\ttwo\r\n\r\n\r\nC:\\Apps\\A b\\C\\rest\r\n\r\n\r\n"
              "Select Yes to install.\r\nSelect No to specify a different installation path.\r\n"
              "Select Cancel to abort installation.\r\n\r\n");
    EXPECT_EQ(fakeBoxes[0].caption, "Path caption");
    EXPECT_EQ(fakeBoxes[0].style, 0x1003u);
}

TEST_F(Installer, PathDialogFirstAnswer) {
    // Only Yes installs; No opens the picker; Cancel, a failed box (0, or -1
    // under Wine without a display) and any other answer end the installer
    // with nothing changed.
    struct Case {
        int answer;
        bool installs;
        int browses;
    } cases[] = {{6, true, 0}, {2, false, 0}, {0, false, 0}, {-1, false, 0}, {1, false, 0}, {3, false, 0}, {7, false, 1}};
    for (const Case& c : cases) {
        SetUp();
        fakeAnswerBoxes({c.answer, 2});  // a picker round is then cancelled
        run(InstallerFile().switches("NO", "YES", "NO"));
        EXPECT_EQ(recorded() == "C:\\Apps\\Vendor\\Product", c.installs) << c.answer;
        EXPECT_EQ(fakeDirectoryExists("C:\\Apps\\Vendor"), c.installs) << c.answer;
        EXPECT_EQ(browses(), c.browses) << c.answer;
        EXPECT_EQ(ranCommandList(), c.installs) << c.answer;
    }
}

TEST_F(Installer, PickerLoop) {
    struct Case {
        const char* name;
        std::vector<int> boxes;            // path dialog answers, first one included
        std::vector<std::string> picked;   // "" cancels the picker
        std::vector<std::string> offered;  // the directory each path dialog offered
        const char* installedUnder;        // nullptr: the installer ended
    } cases[] = {
        {"no, pick, yes", {7, 6}, {"D:\\Apps"}, {"C:\\Apps\\", "D:\\Apps\\"}, "D:\\Apps\\"},
        {"no, pick a root, yes", {7, 6}, {"D:\\"}, {"C:\\Apps\\", "D:\\"}, "D:\\"},
        {"no, pick, no, cancel picker, yes",
         {7, 7, 6},
         {"D:\\Apps", ""},
         {"C:\\Apps\\", "D:\\Apps\\", "C:\\Apps\\"},
         "C:\\Apps\\"},
        {"no, pick, no, pick another, yes",
         {7, 7, 6},
         {"D:\\Apps", "D:\\Other\\"},
         {"C:\\Apps\\", "D:\\Apps\\", "D:\\Other\\"},
         "D:\\Other\\"},
        {"no, cancel picker, yes", {7, 6}, {""}, {"C:\\Apps\\", "C:\\Apps\\"}, "C:\\Apps\\"},
        {"no, cancel picker, no, pick, yes",
         {7, 7, 6},
         {"", "D:\\Apps"},
         {"C:\\Apps\\", "C:\\Apps\\", "D:\\Apps\\"},
         "D:\\Apps\\"},
        {"no, pick, cancel", {7, 2}, {"D:\\Apps"}, {"C:\\Apps\\", "D:\\Apps\\"}, nullptr},
        {"no, cancel picker, cancel", {7, 2}, {""}, {"C:\\Apps\\", "C:\\Apps\\"}, nullptr},
        // A box that fails inside the loop ends it instead of reopening the picker.
        {"no, pick, box fails", {7, 0}, {"D:\\Apps"}, {"C:\\Apps\\", "D:\\Apps\\"}, nullptr},
        {"no, pick, box fails under Wine", {7, -1}, {"D:\\Apps"}, {"C:\\Apps\\", "D:\\Apps\\"}, nullptr},
        {"no, cancel picker, box fails", {7, -1}, {""}, {"C:\\Apps\\", "C:\\Apps\\"}, nullptr},
        {"no, pick, ok is no yes", {7, 1}, {"D:\\Apps"}, {"C:\\Apps\\", "D:\\Apps\\"}, nullptr},
    };
    for (const Case& c : cases) {
        SetUp();
        std::vector<int> boxes = c.boxes;
        boxes.push_back(2);  // a loop that went on too long ends here, not never
        fakeAnswerBoxes(boxes);
        fakeAnswerDialogs(c.picked);
        run(InstallerFile().switches("NO", "YES", "NO"));
        ASSERT_EQ(fakeBoxes.size(), c.offered.size()) << c.name;
        for (std::size_t i = 0; i < c.offered.size(); ++i)
            EXPECT_EQ(fakeBoxes[i].text, pathText(c.offered[i])) << c.name << " box " << i;
        ASSERT_EQ(browses(), static_cast<int>(c.picked.size())) << c.name;
        for (auto& dialog : fakeDialogs) {
            EXPECT_EQ(dialog.kind, "browse");
            EXPECT_EQ(dialog.title, "Choose the folder");
        }
        if (c.installedUnder) {
            EXPECT_EQ(recorded(), std::string(c.installedUnder) + "Vendor\\Product") << c.name;
            EXPECT_TRUE(ranCommandList()) << c.name;
        } else {
            EXPECT_EQ(recorded(), "(none)") << c.name;
            EXPECT_FALSE(ranCommandList()) << c.name;
            EXPECT_FALSE(fakeDirectoryExists("C:\\Apps\\Vendor")) << c.name;
            EXPECT_FALSE(fakeDirectoryExists("D:\\Apps\\Vendor")) << c.name;
        }
    }
}

TEST_F(Installer, DirectoryChainForEachShapeOfTheSubdirectory) {
    struct Case {
        const char* base;
        const char* subdirectory;
        std::vector<std::string> made;
        const char* installed;
    } cases[] = {
        {"C:\\Apps\\", "Vendor\\Product\\", {"C:\\Apps\\Vendor", "C:\\Apps\\Vendor\\Product"}, "C:\\Apps\\Vendor\\Product"},
        {"C:\\Apps\\", "Vendor\\Product", {"C:\\Apps\\Vendor"}, "C:\\Apps\\Vendor"},
        {"C:\\Apps\\", "", {}, "C:\\Apps"},
        {"C:\\Apps\\", "One\\", {"C:\\Apps\\One"}, "C:\\Apps\\One"},
        {"C:\\Apps\\", "Product", {}, "C:\\Apps"},
        {"C:\\Apps\\", "A b\\ c\\", {"C:\\Apps\\A b", "C:\\Apps\\A b\\ c"}, "C:\\Apps\\A b\\ c"},
    };
    for (const Case& c : cases) {
        SetUp();
        InstallerFile file;
        file.switches("NO", "NO", "NO").set(15, c.base).set(16, c.subdirectory);
        run(file);
        std::vector<std::string> made;
        int creates = 0;
        for (auto& call : fakeCalls) creates += call == "createDirectory";
        EXPECT_EQ(creates, static_cast<int>(c.made.size())) << c.subdirectory;
        for (auto& dir : c.made) EXPECT_TRUE(fakeDirectoryExists(dir)) << dir;
        EXPECT_EQ(recorded(), c.installed) << c.subdirectory;
        EXPECT_TRUE(ranCommandList()) << c.subdirectory;
    }
}

TEST_F(Installer, DirectoryChainSplitsOnlyAtWholeBackslashes) {
    // In code page 932, 0x83 0x5C is one character whose second byte looks
    // like a backslash: it is part of the name, not a separator.
    fakeUseCodePage932(true);
    InstallerFile file;
    file.switches("NO", "NO", "NO").set(16, std::string("Ve\x83\x5C") + "nd\\P\\");
    run(file);
    int creates = 0;
    for (auto& call : fakeCalls) creates += call == "createDirectory";
    EXPECT_EQ(creates, 2);
    EXPECT_EQ(recorded(), std::string("C:\\Apps\\Ve\x83\x5C") + "nd\\P");
}

TEST_F(Installer, DirectoryThatCannotBeMadeDoesNotStopTheInstaller) {
    fakeFail("createDirectory", 1);
    InstallerFile file;
    file.switches("NO", "NO", "NO").set(16, "Vendor\\");
    fakeAddDirectory("C:\\Apps\\Vendor");  // made already, as on a second run
    run(file);
    EXPECT_EQ(recorded(), "C:\\Apps\\Vendor");
    EXPECT_TRUE(ranCommandList());
}

TEST_F(Installer, FailedReadBackStopsAfterTheDirectories) {
    const char* failures[] = {"regCreateKey", "regSetStringValue", "regOpenKeyForReading", "regQueryValue"};
    for (const char* call : failures) {
        SetUp();
        fakeFail(call);
        fakeAddFile("C:\\work\\hostcmd.exe", "MZ hostcmd");
        InstallerFile file;
        file.switches("NO", "NO", "YES").set(17, "save&C:\\work\\final.txt&x");
        run(file);
        EXPECT_TRUE(fakeDirectoryExists("C:\\Apps\\Vendor\\Product")) << call;
        EXPECT_FALSE(ranCommandList()) << call;
        EXPECT_FALSE(fakeFileExists("C:\\work\\final.txt")) << call;
        EXPECT_TRUE(fakeBoxes.empty()) << call;  // no restart prompt
        // Not installed: no uninstaller copy, and no entry in Windows' list.
        EXPECT_FALSE(fakeFileExists("C:\\Apps\\Vendor\\Product\\hostcmd-uninstall.exe")) << call;
        EXPECT_FALSE(fakeRegistryKeyExists(
            rootLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#ExampleSoft#Viewer#2.0"))
            << call;
    }
}

TEST_F(Installer, NoWriteAccessToTheRootStopsSilently) {
    fakeDenyRegistryRoot(rootLocalMachine);
    run(InstallerFile().switches("NO", "NO", "YES"));
    EXPECT_TRUE(fakeDirectoryExists("C:\\Apps\\Vendor\\Product"));
    EXPECT_FALSE(ranCommandList());
    EXPECT_TRUE(fakeBoxes.empty());
}

TEST_F(Installer, RecordThatDoesNotReadBackWholeStops) {
    // 259 characters read back; the value of a longer directory does not.
    std::string base = "C:\\" + std::string(250, 'x') + "\\";
    fakeAddDirectory(base);
    InstallerFile file;
    file.switches("NO", "NO", "NO").set(15, base).set(16, "Product\\");
    run(file);
    EXPECT_FALSE(ranCommandList());
    base = "C:\\" + std::string(249, 'x') + "\\";  // installed directory: 259 characters
    SetUp();
    fakeAddDirectory(base);
    file.set(15, base).set(16, "Vendor\\");
    run(file);
    EXPECT_EQ(recorded().size(), 259u);
    EXPECT_TRUE(ranCommandList());
}

TEST_F(Installer, CommandListEndsAtTheFirstEmptyLine) {
    InstallerFile file;
    file.switches("NO", "NO", "NO");
    file.skipped[0] = "save&C:\\work\\skipped.txt&not run";
    file.commands = {"save&C:\\work\\copied.txt&one", "", "save&C:\\work\\after.txt&not run"};
    run(file);
    EXPECT_TRUE(ranCommandList());
    EXPECT_FALSE(fakeFileExists("C:\\work\\skipped.txt"));
    EXPECT_FALSE(fakeFileExists("C:\\work\\after.txt"));
}

TEST_F(Installer, FileEndingAtLine37RunsOnlyTheFinalCommand) {
    InstallerFile ending;
    ending.switches("NO", "NO", "NO").set(17, "save&C:\\work\\final.txt&x");
    ending.commands.clear();
    ending.endWithEmptyLine = false;
    InstallerFile exact = ending;  // 259 characters still fit
    exact.commands = {"save&C:\\work\\copied.txt&one"};
    exact.skipped[5] = std::string(259, 'y');
    struct Case {
        const char* name;
        InstallerFile file;
        bool commands;
    } cases[] = {{"ends at 37", ending, false}, {"259 characters", exact, true}};
    for (const Case& c : cases) {
        SetUp();
        run(c.file);
        EXPECT_EQ(ranCommandList(), c.commands) << c.name;
        EXPECT_TRUE(fakeFileExists("C:\\work\\final.txt")) << c.name;
    }
}

TEST_F(Installer, FinalCommand) {
    // "NO" runs nothing; any other line runs after the command list; an empty
    // one has no command word and so runs the install check on "kw.ini".
    InstallerFile file;
    file.switches("NO", "NO", "NO").set(17, "NO");
    run(file);
    EXPECT_TRUE(ranCommandList());
    int kwOpens = 0;
    for (auto& call : fakeCalls) kwOpens += call == "openFileForReading";
    EXPECT_EQ(kwOpens, 1);  // only the installer file

    SetUp();
    file.set(17, "save&C:\\work\\final.txt&after copied");
    file.commands = {"copy&C:\\work\\copied.txt&C:\\work\\twice.txt&FALSE"};
    fakeAddFile("C:\\work\\copied.txt", "one");
    run(file);
    EXPECT_TRUE(fakeFileExists("C:\\work\\twice.txt"));
    EXPECT_TRUE(fakeFileExists("C:\\work\\final.txt"));

    SetUp();
    fakeAddFile("C:\\work\\kw.ini", "check\r\nNobody\r\nNothing\r\n1\r\nmarker\r\nsave&found.txt&x\r\nsave&C:\\work\\notfound.txt&x\r\n");
    file.set(17, "");
    run(file);
    EXPECT_TRUE(fakeFileExists("C:\\work\\notfound.txt"));
}

TEST_F(Installer, RestartOnlyOnOk) {
    struct Case {
        int answer;
        bool restarts;
    } cases[] = {{1, true}, {2, false}, {0, false}, {-1, false}, {6, false}, {7, false}};
    for (const Case& c : cases) {
        SetUp();
        fakeAnswerBoxes({c.answer});
        InstallerFile file;
        file.switches("NO", "NO", "YES").set(17, "save&C:\\work\\final.txt&x");
        run(file);
        ASSERT_EQ(fakeBoxes.size(), 1u);
        EXPECT_EQ(fakeBoxes[0].text, "Restart now?\r\nReally.");
        EXPECT_EQ(fakeBoxes[0].caption, "Restart caption");
        EXPECT_EQ(fakeBoxes[0].style, 0x1001u);
        EXPECT_TRUE(fakeFileExists("C:\\work\\final.txt"));  // the prompt comes after the final command
        EXPECT_EQ(fakeRebootStarted, c.restarts) << c.answer;
    }
}

TEST_F(Installer, RestartGivesUpAtEachPrivilegeStep) {
    struct Case {
        const char* failing;
        bool tokenClosed;
    } cases[] = {{"openProcessToken", false},
                 {"lookupPrivilegeValue", true},
                 {"adjustTokenPrivilege", true},
                 {"privilege not granted", true},
                 {"initiateSystemReboot", true}};
    for (const Case& c : cases) {
        SetUp();
        if (std::string(c.failing) == "privilege not granted") fakeDenyShutdownPrivilege();
        else fakeFail(c.failing);
        run(InstallerFile().switches("NO", "NO", "YES"));
        EXPECT_FALSE(fakeRebootStarted) << c.failing;
        int closes = 0;
        for (auto& call : fakeCalls) closes += call == "closeToken";
        EXPECT_EQ(closes, c.tokenClosed ? 1 : 0) << c.failing;
        EXPECT_EQ(fakeBoxes.size(), 1u) << c.failing;  // no message about it
    }
    SetUp();
    run(InstallerFile().switches("NO", "NO", "YES"));
    EXPECT_TRUE(fakeRebootStarted);
}

TEST_F(Installer, InstallerLeadingBackToItselfEndsAtTheNestingLimit) {
    InstallerFile file;
    file.switches("NO", "NO", "YES").set(17, "save&C:\\work\\final.txt&x");
    file.commands = {"install&C:\\work\\setup.txt", "save&C:\\work\\copied.txt&after"};
    run(file);
    EXPECT_TRUE(runsStopped());
    EXPECT_FALSE(ranCommandList());
    EXPECT_FALSE(fakeFileExists("C:\\work\\final.txt"));
    EXPECT_TRUE(fakeBoxes.empty());  // no restart prompt after a stop
    EXPECT_FALSE(fakeRebootStarted);
}

TEST_F(Installer, MissingFileDoesNothing) {
    runInstaller(0x400000, "C:\\work\\absent.txt");
    EXPECT_TRUE(fakeBoxes.empty());
    EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\ExampleSoft"));
}

TEST_F(Installer, BaseDirectoryTokensAreExpandedOnce) {
    fakeAddDirectory("C:\\Program Files");
    InstallerFile file;
    file.switches("NO", "NO", "NO").set(15, "%PROG%").set(16, "ExampleSoft\\Viewer\\");
    run(file);
    EXPECT_TRUE(fakeDirectoryExists("C:\\Program Files\\ExampleSoft"));
    EXPECT_EQ(recorded(), "C:\\Program Files\\ExampleSoft\\Viewer");
}

// A line that did not fit (or, in the UTF-8 build, one that is not UTF-8)
// before the command list changes nothing at all: no dialog, directory,
// record, command or final command. One in the command list is not run and
// ends the list; what came before it stays done.
TEST_F(Installer, CutLinesChangeNothing) {
    struct Case {
        const char* name;
        int line;        // 1 to 17 a setting line, 18 to 37 a skipped one, 0 none
        int command;     // index of the cut command, -1 none
        bool first;      // the command before the cut one ran
        bool finalRuns;
    } cases[] = {
        {"key part", 3, -1, false, false},
        {"welcome caption", 8, -1, false, false},
        {"base directory", 15, -1, false, false},
        {"final command", 17, -1, false, false},
        {"a skipped line", 25, -1, false, false},
        {"second command", 0, 1, true, true},
        {"first command", 0, 0, false, true},
    };
    for (bool utf8 : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (utf8 ? " not UTF-8" : " cut"));
        SetUp();
        fakeUseUtf8(utf8);
        const std::string cut = utf8 ? std::string("\xF0.b") : std::string(300, 'c');
        InstallerFile file;
        file.switches("YES", "YES", "YES").set(17, "save&C:\\work\\final.txt&x");
        file.commands = {"save&C:\\work\\copied.txt&one", "save&C:\\work\\after.txt&two"};
        if (c.line >= 18) file.skipped[c.line - 18] = cut;
        else if (c.line) file.line[c.line] += cut;
        if (c.command >= 0) file.commands.insert(file.commands.begin() + c.command, "save&C:\\work\\cut.txt&" + cut);
        fakeAnswerBoxes({1, 6, 2});  // welcome OK, path Yes, restart Cancel
        run(file);
        bool ran = c.command >= 0;
        EXPECT_EQ(ran, fakeDirectoryExists("C:\\Apps\\Vendor"));
        EXPECT_EQ(ran ? "C:\\Apps\\Vendor\\Product" : "(none)", recorded());
        EXPECT_EQ(c.first, ranCommandList());
        EXPECT_FALSE(fakeFileExists("C:\\work\\cut.txt"));
        EXPECT_FALSE(fakeFileExists("C:\\work\\after.txt"));
        EXPECT_EQ(c.finalRuns, fakeFileExists("C:\\work\\final.txt"));
        EXPECT_EQ(ran ? 3u : 0u, fakeBoxes.size());
    }
}

// ---- the forms for deployment tools, for the current user, and the elevated start

const char* const userLocal = "C:\\Users\\u\\AppData\\Local";
const FakeToken limitedAdministrator{3, false, false}, standardUser{1, false, false}, uacOffAdministrator{1, true, true},
    xpAdministrator{0, false, true}, xpUser{0, false, false};

class InstallForms : public Installer {
protected:
    void SetUp() override {
        Installer::SetUp();
        fakeAddDirectory(userLocal);
        fakeAddDirectory("C:\\Program Files");
        fakeAddDirectory("C:\\Program Files (x86)");  // the shell answers only for folders that exist
        fakeSetShellFolder(folderLocalAppData, userLocal);
        fakeSetShellFolder(folderProgramFiles, "C:\\Program Files (x86)");
        fakeSetShellFolder(folderProgramFilesX86, "C:\\Program Files (x86)");
    }
    int start(const std::string& word, const InstallerFile& file) {
        fakeAddFile(setupFile, file.text());
        resetRuns();
        runCommandLine(0x400000, word + "&setup.txt");
        return exitCode();
    }
    static std::string recordedUnder(Handle root) {
        std::string bytes;
        if (!fakeRegistryValue(root, installKey, "isDir", bytes)) return "(none)";
        return bytes.substr(0, bytes.find('\0'));
    }
};

TEST_F(InstallForms, TokenKindsAndWhetherInstallAsksForElevation) {
    struct Case {
        const char* name;
        FakeToken token;
        const char* failing;  // a token call that fails, or null
        TokenKind kind;
        bool elevates;
    } cases[] = {
        {"elevated administrator", FakeToken(), nullptr, TokenKind::elevated, false},
        {"administrator under UAC", limitedAdministrator, nullptr, TokenKind::limitedAdministrator, true},
        {"standard user", standardUser, nullptr, TokenKind::standardUser, true},
        {"administrator with UAC off", uacOffAdministrator, nullptr, TokenKind::elevated, false},
        {"XP administrator", xpAdministrator, nullptr, TokenKind::administrator, false},
        {"XP user", xpUser, nullptr, TokenKind::notAdministrator, true},
        {"token unreadable on XP", xpUser, "tokenIsAdministrator", TokenKind::unknown, false},
        {"elevation unreadable, no member", limitedAdministrator, "tokenElevation", TokenKind::notAdministrator, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fakeSetToken(c.token);
        if (c.failing) fakeFail(c.failing);
        EXPECT_EQ(processTokenKind(), c.kind);
        InstallerFile file;
        file.switches("NO", "NO", "NO");
        for (const char* word : {"install", "installQuiet", "installUser", "installUserQuiet"}) {
            SetUp();
            fakeSetToken(c.token);
            if (c.failing) fakeFail(c.failing);
            start(word, file);
            bool forEveryUser = std::string(word).find("User") == std::string::npos;
            bool asked = forEveryUser && c.elevates;
            ASSERT_EQ(fakeElevatedStarts.size(), asked ? 1u : 0u) << word;
            // Elevated elsewhere, the installation is not made here as well.
            EXPECT_EQ(ranCommandList(), !asked) << word;
            EXPECT_EQ(recordedUnder(rootLocalMachine) != "(none)", forEveryUser && !asked) << word;
            EXPECT_EQ(recordedUnder(rootCurrentUser) != "(none)", !forEveryUser) << word;
            if (asked) {
                EXPECT_EQ(fakeElevatedStarts[0].parameters, std::string(word) + "&C:\\work\\setup.txt");
                EXPECT_TRUE(fakeElevatedStarts[0].mutexHeld);
            }
        }
    }
}

TEST_F(InstallForms, ElevatedStartOutcomes) {
    struct Case {
        const char* name;
        unsigned long error, childExit;
        bool heldElsewhere, stationHidden, fileMissing;
        int quietExit;     // the exit code of installQuiet
        bool startAsked;   // the elevated start was made
        bool installedHere;
    } cases[] = {
        {"ran", 0, 0, false, false, false, 0, true, false},
        {"ran, restart needed", 0, 3010, false, false, false, 3010, true, false},
        {"ran, record failed there", 0, 1603, false, false, false, 1603, true, false},
        {"declined", 1223, 0, false, false, false, 1602, true, false},
        {"start failed", 2, 0, false, false, false, 1603, true, false},
        {"nobody can answer the prompt", 0, 0, false, true, false, 1603, false, false},
        // The start an instance waits for, not elevated (UAC off): no second prompt.
        {"already asked in this session", 0, 0, true, false, false, 0, false, true},
        {"installer file missing: no prompt", 0, 0, false, false, true, 1619, false, false},
    };
    for (const Case& c : cases) {
        for (bool quiet : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (quiet ? ", installQuiet" : ", install"));
            SetUp();
            fakeSetToken(limitedAdministrator);
            fakeAnswerElevatedStart(c.error, c.childExit);
            if (c.stationHidden) fakeHideWindowStation();
            if (c.heldElsewhere) fakeHoldNamedMutex(elevationMutexName("c:\\WORK\\Setup.txt"));
            InstallerFile file;
            file.switches("NO", "NO", "NO");
            fakeAddFile(setupFile, file.text());
            if (c.fileMissing) fakeForget(setupFile);
            resetRuns();
            runCommandLine(0x400000, std::string(quiet ? "installQuiet" : "install") + "&setup.txt");
            EXPECT_EQ(exitCode(), quiet ? c.quietExit : 0);
            EXPECT_EQ(fakeElevatedStarts.size(), c.startAsked ? 1u : 0u);
            EXPECT_EQ(ranCommandList(), c.installedHere);
            EXPECT_EQ(recordedUnder(rootLocalMachine) != "(none)", c.installedHere);
            EXPECT_FALSE(fakeDirectoryExists("C:\\Apps\\Vendor") && !c.installedHere);
            EXPECT_TRUE(fakeHeldMutexes().empty());
            EXPECT_TRUE(fakeBoxes.empty());
        }
    }
}

// The started instance gets its command line from Windows as
// "<program>" <parameters>; its runner must give back exactly the file the
// first instance named, whatever that name holds.
TEST_F(InstallForms, ElevatedCommandLineNamesTheSameFile) {
    struct Case {
        const char* commandLine;       // the first instance's
        const char* currentDirectory;  // the first instance's
        const char* file;              // the installer file, as it exists
    } cases[] = {
        {"installQuiet&setup.txt", "C:\\work", "C:\\work\\setup.txt"},
        {"\"installQuiet&setup.txt\"", "C:\\work", "C:\\work\\setup.txt"},
        {"installQuiet&C:\\Setup Files\\my setup.txt", "C:\\work", "C:\\Setup Files\\my setup.txt"},
        {"installQuiet&my|setup.txt", "C:\\work", "C:\\work\\my setup.txt"},  // a bar is a blank
        {"installQuiet&a&b\\set&up.txt", "C:\\work", "C:\\work\\a&b\\set&up.txt"},
        {"installQuiet&%APP%setup.txt", "C:\\work", "C:\\work\\%APP%setup.txt"},  // nothing recorded: it stays
        {"installQuiet&setup.txt", "C:\\my %WIN% and %APP% files", "C:\\my %WIN% and %APP% files\\setup.txt"},
        {"installQuiet&setup.txt", "C:\\100%PROG%", "C:\\100%PROG%\\setup.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.commandLine) + " in " + c.currentDirectory);
        SetUp();
        InstallerFile file;
        file.switches("NO", "NO", "YES");
        fakeAddFile(c.file, file.text());
        fakeAddDirectory(c.currentDirectory);
        fakeSetCurrentDirectory(c.currentDirectory);
        fakeSetToken(limitedAdministrator);
        resetRuns();
        runCommandLine(0x400000, c.commandLine);
        ASSERT_EQ(fakeElevatedStarts.size(), 1u);
        const FakeElevatedStart started = fakeElevatedStarts[0];
        EXPECT_EQ(started.directory, c.currentDirectory);

        // The elevated instance: an elevated token, the command line Windows builds.
        fakeSetToken(FakeToken());
        resetRuns();
        runCommandLine(0x400000, commandLineTail("\"" + started.program + "\" " + started.parameters));
        EXPECT_EQ(fakeElevatedStarts.size(), 1u);
        EXPECT_EQ(recorded(), "C:\\Apps\\Vendor\\Product") << started.parameters;
        EXPECT_EQ(exitCode(), 3010);
    }
}

TEST_F(InstallForms, QuietFormsShowNothingAndSetTheExitCode) {
    const std::string cut(300, 'c');
    struct Case {
        const char* name;
        std::function<void(InstallerFile&)> change;
        std::function<void()> world;
        int exit;
        bool commandList;
    } cases[] = {
        {"installed", [](InstallerFile& f) { f.set(7, "NO"); }, [] {}, 0, true},
        {"installed, restart asked for", [](InstallerFile& f) { f.set(7, "YES"); }, [] {}, 3010, true},
        {"record not written", [](InstallerFile&) {}, [] { fakeFail("regSetStringValue"); }, 1603, false},
        {"installer file missing", [](InstallerFile&) {}, [] { fakeForget(setupFile); }, 1619, false},
        {"a setting line that does not fit", [&](InstallerFile& f) { f.set(9, cut); }, [] {}, 1619, false},
        {"leads back to itself", [](InstallerFile& f) { f.commands = {"installQuiet&setup.txt"}; }, [] {}, 1603, false},
    };
    for (const Case& c : cases) {
        for (const char* word : {"installQuiet", "installUserQuiet"}) {
            SCOPED_TRACE(std::string(c.name) + ", " + word);
            SetUp();
            InstallerFile file;
            file.switches("YES", "YES", "NO");
            c.change(file);
            fakeAddFile(setupFile, file.text());
            c.world();
            resetRuns();
            runCommandLine(0x400000, std::string(word) + "&setup.txt");
            EXPECT_EQ(exitCode(), c.exit);
            EXPECT_TRUE(fakeBoxes.empty());
            EXPECT_TRUE(fakeDialogs.empty());
            EXPECT_FALSE(fakeRebootStarted);
            EXPECT_EQ(ranCommandList(), c.commandList);
        }
    }
    // The forms that talk to the user never set an exit code.
    SetUp();
    fakeFail("regSetStringValue");
    fakeAddFile(setupFile, InstallerFile().text());
    fakeAnswerBoxes({1, 6});
    runCommandLine(0x400000, "install&setup.txt");
    EXPECT_EQ(exitCode(), 0);
}

TEST_F(InstallForms, ForTheCurrentUserTheBaseMovesOutOfProgramFiles) {
    const std::string programs = std::string(userLocal) + "\\Programs";
    struct Case {
        const char* base;
        std::string installed;  // "" when nothing is installed
    } cases[] = {
        {"%PROG%", programs + "\\Vendor\\Product"},
        {"C:\\Program Files\\", programs + "\\Vendor\\Product"},
        {"c:\\PROGRAM FILES\\Acme\\", programs + "\\Acme\\Vendor\\Product"},
        {"%PROG%Acme\\Tools\\", programs + "\\Acme\\Tools\\Vendor\\Product"},
        {"C:\\Program Files (x86)\\Acme\\", programs + "\\Acme\\Vendor\\Product"},  // the shell's Program Files
        {"C:\\Program Files2\\", "C:\\Program Files2\\Vendor\\Product"},            // another folder
        {"C:\\Apps\\", "C:\\Apps\\Vendor\\Product"},
    };
    for (const Case& c : cases) {
        for (const char* word : {"installUser", "installUserQuiet"}) {
            SCOPED_TRACE(std::string(c.base) + ", " + word);
            SetUp();
            fakeAddDirectory("C:\\Program Files2");
            fakeSetToken(standardUser);  // never elevated, whatever the token
            fakeDenyRegistryRoot(rootLocalMachine);
            fakeAnswerBoxes({1, 6});
            InstallerFile file;
            file.switches("YES", "YES", "NO").set(15, c.base);
            start(word, file);
            EXPECT_TRUE(fakeElevatedStarts.empty());
            EXPECT_EQ(recordedUnder(rootCurrentUser), c.installed);
            EXPECT_EQ(recordedUnder(rootLocalMachine), "(none)");
            EXPECT_TRUE(fakeDirectoryExists(c.installed));
            EXPECT_TRUE(ranCommandList());
            if (std::string(word) == "installUser") {
                ASSERT_EQ(fakeBoxes.size(), 2u);
                EXPECT_NE(fakeBoxes[1].text.find(c.installed), std::string::npos) << fakeBoxes[1].text;
            }
        }
    }
    // Without the local application-data folder nothing moves, so nothing is installed.
    SetUp();
    fakeSetShellFolder(folderLocalAppData, "");
    fakeFail("shGetFolderPath");
    EXPECT_EQ(start("installUserQuiet", InstallerFile().set(15, "%PROG%")), 1603);
    EXPECT_TRUE(fakeBoxes.empty());
    EXPECT_EQ(recordedUnder(rootCurrentUser), "(none)");
    EXPECT_FALSE(fakeDirectoryExists("C:\\Program Files\\Vendor"));
    // A cancelled welcome leaves the user's programs folder as it was.
    SetUp();
    fakeAnswerBoxes({2});
    start("installUser", InstallerFile().switches("YES", "YES", "NO").set(15, "%PROG%"));
    EXPECT_FALSE(fakeDirectoryExists(programs));
}

// The installer journals what its installation makes (the directory chain,
// the install key's keys, the command list's items, the uninstaller copy)
// and writes the entry; the uninstall then takes every item back, newest
// first, and leaves the machine as it was.
TEST_F(InstallForms, InstallationsAreJournaledAndUndoneNewestFirst) {
    const std::string programs = "C:\\Users\\u\\Start Menu\\Programs", product = "C:\\Apps\\Vendor\\Product";
    const char* const entry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#ExampleSoft#Viewer#2.0";
    auto journal = [](InstallScope scope) {
        std::vector<JournalItem> items;
        std::vector<std::string> shown;
        if (!readJournal(scope, "ExampleSoft", "Viewer", "2.0", items)) return std::vector<std::string>{"(none)"};
        const char* kinds[] = {"directory ", "file ", "key ", "value ", "installed "};
        for (const JournalItem& item : items)
            shown.push_back(kinds[item.kind] + (item.root ? registryRootName(item.root) + "\\" : "") + item.name +
                            (item.valueName.empty() ? "" : " " + item.valueName));
        return shown;
    };
    // Every file with its bytes and every registry value with its data, the
    // installer file aside (its command list changes below).
    auto machine = [] {
        std::map<std::string, std::string> all;
        for (const auto& entry : fakeEntrySnapshot())
            if (entry.first != "c:\\work\\setup.txt") all[entry.first] = entry.second.directory ? "<dir>" : entry.second.bytes;
        FakeRegistry registry = fakeRegistrySnapshot();
        for (const auto& key : registry.keys) all["key " + key.first] = "";
        for (const auto& key : registry.values)
            for (const auto& value : key.second) all["value " + key.first + "\n" + value.first] = value.second.bytes;
        return all;
    };
    for (InstallScope scope : {InstallScope::machine, InstallScope::user}) {
        const bool user = scope == InstallScope::user;
        const std::string root = user ? "HKCU" : "HKLM", word = user ? "installUser" : "install";
        SCOPED_TRACE(word);
        SetUp();
        fakeSetShellFolder(folderPrograms, programs);
        fakeAddDirectory(programs);
        fakeAddFile("C:\\cd\\viewer.exe", "MZ viewer");
        fakeCreateRegistryKey(rootCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        fakeCreateRegistryKey(rootLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        fakeAddFile("C:\\work\\hostcmd.exe", "MZ hostcmd");
        const std::map<std::string, std::string> before = machine();
        InstallerFile file;
        file.switches("NO", "NO", "NO");
        file.commands = {"copy&C:\\cd\\viewer.exe&" + product + "\\viewer.exe&FALSE",
                         "programIcon&Viewer.lnk&" + product + "\\&viewer.exe&Viewer&none&0&none&Viewer&none&none",
                         "reg&HKCU&Software\\ExampleSoft\\Settings&Size&10"};
        start(word, file);
        std::vector<std::string> expected = {
            "key " + root + "\\Software\\ExampleSoft", "key " + root + "\\Software\\ExampleSoft\\Viewer",
            "key " + root + "\\Software\\ExampleSoft\\Viewer\\2.0", "directory C:\\Apps\\Vendor",
            "directory " + product, "installed " + product, "file " + product + "\\viewer.exe",
            "directory " + programs + "\\Viewer", "file " + programs + "\\Viewer\\Viewer.lnk"};
        // For the user the install key's keys are there before the command list runs.
        if (!user) expected.push_back("key HKCU\\Software\\ExampleSoft");
        expected.push_back("key HKCU\\Software\\ExampleSoft\\Settings");
        expected.push_back("value HKCU\\Software\\ExampleSoft\\Settings Size");
        expected.push_back("file " + product + "\\hostcmd-uninstall.exe");
        EXPECT_EQ(journal(scope), expected);
        std::string bytes;
        ASSERT_TRUE(fakeRegistryValue(user ? rootCurrentUser : rootLocalMachine, entry, "QuietUninstallString", bytes));
        EXPECT_EQ(bytes, "\"" + product + "\\hostcmd-uninstall.exe\" uninstallQuiet&ExampleSoft&Viewer&2.0" + '\0');

        // Running it again adds what is new; what it made before is there once.
        file.commands.push_back("save&" + product + "\\second.txt&2");
        start(word, file);
        expected.push_back("file " + product + "\\second.txt");
        EXPECT_EQ(journal(scope), expected);

        // Then all of it goes, the record, the journal and the entry last:
        // the machine is as it was.
        resetRuns();
        runCommandLine(0x400000, "uninstallQuiet&ExampleSoft&Viewer&2.0");
        EXPECT_EQ(exitCode(), 0);
        EXPECT_EQ(machine(), before);

        // Installed again from nothing, and nothing can be removed: each item
        // is tried once, newest first, and everything stays for another try.
        start(word, file);
        std::swap(expected[expected.size() - 2], expected.back());  // the copy is made after the command list
        EXPECT_EQ(journal(scope), expected);
        for (const char* call : {"deleteFile", "removeDirectory", "regDeleteKey", "regDeleteValue"}) fakeFail(call);
        fakeTraceOn(true);
        resetRuns();
        runCommandLine(0x400000, "uninstallQuiet&ExampleSoft&Viewer&2.0");
        EXPECT_EQ(exitCode(), 1603);
        std::vector<std::string> tried;
        for (const std::string& line : fakeTraceLines)
            if (line.compare(0, 10, "uninstall ") == 0) tried.push_back(line.substr(0, line.rfind(':')));
        // A key whose value could not go is not empty, and stays.
        const std::string failed = "uninstall could not remove ", kept = "uninstall keeps ";
        std::vector<std::string> newestFirst = {
            failed + product + "\\hostcmd-uninstall.exe", failed + product + "\\second.txt",
            failed + "HKCU\\Software\\ExampleSoft\\Settings value Size", kept + "HKCU\\Software\\ExampleSoft\\Settings"};
        if (!user) newestFirst.push_back(kept + "HKCU\\Software\\ExampleSoft");
        for (const std::string& item : {failed + programs + "\\Viewer\\Viewer.lnk", kept + programs + "\\Viewer",
                                        failed + product + "\\viewer.exe", kept + product, kept + "C:\\Apps\\Vendor"})
            newestFirst.push_back(item);
        EXPECT_EQ(tried, newestFirst);
        EXPECT_EQ(journal(scope), expected);
        EXPECT_TRUE(fakeRegistryValue(user ? rootCurrentUser : rootLocalMachine, entry, "DisplayName", bytes));
    }
}
}  // namespace

namespace {
// %APP% in the command lines of an installation for the current user names
// the directory it just recorded, even where the same product is installed
// for every user too; afterwards the installation for every user counts again.
TEST_F(InstallForms, AppTokenNamesTheInstallationThatRuns) {
    fakeAddFile("C:\\work\\kw.ini", "c\r\nExampleSoft\r\nViewer\r\n2.0\r\nm\r\nx&y\r\nx&y\r\n");
    fakeAddDirectory("D:\\Machine");
    fakeSetRegistryValue(rootLocalMachine, installKey, "isDir", std::string("D:\\Machine") + '\0');
    InstallerFile file;
    file.switches("NO", "NO", "NO").set(17, "save&%APP%final.txt&x").set(15, "C:\\Apps\\");
    // A nested installation for every user, of another product, hands the
    // lookups back as they were.
    file.commands = {"save&%APP%listed.txt&x", "installQuiet&other.txt", "save&%APP%after.txt&x"};
    InstallerFile other;
    other.switches("NO", "NO", "NO").set(2, "Other").set(16, "Other\\");
    other.commands.clear();
    fakeAddFile("C:\\work\\other.txt", other.text());
    EXPECT_EQ(start("installUserQuiet", file), 0);
    EXPECT_TRUE(fakeDirectoryExists("C:\\Apps\\Other"));
    for (const char* name : {"listed.txt", "after.txt", "final.txt"}) {
        EXPECT_TRUE(fakeFileExists(std::string("C:\\Apps\\Vendor\\Product\\") + name)) << name;
        EXPECT_FALSE(fakeFileExists(std::string("D:\\Machine\\") + name)) << name;
    }
    EXPECT_EQ(lookupInstalledLocation(0, "kw.ini"), "D:\\Machine");
}
}  // namespace
