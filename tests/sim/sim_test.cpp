#include "sim/sim.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "app/runner.h"
#include "platform/memory_platform.h"

#include "platform/memory_platform.h"

namespace {
struct BadArguments {
    std::vector<std::string> arguments;
    const char* error;
};

TEST(SimOptions, WrongArgumentsAreNamed) {
    const BadArguments cases[] = {
        {{}, "give a command line or --simulate-file FILE"},
        {{"save&a&b", "--simulate-file", "x.txt"}, "give a command line or --simulate-file, not both"},
        {{"save&a&b", "delete&a"}, "only one command line can be simulated"},
        {{"--drive"}, "--drive needs a value"},
        {{"--drive", "C", "x"}, "--drive takes LETTER=FOLDER, not \"C\""},
        {{"--drive", "1=dir", "x"}, "--drive takes LETTER=FOLDER, not \"1=dir\""},
        {{"--drive", "C=a", "--drive", "c=b", "x"}, "--drive gives drive C: twice"},
        {{"--cd", "E:dir", "x"}, "--cd takes LETTER=FOLDER, not \"E:dir\""},
        {{"--code-page", "12x", "x"}, "--code-page takes a code page number, not \"12x\""},
        {{"--code-page", "0", "x"}, "--code-page takes a code page number, not \"0\""},
        {{"--answer", "=OK", "x"}, "an answer takes CAPTION=BUTTON, not \"=OK\""},
        {{"--answer", "Setup", "x"}, "an answer takes CAPTION=BUTTON, not \"Setup\""},
        {{"--answers", "/nonexistent/answers.txt", "x"}, "cannot read the answers file /nonexistent/answers.txt"},
        {{"--cwd", "work", "x"}, "--cwd takes an absolute Windows path such as C:\\work, not \"work\""},
        {{"--user", "a\\b", "x"}, "--user takes a user name, not \"a\\b\""},
        {{"--frobnicate", "x"}, "unknown option --frobnicate"},
        {{"--installer", "save&a&b"}, "--installer applies only to --simulate-file"},
        {{"--install-word", "Install", "x"},
         "--install-word takes install, installQuiet, installUser or installUserQuiet, not \"Install\""},
    };
    for (const BadArguments& bad : cases) {
        SimOptions options;
        std::string error;
        EXPECT_FALSE(parseSimOptions(bad.arguments, options, error)) << bad.error;
        EXPECT_EQ(error, bad.error);
    }
}

TEST(SimOptions, AnswersKeepTheirOrderAndSplitAtTheFirstEquals) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(parseSimOptions({"--answer", "Setup=No", "--answer", "Save As=a=b.txt", "--simulate", "save&a&b",
                                 "--code-page", "932", "--drive", "d=/tmp"},
                                options, error))
        << error;
    ASSERT_EQ(options.answers.size(), 2u);
    EXPECT_EQ(options.answers[0], std::make_pair(std::string("Setup"), std::string("No")));
    EXPECT_EQ(options.answers[1], std::make_pair(std::string("Save As"), std::string("a=b.txt")));
    EXPECT_EQ(options.codePage, 932u);
    EXPECT_EQ(options.drives[0], std::make_pair('D', std::string("/tmp")));
    EXPECT_EQ(options.commandLine, "save&a&b");
}

// An installation for the current user shows the record under HKCU, the
// folders made below the user's programs folder, its journal and its entry
// in Windows' list, and the exit code.
TEST(SimReport, InstallUserShowsItsRecordFolderAndExitCode) {
    SimOptions options;
    std::string error, run;
    ASSERT_TRUE(parseSimOptions({"--install-word", "installUserQuiet", "x"}, options, error)) << error;
    ASSERT_TRUE(seedMachine(options, run, error)) << error;
    std::string installer = "x\r\nV\r\nP\r\n1\r\nYES\r\nYES\r\nYES\r\n";
    for (int n = 8; n <= 14; ++n) installer += "t\r\n";
    installer += "%PROG%\r\nV\\P\\\r\nNO\r\n";
    fakeAddFile("C:\\setup\\setup.txt", installer);
    testing::internal::CaptureStdout();
    EXPECT_EQ(simulate(options, options.installWord + "&C:\\setup\\setup.txt"), 0);
    std::string report = testing::internal::GetCapturedStdout();
    const std::string programs = "C:\\Users\\user\\AppData\\Local\\Programs";
    // The journal it writes, item by item: the install key's keys, the
    // folders, the installed directory, the uninstaller copy.
    const std::string journal = "journal item ", of = " of HKCU\\Software\\V\\P\\1: ";
    for (const std::string& line :
         {"created folder " + programs + "\n", "created folder " + programs + "\\V\\P\n",
          "set value HKCU\\Software\\V\\P\\1 \"isDir\" = \"" + programs + "\\V\\P\" (REG_SZ)\n",
          journal + "1" + of + "key HKCU\\Software\\V\n" + journal + "2" + of + "key HKCU\\Software\\V\\P\n" + journal +
              "3" + of + "key HKCU\\Software\\V\\P\\1\n" + journal + "4" + of + "folder " + programs + "\n" + journal +
              "5" + of + "folder " + programs + "\\V\n" + journal + "6" + of + "folder " + programs + "\\V\\P\n" +
              journal + "7" + of + "installed directory " + programs + "\\V\\P\n" + journal + "8" + of + "file " +
              programs + "\\V\\P\\hostcmd-uninstall.exe (10 bytes)\n",
          std::string("set value HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#V#P#1 "
                      "\"DisplayName\" = \"P 1\" (REG_SZ)\n"),
          std::string("exit code 3010\n")})
        EXPECT_NE(report.find(line), std::string::npos) << line << report;
    EXPECT_EQ(report.find("HKLM"), std::string::npos) << report;
    EXPECT_EQ(report.find("box"), std::string::npos) << report;

    // Installed for every user, the entry goes into the list every Windows
    // has: the report, and the journal an uninstall follows, make only the
    // entry's own key.
    options = SimOptions();
    ASSERT_TRUE(parseSimOptions({"--install-word", "installQuiet", "x"}, options, error)) << error;
    ASSERT_TRUE(seedMachine(options, run, error)) << error;
    fakeAddFile("C:\\setup\\setup.txt", installer);
    testing::internal::CaptureStdout();
    EXPECT_EQ(simulate(options, options.installWord + "&C:\\setup\\setup.txt"), 0);
    report = testing::internal::GetCapturedStdout();
    const std::string list = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    EXPECT_NE(report.find("created key " + list + "\\hostcmd#V#P#1\n"), std::string::npos) << report;
    EXPECT_EQ(report.find(list + "\n"), std::string::npos) << report;
}

std::string utf16(const std::string& text) {
    std::string bytes = "\xFF\xFE";
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

TEST(RegFile, ReadsWhatRegExportWrites) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\DemoSoft\\Notes]\r\n"
        "\"isDir\"=\"C:\\\\Program Files\\\\Notes \\\"1\\\"\"\r\n"
        "@=\"default\"\r\n"
        "\"Count\"=dword:0000012c\r\n"
        "\"Blob\"=hex:01,02,\\\r\n"
        "  ff\r\n"
        "\"Path\"=hex(2):25,00,41,00,\\\r\n"
        "  00,00\r\n"
        "\"Gone\"=-\r\n"
        "\r\n"
        "[-HKEY_CURRENT_USER\\Software\\Old]\r\n";
    std::vector<RegChange> changes;
    std::string error;
    ASSERT_TRUE(parseRegFile(utf16(text), changes, error)) << error;
    ASSERT_EQ(changes.size(), 8u);
    EXPECT_EQ(changes[0].kind, RegChange::createKey);
    EXPECT_EQ(changes[0].root, rootLocalMachine);
    EXPECT_EQ(changes[0].path, "SOFTWARE\\DemoSoft\\Notes");  // the 32-bit view, as the product sees it
    EXPECT_EQ(changes[1].name, "isDir");
    EXPECT_EQ(changes[1].bytes, std::string("C:\\Program Files\\Notes \"1\"\0", 27));
    EXPECT_EQ(changes[1].type, 1u);
    EXPECT_EQ(changes[2].name, "");
    EXPECT_EQ(changes[3].type, 4u);
    EXPECT_EQ(changes[3].bytes, std::string("\x2c\x01\0\0", 4));
    EXPECT_EQ(changes[4].type, 3u);
    EXPECT_EQ(changes[4].bytes, "\x01\x02\xff");
    EXPECT_EQ(changes[5].type, 2u);
    EXPECT_EQ(changes[5].bytes, std::string("%A\0", 3));  // UTF-16 text read as ANSI
    EXPECT_EQ(changes[6].kind, RegChange::deleteValue);
    EXPECT_EQ(changes[6].name, "Gone");
    EXPECT_EQ(changes[7].kind, RegChange::deleteKey);
    EXPECT_EQ(changes[7].root, rootCurrentUser);
    EXPECT_EQ(changes[7].path, "Software\\Old");
}

TEST(RegFile, AnsiRegedit4KeepsHexTextsAsBytes) {
    std::vector<RegChange> changes;
    std::string error;
    ASSERT_TRUE(parseRegFile("REGEDIT4\n[HKEY_CLASSES_ROOT\\.hcx]\n\"P\"=hex(7):61,00,00\n", changes, error)) << error;
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].type, 7u);
    EXPECT_EQ(changes[1].bytes, std::string("a\0\0", 3));
}

TEST(RegFile, FaultsNameTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "line 1: expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\""},
        {"REGEDIT5\n", "line 1: expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\""},
        {"REGEDIT4\n\"a\"=\"b\"\n", "line 2: a value outside a key"},
        {"REGEDIT4\n[HKEY_CURRENT_CONFIG\\x]\n", "line 2: unknown root key in \"HKEY_CURRENT_CONFIG\\x\""},
        {"REGEDIT4\n[HKCU\\x\n", "line 2: a key line ends in \"]\""},
        {"REGEDIT4\n[HKCU\\x]\n\"a\"=dword:123\n", "line 3: dword: takes eight hex digits"},
        {"REGEDIT4\n[HKCU\\x]\n\"a\"=hex:1,2,\\\n  zz\n", "line 3: hex data must be two-digit hex bytes separated by commas"},
        {"REGEDIT4\n[HKCU\\x]\n\"a\"=hex(x):00\n", "line 3: hex( takes a hex type number and \")\""},
        {"REGEDIT4\n[HKCU\\x]\na=\"b\"\n", "line 3: a value name is quoted, or @ for the default value"},
        {"REGEDIT4\n[HKCU\\x]\n\"a\"\"b\"\n", "line 3: \"=\" expected after the value name"},
        {"REGEDIT4\n[HKCU\\x]\n\"a\"=qword:1\n", "line 3: unknown value data \"qword:1\""},
    };
    for (auto& c : cases) {
        std::vector<RegChange> changes;
        std::string error;
        EXPECT_FALSE(parseRegFile(c.first, changes, error)) << c.first;
        EXPECT_EQ(error, c.second);
    }
}

// Names as Windows resolves and compares them, on the simulated machine: the
// files there before (in C:\work, the current directory), one command line,
// and the files there after ("=" and the bytes, or "!" for a file that must
// not be there). The CD drive E: holds disk1.id, readme and "long name.html".
struct NameCase {
    const char* title;
    unsigned codePage;
    std::vector<std::string> before;
    std::string line;
    std::vector<std::string> after;
};

TEST(SimNames, AsWindowsResolvesAndComparesThem) {
    const std::string long250(250, 'n'), long256(256, 'n');
    const NameCase cases[] = {
        {"a move onto the same file in another case changes nothing", 1252, {"a.txt=x"}, "move&a.txt&A.TXT&FALSE", {"a.txt=x"}},
        {"nor with a trailing dot", 1252, {"a.txt=x"}, "move&a.txt&a.txt.&FALSE", {"a.txt=x"}},
        {"nor with trailing blanks", 1252, {"a.txt=x"}, "move&a.txt&a.txt||&FALSE", {"a.txt=x"}},
        {"nor through ..", 1252, {"a.txt=x", "sub\\k="}, "copy&a.txt&sub\\..\\a.txt&FALSE", {"a.txt=x"}},
        {".. below a folder that is not there", 1252, {}, "save&nosub\\..\\b.txt&x", {"b.txt=x"}},
        {". as the current folder", 1252, {"a.txt=x"}, "delete&.\\a.txt", {"a.txt!"}},
        {"/ as \\", 1252, {"sub\\k="}, "save&sub/b.txt&x", {"sub\\b.txt=x"}},
        {"C:name against the current directory", 1252, {}, "save&C:b.txt&x", {"b.txt=x"}},
        {"a folder's name loses one trailing dot", 1252, {"sub\\k="}, "save&sub.\\b.txt&x", {"sub\\b.txt=x"}},
        {"but not its blanks", 1252, {"sub\\k="}, "save&sub|\\b.txt&x", {"sub\\b.txt!"}},
        {"E acute in another case on 1252", 1252, {"\xE9.txt=x"}, "delete&\xC9.txt", {"\xE9.txt!"}},
        {"y diaeresis and its capital, 0x9F on 1252", 1252, {"\xFF.txt=x"}, "delete&\x9F.txt", {"\xFF.txt!"}},
        {"but sharp s is no ss", 1252, {"stra\xDF" "e=x"}, "delete&STRASSE", {"stra\xDF" "e=x"}},
        {"L stroke on 1250", 1250, {"\xB3.txt=x"}, "delete&\xA3.txt", {"\xB3.txt!"}},
        {"Cyrillic zhe on 1251", 1251, {"\xE6.txt=x"}, "delete&\xC6.txt", {"\xE6.txt!"}},
        {"a trail byte that is an ASCII letter keeps its case on 932", 932, {"\x83\x41.txt=x"}, "delete&\x83\x61.txt", {"\x83\x41.txt=x"}},
        {"full-width letters in another case on 932", 932, {"\x82\x81.txt=x"}, "delete&\x82\x60.txt", {"\x82\x81.txt!"}},
        {"L stroke in another case in the UTF-8 build", 65001, {"\xC5\x82.txt=x"}, "delete&\xC5\x81.txt", {"\xC5\x82.txt!"}},
        {"a device's name in any folder writes nowhere", 1252, {"sub\\k="}, "save&sub\\nul.txt&x", {"sub\\nul.txt!"}},
        {"a port the PC lacks takes no copy", 1252, {"a.txt=x"}, "move&a.txt&aux&FALSE", {"a.txt=x"}},
        {"a name of 250 characters", 1252, {}, "save&C:\\" + long250 + "&x", {"C:\\" + long250 + "=x"}},
        {"a path of 260 characters or more", 1252, {}, "save&" + long250 + "xy&x", {long250 + "xy!"}},
        {"a name of more than 255 characters", 1252, {}, "save&C:\\" + long256 + "&x", {"C:\\" + long256 + "!"}},
        {"a folder leaves room for an 8.3 name", 1252, {}, "makeDir&C:\\" + std::string(245, 'd'), {"C:\\" + std::string(245, 'd') + "\\!"}},
        {"*. finds only a name without extension", 1252, {}, "pathToCD&*.&r.txt", {"r.txt=pathToCD=E:\\"}},
        {"*.id. is no *.id for a name with a dot", 1252, {}, "pathToCD&disk*.&r.txt", {"r.txt=pathToCD=ERROR"}},
        {"? also matches nothing before a dot", 1252, {}, "pathToCD&disk??.id&r.txt", {"r.txt=pathToCD=E:\\"}},
        {"a pattern matches the 8.3 name too", 1252, {}, "pathToCD&*.htm&r.txt", {"r.txt=pathToCD=E:\\"}},
        {"a marker with a trailing dot", 1252, {}, "pathToCD&disk1.id.&r.txt", {"r.txt=pathToCD=E:\\"}},
        {"a key read in another case of a letter beyond ASCII", 1252, {}, "regToFile&HKCU&Software\\HcT\xE9st&v&r.txt", {"r.txt=regToFile=x"}},
        {"a sub-key that begins with \\ is refused", 1252, {}, "reg&HKCU&\\Software\\Lead&v&x", {}},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.title);
        fakeReset();
        fakeSetCodePage(c.codePage);
        fakeUseUtf8(c.codePage == 65001, c.codePage);
        fakeSetDriveType('E', driveCdrom);
        for (const char* name : {"E:\\disk1.id", "E:\\readme", "E:\\long name.html"}) fakeAddFile(name, "", true);
        fakeSetRegistryValue(rootCurrentUser, "Software\\HcT\xC9st", "V", std::string("x\0", 2));
        for (const std::string& file : c.before) {
            std::size_t equals = file.find('=');
            fakeAddFile("C:\\work\\" + file.substr(0, equals), file.substr(equals + 1));
        }
        runCommandLine(1, c.line);
        for (const std::string& file : c.after) {
            std::size_t mark = file.find_first_of("=!");
            std::string path = file.substr(0, mark);
            if (path.size() < 2 || path[1] != ':') path = "C:\\work\\" + path;
            if (file[mark] == '!') {
                EXPECT_FALSE(fakeFileExists(path) || fakeDirectoryExists(path)) << path;
            } else {
                EXPECT_TRUE(fakeFileExists(path)) << path;
                EXPECT_EQ(fakeFileBytes(path), file.substr(mark + 1)) << path;
            }
        }
        if (c.after.empty()) EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, "Software\\Lead"));
    }
}

TEST(SimNames, ANameBelowAJunctionIsBelowItsTarget) {
    fakeReset();
    fakeAddFile("C:\\data\\a.txt", "x");
    fakeAddJunction("C:\\work\\j", "C:\\data");
    FileFacts facts;
    ASSERT_TRUE(fileFacts("j", facts));
    EXPECT_TRUE(facts.directory && facts.reparsePoint);  // the junction itself
    ASSERT_TRUE(fileFacts("C:\\work\\J\\A.TXT.", facts));
    EXPECT_FALSE(facts.reparsePoint);
    EXPECT_EQ(1u, facts.size);
    // One file by two names: the move is refused and the file stays.
    runCommandLine(1, "move&j\\a.txt&C:\\data\\A.TXT&FALSE");
    EXPECT_EQ("x", fakeFileBytes("C:\\data\\a.txt"));
    runCommandLine(1, "save&j/sub.\\..\\b.txt&y");
    EXPECT_EQ("y", fakeFileBytes("C:\\data\\b.txt"));
    // Removing the junction removes the link only.
    runCommandLine(1, "deleteDir&j");
    EXPECT_FALSE(fakeDirectoryExists("C:\\work\\j"));
    EXPECT_EQ("x", fakeFileBytes("C:\\data\\a.txt"));
}

TEST(RegFile, TextsAreConvertedAsTheAnsiCallsGiveThem) {
    struct Case {
        unsigned codePage;
        std::u16string text;
        std::string bytes;
        bool exact;
    } cases[] = {
        {1252, u"price 5\u20AC", "price 5\x80", true},
        {1252, u"\u0141ukasz", "?ukasz", false},
        {1250, u"\u0141ukasz", "\xA3ukasz", true},
        {1251, u"\u0416", "\xC6", true},
        {65001, u"\u0141ukasz", "\xC5\x81ukasz", true},
    };
    for (const Case& c : cases) {
        fakeReset();
        fakeSetCodePage(c.codePage);
        fakeUseUtf8(c.codePage == 65001, c.codePage);
        std::string file = "\xFF\xFE";
        for (char16_t unit : u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\P]\r\n\"v\"=\"" + c.text + u"\"\r\n") {
            file += static_cast<char>(unit & 0xFF);
            file += static_cast<char>(unit >> 8);
        }
        std::vector<RegChange> changes;
        std::string error;
        ASSERT_TRUE(parseRegFile(file, changes, error)) << error;
        ASSERT_EQ(changes.size(), 2u);
        EXPECT_EQ(changes[1].bytes, c.bytes + std::string(1, '\0')) << c.codePage;
        EXPECT_EQ(changes[1].exact, c.exact) << c.codePage;
    }
}

TEST(RegFile, DeepOrLongKeysAreRefusedAtTheirLine) {
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 20000; ++i) deep += "\\a";
    const std::pair<std::string, const char*> cases[] = {
        {deep + "]", "line 2: a key more than 512 levels deep"},
        {"[HKEY_CURRENT_USER\\" + std::string(257, 'k') + "]", "line 2: a key name of more than 256 characters"},
        {"[HKEY_CURRENT_USER\\k]\n\"" + std::string(16384, 'v') + "\"=\"x\"", "line 3: a value name of more than 16383 characters"},
    };
    for (auto& c : cases) {
        std::vector<RegChange> changes;
        std::string error;
        EXPECT_FALSE(parseRegFile("REGEDIT4\n" + c.first + "\n", changes, error));
        EXPECT_EQ(error, c.second);
    }
}

// The simulated build and what it reads: the UTF-8 build skips a byte-order
// mark; files beside the run's own that are not disk files are left alone.
TEST(SimMachine, SeedsOnlyWhatTheRunReads) {
    char folder[] = "/tmp/hostcmd-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    std::ofstream(dir + "/steps.txt", std::ios::binary) << "\xEF\xBB\xBFsave&out.txt&hi\r\n";
    ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir + "/zero").c_str()), 0);
    struct Case {
        const char* codePage;
        const char* written;  // the name the batch line wrote
    } cases[] = {{"65001", "C:\\setup\\out.txt"}, {"1252", "C:\\setup\\\xEF\xBB\xBFsave"}};
    for (const Case& c : cases) {
        SimOptions options;
        std::string error, run;
        ASSERT_TRUE(parseSimOptions({"--simulate-file", dir + "/steps.txt", "--code-page", c.codePage}, options, error)) << error;
        ASSERT_TRUE(seedMachine(options, run, error)) << error;
        EXPECT_FALSE(fakeFileExists("C:\\setup\\pipe"));
        EXPECT_FALSE(fakeFileExists("C:\\setup\\zero"));
        runCommandLine(1, run);
        EXPECT_EQ(fakeFileExists(c.written), c.codePage == std::string("65001")) << c.codePage;
    }
    SimOptions options;
    std::string error, run;
    ASSERT_TRUE(parseSimOptions({"--simulate-file", dir + "/pipe"}, options, error));
    EXPECT_FALSE(seedMachine(options, run, error));
    EXPECT_EQ(error, "cannot read " + dir + "/pipe (it must be a file)");
    for (const char* name : {"/steps.txt", "/pipe", "/zero"}) std::remove((dir + name).c_str());
    rmdir(folder);
}
}  // namespace
