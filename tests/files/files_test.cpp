// The plain file commands and the path test.
#include <gtest/gtest.h>

#include "app/runner.h"
#include "platform/memory_platform.h"
#include "files/files.h"

namespace {
struct FilesTest : ::testing::Test {
    void SetUp() override {
        fakeReset();
        resetRuns();
        fakeAddFile("C:\\src.txt", "source");
        fakeAddFile("C:\\dst.txt", "old");
    }
};

TEST_F(FilesTest, SaveForms) {
    struct Case {
        const char* line;
        const char* file;
        const char* stored;
    } cases[] = {
        {"save&C:\\s.txt&a&b&c", "C:\\s.txt", "a&b&c"},
        {"save&C:\\s.txt&a|b", "C:\\s.txt", "a b"},
        {"save&C:\\s.txt&", "C:\\s.txt", ""},
        {"savePretty&C:\\s.txt&one&&two%TAB%three", "C:\\s.txt", "one\r\r\ntwo\tthree"},
        {"saveP&C:\\s.txt&end%TAB%", "C:\\s.txt", "end\t"},
    };
    for (const auto& c : cases) {
        fakeReset();
        runCommandLine(1, c.line);
        EXPECT_EQ(fakeFileBytes(c.file), c.stored) << c.line;
    }
    // Without "&" the file name is empty: nothing is written.
    fakeReset();
    runCommandLine(1, "save&C:\\s.txt");
    EXPECT_FALSE(fakeFileExists("C:\\s.txt"));
}

TEST_F(FilesTest, CopyFlag) {
    struct Case {
        const char* flag;
        const char* destination;
    } cases[] = {{"TRUE", "old"}, {"FALSE", "source"}, {"true", "source"}, {"", "source"}, {"TRUE ", "source"}};
    for (const auto& c : cases) {
        SetUp();
        runCommandLine(1, std::string("copy&C:\\src.txt&C:\\dst.txt&") + c.flag);
        EXPECT_EQ(fakeFileBytes("C:\\dst.txt"), c.destination) << c.flag;
        EXPECT_EQ(fakeFileBytes("C:\\src.txt"), "source");
    }
    // Two fields only: the destination is empty and nothing is copied.
    SetUp();
    runCommandLine(1, "copy&C:\\src.txt&C:\\new.txt");
    EXPECT_FALSE(fakeFileExists("C:\\new.txt"));
}

TEST_F(FilesTest, MoveNeverLosesTheSource) {
    struct Case {
        const char* line;
        const char* failing;  // a platform call made to fail, or null
        bool sourceStays;
        const char* destination;
    } cases[] = {
        {"move&C:\\src.txt&C:\\dst.txt&", nullptr, false, "source"},
        {"move&C:\\src.txt&C:\\dst.txt&TRUE", nullptr, true, "old"},
        {"move&C:\\src.txt&C:\\missing\\dst.txt&", nullptr, true, nullptr},
        {"move&C:\\src.txt&C:\\dst.txt&", "copyFile", true, "old"},
        {"move&C:\\src.txt&C:\\dst.txt&", "deleteFile", true, "source"},
    };
    for (const auto& c : cases) {
        SetUp();
        if (c.failing) fakeFail(c.failing);
        runCommandLine(1, c.line);
        EXPECT_EQ(fakeFileExists("C:\\src.txt"), c.sourceStays) << c.line;
        if (c.sourceStays) EXPECT_EQ(fakeFileBytes("C:\\src.txt"), "source");
        if (c.destination) EXPECT_EQ(fakeFileBytes("C:\\dst.txt"), c.destination) << c.line;
    }
}

TEST_F(FilesTest, CopiesFromACdAreWritable) {
    // Every file on a CD is read-only and CopyFileA copies that attribute.
    struct Case {
        const char* line;
        const char* currentDirectory;
        const char* failing;     // a platform call made to fail, or null
        const char* destination;
        bool copied, readOnly;
        const char* calls;       // the platform calls in order, "," between them
    } cases[] = {
        {"copy&E:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "copyFile,fullPathName,volumePathName,getDriveType,clearReadOnly"},
        {"copy&setup.ini&C:\\new.ini&", "E:\\data", nullptr, "C:\\new.ini", true, false,
         "copyFile,fullPathName,volumePathName,getDriveType,clearReadOnly"},
        // The volume, not the first two characters, tells: a long name, a
        // disc mounted in a folder, a read-only file system on another drive.
        {"copy&\\\\?\\E:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "copyFile,fullPathName,volumePathName,getDriveType,clearReadOnly"},
        {"copy&C:\\mnt\\cd\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "copyFile,fullPathName,volumePathName,getDriveType,clearReadOnly"},
        {"copy&F:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "copyFile,fullPathName,volumePathName,getDriveType,volumeReadOnly,clearReadOnly"},
        // Where Windows cannot name the volume, the drive of the full name.
        {"copy&E:\\setup.ini&C:\\new.ini&", "C:\\work", "volumePathName", "C:\\new.ini", true, false,
         "copyFile,fullPathName,volumePathName,getDriveType,clearReadOnly"},
        // The source on the disc cannot be deleted: the copy stays, and is writable.
        {"move&E:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "copyFile,fullPathName,volumePathName,getDriveType,clearReadOnly,deleteFile"},
        {"copyM&Done&ok&E:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "copyFile,fullPathName,volumePathName,getDriveType,clearReadOnly,windowStationVisible,windowsVersion,"
         "processSession,messageBox"},
        // A read-only file copied from a hard disk keeps its attribute.
        {"copy&C:\\ro.txt&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, true,
         "copyFile,fullPathName,volumePathName,getDriveType,volumeReadOnly"},
        {"move&C:\\ro.txt&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, true,
         "copyFile,fullPathName,volumePathName,getDriveType,volumeReadOnly,deleteFile"},
        // A failed copy leaves the existing destination as it was, attribute and all.
        {"copy&E:\\setup.ini&C:\\ro.txt&TRUE", "C:\\work", nullptr, "C:\\ro.txt", false, true, "copyFile"},
        // A copy that cannot be made writable is still a copy.
        {"copyM&Done&ok&E:\\setup.ini&C:\\new.ini&", "C:\\work", "clearReadOnly", "C:\\new.ini", true, true,
         "copyFile,fullPathName,volumePathName,getDriveType,clearReadOnly,windowStationVisible,windowsVersion,"
         "processSession,messageBox"},
        {"copy&E:\\setup.ini&C:\\new.ini&", "C:\\work", "getDriveType", "C:\\new.ini", true, true,
         "copyFile,fullPathName,volumePathName,getDriveType,volumeReadOnly"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        fakeReset();
        resetRuns();
        fakeSetDriveType('E', driveCdrom);
        fakeAddFile("E:\\setup.ini", "from the disc");
        fakeSetReadOnly("E:\\setup.ini");
        fakeAddFile("E:\\data\\setup.ini", "from the disc");
        fakeSetReadOnly("E:\\data\\setup.ini");
        fakeAddFile("C:\\ro.txt", "read-only");
        fakeSetReadOnly("C:\\ro.txt");
        for (const char* disc : {"C:\\mnt\\cd\\setup.ini", "F:\\setup.ini"}) {
            fakeAddFile(disc, "from the disc");
            fakeSetReadOnly(disc);
        }
        fakeSetVolume("C:\\mnt\\cd", driveCdrom, true);
        fakeSetVolume("F:\\", 4, true);  // DRIVE_REMOTE: a disc shared by another machine
        fakeSetCurrentDirectory(c.currentDirectory);
        if (c.failing) fakeFail(c.failing);
        fakeCalls.clear();
        runCommandLine(1, c.line);
        std::string calls;
        for (const std::string& call : fakeCalls) calls += (calls.empty() ? "" : ",") + call;
        EXPECT_EQ(calls, c.calls);
        bool fromTheDisc = std::string(c.line).find("setup.ini") != std::string::npos;
        EXPECT_EQ(fakeFileBytes(c.destination), c.copied && fromTheDisc ? "from the disc" : "read-only");
        EXPECT_EQ(fakeIsReadOnly(c.destination), c.readOnly);
        EXPECT_TRUE(fakeIsReadOnly("E:\\setup.ini"));
    }
}

TEST_F(FilesTest, OneCallCommands) {
    fakeAddFile("C:\\a&b.txt", "x");
    runCommandLine(1, "delete&C:\\a&b.txt");
    EXPECT_FALSE(fakeFileExists("C:\\a&b.txt"));
    runCommandLine(1, "makeDir&C:\\new");
    EXPECT_TRUE(fakeDirectoryExists("C:\\new"));
    runCommandLine(1, "makeDir&C:\\no\\parent");
    EXPECT_FALSE(fakeDirectoryExists("C:\\no\\parent"));
    fakeAddFile("C:\\full\\f.txt", "x");
    runCommandLine(1, "deleteDir&C:\\full");
    EXPECT_TRUE(fakeDirectoryExists("C:\\full"));
    runCommandLine(1, "deleteDir&C:\\new");
    EXPECT_FALSE(fakeDirectoryExists("C:\\new"));
}

TEST_F(FilesTest, PathExists) {
    fakeAddFile("C:\\Apps\\viewer.exe", "x");
    fakeAddDirectory("C:\\Apps\\sub");
    struct Case {
        const char* directory;
        const char* name;
        bool exists;
    } cases[] = {
        {"C:\\Apps", "viewer.exe", true},  {"C:\\Apps\\", "viewer.exe", true}, {"C:\\Apps", "sub", true},
        {"C:\\Apps", "*.exe", true},       {"C:\\Apps", "*.dll", false},       {"C:\\Apps", "missing", false},
        {"C:\\", "Apps", true},            {"", "Apps", true},                  {"C:\\Apps", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(pathExists(c.directory, c.name), c.exists) << c.directory << "|" << c.name;
    // The joined path is handed over as is: a drive root gets no second backslash.
    fakeCalls.clear();
    EXPECT_TRUE(pathExists("C:\\", "Apps"));
}
}  // namespace
