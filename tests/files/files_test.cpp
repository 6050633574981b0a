// The plain file commands and the path test.
#include <gtest/gtest.h>

#include <map>

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
        {"move&C:\\src.txt&C:\\dst.txt&", "copyToNewFile", true, "old"},
        {"move&C:\\src.txt&C:\\dst.txt&", "putFileInPlace", true, "old"},
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
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,clearReadOnly,putFileInPlace"},
        {"copy&setup.ini&C:\\new.ini&", "E:\\data", nullptr, "C:\\new.ini", true, false,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,clearReadOnly,putFileInPlace"},
        // The volume, not the first two characters, tells: a long name, a
        // disc mounted in a folder, a read-only file system on another drive.
        {"copy&\\\\?\\E:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,clearReadOnly,putFileInPlace"},
        {"copy&C:\\mnt\\cd\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,clearReadOnly,putFileInPlace"},
        {"copy&F:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,volumeReadOnly,clearReadOnly,"
         "putFileInPlace"},
        // Where Windows cannot name the volume, the drive of the full name.
        {"copy&E:\\setup.ini&C:\\new.ini&", "C:\\work", "volumePathName", "C:\\new.ini", true, false,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,clearReadOnly,putFileInPlace"},
        // The source on the disc cannot be deleted: the copy stays, and is writable.
        {"move&E:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,clearReadOnly,putFileInPlace,"
         "deleteFile"},
        {"copyM&Done&ok&E:\\setup.ini&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, false,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,clearReadOnly,putFileInPlace,"
         "windowStationVisible,windowsVersion,processSession,messageBox"},
        // A read-only file copied from a hard disk keeps its attribute.
        {"copy&C:\\ro.txt&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, true,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,volumeReadOnly,putFileInPlace"},
        {"move&C:\\ro.txt&C:\\new.ini&", "C:\\work", nullptr, "C:\\new.ini", true, true,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,volumeReadOnly,putFileInPlace,"
         "deleteFile"},
        // A kept destination stays as it was, attribute and all, and nothing is copied.
        {"copy&E:\\setup.ini&C:\\ro.txt&TRUE", "C:\\work", nullptr, "C:\\ro.txt", false, true, "fileIdentity"},
        // A copy that cannot be made writable is still a copy.
        {"copyM&Done&ok&E:\\setup.ini&C:\\new.ini&", "C:\\work", "clearReadOnly", "C:\\new.ini", true, true,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,clearReadOnly,putFileInPlace,"
         "windowStationVisible,windowsVersion,processSession,messageBox"},
        {"copy&E:\\setup.ini&C:\\new.ini&", "C:\\work", "getDriveType", "C:\\new.ini", true, true,
         "fileIdentity,copyToNewFile,fullPathName,volumePathName,getDriveType,volumeReadOnly,putFileInPlace"},
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

// A copy, a move or a save that fails anywhere leaves every file as it was:
// the old destination byte for byte, the source, and no temporary file.
TEST_F(FilesTest, DestinationsAreWholeOrAsTheyWere) {
    struct Case {
        const char* line;
        const char* failing;  // a platform call made to fail, or null: D: is full
        const char* failedCall;  // the traced failure expected, or null
    } cases[] = {
        {"copy&C:\\src.txt&D:\\new.txt&TRUE", nullptr,
         "    CopyFileA(\"C:\\src.txt\", \"D:\\~hc0000.tmp\", TRUE) failed: error 112"},
        {"copy&C:\\src.txt&D:\\sub\\dst.txt&FALSE", nullptr,
         "    CopyFileA(\"C:\\src.txt\", \"D:\\sub\\~hc0000.tmp\", TRUE) failed: error 112"},
        {"move&C:\\src.txt&dst.txt&", nullptr,
         "    CopyFileA(\"C:\\src.txt\", \"~hc0000.tmp\", TRUE) failed: error 112"},
        {"moveM&Moved&ok&C:\\src.txt&D:\\sub\\dst.txt&", nullptr, nullptr},
        {"save&D:\\sub\\dst.txt&a longer text", nullptr, "    WriteFile(handle) failed: error 112"},
        {"savePME&x.txt&none&D:\\new.txt&one&&two", nullptr, nullptr},
        {"D:\\sub\\dst.txt&the default branch", nullptr, nullptr},
        // The last step fails (the destination open elsewhere, say).
        {"move&C:\\src.txt&C:\\dst.txt&", "putFileInPlace", nullptr},
        {"copy&C:\\ro.txt&C:\\dst.txt&", "putFileInPlace", nullptr},
        {"save&C:\\new.txt&new", "putFileInPlace", nullptr},
        {"save&C:\\dst.txt&new", "writeFileBytes", nullptr},
        // Written but not on the disk: never renamed over the old text.
        {"save&C:\\dst.txt&new", "flushFileBuffers", nullptr},
        {"copy&C:\\src.txt&C:\\dst.txt&", "copyToNewFile", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        SetUp();
        fakeAddFile("C:\\ro.txt", "read-only", true);
        fakeAddFile("D:\\sub\\dst.txt", "old");
        fakeSetDriveCapacity('D', 5);
        fakeSetCurrentDirectory("D:\\sub");
        if (c.failing) fakeFail(c.failing);
        std::map<std::string, FakeEntry> before = fakeEntrySnapshot();
        runCommandLine(1, c.line);
        std::map<std::string, FakeEntry> after = fakeEntrySnapshot();
        EXPECT_EQ(before.size(), after.size());
        for (auto& entry : before) {
            ASSERT_TRUE(after.count(entry.first)) << entry.first;
            EXPECT_EQ(after[entry.first].bytes, entry.second.bytes) << entry.first;
            EXPECT_EQ(after[entry.first].readOnly, entry.second.readOnly) << entry.first;
        }
        EXPECT_EQ(fakeOpenFiles(), 0);
        EXPECT_TRUE(fakeBoxes.empty() && fakeShellCalls.empty());
        if (c.failedCall) {
            ASSERT_FALSE(fakeFailedCalls.empty());
            EXPECT_EQ(fakeFailedCalls[0].line, c.failedCall);
        }
    }
}

// A destination that CopyFileA or CREATE_ALWAYS would refuse is refused
// before anything is copied; one reached under another name is the source.
TEST_F(FilesTest, RefusedDestinationsChangeNothing) {
    const unsigned long ro = fileReadOnly, hidden = fileHidden, system = fileSystem;
    struct Case {
        const char* line;
        unsigned long sourceAttributes, destinationAttributes;
        const char* refusal;  // the trace line, or null when the file is replaced
    } cases[] = {
        {"copy&C:\\src.txt&C:\\dst.txt&TRUE", 0, 0, "CopyFileA not called: the destination exists and TRUE keeps it: error 80"},
        {"move&C:\\src.txt&C:\\dst.txt&TRUE", 0, 0, "CopyFileA not called: the destination exists and TRUE keeps it: error 80"},
        {"copy&C:\\src.txt&C:\\dst.txt&", 0, ro, "CopyFileA not called: the destination is read-only: error 5"},
        {"copy&C:\\src.txt&C:\\dst.txt&", 0, hidden, "CopyFileA not called: the destination is hidden or system and the source is not: error 5"},
        {"copy&C:\\src.txt&C:\\dst.txt&", hidden, system, "CopyFileA not called: the destination is hidden or system and the source is not: error 5"},
        {"copy&C:\\src.txt&C:\\dst.txt&", hidden, hidden, nullptr},
        {"move&C:\\src.txt&C:\\dst.txt&", hidden | system | ro, hidden | system, nullptr},
        {"save&C:\\dst.txt&new", 0, ro, "CreateFileA not called: the file is read-only, hidden or system: error 5"},
        {"saveP&C:\\dst.txt&new", 0, hidden, "CreateFileA not called: the file is read-only, hidden or system: error 5"},
        {"C:\\dst.txt&new", 0, system, "CreateFileA not called: the file is read-only, hidden or system: error 5"},
        {"save&C:\\dst.txt&source", 0, 0, nullptr},
        // One file under two names: a replace would put the copy over the
        // file, and the move would then delete it.
        {"move&C:\\src.txt&C:\\SRC.TXT&FALSE", 0, 0, "CopyFileA not called: the source and the destination are one file: error 32"},
        {"moveM&Moved&ok&C:\\src.txt&C:\\Src.txt&", 0, 0, "CopyFileA not called: the source and the destination are one file: error 32"},
        {"copy&C:\\src.txt&c:\\src.txt&", ro, 0, "CopyFileA not called: the source and the destination are one file: error 32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        SetUp();
        fakeTraceOn(true);
        fakeSetAttributes("C:\\src.txt", c.sourceAttributes);
        fakeSetAttributes("C:\\dst.txt", c.destinationAttributes);
        std::map<std::string, FakeEntry> before = fakeEntrySnapshot();
        runCommandLine(1, c.line);
        if (c.refusal) {
            EXPECT_EQ(fakeTraceLines.back(), std::string("    ") + c.refusal);
            EXPECT_EQ(fakeEntrySnapshot().size(), before.size());
            EXPECT_EQ(fakeFileBytes("C:\\dst.txt"), "old");
            EXPECT_EQ(fakeAttributes("C:\\dst.txt"), c.destinationAttributes);
            EXPECT_EQ(fakeFileBytes("C:\\src.txt"), "source");
            EXPECT_TRUE(fakeBoxes.empty());
        } else {
            EXPECT_EQ(fakeFileBytes("C:\\dst.txt"), "source");
            EXPECT_EQ(fakeAttributes("C:\\dst.txt"), c.line[0] == 's' ? 0 : c.sourceAttributes);
        }
    }
}

// Temporary names never take a name that is there: a host file of that
// name stays as it is, and the next name is used.
TEST_F(FilesTest, TemporaryNamesAvoidFilesThatAreThere) {
    for (const char* line : {"copy&C:\\src.txt&C:\\other\\dst.txt&", "save&C:\\other\\dst.txt&source"}) {
        SCOPED_TRACE(line);
        SetUp();
        fakeAddFile("C:\\other\\~hc0000.tmp", "the host's");
        fakeAddFile("C:\\work\\~hc0001.tmp", "in the current directory, not in the destination's");
        std::size_t entries = fakeEntries().size();
        runCommandLine(1, line);
        EXPECT_EQ(fakeFileBytes("C:\\other\\dst.txt"), "source");
        EXPECT_EQ(fakeFileBytes("C:\\other\\~hc0000.tmp"), "the host's");
        EXPECT_EQ(fakeEntries().size(), entries + 1);
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
