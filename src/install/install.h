// Installation.
//
// A check file ("kw.ini" by default) names a product by its lines 2 to 4, the
// install key parts; the installer records the directory it installed into
// as the value "isDir" under Software\<part 1>\<part 2>\<part 3>: below HKLM
// for every user, below HKCU for one. The lookups read HKLM first, then HKCU.
// The install check ("installCheck", and every command line without a
// command word) runs line 6 of the check file when that directory is recorded
// and holds the marker file of line 5, else line 7. "install" runs an
// installer file for every user (dialogs, directories, the record, its
// command list, its final command and an optional restart), asking Windows
// to start hostcmd.exe again elevated when the process may not; "installUser"
// runs it for the current user only, never elevated. Their "Quiet" forms show
// nothing and set the exit code deployment tools read. "pathToInstall"
// answers "PathToInstall=" with a product's directory. "uninstall" and
// "uninstallQuiet" remove what an installation journaled (journal.h), with
// or without boxes.
#pragma once

#include <string>

#include "platform/platform.h"

// Lines of the check layout: free text, the three install key parts, the
// marker file, the line run when installed, the line run when not.
const int checkFileLines = 7;

// Reads the first `count` lines of an install description file (missing lines
// read empty); false when the file cannot be opened, or when one of those
// lines did not fit or could not be read.
bool readDescriptionLines(const std::string& fileName, std::string* lines, int count);
// "<part 1>\<part 2>\<part 3>", each part as it stands.
std::string installKeyTail(const std::string& part1, const std::string& part2, const std::string& part3);

// The value under HKLM\Software\<key tail>, or under HKCU\Software\<key tail>
// when HKLM has none (the other way round while an installation for the
// current user runs its command lines, see preferInstallRecordsOf); keys are
// opened, never created. "na" when neither has it.
std::string readInstallValue(const std::string& installKeyTail, const std::string& valueName);
// The same below one root only ("HKLM" or "HKCU").
std::string readInstallValueUnder(const char* root, const std::string& installKeyTail, const std::string& valueName);
// The directory recorded for the product an install description file names, or "na".
std::string lookupInstalledLocation(Handle instance, const std::string& fileName);

void runInstallCheck(Handle instance, const std::string& fileName);

// Where an installation goes. For every user: the record under HKLM, the
// product where the installer file says. For the current user: the record
// under HKCU, and a base directory in Program Files moved below the user's
// own programs folder.
enum class InstallScope { machine, user };
// How an installation ended, numbered as the Windows Installer exit codes
// deployment tools read (only the quiet forms set them as the exit code).
enum InstallResult : int {
    installResultInstalled = 0,
    installResultCancelled = 1602,      // a dialog cancelled, or elevation declined
    installResultFailed = 1603,         // no record, or the run stopped
    installResultNotOpened = 1619,      // the installer file cannot be opened or read
    installResultRestartNeeded = 3010,  // installed; line 7 asks for a restart
};
// Which root readInstallValue reads first: HKLM, but HKCU while the command
// lines of an installation for the current user run. Returns the one before.
InstallScope preferInstallRecordsOf(InstallScope scope);
// Runs the installer file in this process (no elevation is asked for). Quiet:
// no box and no dialog; the welcome message counts as OK, the path dialog as
// Yes, the restart prompt as Cancel.
InstallResult runInstaller(Handle instance, const std::string& fileName, InstallScope scope = InstallScope::machine,
                           bool quiet = false);
// The user's own programs folder, <local application data>\Programs (as on
// Vista and later, so also on XP); false when Windows does not give the
// local application-data folder.
bool userProgramsFolder(std::string& folder);
// The base directory of an installation for the current user: one that is a
// Program Files folder or lies below one (names compared as Windows compares
// them: ASCII case ignored, whole components) becomes the same place below
// the user's programs folder; any other stands as it is. False when it would
// move but the user's programs folder is not known.
bool perUserBaseDirectory(const std::string& base, std::string& moved);
// Creates the user's programs folder and each level of the target base below
// it that is missing (nothing for a target base elsewhere).
void makeUserBaseDirectory(const std::string& targetBase);

// The kind of the process's own token, as an installation for every user needs to know it.
enum class TokenKind {
    elevated,              // may write Program Files and HKLM
    limitedAdministrator,  // an administrator under UAC, not elevated
    standardUser,          // Vista and later, no administrator
    administrator,         // a member of Administrators where there is no elevation (XP)
    notAdministrator,      // no member, there
    unknown,               // the token cannot be read
};
TokenKind processTokenKind();
const char* describeTokenKind(TokenKind kind);
// Whether an installation for every user first asks for an elevated start.
bool needsElevation(TokenKind kind);
// What the elevated start gets after the program's path: the command word,
// "&" and the installer file's full path, written so that the started
// instance's runner gives back exactly that path.
std::string elevatedParameters(const std::string& word, const std::string& fullPath);
// The name of the mutex ("Local\\...": this session's) an instance holds while
// it waits for its elevated start for that subject (an installer file's full
// path, a product).
std::string elevationMutexName(const std::string& subject);
enum class ElevatedStart { ran, declined, failed, alreadyAsked };
// Starts hostcmd.exe again, elevated, with that command line in the current
// directory, and waits for it: ran (exitCode is its exit code), declined,
// failed, or alreadyAsked when this process is itself the start an instance
// of this session is waiting for (it did not get elevated: UAC is off).
ElevatedStart startElevatedInstall(const std::string& word, const std::string& fileName, unsigned long& exitCode);
// The same for any command line (`parameters`, beginning with the command
// word); `subject` names what it is for (the installer file's full path, the
// product) and so the mutex.
ElevatedStart startElevated(const std::string& word, const std::string& parameters, const std::string& subject,
                            unsigned long& exitCode);
// One trace line of an installation's step, indented as a call's (nothing
// while tracing is off).
void traceInstallStep(const std::string& line);
// Writes the "PathToInstall=" reply for the fields of "pathToInstall".
void queryInstallPath(Handle instance, const std::string& arguments);

void commandInstallCheck(Handle instance, const std::string& word, const std::string& arguments);
void commandInstall(Handle instance, const std::string& word, const std::string& arguments);
// Whether the word is one of the command table's words that run an installer
// file (install, installQuiet, installUser, installUserQuiet), and whether it
// installs for the current user only (installUser, installUserQuiet).
bool isInstallWord(const std::string& word);
bool installsForUser(const std::string& word);
void commandPathToInstall(Handle instance, const std::string& word, const std::string& arguments);
// "uninstall" and "uninstallQuiet" (the word tells them apart).
void commandUninstall(Handle instance, const std::string& word, const std::string& arguments);
