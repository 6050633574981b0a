// "pathToInstall": part 1&part 2&part 3&marker file&reply file. Replies
// "PathToInstall=<directory>\" when the directory is recorded and holds the
// marker, else "PathToInstall=ERROR".
#include "app/reply.h"
#include "app/text.h"
#include "files/files.h"
#include "install/install.h"

void queryInstallPath(Handle, const std::string& arguments) {
    std::string rest = arguments;
    std::string part1 = takeField(rest);
    std::string part2 = takeField(rest);
    std::string part3 = takeField(rest);
    std::string marker = takeField(rest);
    const std::string& replyFile = rest;

    std::string directory = readInstallValue(installKeyTail(part1, part2, part3), "isDir");
    std::string reply = "PathToInstall=";
    // The marker is looked for in the directory as stored; only the answer
    // gets the trailing backslash.
    if (directory != notAvailable && pathExists(directory, marker)) reply += withTrailingBackslash(directory);
    else reply += "ERROR";
    writeTextFile(replyFile, reply);
}

void commandPathToInstall(Handle instance, const std::string&, const std::string& arguments) {
    queryInstallPath(instance, arguments);
}
