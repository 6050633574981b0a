// hostcmd-sim: what a command line or a host's file would do, without Windows.
// Exit code 0 after a simulation, 2 for wrong arguments, an unreadable file,
// or a box or dialog without an answer.
#include <cstdio>

#include "sim/sim.h"

namespace {
void usage() {
    std::fputs(
        "usage: hostcmd-sim [options] \"<command line>\"\n"
        "       hostcmd-sim [options] --simulate-file FILE [--batch | --check | --installer]\n"
        "Runs hostcmd's logic against an in-memory fresh 64-bit Windows 10 and prints what would change:\n"
        "files and folders, registry keys and values, shortcuts; then in order the boxes and dialogs shown\n"
        "with the answer taken, the shell calls and every platform call that failed.\n"
        "  --json                 the same report as JSON\n"
        "  --drive C=FOLDER       seed a drive from a host folder (C: holds Windows' own folders too)\n"
        "  --cd E=FOLDER          add a CD-ROM drive holding the folder's files\n"
        "  --registry FILE        seed the registry from a .reg file as reg export writes it\n"
        "  --code-page N          the ANSI code page (1252); 65001 runs the UTF-8 build\n"
        "  --cwd C:\\DIR           the current directory (the file's folder, else C:\\Users\\USER)\n"
        "  --user NAME            the user name in the profile's folders (user)\n"
        "  --install-word WORD    run an installer file with install (the default), installQuiet,\n"
        "                         installUser or installUserQuiet\n"
        "  --answer CAPTION=ANSWER  answer the next box or dialog with that caption: a button (OK, Cancel,\n"
        "                         Yes, No, Retry, ...), a folder for the folder browser, a typed name\n"
        "                         for a file dialog, or Cancel\n"
        "  --answers FILE         answers, one CAPTION=ANSWER a line\n"
        "  --answer-default       answer the rest with the default button and cancel dialogs\n"
        "A file outside the seeded drives is copied with its folder to C:\\setup and run from there.\n",
        stderr);
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        usage();
        return arguments.empty() ? 2 : 0;
    }
    SimOptions options;
    std::string error, commandLine;
    if (!parseSimOptions(arguments, options, error) || !seedMachine(options, commandLine, error)) {
        std::fprintf(stderr, "hostcmd-sim: %s\n", error.c_str());
        return 2;
    }
    return simulate(options, commandLine);
}
