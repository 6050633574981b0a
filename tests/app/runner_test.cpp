// The command runner: leading quotes, the split, bars, the tail of the
// process command line, and the nesting limit.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/runner.h"
#include "platform/memory_platform.h"

namespace {
struct RunnerTest : ::testing::Test {
    void SetUp() override {
        fakeReset();
        resetRuns();
    }
};

// Runs a line and answers what "save" stored, by routing the line to a file
// through the "." default branch: the command word becomes the file name.
struct QuoteCase {
    const char* line;
    const char* afterQuotes;
};

TEST_F(RunnerTest, LeadingQuoteRule) {
    const QuoteCase cases[] = {
        {"save&C:\\a.txt&Hi", "save&C:\\a.txt&Hi"},
        {"\"save&C:\\a.txt&Hi\"", "save&C:\\a.txt&Hi"},
        {"\"open&C:\\My Files\\read me.txt\"", "open&C:\\My Files\\read me.txt"},
        {"\"C:\\x\\y.dat\" \"batch&C:\\b.txt\"", "batch&C:\\b.txt"},
        {"\"C:\\x\\y.dat\" \"save&C:\\a.txt&Hi\"", "save&C:\\a.txt&Hi"},
        // The last character goes even when it is no quote.
        {"\"save&C:\\a.txt&Hi", "save&C:\\a.txt&H"},
        // Quotes inside a quoted line swallow text.
        {"\"save&C:\\a.txt&say \"hi\"\"", ""},
        {"\"", ""},
        {"\"\"", ""},
        {"\"x\"", "x"},
        {"open&\"C:\\a b.txt\"", "open&\"C:\\a b.txt\""},
        {"", ""},
    };
    for (const QuoteCase& c : cases) EXPECT_EQ(dropLeadingQuotes(c.line), c.afterQuotes) << c.line;
}

// The last character the rule drops is a whole one: a lone lead byte or half
// a UTF-8 sequence would end up in a name or a file.
TEST_F(RunnerTest, LeadingQuoteRuleDropsAWholeLastCharacter) {
    const QuoteCase utf8[] = {
        {"\"save&q.txt&caf\xC3\xA9", "save&q.txt&caf"},
        {"\"save&q.txt&\xF0\x9F\x8E\x81", "save&q.txt&"},
        {"\"\xC3\xA9", ""},
    };
    fakeUseUtf8(true);
    for (const QuoteCase& c : utf8) EXPECT_EQ(dropLeadingQuotes(c.line), c.afterQuotes) << c.line;
    fakeReset();
    fakeUseCodePage932(true);
    EXPECT_EQ(dropLeadingQuotes("\"save&q.txt&x\x83\x5C"), "save&q.txt&x");
}

// Where texts are UTF-8, a command line that is not runs nothing at all.
TEST_F(RunnerTest, LineThatIsNotUtf8RunsNothing) {
    for (bool utf8 : {false, true}) {
        fakeReset();
        fakeUseUtf8(utf8);
        fakeTraceOn(true);
        runCommandLine(1, "save&C:\\a\xF0.b&x");
        EXPECT_EQ(!utf8, fakeFileExists("C:\\a\xF0.b")) << utf8;
        EXPECT_EQ(utf8 ? 1 : 0, std::count(fakeTraceLines.begin(), fakeTraceLines.end(),
                                           "[1] not well-formed UTF-8: this line is not run"));
        EXPECT_FALSE(runsStopped());
    }
}

TEST_F(RunnerTest, ProcessCommandLineTail) {
    const QuoteCase cases[] = {
        {"hostcmd.exe save&a.txt&x", "save&a.txt&x"},
        {"  \t C:\\hostcmd.exe \t save&a", "save&a"},
        {"\"C:\\Program Files\\hostcmd.exe\" save&a", "save&a"},
        {"\"C:\\Program Files\\hostcmd.exe\"save&a", "save&a"},
        // An unquoted program path runs to the first blank, quotes and all.
        {"hostcmd.exe\"save&a\"", ""},
        // Only the one quote that closes a quoted path is dropped with it.
        {"\"C:\\h.exe\"\"save&a\"", "\"save&a\""},
        {"hostcmd.exe \"save&a\"", "\"save&a\""},
        // A tab ends even a quoted program path.
        {"\"C:\\a\tb.exe\" save", "b.exe\" save"},
        {"hostcmd.exe", ""},
        {"", ""},
        {"hostcmd.exe    ", ""},
    };
    for (const QuoteCase& c : cases) EXPECT_EQ(commandLineTail(c.line), c.afterQuotes) << c.line;
}

struct SplitCase {
    const char* line;
    const char* file;      // where the "." branch or "save" writes
    const char* contents;  // what it writes, as stored (LF as CR LF); nullptr: nothing
};

TEST_F(RunnerTest, SplitAndBarsReachTheCommand) {
    const SplitCase cases[] = {
        {"save&C:\\a.txt&Hello world", "C:\\a.txt", "Hello world"},
        {"save&C:\\a.txt&Hello|world", "C:\\a.txt", "Hello world"},
        {"save&a&b&c", "C:\\work\\a", "b&c"},
        {"C:\\out.txt&some text", "C:\\out.txt", "some text"},
        // A command word keeps its bars, and Windows refuses "|" in a name: nothing is written.
        {"a.b|c&c|d||", "C:\\work\\a.b c", nullptr},
        {"\"save&C:\\q.txt&Hi\"", "C:\\q.txt", "Hi"},
    };
    for (const SplitCase& c : cases) {
        fakeReset();
        runCommandLine(1, c.line);
        EXPECT_EQ(fakeFileExists(c.file), c.contents != nullptr) << c.line;
        if (c.contents) EXPECT_EQ(fakeFileBytes(c.file), c.contents) << c.line;
    }
}

TEST_F(RunnerTest, BarsRespectDoubleByteCharacters) {
    fakeUseCodePage932(true);
    // 0x83 0x7C is one character whose trail byte is "|": it stays; the lone bar goes.
    runCommandLine(1, "save&C:\\j.txt&\x83\x7C|x");
    EXPECT_EQ(fakeFileBytes("C:\\j.txt"), "\x83\x7C x");
}

TEST_F(RunnerTest, AmpersandInsideDoubleByteCharacterDoesNotSplit) {
    fakeUseCodePage932(true);
    // The lead byte 0x81 swallows the next byte: only the later "&" splits.
    runCommandLine(1, "save&C:\\m\x81&.txt&tail");
    EXPECT_EQ(fakeFileBytes("C:\\m\x81&.txt"), "tail");
    EXPECT_FALSE(fakeFileExists("C:\\m\x81"));
}

// A batch file that runs itself twice per file would run 2^depth times
// without a limit; with it, the whole start ends and every file is closed.
TEST_F(RunnerTest, NestingLimitStopsEverythingAndClosesFiles) {
    fakeAddFile("C:\\self.txt", "save&C:\\before.txt&x\nbatch&C:\\self.txt\nbatch&C:\\self.txt\nsave&C:\\after.txt&y\n");
    runCommandLine(1, "batch&C:\\self.txt");
    EXPECT_TRUE(runsStopped());
    EXPECT_TRUE(fakeFileExists("C:\\before.txt"));
    EXPECT_FALSE(fakeFileExists("C:\\after.txt"));  // nothing after the stop
    EXPECT_EQ(fakeOpenFiles(), 0);
    int batchOpens = 0;
    for (const std::string& call : fakeCalls) batchOpens += call == "openFileForReading";
    EXPECT_EQ(batchOpens, maxRunDepth);  // one per level that ran
    // Once stopped, nothing more runs in this start.
    runCommandLine(1, "save&C:\\later.txt&z");
    EXPECT_FALSE(fakeFileExists("C:\\later.txt"));
}

TEST_F(RunnerTest, ConfirmNestingEndsAtTheLimit) {
    // Every OK runs the same confirm again.
    std::string line = "confirm&T&Q&confirm&T&Q&confirm&T&Q&save&C:\\deep.txt&x";
    runCommandLine(1, line);
    EXPECT_EQ(fakeBoxes.size(), 3u);
    EXPECT_TRUE(fakeFileExists("C:\\deep.txt"));
    EXPECT_FALSE(runsStopped());
}
// The UTF-8 build runs only when Windows gave it UTF-8 as its code page; on
// an older Windows it runs nothing, not even a batch, the trace says why, and
// the exit code (ERROR_OLD_WIN_VERSION) tells the host.
TEST_F(RunnerTest, Utf8BuildRunsNothingUnderAnotherCodePage) {
    struct CodePageCase {
        bool utf8Build;
        unsigned codePage;
        bool runs;
    };
    const CodePageCase cases[] = {
        {false, 1252, true}, {false, 932, true}, {true, 65001, true}, {true, 1252, false}, {true, 932, false},
    };
    for (const CodePageCase& c : cases) {
        for (const char* line : {"save&C:\\out.txt&x", "batch&C:\\b.txt"}) {
            fakeReset();
            resetRuns();
            fakeUseUtf8(c.utf8Build, c.codePage);
            fakeTraceOn(true);
            fakeAddFile("C:\\b.txt", "save&C:\\out.txt&x\n");
            runCommandLine(1, line);
            const std::string name = std::string(line) + " code page " + std::to_string(c.codePage) +
                                     (c.utf8Build ? " utf-8 build" : " ansi build");
            EXPECT_EQ(c.runs, fakeFileExists("C:\\out.txt")) << name;
            EXPECT_EQ(!c.runs, runsStopped()) << name;
            EXPECT_EQ(c.runs ? 0 : 1150, exitCode()) << name;
            int refusals = 0;
            for (const std::string& traced : fakeTraceLines)
                refusals += traced.find("runs nothing: the process code page is " + std::to_string(c.codePage)) !=
                            std::string::npos;
            EXPECT_EQ(c.runs ? 0 : 1, refusals) << name;
            if (!c.runs) EXPECT_EQ(1u, fakeTraceLines.size()) << name;
            for (const std::string& call : fakeCalls)
                if (!c.runs) EXPECT_NE("openFileForReading", call) << name;
        }
    }
}
}  // namespace
