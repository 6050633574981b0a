#include "app/line_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "fake/fake_platform.h"

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
}  // namespace
