// The lint's rules, one case per rule, grouped by file kind. Each case lints
// a small file and looks for the one finding the rule must give (its line,
// its severity and a telling part of its message); the clean files give none.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

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
    expectOne(findings, 2, true, "317 characters long: hostcmd reads only its first 259");
    expectOne(findings, 2, true, "line 3 is never run");
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
    expectOne(findings, 1, false, "\"%Win%\" is not a path token");
    expectOne(findings, 1, false, "\"%temp%\" is not a path token");
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
    expectOne(findings, 2, false, "the batch ends here, so lines 3 to 4 are never run");
    expectOne(lint(FileKind::batch, lines({"", "save&a&b"})), 1, false, "runs nothing");
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
    expectOne(findings, 3, true, "lines 4 to 7 then read as empty");
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
              "so the command list never runs");
}

TEST(LintInstaller, CommandsInTheSkippedLines) {
    auto findings = lint(FileKind::installer, installer({{18, "copy&a&b&FALSE"}, {25, "just text & more"}}));
    expectOne(findings, 18, false, "lines 18 to 37 are skipped");
    for (const Finding& finding : findings) EXPECT_NE(finding.line, 25) << formatFinding(finding);
}

TEST(LintInstaller, CommandListLinesAreCheckedAsBatchLines) {
    auto findings = lint(FileKind::installer, installer({}, {"copy&a&b&FALSE", "Copy&a&b&FALSE", "", "save&x&y"}));
    expectOne(findings, 39, true, "did you mean \"copy\"");
    expectOne(findings, 40, false, "the command list ends here, so line 41 is never run");
}

// ---- the line model and the table the rules rest on

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
    }
    // The value rules find their fields by these names.
    EXPECT_EQ(listItem(findCommand("reg")->fields, 0), "root");
    EXPECT_EQ(listItem(findCommand("deleteIcon")->fields, 0), "folder number");
    EXPECT_EQ(listItem(findCommand("deskIcon")->fields, 5), "icon index");
}

TEST(LintKind, GuessesTheKindOfAFile) {
    EXPECT_EQ(guessKind("kw.ini", goodCheck), FileKind::check);
    EXPECT_EQ(guessKind("setup.txt", installer({})), FileKind::installer);
    EXPECT_EQ(guessKind("steps.txt", lines({"save&a&b", "save&c&d"})), FileKind::batch);
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
