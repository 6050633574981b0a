// The platform's side of the trace: one line per failed Windows call.
//
// "<call>(<arguments>) failed: error <code>", appended only when tracing is
// on. The caller takes the code (GetLastError or the returned code) first.
// Arguments are texts, always shown in double quotes with their control
// bytes named (<CR>, <LF>, <0x01>), or flags the call site spells out with
// traceAsIs ("KEY_SET_VALUE", "NULL"), shown as they stand. The two are told
// apart by their type, never by their bytes: no text from a command line can
// pass for a flag and so put raw line ends, or lines of its own, into the
// trace. The line is built only when it is written.
#pragma once

#include "platform/platform.h"

struct TraceArgument {
    const char* text;  // null: no such argument
    bool asIs;
    TraceArgument(const char* text = nullptr) : text(text), asIs(false) {}
};
struct TraceFlag {};
// traceAsIs "FLAG" is the flag argument FLAG.
inline TraceArgument operator+(TraceFlag, const char* flag) {
    TraceArgument argument(flag);
    argument.asIs = true;
    return argument;
}
#define traceAsIs TraceFlag() +

void traceFailure(const char* call, unsigned long code, TraceArgument a = TraceArgument(),
                  TraceArgument b = TraceArgument(), TraceArgument c = TraceArgument(),
                  TraceArgument d = TraceArgument());
// The same with a key or file handle as the first argument (a root key by its name).
void traceHandleFailure(const char* call, unsigned long code, Handle handle, TraceArgument a = TraceArgument(),
                        TraceArgument b = TraceArgument(), TraceArgument c = TraceArgument());
// A call whose answer holds a character the process code page cannot hold
// exactly: "<call>(<arguments>) failed: U+0141 has no exact form in code page 1252".
void traceInexact(const char* call, unsigned long character, TraceArgument a = TraceArgument(),
                  TraceArgument b = TraceArgument());
void traceHandleInexact(const char* call, unsigned long character, Handle handle, TraceArgument a = TraceArgument());
// "U+0141": a code point as the trace names it.
std::string codePointName(unsigned long character);
