// The uninstaller that outlives the CD, and the entry in Windows' list of
// installed programs (Apps & Features, Programs and Features) that starts it.
//
// The entry goes where the installation's record is: HKLM for a
// machine-wide installation, HKCU for one user's. The registry layer opens
// the 32-bit view in every build, so on 64-bit Windows the entry is under
// WOW6432Node, where Windows lists 32-bit programs.
#include "app/text.h"
#include "files/files.h"
#include "install/journal.h"
#include "registry/registry.h"

bool placeUninstaller(const std::string& installedDirectory, std::string& copyPath) {
    std::string program;
    if (!ownProgramPath(program)) return false;
    copyPath = withTrailingBackslash(installedDirectory) + uninstallerName;
    // Already the copy (an installer run from the installed directory): nothing to copy.
    if (foldedCase(resolvedName(program)) == foldedCase(resolvedName(copyPath))) return true;
    return copyFileWhole(program, copyPath, false);
}

std::string uninstallCommandLine(const std::string& uninstallerPath, const std::string& word, const std::string& part1,
                                 const std::string& part2, const std::string& part3) {
    // Windows starts the quoted program; hostcmd drops that part and the
    // blanks after it, so the command line it runs begins with the word.
    return "\"" + uninstallerPath + "\" " + word + "&" + part1 + "&" + part2 + "&" + part3;
}

bool versionNumbers(const std::string& part3, std::uint32_t& major, std::uint32_t& minor) {
    std::size_t i = 0;
    // Digits up to a value that fits a DWORD; "v2" or "" begin with none.
    auto number = [&](std::uint32_t& value) {
        std::size_t start = i;
        std::uint64_t n = 0;
        while (i < part3.size() && part3[i] >= '0' && part3[i] <= '9') {
            n = n * 10 + static_cast<unsigned>(part3[i++] - '0');
            if (n > 0xFFFFFFFFULL) return false;
        }
        value = static_cast<std::uint32_t>(n);
        return i > start;
    };
    if (!number(major)) return false;
    minor = 0;
    if (i < part3.size() && part3[i] == '.') {
        ++i;
        std::uint32_t after = 0;
        if (number(after)) minor = after;
    }
    return true;
}

void writeUninstallEntry(InstallScope scope, const std::string& part1, const std::string& part2,
                         const std::string& part3, const std::string& installedDirectory,
                         const std::string& uninstallerPath, std::uint64_t installedBytes) {
    Handle key = regCreateKey(scopeRoot(scope), entryKeyPath(part1, part2, part3), keySetValue);
    if (!key) return;
    writeRegistryValue(key, "DisplayName", displayName(part2, part3));
    writeRegistryValue(key, "Publisher", part1);
    writeRegistryValue(key, "DisplayVersion", part3);
    std::uint32_t major = 0, minor = 0;
    if (versionNumbers(part3, major, minor)) {
        writeRegistryNumber(key, "VersionMajor", major);
        writeRegistryNumber(key, "VersionMinor", minor);
    }
    writeRegistryValue(key, "InstallLocation", installedDirectory);
    int year = 0, month = 0, day = 0;
    localDate(year, month, day);
    // YYYYMMDD, digits written out: no formatting of the C library (and its locale) is linked in.
    std::string date;
    for (int twoDigits : {year / 100, year % 100, month, day}) {
        date += static_cast<char>('0' + twoDigits / 10 % 10);
        date += static_cast<char>('0' + twoDigits % 10);
    }
    writeRegistryValue(key, "InstallDate", date);
    std::uint64_t kilobytes = (installedBytes + 1023) / 1024;
    writeRegistryNumber(key, "EstimatedSize", kilobytes > 0xFFFFFFFFULL ? 0xFFFFFFFFU : static_cast<std::uint32_t>(kilobytes));
    // Only a removal is offered: there is no change or repair to make.
    writeRegistryNumber(key, "NoModify", 1);
    writeRegistryNumber(key, "NoRepair", 1);
    writeRegistryValue(key, "UninstallString", uninstallCommandLine(uninstallerPath, "uninstall", part1, part2, part3));
    writeRegistryValue(key, "QuietUninstallString",
                       uninstallCommandLine(uninstallerPath, "uninstallQuiet", part1, part2, part3));
    regCloseKey(key);
}
