// The M and ME forms of the file commands: the file work, then a message box
// (M: caption & message) or the shell opening a file (ME: file & parameters),
// only when the file work succeeded. The save forms too follow up only when
// the file was written: "saved" must never be said of a file that was not.
#include "app/boxes.h"
#include "app/text.h"
#include "files/files.h"
#include "platform/platform.h"
#include "shell/shell.h"

namespace {
// Takes the two follow-up fields off the front of the argument text, lets
// the file work run on what remains, and follows up when it succeeded. The
// M form is the one whose command word is `messageWord`.
void withFollowUp(Handle instance, const std::string& word, const std::string& arguments,
                  const char* messageWord, bool (*fileWork)(const std::string& rest)) {
    std::string rest = arguments;
    std::string first = takeField(rest);
    std::string second = takeField(rest);
    if (!fileWork(rest)) return;
    // A "%TAB%" in the message becomes a tab, as in "message"; "&&" cannot
    // reach here, since every "&" ends a field.
    if (word == messageWord) showMessage(instance, applyTextEscapes(second), first);
    else runShellVerb(instance, "open", first, second);
}

bool saveWork(const std::string& rest) { return saveFromFields(rest, false); }
bool savePrettyWork(const std::string& rest) { return saveFromFields(rest, true); }
bool deleteWork(const std::string& path) { return deleteFile(path); }
bool makeDirWork(const std::string& path) { return createDirectory(path); }
bool deleteDirWork(const std::string& path) { return removeDirectory(path); }
}  // namespace

void commandSaveFollowUp(Handle instance, const std::string& word, const std::string& arguments) {
    withFollowUp(instance, word, arguments, "saveM", saveWork);
}
void commandSavePrettyFollowUp(Handle instance, const std::string& word, const std::string& arguments) {
    withFollowUp(instance, word, arguments, "savePM", savePrettyWork);
}
void commandDeleteFollowUp(Handle instance, const std::string& word, const std::string& arguments) {
    withFollowUp(instance, word, arguments, "deleteM", deleteWork);
}
void commandCopyFollowUp(Handle instance, const std::string& word, const std::string& arguments) {
    withFollowUp(instance, word, arguments, "copyM", copyFromFields);
}
void commandMoveFollowUp(Handle instance, const std::string& word, const std::string& arguments) {
    withFollowUp(instance, word, arguments, "moveM", moveFromFields);
}
void commandMakeDirFollowUp(Handle instance, const std::string& word, const std::string& arguments) {
    withFollowUp(instance, word, arguments, "makeDirM", makeDirWork);
}
void commandDeleteDirFollowUp(Handle instance, const std::string& word, const std::string& arguments) {
    withFollowUp(instance, word, arguments, "deleteDirM", deleteDirWork);
}
