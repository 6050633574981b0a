// Text escapes and the two box commands.
//
// The host cannot put a line break or a tab into a command line, so "&&"
// stands for CR LF and "%TAB%" for TAB in the texts that the commands show
// or store as prose. "message" shows an OK box; "confirm" asks OK/Cancel
// and on OK runs the rest of its argument text as a command line.
#pragma once

#include <string>

#include "platform/platform.h"

const unsigned styleMessage = 0x1000;   // MB_OK | MB_SYSTEMMODAL
const unsigned styleOkCancel = 0x1001;  // MB_OKCANCEL | MB_SYSTEMMODAL
const int answerOk = 1, answerCancel = 2, answerRetry = 4, answerYes = 6, answerNo = 7;

// "&&" to CR LF, then "%TAB%" to TAB, each search going on after the last match.
std::string applyTextEscapes(const std::string& text);
// Whether anyone can answer a box or dialog: where the process's window
// station is not visible (a host running as a service, or as a task while
// nobody is logged on), or cannot be asked about, or where the process runs
// in session 0 on Vista and later, a window would wait for ever. Then the
// window, named by its Windows call, counts as failed at once and the trace
// says so.
bool someoneCanAnswer(const char* call);
// MessageBoxA; 0 (a failed box) at once, with no window, where no one can answer.
int askUser(Handle owner, const std::string& text, const std::string& caption, unsigned style);
// A system-modal OK box; true once it has been closed, whatever the answer.
bool showMessage(Handle owner, const std::string& text, const std::string& caption);

void commandMessage(Handle instance, const std::string& word, const std::string& arguments);
void commandConfirm(Handle instance, const std::string& word, const std::string& arguments);
