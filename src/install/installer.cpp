// The installer: "install" and "installUser" run an installer file.
//
// Lines 1 to 17 are settings (key parts, three switches, the dialog texts, the
// base and sub-directory, the final command), lines 18 to 37 are skipped, and
// from line 38 on up to the first empty line come the command lines that do
// the actual installing. The installer itself only talks to the user, makes
// the directory chain, records the installed directory as "isDir" under the
// install key, checks that the record reads back, runs the command list and
// the final command, and offers a restart. Nothing changes on the machine
// before the user has passed the welcome message and the path dialog.
//
// For every user the record goes below HKLM, and a process that may not
// write there first asks for an elevated start of hostcmd.exe (elevation.cpp)
// and ends when that has run. For the current user ("installUser") the record
// goes below HKCU and a base directory in Program Files moves to the user's
// own programs folder (per_user.cpp); nothing is elevated. The "Quiet" forms
// show no box or dialog and set the exit code.
//
// The file is opened once and stays open until the installer returns, also
// while the command list runs (those lines may nest further runs; the runner's
// depth limit stops an installer that leads back to itself).
#include "install/install.h"
#include "install/journal.h"

#include <cstdint>

#include "app/boxes.h"
#include "app/dispatch.h"
#include "app/fields.h"
#include "app/line_reader.h"
#include "app/runner.h"
#include "app/text.h"
#include "app/tokens.h"
#include "registry/registry.h"
#include "shell/shell.h"

bool isInstallWord(const std::string& word) {
    const CommandEntry* entry = findCommand(word);
    return entry && entry->handler == commandInstall;
}

bool installsForUser(const std::string& word) { return findCommand(word) == findCommand("installUser"); }

void traceInstallStep(const std::string& line) {
    if (traceEnabled()) appendTraceLine("    " + line);
}

namespace {
const unsigned styleYesNoCancel = 0x1003;  // MB_YESNOCANCEL | MB_SYSTEMMODAL
// SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION:
// Windows records a planned restart for an installation, not an unexpected
// one that Windows Server's Shutdown Event Tracker asks the next user about.
const unsigned long restartForInstallation = 0x80040002UL;
const int settingLines = 17, skippedLines = 20;

// The setting lines, numbered as in the file (line[0] unused).
struct InstallerSettings {
    std::string line[settingLines + 1];
};
enum SettingLine {
    keyPart1 = 2, keyPart2, keyPart3,      // the install key parts
    welcomeSwitch, pathSwitch, restartSwitch,  // "NO" turns a dialog off
    welcomeCaption, welcomeText, pathCaption, pathLead, pickerTitle, restartCaption, restartText,
    baseDirectory,  // path tokens expanded when read
    subdirectory, finalCommand
};

// One installation: what it installs for whom, where its record goes and
// where the product went, all in one place from the settings on.
struct Installation {
    InstallScope scope;
    bool quiet;
    std::string keyTail;             // <part 1>\<part 2>\<part 3>
    std::string targetBase;          // the base directory, then the one the user confirmed
    std::string installedDirectory;  // known once the directory chain is made
};

const char* recordRoot(const Installation& installation) {
    return installation.scope == InstallScope::user ? "HKCU" : "HKLM";
}

// Reads lines 1 to 37. False when one of them did not fit or could not be
// read: every line after it would read empty (an empty final command runs
// the install check, an empty key part records under another key), so the
// installer changes nothing at all.
bool readSettings(Handle instance, LineReader& reader, InstallerSettings& settings) {
    for (int n = 1; n <= settingLines; ++n) settings.line[n] = readLine(reader);
    for (int n = 0; n < skippedLines; ++n) readLine(reader);
    if (reader.failed) return false;
    settings.line[baseDirectory] = expandPathTokens(instance, settings.line[baseDirectory]);
    return true;
}

// The path dialog asks Yes (install here), No (choose another folder) or
// Cancel, showing the full target: the directory offered and line 16.
int askPath(Handle instance, const InstallerSettings& settings, const std::string& offered) {
    std::string text = applyTextEscapes(settings.line[pathLead]);
    text += "\r\n\r\n\r\n";
    text += offered;
    text += settings.line[subdirectory];
    text += "\r\n\r\n\r\n";
    text += "Select Yes to install.\r\nSelect No to specify a different installation path.\r\n"
            "Select Cancel to abort installation.";
    text += "\r\n\r\n";
    return askUser(instance, text, settings.line[pathCaption], styleYesNoCancel);
}

// The welcome message and the path dialog. False when the user ends the
// installer; otherwise targetBase holds the directory to install under. The
// quiet forms ask nothing: the welcome counts as OK, the path dialog as Yes.
bool talkToUser(Handle instance, const InstallerSettings& settings, bool quiet, std::string& targetBase) {
    if (quiet) return true;
    if (settings.line[welcomeSwitch] != "NO" &&
        askUser(instance, applyTextEscapes(settings.line[welcomeText]), settings.line[welcomeCaption], styleOkCancel) !=
            answerOk)
        return false;
    if (settings.line[pathSwitch] == "NO") return true;

    // Only Yes installs. Cancel ends the installer, and so does a box that
    // failed (0, or -1 under Wine without a display) or any other answer:
    // nothing confirmed the target.
    int answer = askPath(instance, settings, targetBase);
    if (answer == answerYes) return true;
    if (answer != answerNo) return false;

    // No: the folder picker, each choice confirmed by the path dialog again.
    // A cancelled picker offers the current target base once more. Only Yes
    // and No keep the loop going, as above.
    for (;;) {
        std::string picked = browseForFolder(instance, settings.line[pickerTitle]);
        std::string offered = picked == notAvailable ? targetBase : withTrailingBackslash(picked);
        answer = askPath(instance, settings, offered);
        if (answer == answerYes) {
            targetBase = offered;
            return true;
        }
        if (answer != answerNo) return false;
    }
}

// Creates base + every "\"-ended component of the sub-directory, one level at
// a time, and returns the installed directory: the last one, without its
// final "\". A component after the last "\" is dropped. A directory that
// exists already or cannot be made does not stop the installer: the record's
// read-back decides.
std::string makeDirectoryChain(const std::string& targetBase, const std::string& subdirectory) {
    std::string installPath = targetBase, rest = subdirectory;
    for (;;) {
        std::size_t slash = findText(rest, "\\");
        if (slash == std::string::npos) break;
        installPath += rest.substr(0, slash);
        rest.erase(0, slash + 1);
        createDirectory(installPath);
        installPath += "\\";
    }
    std::size_t last = lastCharacterStart(installPath);
    return last == std::string::npos ? installPath : installPath.substr(0, last);
}

// Writes "isDir" under the record's root and reads it back from there; true
// only when the record holds exactly the installed directory.
bool recordInstalledDirectory(const Installation& installation) {
    const char* root = recordRoot(installation);
    Handle key = openRegistryKey(root, "Software\\" + installation.keyTail, keyToWrite);
    writeRegistryValue(key, "isDir", installation.installedDirectory);
    closeRegistryKey(key);
    std::string recorded = readInstallValueUnder(root, installation.keyTail, "isDir");
    return recorded != notAvailable && recorded == installation.installedDirectory;
}

// Enables the shutdown privilege and starts a restart; gives up silently at
// the first step that fails (no token, no such privilege, not granted).
void restartWindows() {
    Handle token = 0;
    if (!openProcessToken(token)) return;
    std::uint64_t luid = 0;
    bool granted = lookupPrivilegeValue("SeShutdownPrivilege", luid) && adjustTokenPrivilege(token, luid) == 0;
    closeToken(token);
    if (!granted) return;
    // ExitWindowsEx "can succeed without actually shutting down" when hostcmd
    // is not the user at the console, as when a standard user typed an
    // administrator's password for the elevated start; the system shutdown
    // call restarts for any caller holding the privilege (XP and later).
    if (initiateSystemReboot(restartForInstallation) == callMissing) exitWindowsReboot(restartForInstallation);
}

// The command list, then the final command; a run that stops ends them.
void runCommandLists(Handle instance, LineReader& reader, const InstallerSettings& settings) {
    // A line that did not fit reads empty and ends the list without running.
    for (;;) {
        std::string line = readLine(reader);
        if (line.empty()) break;
        runCommandLine(instance, line);
        if (runsStopped()) return;
    }
    if (settings.line[finalCommand] != "NO") runCommandLine(instance, settings.line[finalCommand]);
}

// Everything after the file is open; returning ends the installer.
InstallResult install(Handle instance, LineReader& reader, Installation& installation) {
    InstallerSettings settings;
    if (!readSettings(instance, reader, settings)) return installResultNotOpened;
    installation.keyTail = installKeyTail(settings.line[keyPart1], settings.line[keyPart2], settings.line[keyPart3]);
    installation.targetBase = settings.line[baseDirectory];
    if (installation.scope == InstallScope::user) {
        if (!perUserBaseDirectory(settings.line[baseDirectory], installation.targetBase)) {
            traceInstallStep("the user's programs folder is not known (no local application-data folder): the base directory "
                  "cannot move out of Program Files, and nothing is installed");
            return installResultFailed;
        }
        if (installation.targetBase != settings.line[baseDirectory])
            traceInstallStep("for the current user the base directory " + shownText(settings.line[baseDirectory]) +
                  " moves to " + shownText(installation.targetBase));
    }

    if (!talkToUser(instance, settings, installation.quiet, installation.targetBase)) return installResultCancelled;

    // The installation begins: from here on the machine changes, and the
    // journal keeps what the installation creates, for its uninstall.
    beginInstallJournal(installation.scope, settings.line[keyPart1], settings.line[keyPart2], settings.line[keyPart3]);
    if (installation.scope == InstallScope::user) makeUserBaseDirectory(installation.targetBase);
    installation.installedDirectory = makeDirectoryChain(installation.targetBase, settings.line[subdirectory]);
    journalInstalledDirectory(installation.installedDirectory);
    if (!recordInstalledDirectory(installation)) {
        endInstallJournal(false);
        return installResultFailed;
    }

    // While the lines run, the lookups read this installation's root first:
    // %APP% names the directory just recorded, also where the same product
    // is installed for every user too.
    InstallScope lookupsBefore = preferInstallRecordsOf(installation.scope);
    runCommandLists(instance, reader, settings);
    preferInstallRecordsOf(lookupsBefore);
    // The uninstaller copy and the entry in Windows' list are written once
    // the command list has run.
    endInstallJournal(!runsStopped());
    if (runsStopped()) return installResultFailed;
    if (settings.line[restartSwitch] == "NO") return installResultInstalled;
    // Only OK restarts: Cancel, and a box that failed (0, or -1 under Wine
    // without a display), must never take the machine down. The quiet forms
    // count as Cancel and leave the restart to the deployment tool.
    if (!installation.quiet &&
        askUser(instance, applyTextEscapes(settings.line[restartText]), settings.line[restartCaption], styleOkCancel) ==
            answerOk)
        restartWindows();
    return installResultRestartNeeded;
}

// An installation for every user: in this process when its token may write
// Program Files and HKLM, otherwise through an elevated start of hostcmd.exe.
InstallResult installForEveryUser(Handle instance, const std::string& word, const std::string& fileName, bool quiet) {
    TokenKind token = processTokenKind();
    if (!needsElevation(token)) return runInstaller(instance, fileName, InstallScope::machine, quiet);
    // An installer file that is not there is not worth a prompt.
    LineReader reader;
    if (!openLineReader(reader, fileName)) return installResultNotOpened;
    closeLineReader(reader);
    traceInstallStep(word + ": the process token is " + describeTokenKind(token) + ": it may not write Program Files or HKLM");
    unsigned long exitCode = 0;
    switch (startElevatedInstall(word, fileName, exitCode)) {
        case ElevatedStart::ran: return static_cast<InstallResult>(static_cast<int>(exitCode));
        case ElevatedStart::declined: return installResultCancelled;
        case ElevatedStart::alreadyAsked: return runInstaller(instance, fileName, InstallScope::machine, quiet);
        default: return installResultFailed;
    }
}
}  // namespace

InstallResult runInstaller(Handle instance, const std::string& fileName, InstallScope scope, bool quiet) {
    LineReader reader;
    if (!openLineReader(reader, fileName)) return installResultNotOpened;
    Installation installation{scope, quiet, std::string(), std::string(), std::string()};
    InstallResult result = install(instance, reader, installation);
    closeLineReader(reader);
    // The installation has ended, with `result`.
    return result;
}

// "install", "installQuiet", "installUser", "installUserQuiet": the whole
// argument text is the installer file's name. Only the quiet forms set the
// exit code; the elevated instance's, passed on, is its own result.
void commandInstall(Handle instance, const std::string& word, const std::string& arguments) {
    bool forUser = installsForUser(word);
    bool quiet = word.size() > 5 && word.compare(word.size() - 5, 5, "Quiet") == 0;
    InstallResult result = forUser ? runInstaller(instance, arguments, InstallScope::user, quiet)
                                   : installForEveryUser(instance, word, arguments, quiet);
    if (quiet) setExitCode(result);
}
