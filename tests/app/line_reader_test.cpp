#include "app/line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/memory_platform.h"

namespace {
// The first `count` lines a reader yields for a file of these bytes.
std::vector<std::string> readLines(const std::string& bytes, int count) {
    fakeReset();
    fakeAddFile("C:\\work\\f.txt", bytes);
    LineReader reader;
    EXPECT_TRUE(openLineReader(reader, "f.txt"));
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) lines.push_back(readLine(reader));
    closeLineReader(reader);
    EXPECT_EQ(0, fakeOpenFiles());
    return lines;
}

typedef std::vector<std::string> Lines;

struct Case {
    const char* name;
    std::string bytes;
    Lines expected;
};

TEST(LineReader, TextModeRules) {
    const std::string s259(259, 'x'), s260(260, 'y');
    const Case cases[] = {
        {"LF ends a line", "a\nb\nc\n", {"a", "b", "c", ""}},
        {"CR LF reads as LF", "a\r\nb\r\nc\r\n", {"a", "b", "c", ""}},
        {"every CR is dropped", "a\rb\r\r\nc\rd", {"ab", "cd", ""}},
        {"a lone CR is no line end", "a\rb\nc", {"ab", "c", ""}},
        {"last line without LF", "a\nlast", {"a", "last", ""}},
        {"empty lines stay empty", "\n\nx\n", {"", "", "x", ""}},
        {"Ctrl-Z at the end", "a\nb\n\x1a", {"a", "b", "", ""}},
        {"Ctrl-Z in the middle ends the file", std::string("a\nb\x1a" "c\nd\n"), {"a", "b", "", ""}},
        {"Ctrl-Z at the start", std::string("\x1a" "a\n"), {"", ""}},
        {"blanks and tabs belong to the line", " a \t\n\tb \n", {" a \t", "\tb ", ""}},
        {"empty file", "", {"", "", ""}},
        {"259 characters and LF", s259 + "\nnext\n", {s259, "next", ""}},
        {"259 characters and CR LF", s259 + "\r\nnext\r\n", {s259, "next", ""}},
        {"259 characters, then the end", s259, {s259, ""}},
        {"CRs do not count", "ab\r" + s259.substr(2) + "\r\nnext", {"ab" + s259.substr(2), "next"}},
        {"260 characters fail the stream", s260 + "\nnext\nmore\n", {s260.substr(0, 259), "", "", ""}},
        {"over-long line at the end", "a\n" + s260, {"a", s260.substr(0, 259), ""}},
        {"a long line after 259", "a\n" + s259 + "zz\nb\n", {"a", s259, "", ""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, readLines(c.bytes, static_cast<int>(c.expected.size()))) << c.name;
    }
}

TEST(LineReader, LongFilesReadAcrossBlocks) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += std::to_string(i) + "\r\n";
    Lines lines = readLines(bytes, 301);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(std::to_string(i), lines[i]) << i;
    EXPECT_EQ("", lines[300]);
}

TEST(LineReader, MissingFileDoesNotOpen) {
    fakeReset();
    LineReader reader;
    EXPECT_FALSE(openLineReader(reader, "nothing.txt"));
    EXPECT_FALSE(openLineReader(reader, ""));
    fakeAddDirectory("C:\\work\\dir");
    EXPECT_FALSE(openLineReader(reader, "dir"));
    EXPECT_EQ(0, fakeOpenFiles());
}

TEST(LineReader, FailedReadEndsTheFile) {
    fakeReset();
    fakeAddFile("C:\\work\\f.txt", "a\nb\n");
    fakeFail("readFileBytes", 1);
    LineReader reader;
    ASSERT_TRUE(openLineReader(reader, "f.txt"));
    EXPECT_EQ("", readLine(reader));
    EXPECT_EQ("", readLine(reader));
    closeLineReader(reader);
    EXPECT_EQ(0, fakeOpenFiles());
}
TEST(LineReader, LinesOfEveryLengthAcrossBlockBoundaries) {
    // A filler line of every length from 1 to 259 moves a 259-byte line, its
    // CR LF and the line after it across the reader's block boundaries.
    const std::string full(259, 'L');
    for (std::size_t filler = 0; filler <= 258; ++filler) {
        const std::string fill = "f" + std::string(filler, 'x');
        const std::string bytes = fill + "\r\n" + full + "\r\n" + fill + "\r\n" + full + "\n" + "end";
        EXPECT_EQ((Lines{fill, full, fill, full, "end", ""}), readLines(bytes, 6)) << filler;
    }
}

TEST(LineReader, OverLongLineFailsTheReaderWhereverItStands) {
    for (std::size_t offset : {0u, 100u, 252u, 253u, 254u, 511u, 512u}) {
        std::string bytes;
        // Short lines filling `offset` bytes, then a line of 260 bytes.
        while (bytes.size() < offset) {
            std::size_t n = std::min<std::size_t>(100, offset - bytes.size());
            bytes += std::string(n - 1, 's') + "\n";
        }
        bytes += std::string(259, 'L') + "M\nnext\n";
        Lines lines = readLines(bytes, 40);
        std::size_t i = 0;
        while (i < lines.size() && lines[i] != std::string(259, 'L')) ++i;
        ASSERT_LT(i, lines.size()) << offset;
        for (++i; i < lines.size(); ++i) EXPECT_EQ("", lines[i]) << offset;
    }
}

TEST(LineReader, TextEndsAtNulByte) {
    // The rest of the line after a NUL is dropped; the next line reads normally.
    EXPECT_EQ((Lines{"save&a.txt", "b", ""}), readLines(std::string("save&a.txt\0.exe&x\nb\n", 20), 3));
    EXPECT_EQ((Lines{"", "b"}), readLines(std::string("\0abc\nb\n", 7), 2));
}

TEST(LineReader, FailedReadYieldsNoPartLine) {
    fakeReset();
    // The fourth line starts 4 bytes before the end of the first block.
    fakeAddFile("C:\\work\\f.txt", "first\n" + std::string(250, 'x') + "\n" + std::string(250, 'y') + "\nabcdefgh\n");
    fakeFail("readFileBytes", 2);
    LineReader reader;
    ASSERT_TRUE(openLineReader(reader, "f.txt"));
    EXPECT_EQ("first", readLine(reader));
    EXPECT_EQ(std::string(250, 'x'), readLine(reader));
    EXPECT_EQ(std::string(250, 'y'), readLine(reader));
    EXPECT_EQ("", readLine(reader));
    EXPECT_EQ("", readLine(reader));
    closeLineReader(reader);
    EXPECT_EQ(0, fakeOpenFiles());
}
}  // namespace
