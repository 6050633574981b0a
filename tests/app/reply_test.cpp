// The text-file writer behind every reply and stored text.
#include <gtest/gtest.h>

#include "app/reply.h"
#include "platform/memory_platform.h"

namespace {
struct ReplyTest : ::testing::Test {
    void SetUp() override { fakeReset(); }
};

TEST_F(ReplyTest, LineFeedsBecomeCrLfAndNothingElseChanges) {
    struct Case {
        std::string text, stored;
    } cases[] = {
        {"pathToCD=E:\\", "pathToCD=E:\\"},
        {"a\nb", "a\r\nb"},
        {"a\r\nb", "a\r\r\nb"},
        {"a\rb", "a\rb"},
        {"\n\n", "\r\n\r\n"},
        {std::string("z\0y", 3), std::string("z\0y", 3)},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(writeTextFile("C:\\r.txt", c.text));
        EXPECT_EQ(fakeFileBytes("C:\\r.txt"), c.stored);
    }
    EXPECT_EQ(fakeOpenFiles(), 0);
}

TEST_F(ReplyTest, ALongerOldFileKeepsOnlyTheNewText) {
    fakeAddFile("C:\\r.txt", "a much longer earlier reply");
    writeTextFile("C:\\r.txt", "short");
    EXPECT_EQ(fakeFileBytes("C:\\r.txt"), "short");
}

TEST_F(ReplyTest, NoFileWhenTheNameIsEmptyOrTheDirectoryIsMissing) {
    EXPECT_FALSE(writeTextFile("", "x"));
    EXPECT_FALSE(writeTextFile("C:\\missing\\r.txt", "x"));
    EXPECT_EQ(fakeEntries().size(), 2u);  // C:\ and C:\work only
}

TEST_F(ReplyTest, AFileThatCannotBeOpenedStaysAsItWas) {
    fakeAddFile("C:\\ro.txt", "old");
    fakeSetReadOnly("C:\\ro.txt");
    EXPECT_FALSE(writeTextFile("C:\\ro.txt", "new"));
    EXPECT_EQ(fakeFileBytes("C:\\ro.txt"), "old");
}

TEST_F(ReplyTest, AFailedWriteIsReportedAndTheFileIsClosed) {
    fakeFail("writeFileBytes");
    EXPECT_FALSE(writeTextFile("C:\\r.txt", "x"));
    EXPECT_EQ(fakeOpenFiles(), 0);
}
}  // namespace
