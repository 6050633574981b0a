// The in-memory platform: the unit tests and hostcmd-sim link it instead of Windows (see memory_platform.h).
#include "platform/memory_platform.h"

#include <cstdio>
#include <initializer_list>
#include <set>

namespace {
struct Entry {
    bool directory;
    bool readOnly;
    std::string bytes;
    std::string name;  // the absolute path in the case it was created with
};
struct Value {
    std::string name;  // as first set
    unsigned type;
    std::string bytes;
};
struct OpenFile {
    std::string path;
    std::size_t position;
};
struct LinkObject {
    FakeShortcut shortcut;
    int references;
};

std::map<std::string, Entry> entries;
std::map<Handle, OpenFile> openFiles;
std::string currentDirectory;
unsigned codePage;
bool utf8Process;
unsigned fakeActiveCodePage;
std::string windowsDirectory, tempDirectory, systemDirectory;

std::set<std::string> registryKeys;
std::map<std::string, std::map<std::string, Value>> registryValues;  // key -> lower name -> value
std::map<std::string, std::string> keyNames;                         // key -> path as first created
std::map<Handle, std::string> openKeys;
std::set<Handle> readingKeys;  // opened with query access only
std::set<Handle> deniedRoots;
std::set<std::string> readOnlyKeys;

// Whether full access to the key is refused: its root is denied, or it is a
// read-only key or lies below one.
bool writeDenied(Handle root, const std::string& key) {
    if (deniedRoots.count(root)) return true;
    for (const std::string& k : readOnlyKeys)
        if (key == k || key.compare(0, k.size() + 1, k + "\\") == 0) return true;
    return false;
}

std::map<char, unsigned> driveTypes;
std::vector<int> boxAnswers;
std::vector<std::string> dialogAnswers;
std::string dialogDirectory;
std::map<Handle, std::string> itemLists;
std::set<Handle> allocations;
std::map<Handle, Handle> persistToLink;
std::map<Handle, LinkObject> links;
int comBalance;
bool shutdownDenied;
bool stationHidden;
bool shellNeedsFiles;
bool errorModeQuiet;
std::map<int, std::string> shellFolders;

std::map<std::string, int> callCounts;
std::map<std::string, int> failRules;  // name -> nth (0 = all)
int failNumber;
int failFrom;
Handle nextHandle;

Handle newHandle() { return nextHandle += 4; }

// A failed call as the Windows platform traces it: "    Call(arguments) failed: error N".
// Arguments starting with "\1" are shown as they stand, the others quoted.
void failed(const char* call, unsigned long code, std::initializer_list<std::string> arguments) {
    std::string line = std::string("    ") + call + "(";
    bool first = true;
    for (const std::string& argument : arguments) {
        if (!first) line += ", ";
        first = false;
        if (!argument.empty() && argument[0] == '\1') {
            line += argument.substr(1);
            continue;
        }
        line += '"';
        for (unsigned char c : argument) {
            if (c == '\r') line += "<CR>";
            else if (c == '\n') line += "<LF>";
            else if (c == '\t') line += "<TAB>";
            else if (c < 0x20 || c == 0x7F) {
                const char* hex = "0123456789ABCDEF";
                line += std::string("<0x") + hex[c >> 4] + hex[c & 15] + ">";
            } else line += static_cast<char>(c);
        }
        line += '"';
    }
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, code > 0xFFFF ? "0x%lX" : "%lu", code);
    line += std::string(") failed: error ") + code_text;
    fakeFailedCalls.push_back(FakeFailedCall{fakeCalls.size(), line});
}

std::string rootName(Handle root) {
    switch (root) {
        case rootClassesRoot: return "\1HKCR";
        case rootCurrentUser: return "\1HKCU";
        case rootLocalMachine: return "\1HKLM";
        case rootUsers: return "\1HKU";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "\1handle 0x%lX", static_cast<unsigned long>(root));
            return text;
        }
    }
}

bool failing(const char* call) {
    fakeCalls.push_back(call);
    int count = ++callCounts[call];
    if (failNumber && static_cast<int>(fakeCalls.size()) == failNumber) return true;
    if (failFrom && static_cast<int>(fakeCalls.size()) >= failFrom) return true;
    auto rule = failRules.find(call);
    return rule != failRules.end() && (rule->second == 0 || rule->second == count);
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The absolute form of a path as given, without a trailing "\" (but "C:\").
std::string absoluteAsGiven(const std::string& path) {
    std::string full;
    if (path.size() >= 2 && path[1] == ':') full = path;
    else if (!path.empty() && path[0] == '\\') full = currentDirectory.substr(0, 2) + path;
    else full = currentDirectory + "\\" + path;
    while (full.size() > 3 && full.back() == '\\') full.pop_back();
    if (full.size() == 2) full += '\\';
    if (full[0] >= 'a' && full[0] <= 'z') full[0] = static_cast<char>(full[0] - 'a' + 'A');
    return full;
}

// The absolute lower-case form of a path, the key of the entries.
std::string absolute(const std::string& path) { return lower(absoluteAsGiven(path)); }

std::string parentOf(const std::string& full) {
    std::size_t slash = full.rfind('\\');
    if (slash == std::string::npos || full.size() <= 3) return "";
    return slash == 2 ? full.substr(0, 3) : full.substr(0, slash);
}

// The name a new entry gets: its parent's name as it stands, then the last
// component as given.
std::string newEntryName(const std::string& path) {
    std::string given = absoluteAsGiven(path);
    std::size_t slash = given.rfind('\\');
    if (given.size() <= 3 || slash == std::string::npos) return given;
    std::string parent = lower(slash == 2 ? given.substr(0, 3) : given.substr(0, slash));
    auto it = entries.find(parent);
    if (it == entries.end() || it->second.name.empty()) return given;
    return it->second.name + (it->second.name.size() > 3 ? "\\" : "") + given.substr(slash + 1);
}

// Creates or replaces an entry, keeping the name of one that exists.
void putEntry(const std::string& path, bool directory, bool readOnly, const std::string& bytes) {
    std::string full = absolute(path);
    auto it = entries.find(full);
    std::string name = it != entries.end() ? it->second.name : newEntryName(path);
    entries[full] = Entry{directory, readOnly, bytes, name};
}

bool isDirectory(const std::string& full) {
    auto it = entries.find(full);
    return it != entries.end() && it->second.directory;
}

bool wildcardMatch(const char* pattern, const char* name) {
    if (!*pattern) return !*name;
    if (*pattern == '*') return wildcardMatch(pattern + 1, name) || (*name && wildcardMatch(pattern, name + 1));
    if (!*name) return false;
    return (*pattern == '?' || *pattern == *name) && wildcardMatch(pattern + 1, name + 1);
}

std::string keyPathAsGiven(Handle root, const std::string& path) {
    std::string key = std::to_string(root);
    std::string component;
    for (char c : path + "\\") {
        if (c != '\\') {
            component += c;
        } else if (!component.empty()) {
            key += "\\" + component;
            component.clear();
        }
    }
    return key;
}
std::string keyPath(Handle root, const std::string& path) { return lower(keyPathAsGiven(root, path)); }

// Creates the key and its missing parents, each named as given.
void createKeys(Handle root, const std::string& path) {
    std::string given = keyPathAsGiven(root, path);
    for (std::string k = given; k.find('\\') != std::string::npos; k = k.substr(0, k.rfind('\\'))) {
        registryKeys.insert(lower(k));
        keyNames.emplace(lower(k), k);
    }
}

}  // namespace

std::vector<FakeBox> fakeBoxes;
std::vector<FakeFailedCall> fakeFailedCalls;
std::function<int(const FakeBox&)> fakeBoxAnswerer;
std::function<bool(const FakeDialog&, std::string&)> fakeDialogAnswerer;
std::vector<FakeDialog> fakeDialogs;
std::vector<FakeShellCall> fakeShellCalls;
std::map<std::string, FakeShortcut> fakeShortcuts;
bool fakeRebootStarted;
unsigned long fakeRebootReason;
std::vector<std::string> fakeCalls;
std::vector<std::string> fakeTraceLines;
namespace {
bool traceOn = false;
std::string traceFile;  // absolute, empty when the lines are only kept in memory
}  // namespace

void fakeReset() {
    entries.clear();
    openFiles.clear();
    registryKeys.clear();
    registryValues.clear();
    keyNames.clear();
    fakeFailedCalls.clear();
    fakeBoxAnswerer = nullptr;
    fakeDialogAnswerer = nullptr;
    openKeys.clear();
    readingKeys.clear();
    deniedRoots.clear();
    readOnlyKeys.clear();
    driveTypes.clear();
    boxAnswers.clear();
    dialogAnswers.clear();
    dialogDirectory.clear();
    itemLists.clear();
    allocations.clear();
    persistToLink.clear();
    links.clear();
    comBalance = 0;
    shutdownDenied = false;
    stationHidden = false;
    shellNeedsFiles = false;
    errorModeQuiet = true;
    shellFolders.clear();
    fakeRebootReason = 0;
    callCounts.clear();
    failRules.clear();
    failNumber = 0;
    failFrom = 0;
    nextHandle = 0x1000;
    fakeBoxes.clear();
    fakeDialogs.clear();
    fakeShellCalls.clear();
    fakeShortcuts.clear();
    fakeRebootStarted = false;
    fakeCalls.clear();
    fakeTraceLines.clear();
    traceOn = false;
    traceFile.clear();
    codePage = 1252;
    utf8Process = false;
    fakeActiveCodePage = 1252;
    currentDirectory = "C:\\work";
    windowsDirectory = "C:\\WINDOWS";
    tempDirectory = "C:\\TEMP\\";
    systemDirectory = "C:\\WINDOWS\\system32";
    entries["c:\\"] = Entry{true, false, "", "C:\\"};
    entries["c:\\work"] = Entry{true, false, "", "C:\\work"};
    driveTypes['C'] = 3;
}

void fakeUseCodePage932(bool on) { codePage = on ? 932 : 1252; }
void fakeSetCodePage(unsigned page) { codePage = page; }
void fakeUseUtf8(bool on, unsigned activeCodePage) {
    utf8Process = on;
    fakeActiveCodePage = activeCodePage;
}
void fakeSetCurrentDirectory(const std::string& path) { currentDirectory = path; }
void fakeSetDirectories(const std::string& windows, const std::string& temp, const std::string& system) {
    windowsDirectory = windows;
    tempDirectory = temp;
    systemDirectory = system;
}

void fakeAddDirectory(const std::string& path) {
    std::string given = absoluteAsGiven(path);
    std::string parent = parentOf(given);
    if (!parent.empty() && !entries.count(lower(parent))) fakeAddDirectory(parent);
    if (!entries.count(lower(given))) putEntry(given, true, false, "");
}

void fakeAddFile(const std::string& path, const std::string& bytes, bool readOnly) {
    std::string given = absoluteAsGiven(path);
    fakeAddDirectory(parentOf(given));
    putEntry(given, false, readOnly, bytes);
}

void fakeForget(const std::string& path) {
    std::string full = absolute(path);
    for (auto it = entries.begin(); it != entries.end();) {
        if (it->first == full || it->first.compare(0, full.size() + 1, full + "\\") == 0) it = entries.erase(it);
        else ++it;
    }
}
void fakeSetReadOnly(const std::string& path) { entries[absolute(path)].readOnly = true; }
bool fakeIsReadOnly(const std::string& path) {
    auto it = entries.find(absolute(path));
    return it != entries.end() && it->second.readOnly;
}
bool fakeFileExists(const std::string& path) {
    auto it = entries.find(absolute(path));
    return it != entries.end() && !it->second.directory;
}
bool fakeDirectoryExists(const std::string& path) { return isDirectory(absolute(path)); }
std::string fakeFileBytes(const std::string& path) {
    auto it = entries.find(absolute(path));
    return it == entries.end() ? std::string() : it->second.bytes;
}
std::vector<std::string> fakeEntries() {
    std::vector<std::string> list;
    for (auto& entry : entries) list.push_back(entry.first + (entry.second.directory && entry.first.size() > 3 ? "\\" : ""));
    return list;
}
int fakeOpenFiles() { return static_cast<int>(openFiles.size()); }
std::map<std::string, FakeEntry> fakeEntrySnapshot() {
    std::map<std::string, FakeEntry> snapshot;
    for (auto& entry : entries)
        snapshot[entry.first] = FakeEntry{entry.second.name, entry.second.directory, entry.second.readOnly, entry.second.bytes};
    return snapshot;
}

void fakeSetRegistryValue(Handle root, const std::string& path, const std::string& name, const std::string& bytes,
                          unsigned type) {
    createKeys(root, path);
    registryValues[keyPath(root, path)][lower(name)] = Value{name, type, bytes};
}
bool fakeRegistryValue(Handle root, const std::string& path, const std::string& name, std::string& bytes) {
    auto key = registryValues.find(keyPath(root, path));
    if (key == registryValues.end()) return false;
    auto value = key->second.find(lower(name));
    if (value == key->second.end()) return false;
    bytes = value->second.bytes;
    return true;
}
void fakeCreateRegistryKey(Handle root, const std::string& path) { createKeys(root, path); }
void fakeDeleteRegistryTree(Handle root, const std::string& path) {
    std::string key = keyPath(root, path);
    for (auto it = registryKeys.begin(); it != registryKeys.end();) {
        if (*it == key || it->compare(0, key.size() + 1, key + "\\") == 0) {
            registryValues.erase(*it);
            keyNames.erase(*it);
            it = registryKeys.erase(it);
        } else {
            ++it;
        }
    }
}
void fakeDeleteRegistryValue(Handle root, const std::string& path, const std::string& name) {
    auto key = registryValues.find(keyPath(root, path));
    if (key != registryValues.end()) key->second.erase(lower(name));
}
FakeRegistry fakeRegistrySnapshot() {
    FakeRegistry snapshot;
    for (auto& key : registryKeys) snapshot.keys[key] = keyNames.count(key) ? keyNames[key] : key;
    for (auto& key : registryValues)
        for (auto& value : key.second)
            snapshot.values[key.first + "\n" + value.first] =
                FakeRegistryValue{snapshot.keys.count(key.first) ? snapshot.keys[key.first] : key.first, value.second.name,
                                  value.second.type, value.second.bytes};
    return snapshot;
}
bool fakeRegistryKeyExists(Handle root, const std::string& path) { return registryKeys.count(keyPath(root, path)) > 0; }
void fakeDenyRegistryRoot(Handle root) { deniedRoots.insert(root); }
void fakeMakeRegistryKeyReadOnly(Handle root, const std::string& path) { readOnlyKeys.insert(keyPath(root, path)); }
int fakeOpenKeys() { return static_cast<int>(openKeys.size()); }

void fakeSetDriveType(char letter, unsigned type) { driveTypes[letter] = type; }
void fakeAnswerBoxes(const std::vector<int>& answers) { boxAnswers = answers; }
void fakeAnswerDialogs(const std::vector<std::string>& answers) { dialogAnswers = answers; }
void fakeDialogsMoveCurrentDirectory(const std::string& path) { dialogDirectory = path; }
std::string fakeCurrentDirectory() { return currentDirectory; }
void fakeHideWindowStation() { stationHidden = true; }
void fakeShellNeedsFiles(bool on) { shellNeedsFiles = on; }
bool fakeErrorModeQuiet() { return errorModeQuiet; }
void fakeSetShellFolder(int folder, const std::string& path) { shellFolders[folder] = path; }
int fakeComBalance() { return comBalance; }
int fakeLiveComObjects() { return static_cast<int>(links.size()); }
int fakeLiveAllocations() { return static_cast<int>(allocations.size()); }
void fakeDenyShutdownPrivilege() { shutdownDenied = true; }
void fakeFail(const std::string& call, int nth) { failRules[call] = nth; }
void fakeFailCallNumber(int k) { failNumber = k; }
void fakeFailCallsFrom(int k) { failFrom = k; }

// ---- the platform ------------------------------------------------------------

std::string platformCommandLine() { return ""; }
void platformQuietErrorMode() {
    fakeCalls.push_back("platformQuietErrorMode");
    errorModeQuiet = true;
}
void platformStartErrorMode() {
    fakeCalls.push_back("platformStartErrorMode");
    errorModeQuiet = false;
}

bool processWorksInUtf8() { return utf8Process; }
unsigned activeCodePage() { return fakeActiveCodePage; }

bool isLeadByte(unsigned char byte) {
    switch (codePage) {
        case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936: case 949: case 950: return byte >= 0x81 && byte <= 0xFE;
        default: return false;
    }
}

Handle openFileForReading(const std::string& name) {
    if (failing("openFileForReading")) return 0;
    std::string full = name.empty() ? "" : absolute(name);
    auto it = entries.find(full);
    if (name.empty() || it == entries.end() || it->second.directory) {
        failed("CreateFileA", name.empty() || !isDirectory(parentOf(full)) ? 3 : it == entries.end() ? 2 : 5,
               {name, "\1GENERIC_READ", "\1OPEN_EXISTING"});
        return 0;
    }
    Handle file = newHandle();
    openFiles[file] = OpenFile{full, 0};
    return file;
}

Handle createFileForWriting(const std::string& name) {
    if (failing("createFileForWriting")) return 0;
    std::string full = name.empty() ? "" : absolute(name);
    auto it = entries.find(full);
    bool refused = it != entries.end() && (it->second.directory || it->second.readOnly);
    if (name.empty() || !isDirectory(parentOf(full)) || refused) {
        failed("CreateFileA", refused ? 5 : 3, {name, "\1GENERIC_WRITE", "\1CREATE_ALWAYS"});
        return 0;
    }
    putEntry(name, false, false, "");
    Handle file = newHandle();
    openFiles[file] = OpenFile{full, 0};
    return file;
}

long readFileBytes(Handle file, char* buffer, std::size_t size) {
    if (failing("readFileBytes")) return -1;
    OpenFile& open = openFiles.at(file);
    const std::string& bytes = entries[open.path].bytes;
    // A file truncated while open (a batch line that rewrites its own batch
    // file) reads as ended, as ReadFile does past the end.
    std::size_t count = open.position < bytes.size() ? std::min(size, bytes.size() - open.position) : 0;
    if (count) bytes.copy(buffer, count, open.position);
    open.position += count;
    return static_cast<long>(count);
}

bool writeFileBytes(Handle file, const char* bytes, std::size_t size) {
    if (failing("writeFileBytes")) return false;
    entries[openFiles.at(file).path].bytes.append(bytes, size);
    return true;
}

void closeFile(Handle file) {
    fakeCalls.push_back("closeFile");
    openFiles.erase(file);
}

bool deleteFile(const std::string& path) {
    if (failing("deleteFile")) return false;
    auto it = entries.find(absolute(path));
    if (it == entries.end() || it->second.directory || it->second.readOnly) {
        failed("DeleteFileA", it != entries.end() ? 5 : isDirectory(parentOf(absolute(path))) ? 2 : 3, {path});
        return false;
    }
    // Files are opened without FILE_SHARE_DELETE: an open file cannot be deleted.
    for (auto& open : openFiles)
        if (open.second.path == it->first) {
            failed("DeleteFileA", 32, {path});  // ERROR_SHARING_VIOLATION
            return false;
        }
    entries.erase(it);
    return true;
}

bool copyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    if (failing("copyFile")) return false;
    auto from = source.empty() ? entries.end() : entries.find(absolute(source));
    std::string to = destination.empty() ? "" : absolute(destination);
    auto existing = entries.find(to);
    unsigned long code = 0;
    if (source.empty() || from == entries.end()) code = source.empty() || !isDirectory(parentOf(absolute(source))) ? 3 : 2;
    else if (from->second.directory) code = 5;
    else if (destination.empty() || !isDirectory(parentOf(to))) code = 3;
    else if (existing != entries.end() && failIfExists) code = 80;  // ERROR_FILE_EXISTS
    else if (existing != entries.end() && (existing->second.directory || existing->second.readOnly)) code = 5;
    if (code) {
        failed("CopyFileA", code, {source, destination, failIfExists ? "\1TRUE" : "\1FALSE"});
        return false;
    }
    // CopyFileA copies the attributes: a read-only source gives a read-only copy.
    putEntry(destination, false, from->second.readOnly, from->second.bytes);
    return true;
}

bool clearReadOnly(const std::string& path) {
    if (failing("clearReadOnly")) return false;
    auto it = entries.find(absolute(path));
    if (it == entries.end()) {
        failed("GetFileAttributesA", isDirectory(parentOf(absolute(path))) ? 2 : 3, {path});
        return false;
    }
    it->second.readOnly = false;
    return true;
}

bool getCurrentDirectory(std::string& directory) {
    if (failing("getCurrentDirectory") || currentDirectory.size() >= 260) return false;
    directory = currentDirectory;
    return true;
}

bool setCurrentDirectory(const std::string& directory) {
    if (failing("setCurrentDirectory")) return false;
    if (!isDirectory(absolute(directory))) {
        failed("SetCurrentDirectoryA", isDirectory(parentOf(absolute(directory))) ? 2 : 3, {directory});
        return false;
    }
    currentDirectory = directory;
    return true;
}

bool createDirectory(const std::string& path) {
    if (failing("createDirectory")) return false;
    std::string full = path.empty() ? "" : absolute(path);
    if (path.empty() || entries.count(full) || !isDirectory(parentOf(full))) {
        failed("CreateDirectoryA", !path.empty() && entries.count(full) ? 183 : 3, {path, "\1NULL"});
        return false;
    }
    putEntry(path, true, false, "");
    return true;
}

bool removeDirectory(const std::string& path) {
    if (failing("removeDirectory")) return false;
    std::string full = path.empty() ? "" : absolute(path);
    if (path.empty() || !isDirectory(full) || full.size() <= 3) {
        failed("RemoveDirectoryA", path.empty() ? 3 : full.size() <= 3 || entries.count(full) ? 5 : isDirectory(parentOf(full)) ? 2 : 3,
               {path});
        return false;
    }
    for (auto& entry : entries)
        if (entry.first.size() > full.size() && entry.first.compare(0, full.size() + 1, full + "\\") == 0) {
            failed("RemoveDirectoryA", 145, {path});  // ERROR_DIR_NOT_EMPTY
            return false;
        }
    entries.erase(full);
    return true;
}

bool findFirstFile(const std::string& pattern) {
    if (failing("findFirstFile")) return false;
    if (pattern.empty() || pattern.back() == '\\') {
        failed("FindFirstFileA", pattern.empty() ? 3 : 2, {pattern});
        return false;
    }
    std::string full = absolute(pattern);
    std::string directory = parentOf(full);
    std::string name = full.substr(directory.size() + (directory.size() > 3 ? 1 : 0));
    if (!isDirectory(directory)) {
        failed("FindFirstFileA", 3, {pattern});
        return false;
    }
    for (auto& entry : entries) {
        if (entry.first.size() <= 3 || parentOf(entry.first) != directory) continue;
        std::string leaf = entry.first.substr(directory.size() + (directory.size() > 3 ? 1 : 0));
        if (wildcardMatch(name.c_str(), leaf.c_str())) return true;
    }
    failed("FindFirstFileA", 2, {pattern});
    return false;
}

std::string fullPathName(const std::string& name) {
    if (failing("fullPathName") || name.empty()) return name;
    if (name.size() >= 2 && name[1] == ':') return name;
    if (name[0] == '\\') return currentDirectory.substr(0, 2) + name;
    return currentDirectory + "\\" + name;
}

bool getWindowsDirectory(std::string& directory) {
    if (failing("getWindowsDirectory") || windowsDirectory.empty() || windowsDirectory.size() >= 260) return false;
    directory = windowsDirectory;
    return true;
}
bool getTempPath(std::string& directory) {
    if (failing("getTempPath") || tempDirectory.empty() || tempDirectory.size() >= 260) return false;
    directory = tempDirectory;
    return true;
}
bool getSystemDirectory(std::string& directory) {
    if (failing("getSystemDirectory") || systemDirectory.empty() || systemDirectory.size() >= 260) return false;
    directory = systemDirectory;
    return true;
}

unsigned getDriveType(const std::string& root) {
    if (failing("getDriveType") || root.empty()) return 0;
    char letter = root[0] >= 'a' && root[0] <= 'z' ? static_cast<char>(root[0] - 'a' + 'A') : root[0];
    auto it = driveTypes.find(letter);
    return it == driveTypes.end() ? 1 : it->second;
}

Handle regCreateKey(Handle root, const std::string& path) {
    if (failing("regCreateKey")) return 0;
    std::string key = keyPath(root, path);
    if (writeDenied(root, key)) {
        failed("RegCreateKeyExA", 5, {rootName(root), path, "\1KEY_ALL_ACCESS"});
        return 0;
    }
    createKeys(root, path);
    Handle handle = newHandle();
    openKeys[handle] = key;
    return handle;
}

Handle regOpenKeyForReading(Handle root, const std::string& path) {
    if (failing("regOpenKeyForReading")) return 0;
    std::string key = keyPath(root, path);
    if (key.find('\\') != std::string::npos && !registryKeys.count(key)) return 0;
    Handle handle = newHandle();
    openKeys[handle] = key;
    readingKeys.insert(handle);
    return handle;
}

void regCloseKey(Handle key) {
    fakeCalls.push_back("regCloseKey");
    openKeys.erase(key);
    readingKeys.erase(key);
}

bool regQueryValue(Handle key, const std::string& name, std::size_t bufferSize, std::string& data) {
    if (failing("regQueryValue")) return false;
    if (!openKeys.count(key)) {
        failed("RegQueryValueExA", 6, {rootName(key), name});  // ERROR_INVALID_HANDLE
        return false;
    }
    auto values = registryValues.find(openKeys[key]);
    auto value = values == registryValues.end() ? std::map<std::string, Value>::iterator() : values->second.find(lower(name));
    if (values == registryValues.end() || value == values->second.end()) {
        failed("RegQueryValueExA", 2, {rootName(key), name});
        return false;
    }
    if (value->second.bytes.size() > bufferSize) {
        failed("RegQueryValueExA", 234, {rootName(key), name});  // ERROR_MORE_DATA
        return false;
    }
    data = value->second.bytes;
    return true;
}

bool regSetStringValue(Handle key, const std::string& name, const std::string& text) {
    if (failing("regSetStringValue")) return false;
    if (!openKeys.count(key) || readingKeys.count(key)) {
        failed("RegSetValueExA", openKeys.count(key) ? 5 : 6, {rootName(key), name, "\1REG_SZ", text});
        return false;
    }
    auto& values = registryValues[openKeys[key]];
    auto existing = values.find(lower(name));
    values[lower(name)] = Value{existing == values.end() ? name : existing->second.name, 1, text + std::string(1, '\0')};
    return true;
}

bool regDeleteKey(Handle key, const std::string& name) {
    if (failing("regDeleteKey")) return false;
    if (!openKeys.count(key) || readingKeys.count(key)) {
        failed("RegDeleteKeyA", openKeys.count(key) ? 5 : 6, {rootName(key), name});
        return false;
    }
    std::string target = openKeys[key];
    std::string relative = keyPath(0, name);
    target += relative.substr(1);
    if (!registryKeys.count(target) || target.find('\\') == std::string::npos) {
        failed("RegDeleteKeyA", 2, {rootName(key), name});
        return false;
    }
    for (auto& k : registryKeys)
        if (k.size() > target.size() && k.compare(0, target.size() + 1, target + "\\") == 0) {
            failed("RegDeleteKeyA", 5, {rootName(key), name});
            return false;
        }
    registryKeys.erase(target);
    registryValues.erase(target);
    keyNames.erase(target);
    return true;
}

bool regDeleteValue(Handle key, const std::string& name) {
    if (failing("regDeleteValue")) return false;
    if (openKeys.count(key) && readingKeys.count(key)) {
        failed("RegDeleteValueA", 5, {rootName(key), name});
        return false;
    }
    if (openKeys.count(key) && registryValues[openKeys[key]].erase(lower(name)) > 0) return true;
    failed("RegDeleteValueA", openKeys.count(key) ? 2 : 6, {rootName(key), name});
    return false;
}

bool openProcessToken(Handle& token) {
    if (failing("openProcessToken")) return false;
    token = newHandle();
    return true;
}
bool lookupPrivilegeValue(const std::string&, std::uint64_t& luid) {
    luid = 19;
    return !failing("lookupPrivilegeValue");
}
unsigned long adjustTokenPrivilege(Handle, std::uint64_t) {
    if (failing("adjustTokenPrivilege")) return 5;  // ERROR_ACCESS_DENIED
    return shutdownDenied ? 1300 : 0;              // ERROR_NOT_ALL_ASSIGNED
}
void closeToken(Handle) { fakeCalls.push_back("closeToken"); }
bool exitWindowsReboot(unsigned long reason) {
    if (failing("exitWindowsReboot")) return false;
    fakeRebootStarted = true;
    fakeRebootReason = reason;
    return true;
}

int messageBox(Handle owner, const std::string& text, const std::string& caption, unsigned style) {
    if (failing("messageBox")) return 0;
    fakeBoxes.push_back(FakeBox{owner, text, caption, style, fakeCalls.size()});
    if (fakeBoxAnswerer) return fakeBoxAnswerer(fakeBoxes.back());
    if (boxAnswers.empty()) return 1;
    int answer = boxAnswers.front();
    boxAnswers.erase(boxAnswers.begin());
    return answer;
}

std::intptr_t shellExecute(Handle owner, const std::string& verb, const std::string& file, bool hasParameters,
                           const std::string& parameters) {
    if (failing("shellExecute")) return 2;
    // A name that names nothing is not found (SE_ERR_FNF); only a bare program name may be on the PATH.
    bool program = lower(file).size() > 4 && lower(file).compare(file.size() - 4, 4, ".exe") == 0;
    bool onPath = program && file.find_first_of("\\:") == std::string::npos;
    if (shellNeedsFiles && !onPath && (file.empty() || !entries.count(absolute(file)))) {
        failed("ShellExecuteA", 2, {verb, file, hasParameters ? parameters : "\1NULL"});
        return 2;
    }
    fakeShellCalls.push_back(
        FakeShellCall{owner, verb, file, hasParameters, parameters, comBalance > 0, errorModeQuiet, fakeCalls.size()});
    return 42;
}

bool windowStationVisible() {
    // A check that cannot be made tells nothing: the window counts as visible.
    return failing("windowStationVisible") || !stationHidden;
}

bool shGetFolderPath(int folder, std::string& path) {
    if (failing("shGetFolderPath")) return false;
    if (!shellFolders.count(folder)) {
        char csidl[16];
        std::snprintf(csidl, sizeof csidl, "\1CSIDL 0x%02X", folder);
        failed("SHGetFolderPathA", 0x80004005UL, {"\1NULL", csidl});  // E_FAIL
        return false;
    }
    path = shellFolders[folder];
    return true;
}

namespace {
// The next dialog answer: true with a path when chosen.
bool nextDialogAnswer(std::string& path) {
    if (fakeDialogAnswerer) return fakeDialogAnswerer(fakeDialogs.back(), path);
    if (dialogAnswers.empty()) return false;
    path = dialogAnswers.front();
    dialogAnswers.erase(dialogAnswers.begin());
    return !path.empty();
}
}  // namespace

Handle shGetMalloc() { return failing("shGetMalloc") ? 0 : 0x77; }
Handle mallocAlloc(Handle, std::size_t) {
    if (failing("mallocAlloc")) return 0;
    Handle block = newHandle();
    allocations.insert(block);
    return block;
}
void mallocFree(Handle, Handle block) {
    fakeCalls.push_back("mallocFree");
    allocations.erase(block);
}
void mallocRelease(Handle) { fakeCalls.push_back("mallocRelease"); }

Handle shBrowseForFolder(Handle owner, Handle, const std::string& title, unsigned flags) {
    if (failing("shBrowseForFolder")) return 0;
    fakeDialogs.push_back(FakeDialog{"browse", owner, title, "", "", "", flags, fakeCalls.size()});
    std::string path;
    if (!nextDialogAnswer(path)) return 0;
    if (!dialogDirectory.empty()) currentDirectory = dialogDirectory;
    Handle list = newHandle();
    itemLists[list] = path;
    allocations.insert(list);
    return list;
}

bool shGetPathFromIDList(Handle itemList, std::string& path) {
    if (failing("shGetPathFromIDList") || !itemLists.count(itemList)) return false;
    path = itemLists[itemList].substr(0, 259);
    return true;
}

namespace {
bool fileDialog(const char* kind, Handle owner, const std::string& filter, std::string& file,
                const std::string& initialDir, const std::string& title, unsigned flags) {
    fakeDialogs.push_back(FakeDialog{kind, owner, title, filter, file, initialDir, flags, fakeCalls.size()});
    std::string path;
    if (!nextDialogAnswer(path)) return false;
    file = path.substr(0, 259);
    if (!dialogDirectory.empty()) currentDirectory = dialogDirectory;
    return true;
}
}  // namespace

bool getOpenFileName(Handle owner, const std::string& filter, std::string& file, const std::string& initialDir,
                     const std::string& title, unsigned flags) {
    if (failing("getOpenFileName")) return false;
    return fileDialog("open", owner, filter, file, initialDir, title, flags);
}

bool getSaveFileName(Handle owner, const std::string& filter, std::string& file, const std::string& initialDir,
                     const std::string& title, unsigned flags) {
    if (failing("getSaveFileName")) return false;
    return fileDialog("save", owner, filter, file, initialDir, title, flags);
}

long coInitialize() {
    if (failing("coInitialize")) return static_cast<long>(0x80004005L);
    ++comBalance;
    return 0;
}
void coUninitialize() {
    fakeCalls.push_back("coUninitialize");
    --comBalance;
}

long createShellLink(Handle& link) {
    if (failing("createShellLink")) return static_cast<long>(0x80040154L);  // REGDB_E_CLASSNOTREG
    link = newHandle();
    links[link] = LinkObject{FakeShortcut{}, 1};
    return 0;
}

long queryPersistFile(Handle link, Handle& persistFile) {
    if (failing("queryPersistFile")) return static_cast<long>(0x80004002L);  // E_NOINTERFACE
    persistFile = newHandle();
    persistToLink[persistFile] = link;
    ++links[link].references;
    return 0;
}

long shellLinkSetPath(Handle link, const std::string& path) {
    if (failing("shellLinkSetPath")) return -1;
    links[link].shortcut.target = path;
    return 0;
}
long shellLinkSetArguments(Handle link, const std::string& arguments) {
    if (failing("shellLinkSetArguments")) return -1;
    links[link].shortcut.arguments = arguments;
    links[link].shortcut.hasArguments = true;
    return 0;
}
long shellLinkSetIconLocation(Handle link, const std::string& iconFile, int iconIndex) {
    if (failing("shellLinkSetIconLocation")) return -1;
    links[link].shortcut.iconFile = iconFile;
    links[link].shortcut.iconIndex = iconIndex;
    links[link].shortcut.hasIcon = true;
    return 0;
}
long shellLinkSetWorkingDirectory(Handle link, const std::string& directory) {
    if (failing("shellLinkSetWorkingDirectory")) return -1;
    links[link].shortcut.workingDirectory = directory;
    links[link].shortcut.hasWorkingDirectory = true;
    return 0;
}
long shellLinkSetDescription(Handle link, const std::string& description) {
    if (failing("shellLinkSetDescription")) return -1;
    links[link].shortcut.description = description;
    return 0;
}

bool multiByteToWide(const std::string& text, std::u16string& wide) {
    if (failing("multiByteToWide")) return false;
    wide.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (isLeadByte(c) && i + 1 < text.size()) {
            wide += static_cast<char16_t>((c << 8) | static_cast<unsigned char>(text[++i]));
        } else {
            wide += static_cast<char16_t>(c);
        }
    }
    return wide.size() + 1 <= 260;
}

long persistFileSave(Handle persistFile, const std::u16string& path) {
    if (failing("persistFileSave")) return static_cast<long>(0x80070005L);
    std::string narrow;
    for (char16_t c : path) {
        if (c > 0xFF) narrow += static_cast<char>(c >> 8);
        narrow += static_cast<char>(c & 0xFF);
    }
    std::string full = absolute(narrow);
    if (!isDirectory(parentOf(full))) {
        failed("IPersistFile::Save", 0x80070003UL, {narrow, "\1TRUE"});  // path not found
        return static_cast<long>(0x80070003L);
    }
    putEntry(narrow, false, false, "shortcut");
    FakeShortcut shortcut = links[persistToLink[persistFile]].shortcut;
    shortcut.path = full;
    fakeShortcuts[full] = shortcut;
    return 0;
}

void comRelease(Handle object) {
    fakeCalls.push_back("comRelease");
    Handle link = persistToLink.count(object) ? persistToLink[object] : object;
    persistToLink.erase(object);
    if (links.count(link) && --links[link].references == 0) links.erase(link);
}

// ---- trace -------------------------------------------------------------------

void fakeTraceOn(bool on, const std::string& file) {
    traceOn = on;
    traceFile = file.empty() ? std::string() : absolute(file);
}
bool traceEnabled() { return traceOn; }
void appendTraceLine(const std::string& line) {
    if (!traceOn) return;
    fakeTraceLines.push_back(line);
    if (traceFile.empty()) return;
    auto it = entries.find(traceFile);
    if (it == entries.end()) entries[traceFile] = Entry{false, false, line + "\r\n", std::string()};
    else if (!it->second.directory) it->second.bytes += line + "\r\n";
}
bool isTraceFile(Handle file) {
    auto open = openFiles.find(file);
    return traceOn && !traceFile.empty() && open != openFiles.end() && open->second.path == traceFile;
}
