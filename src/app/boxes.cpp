#include "app/boxes.h"

#include "app/runner.h"
#include "app/text.h"

std::string applyTextEscapes(const std::string& text) {
    return replaceEach(replaceEach(text, "&&", "\r\n"), "%TAB%", "\t");
}

namespace {
// Session 0 holds the services from Vista on, and no user logs on to it:
// its WinSta0 says it is visible, but nobody sees its desktop (the
// Interactive Services Detection that once showed it is gone since Windows 10
// 1803). On XP session 0 is the console's, a user's like any other. A
// session that cannot be told counts as session 0.
bool inServicesSession() {
    unsigned long version = windowsVersion();
    if (version != 0 && version < windowsVista) return false;
    unsigned long session = 0;
    return !processSession(session) || session == 0;
}
}  // namespace

bool someoneCanAnswer(const char* call) {
    const char* why = nullptr;
    if (!windowStationVisible()) why = "the window station is not visible";
    else if (inServicesSession()) why = "the process runs in session 0, which no user sees";
    if (!why) return true;
    if (traceEnabled())
        appendTraceLine(std::string("    ") + call + " not shown: " + why + ", nobody could answer; it counts as failed");
    return false;
}

int askUser(Handle owner, const std::string& text, const std::string& caption, unsigned style) {
    return someoneCanAnswer("MessageBoxA") ? messageBox(owner, text, caption, style) : 0;
}

bool showMessage(Handle owner, const std::string& text, const std::string& caption) {
    askUser(owner, text, caption, styleMessage);
    return true;
}

void commandMessage(Handle instance, const std::string&, const std::string& arguments) {
    std::string caption, text;
    splitField(arguments, caption, text);
    showMessage(instance, applyTextEscapes(text), caption);
}

void commandConfirm(Handle instance, const std::string&, const std::string& arguments) {
    std::string rest = applyTextEscapes(arguments);
    std::string caption = takeField(rest);
    std::string question = takeField(rest);
    if (askUser(instance, question, caption, styleOkCancel) == answerOk) runCommandLine(instance, rest);
}
