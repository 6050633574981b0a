// "message" and "confirm".
#include <gtest/gtest.h>

#include "app/boxes.h"
#include "app/runner.h"
#include "platform/memory_platform.h"

namespace {
struct BoxesTest : ::testing::Test {
    void SetUp() override {
        fakeReset();
        resetRuns();
    }
};

TEST_F(BoxesTest, MessageShowsCaptionAndEscapedText) {
    struct Case {
        const char* line;
        const char* caption;
        const char* text;
    } cases[] = {
        {"message&Title&Hello&&World", "Title", "Hello\r\nWorld"},
        {"message&Hello", "", "Hello"},
        {"message&Title&&Text", "Title", "&Text"},
        {"message&Tab%TAB%cap&a%TAB%b", "Tab%TAB%cap", "a\tb"},
        {"message&A|B&C|D", "A B", "C D"},
    };
    for (const auto& c : cases) {
        fakeReset();
        runCommandLine(77, c.line);
        ASSERT_EQ(fakeBoxes.size(), 1u) << c.line;
        EXPECT_EQ(fakeBoxes[0].caption, c.caption) << c.line;
        EXPECT_EQ(fakeBoxes[0].text, c.text) << c.line;
        EXPECT_EQ(fakeBoxes[0].style, 0x1000u);
        EXPECT_EQ(fakeBoxes[0].owner, 77u);
    }
}

TEST_F(BoxesTest, ConfirmRunsItsCommandLineOnlyOnOk) {
    struct Case {
        int answer;
        bool runs;
    } cases[] = {{1, true}, {2, false}, {0, false}, {-1, false}, {6, false}};
    for (const auto& c : cases) {
        fakeReset();
        fakeAnswerBoxes({c.answer});
        runCommandLine(1, "confirm&Install&Install now?&save&C:\\ok.txt&yes");
        ASSERT_EQ(fakeBoxes.size(), 1u);
        EXPECT_EQ(fakeBoxes[0].caption, "Install");
        EXPECT_EQ(fakeBoxes[0].text, "Install now?");
        EXPECT_EQ(fakeBoxes[0].style, 0x1001u);
        EXPECT_EQ(fakeFileExists("C:\\ok.txt"), c.runs) << c.answer;
    }
}

TEST_F(BoxesTest, ConfirmEscapesTheWholeTextBeforeTakingFields) {
    // The "&&" meant for the inner line is already a line break when it runs.
    runCommandLine(1, "confirm&T&Q&&more&savePretty&C:\\p.txt&a&&b");
    ASSERT_EQ(fakeBoxes.size(), 1u);
    EXPECT_EQ(fakeBoxes[0].text, "Q\r\nmore");
    EXPECT_EQ(fakeFileBytes("C:\\p.txt"), "a\r\r\nb");
}

TEST_F(BoxesTest, ConfirmWithTooFewFieldsRunsTheInstallCheck) {
    for (const char* line : {"confirm&Title&Question", "confirm&Title&Question&"}) {
        fakeReset();
        runCommandLine(1, line);
        ASSERT_EQ(fakeBoxes.size(), 1u);
        ASSERT_FALSE(fakeCalls.empty());
        EXPECT_EQ(fakeCalls.back(), "openFileForReading") << line;  // kw.ini
    }
}
}  // namespace
