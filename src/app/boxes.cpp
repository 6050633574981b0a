#include "app/boxes.h"

#include "app/runner.h"
#include "app/text.h"

std::string applyTextEscapes(const std::string& text) {
    return replaceEach(replaceEach(text, "&&", "\r\n"), "%TAB%", "\t");
}

bool showMessage(Handle owner, const std::string& text, const std::string& caption) {
    messageBox(owner, text, caption, styleMessage);
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
    if (messageBox(instance, question, caption, styleOkCancel) == answerOk) runCommandLine(instance, rest);
}
