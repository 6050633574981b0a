#include "registry/registry.h"

#include "app/text.h"

namespace {
// A value is read into this many bytes; longer data cannot be read.
const std::size_t valueBufferSize = 260;

struct RootName {
    const char* name;
    Handle root;
};
// Only these four short names, spelled exactly so, reach a root.
const RootName rootNames[] = {
    {"HKCR", rootClassesRoot},
    {"HKCU", rootCurrentUser},
    {"HKLM", rootLocalMachine},
    {"HKU", rootUsers},
};
}  // namespace

std::string registryRootName(Handle root) {
    for (const RootName& entry : rootNames)
        if (entry.root == root) return entry.name;
    return std::string();
}

Handle rootKeyByName(const std::string& rootName) {
    for (const RootName& entry : rootNames)
        if (rootName == entry.name) return entry.root;
    return nullKey;
}

Handle openRegistryKey(const std::string& rootName, const std::string& path, KeyPurpose purpose) {
    Handle root = rootKeyByName(rootName);
    if (root == nullKey) return nullKey;
    // RegSetValueExA and RegDeleteValueA need KEY_SET_VALUE on the key, no
    // more. A key delete asks nothing of the parent's handle (Windows opens
    // the sub-key for DELETE itself): the least rights any reader holds.
    static const unsigned rights[] = {keySetValue, keyQueryValue, keySetValue, keyEnumerateSubKeys | keyQueryValue};
    return regCreateKey(root, path, rights[purpose]);
}

Handle openRegistryKeyForReading(const std::string& rootName, const std::string& path) {
    Handle root = rootKeyByName(rootName);
    if (root == nullKey) return nullKey;
    return regOpenKeyForReading(root, path);
}

// Nothing is asked of Windows for the null key: every operation on it fails
// and changes nothing.
void closeRegistryKey(Handle key) {
    if (key != nullKey) regCloseKey(key);
}

void deleteRegistryKey(Handle key, const std::string& name) {
    if (key != nullKey) regDeleteKey(key, name);
}

std::string textOfValueData(const std::string& data) {
    std::size_t zero = data.find('\0');
    return zero == std::string::npos ? data : data.substr(0, zero);
}

std::string readRegistryValue(Handle key, const std::string& valueName) {
    std::string data;
    if (key == nullKey || !regQueryValue(key, valueName, valueBufferSize, data)) return notAvailable;
    // Whatever the type, the data are taken as bytes of text up to the first
    // zero. 260 bytes without one (REG_BINARY, REG_MULTI_SZ, a REG_SZ stored
    // without its zero) are a 260-character text: over the limit, like 261
    // bytes with the zero.
    std::string text = textOfValueData(data);
    return text.size() >= valueBufferSize ? std::string(notAvailable) : text;
}

void writeRegistryValue(Handle key, const std::string& valueName, const std::string& text) {
    if (key != nullKey) regSetStringValue(key, valueName, text);
}

void writeRegistryNumber(Handle key, const std::string& valueName, std::uint32_t value) {
    if (key != nullKey) regSetDwordValue(key, valueName, value);
}

void deleteRegistryValue(Handle key, const std::string& valueName) {
    if (key != nullKey) regDeleteValue(key, valueName);
}
