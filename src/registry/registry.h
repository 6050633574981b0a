// Registry access and the registry commands.
//
// The layer names the four roots "HKCR", "HKCU", "HKLM" and "HKU" (exactly;
// nothing else), opens keys by creating them with full access, and reads and
// writes values as text (REG_SZ on writing, the bytes up to the first zero on
// reading, at most 260 bytes, "na" when a value cannot be read).
// Commands: "reg"/"register"/"regSetValue" set a value, "regToFile"/
// "regGetValue" answer "regToFile=" with one, "regCreateKey" creates a key,
// "regDeleteKey" and "regDeleteValue" delete a sub-key or a value.
#pragma once

#include <string>

#include "platform/platform.h"

// The null key: what a failed open or an unknown root name gives.
const Handle nullKey = 0;

Handle openRegistryKey(const std::string& rootName, const std::string& path);
void closeRegistryKey(Handle key);
void deleteRegistryKey(Handle key, const std::string& name);
std::string readRegistryValue(Handle key, const std::string& valueName);
void writeRegistryValue(Handle key, const std::string& valueName, const std::string& text);
void deleteRegistryValue(Handle key, const std::string& valueName);

void commandRegSetValue(Handle instance, const std::string& word, const std::string& arguments);
void commandRegToFile(Handle instance, const std::string& word, const std::string& arguments);
void commandRegCreateKey(Handle instance, const std::string& word, const std::string& arguments);
void commandRegDeleteKey(Handle instance, const std::string& word, const std::string& arguments);
void commandRegDeleteValue(Handle instance, const std::string& word, const std::string& arguments);
