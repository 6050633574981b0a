// The installed location lookup: the directory the installer recorded as
// "isDir" under HKLM\Software\<part 1>\<part 2>\<part 3> for every user, or
// under HKCU for the current user.
#include "app/line_reader.h"
#include "app/text.h"
#include "install/install.h"
#include "registry/registry.h"

bool readDescriptionLines(const std::string& fileName, std::string* lines, int count) {
    LineReader reader;
    if (!openLineReader(reader, fileName)) return false;
    for (int i = 0; i < count; ++i) lines[i] = readLine(reader);
    closeLineReader(reader);
    // A line that did not fit (or a read that failed) leaves the lines after
    // it empty: a cut key part names another product, a cut line 6 or 7
    // another command. Nothing read from such a file is used.
    return !reader.failed;
}

std::string installKeyTail(const std::string& part1, const std::string& part2, const std::string& part3) {
    return part1 + "\\" + part2 + "\\" + part3;
}

// The key is only opened, never created, and for reading only: a lookup
// leaves no trace in the registry, and a user who may not write below
// HKLM\Software (every host that is not elevated) still finds the product.
std::string readInstallValueUnder(const char* root, const std::string& installKeyTail, const std::string& valueName) {
    Handle key = openRegistryKeyForReading(root, "Software\\" + installKeyTail);
    std::string value = readRegistryValue(key, valueName);
    closeRegistryKey(key);
    return value;
}

namespace {
InstallScope preferred = InstallScope::machine;
}  // namespace

InstallScope preferInstallRecordsOf(InstallScope scope) {
    InstallScope before = preferred;
    preferred = scope;
    return before;
}

// An installation for every user wins over one for the current user, so that
// a check file finds either kind and a machine-wide install, once made, is
// the one that counts; only the command lines of an installation for the
// current user see their own record first.
std::string readInstallValue(const std::string& installKeyTail, const std::string& valueName) {
    const char* first = preferred == InstallScope::user ? "HKCU" : "HKLM";
    const char* second = preferred == InstallScope::user ? "HKLM" : "HKCU";
    std::string value = readInstallValueUnder(first, installKeyTail, valueName);
    return value != notAvailable ? value : readInstallValueUnder(second, installKeyTail, valueName);
}

std::string lookupInstalledLocation(Handle, const std::string& fileName) {
    std::string lines[checkFileLines];
    if (!readDescriptionLines(fileName, lines, checkFileLines)) return notAvailable;
    return readInstallValue(installKeyTail(lines[1], lines[2], lines[3]), "isDir");
}
