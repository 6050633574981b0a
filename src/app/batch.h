// Batch files: "batch&<file>" runs each line of a text file as a command
// line, in order, up to the first empty line, the end of the file, or the
// line after which the reader failed (an over-long line).
#pragma once

#include <string>

#include "platform/platform.h"

// False when the file could not be opened; nothing runs then.
bool runBatchFile(Handle instance, const std::string& fileName);

void commandBatch(Handle instance, const std::string& word, const std::string& arguments);
