// "uninstall&<part 1>&<part 2>&<part 3>" and "uninstallQuiet&...": removes
// what the installation of that product journaled (journal.h), newest first,
// each item only while it is still as the installation left it
// (removal.cpp), and last of all the running uninstaller's own copy, the
// entry in Windows' list, the record and the journal.
//
// "uninstall" asks once, with a system-modal OK/Cancel box captioned with
// the display name ("Viewer 2.0"), and closes with an OK box that says what
// stayed and where. "uninstallQuiet" shows no box and ends with the exit code
// a deployment tool reads: 0 removed (items kept for the user are no
// failure), 1605 nothing recorded under those key parts, 1602 elevation
// declined, 1603 failed. A machine-wide journal (HKLM) is searched first,
// then the user's (HKCU), as the lookups find a record.
//
// The running copy cannot delete its own file, and the process must not end
// before the work is done (Windows' list and deployment tools wait for it):
// so it renames its file, while it runs, into the temporary folder (Windows
// allows renaming a running program's file within its volume, never
// deleting it), removes the directories that held it, and asks Windows to
// delete the renamed file at the next restart (granted to administrators).
// Where the rename fails (another volume), the file and its directories are
// deleted at the next restart instead, or stay when that is refused.
#include "app/boxes.h"
#include "app/runner.h"
#include "app/text.h"
#include "install/install.h"
#include "install/uninstall.h"
#include "registry/registry.h"

namespace {
const int exitElevationDeclined = 1602, exitFailed = 1603, exitNothingRecorded = 1605;
const char* const uninstallListKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::size_t namesShown = 10;

// The product named by the command's three fields, and its keys.
struct Product {
    std::string part1, part2, part3, name, installKey, journalKey, entryKey;
};

// A box, for "uninstall" only.
void tell(Handle instance, bool quiet, const Product& product, const std::string& text) {
    if (!quiet) showMessage(instance, text, product.name);
}

// The one point where an uninstall asks Windows for elevation: a
// machine-wide installation, and a process token that may not change HKLM
// (decided by the token alone, as for "install"). hostcmd.exe starts again
// with the same command word and key parts (ShellExecuteEx "runas", same
// current directory) and is waited for. True when an elevated instance did
// the work, with its exit code; false with 1602 when the user declined, 1603
// when the start could not be made. Not asked (the token may write, or this
// is the start an instance waits for): false with 0.
bool runElevatedUninstall(const std::string& word, const std::string& arguments, int& elevatedExitCode) {
    elevatedExitCode = 0;
    if (!needsElevation(processTokenKind())) return false;
    unsigned long exitCode = 0;
    switch (startElevated(word, word + "&" + arguments, word + "&" + arguments, exitCode)) {
        case ElevatedStart::ran: elevatedExitCode = static_cast<int>(exitCode); return true;
        case ElevatedStart::declined: elevatedExitCode = exitElevationDeclined; return false;
        case ElevatedStart::alreadyAsked: return false;
        default: elevatedExitCode = exitFailed; return false;
    }
}

// Whether this process may change the journal (and with it the record and the entry).
bool mayChangeJournal(InstallScope scope, const Product& product) {
    Handle key = regCreateKey(scopeRoot(scope), product.journalKey, keySetValue);
    if (key) regCloseKey(key);
    return key != 0;
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < namesShown; ++i) text += "\r\n" + names[i];
    if (names.size() > namesShown) text += "\r\nand " + std::to_string(names.size() - namesShown) + " more";
    return text;
}

std::string items(std::size_t count) { return std::to_string(count) + (count == 1 ? " item" : " items"); }

// Moves the running program's own file out of its directory, or has it
// deleted at the next restart; false when it stays.
bool removeRunningProgram(const std::string& program, bool& atRestart) {
    atRestart = false;
    std::string temp, parked;
    if (getTempPath(temp) && getTempFileName(temp, "hcu", parked)) {
        if (putFileInPlace(program, parked, true)) {
            deleteAtRestart(parked);  // a user who is no administrator keeps it in the temporary folder
            return true;
        }
        deleteFile(parked);
    }
    atRestart = deleteAtRestart(program);
    return atRestart;
}

// The entry, the record and the journal: what names the installation.
void removeRecords(InstallScope scope, const Product& product) {
    Handle root = scopeRoot(scope), found = regOpenKeyForReading(root, product.entryKey);
    if (found) {
        regCloseKey(found);
        Handle list = regCreateKey(root, uninstallListKey, keyEnumerateSubKeys | keyQueryValue);
        if (list) {
            regDeleteKey(list, product.entryKey.substr(product.entryKey.rfind('\\') + 1));
            regCloseKey(list);
        }
    }
    std::string data;
    Handle key = regCreateKey(root, product.installKey, keySetValue | keyEnumerateSubKeys | keyQueryValue);  // it holds the journal: nothing is created
    if (!key) return;
    if (readValueData(root, product.installKey, "isDir", data)) regDeleteValue(key, "isDir");
    regDeleteKey(key, journalKeyName);
    regCloseKey(key);
}

// The whole removal once the user (if asked) agreed; answers the exit code.
int removeProduct(Handle instance, bool quiet, InstallScope scope, const Product& product,
                  const std::vector<JournalItem>& journal) {
    RemovalFence fence = removalFence(scope, journal);
    RemovalOutcome outcome;
    std::string program;
    if (ownProgramPath(program)) program = resolvedName(program);

    // Newest first. Kept back for the end: the keys above the journal and
    // above the entry (they hold them), the running program's file and its
    // directories.
    std::size_t runningProgram = journal.size();
    std::vector<std::size_t> heldDirectories, installKeys;
    for (std::size_t i = journal.size(); i-- > 0;) {
        const JournalItem& item = journal[i];
        std::string name = item.kind == journaledKey ? cleanKeyPath(item.name) : resolvedName(item.name);
        if (item.kind == journaledKey && item.root == scopeRoot(scope) &&
            (nameWithin(product.installKey, name) || nameWithin(product.entryKey, name)))
            installKeys.push_back(i);
        else if (item.kind == journaledFile && !program.empty() && foldedCase(name) == foldedCase(program))
            runningProgram = i;
        else if (item.kind == journaledDirectory && !program.empty() && nameWithin(program, name))
            heldDirectories.push_back(i);
        else
            removeItem(fence, item, outcome);
    }
    // Something that should go is still there: the uninstall can be run
    // again, so its journal, record and entry stay.
    if (!outcome.failed.empty()) {
        std::string text = product.name + " could not be removed completely: ";
        text += items(outcome.failed.size()) + " could not be removed, perhaps because a program is still using them:";
        text += listed(outcome.failed) + "\r\n\r\nClose that program and remove " + product.name + " again.";
        tell(instance, quiet, product, text);
        return exitFailed;
    }

    bool atRestart = false;
    if (runningProgram < journal.size()) {
        JournalItem own = journal[runningProgram];
        own.name = program;
        if (fileMayGo(fence, own, outcome) && !removeRunningProgram(program, atRestart))
            keepItem(outcome, program, "the running uninstaller, not removable");
    }
    for (std::size_t i : heldDirectories) {
        // After the file, in the order asked, when that goes at the next start.
        if (atRestart) deleteAtRestart(resolvedName(journal[i].name));
        else removeItem(fence, journal[i], outcome);
    }
    removeRecords(scope, product);
    for (std::size_t i : installKeys) removeEmptyKey(journal[i].root, cleanKeyPath(journal[i].name), outcome);

    std::string text = product.name + " has been removed from this computer.";
    if (atRestart) text += "\r\n\r\nThe uninstaller itself and its folder go when Windows is started next.";
    if (!outcome.kept.empty()) {
        text += "\r\n\r\n" + items(outcome.kept.size());
        text += " stayed: changed since the installation, or holding what was added after it:" + listed(outcome.kept);
    }
    tell(instance, quiet, product, text);
    return 0;
}

void runUninstall(Handle instance, const std::string& word, const std::string& arguments, bool quiet) {
    Product product;
    std::string rest = arguments;
    product.part1 = takeField(rest);
    product.part2 = takeField(rest);
    product.part3 = rest;
    product.name = displayName(product.part2, product.part3);
    product.installKey = cleanKeyPath(installKeyPath(product.part1, product.part2, product.part3));
    product.journalKey = journalKeyPath(product.part1, product.part2, product.part3);
    product.entryKey = entryKeyPath(product.part1, product.part2, product.part3);

    InstallScope scope = InstallScope::machine;
    std::vector<JournalItem> journal;
    if (!readJournal(scope, product.part1, product.part2, product.part3, journal)) {
        scope = InstallScope::user;
        if (!readJournal(scope, product.part1, product.part2, product.part3, journal)) {
            if (quiet) setExitCode(exitNothingRecorded);
            tell(instance, quiet, product, "Nothing is recorded of " + product.name + " on this computer: there is nothing to remove.");
            return;
        }
    }
    int elevatedExitCode = 0;
    if (scope == InstallScope::machine && runElevatedUninstall(word, arguments, elevatedExitCode)) {
        if (quiet) setExitCode(elevatedExitCode);
        return;
    }
    if (elevatedExitCode == exitElevationDeclined || !mayChangeJournal(scope, product)) {
        if (quiet) setExitCode(elevatedExitCode == exitElevationDeclined ? exitElevationDeclined : exitFailed);
        tell(instance, quiet, product,
             product.name + (scope == InstallScope::machine ? " was installed for all users: removing it needs administrator rights."
                                                         : " cannot be removed: its record may not be changed."));
        return;
    }
    if (!quiet && askUser(instance,
                          "Do you want to remove " + product.name +
                              " from this computer?\r\n\r\nFiles changed since the installation, and whatever was "
                              "added after it, are kept.",
                          product.name, styleOkCancel) != answerOk)
        return;
    int code = removeProduct(instance, quiet, scope, product, journal);
    if (quiet) setExitCode(code);
}
}  // namespace

void commandUninstall(Handle instance, const std::string& word, const std::string& arguments) {
    runUninstall(instance, word, arguments, word == "uninstallQuiet");
}
