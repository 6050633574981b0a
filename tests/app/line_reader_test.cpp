#include "app/line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/memory_platform.h"

namespace {
// The first `count` lines a reader yields for a file of these bytes.
// With utf8 the process is the UTF-8 build's.
std::vector<std::string> readLines(const std::string& bytes, int count, bool utf8 = false) {
    fakeReset();
    fakeUseUtf8(utf8);
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
        // A line that does not fit is not yielded, not even its first 259 bytes.
        {"260 characters fail the stream", s260 + "\nnext\nmore\n", {"", "", "", ""}},
        {"over-long line at the end", "a\n" + s260, {"a", "", ""}},
        {"a long line after 259", "a\n" + s259 + "zz\nb\n", {"a", "", "", ""}},
        {"259 characters and a NUL", s259 + std::string(1, '\0') + "\nb\n", {"", ""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, readLines(c.bytes, static_cast<int>(c.expected.size()))) << c.name;
    }
}

TEST(LineReader, FailedTellsACutFileFromOneThatEnded) {
    const struct {
        std::string bytes;
        int reads;
        bool failed;
    } cases[] = {
        {"a\nb\n", 5, false},
        {std::string(259, 'x'), 3, false},
        {std::string(259, 'x') + "\n", 3, false},
        {"a\n" + std::string(260, 'x'), 1, false},  // not read that far yet
        {"a\n" + std::string(260, 'x'), 2, true},
        {"a\n" + std::string(260, 'x') + "\x1a", 4, true},
    };
    for (const auto& c : cases) {
        fakeReset();
        fakeAddFile("C:\\work\\f.txt", c.bytes);
        LineReader reader;
        ASSERT_TRUE(openLineReader(reader, "f.txt"));
        for (int i = 0; i < c.reads; ++i) readLine(reader);
        EXPECT_EQ(c.failed, reader.failed) << c.bytes.size() << " bytes, " << c.reads << " reads";
        closeLineReader(reader);
    }
    fakeReset();
    fakeAddFile("C:\\work\\f.txt", "a\n");
    fakeFail("readFileBytes", 1);
    LineReader reader;
    ASSERT_TRUE(openLineReader(reader, "f.txt"));
    readLine(reader);
    EXPECT_TRUE(reader.failed);
    closeLineReader(reader);
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
        // The short lines come whole; the long one and everything after it read empty.
        std::size_t shortLines = 0;
        while (shortLines < lines.size() && !lines[shortLines].empty() && lines[shortLines][0] == 's') ++shortLines;
        EXPECT_EQ(shortLines, (offset + 99) / 100) << offset;
        for (std::size_t i = shortLines; i < lines.size(); ++i) EXPECT_EQ("", lines[i]) << offset;
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
// Where the UTF-8 build reads differently: a byte-order mark at the very
// start, and bytes that are not UTF-8, which fail the reader as a line that
// does not fit does. The ANSI build reads bytes.
TEST(LineReader, Utf8BuildSkipsTheMark) {
    const std::string mark = "\xEF\xBB\xBF", han = "\xE4\xB8\xAD", gift = "\xF0\x9F\x8E\x81";
    const std::string s259(259, 'x');
    struct Utf8Case {
        const char* name;
        std::string bytes;
        Lines ansi, utf8;
    };
    const Utf8Case cases[] = {
        {"mark before the first line", mark + "save&a.txt&b\r\nx\n", {mark + "save&a.txt&b", "x", ""},
         {"save&a.txt&b", "x", ""}},
        {"mark alone", mark, {mark, ""}, {"", ""}},
        {"mark, then an empty first line", mark + "\nx\n", {mark, "x"}, {"", "x"}},
        {"only the first of two marks", mark + mark + "a", {mark + mark + "a", ""}, {mark + "a", ""}},
        {"a mark later in the file stays", "a\n" + mark + "b\n", {"a", mark + "b", ""}, {"a", mark + "b", ""}},
        {"half a mark is not UTF-8", "\xEF\xBBx\n", {"\xEF\xBBx", ""}, {""}},
        // Windows' decoders would swallow the ".b" after a lead byte without its continuation.
        {"a lead byte before ASCII ends the file", "a\ndelete&a\xF0.b\nc\n", {"a", "delete&a\xF0.b", "c"}, {"a", "", ""}},
        {"a stray continuation byte", "x\x80\nc\n", {"x\x80", "c"}, {"", ""}},
        {"an overlong slash", "a\xC0\xAF\n", {"a\xC0\xAF"}, {""}},
        {"a surrogate", "a\xED\xA0\x80\n", {"a\xED\xA0\x80"}, {""}},
        {"above U+10FFFF", "a\xF4\x90\x80\x80\n", {"a\xF4\x90\x80\x80"}, {""}},
        {"a cut character at the end of the file", "a\nb\xE4\xB8", {"a", "b\xE4\xB8"}, {"a", ""}},
        {"every form of UTF-8 reads", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\n",
         {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
         {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"}},
        {"the mark is no byte of line 1", mark + s259 + "\nnext", {""}, {s259, "next"}},
        // A line that does not fit yields nothing in either build, wherever
        // the cut falls: no half character is ever used.
        {"cut after the first byte of three", std::string(258, 'x') + han + "\nnext", {""}, {""}},
        {"cut after three bytes of four", std::string(256, 'x') + gift + "\nnext", {""}, {""}},
        {"cut after a whole character", std::string(256, 'x') + han + "y\nnext", {""}, {""}},
        {"259 bytes ending in a character fit", std::string(256, 'x') + han + "\nnext",
         {std::string(256, 'x') + han, "next"}, {std::string(256, 'x') + han, "next"}},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(c.ansi, readLines(c.bytes, static_cast<int>(c.ansi.size()))) << c.name;
        EXPECT_EQ(c.utf8, readLines(c.bytes, static_cast<int>(c.utf8.size()), true)) << c.name;
    }
}

TEST(LineReader, Utf8BuildFailedFirstReadYieldsNothing) {
    fakeReset();
    fakeUseUtf8(true);
    fakeAddFile("C:\\work\\f.txt", "\xEF\xBB\xBF" "a\nb\n");
    fakeFail("readFileBytes", 1);
    LineReader reader;
    ASSERT_TRUE(openLineReader(reader, "f.txt"));
    EXPECT_EQ("", readLine(reader));
    EXPECT_EQ("", readLine(reader));
    closeLineReader(reader);
    EXPECT_EQ(0, fakeOpenFiles());
}
}  // namespace
