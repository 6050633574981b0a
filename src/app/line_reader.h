// The line reader every text-file reader shares (batch files, check files,
// installer files).
//
// Text mode is done here on bytes read in binary: every CR is dropped
// wherever it stands, a Ctrl-Z byte ends the file, an LF ends a line. A line
// holds at most 259 bytes. A longer line, and a read that fails, put the
// reader in the failed state: the line is not yielded (a cut command could
// name another file than the one written, or lose its last field), and every
// later read yields an empty line, as every read past the end of the file
// does. Callers that act on what they read check `failed` to tell a file
// that ended from one that could not be read whole. A line's text ends at a
// NUL byte. The file is read in
// blocks as the lines are asked for, so a long file needs no more memory
// than a short one.
//
// In the UTF-8 build (processWorksInUtf8) a UTF-8 byte-order mark at the very
// start of the file is skipped. Where texts are UTF-8 (textsAreUtf8) a line
// that is not well-formed UTF-8 fails the reader as a line that does not fit
// does: Windows would act on another name than the one its bytes spell.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

const std::size_t maxLineLength = 259;

struct LineReader {
    Handle file;
    bool ended;   // end of file, a Ctrl-Z, or the failed state: only empty lines from now on
    bool failed;  // a line did not fit or was not UTF-8, or a read failed: what was read is not the whole file
    std::size_t next, filled;
    char block[512];
};

// Opens the file for reading; false when it cannot be opened, or is the trace file.
bool openLineReader(LineReader& reader, const std::string& fileName);
// The next line, without its line end; empty past the end or after a failure.
std::string readLine(LineReader& reader);
void closeLineReader(LineReader& reader);
