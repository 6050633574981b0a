// The trace of the runner: one line per command line run, with its nesting
// depth, its command word and its fields by name; nothing when tracing is off.
#include <gtest/gtest.h>

#include "app/runner.h"
#include "platform/memory_platform.h"

namespace {
struct TraceTest : ::testing::Test {
    void SetUp() override {
        fakeReset();
        resetRuns();
    }
};
}  // namespace

TEST_F(TraceTest, OffWritesNothing) {
    runCommandLine(0, "save&C:\\a.txt&Hi");
    EXPECT_TRUE(fakeTraceLines.empty());
    EXPECT_EQ(fakeFileBytes("C:\\a.txt"), "Hi");
}

TEST_F(TraceTest, OneLinePerCommandLineWithItsFields) {
    fakeTraceOn(true);
    runCommandLine(0, "copy&C:\\a.txt&C:\\b.txt");
    runCommandLine(0, "message&Title&one&&two");
    runCommandLine(0, "Save&x");
    runCommandLine(0, "out.txt&text");
    ASSERT_EQ(fakeTraceLines.size(), 4u);
    EXPECT_EQ(fakeTraceLines[0],
              "[1] copy source \"C:\\a.txt\", destination \"\", TRUE to keep an existing destination \"C:\\b.txt\"");
    EXPECT_EQ(fakeTraceLines[1], "[1] message caption \"Title\", message with escapes \"one&&two\"");
    EXPECT_EQ(fakeTraceLines[2], "[1] \"Save\" is no command: nothing happens");
    EXPECT_EQ(fakeTraceLines[3],
              "[1] \"out.txt\" is no command and holds \".\": the argument text \"text\" is written into that file");
}

TEST_F(TraceTest, NestedRunsShowTheirDepth) {
    fakeTraceOn(true);
    fakeAddFile("C:\\b.txt", "save&C:\\x.txt&1\r\nbatch&C:\\c.txt\r\n");
    fakeAddFile("C:\\c.txt", "delete&C:\\x.txt\r\n");
    runCommandLine(0, "batch&C:\\b.txt");
    ASSERT_EQ(fakeTraceLines.size(), 4u);
    EXPECT_EQ(fakeTraceLines[0], "[1] batch batch file \"C:\\b.txt\"");
    EXPECT_EQ(fakeTraceLines[1], "[2] save file name \"C:\\x.txt\", text \"1\"");
    EXPECT_EQ(fakeTraceLines[2], "[2] batch batch file \"C:\\c.txt\"");
    EXPECT_EQ(fakeTraceLines[3], "[3] delete file \"C:\\x.txt\"");
}

TEST_F(TraceTest, TheNestingLimitIsTraced) {
    fakeTraceOn(true);
    fakeAddFile("C:\\self.txt", "batch&C:\\self.txt\r\n");
    runCommandLine(0, "batch&C:\\self.txt");
    ASSERT_EQ(fakeTraceLines.size(), static_cast<std::size_t>(maxRunDepth) + 1);
    EXPECT_EQ(fakeTraceLines.back().rfind("[33] nesting deeper than 32", 0), 0u) << fakeTraceLines.back();
}

TEST_F(TraceTest, ControlBytesNeverBreakALine) {
    fakeTraceOn(true);
    runCommandLine(0, "confirm&A&&B&Q%TAB%?&cursor&");
    ASSERT_GE(fakeTraceLines.size(), 1u);
    EXPECT_EQ(fakeTraceLines[0], "[1] confirm caption \"A<CR><LF>B\", question \"Q<TAB>?\", command line \"cursor&\"");
    // A text that begins with byte 0x01 is a text like any other.
    runCommandLine(0, "delete&\x01x\r\n[1] forged");
    EXPECT_EQ(fakeTraceLines.back(), "[1] delete file \"<0x01>x<CR><LF>[1] forged\"");
}

// A batch, check or installer file that is the trace file itself would read
// the lines the trace appends as commands, and grow for ever: it is a file
// that cannot be opened. Under another name of the same file too (here: case).
TEST_F(TraceTest, TheTraceFileIsNeverReadAsCommands) {
    const struct {
        const char* commandLine;
    } cases[] = {{"batch&C:\\trace.txt"}, {"batch&c:\\TRACE.TXT"}, {"installCheck&C:\\trace.txt"},
                 {"install&C:\\trace.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        fakeReset();
        resetRuns();
        fakeAddFile("C:\\trace.txt", "save&C:\\ran.txt&x\r\nsave&C:\\trace.txt&\r\n");
        fakeTraceOn(true, "C:\\trace.txt");
        runCommandLine(0, c.commandLine);
        EXPECT_FALSE(fakeFileExists("C:\\ran.txt"));
        EXPECT_EQ(1u, fakeTraceLines.size());
        EXPECT_EQ(0, fakeOpenFiles());
    }
    // Another file still runs, and is traced.
    fakeReset();
    resetRuns();
    fakeAddFile("C:\\steps.txt", "save&C:\\ran.txt&x\r\n");
    fakeTraceOn(true, "C:\\trace.txt");
    runCommandLine(0, "batch&C:\\steps.txt");
    EXPECT_TRUE(fakeFileExists("C:\\ran.txt"));
    EXPECT_EQ(2u, fakeTraceLines.size());
    EXPECT_EQ(fakeTraceLines[0] + "\r\n" + fakeTraceLines[1] + "\r\n", fakeFileBytes("C:\\trace.txt"));
}

TEST_F(TraceTest, ABoxNobodyCanSeeIsTracedAndNotShown) {
    fakeTraceOn(true);
    fakeHideWindowStation();
    fakeAnswerDialogs({"C:\\x.txt"});
    runCommandLine(0, "message&T&Hi");
    runCommandLine(0, "openPrompt&C:\\r.txt&All&*.*&none&&Open");
    ASSERT_EQ(fakeTraceLines.size(), 4u);
    EXPECT_EQ(fakeTraceLines[1],
              "    MessageBoxA not shown: the window station is not visible, nobody could answer; it counts as failed");
    EXPECT_EQ(fakeTraceLines[3], "    GetOpenFileNameW not shown: the window station is not visible, nobody could "
                                 "answer; it counts as failed");
    EXPECT_TRUE(fakeBoxes.empty());
    EXPECT_TRUE(fakeDialogs.empty());
    EXPECT_EQ(fakeFileBytes("C:\\r.txt"), "fileSelected=ERROR");
}
