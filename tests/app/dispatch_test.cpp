// The command table and the default branches.
#include <gtest/gtest.h>

#include <set>

#include "app/dispatch.h"
#include "app/runner.h"
#include "platform/memory_platform.h"

namespace {
struct DispatchTest : ::testing::Test {
    void SetUp() override {
        fakeReset();
        resetRuns();
    }
};

TEST_F(DispatchTest, TableHoldsEveryCommandWordOnce) {
    EXPECT_EQ(commandCount, 44);
    const char* expected[] = {
        "save", "saveM", "saveME", "getUserDir", "savePretty", "saveP", "savePM", "savePME", "delete",
        "deleteM", "deleteME", "copy", "copyM", "copyME", "move", "moveM", "moveME", "makeDir", "makeDirM",
        "makeDirME", "deleteDir", "deleteDirM", "deleteDirME", "open", "run", "print", "explore", "reg",
        "register", "regSetValue", "regToFile", "regGetValue", "regCreateKey", "regDeleteKey",
        "regDeleteValue", "pathToInstall", "pathToCD", "pathToCDM", "pathToCDR", "cursor", "batch", "install",
        "installQuiet", "installUser", "installUserQuiet",
        "uninstall", "uninstallQuiet",
        "startIcon", "deskIcon", "desktopIcon", "startUpIcon", "programIcon", "deleteIcon", "deleteIconDir",
        "message", "confirm", "installCheck", "savePrompt", "openPrompt"};
    std::set<std::string> inTable;
    for (int i = 0; i < commandCount; ++i)
        for (const char* word : commandTable[i].words)
            if (word) EXPECT_TRUE(inTable.insert(word).second) << word;
    EXPECT_EQ(inTable, std::set<std::string>(std::begin(expected), std::end(expected)));
    // Aliases share one entry.
    EXPECT_EQ(findCommand("saveP"), findCommand("savePretty"));
    EXPECT_EQ(findCommand("desktopIcon"), findCommand("deskIcon"));
    EXPECT_EQ(findCommand("regSetValue"), findCommand("reg"));
    EXPECT_EQ(findCommand("regGetValue"), findCommand("regToFile"));
}

TEST_F(DispatchTest, WordsAreComparedExactly) {
    for (const char* word : {"Save", "SAVE", "Batch", "save ", " save", "cursor2"}) EXPECT_EQ(findCommand(word), nullptr) << word;
}

TEST_F(DispatchTest, DefaultBranches) {
    struct Case {
        const char* line;
        const char* file;  // the file that must exist afterwards, or null for none
        const char* contents;
    } cases[] = {
        {"readme.txt&x", "C:\\work\\readme.txt", "x"},
        {"C:\\out.txt&Hello", "C:\\out.txt", "Hello"},
        {"C:\\out.txt&a&b|c", "C:\\out.txt", "a&b c"},
        {"readme&x", nullptr, nullptr},
        {"Save&x.txt&y", nullptr, nullptr},
        {"cursor&C:\\x.txt&y", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        fakeReset();
        runCommandLine(1, c.line);
        std::size_t files = 0;
        for (const std::string& entry : fakeEntries()) files += entry.back() != '\\';
        if (c.file) {
            EXPECT_EQ(fakeFileBytes(c.file), c.contents) << c.line;
            EXPECT_EQ(files, 1u) << c.line;
        } else {
            EXPECT_EQ(files, 0u) << c.line;
        }
    }
}

TEST_F(DispatchTest, EmptyCommandWordRunsTheInstallCheckOnKwIni) {
    for (const char* line : {"", "hello", "&abc", "   "}) {
        fakeReset();
        runCommandLine(1, line);
        ASSERT_FALSE(fakeCalls.empty()) << line;
        EXPECT_EQ(fakeCalls.front(), "openFileForReading") << line;
    }
    // A line with a command word never looks at kw.ini.
    fakeReset();
    runCommandLine(1, "cursor&x");
    EXPECT_TRUE(fakeCalls.empty());
}
}  // namespace
