#include "install/install.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/runner.h"
#include "install/journal.h"
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

// Every lookup reads HKLM first and the current user's record only when HKLM
// has none: a check file finds either kind of installation, and one for
// every user wins.
TEST_F(Install, LookupsReadTheMachineRecordThenTheUsers) {
    struct Case {
        const char* machine;  // null: no record
        const char* user;
        const char* found;  // "na" for none
    } cases[] = {
        {"D:\\Machine", nullptr, "D:\\Machine"},
        {nullptr, "D:\\User", "D:\\User"},
        {"D:\\Machine", "D:\\User", "D:\\Machine"},
        {"D:\\Gone", "D:\\User", "D:\\Gone"},  // the machine's record counts even without its marker
        {nullptr, nullptr, "na"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.machine ? c.machine : "-") + " / " + (c.user ? c.user : "-"));
        SetUp();
        for (const char* dir : {"D:\\Machine", "D:\\User"}) fakeAddFile(std::string(dir) + "\\m.exe", "");
        fakeAddDirectory("D:\\Gone");
        if (c.machine) record(c.machine);
        if (c.user) fakeSetRegistryValue(rootCurrentUser, productKey, "isDir", c.user + zero);
        checkFile("C:\\work\\kw.ini", "m.exe");
        std::string found = c.found;
        bool withMarker = found != "na" && found != "D:\\Gone";
        EXPECT_EQ(found, lookupInstalledLocation(0, "kw.ini"));
        runInstallCheck(0, "kw.ini");
        EXPECT_EQ(withMarker ? "line 6" : "line 7", ran());
        runCommandLine(0, "pathToInstall&Vendor&Product&1.0&m.exe&r.txt");
        EXPECT_EQ(withMarker ? "PathToInstall=" + found + "\\" : "PathToInstall=ERROR", fakeFileBytes("C:\\work\\r.txt"));
        runCommandLine(0, "save&C:\\work\\app.txt&%APP%");
        EXPECT_EQ(found == "na" ? "%APP%" : found + "\\", fakeFileBytes("C:\\work\\app.txt"));
        if (!c.user) EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, productKey));  // read, never created
    }
}

// ---- the uninstall journal, the entry and "uninstall" ---------------------------

const char* const viewerKey = "Software\\Vendor\\Viewer\\2.0";
const char* const viewerJournal = "Software\\Vendor\\Viewer\\2.0\\hostcmd uninstall journal";
const char* const viewerEntry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#Vendor#Viewer#2.0";
const char* const installed = "C:\\Apps\\Vendor\\Viewer";
const char* const desktop = "C:\\Users\\u\\Desktop";

class Journal : public Install {
protected:
    void SetUp() override {
        Install::SetUp();
        fakeSetShellFolder(folderDesktop, desktop);
        fakeSetShellFolder(folderPrograms, "C:\\Users\\u\\Start Menu\\Programs");
        fakeAddDirectory(desktop);
        fakeAddDirectory("C:\\Users\\u\\Start Menu\\Programs");
        fakeAddDirectory("C:\\Apps");
        fakeAddDirectory("C:\\TEMP");
        fakeAddFile("C:\\work\\hostcmd.exe", "MZ hostcmd");
        fakeAddFile("C:\\cd\\viewer.exe", "MZ viewer");
        fakeAddFile("C:\\cd\\help.txt", "help");
        fakeAddFile("C:\\WINDOWS\\win.ini", "[windows]");
        fakeCreateRegistryKey(rootLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        fakeCreateRegistryKey(rootCurrentUser, "Software\\Microsoft");
        fakeAddFile("C:\\work\\kw.ini", "k\r\nVendor\r\nViewer\r\n2.0\r\nviewer.exe\r\n"
                                         "save&C:\\work\\ran.txt&6\r\nsave&C:\\work\\ran.txt&7\r\n");
    }
    // What the installer does around its command list: the journal, the
    // directory chain, the record, the lines, the end.
    void install(const std::vector<std::string>& lines, InstallScope scope = InstallScope::machine) {
        Handle root = scope == InstallScope::user ? rootCurrentUser : rootLocalMachine;
        EXPECT_TRUE(beginInstallJournal(scope, "Vendor", "Viewer", "2.0"));
        createDirectory("C:\\Apps\\Vendor");
        createDirectory(installed);
        journalInstalledDirectory(installed);
        Handle key = regCreateKey(root, viewerKey, keySetValue);
        regSetStringValue(key, "isDir", installed);
        regCloseKey(key);
        for (const std::string& line : lines) runCommandLine(0x400000, line);
        endInstallJournal(true);
    }
    static std::vector<std::string> journal(InstallScope scope = InstallScope::machine) {
        std::vector<JournalItem> items;
        std::vector<std::string> texts;
        if (!readJournal(scope, "Vendor", "Viewer", "2.0", items)) return {"(none)"};
        for (const JournalItem& item : items) texts.push_back(journalItemText(item));
        return texts;
    }
    // The journal's items without identities: "kind|name", "key|root|path",
    // "value|root|path" + value name.
    static std::vector<std::string> names(InstallScope scope = InstallScope::machine) {
        std::vector<std::string> shown;
        std::vector<JournalItem> items;
        readJournal(scope, "Vendor", "Viewer", "2.0", items);
        const char* kinds[] = {"directory|", "file|", "key|", "value|", "installed|"};
        for (const JournalItem& item : items)
            shown.push_back(kinds[item.kind] + (item.root ? registryRootName(item.root) + "|" : "") + item.name +
                            item.valueName);
        return shown;
    }
    static std::string entryValue(const char* name, Handle root = rootLocalMachine) {
        std::string bytes;
        return fakeRegistryValue(root, viewerEntry, name, bytes) ? bytes : "(none)";
    }
};

const std::vector<std::string> chain = {"key|HKLM|Software\\Vendor", "key|HKLM|Software\\Vendor\\Viewer",
                                        "key|HKLM|Software\\Vendor\\Viewer\\2.0", "directory|C:\\Apps\\Vendor",
                                        "directory|C:\\Apps\\Vendor\\Viewer", "installed|C:\\Apps\\Vendor\\Viewer"};

// Each command journals what it created, and nothing that was there before.
TEST_F(Journal, RecordsWhatEachCommandCreates) {
    const struct {
        const char* line;
        std::vector<std::string> journaled;  // after the chain, before the uninstaller copy
    } cases[] = {
        {"makeDir&%APP%data", {"directory|C:\\Apps\\Vendor\\Viewer\\data"}},
        {"makeDir&C:\\Apps", {}},
        {"save&%APP%notes.txt&x", {"file|C:\\Apps\\Vendor\\Viewer\\notes.txt"}},
        {"save&C:\\cd\\help.txt&overwritten", {}},
        {"copy&C:\\cd\\viewer.exe&%APP%viewer.exe&FALSE", {"file|C:\\Apps\\Vendor\\Viewer\\viewer.exe"}},
        {"copy&C:\\cd\\viewer.exe&C:\\cd\\help.txt&FALSE", {}},
        {"move&C:\\cd\\help.txt&%APP%sub\\..\\help.txt&FALSE", {"file|C:\\Apps\\Vendor\\Viewer\\help.txt"}},
        {"reg&HKCU&Software\\Vendor\\Settings&Size&10",
         {"key|HKCU|Software\\Vendor", "key|HKCU|Software\\Vendor\\Settings",
          "value|HKCU|Software\\Vendor\\SettingsSize"}},
        {"reg&HKLM&Software\\Vendor\\Viewer\\2.0&Readme&r", {"value|HKLM|Software\\Vendor\\Viewer\\2.0Readme"}},
        {"regCreateKey&HKCR&.vwr\\shell", {"key|HKCR|.vwr", "key|HKCR|.vwr\\shell"}},
        {"programIcon&Viewer.lnk&%APP%&viewer.exe&Viewer&none&0&none&Vendor&Viewer&none",
         {"directory|C:\\Users\\u\\Start Menu\\Programs\\Vendor", "directory|C:\\Users\\u\\Start Menu\\Programs\\Vendor\\Viewer",
          "file|C:\\Users\\u\\Start Menu\\Programs\\Vendor\\Viewer\\Viewer.lnk"}},
        {"batch&C:\\cd\\lines.txt", {"file|C:\\Apps\\Vendor\\Viewer\\nested.txt"}},
    };
    for (const auto& c : cases) {
        SetUp();
        fakeAddFile("C:\\cd\\lines.txt", "save&C:\\Apps\\Vendor\\Viewer\\nested.txt&n\r\n");
        install({c.line});
        std::vector<std::string> expected = chain;
        expected.insert(expected.end(), c.journaled.begin(), c.journaled.end());
        expected.push_back("file|C:\\Apps\\Vendor\\Viewer\\hostcmd-uninstall.exe");
        EXPECT_EQ(expected, names()) << c.line;
    }
}

TEST_F(Journal, SecondRunAppendsAndTakesTheNewIdentities) {
    auto sizeOf = [](const std::string& text) {
        JournalItem item;
        return parseJournalItem(text, item) && item.identityKnown ? static_cast<int>(item.size) : -1;
    };
    install({"save&%APP%a.txt&one"});
    std::vector<std::string> first = journal();
    EXPECT_EQ(3, sizeOf(first[6]));
    install({"save&%APP%a.txt&three", "save&%APP%b.txt&b"});
    std::vector<std::string> second = journal();
    ASSERT_EQ(first.size() + 1, second.size());
    EXPECT_EQ(5, sizeOf(second[6]));  // rewritten by the second run: its identity now
    EXPECT_EQ("file|C:\\Apps\\Vendor\\Viewer\\b.txt", names().back());
    // Nothing is journaled once the installation has ended.
    runCommandLine(0, "save&%APP%late.txt&x");
    EXPECT_EQ(second, journal());
}

TEST_F(Journal, NestedInstallationKeepsItsOwnJournal) {
    ASSERT_TRUE(beginInstallJournal(InstallScope::machine, "Vendor", "Viewer", "2.0"));
    ASSERT_TRUE(beginInstallJournal(InstallScope::user, "Other", "Tool", "1"));
    runCommandLine(0, "makeDir&C:\\Apps\\Tool");
    endInstallJournal(false);
    runCommandLine(0, "makeDir&C:\\Apps\\Viewer");
    endInstallJournal(false);
    EXPECT_EQ("directory|C:\\Apps\\Viewer", names().back());
    std::vector<JournalItem> tool;
    ASSERT_TRUE(readJournal(InstallScope::user, "Other", "Tool", "1", tool));
    EXPECT_EQ("C:\\Apps\\Tool", tool.back().name);
    EXPECT_EQ("(none)", entryValue("DisplayName"));  // not installed: no entry
}

TEST_F(Journal, EntryInWindowsList) {
    install({"copy&C:\\cd\\viewer.exe&%APP%viewer.exe&FALSE"});
    const std::string zero(1, '\0');
    const std::string copy = "C:\\Apps\\Vendor\\Viewer\\hostcmd-uninstall.exe";
    EXPECT_EQ("MZ hostcmd", fakeFileBytes(copy));
    EXPECT_EQ("Viewer 2.0" + zero, entryValue("DisplayName"));
    EXPECT_EQ("Vendor" + zero, entryValue("Publisher"));
    EXPECT_EQ("2.0" + zero, entryValue("DisplayVersion"));
    EXPECT_EQ(std::string("\2\0\0\0", 4), entryValue("VersionMajor"));
    EXPECT_EQ(std::string("\0\0\0\0", 4), entryValue("VersionMinor"));
    EXPECT_EQ(std::string(installed) + zero, entryValue("InstallLocation"));
    EXPECT_EQ("20240517" + zero, entryValue("InstallDate"));
    EXPECT_EQ(std::string("\1\0\0\0", 4), entryValue("EstimatedSize"));  // 19 bytes: 1 KB
    EXPECT_EQ(std::string("\1\0\0\0", 4), entryValue("NoModify"));
    EXPECT_EQ(std::string("\1\0\0\0", 4), entryValue("NoRepair"));
    EXPECT_EQ("\"" + copy + "\" uninstall&Vendor&Viewer&2.0" + zero, entryValue("UninstallString"));
    EXPECT_EQ("\"" + copy + "\" uninstallQuiet&Vendor&Viewer&2.0" + zero, entryValue("QuietUninstallString"));
    // Windows starts the copy with that line; the command it runs is the uninstall.
    EXPECT_EQ("uninstallQuiet&Vendor&Viewer&2.0", commandLineTail(uninstallCommandLine(copy, "uninstallQuiet", "Vendor", "Viewer", "2.0")));
    // The id: the same parts always, other parts never the same.
    EXPECT_EQ(viewerEntry, entryKeyPath("Vendor", "Viewer", "2.0"));
    EXPECT_NE(entryKeyPath("a#b", "c", "d"), entryKeyPath("a", "b#c", "d"));
    EXPECT_NE(entryKeyPath("a\\b", "c", "d"), entryKeyPath("a", "b", "c\\d"));

    const struct {
        const char* part3;
        bool numbered;
        std::uint32_t major, minor;
    } versions[] = {{"2.0", true, 2, 0},   {"10.25b", true, 10, 25}, {"3", true, 3, 0},     {"1.x", true, 1, 0},
                    {"v2", false, 0, 0},   {"", false, 0, 0},        {"4294967296", false, 0, 0}};
    for (const auto& v : versions) {
        std::uint32_t major = 99, minor = 99;
        EXPECT_EQ(v.numbered, versionNumbers(v.part3, major, minor)) << v.part3;
        if (v.numbered) {
            EXPECT_EQ(v.major * 1000 + v.minor, major * 1000 + minor) << v.part3;
        }
    }
}

// Install, then uninstall: the machine is as before. The uninstaller runs as
// the copy Windows' list starts, so its own file is moved away, not deleted.
TEST_F(Journal, UninstallLeavesTheMachineAsItWas) {
    for (InstallScope scope : {InstallScope::machine, InstallScope::user}) {
        SCOPED_TRACE(scope == InstallScope::user ? "per user" : "machine-wide");
        SetUp();
        if (scope == InstallScope::machine) fakeSetRegistryValue(rootLocalMachine, "Software\\Vendor", "Other", "kept");
        auto files = fakeEntrySnapshot();
        auto registry = fakeRegistrySnapshot();
        // Absolute names: %APP% finds only a machine-wide record.
        const std::string app = std::string(installed) + "\\", root = scope == InstallScope::user ? "HKCU" : "HKLM";
        install({"copy&C:\\cd\\viewer.exe&" + app + "viewer.exe&FALSE", "makeDir&" + app + "data",
                 "save&" + app + "data\\d.txt&d", "reg&HKCU&Software\\Vendor\\Settings&Size&10",
                 "reg&" + root + "&Software\\Vendor\\Viewer\\2.0&Readme&r",
                 "deskIcon&Viewer.lnk&" + app + "&viewer.exe&Viewer&none&0&none&none&none&none"},
                scope);
        EXPECT_TRUE(fakeFileExists(std::string(desktop) + "\\Viewer.lnk"));
        fakeSetOwnProgramPath("C:\\Apps\\Vendor\\Viewer\\hostcmd-uninstall.exe");
        runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
        EXPECT_EQ(0, exitCode());
        auto after = fakeEntrySnapshot();
        EXPECT_EQ(0u, fakeRunningImage().find("c:\\temp\\hcu"));  // moved aside, deleted at the next start
        ASSERT_EQ(1u, fakeDeletionsAtRestart.size());
        after.erase(fakeRunningImage());
        std::vector<std::string> changed;
        for (auto& entry : after)
            if (!files.count(entry.first) || files[entry.first].bytes != entry.second.bytes) changed.push_back(entry.first);
        for (auto& entry : files)
            if (!after.count(entry.first)) changed.push_back(entry.first);
        EXPECT_EQ(std::vector<std::string>(), changed);
        EXPECT_EQ(registry.keys, fakeRegistrySnapshot().keys);
        EXPECT_EQ(registry.values.size(), fakeRegistrySnapshot().values.size());
        // Afterwards: line 7 runs, the query answers ERROR, %APP% stays as it is.
        runInstallCheck(0, "kw.ini");
        EXPECT_EQ("7", ran());
        runCommandLine(0, "pathToInstall&Vendor&Viewer&2.0&viewer.exe&r.txt");
        EXPECT_EQ("PathToInstall=ERROR", fakeFileBytes("C:\\work\\r.txt"));
        runCommandLine(0, "save&C:\\work\\app.txt&%APP%");
        EXPECT_EQ("%APP%", fakeFileBytes("C:\\work\\app.txt"));
        resetRuns();
        runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
        EXPECT_EQ(1605, exitCode());
    }
    // Where the copy cannot be moved aside (here: no temporary folder), it
    // and the folders holding it go at the next start, in that order.
    SetUp();
    fakeForget("C:\\TEMP");
    install({"save&%APP%a.txt&a"});
    fakeSetOwnProgramPath("C:\\Apps\\Vendor\\Viewer\\hostcmd-uninstall.exe");
    runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
    EXPECT_EQ(0, exitCode());
    EXPECT_EQ(std::vector<std::string>({"C:\\Apps\\Vendor\\Viewer\\hostcmd-uninstall.exe", installed, "C:\\Apps\\Vendor"}),
              fakeDeletionsAtRestart);
    EXPECT_FALSE(fakeFileExists("C:\\Apps\\Vendor\\Viewer\\a.txt"));
    EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Vendor"));
}

TEST_F(Journal, UninstallAsksOnceAndSaysWhatStayed) {
    install({"copy&C:\\cd\\viewer.exe&%APP%viewer.exe&FALSE", "save&%APP%notes.txt&n"});
    fakeAddFile("C:\\Apps\\Vendor\\Viewer\\notes.txt", "N");  // changed: the same size, written later
    fakeAddFile("C:\\Apps\\Vendor\\Viewer\\mine.txt", "added by the user");
    fakeAnswerBoxes({2});
    runCommandLine(0x400000, "uninstall&Vendor&Viewer&2.0");
    ASSERT_EQ(1u, fakeBoxes.size());
    EXPECT_EQ("Viewer 2.0", fakeBoxes[0].caption);
    EXPECT_EQ(0x1001u, fakeBoxes[0].style);
    EXPECT_TRUE(fakeFileExists("C:\\Apps\\Vendor\\Viewer\\viewer.exe"));  // cancelled: nothing goes

    runCommandLine(0x400000, "uninstall&Vendor&Viewer&2.0");
    ASSERT_EQ(3u, fakeBoxes.size());
    EXPECT_EQ(0x1000u, fakeBoxes[2].style);
    EXPECT_EQ("Viewer 2.0 has been removed from this computer.\r\n\r\n3 items stayed: changed since the installation, "
              "or holding what was added after it:\r\nC:\\Apps\\Vendor\\Viewer\\notes.txt\r\nC:\\Apps\\Vendor\\Viewer"
              "\r\nC:\\Apps\\Vendor",
              fakeBoxes[2].text);
    EXPECT_FALSE(fakeFileExists("C:\\Apps\\Vendor\\Viewer\\viewer.exe"));
    EXPECT_FALSE(fakeFileExists("C:\\Apps\\Vendor\\Viewer\\hostcmd-uninstall.exe"));
    EXPECT_EQ("added by the user", fakeFileBytes("C:\\Apps\\Vendor\\Viewer\\mine.txt"));
    EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Vendor"));
    EXPECT_EQ(0, exitCode());  // only the quiet form sets exit codes
}

TEST_F(Journal, UninstallQuietExitCodes) {
    runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
    EXPECT_EQ(1605, exitCode());
    // Machine-wide, and HKLM may not be changed: elevation is needed.
    install({"save&%APP%a.txt&a"});
    fakeMakeRegistryKeyReadOnly(rootLocalMachine, "Software");
    resetRuns();
    runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
    EXPECT_EQ(1603, exitCode());
    EXPECT_TRUE(fakeFileExists("C:\\Apps\\Vendor\\Viewer\\a.txt"));
    // A per-user installation needs no elevation.
    SetUp();
    install({"save&%APP%a.txt&a"}, InstallScope::user);
    fakeMakeRegistryKeyReadOnly(rootLocalMachine, "Software");
    runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
    EXPECT_EQ(0, exitCode());
    EXPECT_FALSE(fakeDirectoryExists("C:\\Apps\\Vendor"));
    // A file that cannot be deleted: failed, and the journal, record and entry stay for another try.
    SetUp();
    install({"save&%APP%a.txt&a"});
    fakeFail("deleteFile", 1);
    runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
    EXPECT_EQ(1603, exitCode());
    EXPECT_TRUE(fakeRegistryKeyExists(rootLocalMachine, viewerJournal));
    EXPECT_NE("(none)", entryValue("DisplayName"));
    resetRuns();
    runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
    EXPECT_EQ(0, exitCode());
    EXPECT_FALSE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Vendor"));
}

// A journal changed by someone else removes nothing outside the installation.
TEST_F(Journal, TamperedJournalRemovesNothingOutside) {
    FileFacts winIni;
    ASSERT_TRUE(fileFacts("C:\\WINDOWS\\win.ini", winIni));
    // Items as a journal holds them; every file carries win.ini's true identity.
    auto item = [&](JournalItemKind kind, const std::string& name, Handle root = 0, const char* value = "") {
        JournalItem made = {kind, root, name, value, kind == journaledFile || kind == journaledValue, winIni.size,
                            winIni.lastWritten, 1};
        return journalItemText(made);
    };
    const std::string installedP = item(journaledInstallLocation, "C:\\Apps\\P");
    const struct {
        const char* what;
        std::vector<std::string> items;
    } cases[] = {
        {"a system file", {installedP, item(journaledFile, "C:\\WINDOWS\\win.ini")}},
        {"dots out of the directory", {installedP, item(journaledFile, "C:\\Apps\\P\\..\\..\\WINDOWS\\win.ini")}},
        {"a name only beginning like the directory", {installedP, item(journaledFile, "C:\\Apps\\P2\\..\\..\\WINDOWS\\win.ini")}},
        {"the Windows folder as installed directory",
         {item(journaledInstallLocation, "c:\\windows"), item(journaledFile, "C:\\WINDOWS\\win.ini")}},
        {"a drive root as installed directory",
         {item(journaledInstallLocation, "C:\\"), item(journaledDirectory, "C:\\WINDOWS"), item(journaledFile, "C:\\WINDOWS\\win.ini")}},
        {"a folder swapped for a junction",
         {installedP, item(journaledDirectory, "C:\\Apps\\P\\data"), item(journaledFile, "C:\\Apps\\P\\data\\win.ini")}},
        {"the installed directory swapped for a junction",
         {item(journaledInstallLocation, "C:\\Apps\\J"), item(journaledDirectory, "C:\\Apps\\J"),
          item(journaledFile, "C:\\Apps\\J\\win.ini")}},
        {"keys that are not empty, a value whose data differ",
         {item(journaledKey, "Software\\Vendor\\Viewer\\2.0\\Empty", rootLocalMachine),
          item(journaledValue, "Software", rootLocalMachine, "Keep")}},
    };
    for (const auto& c : cases) {
        SetUp();
        fakeAddDirectory("C:\\Apps\\P");
        fakeAddJunction("C:\\Apps\\P\\data", "C:\\WINDOWS");
        fakeAddJunction("C:\\Apps\\J", "C:\\WINDOWS");
        fakeSetRegistryValue(rootLocalMachine, "Software", "Keep", "k");
        fakeCreateRegistryKey(rootLocalMachine, "Software\\Vendor\\Viewer\\2.0\\Empty\\Sub");
        for (std::size_t i = 0; i < c.items.size(); ++i)
            fakeSetRegistryValue(rootLocalMachine, viewerJournal, std::to_string(i + 1), c.items[i] + std::string(1, '\0'));
        fakeSetRegistryValue(rootLocalMachine, viewerJournal, "items", std::to_string(c.items.size()));
        runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
        EXPECT_EQ(0, exitCode()) << c.what;
        EXPECT_EQ("[windows]", fakeFileBytes("C:\\WINDOWS\\win.ini")) << c.what;
        EXPECT_TRUE(fakeDirectoryExists("C:\\WINDOWS")) << c.what;
        EXPECT_TRUE(fakeDirectoryExists("C:\\Apps\\P\\data")) << c.what;  // the junction is not what was made
        EXPECT_TRUE(fakeDirectoryExists("C:\\Apps\\J")) << c.what;
        std::string kept;
        EXPECT_TRUE(fakeRegistryValue(rootLocalMachine, "Software", "Keep", kept)) << c.what;
        EXPECT_TRUE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Vendor\\Viewer\\2.0\\Empty\\Sub")) << c.what;
    }
    // A per-user journal (HKCU, the user's to change) removes nothing below HKLM.
    SetUp();
    fakeCreateRegistryKey(rootLocalMachine, "Software\\Empty");
    JournalItem outside = {journaledKey, rootLocalMachine, "Software\\Empty", "", false, 0, 0, 0};
    fakeSetRegistryValue(rootCurrentUser, viewerJournal, "1", journalItemText(outside) + '\0');
    fakeSetRegistryValue(rootCurrentUser, viewerJournal, "items", "1");
    runCommandLine(0, "uninstallQuiet&Vendor&Viewer&2.0");
    EXPECT_TRUE(fakeRegistryKeyExists(rootLocalMachine, "Software\\Empty"));
    EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, viewerJournal));
}

TEST_F(Journal, ItemTextsThatMakeNoSenseAreLeftOut) {
    JournalItem item;
    for (const char* text : {"", "file||?|4|C:\\a", "file|||9|C:\\a", "file|HKLM||4|C:\\a", "key|||8|Software",
                             "key|HKXX||8|Software", "value|HKLM|0123|8|Software", "drive|||3|C:\\", "directory|||0|",
                             "directory|||4|C:\\ab"})
        EXPECT_FALSE(parseJournalItem(text, item)) << text;
    for (const char* text : {"file|||6|C:\\a|b", "value|HKCU||8|Softwarea|b", "value|HKCU|0123456789abcdef|8|Software",
                             "key|HKCR||2|.x"}) {
        ASSERT_TRUE(parseJournalItem(text, item)) << text;
        EXPECT_EQ(text, journalItemText(item));
    }
}
}  // namespace
