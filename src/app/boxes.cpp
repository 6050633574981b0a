#include "app/boxes.h"

#include "app/runner.h"
#include "app/text.h"

std::string applyTextEscapes(const std::string& text) {
    return replaceEach(replaceEach(text, "&&", "\r\n"), "%TAB%", "\t");
}

bool someoneCanAnswer(const char* call) {
    if (windowStationVisible()) return true;
    if (traceEnabled())
        appendTraceLine(std::string("    ") + call + " not shown: the window station is not visible, nobody could "
                        "answer; it counts as failed");
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
