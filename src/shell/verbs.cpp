#include "app/text.h"
#include "shell/shell.h"

bool runShellVerb(Handle owner, const std::string& verb, const std::string& file, const std::string& parameters) {
    // Verbs implemented through COM (delegate-execute handlers, store apps)
    // need COM on this thread; a plain program starts without it too.
    long com = coInitialize();
    // The started program inherits the error mode: it gets the one hostcmd
    // found, with Windows' own missing-DLL and crash reporting, not the quiet one.
    platformStartErrorMode();
    // Whether the shell managed is not examined: nobody is told either way.
    shellExecute(owner, verb, file, parameters != notGiven, parameters);
    platformQuietErrorMode();
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
