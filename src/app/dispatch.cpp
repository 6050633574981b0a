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
    {{"save"}, "file name&text", false, commandSave,
     LINT_TEXT("writes the text into the file, created or emptied first (every LF stored as CR LF)"),
     LINT_TEXT("nothing is written: there is no file name&~the file is left empty")},
    {{"saveM", "saveME"}, "caption or file to open&message or parameters&file name&text", false, commandSaveFollowUp,
     LINT_TEXT("writes the text into the file, then, when the file was written, shows the message (M) or opens the file with its parameters (ME)"),
     LINT_TEXT("~the box has an empty caption (M), the shell has nothing to open (ME)&~the box shows no text (M), the program is started with empty parameters (ME)&nothing is written: there is no file name&~the file is left empty")},
    {{"getUserDir"}, "reply file&title", false, commandGetUserDir,
     LINT_TEXT("shows the folder browser and writes UserDir= and the chosen folder ending in \\ into the reply file (UserDir=na\\ when cancelled)"),
     LINT_TEXT("the answer is written nowhere: there is no reply file&~the folder browser shows no title")},
    {{"savePretty", "saveP"}, "file name&text with escapes", false, commandSavePretty,
     LINT_TEXT("writes the text into the file with && as line breaks and %TAB% as tabs, the file created or emptied first"),
     LINT_TEXT("nothing is written: there is no file name&~the file is left empty")},
    {{"savePM", "savePME"}, "caption or file to open&message or parameters&file name&text with escapes", false, commandSavePrettyFollowUp,
     LINT_TEXT("writes the text with && as line breaks and %TAB% as tabs into the file, then, when the file was written, shows the message (M) or opens the file (ME)"),
     LINT_TEXT("~the box has an empty caption (M), the shell has nothing to open (ME)&~the box shows no text (M), the program is started with empty parameters (ME)&nothing is written: there is no file name&~the file is left empty")},
    {{"delete"}, "file", false, commandDelete,
     LINT_TEXT("deletes the file"),
     LINT_TEXT("nothing is deleted: there is no file name")},
    {{"deleteM", "deleteME"}, "caption or file to open&message or parameters&file", false, commandDeleteFollowUp,
     LINT_TEXT("deletes the file and, when that worked, shows the message (M) or opens the file (ME)"),
     LINT_TEXT("~the box has an empty caption (M), the shell has nothing to open (ME)&~the box shows no text (M), the program is started with empty parameters (ME)&nothing is deleted and nothing follows: there is no file name")},
    {{"copy"}, "source&destination&TRUE to keep an existing destination", false, commandCopy,
     LINT_TEXT("copies the source onto the destination; an existing destination is overwritten unless the last field is exactly TRUE"),
     LINT_TEXT("the copy fails: there is no source&the copy fails: there is no destination&~an existing destination is overwritten")},
    {{"copyM", "copyME"}, "caption or file to open&message or parameters&source&destination&TRUE to keep an existing destination", false, commandCopyFollowUp,
     LINT_TEXT("copies the source onto the destination (kept when the last field is exactly TRUE) and, when that worked, shows the message (M) or opens the file (ME)"),
     LINT_TEXT("~the box has an empty caption (M), the shell has nothing to open (ME)&~the box shows no text (M), the program is started with empty parameters (ME)&the copy fails and nothing follows: there is no source&the copy fails and nothing follows: there is no destination&~an existing destination is overwritten")},
    {{"move"}, "source&destination&TRUE to keep an existing destination", false, commandMove,
     LINT_TEXT("copies the source onto the destination as copy does, then deletes the source when the copy worked"),
     LINT_TEXT("the move fails: there is no source&the move fails: there is no destination&~an existing destination is overwritten")},
    {{"moveM", "moveME"}, "caption or file to open&message or parameters&source&destination&TRUE to keep an existing destination", false, commandMoveFollowUp,
     LINT_TEXT("moves the source as move does and, when the copy and the delete worked, shows the message (M) or opens the file (ME)"),
     LINT_TEXT("~the box has an empty caption (M), the shell has nothing to open (ME)&~the box shows no text (M), the program is started with empty parameters (ME)&the move fails and nothing follows: there is no source&the move fails and nothing follows: there is no destination&~an existing destination is overwritten")},
    {{"makeDir"}, "directory", false, commandMakeDir,
     LINT_TEXT("creates the directory (one level; its parent must exist)"),
     LINT_TEXT("nothing is created: there is no directory name")},
    {{"makeDirM", "makeDirME"}, "caption or file to open&message or parameters&directory", false, commandMakeDirFollowUp,
     LINT_TEXT("creates the directory and, when that worked, shows the message (M) or opens the file (ME)"),
     LINT_TEXT("~the box has an empty caption (M), the shell has nothing to open (ME)&~the box shows no text (M), the program is started with empty parameters (ME)&nothing is created and nothing follows: there is no directory name")},
    {{"deleteDir"}, "directory", false, commandDeleteDir,
     LINT_TEXT("removes the directory when it is empty"),
     LINT_TEXT("nothing is removed: there is no directory name")},
    {{"deleteDirM", "deleteDirME"}, "caption or file to open&message or parameters&directory", false, commandDeleteDirFollowUp,
     LINT_TEXT("removes the empty directory and, when that worked, shows the message (M) or opens the file (ME)"),
     LINT_TEXT("~the box has an empty caption (M), the shell has nothing to open (ME)&~the box shows no text (M), the program is started with empty parameters (ME)&nothing is removed and nothing follows: there is no directory name")},
    {{"open"}, "document", false, commandOpen,
     LINT_TEXT("has the shell open the document, folder or program"),
     LINT_TEXT("the shell has nothing to open")},
    {{"run"}, "program&parameters or none", false, commandRun,
     LINT_TEXT("has the shell start the program with the parameters (none: with no parameters)"),
     LINT_TEXT("the shell has no program to start&~the program is started with empty parameters")},
    {{"print"}, "document", false, commandPrint,
     LINT_TEXT("has the shell print the document"),
     LINT_TEXT("the shell has nothing to print")},
    {{"explore"}, "folder", false, commandExplore,
     LINT_TEXT("opens the folder in an explorer window"),
     LINT_TEXT("the shell has no folder to explore")},
    {{"reg", "register", "regSetValue"}, "root&key path&value name&text", false, commandRegSetValue,
     LINT_TEXT("opens the key below the root, creating it and every missing key above it, and sets the value to the text (REG_SZ)"),
     LINT_TEXT("nothing is written: an empty root name is not one of HKCR, HKCU, HKLM, HKU&the value is set on the root key itself&the key's unnamed default value is set&~the value is set to an empty text")},
    {{"regToFile", "regGetValue"}, "root&key path&value name&reply file", false, commandRegToFile,
     LINT_TEXT("reads the value and writes regToFile= and its text into the reply file (regToFile=ERROR when it cannot be read); a missing key is created on the way"),
     LINT_TEXT("the reply is regToFile=ERROR: an empty root name is not one of HKCR, HKCU, HKLM, HKU&the value is read from the root key itself&the key's unnamed default value is read&the answer is written nowhere: there is no reply file")},
    {{"regCreateKey"}, "root&key path", false, commandRegCreateKey,
     LINT_TEXT("creates the key and every missing key above it"),
     LINT_TEXT("nothing is created: an empty root name is not one of HKCR, HKCU, HKLM, HKU&nothing is created: only the root is opened")},
    {{"regDeleteKey"}, "root&parent key path&sub-key to delete", false, commandRegDeleteKey,
     LINT_TEXT("deletes the named sub-key (which must have no sub-keys of its own) below the parent key"),
     LINT_TEXT("nothing is deleted: an empty root name is not one of HKCR, HKCU, HKLM, HKU&the sub-key is looked for right below the root&nothing is deleted: there is no sub-key name")},
    {{"regDeleteValue"}, "root&key path&value name", false, commandRegDeleteValue,
     LINT_TEXT("deletes the value from the key"),
     LINT_TEXT("nothing is deleted: an empty root name is not one of HKCR, HKCU, HKLM, HKU&the value is looked for in the root key itself&the key's unnamed default value is deleted")},
    {{"pathToInstall"}, "install key part 1&install key part 2&install key part 3&marker file&reply file", false, commandPathToInstall,
     LINT_TEXT("reads the directory recorded under HKLM\\Software\\<part 1>\\<part 2>\\<part 3> and, when the marker file is there, writes PathToInstall= and the directory ending in \\ into the reply file (PathToInstall=ERROR otherwise)"),
     LINT_TEXT("the install key has an empty first part&the install key has an empty second part&the install key has an empty third part&the answer is always PathToInstall=ERROR: an empty marker is never found&the answer is written nowhere: there is no reply file")},
    {{"pathToCD"}, "file to look for&reply file", false, commandPathToCD,
     LINT_TEXT("looks for the file on every CD-ROM drive, C to Z then A and B, and writes pathToCD= and the first drive root holding it into the reply file (pathToCD=ERROR when none does)"),
     LINT_TEXT("the answer is always pathToCD=ERROR: an empty file name is never found&the answer is written nowhere: there is no reply file")},
    {{"pathToCDM"}, "caption&message&file to look for&reply file", true, commandPathToCDM,
     LINT_TEXT("looks for the file on every CD-ROM drive as pathToCD does, shows the message when it is found, and writes the pathToCD= reply"),
     LINT_TEXT("~the box has an empty caption&~the box shows no text&the answer is always pathToCD=ERROR: an empty file name is never found&the answer is written nowhere: there is no reply file")},
    {{"pathToCDR"}, "caption&message&file to look for&reply file", true, commandPathToCDR,
     LINT_TEXT("looks for the file on every CD-ROM drive as pathToCD does, asking Retry or Cancel with the box until it is found, and writes the pathToCD= reply"),
     LINT_TEXT("~the box has an empty caption&~the box shows no text&the file is never found: the box asks again until Cancel&the answer is written nowhere: there is no reply file")},
    {{"cursor"}, "", false, commandCursor,
     LINT_TEXT("nothing at all"),
     LINT_TEXT("")},
    {{"batch"}, "batch file", false, commandBatch,
     LINT_TEXT("runs each line of the batch file as a command line, up to the first empty line"),
     LINT_TEXT("nothing runs: there is no file name")},
    {{"install"}, "installer file", false, commandInstall,
     LINT_TEXT("runs the installer file: its dialogs, directories, registry record, command list, final command and restart prompt"),
     LINT_TEXT("nothing runs: there is no file name")},
    {{"startIcon"}, "shortcut name&target&target continued&description&icon file or none&icon index&working directory or none&sub-folder or none&second sub-folder or none&arguments or none", false, commandStartIcon,
     LINT_TEXT("creates the shortcut in the user's Start Menu folder (inside the sub-folders, unless none)"),
     LINT_TEXT("the shortcut file has no name and is not written&~the target is only its continuation&~the target is only its first part&~the shortcut has no description&~the icon location is an empty file name (write none for the target's own icon)&the icon index is not a number&~the working directory is set to an empty text (write none for none)&the shortcut goes into a sub-folder with an empty name (write none for none)&the shortcut goes into a second sub-folder with an empty name (write none for none)&~the arguments are set to an empty text (write none for none)")},
    {{"deskIcon", "desktopIcon"}, "shortcut name&target&target continued&description&icon file or none&icon index&working directory or none&sub-folder or none&second sub-folder or none&arguments or none", false, commandDeskIcon,
     LINT_TEXT("creates the shortcut on the user's desktop (inside the sub-folders, unless none)"),
     LINT_TEXT("the shortcut file has no name and is not written&~the target is only its continuation&~the target is only its first part&~the shortcut has no description&~the icon location is an empty file name (write none for the target's own icon)&the icon index is not a number&~the working directory is set to an empty text (write none for none)&the shortcut goes into a sub-folder with an empty name (write none for none)&the shortcut goes into a second sub-folder with an empty name (write none for none)&~the arguments are set to an empty text (write none for none)")},
    {{"startUpIcon"}, "shortcut name&target&target continued&description&icon file or none&icon index&working directory or none&sub-folder or none&second sub-folder or none&arguments or none", false, commandStartUpIcon,
     LINT_TEXT("creates the shortcut in the user's Startup folder (inside the sub-folders, unless none)"),
     LINT_TEXT("the shortcut file has no name and is not written&~the target is only its continuation&~the target is only its first part&~the shortcut has no description&~the icon location is an empty file name (write none for the target's own icon)&the icon index is not a number&~the working directory is set to an empty text (write none for none)&the shortcut goes into a sub-folder with an empty name (write none for none)&the shortcut goes into a second sub-folder with an empty name (write none for none)&~the arguments are set to an empty text (write none for none)")},
    {{"programIcon"}, "shortcut name&target&target continued&description&icon file or none&icon index&working directory or none&sub-folder or none&second sub-folder or none&arguments or none", false, commandProgramIcon,
     LINT_TEXT("creates the shortcut in the user's Programs folder (inside the sub-folders, unless none)"),
     LINT_TEXT("the shortcut file has no name and is not written&~the target is only its continuation&~the target is only its first part&~the shortcut has no description&~the icon location is an empty file name (write none for the target's own icon)&the icon index is not a number&~the working directory is set to an empty text (write none for none)&the shortcut goes into a sub-folder with an empty name (write none for none)&the shortcut goes into a second sub-folder with an empty name (write none for none)&~the arguments are set to an empty text (write none for none)")},
    {{"deleteIcon"}, "folder number&shortcut path in that folder", false, commandDeleteIcon,
     LINT_TEXT("deletes the shortcut file inside the Programs (1), Start Menu (2), Startup (3) or Desktop (any other number) folder"),
     LINT_TEXT("the folder number is not a number&nothing is deleted: there is no path")},
    {{"deleteIconDir"}, "folder number&directory path in that folder", false, commandDeleteIconDir,
     LINT_TEXT("removes the empty directory inside the Programs (1), Start Menu (2), Startup (3) or Desktop (any other number) folder"),
     LINT_TEXT("the folder number is not a number&nothing is removed: there is no path")},
    {{"message"}, "caption&message with escapes", false, commandMessage,
     LINT_TEXT("shows an OK box with the caption and the text (&& as line breaks, %TAB% as tabs)"),
     LINT_TEXT("~the box has an empty caption&~the box shows no text")},
    {{"confirm"}, "caption&question&command line", true, commandConfirm,
     LINT_TEXT("asks OK or Cancel with the question under the caption and, on OK, runs the command line"),
     LINT_TEXT("~the box has an empty caption&~the box shows an empty question&on OK the empty command line runs the install check on kw.ini")},
    {{"installCheck"}, "check file", false, commandInstallCheck,
     LINT_TEXT("runs line 6 of the check file when the product it names is installed (its marker file found), otherwise line 7"),
     LINT_TEXT("nothing runs: there is no file name")},
    {{"savePrompt"}, "reply file&filter name&filter pattern&file name or none&initial directory&title", false, commandSavePrompt,
     LINT_TEXT("shows the dialog for saving a file and writes fileSelected= and the chosen path into the reply file (fileSelected=ERROR when cancelled)"),
     LINT_TEXT("the answer is written nowhere: there is no reply file&~the file-type list shows an empty name&~the dialog has no filter pattern&~the file name box starts empty&~the dialog starts in its own choice of folder&~the dialog has its default title")},
    {{"openPrompt"}, "reply file&filter name&filter pattern&file name or none&initial directory&title", false, commandOpenPrompt,
     LINT_TEXT("shows the dialog for opening a file and writes fileSelected= and the chosen path into the reply file (fileSelected=ERROR when cancelled)"),
     LINT_TEXT("the answer is written nowhere: there is no reply file&~the file-type list shows an empty name&~the dialog has no filter pattern&~the file name box starts empty&~the dialog starts in its own choice of folder&~the dialog has its default title")},
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
