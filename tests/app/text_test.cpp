// Shared text helpers: double-byte aware searches, fields, trailing backslashes.
#include <gtest/gtest.h>

#include "app/boxes.h"
#include "app/text.h"
#include "platform/memory_platform.h"

namespace {
struct TextTest : ::testing::Test {
    void SetUp() override { fakeReset(); }
};

TEST_F(TextTest, SplitFieldTable) {
    struct Case {
        const char* text;
        const char* field;
        const char* rest;
    } cases[] = {
        {"C:\\a.txt&Hello world", "C:\\a.txt", "Hello world"},
        {"a&b&c", "a", "b&c"},
        {"no ampersand", "", "no ampersand"},
        {"&lead", "", "lead"},
        {"trail&", "trail", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string field, rest;
        splitField(c.text, field, rest);
        EXPECT_EQ(field, c.field) << c.text;
        EXPECT_EQ(rest, c.rest) << c.text;
    }
}

TEST_F(TextTest, MissingFieldsComeOutEmptyAndTheRestMovesOn) {
    // "copy" given only source&destination: the destination field is empty.
    std::string rest = "C:\\a.txt&C:\\b.txt";
    EXPECT_EQ(takeField(rest), "C:\\a.txt");
    EXPECT_EQ(takeField(rest), "");
    EXPECT_EQ(rest, "C:\\b.txt");
}

TEST_F(TextTest, SearchesSkipTrailBytes) {
    fakeUseCodePage932(true);
    // 0x83 0x5C is one character whose trail byte looks like "\".
    EXPECT_EQ(findText("\x83\x5C", "\\"), std::string::npos);
    EXPECT_EQ(findText("\x83\x5C\\", "\\"), 2u);
    EXPECT_EQ(findText("a\x83\x7C|", "|"), 3u);
    // A lead byte as the last byte stands alone and is no match either.
    EXPECT_EQ(findText("ab\x83", "\x83"), 2u);
    fakeUseCodePage932(false);
    EXPECT_EQ(findText("\x83\x5C", "\\"), 1u);
}

TEST_F(TextTest, TrailingBackslashRule) {
    struct Case {
        bool cp932;
        const char* text;
        const char* withBackslash;
    } cases[] = {
        {false, "C:\\Apps", "C:\\Apps\\"},
        {false, "C:\\", "C:\\"},
        {false, "", "\\"},
        {false, "na", "na\\"},
        {false, "dir\x83\x5C", "dir\x83\x5C"},  // in 1252 the last byte is a plain "\"
        {true, "dir\x83\x5C", "dir\x83\x5C\\"},  // in 932 it is the trail of one character
        {true, "dir\x83\x5C\\", "dir\x83\x5C\\"},
    };
    for (const Case& c : cases) {
        fakeUseCodePage932(c.cp932);
        EXPECT_EQ(withTrailingBackslash(c.text), c.withBackslash) << c.text;
    }
}

// The last character is a whole one: a double-byte character in 932, a
// whole UTF-8 sequence where texts are UTF-8 (bytes of no sequence one by one).
TEST_F(TextTest, LastCharacterIsWhole) {
    enum Mode { ansi, cp932, utf8 };
    struct Case {
        Mode mode;
        std::string text;
        std::size_t start;
    } cases[] = {
        {ansi, "caf\xC3\xA9", 4},          {utf8, "caf\xC3\xA9", 3},
        {utf8, "\xE4\xB8\xAD", 0},         {utf8, "a\xF0\x9F\x8E\x81", 1},
        {utf8, "a\\", 1},                  {utf8, "a\x80\x80\x80\x80", 4},
        {utf8, "a\xE4\xB8", 2},             {utf8, "\xC3", 0},
        {cp932, "x\x83\x5C", 1},           {ansi, "x\x83\x5C", 2},
        {utf8, "", std::string::npos},
    };
    for (const Case& c : cases) {
        fakeReset();
        if (c.mode == utf8) fakeUseUtf8(true);
        fakeUseCodePage932(c.mode == cp932);
        EXPECT_EQ(lastCharacterStart(c.text), c.start) << c.text;
    }
    // The ANSI build on a Windows whose ANSI code page is UTF-8 counts the same.
    fakeReset();
    fakeSetCodePage(65001);
    EXPECT_EQ(lastCharacterStart("caf\xC3\xA9"), 3u);
}

TEST_F(TextTest, WellFormedUtf8) {
    struct Case {
        std::string text;
        bool wellFormed;
    } cases[] = {
        {"", true}, {"plain ASCII & more", true}, {"\xC5\x81ukasz \xE4\xB8\xAD \xF0\x9F\x8E\x81", true},
        {"\xEF\xBB\xBF", true}, {"\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF", true},
        {"a\xF0.b", false}, {"\x80", false}, {"\xC3", false}, {"\xC3(", false}, {"\xC0\xAF", false},
        {"\xC1\xBF", false}, {"\xE0\x9F\xBF", false}, {"\xED\xA0\x80", false}, {"\xF0\x8F\xBF\xBF", false},
        {"\xF4\x90\x80\x80", false}, {"\xF5\x80\x80\x80", false}, {"\xFF", false}, {"\xE4\xB8", false},
    };
    for (const Case& c : cases) EXPECT_EQ(wellFormedUtf8(c.text), c.wellFormed) << c.text;
}

TEST_F(TextTest, TextEscapes) {
    struct Case {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"Line one&&Line two%TAB%x", "Line one\r\nLine two\tx"},
        {"&&&", "\r\n&"},
        {"&&&&", "\r\n\r\n"},
        {"&&&&&", "\r\n\r\n&"},
        {"%TAB%%TAB%", "\t\t"},
        {"%TAB&&%", "%TAB\r\n%"},
        {"%tab% %Tab%", "%tab% %Tab%"},
        {"single & stays", "single & stays"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(applyTextEscapes(c.text), c.escaped) << c.text;
}

TEST_F(TextTest, EscapesRespectDoubleByteCharacters) {
    fakeUseCodePage932(true);
    // The first "&" is a trail byte: only one real "&" follows, so no line break.
    EXPECT_EQ(applyTextEscapes("\x81&&x"), "\x81&&x");
    EXPECT_EQ(applyTextEscapes("\x81&&&x"), "\x81&\r\nx");
}

TEST_F(TextTest, DecimalNumbers) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"0", true, 0},   {"7", true, 7},          {"-3", true, -3},          {"+12", true, 12},
        {"", false, 0},   {"x", false, 0},         {"1x", false, 0},          {" 1", false, 0},
        {"-", false, 0},  {"2147483647", true, 2147483647}, {"2147483648", false, 0},
        {"-2147483648", true, -2147483647 - 1},   {"99999999999999999999", false, 0},
    };
    for (const Case& c : cases) {
        int value = -99;
        EXPECT_EQ(parseDecimal(c.text, value), c.ok) << c.text;
        if (c.ok) EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST_F(TextTest, DeviceNames) {
    struct Case {
        const char* name;
        bool device;
    } cases[] = {
        {"\\\\.\\pipe\\x", true},           {"\\\\.\\PhysicalDrive0", true},  {"\\\\.\\C:", true},
        {"//./COM1", true},                 {"\\/.\\mailslot\\m", true},      {"\\\\.", true},
        {"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition1\\x", true},        {"\\\\?\\globalroot\\x", true},
        {"\\\\?\\PhysicalDrive0", true},    {"\\\\?\\C:", true},              {"\\??\\PhysicalDrive0", true},
        {"\\\\?\\Volume{1234}", true},      {"\\\\server\\pipe\\x", true},    {"\\\\server\\PIPE", true},
        {"\\\\?\\UNC\\server\\pipe\\x", true},  {"\\\\server\\MailSlot\\m", true},
        // Files, however they are spelled.
        {"\\\\?\\C:\\work\\b.bat", false},  {"\\\\?\\c:/work/b.bat", false}, {"\\??\\C:\\x", false},
        {"\\\\?\\UNC\\server\\share\\x", false},  {"\\\\?\\Volume{1234}\\x", false},
        {"\\\\server\\share\\pipe\\x", false},     {"\\\\server\\pipes\\x", false},
        {"C:\\work\\b.bat", false},         {"\\work\\b.bat", false},         {".\\pipe\\x", false},
        {"b.bat", false},                   {"", false},                      {"\\\\", false},
    };
    for (const Case& c : cases) EXPECT_EQ(namesDevice(c.name), c.device) << c.name;
    // In code page 932 a "\" that is a trail byte belongs to the server's name.
    fakeUseCodePage932(true);
    EXPECT_FALSE(namesDevice("\\\\\x83\\pipe\\x"));
    EXPECT_TRUE(namesDevice("\\\\\x83\\\\pipe\\x"));
}
}  // namespace
