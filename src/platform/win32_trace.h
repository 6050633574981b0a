// The platform's side of the trace: one line per failed Windows call.
#pragma once

#include <initializer_list>
#include <string>

#include "platform/platform.h"

// A text argument as the trace shows it (double quotes, control bytes named).
std::string tracedText(const std::string& text);
// A key handle as the trace shows it: a root's name or its number.
std::string tracedKey(Handle key);
// Appends "<call>(<arguments>) failed: error <code>" when tracing is on. The
// caller takes the code (GetLastError or the returned code) before building
// the arguments.
void traceFailure(const char* call, unsigned long code, std::initializer_list<std::string> arguments);
