#include "install/install.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/runner.h"
#include "platform/memory_platform.h"

namespace {
const std::string zero(1, '\0');
const char* const productKey = "Software\\Vendor\\Product\\1.0";

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        fakeReset();
        resetRuns();
    }
    void TearDown() override {
        EXPECT_EQ(0, fakeOpenKeys());
        EXPECT_EQ(0, fakeOpenFiles());
    }
    void record(const std::string& directory) { fakeSetRegistryValue(rootLocalMachine, productKey, "isDir", directory + zero); }
    // A check file whose line 6 and line 7 each leave a file behind.
    void checkFile(const std::string& name, const std::string& marker) {
        fakeAddFile(name, "Product check\r\nVendor\r\nProduct\r\n1.0\r\n" + marker +
                              "\r\nsave&C:\\work\\ran.txt&line 6\r\nsave&C:\\work\\ran.txt&line 7\r\n");
    }
    std::string ran() { return fakeFileExists("C:\\work\\ran.txt") ? fakeFileBytes("C:\\work\\ran.txt") : "nothing"; }
    int calls(const std::string& name) { return static_cast<int>(std::count(fakeCalls.begin(), fakeCalls.end(), name)); }
};

TEST_F(Install, ReadInstallValueOnlyOpens) {
    EXPECT_EQ("na", readInstallValue("Vendor\\Product\\1.0", "isDir"));
    EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Vendor"));
    EXPECT_EQ(0, calls("regCreateKey"));

    record("D:\\Apps\\P");
    EXPECT_EQ("D:\\Apps\\P", readInstallValue("Vendor\\Product\\1.0", "isDir"));
    EXPECT_EQ("na", readInstallValue("Vendor\\Product\\1.0", "other"));
    EXPECT_EQ("na", readInstallValue("Vendor\\Product\\2.0", "isDir"));

    record(std::string(259, 'd'));
    EXPECT_EQ(std::string(259, 'd'), readInstallValue("Vendor\\Product\\1.0", "isDir"));
    record(std::string(260, 'd'));
    EXPECT_EQ("na", readInstallValue("Vendor\\Product\\1.0", "isDir"));

    fakeSetRegistryValue(rootLocalMachine, productKey, "isDir", std::string("A") + zero + zero + zero);
    EXPECT_EQ("A", readInstallValue("Vendor\\Product\\1.0", "isDir"));

    fakeSetRegistryValue(rootLocalMachine, productKey, "isDir", std::string(260, 'd'));  // no zero byte
    EXPECT_EQ("na", readInstallValue("Vendor\\Product\\1.0", "isDir"));
}

// A user who may read HKLM\Software but not write it (every host that is not
// elevated): every read finds what is there, and writes and deletes still
// change nothing.
TEST_F(Install, KeysTheUserMayOnlyReadAreRead) {
    for (bool wholeRoot : {false, true}) {
        SCOPED_TRACE(wholeRoot ? "HKLM denied" : "HKLM\\Software read-only");
        SetUp();
        record("D:\\App");
        fakeSetRegistryValue(rootLocalMachine, "Software\\Acme", "Name", "Value" + zero);
        fakeAddFile("D:\\App\\m.exe", "");
        checkFile("C:\\work\\kw.ini", "m.exe");
        if (wholeRoot) fakeDenyRegistryRoot(rootLocalMachine);
        else fakeMakeRegistryKeyReadOnly(rootLocalMachine, "Software");

        EXPECT_EQ("D:\\App", lookupInstalledLocation(0, "kw.ini"));
        runInstallCheck(0, "kw.ini");
        EXPECT_EQ("line 6", ran());
        runCommandLine(0, "pathToInstall&Vendor&Product&1.0&m.exe&r.txt");
        EXPECT_EQ("PathToInstall=D:\\App\\", fakeFileBytes("C:\\work\\r.txt"));
        runCommandLine(0, "save&%APP%app.txt&x");
        EXPECT_TRUE(fakeFileExists("D:\\App\\app.txt"));
        runCommandLine(0, "regToFile&HKLM&Software\\Acme&Name&r.txt");
        EXPECT_EQ("regToFile=Value", fakeFileBytes("C:\\work\\r.txt"));
        runCommandLine(0, "regToFile&HKLM&Software\\Acme\\New&Name&r.txt");
        EXPECT_EQ("regToFile=ERROR", fakeFileBytes("C:\\work\\r.txt"));
        EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Acme\\New"));  // reads create nothing

        runCommandLine(0, "reg&HKLM&Software\\Acme&Name&changed");
        runCommandLine(0, "regDeleteValue&HKLM&Software\\Acme&Name");
        runCommandLine(0, "regDeleteKey&HKLM&Software\\Vendor\\Product&1.0");
        runCommandLine(0, "regCreateKey&HKLM&Software\\Other");
        std::string bytes;
        EXPECT_TRUE(fakeRegistryValue(rootLocalMachine, "Software\\Acme", "Name", bytes));
        EXPECT_EQ("Value" + zero, bytes);
        EXPECT_TRUE(fakeRegistryKeyExists(rootLocalMachine, productKey));
        EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Other"));
    }
    // Outside the read-only key everything is written as before.
    SetUp();
    fakeMakeRegistryKeyReadOnly(rootLocalMachine, "Software\\Locked");
    runCommandLine(0, "reg&HKLM&Software\\Open&v&x");
    runCommandLine(0, "reg&HKLM&Software\\Locked\\Below&v&x");
    EXPECT_TRUE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Open"));
    EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Locked\\Below"));
}

// A check file with a line that did not fit, or (in the UTF-8 build) one that
// is not UTF-8, runs neither line 6 nor line 7, and names no product for the
// lookup (nor for %APP%).
TEST_F(Install, CutCheckFileRunsNothing) {
    record("D:\\App");
    fakeAddFile("D:\\App\\m.exe", "");
    const std::string lines[] = {"Product check", "Vendor", "Product", "1.0", "m.exe",
                                 "save&C:\\work\\ran.txt&line 6", "save&C:\\work\\ran.txt&line 7"};
    for (int k = 0; k < 16; ++k) {
        const int n = k % 8;
        const bool utf8 = k >= 8;
        fakeUseUtf8(utf8);
        const std::string cut = utf8 ? std::string("\xF0.b") : std::string(300, 'c');
        SCOPED_TRACE(std::to_string(n) + (utf8 ? " not UTF-8" : " cut"));
        std::string file;
        for (int i = 0; i < 7; ++i) file += lines[i] + (i + 1 == n ? cut : "") + "\r\n";
        file += n == 0 ? cut + "\r\n" : "";  // a long line 8 is never read
        fakeAddFile("C:\\work\\kw.ini", file);
        fakeAddFile("C:\\work\\ran.txt", "nothing");
        runCommandLine(0, "installCheck&kw.ini");
        EXPECT_EQ(n == 0 ? "line 6" : "nothing", fakeFileBytes("C:\\work\\ran.txt"));
        EXPECT_EQ(n == 0 ? "D:\\App" : "na", lookupInstalledLocation(0, "kw.ini"));
        runCommandLine(0, "save&C:\\work\\app.txt&%APP%");
        EXPECT_EQ(n == 0 ? "D:\\App\\" : "%APP%", fakeFileBytes("C:\\work\\app.txt"));
    }
}

TEST_F(Install, LookupTakesTheKeyFromLinesTwoToFour) {
    record("D:\\P");
    const struct {
        const char* file;
        const char* expected;
    } cases[] = {
        {"x\nVendor\nProduct\n1.0\n", "D:\\P"},
        {"x\r\nVendor\r\nProduct\r\n1.0", "D:\\P"},
        {"x\nVendor\nProduct \n1.0\n", "na"},  // the blank belongs to the key name
        {"x\nVendor\nProduct\n", "na"},        // line 4 missing: the tail ends in "\"
        {"x\nVendor\x1a\nProduct\n1.0\n", "na"},
        {"", "na"},
    };
    for (const auto& c : cases) {
        fakeAddFile("C:\\work\\check.ini", c.file);
        EXPECT_EQ(c.expected, lookupInstalledLocation(0, "check.ini")) << c.file;
    }
    EXPECT_EQ("na", lookupInstalledLocation(0, "missing.ini"));
    fakeSetRegistryValue(rootLocalMachine, "Software\\Vendor\\Product\\", "isDir", "E:\\Q" + zero);
    fakeAddFile("C:\\work\\check.ini", "x\nVendor\nProduct\n");
    EXPECT_EQ("E:\\Q", lookupInstalledLocation(0, "check.ini"));
}

TEST_F(Install, CheckDecision) {
    const struct {
        const char* what;
        const char* recorded;  // null: nothing recorded
        const char* marker;
        bool markerPresent;
        const char* expected;
    } cases[] = {
        {"installed, marker present", "D:\\App", "m.exe", true, "line 6"},
        {"installed, marker missing", "D:\\App", "m.exe", false, "line 7"},
        {"nothing recorded", nullptr, "m.exe", true, "line 7"},
        {"wildcard marker", "D:\\App", "*.exe", true, "line 6"},
        {"directory ending in a backslash", "D:\\App\\", "m.exe", true, "line 6"},
        {"empty marker", "D:\\App", "", true, "line 7"},
        {"a record of \"na\"", "na", "m.exe", true, "line 7"},
    };
    for (const auto& c : cases) {
        SetUp();
        checkFile("C:\\work\\kw.ini", c.marker);
        fakeAddDirectory("D:\\App");
        fakeAddDirectory("C:\\work\\na");
        if (c.markerPresent) {
            fakeAddFile("D:\\App\\m.exe", "");
            fakeAddFile("C:\\work\\na\\m.exe", "");
        }
        if (c.recorded) record(c.recorded);
        runInstallCheck(0, "kw.ini");
        EXPECT_EQ(c.expected, ran()) << c.what;
        if (!c.recorded) {
            EXPECT_EQ(0, calls("findFirstFile")) << c.what;
        }
    }
}

TEST_F(Install, CheckWithoutFileRunsNothing) {
    record("D:\\App");
    runInstallCheck(0, "kw.ini");
    runCommandLine(0, "");
    runCommandLine(0, "installCheck&other.ini");
    EXPECT_EQ("nothing", ran());
    EXPECT_EQ(0, calls("regOpenKeyForReading"));
}

TEST_F(Install, EmptyCommandWordAndInstallCheckCommand) {
    record("D:\\App");
    fakeAddFile("D:\\App\\m.exe", "");
    checkFile("C:\\work\\kw.ini", "m.exe");
    for (const char* line : {"", "no command at all", "&ignored", "\""}) {
        fakeAddFile("C:\\work\\ran.txt", "stale");
        runCommandLine(0, line);
        EXPECT_EQ("line 6", ran()) << line;
    }
    // Another check file: its own lines 2 to 4 choose the record.
    fakeAddFile("C:\\work\\sub\\other.ini", "o\nVendor\nProduct\n2.0\nm.exe\nsave&C:\\work\\ran.txt&other 6\n"
                                           "save&C:\\work\\ran.txt&other 7\n");
    runCommandLine(0, "installCheck&sub\\other.ini");
    EXPECT_EQ("other 7", ran());
}

TEST_F(Install, CommandLinesRunThroughTheRunner) {
    // Line 6 of a check file other than kw.ini resolves %APP% through kw.ini.
    record("D:\\App");
    fakeAddFile("D:\\App\\m.exe", "");
    checkFile("C:\\work\\kw.ini", "m.exe");
    fakeAddFile("C:\\work\\c.ini", "c\nVendor\nProduct\n1.0\nm.exe\nsave&%APP%out.txt&a|b\nsave&C:\\work\\ran.txt&7\n");
    runCommandLine(0, "installCheck&c.ini");
    EXPECT_EQ("a b", fakeFileBytes("D:\\App\\out.txt"));
}

TEST_F(Install, CheckLeadingBackToItselfEnds) {
    // Line 7 is empty: the empty command word runs the check on kw.ini again.
    fakeAddFile("C:\\work\\kw.ini", "c\nVendor\nProduct\n1.0\nm.exe\nsave&C:\\work\\ran.txt&6\n\n");
    runCommandLine(0, "");
    EXPECT_TRUE(runsStopped());
    EXPECT_EQ(maxRunDepth, calls("openFileForReading") / 2);
    EXPECT_EQ("nothing", ran());
    // So does a line that names the check itself.
    SetUp();
    fakeAddFile("C:\\work\\loop.ini", "c\nV\nP\n1\nm\nx\ninstallCheck&loop.ini\n");
    runCommandLine(0, "installCheck&loop.ini");
    EXPECT_TRUE(runsStopped());
}

TEST_F(Install, PathToInstall) {
    fakeAddFile("D:\\App\\m.exe", "");
    fakeAddFile("C:\\Root\\m.exe", "");
    const struct {
        const char* recorded;
        const char* command;
        const char* reply;
    } cases[] = {
        {"D:\\App", "pathToInstall&Vendor&Product&1.0&m.exe&r.txt", "PathToInstall=D:\\App\\"},
        {"D:\\App\\", "pathToInstall&Vendor&Product&1.0&m.exe&r.txt", "PathToInstall=D:\\App\\"},
        {"C:\\", "pathToInstall&Vendor&Product&1.0&Root&r.txt", "PathToInstall=C:\\"},
        {"D:\\App", "pathToInstall&Vendor&Product&1.0&*.exe&r.txt", "PathToInstall=D:\\App\\"},
        {"D:\\App", "pathToInstall&Vendor&Product&1.0&gone.exe&r.txt", "PathToInstall=ERROR"},
        {"D:\\App", "pathToInstall&Vendor&Product&2.0&m.exe&r.txt", "PathToInstall=ERROR"},
        {"D:\\App", "pathToInstall&Vendor&Product&1.0&r.txt", "PathToInstall=ERROR"},
        {"na", "pathToInstall&Vendor&Product&1.0&m.exe&r.txt", "PathToInstall=ERROR"},
    };
    for (const auto& c : cases) {
        record(c.recorded);
        fakeAddFile("C:\\work\\r.txt", "old");
        runCommandLine(0, c.command);
        EXPECT_EQ(c.reply, fakeFileBytes("C:\\work\\r.txt")) << c.command;
    }
    // The reply file is everything after the fourth "&".
    record("D:\\App");
    runCommandLine(0, "pathToInstall&Vendor&Product&1.0&m.exe&a&b.txt");
    EXPECT_EQ("PathToInstall=D:\\App\\", fakeFileBytes("C:\\work\\a&b.txt"));
    EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Vendor\\Product\\2.0"));
}
}  // namespace
