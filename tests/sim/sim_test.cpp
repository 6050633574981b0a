#include "sim/sim.h"

#include <gtest/gtest.h>

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
}  // namespace
