#include "shell/shell.h"

// CD drive search: not built yet; the commands do nothing.
std::string findCdFile(const std::string&) { return "na"; }
void commandPathToCD(Handle, const std::string&, const std::string&) {}
void commandPathToCDM(Handle, const std::string&, const std::string&) {}
void commandPathToCDR(Handle, const std::string&, const std::string&) {}
