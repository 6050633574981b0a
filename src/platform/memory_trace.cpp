// The trace (the model of win32_trace.cpp): off after fakeReset; on, every
// line is kept in fakeTraceLines and, with a file name, appended to that file.
#include "platform/memory_model.h"

using namespace memory;

std::vector<std::string> fakeTraceLines;

namespace {
bool traceOn = false;
std::string traceFile;  // absolute, empty when the lines are only kept in memory
}  // namespace

namespace memory {
void resetTrace() {
    fakeTraceLines.clear();
    traceOn = false;
    traceFile.clear();
}
}  // namespace memory

void fakeTraceOn(bool on, const std::string& file) {
    traceOn = on;
    traceFile = file.empty() ? std::string() : absolute(file);
}
bool traceEnabled() { return traceOn; }
void appendTraceLine(const std::string& line) {
    if (!traceOn) return;
    fakeTraceLines.push_back(line);
    if (traceFile.empty()) return;
    appendToFile(traceFile, line + "\r\n");
}
bool isTraceFile(Handle file) {
    return traceOn && !traceFile.empty() && fileOpenAs(file, traceFile);
}
