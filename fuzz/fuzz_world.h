// The world a fuzz input sets up on the fake platform, and the checks that
// every run must pass whatever it did.
//
// An input is text lines. Line 1 is the command line (or, for the file
// targets, unused); every later line is one directive, chosen by its first
// byte:
//   f<path>\t<bytes>   a file; "\n" (backslash, n) in the bytes stands for LF
//   d<path>            a directory
//   r<root>\t<key>\t<name>\t<value>   a registry value; root 0-3 = HKCR..HKU
//   b<answers>         box answers, one byte each: 0 fail, - (-1), 1 OK,
//                      2 Cancel, 4 Retry, 6 Yes, 7 No
//   a<path>            the next dialog's answer ("" cancels)
//   c<letters>         CD-ROM drives
//   m<path>            file dialogs move the current directory there
//   j                  ANSI code page 932
//   x<number>          fail that platform call (by number among all calls)
//   n<name>            fail every call of that name
//   w<windows>\t<temp>\t<system>   the three directories
//   R                  the shutdown privilege is refused
//   t                  the trace is on (kept in memory by the fake)
// Unknown directives are ignored, so every input is valid.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/runner.h"
#include "platform/memory_platform.h"

namespace fuzzworld {

// Platform calls one input may make; every call after these fails, so a
// batch or installer that would run lines without end still ends quickly.
const int callBudget = 20000;
const Handle instance = 0x400000;

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    lines.push_back(line);
    return lines;
}

inline std::vector<std::string> splitTabs(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == '\t') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

inline std::string unescapeBytes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

inline Handle rootByDigit(char c) {
    switch (c) {
        case '0': return rootClassesRoot;
        case '1': return rootCurrentUser;
        case '3': return rootUsers;
        default: return rootLocalMachine;
    }
}

// Resets the fake and applies the directives of lines[1..]. The failure
// directives take effect last, so they count only the command's own calls.
inline void setUp(const std::vector<std::string>& lines) {
    fakeReset();
    resetRuns();
    std::vector<int> boxes;
    std::vector<std::string> dialogs;
    int failNumber = 0;
    std::vector<std::string> failNames;
    bool denyShutdown = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) continue;
        std::string body = line.substr(1);
        std::vector<std::string> parts = splitTabs(body);
        switch (line[0]) {
            case 'f':
                if (!parts[0].empty()) fakeAddFile(parts[0], parts.size() > 1 ? unescapeBytes(parts[1]) : "");
                break;
            case 'd':
                if (!body.empty()) fakeAddDirectory(body);
                break;
            case 'r':
                if (parts.size() >= 4 && !parts[0].empty())
                    fakeSetRegistryValue(rootByDigit(parts[0][0]), parts[1], parts[2], parts[3]);
                break;
            case 'b':
                for (char c : body) boxes.push_back(c == '-' ? -1 : c - '0');
                break;
            case 'a': dialogs.push_back(body); break;
            case 'c':
                for (char c : body)
                    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) fakeSetDriveType(c & ~0x20, driveCdrom);
                break;
            case 'm': fakeDialogsMoveCurrentDirectory(body); break;
            case 'j': fakeUseCodePage932(true); break;
            case 'x': failNumber = std::atoi(body.c_str()); break;
            case 'n': failNames.push_back(body); break;
            case 'w':
                if (parts.size() >= 3) fakeSetDirectories(parts[0], parts[1], parts[2]);
                break;
            case 'R': denyShutdown = true; break;
            case 't': fakeTraceOn(true); break;
            default: break;
        }
    }
    fakeAnswerBoxes(boxes);
    fakeAnswerDialogs(dialogs);
    if (denyShutdown) fakeDenyShutdownPrivilege();
    fakeCalls.clear();
    if (failNumber > 0) fakeFailCallNumber(failNumber);
    for (const std::string& name : failNames) fakeFail(name);
    fakeFailCallsFrom(callBudget);
}

inline void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// What every run must leave: nothing open, COM balanced, nothing allocated.
inline void checkAfterRun() {
    if (fakeOpenFiles() != 0) fail("a file stayed open");
    if (fakeOpenKeys() != 0) fail("a registry key stayed open");
    if (fakeComBalance() != 0) fail("CoInitialize and CoUninitialize are not balanced");
    if (fakeLiveComObjects() != 0) fail("a COM object was not released");
    if (fakeLiveAllocations() != 0) fail("a shell allocation was not freed");
}

inline void runCommand(const std::string& commandLine) {
    runCommandLine(instance, commandLine);
    checkAfterRun();
}

}  // namespace fuzzworld
