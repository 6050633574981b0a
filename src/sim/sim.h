// hostcmd-sim: runs one command line, or a batch, check or installer file,
// against the in-memory platform and reports what it would change.
//
// The simulated machine starts as a fresh 64-bit Windows 10 (see
// seedMachine); options seed drives, CD-ROM drives and the registry, set the
// code page and script the answers of boxes and dialogs. The report lists the
// files, registry keys and values and shortcuts that changed, then in order
// the boxes and dialogs shown, the shell calls and every platform call that
// failed, as stable text or as JSON.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

struct SimOptions {
    std::string commandLine;  // what runs, when no file is given
    bool haveCommandLine = false;
    std::string file;         // --simulate-file: a host path
    std::string kind;         // "batch", "check", "installer", or "" to guess
    std::string installWord = "install";  // what runs an installer file: install, installQuiet, installUser, installUserQuiet
    std::vector<std::pair<char, std::string>> drives, cds;  // letter, host folder
    std::vector<std::string> registryFiles;
    unsigned codePage = 1252;
    std::vector<std::pair<std::string, std::string>> answers;  // caption, answer
    bool answerDefault = false;
    bool json = false;
    std::string currentDirectory;  // Windows path; "" for the default
    std::string user = "user";
};

// Parses the arguments after the program name; false with a message naming
// the fault. Reads the files of --answers.
bool parseSimOptions(const std::vector<std::string>& arguments, SimOptions& options, std::string& error);

// One change a .reg file makes. A value's change belongs to the key of the
// [key] line before it (its path is empty: a file of many values below one
// deep key holds that key's path once).
struct RegChange {
    enum Kind { createKey, deleteKey, setValue, deleteValue } kind;
    Handle root;
    std::string path, name;  // in the ANSI code page ("?" for a character it lacks)
    unsigned type;       // 1 REG_SZ, 2 REG_EXPAND_SZ, 3 REG_BINARY, 4 REG_DWORD, 7 REG_MULTI_SZ, ...
    std::string bytes;   // as RegQueryValueExA gives them (texts in the ANSI code page, with their zeros)
    bool exact;          // false: a text holds characters the code page lacks, so the ANSI read fails
};
// Reads the text `reg export` and regedit write, UTF-16 with its byte order
// mark or ANSI (REGEDIT4): the header, [key] and [-key] sections, "name"= and
// @= values with text, dword:, hex: and hex(N): data (continued over lines
// ending in "\"), and "name"=- deletions. A UTF-16 file's texts are converted
// to the simulated code page as the ANSI calls give them. Keys under
// HKLM\Software\WOW6432Node are taken as the 32-bit product sees them, under
// HKLM\Software. Keys are held to Windows' limits (512 levels, 256
// characters a name; value names 16,383). False with "line N: message" on
// the first fault; the time and memory it takes grow with the file's size.
bool parseRegFile(const std::string& bytes, std::vector<RegChange>& changes, std::string& error);

// Resets the in-memory platform to a fresh machine and seeds it as the
// options say; false with a message when a folder or file cannot be read.
// `run` receives the command line to run and `directory` the current directory.
bool seedMachine(const SimOptions& options, std::string& run, std::string& error);

// Runs the command line and writes the report to stdout, with the exit code
// hostcmd.exe would end with when that is not 0. Returns the simulation's
// exit code: 0, or 2 when a box or dialog had no answer (or too many came).
int simulate(const SimOptions& options, const std::string& commandLine);
