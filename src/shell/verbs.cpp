#include "app/text.h"
#include "shell/shell.h"

namespace {
// hostcmd has no message loop and ends right after the call: the shell must
// finish the start (a DDE conversation above all) before it returns, and may
// show no box of its own ("no program is associated") where nobody sees it.
const unsigned startMask = shellNoAsync | shellNoUi;
}  // namespace

bool runShellVerb(Handle owner, const std::string& verb, const std::string& file, const std::string& parameters) {
    // Verbs implemented through COM (delegate-execute handlers, store apps)
    // need COM on this thread; a plain program starts without it too.
    long com = coInitialize();
    // The started program inherits the process error mode: it gets the one
    // hostcmd found, with Windows' own missing-DLL and crash reporting, not
    // the quiet one. From Windows 7 the process mode was never changed and
    // hostcmd's own thread stays quiet while the shell works ("No Disk" for
    // a file on an empty drive, a crashing shell extension); on XP and Vista
    // the one mode there is switches back for the start.
    bool ownThreadQuiet = quietThreadErrorMode();
    if (!ownThreadQuiet) platformStartErrorMode();
    // Whether the shell managed is not examined: nobody is told either way.
    shellExecute(owner, verb, file, parameters != notGiven, parameters, startMask);
    if (!ownThreadQuiet) platformQuietErrorMode();
    if (!comFailed(com)) coUninitialize();
    return true;
}

void commandOpen(Handle instance, const std::string&, const std::string& arguments) {
    runShellVerb(instance, "open", arguments, notGiven);
}

void commandRun(Handle instance, const std::string&, const std::string& arguments) {
    std::string program, parameters;
    splitField(arguments, program, parameters);
    runShellVerb(instance, "open", program, parameters);
}

void commandPrint(Handle instance, const std::string&, const std::string& arguments) {
    runShellVerb(instance, "print", arguments, notGiven);
}

void commandExplore(Handle instance, const std::string&, const std::string& arguments) {
    runShellVerb(instance, "explore", arguments, notGiven);
}
