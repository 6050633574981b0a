// Elevation for installations for every user, and for their uninstall.
//
// A process whose token may not write what such an installation writes
// (Program Files, HKLM) asks Windows to start hostcmd.exe once more, elevated:
// the same command word, the installer file as a full path (an uninstall:
// its key parts), the same current directory (where %APP% reads kw.ini). It
// waits for that instance and takes its exit code. Whether to ask is decided by the process's own token alone,
// never by anything on the command line, so the elevated instance, whose
// token is elevated, installs and never asks again.
#include "app/boxes.h"
#include "app/fields.h"
#include "app/text.h"
#include "install/install.h"
#include "install/journal.h"
#include "shell/shell.h"

namespace {
const char* const pathTokenNames[] = {"%APP%", "%WIN%", "%TEMP%", "%PROG%", "%SYS%"};
}  // namespace

// FNV-1a of the full path, ASCII letters folded as Windows folds names, so
// that every spelling of one path gives one name.
std::string elevationMutexName(const std::string& fullPath) {
    unsigned long hash = 2166136261UL;
    for (unsigned char c : fullPath) {
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        hash = ((hash ^ c) * 16777619UL) & 0xFFFFFFFFUL;
    }
    const char* hex = "0123456789abcdef";
    std::string name = "Local\\hostcmd elevated install ";
    for (int shift = 28; shift >= 0; shift -= 4) name += hex[(hash >> shift) & 15];
    return name;
}

TokenKind processTokenKind() {
    int type = 0;
    bool elevated = false;
    if (tokenElevation(type, elevated)) {
        if (type == elevationTypeLimited) return TokenKind::limitedAdministrator;
        // A token of its own is elevated where UAC is off for an administrator,
        // and for the built-in Administrator; otherwise it is a standard user's.
        if (type == elevationTypeFull || elevated) return TokenKind::elevated;
        return TokenKind::standardUser;
    }
    bool administrator = false;
    if (tokenIsAdministrator(administrator))
        return administrator ? TokenKind::administrator : TokenKind::notAdministrator;
    return TokenKind::unknown;
}

const char* describeTokenKind(TokenKind kind) {
    switch (kind) {
        case TokenKind::elevated: return "elevated";
        case TokenKind::limitedAdministrator: return "an administrator's limited token (UAC)";
        case TokenKind::standardUser: return "a standard user's";
        case TokenKind::administrator: return "an administrator's (this Windows has no elevation)";
        case TokenKind::notAdministrator: return "not an administrator's (this Windows has no elevation)";
        default: return "of a kind that cannot be told";
    }
}

bool needsElevation(TokenKind kind) {
    // A token that cannot be read installs as before: the read-back of the
    // record still tells whether it could.
    return kind == TokenKind::limitedAdministrator || kind == TokenKind::standardUser ||
           kind == TokenKind::notAdministrator;
}

std::string elevatedParameters(const std::string& word, const std::string& fullPath) {
    // The started instance's runner expands path tokens once more: a name
    // that still holds one (an unresolved %APP%, a folder named %WIN%) gets
    // its token's letters in lower case, which Windows' case-blind names
    // read as the same file and the case-sensitive tokens never match. The
    // path holds no "|" (Windows refuses it in names) and no double quote;
    // the line starts with the command word, so the leading-quote rule and
    // the split at the first "&" leave the whole path as the argument text.
    std::string path = fullPath;
    for (const char* token : pathTokenNames) path = replaceEach(path, token, foldedCase(token));
    return word + "&" + path;
}

ElevatedStart startElevatedInstall(const std::string& word, const std::string& fileName, unsigned long& exitCode) {
    std::string fullPath = fullPathName(fileName);
    return startElevated(word, elevatedParameters(word, fullPath), fullPath, exitCode);
}

ElevatedStart startElevated(const std::string& word, const std::string& parameters, const std::string& subject,
                            unsigned long& exitCode) {
    std::string program, directory;
    if (!ownProgramPath(program) || !getCurrentDirectory(directory)) {
        traceInstallStep(word + ": hostcmd.exe cannot be started again elevated (its own path or the current directory is not "
                     "known): nothing was changed");
        return ElevatedStart::failed;
    }
    // A standard user's token stays the same where UAC is off: the started
    // instance would ask again, and again. It finds this mutex held instead.
    Handle mutex = 0;
    if (!claimNamedMutex(elevationMutexName(subject), mutex)) {
        traceInstallStep(word + ": an instance waiting for an elevated start for " + shownText(subject) +
              " holds this session's mutex: this is that start, and it did not get elevated; it goes on without "
              "asking again");
        return ElevatedStart::alreadyAsked;
    }
    ElevatedStart outcome = ElevatedStart::failed;
    if (someoneCanAnswer("ShellExecuteExA runas")) {
        traceInstallStep(word + ": hostcmd.exe starts again, elevated: " + shownText(program) + " with " + shownText(parameters) +
              " in " + shownText(directory));
        // Verbs go through COM where the shell hands them on; the plain start
        // of a program runs without it too.
        long com = coInitialize();
        unsigned long error = startElevatedAndWait(program, parameters, directory, exitCode);
        if (!comFailed(com)) coUninitialize();
        if (error == 0) {
            outcome = ElevatedStart::ran;
            traceInstallStep(word + ": the elevated hostcmd.exe ended with exit code " + std::to_string(exitCode));
        } else if (error == errorCancelled) {
            outcome = ElevatedStart::declined;
            traceInstallStep(word + ": the user declined elevation (error 1223): nothing was changed");
        } else {
            traceInstallStep(word + ": the elevated start failed (error " + std::to_string(error) + "): nothing was changed");
        }
    } else {
        traceInstallStep(word + ": nobody could answer the elevation prompt: nothing was changed");
    }
    releaseNamedMutex(mutex);
    return outcome;
}
