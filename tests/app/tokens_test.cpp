#include "app/tokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "app/text.h"
#include "install/install.h"
#include "platform/memory_platform.h"

namespace {
class Tokens : public ::testing::Test {
protected:
    void SetUp() override {
        fakeReset();
        fakeSetDirectories("C:\\WINDOWS", "C:\\TEMP\\", "C:\\WINDOWS\\system32");
    }
    // A "kw.ini" naming Vendor\Product\1.0, and that product's recorded directory.
    void install(const std::string& directory) {
        fakeAddFile("C:\\work\\kw.ini", "check\r\nVendor\r\nProduct\r\n1.0\r\nm.exe\r\nrun&x\r\ninstall&y\r\n");
        fakeSetRegistryValue(rootLocalMachine, "Software\\Vendor\\Product\\1.0", "isDir", directory + std::string(1, '\0'));
    }
    int calls(const std::string& name) { return static_cast<int>(std::count(fakeCalls.begin(), fakeCalls.end(), name)); }
};

// The expansion as first written, searching the whole text again after each
// replacement (quadratic): the model the one-pass expansion must agree with.
std::string literalReplace(const std::string& text, const std::string& token, bool (*call)(std::string&),
                           const std::string& fixedValue) {
    std::string result = text;
    std::size_t searchFrom = 0;
    for (;;) {
        std::size_t at = findText(result, token, searchFrom);
        if (at == std::string::npos) return result;
        std::string value = fixedValue;
        if (call && !call(value)) {
            searchFrom = at + token.size();
            continue;
        }
        value = withTrailingBackslash(value);
        result.replace(at, token.size(), value);
        if (findText(value, token) != std::string::npos) searchFrom = at + value.size();
    }
}

bool programFilesModel(std::string& directory) {
    directory = "C:\\Program Files";
    return true;
}

std::string literalExpansion(const std::string& text) {
    std::string result = text;
    if (findText(result, "%APP%") != std::string::npos) {
        std::string location = lookupInstalledLocation(0, "kw.ini");
        if (location != "na") result = literalReplace(result, "%APP%", nullptr, location);
    }
    result = literalReplace(result, "%WIN%", getWindowsDirectory, "");
    result = literalReplace(result, "%TEMP%", getTempPath, "");
    result = literalReplace(result, "%PROG%", programFilesModel, "");
    return literalReplace(result, "%SYS%", getSystemDirectory, "");
}

TEST_F(Tokens, OnePassAgreesWithTheLiteralSearch) {
    // Values that begin with the end of a token or end with its start build
    // new occurrences across the boundary of an insertion; values that hold
    // their own token, failing calls and double-byte text take the guards.
    struct World {
        const char* app;
        const char* windows;
        const char* temp;
        const char* system;
        bool codePage932;
        int failWindows;  // the n-th GetWindowsDirectoryA call fails, 0 none
    } worlds[] = {
        {"D:\\Apps\\Product", "C:\\WINDOWS", "C:\\TEMP\\", "C:\\WINDOWS\\system32", false, 0},
        {"P%x", "IN%", "MP%", "YS%", false, 0},
        {"%APP%", "%WIN%", "%TEMP%", "%SYS%", false, 2},
        {"PP%%WIN%", "N%%SYS%", "%PROG%", "%WI", false, 3},
        {"\x81%APP%\x81", "\x81", "EMP%\x81\\", "S%", true, 1},
        {"", "%", "%%", "%SYS%x%SYS%", true, 0},
    };
    const std::string pieces[] = {"%APP%", "%WIN%", "%TEMP%", "%PROG%", "%SYS%", "%", "%A", "%AP", "%W", "%WI",
                                  "%TE", "%S", "%SY", "P", "PP%", "N%", "S%", "x", "\\", "\x81", "\x81%", "&"};
    std::mt19937 random(13);
    for (const World& w : worlds) {
        for (int n = 0; n < 400; ++n) {
            std::string text;
            for (int k = random() % 12; k > 0; --k) text += pieces[random() % (sizeof pieces / sizeof *pieces)];
            std::string results[2];
            std::vector<std::string> calls[2];
            for (int model = 0; model < 2; ++model) {
                fakeReset();
                fakeUseCodePage932(w.codePage932);
                fakeSetDirectories(w.windows, w.temp, w.system);
                install(w.app);
                if (w.failWindows) fakeFail("getWindowsDirectory", w.failWindows);
                results[model] = model ? literalExpansion(text) : expandPathTokens(0, text);
                calls[model] = fakeCalls;
            }
            ASSERT_EQ(results[1], results[0]) << w.app << " | " << w.windows << " | text " << text;
            ASSERT_EQ(calls[1], calls[0]) << text;
        }
    }
}

TEST_F(Tokens, Expansions) {
    install("D:\\Apps\\Product");
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"%WIN%notepad.exe", "C:\\WINDOWS\\notepad.exe"},
        {"%WIN%\\notepad.exe", "C:\\WINDOWS\\\\notepad.exe"},
        {"%TEMP%a.txt", "C:\\TEMP\\a.txt"},
        {"%PROG%Vendor", "C:\\Program Files\\Vendor"},
        {"%SYS%a&%SYS%b", "C:\\WINDOWS\\system32\\a&C:\\WINDOWS\\system32\\b"},
        {"%WIN%%SYS%", "C:\\WINDOWS\\C:\\WINDOWS\\system32\\"},
        {"%APP%bin\\m.exe", "D:\\Apps\\Product\\bin\\m.exe"},
        {"%APP%a|%APP%b", "D:\\Apps\\Product\\a|D:\\Apps\\Product\\b"},
        {"%win% %Win% %WIN %app% %Temp%", "%win% %Win% %WIN %app% %Temp%"},
        {"%%WIN%%", "%C:\\WINDOWS\\%"},
        {"%PROG%%TEMP%", "C:\\Program Files\\C:\\TEMP\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, expandPathTokens(0, c.text)) << c.text;
}

TEST_F(Tokens, InstalledLocationIsLookedUpOnlyForAppAndOncePerText) {
    install("D:\\P");
    expandPathTokens(0, "%WIN%x");
    EXPECT_EQ(0, calls("openFileForReading"));
    EXPECT_EQ(0, calls("regOpenKeyForReading"));
    fakeCalls.clear();
    EXPECT_EQ("D:\\P\\1 D:\\P\\2 D:\\P\\3", expandPathTokens(0, "%APP%1 %APP%2 %APP%3"));
    EXPECT_EQ(1, calls("openFileForReading"));
    EXPECT_EQ(1, calls("regOpenKeyForReading"));
    EXPECT_EQ(0, fakeOpenFiles());
    EXPECT_EQ(0, fakeOpenKeys());
}

TEST_F(Tokens, WindowsCallsAreMadeForEachOccurrence) {
    EXPECT_EQ("C:\\WINDOWS\\a C:\\WINDOWS\\b", expandPathTokens(0, "%WIN%a %WIN%b"));
    EXPECT_EQ(2, calls("getWindowsDirectory"));
    EXPECT_EQ(0, calls("getTempPath"));
}

TEST_F(Tokens, AppStaysWhenNothingIsRecorded) {
    // No kw.ini at all, then a kw.ini without a record, then a record without "isDir".
    EXPECT_EQ("%APP%x C:\\WINDOWS\\y", expandPathTokens(0, "%APP%x %WIN%y"));
    fakeAddFile("C:\\work\\kw.ini", "c\nVendor\nProduct\n1.0\n");
    EXPECT_EQ("%APP%x", expandPathTokens(0, "%APP%x"));
    fakeSetRegistryValue(rootLocalMachine, "Software\\Vendor\\Product\\1.0", "other", "D:\\P");
    EXPECT_EQ("%APP%x", expandPathTokens(0, "%APP%x"));
}

TEST_F(Tokens, InsertedTextIsSearchedOnlyForLaterTokens) {
    // An installed location holding %WIN% gets it expanded; a Windows
    // directory holding %APP% keeps it.
    install("D:\\%WIN%");
    EXPECT_EQ("D:\\C:\\WINDOWS\\\\x", expandPathTokens(0, "%APP%x"));
    fakeSetDirectories("C:\\%APP%", "C:\\TEMP\\", "C:\\%TEMP%S");
    EXPECT_EQ("C:\\%APP%\\x", expandPathTokens(0, "%WIN%x"));
    // A system directory holding %TEMP% keeps it: %TEMP% comes earlier.
    EXPECT_EQ("C:\\%TEMP%S\\", expandPathTokens(0, "%SYS%"));
    // A Windows directory holding %SYS% has it expanded.
    fakeSetDirectories("C:\\%SYS%", "C:\\TEMP\\", "C:\\S");
    EXPECT_EQ("C:\\C:\\S\\\\", expandPathTokens(0, "%WIN%"));
}

TEST_F(Tokens, ValueHoldingItsOwnTokenIsInsertedOnce) {
    install("D:\\%APP%");
    EXPECT_EQ("D:\\%APP%\\a D:\\%APP%\\b", expandPathTokens(0, "%APP%a %APP%b"));
    fakeSetDirectories("C:\\%WIN%", "C:\\%TEMP%\\", "C:\\%SYS%");
    EXPECT_EQ("C:\\%WIN%\\a C:\\%WIN%\\b", expandPathTokens(0, "%WIN%a %WIN%b"));
    EXPECT_EQ("C:\\%TEMP%\\", expandPathTokens(0, "%TEMP%"));
    EXPECT_EQ("C:\\%SYS%\\C:\\%SYS%\\", expandPathTokens(0, "%SYS%%SYS%"));
}

TEST_F(Tokens, FailingOrOverlongDirectoryLeavesTheToken) {
    fakeFail("getWindowsDirectory", 1);
    EXPECT_EQ("%WIN%a C:\\WINDOWS\\b", expandPathTokens(0, "%WIN%a %WIN%b"));
    EXPECT_EQ(2, calls("getWindowsDirectory"));

    fakeReset();
    fakeFail("getTempPath");
    fakeFail("getSystemDirectory");
    EXPECT_EQ("%TEMP% %TEMP% %SYS% C:\\WINDOWS\\", expandPathTokens(0, "%TEMP% %TEMP% %SYS% %WIN%"));
    EXPECT_EQ(2, calls("getTempPath"));
    EXPECT_EQ(1, calls("getSystemDirectory"));

    fakeReset();
    fakeSetDirectories(std::string(260, 'w'), "", "C:\\S");
    EXPECT_EQ("%WIN%|%TEMP%|C:\\S\\", expandPathTokens(0, "%WIN%|%TEMP%|%SYS%"));
}

// A directory Windows holds with a character the code page lacks: its short
// name where it has one that converts, the UTF-8 bytes in the UTF-8 build,
// and otherwise no value at all (never the best-fit "Lukasz").
TEST_F(Tokens, DirectoriesTheCodePageCannotSpell) {
    const std::string L = fakeWideCharacter(0x141), lone = fakeWideCharacter(0xD800);
    struct Case {
        const char* what;
        bool utf8;
        std::string windows, temp, system;
        std::string longPath, shortPath;  // a short name Windows keeps, when given
        std::string expanded;             // of "%WIN%|%TEMP%|%SYS%"
        int inexact;                      // calls traced as having no exact form
    } cases[] = {
        {"short names", false, "C:\\WIN" + L, "C:\\Users\\" + L + "ukasz\\Temp\\", "C:\\WIN" + L + "\\system32",
         "C:\\Users\\" + L + "ukasz", "C:\\Users\\UKASZ~1", "%WIN%|C:\\Users\\UKASZ~1\\Temp\\|%SYS%", 2},
        {"no short names", false, "C:\\Windows", "C:\\Users\\" + L + "ukasz\\Temp\\", "C:\\Windows\\system32", "", "",
         "C:\\Windows\\|%TEMP%|C:\\Windows\\system32\\", 1},
        {"UTF-8 build", true, "C:\\Windows", "C:\\Users\\" + L + "ukasz\\Temp\\", "C:\\Windows\\system32", "", "",
         "C:\\Windows\\|C:\\Users\\\xC5\x81ukasz\\Temp\\|C:\\Windows\\system32\\", 0},
        {"UTF-8 build, a lone surrogate", true, "C:\\W" + lone, "C:\\T\\", "C:\\W" + lone + "\\s", "C:\\W" + lone,
         "C:\\W~1", "C:\\W~1\\|C:\\T\\|C:\\W~1\\s\\", 0},
        {"a short name with no exact form either", false, "C:\\" + L, "C:\\T\\", "C:\\S", "C:\\" + L,
         "C:\\" + L + "~1", "%WIN%|C:\\T\\|C:\\S\\", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fakeReset();
        fakeUseUtf8(c.utf8);
        fakeSetDirectories(c.windows, c.temp, c.system);
        if (!c.longPath.empty()) fakeSetShortName(c.longPath, c.shortPath);
        EXPECT_EQ(c.expanded, expandPathTokens(0, "%WIN%|%TEMP%|%SYS%"));
        int inexact = 0;
        for (const FakeFailedCall& failed : fakeFailedCalls)
            inexact += failed.line.find(" has no exact form in code page ") != std::string::npos;
        EXPECT_EQ(c.inexact, inexact);
    }
    fakeReset();
    fakeSetDirectories("C:\\Windows", "C:\\" + L + "\\", "C:\\Windows\\system32");
    expandPathTokens(0, "%TEMP%");
    ASSERT_EQ(1u, fakeFailedCalls.size());
    EXPECT_EQ("    GetTempPathW() failed: U+0141 has no exact form in code page 1252", fakeFailedCalls[0].line);
}

TEST_F(Tokens, DoubleByteCharactersHideTokens) {
    fakeUseCodePage932(true);
    // 0x81 opens a double-byte character whose second byte is "%": no token starts there.
    std::string text = std::string("\x81") + "%WIN%x";
    EXPECT_EQ(std::string("\x81") + "%WIN%x", expandPathTokens(0, text));
    EXPECT_EQ("\x81\x81" "C:\\WINDOWS\\x", expandPathTokens(0, "\x81\x81%WIN%x"));
}
}  // namespace
