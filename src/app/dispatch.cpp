#include "app/dispatch.h"

#include "app/batch.h"
#include "app/boxes.h"
#include "app/reply.h"
#include "app/text.h"
#include "files/files.h"
#include "install/install.h"
#include "registry/registry.h"
#include "shell/shell.h"

namespace {
void commandCursor(Handle, const std::string&, const std::string&) {}
}  // namespace

// The reference card: command words, the fields each takes, the handler.
const CommandEntry commandTable[] = {
    {{"save"}, "file name&text", false, commandSave},
    {{"saveM", "saveME"}, "caption or file to open&message or parameters&file name&text", false, commandSaveFollowUp},
    {{"getUserDir"}, "reply file&title", false, commandGetUserDir},
    {{"savePretty", "saveP"}, "file name&text with escapes", false, commandSavePretty},
    {{"savePM", "savePME"}, "caption or file to open&message or parameters&file name&text with escapes", false, commandSavePrettyFollowUp},
    {{"delete"}, "file", false, commandDelete},
    {{"deleteM", "deleteME"}, "caption or file to open&message or parameters&file", false, commandDeleteFollowUp},
    {{"copy"}, "source&destination&TRUE to keep an existing destination", false, commandCopy},
    {{"copyM", "copyME"}, "caption or file to open&message or parameters&source&destination&TRUE to keep an existing destination", false, commandCopyFollowUp},
    {{"move"}, "source&destination&TRUE to keep an existing destination", false, commandMove},
    {{"moveM", "moveME"}, "caption or file to open&message or parameters&source&destination&TRUE to keep an existing destination", false, commandMoveFollowUp},
    {{"makeDir"}, "directory", false, commandMakeDir},
    {{"makeDirM", "makeDirME"}, "caption or file to open&message or parameters&directory", false, commandMakeDirFollowUp},
    {{"deleteDir"}, "directory", false, commandDeleteDir},
    {{"deleteDirM", "deleteDirME"}, "caption or file to open&message or parameters&directory", false, commandDeleteDirFollowUp},
    {{"open"}, "document", false, commandOpen},
    {{"run"}, "program&parameters or none", false, commandRun},
    {{"print"}, "document", false, commandPrint},
    {{"explore"}, "folder", false, commandExplore},
    {{"reg", "register", "regSetValue"}, "root&key path&value name&text", false, commandRegSetValue},
    {{"regToFile", "regGetValue"}, "root&key path&value name&reply file", false, commandRegToFile},
    {{"regCreateKey"}, "root&key path", false, commandRegCreateKey},
    {{"regDeleteKey"}, "root&parent key path&sub-key to delete", false, commandRegDeleteKey},
    {{"regDeleteValue"}, "root&key path&value name", false, commandRegDeleteValue},
    {{"pathToInstall"}, "install key part 1&install key part 2&install key part 3&marker file&reply file", false, commandPathToInstall},
    {{"pathToCD"}, "file to look for&reply file", false, commandPathToCD},
    {{"pathToCDM"}, "caption&message&file to look for&reply file", true, commandPathToCDM},
    {{"pathToCDR"}, "caption&message&file to look for&reply file", true, commandPathToCDR},
    {{"cursor"}, "", false, commandCursor},
    {{"batch"}, "batch file", false, commandBatch},
    {{"install"}, "installer file", false, commandInstall},
    {{"startIcon"}, "shortcut name&target&target continued&description&icon file or none&icon index&working directory or none&sub-folder or none&second sub-folder or none&arguments or none", false, commandStartIcon},
    {{"deskIcon", "desktopIcon"}, "shortcut name&target&target continued&description&icon file or none&icon index&working directory or none&sub-folder or none&second sub-folder or none&arguments or none", false, commandDeskIcon},
    {{"startUpIcon"}, "shortcut name&target&target continued&description&icon file or none&icon index&working directory or none&sub-folder or none&second sub-folder or none&arguments or none", false, commandStartUpIcon},
    {{"programIcon"}, "shortcut name&target&target continued&description&icon file or none&icon index&working directory or none&sub-folder or none&second sub-folder or none&arguments or none", false, commandProgramIcon},
    {{"deleteIcon"}, "folder number&shortcut path in that folder", false, commandDeleteIcon},
    {{"deleteIconDir"}, "folder number&directory path in that folder", false, commandDeleteIconDir},
    {{"message"}, "caption&message with escapes", false, commandMessage},
    {{"confirm"}, "caption&question&command line", true, commandConfirm},
    {{"installCheck"}, "check file", false, commandInstallCheck},
    {{"savePrompt"}, "reply file&filter name&filter pattern&file name or none&initial directory&title", false, commandSavePrompt},
    {{"openPrompt"}, "reply file&filter name&filter pattern&file name or none&initial directory&title", false, commandOpenPrompt},
};

const int commandCount = sizeof(commandTable) / sizeof(commandTable[0]);

const CommandEntry* findCommand(const std::string& word) {
    for (int i = 0; i < commandCount; ++i)
        for (const char* candidate : commandTable[i].words)
            if (candidate && word == candidate) return &commandTable[i];
    return nullptr;
}

void dispatchCommand(Handle instance, const std::string& word, const std::string& arguments) {
    if (const CommandEntry* entry = findCommand(word)) {
        entry->handler(instance, word, arguments);
    } else if (word.empty()) {
        runInstallCheck(instance, "kw.ini");
    } else if (findText(word, ".") != std::string::npos) {
        writeTextFile(word, arguments);
    }
}
