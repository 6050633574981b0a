// Files, directories, drives and the process (the model of win32_files.cpp).
//
// Every name a call is given is resolved as Windows resolves it (resolve
// below), and entries are found by the folded form of that path, compared
// across the code page as NTFS compares names. Every entry keeps the name it
// was created with. A file seeded from the host (fakeAddHostFile) is read
// from there only when the run reads or reports it.
#include <algorithm>
#include <cstdio>

#include "platform/memory_model.h"

using namespace memory;

namespace {
struct Entry {
    bool directory;
    bool readOnly;
    std::string bytes;
    std::string name;    // the absolute path in the case it was created with
    std::string source;  // a host file holding the bytes, not read yet ("" once they are here)
    std::uint64_t size;  // the bytes' size, also while they are still in the host file
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

const unsigned long pathNotFound = 3, nameTooLong = 206, badNetworkPath = 53;
const std::size_t maxDirectoryPath = 248;  // CreateDirectoryA leaves room for an 8.3 name

char upperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Where a directory's entries begin in their keys: the directory's key and "\".
std::string childPrefix(const std::string& key) { return key.size() > 3 ? key + "\\" : key; }

// The name a new entry gets: its parent's name as it stands, then the last
// component as given.
std::string newEntryName(const Resolved& r) {
    auto it = entries.find(parentOf(r.key));
    if (r.key.size() <= 3 || it == entries.end() || it->second.name.empty()) return r.full;
    return childPrefix(it->second.name) + r.full.substr(lastSeparator(r.full) + 1);
}

// Creates or replaces an entry, keeping the name of one that exists.
void putEntry(const Resolved& r, bool directory, bool readOnly, const std::string& bytes, const std::string& source = "",
              std::uint64_t size = 0) {
    auto it = entries.find(r.key);
    std::string name = it != entries.end() ? it->second.name : newEntryName(r);
    entries[r.key] = Entry{directory, readOnly, bytes, name, source, source.empty() ? bytes.size() : size};
}

// The bytes of a file, read from the host first where they are still there.
std::string& bytesOf(Entry& entry) {
    if (!entry.source.empty()) {
        entry.bytes.clear();
        if (std::FILE* file = std::fopen(entry.source.c_str(), "rb")) {
            char block[65536];
            for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) entry.bytes.append(block, got);
            std::fclose(file);
        }
        entry.source.clear();
        entry.size = entry.bytes.size();
    }
    return entry.bytes;
}

// Whether the name exists as a directory, the error of a call on a path
// below it otherwise.
unsigned long parentError(const Resolved& r) { return isDirectory(parentOf(r.key)) ? 2 : pathNotFound; }

// The entries directly in a directory, by key.
std::vector<std::map<std::string, Entry>::iterator> childrenOf(const std::string& directory) {
    std::vector<std::map<std::string, Entry>::iterator> children;
    std::string prefix = childPrefix(directory);
    for (auto it = entries.lower_bound(prefix); it != entries.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        if (it->first.size() > prefix.size() && parentOf(it->first) == directory) children.push_back(it);
    return children;
}

// The key of a name for the controls, which reach every entry, also one
// that the platform calls cannot name (a path of MAX_PATH or more).
std::string keyOf(const std::string& path) { return resolve(path).key; }
}  // namespace

namespace memory {
std::string absolute(const std::string& path) {
    Resolved r = resolve(path);
    return r.error ? std::string() : r.key;
}

std::string parentOf(const std::string& full) {
    if (full.size() <= 3) return "";
    std::size_t slash = lastSeparator(full);
    if (slash == std::string::npos) return "";
    return slash == 2 ? full.substr(0, 3) : full.substr(0, slash);
}

bool isDirectory(const std::string& full) {
    auto it = entries.find(full);
    return it != entries.end() && it->second.directory;
}

bool entryExists(const std::string& full) { return entries.count(full) > 0; }

void putFile(const std::string& path, const std::string& bytes) { putEntry(resolve(path), false, false, bytes); }

void appendToFile(const std::string& full, const std::string& bytes) {
    if (full.empty()) return;
    auto it = entries.find(full);
    if (it == entries.end()) entries[full] = Entry{false, false, bytes, std::string(), std::string(), bytes.size()};
    else if (!it->second.directory) {
        bytesOf(it->second) += bytes;
        it->second.size = it->second.bytes.size();
    }
}

bool fileOpenAs(Handle file, const std::string& full) {
    auto open = openFiles.find(file);
    return open != openFiles.end() && open->second.path == full;
}

std::string currentDirectoryNow() { return currentDirectory; }

void moveCurrentDirectory(const std::string& path) { currentDirectory = path; }
unsigned codePageNow() { return codePage; }

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
    entries["c:\\"] = Entry{true, false, "", "C:\\", "", 0};
    entries["c:\\work"] = Entry{true, false, "", "C:\\work", "", 0};
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
    if (path.empty()) return;
    Resolved r = resolve(path);
    std::string parent = parentOf(r.full);
    if (!parent.empty() && !entries.count(folded(parent))) fakeAddDirectory(parent);
    if (!entries.count(r.key)) putEntry(r, true, false, "");
}

void fakeAddFile(const std::string& path, const std::string& bytes, bool readOnly) {
    Resolved r = resolve(path);
    fakeAddDirectory(parentOf(r.full));
    putEntry(r, false, readOnly, bytes);
}

void fakeAddHostFile(const std::string& path, const std::string& hostFile, std::uint64_t size, bool readOnly) {
    Resolved r = resolve(path);
    fakeAddDirectory(parentOf(r.full));
    putEntry(r, false, readOnly, "", hostFile, size);
}

void fakeForget(const std::string& path) {
    std::string full = keyOf(path);
    for (auto it = entries.begin(); it != entries.end();) {
        if (it->first == full || it->first.compare(0, full.size() + 1, full + "\\") == 0) it = entries.erase(it);
        else ++it;
    }
}
void fakeSetReadOnly(const std::string& path) { entries[keyOf(path)].readOnly = true; }
bool fakeIsReadOnly(const std::string& path) {
    auto it = entries.find(keyOf(path));
    return it != entries.end() && it->second.readOnly;
}
bool fakeFileExists(const std::string& path) {
    auto it = entries.find(keyOf(path));
    return it != entries.end() && !it->second.directory;
}
bool fakeDirectoryExists(const std::string& path) { return isDirectory(keyOf(path)); }
std::string fakeFileBytes(const std::string& path) {
    auto it = entries.find(keyOf(path));
    return it == entries.end() ? std::string() : bytesOf(it->second);
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
        snapshot[entry.first] = FakeEntry{entry.second.name, entry.second.directory, entry.second.readOnly,
                                          entry.second.bytes, entry.second.source, entry.second.size};
    return snapshot;
}
void fakeSetDriveType(char letter, unsigned type) { driveTypes[letter] = type; }
std::string fakeCurrentDirectory() { return currentDirectory; }
bool fakeErrorModeQuiet() { return errorModeQuiet; }
bool fakeResolveName(const std::string& name, std::string& full) {
    Resolved r = resolve(name);
    full = r.full;
    return !r.error;
}

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
    if (utf8Process) return false;
    switch (codePage) {
        case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936: case 949: case 950: return byte >= 0x81 && byte <= 0xFE;
        default: return false;
    }
}

namespace {
// What opening a device gives: NUL opens (reads nothing, takes every write),
// the console is not there for a program without one (ERROR_INVALID_HANDLE),
// and a PC has no serial or parallel port to open (ERROR_FILE_NOT_FOUND).
unsigned long deviceOpenError(const std::string& device) {
    return device == "NUL" ? 0 : device.compare(0, 3, "CON") == 0 ? 6 : 2;
}
const unsigned long invalidParameter = 87;

// The error of a file call on a resolved name: the name's own, or that of
// the directory it lies in.
unsigned long fileNameError(const Resolved& r) {
    if (r.error) return r.error;
    if (r.endsInSeparator) return isDirectory(r.key) ? 5 : pathNotFound;
    return 0;
}
}  // namespace

Handle openFileForReading(const std::string& name) {
    if (failing("openFileForReading")) return 0;
    Resolved r = resolve(name);
    if (!r.device.empty()) {
        // NUL opens, and is then refused as no disk file (FILE_TYPE_CHAR).
        unsigned long code = deviceOpenError(r.device);
        if (code) failed("CreateFileA", code, {name, "\1GENERIC_READ", "\1OPEN_EXISTING"});
        else failed("GetFileType", 2, {name});
        return 0;
    }
    auto it = entries.find(r.key);
    unsigned long code = fileNameError(r);
    if (!code && (it == entries.end() || it->second.directory)) code = it != entries.end() ? 5 : parentError(r);
    if (code) {
        failed("CreateFileA", code, {name, "\1GENERIC_READ", "\1OPEN_EXISTING"});
        return 0;
    }
    Handle file = newHandle();
    openFiles[file] = OpenFile{r.key, 0};
    return file;
}

Handle createFileForWriting(const std::string& name) {
    if (failing("createFileForWriting")) return 0;
    Resolved r = resolve(name);
    if (!r.device.empty()) {
        unsigned long code = deviceOpenError(r.device);
        if (code) {
            failed("CreateFileA", code, {name, "\1GENERIC_WRITE", "\1CREATE_ALWAYS"});
            return 0;
        }
        Handle file = newHandle();
        openFiles[file] = OpenFile{"", 0};  // writes to NUL go nowhere
        return file;
    }
    auto it = entries.find(r.key);
    unsigned long code = fileNameError(r);
    if (!code && !isDirectory(parentOf(r.key))) code = pathNotFound;
    if (!code && it != entries.end() && (it->second.directory || it->second.readOnly)) code = 5;
    if (code) {
        failed("CreateFileA", code, {name, "\1GENERIC_WRITE", "\1CREATE_ALWAYS"});
        return 0;
    }
    putEntry(r, false, false, "");
    Handle file = newHandle();
    openFiles[file] = OpenFile{r.key, 0};
    return file;
}

long readFileBytes(Handle file, char* buffer, std::size_t size) {
    if (failing("readFileBytes")) return -1;
    OpenFile& open = openFiles.at(file);
    Entry& entry = entries[open.path];
    // A file truncated while open (a batch line that rewrites its own batch
    // file) reads as ended, as ReadFile does past the end.
    std::size_t count = open.position < entry.size ? static_cast<std::size_t>(std::min<std::uint64_t>(size, entry.size - open.position)) : 0;
    if (count && !entry.source.empty()) {
        // A host file is read where the run reads it, and no further.
        std::FILE* host = std::fopen(entry.source.c_str(), "rb");
        bool read = host && std::fseek(host, static_cast<long>(open.position), SEEK_SET) == 0 &&
                    std::fread(buffer, 1, count, host) == count;
        if (host) std::fclose(host);
        if (!read) return -1;
    } else if (count) {
        entry.bytes.copy(buffer, count, open.position);
    }
    open.position += count;
    return static_cast<long>(count);
}

bool writeFileBytes(Handle file, const char* bytes, std::size_t size) {
    if (failing("writeFileBytes")) return false;
    if (openFiles.at(file).path.empty()) return true;
    Entry& entry = entries[openFiles.at(file).path];
    bytesOf(entry).append(bytes, size);
    entry.size = entry.bytes.size();
    return true;
}

void closeFile(Handle file) {
    fakeCalls.push_back("closeFile");
    openFiles.erase(file);
}

bool deleteFile(const std::string& path) {
    if (failing("deleteFile")) return false;
    Resolved r = resolve(path);
    auto it = entries.find(r.key);
    unsigned long code = !r.device.empty() ? invalidParameter : fileNameError(r);
    if (!code && (it == entries.end() || it->second.directory || it->second.readOnly)) code = it != entries.end() ? 5 : parentError(r);
    // Files are opened without FILE_SHARE_DELETE: an open file cannot be deleted.
    for (auto& open : openFiles)
        if (!code && open.second.path == r.key) code = 32;  // ERROR_SHARING_VIOLATION
    if (code) {
        failed("DeleteFileA", code, {path});
        return false;
    }
    entries.erase(it);
    return true;
}

bool copyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    if (failing("copyFile")) return false;
    Resolved from = resolve(source), to = resolve(destination);
    auto original = entries.find(from.key);
    auto existing = entries.find(to.key);
    unsigned long code = !from.device.empty() ? invalidParameter : fileNameError(from);
    if (!code && !to.device.empty()) {
        code = deviceOpenError(to.device);
        if (!code && original == entries.end()) code = parentError(from);
        else if (!code && original->second.directory) code = 5;
        if (!code) return true;  // a copy to NUL succeeds and keeps nothing
    }
    if (!code && original == entries.end()) code = parentError(from);
    else if (!code && original->second.directory) code = 5;
    if (!code) code = fileNameError(to);
    if (!code && !isDirectory(parentOf(to.key))) code = pathNotFound;
    else if (!code && existing != entries.end() && failIfExists) code = 80;  // ERROR_FILE_EXISTS
    else if (!code && existing != entries.end() && (existing->second.directory || existing->second.readOnly)) code = 5;
    // A copy onto its own source: the destination cannot be opened for
    // writing while the source is open for reading (ERROR_SHARING_VIOLATION).
    else if (!code && existing == original) code = 32;
    if (code) {
        failed("CopyFileA", code, {source, destination, failIfExists ? "\1TRUE" : "\1FALSE"});
        return false;
    }
    // CopyFileA copies the attributes: a read-only source gives a read-only copy.
    const Entry copied = original->second;
    putEntry(to, false, copied.readOnly, copied.bytes, copied.source, copied.size);
    return true;
}

bool clearReadOnly(const std::string& path) {
    if (failing("clearReadOnly")) return false;
    Resolved r = resolve(path);
    auto it = entries.find(r.key);
    unsigned long code = r.error ? r.error : it == entries.end() ? parentError(r) : 0;
    if (code) {
        failed("GetFileAttributesA", code, {path});
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
    Resolved r = resolve(directory);
    unsigned long code = r.error ? r.error : !isDirectory(r.key) ? parentError(r) : 0;
    if (code) {
        failed("SetCurrentDirectoryA", code, {directory});
        return false;
    }
    currentDirectory = r.full;
    return true;
}

bool createDirectory(const std::string& path) {
    if (failing("createDirectory")) return false;
    Resolved r = resolve(path);
    if (!r.device.empty()) return true;  // the device takes it, and nothing is made
    unsigned long code = r.error;
    if (!code && wideLength(r.full) >= maxDirectoryPath && path.compare(0, 4, "\\\\?\\") != 0) code = nameTooLong;
    if (!code && entries.count(r.key)) code = 183;  // ERROR_ALREADY_EXISTS
    if (!code && !isDirectory(parentOf(r.key))) code = pathNotFound;
    if (code) {
        failed("CreateDirectoryA", code, {path, "\1NULL"});
        return false;
    }
    putEntry(r, true, false, "");
    return true;
}

bool removeDirectory(const std::string& path) {
    if (failing("removeDirectory")) return false;
    Resolved r = resolve(path);
    unsigned long code = !r.device.empty() ? 6 : r.error;
    if (!code && (r.key.size() <= 3 || !isDirectory(r.key))) code = r.key.size() <= 3 || entries.count(r.key) ? 5 : parentError(r);
    if (!code && !childrenOf(r.key).empty()) code = 145;  // ERROR_DIR_NOT_EMPTY
    if (code) {
        failed("RemoveDirectoryA", code, {path});
        return false;
    }
    entries.erase(r.key);
    return true;
}

bool findFirstFile(const std::string& pattern) {
    if (failing("findFirstFile")) return false;
    Resolved r = resolve(pattern, true);
    if (!r.device.empty()) return true;  // FindFirstFile finds a device in every folder
    unsigned long code = r.error;
    // "dir\" names no entry in it: FindFirstFile finds nothing.
    if (!code && (r.endsInSeparator || r.key.size() <= 3)) code = 2;
    std::string directory = parentOf(r.key);
    if (!code && !isDirectory(directory)) code = pathNotFound;
    if (!code) {
        std::string mask = r.full.substr(lastSeparator(r.full) + 1);
        // A pattern is matched as written, trailing dots and all; a plain name as resolved.
        if (hasWildcard(mask)) {
            std::size_t start = pattern.size();
            while (start > 0 && !isSeparator(pattern[start - 1]) && pattern[start - 1] != ':') --start;
            for (auto child : childrenOf(directory)) {
                std::string leaf = child->second.name.substr(lastSeparator(child->second.name) + 1);
                std::string shortName = shortNameOf(leaf);
                if (patternMatches(pattern.substr(start), leaf) || (!shortName.empty() && patternMatches(pattern.substr(start), shortName)))
                    return true;
            }
        } else if (entries.count(r.key)) {
            return true;
        }
        code = 2;
    }
    failed("FindFirstFileA", code, {pattern});
    return false;
}

std::string fullPathName(const std::string& name) {
    if (failing("fullPathName") || name.empty()) return name;
    Resolved r = resolve(name);
    if (r.error == nameTooLong || r.error == badNetworkPath || r.error == pathNotFound) return name;
    return r.endsInSeparator && r.full.size() > 3 ? r.full + "\\" : r.full;
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
    char letter = upperLetter(root[0]);
    auto it = driveTypes.find(letter);
    return it == driveTypes.end() ? 1 : it->second;
}
