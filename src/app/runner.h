// The command runner: one command line in, one command performed.
//
// runCommandLine drops a leading quoted part, splits off the command word at
// the first "&", turns every "|" of the argument text into a blank, expands the
// path tokens and dispatches. Commands that run further command lines (batch,
// confirm, the install check, the installer) call it again; the nesting is
// capped at maxRunDepth. A run that would go deeper is not performed and stops
// every enclosing run as well: callers that run lines in a loop look at
// runsStopped() after each line and close their files on the way out.
// The UTF-8 build whose process did not get UTF-8 as its code page runs no
// command line at all (and traces why). Where texts are UTF-8, a line that is
// not well-formed UTF-8 is not run either.
#pragma once

#include <string>

#include "platform/platform.h"

const int maxRunDepth = 32;

void runCommandLine(Handle instance, const std::string& commandLine);
// True once a run went past maxRunDepth: nothing more runs in this start.
bool runsStopped();
// Forget a stop and the exit code (unit tests run many starts in one process).
void resetRuns();

// The process's exit code: 0, whatever the command did, unless a command
// whose callers read exit codes (deployment tools, a refused start) sets
// another. The last code set stands.
void setExitCode(int code);
// ERROR_OLD_WIN_VERSION, "The specified program requires a newer version of
// Windows": hostcmd-utf8.exe on a Windows before 10 version 1903, which ran
// nothing.
const int exitNeedsNewerWindows = 1150;
int exitCode();

// What the Windows start-up code leaves of the process command line: leading
// blanks, the program path (quoted: up to the next quote or tab; unquoted: up
// to the first blank), one double quote standing there, and the blanks after.
std::string commandLineTail(const std::string& processCommandLine);
// The line after the leading double quote rule.
std::string dropLeadingQuotes(const std::string& line);
