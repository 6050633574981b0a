// Conversions between the UTF-16 texts of the "W" calls and the process code
// page, for the Windows platform only (see platform.h).
//
// A text Windows hands back is taken only in its exact form: converted
// without best fit and checked both ways. The "A" calls convert with best
// fit, and Windows' look-alikes include hostcmd's own syntax characters
// (U+FF06 becomes "&", U+2216 and U+FF3C a backslash, U+FF05 "%").
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32_trace.h"

// The code page of hostcmd's texts, by number: UTF-8 (65001) in
// hostcmd-utf8.exe and where the ANSI code page is UTF-8, the ANSI code page
// (GetACP) otherwise.
unsigned processCodePage();

// The text in the process code page, exactly. False when a character has no
// exact form there, with its code point in `missing` (an unpaired surrogate
// has none in UTF-8).
bool exactText(const wchar_t* wide, std::size_t length, std::string& text, unsigned long& missing);
// The UTF-16 form of a text of the process code page, as the "A" calls make
// it; zero bytes inside the text are kept.
std::wstring wideText(const std::string& text);
// The length of a zero-terminated UTF-16 text.
std::size_t wideLength(const wchar_t* wide);

// A text the call answered, exactly; false, with a trace line naming the
// call, its arguments and the character, when it has no exact form.
bool exactAnswer(const char* call, const wchar_t* wide, std::string& text, TraceArgument a = TraceArgument());
// The same for a directory: one with no exact form is given by its short
// (8.3) name when Windows keeps one for it and that name has an exact form.
bool exactDirectory(const char* call, const wchar_t* directory, std::string& text, TraceArgument a = TraceArgument());
