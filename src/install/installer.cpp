// The installer: "install" runs an installer file.
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
// The file is opened once and stays open until the installer returns, also
// while the command list runs (those lines may nest further runs; the runner's
// depth limit stops an installer that leads back to itself).
#include "install/install.h"

#include <cstdint>

#include "app/boxes.h"
#include "app/line_reader.h"
#include "app/runner.h"
#include "app/text.h"
#include "app/tokens.h"
#include "registry/registry.h"
#include "shell/shell.h"

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
// installer; otherwise targetBase holds the directory to install under.
bool talkToUser(Handle instance, const InstallerSettings& settings, std::string& targetBase) {
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

// Writes "isDir" under HKLM\Software\<key tail> and reads it back; true only
// when the record holds exactly the installed directory.
bool recordInstalledDirectory(const InstallerSettings& settings, const std::string& installedDirectory) {
    std::string keyTail = installKeyTail(settings.line[keyPart1], settings.line[keyPart2], settings.line[keyPart3]);
    Handle key = openRegistryKey("HKLM", "Software\\" + keyTail, keyToWrite);
    writeRegistryValue(key, "isDir", installedDirectory);
    closeRegistryKey(key);
    std::string recorded = readInstallValue(keyTail, "isDir");
    return recorded != notAvailable && recorded == installedDirectory;
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

// Everything after the file is open; returning ends the installer.
void install(Handle instance, LineReader& reader) {
    InstallerSettings settings;
    if (!readSettings(instance, reader, settings)) return;

    std::string targetBase = settings.line[baseDirectory];
    if (!talkToUser(instance, settings, targetBase)) return;

    std::string installedDirectory = makeDirectoryChain(targetBase, settings.line[subdirectory]);
    if (!recordInstalledDirectory(settings, installedDirectory)) return;

    // A line that did not fit reads empty and ends the list without running.
    for (;;) {
        std::string line = readLine(reader);
        if (line.empty()) break;
        runCommandLine(instance, line);
        if (runsStopped()) return;
    }
    if (settings.line[finalCommand] != "NO") {
        runCommandLine(instance, settings.line[finalCommand]);
        if (runsStopped()) return;
    }
    // Only OK restarts: Cancel, and a box that failed (0, or -1 under Wine
    // without a display), must never take the machine down.
    if (settings.line[restartSwitch] != "NO" &&
        askUser(instance, applyTextEscapes(settings.line[restartText]), settings.line[restartCaption], styleOkCancel) ==
            answerOk)
        restartWindows();
}
}  // namespace

void runInstaller(Handle instance, const std::string& fileName) {
    LineReader reader;
    if (!openLineReader(reader, fileName)) return;
    install(instance, reader);
    closeLineReader(reader);
}

void commandInstall(Handle instance, const std::string&, const std::string& arguments) {
    runInstaller(instance, arguments);
}
