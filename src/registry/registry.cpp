#include "registry/registry.h"

// The registry layer and commands: not built yet; they do nothing.
Handle openRegistryKey(const std::string&, const std::string&) { return nullKey; }
void closeRegistryKey(Handle) {}
void deleteRegistryKey(Handle, const std::string&) {}
std::string readRegistryValue(Handle, const std::string&) { return "na"; }
void writeRegistryValue(Handle, const std::string&, const std::string&) {}
void deleteRegistryValue(Handle, const std::string&) {}
void commandRegSetValue(Handle, const std::string&, const std::string&) {}
void commandRegToFile(Handle, const std::string&, const std::string&) {}
void commandRegCreateKey(Handle, const std::string&, const std::string&) {}
void commandRegDeleteKey(Handle, const std::string&, const std::string&) {}
void commandRegDeleteValue(Handle, const std::string&, const std::string&) {}
