// Shell verbs: the exact ShellExecuteA arguments each command line gives.
#include <gtest/gtest.h>

#include <string>

#include "app/runner.h"
#include "platform/memory_platform.h"
#include "shell/shell.h"

namespace {
const Handle instance = 0x400000;

struct VerbCase {
    const char* commandLine;
    const char* verb;
    const char* file;
    bool hasParameters;
    const char* parameters;
};

TEST(ShellVerbs, CommandLinesGiveTheseShellCalls) {
    const VerbCase cases[] = {
        {"open&C:\\docs\\read me.txt", "open", "C:\\docs\\read me.txt", false, ""},
        {"open&C:\\a&b.txt", "open", "C:\\a&b.txt", false, ""},  // no split: "&" is part of the name
        {"open&", "open", "", false, ""},
        {"open&none", "open", "none", false, ""},
        {"print&C:\\docs\\a.txt", "print", "C:\\docs\\a.txt", false, ""},
        {"print&a&b", "print", "a&b", false, ""},
        {"explore&C:\\docs", "explore", "C:\\docs", false, ""},
        {"run&C:\\p.exe&none", "open", "C:\\p.exe", false, ""},
        {"run&C:\\p.exe&", "open", "C:\\p.exe", true, ""},  // empty text, not a null pointer
        {"run&C:\\p.exe&-a -b", "open", "C:\\p.exe", true, "-a -b"},
        {"run&C:\\p.exe&a&b", "open", "C:\\p.exe", true, "a&b"},
        {"run&C:\\p.exe&None", "open", "C:\\p.exe", true, "None"},
        {"run&C:\\p.exe&none ", "open", "C:\\p.exe", true, "none "},
        {"run&notepad.exe", "open", "", true, "notepad.exe"},
        {"run&", "open", "", true, ""},
        {"run&&none", "open", "", false, ""},
        {"run&%WIN%notepad.exe&%TEMP%x.txt", "open", "C:\\WINDOWS\\notepad.exe", true, "C:\\TEMP\\x.txt"},
        {"run&C:\\my|prog.exe&a|b", "open", "C:\\my prog.exe", true, "a b"},
        {"\"open&C:\\x.txt\"", "open", "C:\\x.txt", false, ""},
    };
    for (const VerbCase& c : cases) {
        SCOPED_TRACE(c.commandLine);
        fakeReset();
        resetRuns();
        runCommandLine(instance, c.commandLine);
        ASSERT_EQ(fakeShellCalls.size(), 1u);
        const FakeShellCall& call = fakeShellCalls[0];
        EXPECT_EQ(call.owner, instance);
        EXPECT_EQ(call.verb, c.verb);
        EXPECT_EQ(call.file, c.file);
        EXPECT_EQ(call.hasParameters, c.hasParameters);
        if (c.hasParameters) {
            EXPECT_EQ(call.parameters, c.parameters);
        }
        EXPECT_EQ(fakeEntries().size(), 2u);  // nothing written: c:\ and c:\work only
    }
}

TEST(ShellVerbs, WordsDifferingInCaseAreNotVerbs) {
    for (const char* line : {"Open&x.txt", "RUN&x.exe&none", "Print&x", "explorer&C:\\"}) {
        fakeReset();
        runCommandLine(instance, line);
        EXPECT_TRUE(fakeShellCalls.empty()) << line;
    }
}

TEST(ShellVerbs, FailingShellIsIgnored) {
    fakeReset();
    fakeFail("shellExecute");
    EXPECT_TRUE(runShellVerb(instance, "open", "C:\\missing.txt", "none"));
    runCommandLine(instance, "run&C:\\missing.exe&x");
    EXPECT_EQ(fakeBoxes.size(), 0u);
    EXPECT_EQ(fakeEntries().size(), 2u);
}

TEST(ShellVerbs, RunShellVerbPassesTextsUnchanged) {
    fakeReset();
    runShellVerb(instance, "print", "a|b %WIN%", "x&&y");
    ASSERT_EQ(fakeShellCalls.size(), 1u);
    EXPECT_EQ(fakeShellCalls[0].file, "a|b %WIN%");
    EXPECT_TRUE(fakeShellCalls[0].hasParameters);
    EXPECT_EQ(fakeShellCalls[0].parameters, "x&&y");
}
}  // namespace
