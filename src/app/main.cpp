// The Windows GUI entry point: one command line per start, exit code 0
// unless the command set another (see setExitCode).
#include "app/runner.h"

struct HINSTANCE__;

extern "C" int __stdcall WinMain(HINSTANCE__* instance, HINSTANCE__*, char*, int) {
    // From Windows 7 only hostcmd's own thread is made quiet: the process
    // mode, which started programs inherit, stays as the host left it.
    if (!quietThreadErrorMode()) platformQuietErrorMode();
    // The tail is computed here from the whole command line: the C runtime's
    // own rules for the tail it passes in differ in corner cases.
    // A command line with a character the code page cannot hold exactly runs nothing.
    std::string commandLine;
    if (platformCommandLine(commandLine)) runCommandLine(reinterpret_cast<Handle>(instance), commandLineTail(commandLine));
    return exitCode();
}
