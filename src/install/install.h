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
// "PathToInstall=" with a product's directory. "uninstall" and
// "uninstallQuiet" remove what an installation journaled (journal.h), with
// or without boxes.
#pragma once

#include <string>

#include "platform/platform.h"

// Lines of the check layout: free text, the three install key parts, the
// marker file, the line run when installed, the line run when not.
const int checkFileLines = 7;

// Reads the first `count` lines of an install description file (missing lines
// read empty); false when the file cannot be opened, or when one of those
// lines did not fit or could not be read.
bool readDescriptionLines(const std::string& fileName, std::string* lines, int count);
// "<part 1>\<part 2>\<part 3>", each part as it stands.
std::string installKeyTail(const std::string& part1, const std::string& part2, const std::string& part3);

// The value under HKLM\Software\<key tail>, opened, never created; "na" when
// there is none.
std::string readInstallValue(const std::string& installKeyTail, const std::string& valueName);
// The directory recorded for the product an install description file names, or "na".
std::string lookupInstalledLocation(Handle instance, const std::string& fileName);

void runInstallCheck(Handle instance, const std::string& fileName);
void runInstaller(Handle instance, const std::string& fileName);
// Writes the "PathToInstall=" reply for the fields of "pathToInstall".
void queryInstallPath(Handle instance, const std::string& arguments);

void commandInstallCheck(Handle instance, const std::string& word, const std::string& arguments);
void commandInstall(Handle instance, const std::string& word, const std::string& arguments);
void commandPathToInstall(Handle instance, const std::string& word, const std::string& arguments);
// "uninstall" and "uninstallQuiet" (the word tells them apart).
void commandUninstall(Handle instance, const std::string& word, const std::string& arguments);
