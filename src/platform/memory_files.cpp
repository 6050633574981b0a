// Files, directories, drives and the process (the model of win32_files.cpp).
//
// Paths are compared without regard to ASCII case; relative names are taken
// against the current directory. Every entry keeps the name it was created
// with.
#include <algorithm>

#include "platform/memory_model.h"

using namespace memory;

namespace {
struct Entry {
    bool directory;
    bool readOnly;
    std::string bytes;
    std::string name;  // the absolute path in the case it was created with
};
struct OpenFile {
    std::string path;
    std::size_t position;
};

std::map<std::string, Entry> entries;
std::map<Handle, OpenFile> openFiles;
std::string currentDirectory;
unsigned codePage;
bool utf8Process;
unsigned fakeActiveCodePage;
std::string windowsDirectory, tempDirectory, systemDirectory;
std::map<char, unsigned> driveTypes;
bool errorModeQuiet;
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
    std::string full = lower(absoluteAsGiven(path));
    auto it = entries.find(full);
    std::string name = it != entries.end() ? it->second.name : newEntryName(path);
    entries[full] = Entry{directory, readOnly, bytes, name};
}

bool wildcardMatch(const char* pattern, const char* name) {
    if (!*pattern) return !*name;
    if (*pattern == '*') return wildcardMatch(pattern + 1, name) || (*name && wildcardMatch(pattern, name + 1));
    if (!*name) return false;
    return (*pattern == '?' || *pattern == *name) && wildcardMatch(pattern + 1, name + 1);
}
}  // namespace

namespace memory {
std::string absolute(const std::string& path) { return lower(absoluteAsGiven(path)); }

std::string parentOf(const std::string& full) {
    std::size_t slash = full.rfind('\\');
    if (slash == std::string::npos || full.size() <= 3) return "";
    return slash == 2 ? full.substr(0, 3) : full.substr(0, slash);
}

bool isDirectory(const std::string& full) {
    auto it = entries.find(full);
    return it != entries.end() && it->second.directory;
}

bool entryExists(const std::string& full) { return entries.count(full) > 0; }

void putFile(const std::string& path, const std::string& bytes) { putEntry(path, false, false, bytes); }

void appendToFile(const std::string& full, const std::string& bytes) {
    auto it = entries.find(full);
    if (it == entries.end()) entries[full] = Entry{false, false, bytes, std::string()};
    else if (!it->second.directory) it->second.bytes += bytes;
}

bool fileOpenAs(Handle file, const std::string& full) {
    auto open = openFiles.find(file);
    return open != openFiles.end() && open->second.path == full;
}

std::string currentDirectoryNow() { return currentDirectory; }
unsigned ansiCodePage() { return codePage; }
void moveCurrentDirectory(const std::string& path) { currentDirectory = path; }

void resetFiles() {
    entries.clear();
    openFiles.clear();
    driveTypes.clear();
    errorModeQuiet = true;
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
}  // namespace memory

// ---- controls ------------------------------------------------------------------

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
void fakeSetDriveType(char letter, unsigned type) { driveTypes[letter] = type; }
std::string fakeCurrentDirectory() { return currentDirectory; }
bool fakeErrorModeQuiet() { return errorModeQuiet; }

// ---- the platform ------------------------------------------------------------

bool platformCommandLine(std::string& line) {
    line.clear();
    return true;
}
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
bool textsAreUtf8() { return utf8Process || codePage == 65001; }

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
    return exactDirectory("GetCurrentDirectoryW", currentDirectory, directory);
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
    std::string full = name[0] == '\\' ? currentDirectory.substr(0, 2) + name : currentDirectory + "\\" + name;
    std::string exact;
    return exactAnswer("GetFullPathNameW", full, exact, {name}) ? exact : name;
}

bool getWindowsDirectory(std::string& directory) {
    if (failing("getWindowsDirectory") || windowsDirectory.empty() || windowsDirectory.size() >= 260) return false;
    return exactDirectory("GetWindowsDirectoryW", windowsDirectory, directory);
}
bool getTempPath(std::string& directory) {
    if (failing("getTempPath") || tempDirectory.empty() || tempDirectory.size() >= 260) return false;
    return exactDirectory("GetTempPathW", tempDirectory, directory);
}
bool getSystemDirectory(std::string& directory) {
    if (failing("getSystemDirectory") || systemDirectory.empty() || systemDirectory.size() >= 260) return false;
    return exactDirectory("GetSystemDirectoryW", systemDirectory, directory);
}

unsigned getDriveType(const std::string& root) {
    if (failing("getDriveType") || root.empty()) return 0;
    char letter = root[0] >= 'a' && root[0] <= 'z' ? static_cast<char>(root[0] - 'a' + 'A') : root[0];
    auto it = driveTypes.find(letter);
    return it == driveTypes.end() ? 1 : it->second;
}
