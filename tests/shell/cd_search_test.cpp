// CD drive search on the fake platform: drive order, what counts as a CD
// holding the file, the boxes of "pathToCDM" and "pathToCDR", and the end of
// the retry loop.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/dispatch.h"
#include "platform/memory_platform.h"
#include "shell/shell.h"

namespace {
const Handle instance = 0x400000;

class CdSearchTest : public ::testing::Test {
protected:
    void SetUp() override { fakeReset(); }
    static void cdWith(char letter, const std::string& file) {
        fakeSetDriveType(letter, driveCdrom);
        fakeAddDirectory(std::string(1, letter) + ":\\");
        if (!file.empty()) fakeAddFile(std::string(1, letter) + ":\\" + file, "x");
    }
    static void run(const std::string& word, const std::string& arguments) {
        dispatchCommand(instance, word, arguments);
    }
    static int count(const std::string& call) {
        return static_cast<int>(std::count(fakeCalls.begin(), fakeCalls.end(), call));
    }
};

TEST_F(CdSearchTest, DriveOrderAndWhatIsFound) {
    struct Case {
        const char* name;
        std::vector<std::pair<char, std::string>> cds;
        const char* file;
        const char* answer;
    } cases[] = {
        {"first of two", {{'F', "setup.exe"}, {'E', "setup.exe"}}, "setup.exe", "E:\\"},
        {"only on a later drive", {{'D', ""}, {'G', "setup.exe"}}, "setup.exe", "G:\\"},
        {"Z before A", {{'A', "s.exe"}, {'Z', "s.exe"}}, "s.exe", "Z:\\"},
        {"A before B", {{'B', "s.exe"}, {'A', "s.exe"}}, "s.exe", "A:\\"},
        {"C can be a CD", {{'C', "s.exe"}}, "s.exe", "C:\\"},
        {"sub-directory", {{'E', "data\\disk1\\a.cab"}}, "data\\disk1\\a.cab", "E:\\"},
        {"wildcard", {{'E', "data\\a.cab"}}, "data\\*.cab", "E:\\"},
        {"wildcard matches a directory", {{'E', "data\\a.cab"}}, "d?ta", "E:\\"},
        {"absent", {{'E', "other.exe"}}, "setup.exe", "na"},
        {"no CD drive", {}, "setup.exe", "na"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        for (auto& cd : c.cds) cdWith(cd.first, cd.second);
        EXPECT_EQ(c.answer, findCdFile(c.file));
    }
}

TEST_F(CdSearchTest, OnlyCdRomDrivesCount) {
    // Hard disk (3), removable (2), network (4), RAM disk (6) hold the file: not found.
    fakeAddFile("C:\\setup.exe", "x");
    for (char letter : {'D', 'E', 'F'}) fakeAddFile(std::string(1, letter) + ":\\setup.exe", "x");
    fakeSetDriveType('D', 2);
    fakeSetDriveType('E', 4);
    fakeSetDriveType('F', 6);
    EXPECT_EQ("na", findCdFile("setup.exe"));
    EXPECT_EQ(26, count("getDriveType"));  // every letter once
    EXPECT_EQ(0, count("findFirstFile"));  // no file query on a drive that is not a CD
}

TEST_F(CdSearchTest, FailingQueriesMoveOnToTheNextDrive) {
    cdWith('E', "s.exe");
    cdWith('F', "s.exe");
    cdWith('G', "s.exe");
    fakeFail("getDriveType", 3);  // E:
    fakeFail("findFirstFile", 1);  // F:
    EXPECT_EQ("G:\\", findCdFile("s.exe"));
}

TEST_F(CdSearchTest, ReplyKeyIsPathToCDForAllThree) {
    struct Case {
        const char* word;
        const char* arguments;
        bool present;
        const char* reply;
    } cases[] = {
        {"pathToCD", "s.exe&r.txt", true, "pathToCD=E:\\"},
        {"pathToCD", "s.exe&r.txt", false, "pathToCD=ERROR"},
        {"pathToCDM", "Found&It is there&s.exe&r.txt", true, "pathToCD=E:\\"},
        {"pathToCDM", "Found&It is there&s.exe&r.txt", false, "pathToCD=ERROR"},
        {"pathToCDR", "Insert&Insert the disc&s.exe&r.txt", true, "pathToCD=E:\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.word) + (c.present ? " present" : " absent"));
        SetUp();
        cdWith('E', c.present ? "s.exe" : "");
        run(c.word, c.arguments);
        EXPECT_EQ(c.reply, fakeFileBytes("C:\\work\\r.txt"));
        EXPECT_EQ(1, count("createFileForWriting"));
    }
}

TEST_F(CdSearchTest, PathToCDAppliesNoEscapes) {
    cdWith('E', "x");
    // The first "&" ends the file name, so the reply file is "&b.txt".
    run("pathToCD", "x&&b.txt");
    EXPECT_EQ("pathToCD=E:\\", fakeFileBytes("C:\\work\\&b.txt"));
}

TEST_F(CdSearchTest, PathToCDMShowsItsBoxBeforeReplying) {
    cdWith('E', "s.exe");
    run("pathToCDM", "Disc%TAB%found&Line 1&&Line 2&s.exe&r.txt");
    ASSERT_EQ(1u, fakeBoxes.size());
    EXPECT_EQ("Disc\tfound", fakeBoxes[0].caption);
    EXPECT_EQ("Line 1\r\nLine 2", fakeBoxes[0].text);  // "&&" is a line break, not a separator
    EXPECT_EQ(0x1000u, fakeBoxes[0].style);
    EXPECT_EQ(instance, fakeBoxes[0].owner);
    auto box = std::find(fakeCalls.begin(), fakeCalls.end(), "messageBox");
    auto reply = std::find(fakeCalls.begin(), fakeCalls.end(), "createFileForWriting");
    EXPECT_LT(box, reply);
    EXPECT_EQ("pathToCD=E:\\", fakeFileBytes("C:\\work\\r.txt"));

    SetUp();
    run("pathToCDM", "Cap&Text&s.exe&r.txt");  // not found: no box
    EXPECT_TRUE(fakeBoxes.empty());
    EXPECT_EQ("pathToCD=ERROR", fakeFileBytes("C:\\work\\r.txt"));
}

TEST_F(CdSearchTest, PathToCDRRetriesOnlyOnRetry) {
    struct Case {
        const char* name;
        std::vector<int> answers;
        std::size_t boxes;
    } cases[] = {
        {"cancel", {2}, 1},
        {"retry twice, then cancel", {4, 4, 2}, 3},
        {"box failed (0)", {0}, 1},
        {"box failed under Wine (-1)", {-1}, 1},
        {"OK is no Retry", {1}, 1},
        {"Ignore is no Retry", {4, 5}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        cdWith('E', "");
        fakeAnswerBoxes(c.answers);
        run("pathToCDR", "Insert&&&Disc 1 please&s.exe&r.txt");
        ASSERT_EQ(c.boxes, fakeBoxes.size());
        EXPECT_EQ("Insert\r\n", fakeBoxes[0].caption);
        EXPECT_EQ("Disc 1 please", fakeBoxes[0].text);
        EXPECT_EQ(0x1035u, fakeBoxes[0].style);
        EXPECT_EQ(instance, fakeBoxes[0].owner);
        EXPECT_EQ("pathToCD=ERROR", fakeFileBytes("C:\\work\\r.txt"));
        EXPECT_EQ(1, count("createFileForWriting"));  // written once, at the end
    }
}

TEST_F(CdSearchTest, PathToCDRFindsTheDiscAfterRetry) {
    cdWith('E', "s.exe");
    fakeFail("findFirstFile", 1);  // the first search misses, as before the disc is in
    fakeAnswerBoxes({4});
    run("pathToCDR", "Insert&Insert the disc&s.exe&r.txt");
    EXPECT_EQ(1u, fakeBoxes.size());
    EXPECT_EQ("pathToCD=E:\\", fakeFileBytes("C:\\work\\r.txt"));
}

TEST_F(CdSearchTest, PathToCDRBoxFailingByCallEndsTheCommand) {
    cdWith('E', "");
    fakeFail("messageBox");  // every box fails: the loop must still end
    run("pathToCDR", "Insert&Text&s.exe&r.txt");
    EXPECT_EQ(1, count("messageBox"));
    EXPECT_EQ("pathToCD=ERROR", fakeFileBytes("C:\\work\\r.txt"));
}
}  // namespace
