// The platform's side of the trace: one line per failed Windows call.
//
// "<call>(<arguments>) failed: error <code>", appended only when tracing is
// on. The caller takes the code (GetLastError or the returned code) first.
// Arguments are texts shown in double quotes; one that begins with
// traceAsIs ("\1") is shown as it stands, without that byte (flags, NULL).
// The arguments are plain pointers so that the call sites stay small: the
// line is built only when it is written.
#pragma once

#include "platform/platform.h"

#define traceAsIs "\1"

void traceFailure(const char* call, unsigned long code, const char* a = nullptr, const char* b = nullptr,
                  const char* c = nullptr, const char* d = nullptr);
// The same with a key or file handle as the first argument (a root key by its name).
void traceHandleFailure(const char* call, unsigned long code, Handle handle, const char* a = nullptr,
                        const char* b = nullptr, const char* c = nullptr);
