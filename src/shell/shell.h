// Shell commands.
//
// Verbs: "open", "print" and "explore" hand a document or folder to the
// shell; "run" starts a program with parameters ("none" for none).
// Shortcuts: "deskIcon"/"desktopIcon", "programIcon", "startIcon" and
// "startUpIcon" write a .lnk into the user's Desktop, Programs, Start Menu or
// Startup folder (ten "&" fields, optionally inside one or two sub-folders
// they create); "deleteIcon" and "deleteIconDir" remove a shortcut or an
// empty group again.
// Pickers: "getUserDir" (folder browser, reply "UserDir="), "savePrompt" and
// "openPrompt" (file dialogs, reply "fileSelected=").
// CD search: "pathToCD", "pathToCDM" (with a box when found) and "pathToCDR"
// (a Retry/Cancel box until found) answer "pathToCD=" with the root of the
// first CD-ROM drive, C to Z then A and B, that holds a file.
#pragma once

#include <string>

#include "platform/platform.h"

// Whether a COM result (HRESULT) is a failure. A CoInitialize that failed is
// never balanced by CoUninitialize; every one that succeeded (S_FALSE too) is.
bool comFailed(long result);

// ShellExecuteExA with the verb; parameters "none" pass no parameters at
// all. COM is initialised around it, the start is complete when it returns
// (SEE_MASK_NOASYNC) and shows no box of the shell's (SEE_MASK_FLAG_NO_UI),
// and the started program gets the error mode hostcmd found at start.
bool runShellVerb(Handle owner, const std::string& verb, const std::string& file, const std::string& parameters);

void commandOpen(Handle instance, const std::string& word, const std::string& arguments);
void commandRun(Handle instance, const std::string& word, const std::string& arguments);
void commandPrint(Handle instance, const std::string& word, const std::string& arguments);
void commandExplore(Handle instance, const std::string& word, const std::string& arguments);

// Icon folder numbers: 0 Desktop, 1 Programs, 2 Start Menu, 3 Startup.
// The icon folder's path as the shell gives it, else as Explorer recorded
// it under HKCU, else "na".
std::string iconFolderPath(int folderNumber);
void makeIcon(Handle instance, int folderNumber, const std::string& arguments);
long writeShellLink(const std::string& target, const std::string& shortcutPath, const std::string& description,
                    const std::string& arguments, const std::string& iconFile, int iconIndex,
                    const std::string& workingDirectory);
void commandStartIcon(Handle instance, const std::string& word, const std::string& arguments);
void commandDeskIcon(Handle instance, const std::string& word, const std::string& arguments);
void commandStartUpIcon(Handle instance, const std::string& word, const std::string& arguments);
void commandProgramIcon(Handle instance, const std::string& word, const std::string& arguments);
void commandDeleteIcon(Handle instance, const std::string& word, const std::string& arguments);
void commandDeleteIconDir(Handle instance, const std::string& word, const std::string& arguments);

// The chosen folder (without an added "\") or "na" (also for a path over
// 259 bytes, or one the code page cannot hold exactly).
std::string browseForFolder(Handle owner, const std::string& title);
// The chosen file or "na" (the same); mode "save" gives the save dialog, any other the open one.
std::string chooseFile(Handle owner, const std::string& filterName, const std::string& filterPattern,
                       const std::string& defaultFile, const std::string& initialDir, const std::string& title,
                       const std::string& mode);
void commandGetUserDir(Handle instance, const std::string& word, const std::string& arguments);
void commandSavePrompt(Handle instance, const std::string& word, const std::string& arguments);
void commandOpenPrompt(Handle instance, const std::string& word, const std::string& arguments);

// The root ("E:\") of the first CD-ROM drive holding the file, or "na".
std::string findCdFile(const std::string& fileName);
void commandPathToCD(Handle instance, const std::string& word, const std::string& arguments);
void commandPathToCDM(Handle instance, const std::string& word, const std::string& arguments);
void commandPathToCDR(Handle instance, const std::string& word, const std::string& arguments);
