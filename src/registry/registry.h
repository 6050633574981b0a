// Registry access and the registry commands.
//
// The layer names the four roots "HKCR", "HKCU", "HKLM" and "HKU" (exactly;
// nothing else), opens keys for writing and deleting by creating them, asking
// for the rights of the one call each open serves, and keys for reading with
// query access only, creating nothing,
// and reads and writes values as text (REG_SZ on writing, the bytes up to the
// first zero on reading, fewer than 260 characters, "na" when a value cannot
// be read).
// Commands: "reg"/"register"/"regSetValue" set a value, "regToFile"/
// "regGetValue" answer "regToFile=" with one, "regCreateKey" creates a key,
// "regDeleteKey" and "regDeleteValue" delete a sub-key or a value.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// The null key: what a failed open or an unknown root name gives.
const Handle nullKey = 0;

// The root key a root name stands for, or the null key.
Handle rootKeyByName(const std::string& rootName);
// "HKLM", "HKCU", "HKCR" or "HKU" for a predefined root; "" for another.
std::string registryRootName(Handle root);
// What a key is opened for. Each asks Windows for that call's rights only
// (keyToWrite: KEY_SET_VALUE; keyToCreate: KEY_QUERY_VALUE, the key only has
// to come about; keyToDeleteValue: KEY_SET_VALUE; keyToDeleteSubKey, the
// parent: KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE), never full access,
// whose WRITE_DAC and WRITE_OWNER a delegated key refuses.
enum KeyPurpose { keyToWrite, keyToCreate, keyToDeleteValue, keyToDeleteSubKey };
// Opens the key below the named root, creating every missing key on the path
// (which Windows allows by the parent's Create Subkey right, whatever is
// asked for the key); the null key when the name is unknown or the open fails.
Handle openRegistryKey(const std::string& rootName, const std::string& path, KeyPurpose purpose);
// Opens an existing key below the named root for reading its values only,
// creating nothing: reads need no write access. The null key when the name
// is unknown, the key does not exist or may not be read.
Handle openRegistryKeyForReading(const std::string& rootName, const std::string& path);
void closeRegistryKey(Handle key);
void deleteRegistryKey(Handle key, const std::string& name);
// The value's data as text (up to the first zero byte, whatever its type),
// or "na" when it cannot be read (missing, the null key) or its text is 260
// characters or longer (over 260 bytes, or 260 without a zero byte).
std::string readRegistryValue(Handle key, const std::string& valueName);
// Registry value data as text: the bytes up to the first zero, or all of them.
std::string textOfValueData(const std::string& data);
// Stores the text as REG_SZ with its terminating zero.
void writeRegistryValue(Handle key, const std::string& valueName, const std::string& text);
// Stores the number as REG_DWORD.
void writeRegistryNumber(Handle key, const std::string& valueName, std::uint32_t value);
void deleteRegistryValue(Handle key, const std::string& valueName);

void commandRegSetValue(Handle instance, const std::string& word, const std::string& arguments);
void commandRegToFile(Handle instance, const std::string& word, const std::string& arguments);
void commandRegCreateKey(Handle instance, const std::string& word, const std::string& arguments);
void commandRegDeleteKey(Handle instance, const std::string& word, const std::string& arguments);
void commandRegDeleteValue(Handle instance, const std::string& word, const std::string& arguments);
