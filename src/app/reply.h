// Reply files and the text-file writer.
//
// A command that answers writes "<key>=<value>" (or "<key>=ERROR") into the
// reply file its caller named, with no line end. Every text file hostcmd
// writes is in text mode: each LF is stored as CR LF (textFileBytes).
//
// A reply is written in place by writeTextFile: a line hostcmd makes, whose
// old content is worth nothing, and a host may hold its reply file open to
// read it (a replace would fail there and leave the old answer standing).
// The texts the save forms store are put in place only when whole
// (saveTextFile, src/files).
#pragma once

#include <string>

// Creates or truncates the file and writes the text, every LF as CR LF. A
// file that cannot be opened receives nothing and stays as it was, and a
// device name (refusedAsDevice) is not opened at all. True when the whole
// text was written; most callers have no use for the answer.
bool writeTextFile(const std::string& fileName, const std::string& text);
// Whether a name that hostcmd would read or write as a file is a device's
// (namesDevice): it is then never opened, and the trace says so.
bool refusedAsDevice(const std::string& fileName);

// The bytes of a text in a text file, every LF as CR LF: the text itself when
// it has no LF, otherwise `converted`, which then holds them.
const std::string& textFileBytes(const std::string& text, std::string& converted);
