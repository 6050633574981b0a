// The install check: line 6 of the check file when the product's directory is
// recorded and holds the marker file of line 5, line 7 otherwise.
#include "app/runner.h"
#include "app/text.h"
#include "files/files.h"
#include "install/install.h"

void runInstallCheck(Handle instance, const std::string& fileName) {
    std::string lines[checkFileLines];
    // No file, no decision: nothing runs (in particular not line 7's installer).
    if (!readDescriptionLines(fileName, lines, checkFileLines)) return;
    const std::string& marker = lines[4];
    const std::string& whenInstalled = lines[5];
    const std::string& whenNotInstalled = lines[6];

    std::string directory = lookupInstalledLocation(instance, fileName);
    bool installed = directory != notAvailable && pathExists(directory, marker);
    // The chosen line runs like any command line; one that leads back here
    // (an empty line means the check on "kw.ini" again) ends at the runner's
    // nesting limit.
    runCommandLine(instance, installed ? whenInstalled : whenNotInstalled);
}

// "installCheck": the whole argument text is the check file's name.
void commandInstallCheck(Handle instance, const std::string&, const std::string& arguments) {
    runInstallCheck(instance, arguments);
}
