// The lint's rules, one case per rule, grouped by file kind. Each case lints
// a small file and looks for the one finding the rule must give (its line,
// its severity and a telling part of its message); the clean files give none.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "app/dispatch.h"
#include "app/fields.h"
#include "app/line_reader.h"
#include "app/text.h"
#include "platform/memory_platform.h"
#include "lint/lint.h"

namespace {
std::vector<Finding> lint(FileKind kind, const std::string& bytes, const std::string& path = "test.txt") {
    std::vector<Finding> findings;
    lintFile(kind, path, bytes, findings);
    return findings;
}

std::string listed(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings) text += formatFinding(finding) + "\n";
    return text;
}

// Exactly one finding on the line, of that severity, whose message holds `part`.
void expectOne(const std::vector<Finding>& findings, int line, bool error, const std::string& part) {
    int matches = 0;
    for (const Finding& finding : findings)
        if (finding.line == line && finding.message.find(part) != std::string::npos) {
            ++matches;
            EXPECT_EQ(finding.error, error) << formatFinding(finding);
        }
    EXPECT_EQ(matches, 1) << "looking for line " << line << ": " << part << "\nfound:\n" << listed(findings);
}

std::string lines(std::initializer_list<std::string> list) {
    std::string text;
    for (const std::string& line : list) text += line + "\r\n";
    return text;
}

// An installer file: lines 1 to 17 as given (missing ones filled from the
// worked example), twenty skipped lines, then the command list.
std::string installer(std::map<int, std::string> changed, std::vector<std::string> commands = {"copy&a&b&FALSE"}) {
    std::map<int, std::string> line = {
        {1, "Viewer 2.0 installer"}, {2, "ExampleSoft"}, {3, "Viewer"}, {4, "2.0"}, {5, "YES"}, {6, "YES"},
        {7, "NO"}, {8, "Viewer Setup"}, {9, "Welcome."}, {10, "Viewer Setup"}, {11, "Folder:"},
        {12, "Choose the folder"}, {13, "Viewer Setup"}, {14, "Restart not needed"}, {15, "%PROG%"},
        {16, "ExampleSoft\\Viewer\\"}, {17, "NO"}};
    for (auto& entry : changed) line[entry.first] = entry.second;
    std::string text;
    for (int n = 1; n <= 37; ++n) text += line[n] + "\r\n";
    for (const std::string& command : commands) text += command + "\r\n";
    return text;
}

const std::string goodCheck = lines({"Viewer start-up check", "ExampleSoft", "Viewer", "2.0", "viewer.exe",
                                     "run&%APP%viewer.exe&none", "run&%WIN%notepad.exe&none"});
}  // namespace

// ---- every line (batch lines, command lists, lines 6 and 7, final commands)

TEST(LintLines, CleanBatchFileHasNoFindings) {
    EXPECT_EQ(listed(lint(FileKind::batch, lines({"save&C:\\a.txt&Hello", "copy&%WIN%a.ini&%TEMP%a.ini&TRUE",
                                                   "reg&HKCU&Software\\X&v&1", "out.txt&written by name",
                                                   "deleteIcon&1&Viewer\\Viewer.lnk", "cursor&"}))),
              "");
}

TEST(LintLines, OverLongLineSaysWhereItIsCutAndWhatNeverRuns) {
    std::string longLine = "save&C:\\a.txt&" + std::string(300, 'x') + "END";
    auto findings = lint(FileKind::batch, lines({"save&a&b", longLine, "save&c&d"}));
    expectOne(findings, 2, true, "317 characters long, over the 259 a line may hold: hostcmd does not use it");
    expectOne(findings, 2, true, "so it is not run and the batch ends here (line 3 is never run either)");
    // On line 1 too: the line is not run, which is no empty first line.
    expectOne(lint(FileKind::batch, lines({longLine, "save&c&d"})), 1, true, "so it is not run");
}

TEST(LintLines, LineOfExactly259CharactersIsFine) {
    std::string line = "save&a&" + std::string(252, 'x');
    ASSERT_EQ(line.size(), 259u);
    EXPECT_EQ(listed(lint(FileKind::batch, lines({line, "save&c&d"}))), "");
}

TEST(LintLines, CtrlZBeforeTheEnd) {
    auto findings = lint(FileKind::batch, "save&a&b\r\n\x1A" "save&c&d\r\n");
    expectOne(findings, 2, true, "Ctrl-Z");
    // A Ctrl-Z as the last byte is harmless.
    EXPECT_EQ(listed(lint(FileKind::batch, "save&a&b\r\n\x1A")), "");
}

TEST(LintLines, NulByteEndsTheLinesText) {
    auto findings = lint(FileKind::batch, std::string("save&a&b\r\nsave&c.txt&abc\0def\r\n", 28));
    expectOne(findings, 2, true, "a NUL byte ends this line's text");
}

TEST(LintLines, UnknownWordSuggestsTheOneDifferingInCaseOrTheNearest) {
    auto findings = lint(FileKind::batch, lines({"Batch&x.txt", "cpoy&a&b&c", "frobnicate&x"}));
    expectOne(findings, 1, true, "did you mean \"batch\"");
    expectOne(findings, 2, true, "did you mean \"copy\"");
    expectOne(findings, 3, true, "unknown command word \"frobnicate\": nothing happens");
    for (const Finding& finding : findings)
        if (finding.line == 3) EXPECT_EQ(finding.message.find("did you mean"), std::string::npos);
}

TEST(LintLines, MissingFieldNamesTheEmptyFieldAndWhatHappens) {
    auto findings = lint(FileKind::batch, lines({"copy&C:\\a.txt&C:\\b.txt", "message&Hello", "run&notepad.exe",
                                                 "deskIcon&Viewer.lnk&C:\\v.exe"}));
    expectOne(findings, 1, true, "destination comes out empty, so the copy fails");
    // A message without a caption is odd but works: a warning.
    expectOne(findings, 2, false, "caption comes out empty");
    expectOne(findings, 3, true, "program comes out empty, so the shell has no program to start");
    expectOne(findings, 4, false, "takes 10 fields");
}

TEST(LintLines, ConfirmCountsFieldsAfterTheEscapesAndLintsItsCommandLine) {
    // "&&" is a line break in confirm, so it separates nothing.
    // "Title&&Question" is one caption, so the question is "save" and "a&b" is run on OK.
    auto findings = lint(FileKind::batch, lines({"confirm&Title&&Question&save&a&b", "confirm&T&Q&Sav&x"}));
    expectOne(findings, 1, true, "the command line run on OK unknown command word \"a\"");
    expectOne(findings, 2, true, "the command line run on OK unknown command word \"Sav\"");
}

TEST(LintLines, LineWithoutAmpersandRunsTheInstallCheck) {
    auto findings = lint(FileKind::batch, lines({"save&a&b", "notepad.exe", "&abc", "   "}));
    expectOne(findings, 2, true, "has no \"&\", so it has no command word: it runs the install check");
    expectOne(findings, 3, true, "begins with \"&\"");
    expectOne(findings, 4, true, "has no \"&\"");
}

TEST(LintLines, PathTokenInTheWrongCase) {
    auto findings = lint(FileKind::batch, lines({"copy&%Win%a.ini&%temp%a.ini&FALSE"}));
    expectOne(findings, 1, true, "\"%Win%\" is not a path token");
    expectOne(findings, 1, true, "\"%temp%\" is not a path token");
}

TEST(LintLines, RootNameNotOneOfTheFour) {
    auto findings = lint(FileKind::batch, lines({"reg&HKEY_CURRENT_USER&Software\\X&v&t", "regCreateKey&hklm&Software\\X",
                                                 "regDeleteValue&HKXX&Software\\X&v"}));
    expectOne(findings, 1, true, "write HKCU");
    expectOne(findings, 2, true, "write HKLM");
    expectOne(findings, 3, true, "root name \"HKXX\" is not one of HKCR, HKCU, HKLM, HKU");
}

TEST(LintLines, FolderNumberOrIconIndexNotANumber) {
    auto findings = lint(FileKind::batch,
                         lines({"deleteIconDir&Programs&Viewer",
                                "programIcon&V.lnk&C:\\&v.exe&Viewer&none&none&none&Viewer&none&none"}));
    expectOne(findings, 1, true, "folder number \"Programs\" is not a decimal whole number");
    expectOne(findings, 2, true, "icon index \"none\" is not a decimal whole number");
}

TEST(LintLines, BatchFileThatRunsItself) {
    auto findings = lint(FileKind::batch, lines({"save&a&b", "batch&C:\\Setup\\STEPS.TXT"}), "dir/steps.txt");
    expectOne(findings, 2, true, "the batch file runs itself");
}

TEST(LintLines, LeadingQuoteThatSwallowsText) {
    auto findings = lint(FileKind::batch, lines({"\"save&C:\\a.txt&say \"hi\"\"", "\"save&a&b\""}));
    expectOne(findings, 1, false, "begins with a double quote");
    // A simply quoted line reads as its inside: nothing to say.
    for (const Finding& finding : findings) EXPECT_NE(finding.line, 2) << formatFinding(finding);
}

TEST(LintBatch, EmptyLineEndsTheBatch) {
    auto findings = lint(FileKind::batch, lines({"save&a&b", "", "save&c&d", "save&e&f"}));
    expectOne(findings, 2, true, "the batch ends here, so lines 3 to 4 are never run");
    expectOne(lint(FileKind::batch, lines({"", "save&a&b"})), 1, true, "the batch ends here, so line 2 is never run");
    expectOne(lint(FileKind::batch, lines({"", ""})), 1, false, "the batch file is empty");
}

// ---- check files

TEST(LintCheck, TheWorkedExampleIsClean) { EXPECT_EQ(listed(lint(FileKind::check, goodCheck, "kw.ini")), ""); }

TEST(LintCheck, KeyPartsWithBlanks) {
    auto findings = lint(FileKind::check, lines({"x", " ExampleSoft", "Viewer ", "2.0", "v.exe", "run&v.exe&none",
                                                 "run&w.exe&none"}));
    expectOne(findings, 2, false, "leading or trailing blank");
    expectOne(findings, 3, false, "leading or trailing blank");
}

TEST(LintCheck, EmptyMarker) {
    auto findings = lint(FileKind::check, lines({"x", "A", "B", "C", "", "run&v.exe&none", "run&w.exe&none"}));
    expectOne(findings, 5, true, "the marker file is empty");
}

TEST(LintCheck, LinesSixAndSevenWithoutCommandWord) {
    auto findings = lint(FileKind::check, lines({"x", "A", "B", "C", "v.exe", "v.exe"}), "kw.ini");
    expectOne(findings, 6, true, "no command word: when the product is installed this runs the install check");
    // Line 7 is missing: empty, and in kw.ini itself that nests.
    expectOne(findings, 7, true, "which is this file again");
}

TEST(LintCheck, OverLongLineEmptiesTheLinesAfterIt) {
    auto findings = lint(FileKind::check, lines({"x", "A", std::string(270, 'B'), "C", "v.exe", "run&v&none",
                                                 "run&w&none"}));
    expectOne(findings, 3, true, "nothing of the check file is used");
    EXPECT_EQ(findings.size(), 1u) << listed(findings);  // no findings of lines read as empty
}

TEST(LintCheck, InstallerFileIsLintedAndItsKeyCompared) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "hostcmd-lint-test";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "setup.txt", std::ios::binary) << installer({{3, "Viewer "}, {16, "ExampleSoft\\Viewer"}});
    std::string check = lines({"x", "ExampleSoft", "Viewer", "2.0", "v.exe", "run&v.exe&none", "install&setup.txt"});
    auto findings = lint(FileKind::check, check, (dir / "kw.ini").string());
    expectOne(findings, 3, true, "differs from line 3 of setup.txt");
    // The installer's own findings come under its name.
    bool installerLinted = false;
    for (const Finding& finding : findings)
        installerLinted = installerLinted || (finding.file == (dir / "setup.txt").string() && finding.line == 16);
    EXPECT_TRUE(installerLinted) << listed(findings);
    auto missing = lint(FileKind::check, lines({"x", "A", "B", "C", "v.exe", "run&v.exe&none", "install&gone.txt"}),
                        (dir / "kw.ini").string());
    expectOne(missing, 7, false, "is not beside the check file");

    // Every form of the command leads to the installer file; the forms for the
    // current user also find what a standard user cannot do.
    std::ofstream(dir / "setup.txt", std::ios::binary)
        << installer({{15, "%WIN%Apps\\"}, {17, "reg&HKLM&Software\\A&v&x"}},
                     {"reg&HKLM&Software\\ExampleSoft&v&x", "regToFile&HKLM&Software\\A&v&r.txt", "reg&HKCU&Software\\A&v&x"});
    const std::string setup = (dir / "setup.txt").string();
    for (const char* word : {"install", "installQuiet", "installUser", "installUserQuiet"}) {
        SCOPED_TRACE(word);
        auto found = lint(FileKind::check, lines({"x", "ExampleSoft", "Viewer", "2.0", "v.exe", "run&v.exe&none",
                                                  std::string(word) + "&setup.txt"}),
                          (dir / "kw.ini").string());
        std::vector<int> forUser;
        for (const Finding& finding : found)
            if (finding.file == setup && finding.message.find("installUser") != std::string::npos) {
                EXPECT_FALSE(finding.error);
                forUser.push_back(finding.line);
            }
        bool user = std::string(word).find("User") != std::string::npos;
        EXPECT_EQ(forUser, user ? std::vector<int>({15, 17, 38}) : std::vector<int>()) << listed(found);
    }
    std::filesystem::remove_all(dir);
}

// The lint reads disk files only, as hostcmd does, and none too large to
// hold: a pipe or a device would never end a read, /dev/zero never ends at
// all. A check file says why its installer file was not linted.
TEST(LintCheck, OnlyDiskFilesOfASaneSizeAreRead) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "hostcmd-lint-files";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "folder");
    std::ofstream(dir / "setup.txt", std::ios::binary) << installer({});
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero");
    std::ofstream(dir / "huge", std::ios::binary).close();
    std::filesystem::resize_file(dir / "huge", maxLintedFileSize + 1);  // sparse
    struct Case {
        const char* name;
        FileRead read;
        const char* finding;  // what the check file's line 7 says, or null when the installer was linted
    } cases[] = {
        {"setup.txt", FileRead::read, nullptr},
        {"gone.txt", FileRead::missing, "is not beside the check file: it was not linted"},
        {"pipe", FileRead::notADiskFile, "was not linted: it is no disk file that can be read"},
        {"zero", FileRead::notADiskFile, "so hostcmd does not run it either: this line installs nothing"},
        {"folder", FileRead::notADiskFile, "was not linted: it is no disk file"},
        {"huge", FileRead::tooLarge, "was not linted: it is larger than 64 MiB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes;
        EXPECT_EQ(readDiskFile((dir / c.name).string(), bytes), c.read);
        auto findings = lint(FileKind::check, lines({"x", "ExampleSoft", "Viewer", "2.0", "v.exe", "run&v.exe&none",
                                                     std::string("install&") + c.name}),
                             (dir / "kw.ini").string());
        if (c.finding) expectOne(findings, 7, c.read != FileRead::missing && c.read != FileRead::tooLarge, c.finding);
        else EXPECT_EQ(listed(findings), "");
    }
    std::filesystem::remove_all(dir);
}

// ---- installer files

TEST(LintInstaller, TheWorkedExampleIsClean) { EXPECT_EQ(listed(lint(FileKind::installer, installer({}))), ""); }

TEST(LintInstaller, FewerThan38Lines) {
    std::string text;
    for (int n = 1; n <= 17; ++n) text += (n == 17 ? "NO" : n == 15 ? "C:\\Apps\\" : "x") + std::string("\r\n");
    expectOne(lint(FileKind::installer, text), 17, false, "the file has 17 lines: the command list starts at line 38");
}

TEST(LintInstaller, SwitchSpelledAlmostNo) {
    auto findings = lint(FileKind::installer, installer({{5, "No"}, {6, "no"}, {7, "NO "}}));
    expectOne(findings, 5, true, "the welcome message is shown");
    expectOne(findings, 6, true, "the path dialog is shown");
    expectOne(findings, 7, true, "the restart prompt is shown");
}

TEST(LintInstaller, BaseDirectoryWithoutBackslashOrWithUnknownToken) {
    expectOne(lint(FileKind::installer, installer({{15, "C:\\Apps"}})), 15, true, "does not end in \"\\\"");
    auto findings = lint(FileKind::installer, installer({{15, "%PROGRAMFILES%\\"}}));
    expectOne(findings, 15, true, "unknown path token \"%PROGRAMFILES%\"");
    EXPECT_EQ(listed(lint(FileKind::installer, installer({{15, "%WIN%"}}))), "");
}

TEST(LintInstaller, KeyPartsAnUninstallCannotName) {
    auto findings = lint(FileKind::installer, installer({{2, "Example|Soft"}, {3, "View&er"}, {4, "%WIN%"}}));
    expectOne(findings, 2, false, "becomes a blank): the uninstall that Windows' list starts finds nothing recorded");
    expectOne(findings, 3, false, "its \"&\" ends the part");
    expectOne(findings, 4, false, "%WIN% is expanded");
    // Part 3 is the rest of the uninstall's arguments: its "&" is kept.
    EXPECT_EQ(listed(lint(FileKind::installer, installer({{4, "2.0&beta"}}))), "");
}

TEST(LintInstaller, LastComponentOfLine16WithoutBackslash) {
    expectOne(lint(FileKind::installer, installer({{16, "Vendor\\Product"}})), 16, true,
              "the last component \"Product\" has no \"\\\" after it: it is dropped");
}

TEST(LintInstaller, EmptyFinalCommandRunsTheInstallCheck) {
    expectOne(lint(FileKind::installer, installer({{17, ""}})), 17, false, "runs the install check");
    expectOne(lint(FileKind::installer, installer({{17, "No"}})), 17, true, "is not \"NO\": it runs as a command line");
    expectOne(lint(FileKind::installer, installer({{17, "run&%APP%viewer.exe"}})), 17, true, "program comes out empty");
}

TEST(LintInstaller, OverLongLineBeforeTheCommandList) {
    expectOne(lint(FileKind::installer, installer({{11, std::string(300, 'x')}})), 11, true,
              "so the installer stops before its first dialog and changes nothing");
}

TEST(LintInstaller, CommandsInTheSkippedLines) {
    auto findings = lint(FileKind::installer, installer({{18, "copy&a&b&FALSE"}, {25, "just text & more"}}));
    expectOne(findings, 18, true, "lines 18 to 37 are skipped");
    for (const Finding& finding : findings) EXPECT_NE(finding.line, 25) << formatFinding(finding);
}

TEST(LintInstaller, CommandListLinesAreCheckedAsBatchLines) {
    auto findings = lint(FileKind::installer, installer({}, {"copy&a&b&FALSE", "Copy&a&b&FALSE", "", "save&x&y"}));
    expectOne(findings, 39, true, "did you mean \"copy\"");
    expectOne(findings, 40, true, "the command list ends here, so line 41 is never run");
}

// ---- one row per rule: the mistake with the one finding it must give, and a
// correct neighbour that must give none

TEST(LintRules, EachMistakeIsFoundAndItsCorrectNeighbourStaysSilent) {
    const std::string bom = "\xEF\xBB\xBF";
    struct Rule {
        FileKind kind;
        std::string mistake;
        int line;
        bool error;
        const char* part;
        FileKind neighbourKind;
        std::string neighbour;
    } rules[] = {
        // A field too many where the last field is a flag, a path or a reply file.
        {FileKind::batch, lines({"copy&a&b&TRUE&overwrite"}), 1, true,
         "one field too many: the command takes 3 fields (source&destination&TRUE to keep an existing destination), "
         "so the last field (TRUE to keep an existing destination) is \"TRUE&overwrite\", not TRUE, so an existing "
         "destination is overwritten",
         FileKind::batch, lines({"copy&a&b&TRUE"})},
        {FileKind::batch, lines({"makeDir&%APP%logs&%APP%cache"}), 1, true, "is \"%APP%logs&%APP%cache\", \"&\" and all",
         FileKind::batch, lines({"makeDir&%APP%logs", "makeDir&C:\\R&D", "delete&C:\\R&D\\x.txt"})},
        {FileKind::batch, lines({"regToFile&HKCU&Software\\X&v&ver.txt&overwrite"}), 1, true,
         "(reply file) is \"ver.txt&overwrite\": the answer goes into a file of that name", FileKind::batch,
         lines({"regToFile&HKCU&Software\\X&v&ver.txt"})},
        {FileKind::batch, lines({"pathToCD&f&r&x"}), 1, true, "(reply file) is \"r&x\"", FileKind::batch,
         lines({"pathToCD&f&r"})},
        // A "&" inside a field that is not the last.
        {FileKind::batch, lines({"copy&%APP%Tom & Jerry.txt&%APP%b.txt&TRUE"}), 1, true,
         "the \"&\" in \"%APP%Tom & Jerry.txt\" ends the source", FileKind::batch,
         lines({"copy&%APP%Tom and Jerry.txt&%APP%b.txt&TRUE", "save&C:\\a.txt&Tom & Jerry"})},
        {FileKind::batch, lines({"save&C:\\R&D\\notes.txt&Hello"}), 1, true,
         "so the file name is \"C:\\R\" and \"D\\notes.txt\" goes into the text", FileKind::batch,
         lines({"save&C:\\RD\\notes.txt&Hello & see C:\\x & y", "copy&C:\\R&sub\\b.txt&TRUE"})},
        // Flags: only TRUE keeps the destination.
        {FileKind::batch, lines({"copy&a&b&true"}), 1, true,
         "flag \"true\" is not TRUE: an existing destination is overwritten", FileKind::batch,
         lines({"copy&a&b&TRUE", "copy&a&b&FALSE", "copy&a&b&"})},
        {FileKind::batch, lines({"move&a&b&True"}), 1, true, "flag \"True\" is not TRUE", FileKind::batch,
         lines({"move&a&b&TRUE", "moveM&Moved&Done&a&b&false"})},
        {FileKind::batch, lines({"copy&a&b&keep it"}), 1, false, "flag \"keep it\" is neither TRUE nor FALSE",
         FileKind::batch, lines({"copy&a&b&no"})},
        // A required field given but empty.
        {FileKind::batch, lines({"getUserDir&&Choose a folder"}), 1, true,
         "the reply file is empty, so the answer is written nowhere", FileKind::batch,
         lines({"getUserDir&%TEMP%dir.txt&", "reg&HKCU&Software\\X&&default value"})},
        {FileKind::batch, lines({"open&"}), 1, true, "the document is empty, so the shell has nothing to open",
         FileKind::batch, lines({"open&\"C:\\My Files\\read me.txt\""})},
        // Tokens on every line.
        {FileKind::batch, lines({"copy&%PROGRAMFILES%\\x&b&TRUE"}), 1, true,
         "unknown path token \"%PROGRAMFILES%\": it stays in the text as it is; use %PROG%", FileKind::batch,
         lines({"copy&%PROG%x&b&TRUE"})},
        {FileKind::batch, lines({"save&%FOO%a.txt&x"}), 1, true, "the tokens are %APP% %WIN% %TEMP% %PROG% %SYS%",
         FileKind::batch, lines({"message&Sale&100% sure, 50%% off%TAB%now"})},
        {FileKind::batch, lines({"copy&%Win%a.ini&b&TRUE"}), 1, true, "\"%Win%\" is not a path token",
         FileKind::batch, lines({"copy&%WIN%a.ini&b&TRUE"})},
        // Registry keys.
        {FileKind::batch, lines({"reg&HKCU&Software/Vendor/Product&v&1"}), 1, true,
         "\"Software/Vendor/Product\" holds \"/\"", FileKind::batch,
         lines({"reg&HKCU&Software\\Vendor\\Product&v&a/b"})},
        {FileKind::batch, lines({"regCreateKey&HKCU&\\Software\\X"}), 1, true, "begins with \"\\\"", FileKind::batch,
         lines({"regCreateKey&HKCU&Software\\X"})},
        // Paths: quotes, blanks.
        {FileKind::batch, lines({"copy&\"C:\\My Files\\a.txt\"&b&TRUE"}), 1, true,
         "holds double quotes: they become part of the name", FileKind::batch,
         lines({"copy&C:\\My Files\\a.txt&b&TRUE"})},
        {FileKind::batch, lines({"delete& C:\\a.txt"}), 1, true, "the file \" C:\\a.txt\" begins or ends with a blank",
         FileKind::batch, lines({"delete&C:\\a b.txt"})},
        // The program's own name pasted in front.
        {FileKind::batch, lines({"hostcmd.exe save&C:\\a.txt&x"}), 1, true,
         "is written into a file of that name; hostcmd's own name does not belong in the line (write "
         "\"save&C:\\a.txt&x\")",
         FileKind::batch, lines({"hostcmd.log&save&C:\\a.txt&x"})},
        // Bytes: byte-order marks, CRs, UTF-16, non-ASCII shown escaped.
        {FileKind::batch, bom + "save&a&b\r\n", 1, true, "byte-order mark (\\xEF\\xBB\\xBF)", FileKind::check,
         bom + goodCheck},
        {FileKind::batch, std::string("\xFF\xFEs\0a\0v\0e\0", 10), 1, true, "UTF-16", FileKind::batch,
         lines({"save&a.txt&\xFF\xFE"})},
        {FileKind::batch, "save&a&b\rsave&c&d\r", 1, true, "the lines end in CR alone", FileKind::batch,
         "save&a&b\r\r\nsave&c&d\n"},
        {FileKind::batch, "save&a&b\r\nsave&c&d\rsave&e&f\r\n", 2, true,
         "reads \"save&c&d\" and \"save&e&f\" as one line", FileKind::batch, "save&a&b\r\nsave&c&d\r\n\r\n"},
        {FileKind::batch, lines({"s\xE4ve&a&b"}), 1, true, "unknown command word \"s\\xE4ve\"", FileKind::batch,
         lines({"save&C:\\D\xE4ten\\a.txt&b"})},
        // What silently drops a command is an error.
        {FileKind::batch, lines({"save&a&b", "", "save&c&d"}), 2, true, "the batch ends here", FileKind::batch,
         lines({"save&a&b", "save&c&d", "", ""})},
        {FileKind::installer, installer({{18, "copy&a&b&FALSE"}}), 18, true, "lines 18 to 37 are skipped",
         FileKind::installer, installer({{18, "notes & free text"}})},
        // Installer key and directories.
        {FileKind::installer, installer({{2, ""}, {3, ""}, {4, ""}}), 2, true, "directly into HKLM\\Software",
         FileKind::installer, installer({{4, ""}})},
        {FileKind::installer, installer({{15, "C:\\Apps"}, {16, ""}}), 15, true,
         "line 16 is empty, so the installed directory is the base directory with its last character dropped, "
         "\"C:\\App\"",
         FileKind::installer, installer({{15, "C:\\Apps\\"}, {16, ""}})},
        {FileKind::installer, installer({{15, "C:\\Apps"}}), 15, true,
         "the installed directory is \"C:\\AppsExampleSoft\\Viewer\" (write \"C:\\Apps\\\")", FileKind::installer,
         installer({{15, "%WIN%"}})},
    };
    for (const Rule& rule : rules) {
        SCOPED_TRACE(rule.part);
        auto findings = lint(rule.kind, rule.mistake);
        expectOne(findings, rule.line, rule.error, rule.part);
        for (std::size_t i = 1; i < findings.size(); ++i) EXPECT_LE(findings[i - 1].line, findings[i].line);
        EXPECT_EQ(listed(lint(rule.neighbourKind, rule.neighbour, rule.neighbourKind == FileKind::check ? "kw.ini" : "test.txt")), "");
    }
}

// ---- the line model and the table the rules rest on

// Two files joined: the second one's byte-order mark starts a line. It is
// the line's one finding; inside a line, or before line 1 of a check file
// (a title nobody reads), a mark changes nothing.
TEST(LintRules, ByteOrderMarkOnALaterLine) {
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        FileKind kind;
        std::string bytes;
        int line;
    } cases[] = {
        {FileKind::batch, lines({"save&a&b", bom + "save&c&d"}), 2},
        {FileKind::batch, lines({"save&a&b", bom + "notes.txt&x"}), 2},
        {FileKind::check, lines({"x", bom + "ExampleSoft", "Viewer", "2.0", "v.exe", "run&v&none", "run&w&none"}), 2},
        {FileKind::check, lines({"x", "A", "B", "C", "v.exe", "run&v&none", bom + "run&w&none"}), 7},
        {FileKind::installer, installer({{16, bom + "ExampleSoft\\Viewer\\"}}), 16},
        {FileKind::installer, installer({}, {"copy&a&b&FALSE", bom + "copy&c&d&FALSE"}), 39},
    };
    for (const Case& c : cases) {
        auto findings = lint(c.kind, c.bytes);
        expectOne(findings, c.line, true, "byte-order mark (\\xEF\\xBB\\xBF), as where two files were joined");
        EXPECT_EQ(findings.size(), 1u) << listed(findings);
    }
    EXPECT_EQ(listed(lint(FileKind::batch, lines({"save&a.txt&" + bom + "text", "save&b.txt&x"}))), "");
    EXPECT_EQ(listed(lint(FileKind::check, bom + goodCheck, "kw.ini")), "");
}

TEST(LintLineModel, ReadsWhatHostcmdsLineReaderReads) {
    const std::string files[] = {
        "a\r\nb\r\n", "a\nb", "a\r\n\r\nb\r\n", std::string(259, 'x') + "\nnext\n",
        std::string(260, 'x') + "\nnext\n", "a\r\n\x1A" "b\r\n", "one\rtwo\r\n", "", "\n\n\nfour"};
    for (const std::string& bytes : files) {
        fakeReset();
        fakeAddFile("C:\\f.txt", bytes);
        LineReader reader;
        ASSERT_TRUE(openLineReader(reader, "C:\\f.txt"));
        FileLines model = splitLines(bytes);
        for (int n = 1; n <= 8; ++n) EXPECT_EQ(seenLine(model, n), readLine(reader)) << "line " << n;
        closeLineReader(reader);
    }
}

TEST(LintTable, EveryEntrySaysWhatEachOfItsFieldsDoesWhenEmpty) {
    for (int i = 0; i < commandCount; ++i) {
        const CommandEntry& entry = commandTable[i];
        ASSERT_NE(entry.does, nullptr) << entry.words[0];
        int described = entry.whenEmpty && *entry.whenEmpty ? 1 : 0;
        for (const char* c = entry.whenEmpty; c && *c; ++c) described += *c == '&';
        EXPECT_EQ(described, fieldCount(entry)) << entry.words[0];
        // One kind per field, each one the value rules know.
        ASSERT_NE(entry.kinds, nullptr) << entry.words[0];
        int kinds = *entry.kinds ? 1 : 0;
        for (const char* c = entry.kinds; *c; ++c) kinds += *c == '&';
        EXPECT_EQ(kinds, fieldCount(entry)) << entry.words[0];
        const std::string known[] = {"path", "document", "flag", "reply", "root", "key", "number", "text", "command"};
        for (int field = 0; field < kinds; ++field)
            EXPECT_NE(std::find(std::begin(known), std::end(known), listItem(entry.kinds, field)), std::end(known))
                << entry.words[0] << " field " << field + 1 << ": " << listItem(entry.kinds, field);
    }
    // The kinds the value rules rest on, where a wrong one would silence them.
    EXPECT_EQ(listItem(findCommand("reg")->kinds, 0), "root");
    EXPECT_EQ(listItem(findCommand("deleteIcon")->kinds, 0), "number");
    EXPECT_EQ(listItem(findCommand("deskIcon")->kinds, 5), "number");
    EXPECT_EQ(listItem(findCommand("copyM")->kinds, 4), "flag");
    EXPECT_EQ(listItem(findCommand("regToFile")->kinds, 3), "reply");
}

TEST(LintKind, GuessesTheKindOfAFile) {
    EXPECT_EQ(guessKind("kw.ini", goodCheck), FileKind::check);
    EXPECT_EQ(guessKind("setup.txt", installer({})), FileKind::installer);
    EXPECT_EQ(guessKind("steps.txt", lines({"save&a&b", "save&c&d"})), FileKind::batch);
    // Eight lines or fewer without "&" on line 1: a batch file, as --help says.
    EXPECT_EQ(guessKind("notes.txt", lines({"hello", "world"})), FileKind::batch);
    EXPECT_EQ(guessKind("nine.txt", lines({"a", "b", "c", "d", "e", "f", "g", "h", "save&x&y"})), FileKind::installer);
}

TEST(LintKind, TheGuessedKindIsNamedWithItsReason) {
    EXPECT_EQ(guessedKindNote("steps.txt", FileKind::batch),
              "steps.txt: note: linted as a batch file (guessed: not *.ini, and not more than eight lines with no "
              "\"&\" in lines 1 to 4; --batch, --check or --installer say which)");
    EXPECT_NE(guessedKindNote("setup.txt", FileKind::installer).find("linted as an installer file (guessed: more"),
              std::string::npos);
    EXPECT_NE(guessedKindNote("kw.ini", FileKind::check).find("linted as a check file (guessed: its name ends in .ini"),
              std::string::npos);
}

// The examples shipped with hostcmd must lint clean. Check files (*.ini) are
// linted with the installer files they run; batch files are the files whose
// first line starts with a command word; installer files are recognised by
// their shape; the other files are the products' own payload (texts the
// installers copy), not hostcmd's to read.
TEST(LintExamples, EveryShippedExampleIsClean) {
    std::filesystem::path examples = std::filesystem::path(HOSTCMD_SOURCE_DIR) / "examples";
    int linted = 0;
    if (std::filesystem::exists(examples))
        for (auto& item : std::filesystem::recursive_directory_iterator(examples)) {
            if (!item.is_regular_file()) continue;
            std::string path = item.path().string(), bytes;
            ASSERT_TRUE(readWholeFile(path, bytes));
            std::string word, arguments;
            splitField(seenLine(splitLines(bytes), 1), word, arguments);
            FileKind kind = guessKind(path, bytes);
            if (item.path().extension() == ".ini") kind = FileKind::check;
            else if (findCommand(word)) kind = FileKind::batch;
            else if (kind != FileKind::installer) continue;  // payload
            std::vector<Finding> findings;
            lintFile(kind, path, bytes, findings);
            EXPECT_EQ(listed(findings), "") << path;
            ++linted;
        }
    if (linted == 0) GTEST_SKIP() << "no examples shipped";
}

// The README's command reference is the table --reference prints: a row
// added to the command table or changed there must reach the README too.
TEST(LintReference, ReadmeHoldsTheGeneratedTable) {
    std::string readme;
    ASSERT_TRUE(readWholeFile((std::filesystem::path(HOSTCMD_SOURCE_DIR) / "README.md").string(), readme));
    std::size_t section = readme.find("\n## Command reference\n");
    ASSERT_NE(section, std::string::npos) << "README.md has no section \"## Command reference\"";
    std::size_t end = readme.find("\n## ", section + 1);
    std::vector<std::string> table;
    std::size_t at = section + 1;
    int firstLine = static_cast<int>(std::count(readme.begin(), readme.begin() + section + 1, '\n')) + 1;
    int tableStart = 0;
    for (int number = firstLine; at < end; ++number) {
        std::size_t lf = readme.find('\n', at);
        std::string line = readme.substr(at, lf - at);
        if (!line.empty() && line[0] == '|') {
            if (table.empty()) tableStart = number;
            table.push_back(line);
        }
        at = lf + 1;
    }
    std::vector<std::string> generated;
    std::string reference = commandReference();
    for (std::size_t from = 0; from < reference.size();) {
        std::size_t lf = reference.find('\n', from);
        generated.push_back(reference.substr(from, lf - from));
        from = lf + 1;
    }
    EXPECT_EQ(generated.size(), static_cast<std::size_t>(commandCount) + 2);
    for (std::size_t i = 0; i < std::max(table.size(), generated.size()); ++i) {
        std::string inReadme = i < table.size() ? table[i] : "(no line)";
        std::string made = i < generated.size() ? generated[i] : "(no line)";
        ASSERT_EQ(inReadme, made) << "README.md line " << tableStart + static_cast<int>(i)
                                  << " differs from hostcmd-lint --reference (paste its output there)";
    }
}

// ---- --utf8: files for the UTF-8 build

TEST(LintUtf8, MalformedBytesAreErrorsAtLineAndColumn) {
    struct Utf8Case {
        const char* name;
        std::string bytes;
        std::string expected;  // the findings as printed
    };
    const Utf8Case cases[] = {
        {"Polish, Greek, Chinese, an emoji and a mark",
         "\xEF\xBB\xBFsave&\xC5\x81ukasz.txt&\xCE\xB1\xE4\xB8\xAD\xF0\x9F\x8E\x81\r\n", ""},
        {"a Latin-1 byte", "save&a.txt&ok\r\nsave&caf\xE9.txt&x\r\n",
         "f.txt:2:9: error: byte 0xE9 is not UTF-8 (an ANSI file?): hostcmd-utf8.exe reads it as U+FFFD\n"},
        {"one finding per line, the first", "\x80\xFF\n", "f.txt:1:1: error: byte 0x80"},
        {"a character cut by the line end", "ab\xE4\xB8\nc\xE4\xB8\xAD", "f.txt:1:3: error: byte 0xE4"},
        {"a character cut by the end of the file", "ok\nab\xF0\x9F\x8E", "f.txt:2:3: error: byte 0xF0"},
        {"overlong slash", "a\xC0\xAF", "f.txt:1:2: error: byte 0xC0"},
        {"overlong three-byte form", "\xE0\x80\xAF", "f.txt:1:1: error: byte 0xE0"},
        {"a surrogate", "x\xED\xA0\x80", "f.txt:1:2: error: byte 0xED"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", "f.txt:1:1: error: byte 0xF4"},
        {"the largest character", "\xF4\x8F\xBF\xBF", ""},
        {"code page 932 bytes", "save&\x83\x65\x83\x58\x83\x67.txt&x", "f.txt:1:6: error: byte 0x83"},
    };
    for (const Utf8Case& c : cases) {
        std::vector<Finding> findings;
        lintUtf8("f.txt", c.bytes, findings);
        const std::string printed = listed(findings);
        if (c.expected.empty()) EXPECT_EQ("", printed) << c.name;
        else EXPECT_EQ(0u, printed.find(c.expected)) << c.name << ": " << printed;
        EXPECT_LE(findings.size(), 1u) << c.name;
    }
}
