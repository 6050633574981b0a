// Shortcut icons on the fake platform: where the shortcut lands, which of the
// ten fields reach which IShellLinkA setter, the COM sequence and its balance,
// and the commands that refuse their input.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/dispatch.h"
#include "platform/memory_platform.h"
#include "shell/shell.h"

namespace {
const Handle instance = 0x400000;
const char* const foldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakeReset();
        setFolder("Desktop", "C:\\Users\\ann\\Desktop");
        setFolder("Programs", "C:\\Users\\ann\\Start Menu\\Programs");
        setFolder("Start Menu", "C:\\Users\\ann\\Start Menu");
        setFolder("Startup", "C:\\Users\\ann\\Start Menu\\Programs\\Startup");
    }
    static void setFolder(const std::string& name, const std::string& path) {
        // Explorer stores REG_SZ values with their zero byte.
        fakeSetRegistryValue(rootCurrentUser, foldersKey, name, path + std::string(1, '\0'));
        fakeAddDirectory(path);
    }
    static void run(const std::string& word, const std::string& arguments) {
        dispatchCommand(instance, word, arguments);
    }
    static const FakeShortcut* shortcut(const std::string& path) {
        std::string lower = path;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        auto it = fakeShortcuts.find(lower);
        return it == fakeShortcuts.end() ? nullptr : &it->second;
    }
    static std::vector<std::string> comCalls() {
        std::vector<std::string> calls;
        for (auto& call : fakeCalls)
            if (call == "coInitialize" || call == "coUninitialize" || call.rfind("shellLink", 0) == 0 ||
                call == "createShellLink" || call == "queryPersistFile" || call == "multiByteToWide" ||
                call == "persistFileSave")
                calls.push_back(call);
        return calls;
    }
    static void expectComClean() {
        EXPECT_EQ(0, fakeComBalance());
        EXPECT_EQ(0, fakeLiveComObjects());
        EXPECT_EQ(0, fakeOpenKeys());
    }
};

TEST_F(ShortcutTest, EachCommandWritesIntoItsShellFolder) {
    // The shell's answer (SHGetFolderPathW, asked to make a folder the user
    // has not got yet) is the folder; the Shell Folders key, stale after a
    // redirection or a move to OneDrive, is read only where shell32 cannot be
    // bound, and a shell that fails makes no shortcut anywhere.
    enum Source { shellAnswers, shellMakesTheFolder, shellMissing, shellFails };
    struct Case {
        const char* word;
        int shellFolder;  // CSIDL
        const char* folder;
    } cases[] = {
        {"deskIcon", 0x10, "C:\\Users\\ann\\Desktop"},
        {"desktopIcon", 0x10, "C:\\Users\\ann\\Desktop"},
        {"programIcon", 0x02, "C:\\Users\\ann\\Start Menu\\Programs"},
        {"startIcon", 0x0B, "C:\\Users\\ann\\Start Menu"},
        {"startUpIcon", 0x07, "C:\\Users\\ann\\Start Menu\\Programs\\Startup"},
    };
    for (const Case& c : cases) {
        for (Source source : {shellAnswers, shellMakesTheFolder, shellMissing, shellFails}) {
            SCOPED_TRACE(std::string(c.word) + " source " + std::to_string(source));
            SetUp();
            std::string redirected = std::string("D:\\Redirected") + (c.folder + 2);
            if (source == shellAnswers) fakeAddDirectory(redirected);
            if (source == shellAnswers || source == shellMakesTheFolder) fakeSetShellFolder(c.shellFolder, redirected);
            if (source == shellMissing) fakeRemoveFunction("SHGetFolderPathW");
            if (source == shellFails) fakeFail("shGetFolderPath");
            run(c.word, "App.lnk&C:\\App\\&app.exe&The app&none&0&none&none&none&none");
            if (source == shellFails) {
                EXPECT_TRUE(fakeShortcuts.empty());
            } else {
                ASSERT_EQ(1u, fakeShortcuts.size());
                EXPECT_NE(nullptr, shortcut((source == shellMissing ? std::string(c.folder) : redirected) + "\\App.lnk"));
            }
            EXPECT_EQ(source == shellMissing ? 1 : 0, std::count(fakeCalls.begin(), fakeCalls.end(), "regQueryValue"));
            if (source != shellMissing && source != shellFails) {
                ASSERT_EQ(1u, fakeShellFolderRequests.size());
                EXPECT_EQ(c.shellFolder | folderCreate, fakeShellFolderRequests[0]);
            }
            expectComClean();
        }
    }
}

TEST_F(ShortcutTest, TenFieldsReachTheirSetters) {
    run("deskIcon", "Tool.lnk&C:\\Tools\\&tool.exe&none&C:\\Tools\\icons.dll&-3&C:\\Work&none&none&/a&/b c");
    const FakeShortcut* link = shortcut("C:\\Users\\ann\\Desktop\\Tool.lnk");
    ASSERT_NE(nullptr, link);
    EXPECT_EQ("C:\\Tools\\tool.exe", link->target);  // fields 2 and 3 joined as they stand
    EXPECT_EQ("none", link->description);           // "none" is only text for a description
    EXPECT_TRUE(link->hasIcon);
    EXPECT_EQ("C:\\Tools\\icons.dll", link->iconFile);
    EXPECT_EQ(-3, link->iconIndex);
    EXPECT_TRUE(link->hasWorkingDirectory);
    EXPECT_EQ("C:\\Work", link->workingDirectory);
    EXPECT_TRUE(link->hasArguments);
    EXPECT_EQ("/a&/b c", link->arguments);  // field 10 keeps its "&"
}

TEST_F(ShortcutTest, NoneSkipsExactlyItsSetter) {
    struct Case {
        const char* fields;  // icon file & index & working directory & (sub-folders) & arguments
        std::vector<std::string> setters;
    } cases[] = {
        {"none&0&none&none&none&none", {"shellLinkSetPath", "shellLinkSetDescription"}},
        {"i.ico&2&none&none&none&none", {"shellLinkSetPath", "shellLinkSetIconLocation", "shellLinkSetDescription"}},
        {"none&0&D:\\&none&none&none",
         {"shellLinkSetPath", "shellLinkSetWorkingDirectory", "shellLinkSetDescription"}},
        {"none&0&none&none&none&-x", {"shellLinkSetPath", "shellLinkSetArguments", "shellLinkSetDescription"}},
        // Only the exact, lower-case marker counts: "None" and "" are values.
        {"None&0&&none&none&None",
         {"shellLinkSetPath", "shellLinkSetArguments", "shellLinkSetIconLocation", "shellLinkSetWorkingDirectory",
          "shellLinkSetDescription"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields);
        SetUp();
        run("deskIcon", std::string("a.lnk&t&.exe&d&") + c.fields);
        std::vector<std::string> expected = {"coInitialize", "createShellLink", "queryPersistFile"};
        expected.insert(expected.end(), c.setters.begin(), c.setters.end());
        for (const char* tail : {"multiByteToWide", "persistFileSave", "coUninitialize"}) expected.push_back(tail);
        EXPECT_EQ(expected, comCalls());
        // Both interfaces are released before COM is left.
        EXPECT_EQ(2, std::count(fakeCalls.begin(), fakeCalls.end(), "comRelease"));
        EXPECT_EQ("coUninitialize", fakeCalls.back());
        expectComClean();
    }
}

TEST_F(ShortcutTest, SubFolders) {
    struct Case {
        const char* eight;
        const char* nine;
        const char* linkFolder;
    } cases[] = {
        {"Acme", "none", "C:\\Users\\ann\\Start Menu\\Programs\\Acme"},
        {"Acme", "Tools", "C:\\Users\\ann\\Start Menu\\Programs\\Acme\\Tools"},
        // Field 8 "none": field 9 is ignored, no folder at all.
        {"none", "Tools", "C:\\Users\\ann\\Start Menu\\Programs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.eight) + "/" + c.nine);
        SetUp();
        run("programIcon", std::string("Acme.lnk&C:\\Acme\\&acme.exe&Acme&none&0&none&") + c.eight + "&" + c.nine +
                               "&none");
        EXPECT_TRUE(fakeDirectoryExists(c.linkFolder));
        EXPECT_NE(nullptr, shortcut(std::string(c.linkFolder) + "\\Acme.lnk"));
        EXPECT_FALSE(fakeDirectoryExists("C:\\Users\\ann\\Start Menu\\Programs\\Tools"));
    }
    // An existing group is simply used again.
    run("programIcon", "Two.lnk&x&&d&none&0&none&Acme&none&none");
    EXPECT_NE(nullptr, shortcut("C:\\Users\\ann\\Start Menu\\Programs\\Acme\\Two.lnk"));
}

TEST_F(ShortcutTest, NameWithoutExtensionIsKeptAsGiven) {
    run("deskIcon", "My Tool&C:\\t.exe&&d&none&0&none&none&none&none");
    EXPECT_NE(nullptr, shortcut("C:\\Users\\ann\\Desktop\\My Tool"));
    EXPECT_FALSE(fakeFileExists("C:\\Users\\ann\\Desktop\\My Tool.lnk"));
}

TEST_F(ShortcutTest, IconIndexThatIsNoWholeNumberDoesNothing) {
    for (const char* index : {"", "x", "1.5", " 1", "1 ", "0x1", "99999999999", "-"}) {
        SCOPED_TRACE(std::string("index '") + index + "'");
        SetUp();
        std::size_t before = fakeEntries().size();
        run("programIcon", std::string("a.lnk&t.exe&&d&none&") + index + "&none&Group&Sub&none");
        EXPECT_TRUE(fakeShortcuts.empty());
        EXPECT_EQ(before, fakeEntries().size());  // no sub-folder either
        EXPECT_TRUE(comCalls().empty());
    }
    // Fewer than nine "&": the index field comes out empty, so nothing happens.
    SetUp();
    run("deskIcon", "a.lnk&t&.exe&d&none&0");
    EXPECT_TRUE(fakeShortcuts.empty());
    // A sign is part of a decimal whole number.
    run("deskIcon", "b.lnk&t&.exe&d&i.ico&+7&none&none&none&none");
    ASSERT_NE(nullptr, shortcut("C:\\Users\\ann\\Desktop\\b.lnk"));
    EXPECT_EQ(7, shortcut("C:\\Users\\ann\\Desktop\\b.lnk")->iconIndex);
}

TEST_F(ShortcutTest, PathOfMoreThan259CharactersSavesNothing) {
    // Folder + "\" + name: exactly 259 characters fit with the terminator, 260 do not.
    std::string folder = "C:\\Users\\ann\\Desktop";
    std::string fits(259 - folder.size() - 1, 'n');
    run("deskIcon", fits + "&t.exe&&d&none&0&none&none&none&none");
    EXPECT_EQ(1u, fakeShortcuts.size());

    SetUp();
    run("deskIcon", fits + "k&t.exe&&d&none&0&none&none&none&none");
    EXPECT_TRUE(fakeShortcuts.empty());
    EXPECT_EQ(0, std::count(fakeCalls.begin(), fakeCalls.end(), "persistFileSave"));
    expectComClean();
}

TEST_F(ShortcutTest, WriteShellLinkFailuresStayBalanced) {
    struct Case {
        const char* call;
        long expected;
        int creates;  // persistFileSave calls expected
    } cases[] = {
        {"coInitialize", static_cast<long>(0x80004005L), 0},
        {"createShellLink", static_cast<long>(0x80040154L), 0},
        {"queryPersistFile", static_cast<long>(0x80004002L), 0},
        {"shellLinkSetPath", 0, 1},  // setter answers are not examined
        {"multiByteToWide", static_cast<long>(0x800700CEL), 0},
        {"persistFileSave", static_cast<long>(0x80070005L), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        SetUp();
        fakeFail(c.call);
        long result = writeShellLink("C:\\t.exe", "C:\\Users\\ann\\Desktop\\t.lnk", "d", "none", "none", 0, "none");
        EXPECT_EQ(c.expected, result);
        EXPECT_EQ(c.creates, std::count(fakeCalls.begin(), fakeCalls.end(), "persistFileSave"));
        EXPECT_EQ(0, fakeComBalance());
        EXPECT_EQ(0, fakeLiveComObjects());
    }
}

TEST_F(ShortcutTest, EveryFailingCallLeavesComAndKeysClean) {
    // Fail each platform call of a full run in turn: nothing may stay open.
    run("programIcon", "a.lnk&t&.exe&d&i.ico&1&w&G&H&args");
    std::size_t calls = fakeCalls.size();
    for (std::size_t k = 1; k <= calls; ++k) {
        SCOPED_TRACE(k);
        SetUp();
        fakeFailCallNumber(static_cast<int>(k));
        run("programIcon", "a.lnk&t&.exe&d&i.ico&1&w&G&H&args");
        expectComClean();
    }
}

// A shell folder the code page cannot spell is reached by its short name; without
// one, and with the registry's copy no better, no shortcut is made (the
// best-fit "Lukasz" would be another user's folder).
TEST_F(ShortcutTest, ShellFolderTheCodePageCannotSpell) {
    const std::string L = fakeWideCharacter(0x141);
    const std::string desktop = "C:\\Users\\" + L + "ukasz\\Desktop";
    for (bool shortName : {false, true}) {
        SCOPED_TRACE(shortName ? "short name" : "no short name");
        SetUp();
        fakeAddDirectory("C:\\Users\\UKASZ~1\\Desktop");
        fakeAddDirectory("C:\\Users\\Lukasz\\Desktop");
        fakeSetShellFolder(0x10, desktop);
        setFolder("Desktop", desktop);
        if (shortName) fakeSetShortName("C:\\Users\\" + L + "ukasz", "C:\\Users\\UKASZ~1");
        run("deskIcon", "App.lnk&C:\\App\\&app.exe&The app&none&0&none&none&none&none");
        EXPECT_EQ(shortName ? 1u : 0u, fakeShortcuts.size());
        if (shortName) EXPECT_NE(nullptr, shortcut("C:\\Users\\UKASZ~1\\Desktop\\App.lnk"));
        expectComClean();
    }
}

TEST_F(ShortcutTest, MissingShellFolderMakesNoShortcut) {
    for (bool shellBound : {true, false}) {
        SCOPED_TRACE(shellBound ? "the shell knows no such folder" : "no shell, no record");
        fakeReset();
        if (!shellBound) fakeRemoveFunction("SHGetFolderPathW");
        fakeAddDirectory("C:\\work\\na");
        run("startIcon", "a.lnk&t.exe&&d&none&0&none&none&none&none");
        // Not below a relative "na" directory that happens to exist.
        EXPECT_EQ(nullptr, shortcut("C:\\work\\na\\a.lnk"));
        EXPECT_TRUE(fakeShortcuts.empty());
        EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, "Software\\Microsoft"));  // reading creates nothing
    }
}

TEST_F(ShortcutTest, DeleteIconAndDeleteIconDir) {
    struct Case {
        const char* number;
        const char* folder;
    } cases[] = {
        {"0", "C:\\Users\\ann\\Desktop"},
        {"1", "C:\\Users\\ann\\Start Menu\\Programs"},
        {"2", "C:\\Users\\ann\\Start Menu"},
        {"3", "C:\\Users\\ann\\Start Menu\\Programs\\Startup"},
        {"7", "C:\\Users\\ann\\Desktop"},  // any other number is the desktop
        {"-1", "C:\\Users\\ann\\Desktop"},
        {"1", "D:\\Redirected\\Programs"},  // the shell's answer first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        SetUp();
        if (c.folder[0] == 'D') fakeSetShellFolder(folderPrograms, c.folder);
        std::string group = std::string(c.folder) + "\\Group";
        fakeAddFile(group + "\\a.lnk", "x");
        run("deleteIconDir", std::string(c.number) + "&Group");
        EXPECT_TRUE(fakeDirectoryExists(group));  // still holds a shortcut
        run("deleteIcon", std::string(c.number) + "&Group\\a.lnk");
        EXPECT_FALSE(fakeFileExists(group + "\\a.lnk"));
        run("deleteIconDir", std::string(c.number) + "&Group");
        EXPECT_FALSE(fakeDirectoryExists(group));
        EXPECT_EQ(0, fakeOpenKeys());
    }
}

TEST_F(ShortcutTest, DeleteWithFolderNumberThatIsNoWholeNumberDoesNothing) {
    fakeAddFile("C:\\Users\\ann\\Desktop\\a.lnk", "x");
    fakeAddDirectory("C:\\Users\\ann\\Desktop\\G");
    for (const char* arguments : {"x&a.lnk", "&a.lnk", "a.lnk", "0 &a.lnk", "1e0&a.lnk"}) {
        SCOPED_TRACE(arguments);
        run("deleteIcon", arguments);
        run("deleteIconDir", std::string(arguments).replace(std::string(arguments).find("a.lnk"), 5, "G"));
    }
    EXPECT_TRUE(fakeFileExists("C:\\Users\\ann\\Desktop\\a.lnk"));
    EXPECT_TRUE(fakeDirectoryExists("C:\\Users\\ann\\Desktop\\G"));
    EXPECT_EQ(0, std::count(fakeCalls.begin(), fakeCalls.end(), "deleteFile"));
}
}  // namespace
