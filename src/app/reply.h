// Reply files and the one text-file writer.
//
// A command that answers writes "<key>=<value>" (or "<key>=ERROR") into the
// reply file its caller named, with no line end. Every text file hostcmd
// writes goes through writeTextFile, in text mode: each LF is stored as CR LF.
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
