#include "shell/shell.h"

// Shortcut icons: not built yet; the commands do nothing.
void makeIcon(Handle, int, const std::string&) {}
long writeShellLink(const std::string&, const std::string&, const std::string&, const std::string&,
                    const std::string&, int, const std::string&) { return -1; }
void commandStartIcon(Handle instance, const std::string&, const std::string& arguments) { makeIcon(instance, 2, arguments); }
void commandDeskIcon(Handle instance, const std::string&, const std::string& arguments) { makeIcon(instance, 0, arguments); }
void commandStartUpIcon(Handle instance, const std::string&, const std::string& arguments) { makeIcon(instance, 3, arguments); }
void commandProgramIcon(Handle instance, const std::string&, const std::string& arguments) { makeIcon(instance, 1, arguments); }
void commandDeleteIcon(Handle, const std::string&, const std::string&) {}
void commandDeleteIconDir(Handle, const std::string&, const std::string&) {}
