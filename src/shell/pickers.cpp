#include "shell/shell.h"

// Pickers: not built yet; the commands do nothing.
std::string browseForFolder(Handle, const std::string&) { return "na"; }
std::string chooseFile(Handle, const std::string&, const std::string&, const std::string&, const std::string&,
                       const std::string&, const std::string&) { return "na"; }
void commandGetUserDir(Handle, const std::string&, const std::string&) {}
void commandSavePrompt(Handle, const std::string&, const std::string&) {}
void commandOpenPrompt(Handle, const std::string&, const std::string&) {}
