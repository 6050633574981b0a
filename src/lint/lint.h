// hostcmd-lint: checks batch files, check files and installer files before
// they ship, and explains how hostcmd reads one command line.
//
// Every check reads the files as hostcmd's line reader does (CR dropped, LF
// ends a line, Ctrl-Z ends the file, 259 characters a line, an over-long
// line and every later line read as empty) and asks hostcmd's own command
// table (app/dispatch.h) what each command word takes and does. Findings come
// out as compilers print them: "file:line: error|warning: message".
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "app/dispatch.h"

enum class FileKind { batch, check, installer };

struct Finding {
    std::string file;
    int line;  // 1-based; 0 for the file as a whole
    bool error;
    std::string message;
    int column = 0;  // 1-based byte column; 0 when the finding is about the whole line
};

// The file as hostcmd's line reader sees it.
struct FileLines {
    std::vector<std::string> lines;  // split at LF, CRs dropped, up to a Ctrl-Z; a last line without LF counts
    int ctrlZLine = 0;               // the line holding a Ctrl-Z that has more text after it, 0 when none
    int cutLine = 0;                 // the first line of more than 259 characters, 0 when none
    // Lines holding a CR that no LF follows (an editor shows a line end
    // there, hostcmd drops the CR), with their text split at those CRs.
    std::vector<std::pair<int, std::vector<std::string>>> strayCr;
    bool anyLf = false;              // the file holds an LF before its end
};
FileLines splitLines(const std::string& bytes);
// What hostcmd reads as line n (1-based): empty past the end, from an over-long line on, and after a NUL.
std::string seenLine(const FileLines& file, int n);

// The lint reads only what hostcmd reads: disk files. It reads each whole,
// so a file over 64 MiB is not read (a batch file of two million lines is
// smaller).
const std::size_t maxLintedFileSize = std::size_t(64) << 20;
enum class FileRead { read, missing, notADiskFile, tooLarge, failed };
// The whole file into `bytes`, when it is a disk file of at most
// maxLintedFileSize bytes; never waits on a device or a pipe.
FileRead readDiskFile(const std::string& path, std::string& bytes);
// Why a file was not read: "there is no such file", ...
const char* unreadReason(FileRead result);
// readDiskFile, answering only whether the file was read.
bool readWholeFile(const std::string& path, std::string& bytes);

// The kind a file is taken for when the user did not say: a name ending in
// ".ini" is a check file, a file of more than eight lines with no "&" in
// lines 1 to 4 an installer file, any other a batch file.
FileKind guessKind(const std::string& path, const std::string& bytes);
const char* kindName(FileKind kind);

// Lints the file's bytes as the given kind; the findings come out sorted by
// file (the linted file first) and line. A check file whose line 6 or 7 runs
// "install&<file>" has that installer file linted too (looked for beside the
// check file) and their install key lines compared.
void lintFile(FileKind kind, const std::string& path, const std::string& bytes, std::vector<Finding>& findings);
// The line hostcmd-lint prints before a file's findings when it guessed the
// file's kind: the kind, and why.
std::string guessedKindNote(const std::string& path, FileKind kind);
// Lints one command line of a file (batch line, command-list line, line 6 or 7
// of a check file, a final command).
void lintCommandLine(const std::string& path, int line, const std::string& commandLine,
                     std::vector<Finding>& findings);

std::string formatFinding(const Finding& finding);

// --reference: the command reference as a Markdown table (command words,
// fields, what each does, reply), one row per entry of the command table.
std::string commandReference();

// --utf8: every byte sequence that is not well-formed UTF-8 is an error at
// its line and column (the UTF-8 build would read it as U+FFFD).
void lintUtf8(const std::string& path, const std::string& bytes, std::vector<Finding>& findings);

// A text as the lint's messages show it: in double quotes, every control and
// non-ASCII byte written as \xNN, so that a message never carries raw bytes.
std::string quoted(const std::string& text);

// The checks of one command line's fields against the kinds the command
// table gives them (values.cpp): a "&" inside a field, a field too many,
// flags, empty required fields, blanks and quotes around paths, root names,
// numbers, registry keys. Only the first `present` fields are looked at one
// by one (the others are missing); `where` starts each message.
void checkFieldValues(const std::string& file, int line, const std::string& where, const CommandEntry& entry,
                      const std::string& arguments, int present, std::vector<Finding>& findings);
// Path tokens in the wrong case and "%NAME%" sequences that are no token,
// each with the token meant.
void checkTokens(const std::string& file, int line, const std::string& text, std::vector<Finding>& findings);
// The path token nearest to an unknown "%NAME%", or "" when none is near.
std::string nearestToken(const std::string& name);

// Step by step how hostcmd reads the command line, running nothing. With
// `expandTokens` the path tokens are expanded as hostcmd would (only on
// Windows); otherwise they are shown by name.
std::string explainCommandLine(const std::string& commandLine, bool expandTokens);

// The command word nearest to an unknown one: the one differing only in
// case, else the closest by edit distance (at most a third of its length);
// empty when nothing is close.
std::string nearestCommandWord(const std::string& word);
