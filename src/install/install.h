// Installation.
//
// A check file ("kw.ini" by default) names a product by its lines 2 to 4, the
// install key parts; the installer records the directory it installed into
// as the value "isDir" under HKLM\Software\<part 1>\<part 2>\<part 3>.
// The install check ("installCheck", and every command line without a
// command word) runs line 6 of the check file when that directory is recorded
// and holds the marker file of line 5, else line 7. "install" runs an
// installer file: dialogs, directories, the record, its command list, its
// final command and an optional restart. "pathToInstall" answers
// "PathToInstall=" with a product's directory.
#pragma once

#include <string>

#include "platform/platform.h"

// The value under HKLM\Software\<key tail>, opened, never created; "na" when
// there is none.
std::string readInstallValue(const std::string& installKeyTail, const std::string& valueName);
// The directory recorded for the product an install description file names, or "na".
std::string lookupInstalledLocation(Handle instance, const std::string& fileName);

void runInstallCheck(Handle instance, const std::string& fileName);
void runInstaller(Handle instance, const std::string& fileName);

void commandInstallCheck(Handle instance, const std::string& word, const std::string& arguments);
void commandInstall(Handle instance, const std::string& word, const std::string& arguments);
void commandPathToInstall(Handle instance, const std::string& word, const std::string& arguments);
