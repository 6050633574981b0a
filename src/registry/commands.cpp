// The registry commands. Each opens its key through the registry layer, does
// one thing and closes the key; only "regToFile"/"regGetValue" answers,
// through its reply file. Writes and deletes open with the rights their one
// call needs, creating every missing key on the path; the read opens an
// existing key for reading only.
#include "app/reply.h"
#include "app/text.h"
#include "registry/registry.h"

// "reg", "register", "regSetValue": root&key path&value name&text.
void commandRegSetValue(Handle, const std::string&, const std::string& arguments) {
    std::string rest = arguments;
    std::string root = takeField(rest);
    std::string path = takeField(rest);
    std::string valueName = takeField(rest);
    Handle key = openRegistryKey(root, path, keyToWrite);
    writeRegistryValue(key, valueName, rest);
    closeRegistryKey(key);
}

// "regToFile", "regGetValue": root&key path&value name&reply file.
// Replies "regToFile=<text>", or "regToFile=ERROR" when the value cannot be read.
void commandRegToFile(Handle, const std::string&, const std::string& arguments) {
    std::string rest = arguments;
    std::string root = takeField(rest);
    std::string path = takeField(rest);
    std::string valueName = takeField(rest);
    Handle key = openRegistryKeyForReading(root, path);
    std::string value = readRegistryValue(key, valueName);
    closeRegistryKey(key);
    writeTextFile(rest, std::string("regToFile=") + (value == notAvailable ? "ERROR" : value));
}

// "regCreateKey": root&key path; every missing key on the path is created.
void commandRegCreateKey(Handle, const std::string&, const std::string& arguments) {
    std::string rest = arguments;
    std::string root = takeField(rest);
    closeRegistryKey(openRegistryKey(root, rest, keyToCreate));
}

// "regDeleteKey": root&parent key path&sub-key to delete. Windows deletes only
// a key without sub-keys. An empty (or blanks-only) sub-key name deletes
// nothing: RegDeleteKeyA would take it for the parent key itself.
void commandRegDeleteKey(Handle, const std::string&, const std::string& arguments) {
    std::string rest = arguments;
    std::string root = takeField(rest);
    std::string parent = takeField(rest);
    if (!namesItemBelow(rest)) return;
    Handle key = openRegistryKey(root, parent, keyToDeleteSubKey);
    deleteRegistryKey(key, rest);
    closeRegistryKey(key);
}

// "regDeleteValue": root&key path&value name.
void commandRegDeleteValue(Handle, const std::string&, const std::string& arguments) {
    std::string rest = arguments;
    std::string root = takeField(rest);
    std::string path = takeField(rest);
    Handle key = openRegistryKey(root, path, keyToDeleteValue);
    deleteRegistryValue(key, rest);
    closeRegistryKey(key);
}
