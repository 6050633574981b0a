// Batch files on the in-memory platform: which lines run is read off the
// files the lines write.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/runner.h"
#include "platform/memory_platform.h"

namespace {
const Handle instance = 0x400000;

class Batch : public ::testing::Test {
protected:
    void SetUp() override {
        fakeReset();
        resetRuns();
    }
    void TearDown() override { resetRuns(); }
};

int countCalls(const std::string& name) {
    return static_cast<int>(std::count(fakeCalls.begin(), fakeCalls.end(), name));
}

// "save&<name>&<text>" padded with 'x' to exactly `length` bytes.
std::string saveLineOfLength(const std::string& name, std::size_t length) {
    std::string line = "save&" + name + "&";
    line.resize(length, 'x');
    return line;
}

struct LineRuleCase {
    const char* title;
    std::string bytes;
    std::vector<std::string> written;  // files the batch must have written
    std::vector<std::string> notWritten;
    bool utf8 = false;  // run by the UTF-8 build
};

TEST_F(Batch, LineRules) {
    const std::string line259 = saveLineOfLength("long.txt", 259);
    const std::string line300 = saveLineOfLength("long.txt", 300);
    const LineRuleCase cases[] = {
        {"CR LF with a final CR LF", "save&a.txt&1\r\nsave&b.txt&2\r\nsave&c.txt&3\r\n", {"a.txt", "b.txt", "c.txt"}, {}},
        {"LF alone", "save&a.txt&1\nsave&b.txt&2\nsave&c.txt&3\n", {"a.txt", "b.txt", "c.txt"}, {}},
        {"final line without a line end", "save&a.txt&1\r\nsave&b.txt&2\r\nsave&c.txt&3", {"a.txt", "b.txt", "c.txt"}, {}},
        {"blank second line", "save&a.txt&1\r\n\r\nsave&c.txt&3\r\n", {"a.txt"}, {"c.txt"}},
        {"a line of CRs only is empty", "save&a.txt&1\n\r\r\nsave&c.txt&3\n", {"a.txt"}, {"c.txt"}},
        {"empty first line", "\r\nsave&b.txt&2\r\n", {}, {"b.txt"}},
        {"Ctrl-Z in the middle of a line", "save&a.txt&1\r\nsave&b.txt&2\x1asave&c.txt&3\r\nsave&d.txt&4\r\n",
         {"a.txt", "b.txt"}, {"c.txt", "d.txt"}},
        {"Ctrl-Z at the start of a line", "save&a.txt&1\r\n\x1asave&c.txt&3\r\n", {"a.txt"}, {"c.txt"}},
        {"259 bytes run whole and the batch goes on", line259 + "\r\nsave&b.txt&2\r\n", {"long.txt", "b.txt"}, {}},
        {"259 bytes, LF alone", line259 + "\nsave&b.txt&2", {"long.txt", "b.txt"}, {}},
        {"259 bytes at the end of the file", "save&a.txt&1\n" + line259, {"a.txt", "long.txt"}, {}},
        // A line that does not fit is not run, not even cut, and ends the batch.
        {"300 bytes end the batch unrun", line300 + "\r\nsave&b.txt&2\r\n", {}, {"long.txt", "b.txt"}},
        {"260 bytes end the batch unrun", "save&a.txt&1\n" + saveLineOfLength("long.txt", 260) + "\nsave&b.txt&2\n",
         {"a.txt"}, {"long.txt", "b.txt"}},
        {"a cut name never runs as a shorter one", "delete&" + std::string(243, 'd') + "\\keep.txt.bak\n", {}, {}},
        {"a cut flag never drops", "copy&src.txt&" + std::string(237, 'd') + "\\keep.txt&TRUE\n", {}, {}},
        {"bars and path tokens in a line", "save&a|b.txt&%WIN%\r\n", {"a b.txt"}, {}},
        // Bytes that are not UTF-8 are a line the UTF-8 build does not run, and the batch ends there.
        {"not UTF-8 in the ANSI build", "save&a.txt&1\nsave&b\xF0.b&2\nsave&c.txt&3\n", {"a.txt", "b\xF0.b", "c.txt"}, {}},
        {"not UTF-8 in the UTF-8 build", "save&a.txt&1\nsave&b\xF0.b&2\nsave&c.txt&3\n", {"a.txt"}, {"b\xF0.b", "c.txt"},
         true},
    };
    for (const LineRuleCase& c : cases) {
        SCOPED_TRACE(c.title);
        fakeReset();
        resetRuns();
        fakeUseUtf8(c.utf8);
        fakeAddFile("C:\\work\\run.txt", c.bytes);
        fakeAddFile("C:\\work\\src.txt", "new");
        fakeAddFile("C:\\work\\" + std::string(243, 'd') + "\\keep.txt", "old");
        fakeAddFile("C:\\work\\" + std::string(237, 'd') + "\\keep.txt", "old");
        EXPECT_TRUE(runBatchFile(instance, "run.txt"));
        for (const std::string& name : c.written) EXPECT_TRUE(fakeFileExists(name)) << name;
        EXPECT_EQ("old", fakeFileBytes(std::string(243, 'd') + "\\keep.txt"));
        EXPECT_EQ("old", fakeFileBytes(std::string(237, 'd') + "\\keep.txt"));
        for (const std::string& name : c.notWritten) EXPECT_FALSE(fakeFileExists(name)) << name;
        EXPECT_EQ(fakeOpenFiles(), 0);
    }
}

TEST_F(Batch, LinesReachTheRunnerByteExact) {
    // CRs vanish wherever they stand.
    fakeAddFile("run.txt", "save&a.txt&x\ry\r\r\n");
    runBatchFile(instance, "run.txt");
    EXPECT_EQ(fakeFileBytes("a.txt"), "xy");
}

TEST_F(Batch, Exactly259BytesStoreEveryByte) {
    fakeAddFile("run.txt", saveLineOfLength("b.txt", 259) + "\r\nsave&c.txt&after");
    runBatchFile(instance, "run.txt");
    EXPECT_EQ(fakeFileBytes("b.txt"), std::string(259 - 11, 'x'));
    EXPECT_EQ(fakeFileBytes("c.txt"), "after");
}

TEST_F(Batch, LaterLinesSeeEarlierEffects) {
    fakeAddFile("run.txt", "save&a.txt&one\r\ncopy&a.txt&b.txt&TRUE\r\nsave&a.txt&two\r\n");
    runBatchFile(instance, "run.txt");
    EXPECT_EQ(fakeFileBytes("a.txt"), "two");
    EXPECT_EQ(fakeFileBytes("b.txt"), "one");
}

TEST_F(Batch, MissingOrUnreadableFileRunsNothing) {
    EXPECT_FALSE(runBatchFile(instance, "missing.txt"));
    EXPECT_FALSE(runBatchFile(instance, ""));
    fakeAddDirectory("C:\\work\\folder");
    EXPECT_FALSE(runBatchFile(instance, "folder"));
    runCommandLine(instance, "batch&missing.txt");
    EXPECT_EQ(fakeEntries().size(), 3u);  // c:\, c:\work and the folder: nothing written
    EXPECT_EQ(fakeOpenFiles(), 0);
}

TEST_F(Batch, ReadFailureEndsTheBatchWithoutRunningTheCutLine) {
    // Two lines fill 492 bytes of the first 512-byte block; the third line is
    // cut by the block's end and the next read fails. A cut line must not run:
    // it would write "0123456" where the file asked for more.
    const std::string first = saveLineOfLength("a.txt", 245) + "\n";
    const std::string second = saveLineOfLength("b.txt", 245) + "\n";
    fakeAddFile("run.txt", first + second + "save&cut.txt&0123456789\nsave&d.txt&x\n");
    fakeFail("readFileBytes", 2);
    EXPECT_TRUE(runBatchFile(instance, "run.txt"));
    EXPECT_TRUE(fakeFileExists("a.txt"));
    EXPECT_TRUE(fakeFileExists("b.txt"));
    EXPECT_FALSE(fakeFileExists("cut.txt"));
    EXPECT_FALSE(fakeFileExists("d.txt"));
    EXPECT_EQ(fakeOpenFiles(), 0);
}

// ---- nesting -------------------------------------------------------------------

TEST_F(Batch, NestedBatchRunsToItsEndBeforeTheNextOuterLine) {
    fakeAddFile("inner.txt", "save&order.txt&inner\r\n");
    fakeAddFile("outer.txt", "save&order.txt&outer\r\nbatch&inner.txt\r\ncopy&order.txt&seen.txt&\r\n");
    runCommandLine(instance, "batch&outer.txt");
    EXPECT_EQ(fakeFileBytes("seen.txt"), "inner");
    EXPECT_EQ(fakeOpenFiles(), 0);
}

struct SelfCallCase {
    const char* title;
    std::string bytes;
};

TEST_F(Batch, SelfCallingBatchEndsAtTheLimitAndClosesEveryFile) {
    const SelfCallCase cases[] = {
        {"one self-call per file", "save&hit.txt&x\r\nbatch&C:\\work\\self.txt\r\nsave&after.txt&x\r\n"},
        {"two self-calls per file", "batch&C:\\work\\self.txt\r\nbatch&C:\\work\\self.txt\r\nsave&after.txt&x\r\n"},
        {"two self-calls, relative name", "save&hit.txt&x\nbatch&self.txt\nbatch&self.txt\nsave&after.txt&x\n"},
    };
    for (const SelfCallCase& c : cases) {
        SCOPED_TRACE(c.title);
        fakeReset();
        resetRuns();
        fakeAddFile("C:\\work\\self.txt", c.bytes);
        runCommandLine(instance, "batch&self.txt");
        // One open per level: the top-level run is level 1, the deepest batch
        // opened is level maxRunDepth, whose own lines are refused.
        EXPECT_EQ(countCalls("openFileForReading"), maxRunDepth);
        EXPECT_TRUE(runsStopped());
        EXPECT_EQ(fakeOpenFiles(), 0);
        // Reaching the limit stops every enclosing run: nothing after the
        // recursion runs at any level.
        EXPECT_FALSE(fakeFileExists("after.txt"));
    }
}

TEST_F(Batch, MutualRecursionEndsToo) {
    fakeAddFile("a.txt", "batch&b.txt\nbatch&b.txt\n");
    fakeAddFile("b.txt", "batch&a.txt\nbatch&a.txt\n");
    runCommandLine(instance, "batch&a.txt");
    EXPECT_EQ(countCalls("openFileForReading"), maxRunDepth);
    EXPECT_EQ(fakeOpenFiles(), 0);
}

TEST_F(Batch, NothingRunsInThisStartOnceStopped) {
    fakeAddFile("self.txt", "batch&self.txt\n");
    runCommandLine(instance, "batch&self.txt");
    runCommandLine(instance, "save&late.txt&x");
    EXPECT_FALSE(fakeFileExists("late.txt"));
}

TEST_F(Batch, ChainJustInsideTheLimitRunsWhole) {
    // Files f1 .. fN, each running the next; the last one writes a file. The
    // top-level run is level 1, so fN's line runs at level N + 1.
    for (int chain : {maxRunDepth - 1, maxRunDepth}) {
        SCOPED_TRACE(chain);
        fakeReset();
        resetRuns();
        for (int i = 1; i < chain; ++i)
            fakeAddFile("f" + std::to_string(i) + ".txt", "batch&f" + std::to_string(i + 1) + ".txt\n");
        fakeAddFile("f" + std::to_string(chain) + ".txt", "save&deep.txt&x\n");
        runCommandLine(instance, "batch&f1.txt");
        EXPECT_EQ(fakeFileExists("deep.txt"), chain == maxRunDepth - 1);
        EXPECT_EQ(runsStopped(), chain == maxRunDepth);
        EXPECT_EQ(fakeOpenFiles(), 0);
    }
}

TEST_F(Batch, SpacesOnlyLineRunsTheInstallCheck) {
    // "   " has no "&": its command word is empty, so it runs the install
    // check on kw.ini, which finds nothing installed and runs its line 7.
    fakeAddFile("kw.ini", "Product\nVendor\nProduct\n1.0\nmarker.txt\nsave&installed.txt&6\nsave&not-installed.txt&7\n");
    fakeAddFile("run.txt", "   \r\nsave&after.txt&x\r\n");
    runBatchFile(instance, "run.txt");
    EXPECT_TRUE(fakeFileExists("not-installed.txt"));
    EXPECT_FALSE(fakeFileExists("installed.txt"));
    EXPECT_TRUE(fakeFileExists("after.txt"));
    EXPECT_EQ(fakeOpenFiles(), 0);
}
}  // namespace
