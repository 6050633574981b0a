#include "install/install.h"

// Installation: not built yet; the commands do nothing.
std::string readInstallValue(const std::string&, const std::string&) { return "na"; }
std::string lookupInstalledLocation(Handle, const std::string&) { return "na"; }
void runInstallCheck(Handle, const std::string&) {}
void commandInstallCheck(Handle, const std::string&, const std::string&) {}
void commandPathToInstall(Handle, const std::string&, const std::string&) {}
