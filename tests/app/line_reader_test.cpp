// The shared line reader, read straight: block boundaries, the failed state,
// NUL bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/line_reader.h"
#include "fake/fake_platform.h"

namespace {
std::vector<std::string> readAll(const std::string& bytes, int reads) {
    fakeReset();
    fakeAddFile("f.txt", bytes);
    LineReader reader;
    std::vector<std::string> lines;
    if (!openLineReader(reader, "f.txt")) return lines;
    for (int i = 0; i < reads; ++i) lines.push_back(readLine(reader));
    closeLineReader(reader);
    EXPECT_EQ(fakeOpenFiles(), 0);
    return lines;
}

TEST(LineReader, LinesOfEveryLengthAcrossBlockBoundaries) {
    // A filler line of every length from 0 to 258 moves a 259-byte line, its
    // CR LF and the line after it across the reader's block boundaries.
    const std::string full(259, 'L');
    for (std::size_t filler = 0; filler <= 258; ++filler) {
        SCOPED_TRACE(filler);
        const std::string fill = "f" + std::string(filler, 'x');
        const std::string bytes = fill.substr(0, 259) + "\r\n" + full + "\r\n" + fill.substr(0, 259) + "\r\n" + full +
                                  "\n" + "end";
        std::vector<std::string> lines = readAll(bytes, 6);
        ASSERT_EQ(lines.size(), 6u);
        EXPECT_EQ(lines[0], fill.substr(0, 259));
        EXPECT_EQ(lines[1], full);
        EXPECT_EQ(lines[2], fill.substr(0, 259));
        EXPECT_EQ(lines[3], full);
        EXPECT_EQ(lines[4], "end");
        EXPECT_EQ(lines[5], "");
    }
}

TEST(LineReader, OverLongLineFailsTheReaderWhereverItStands) {
    for (std::size_t offset : {0u, 100u, 252u, 253u, 254u, 511u, 512u}) {
        SCOPED_TRACE(offset);
        std::string bytes;
        // Short lines filling `offset` bytes, then a line of 260 bytes.
        while (bytes.size() < offset) {
            std::size_t n = std::min<std::size_t>(100, offset - bytes.size());
            bytes += std::string(n - 1, 's') + "\n";
        }
        bytes += std::string(259, 'L') + "M\nnext\n";
        std::vector<std::string> lines = readAll(bytes, 40);
        std::size_t i = 0;
        while (i < lines.size() && lines[i] != std::string(259, 'L')) ++i;
        ASSERT_LT(i, lines.size());
        for (++i; i < lines.size(); ++i) EXPECT_EQ(lines[i], "");
    }
}

TEST(LineReader, ReadsPastTheEndStayEmpty) {
    EXPECT_EQ(readAll("", 3), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(readAll("a\n\nb", 4), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(readAll("a\x1a\nb\n", 3), (std::vector<std::string>{"a", "", ""}));
    EXPECT_EQ(readAll("a\r", 2), (std::vector<std::string>{"a", ""}));
}

TEST(LineReader, TextEndsAtNulByte) {
    // The rest of the line after a NUL is dropped; the next line reads normally.
    EXPECT_EQ(readAll(std::string("save&a.txt\0.exe&x\nb\n", 20), 3), (std::vector<std::string>{"save&a.txt", "b", ""}));
    EXPECT_EQ(readAll(std::string("\0abc\nb\n", 7), 2), (std::vector<std::string>{"", "b"}));
}

TEST(LineReader, FailedReadYieldsNoPartLine) {
    fakeReset();
    // The fourth line starts 4 bytes before the end of the first block.
    fakeAddFile("f.txt", "first\n" + std::string(250, 'x') + "\n" + std::string(250, 'y') + "\nabcdefgh\n");
    fakeFail("readFileBytes", 2);
    LineReader reader;
    ASSERT_TRUE(openLineReader(reader, "f.txt"));
    EXPECT_EQ(readLine(reader), "first");
    EXPECT_EQ(readLine(reader), std::string(250, 'x'));
    EXPECT_EQ(readLine(reader), std::string(250, 'y'));
    EXPECT_EQ(readLine(reader), "");
    EXPECT_EQ(readLine(reader), "");
    closeLineReader(reader);
    EXPECT_EQ(fakeOpenFiles(), 0);
}

TEST(LineReader, OpenFailsOnMissingFileAndDirectory) {
    fakeReset();
    fakeAddDirectory("dir");
    LineReader reader;
    EXPECT_FALSE(openLineReader(reader, "missing.txt"));
    EXPECT_FALSE(openLineReader(reader, "dir"));
    EXPECT_FALSE(openLineReader(reader, ""));
    EXPECT_EQ(fakeOpenFiles(), 0);
}
}  // namespace
