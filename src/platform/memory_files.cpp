// Files, directories, drives and the process (the model of win32_files.cpp).
//
// Paths are compared without regard to ASCII case; relative names are taken
// against the current directory. Every entry keeps the name it was created
// with.
#include <algorithm>

#include "platform/memory_model.h"

std::vector<std::string> fakeDeletionsAtRestart;

using namespace memory;

namespace {
struct Entry {
    bool directory;
    bool readOnly;
    std::string bytes;
    std::string name;  // the absolute path in the case it was created with
    unsigned long index = 0;         // the file's number on its drive; a rename keeps it
    unsigned long hiddenSystem = 0;  // fileHidden and fileSystem
    std::uint64_t written = 0;  // its last-write time: a clock that every write moves on
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
std::map<Handle, std::string> heldMutexes;        // this process's, by handle
std::vector<std::string> mutexesHeldElsewhere;
std::map<char, unsigned> driveTypes;
struct Volume {
    unsigned type;
    bool readOnly;
};
std::map<std::string, Volume> volumes;  // by lower-case root ending in "\"
bool processQuiet, threadQuiet;         // the error modes

// "\\?\C:\x" names what "C:\x" names.
bool longDrivePath(const std::string& path) {
    return path.size() >= 7 && path.compare(0, 4, "\\\\?\\") == 0 && path[5] == ':' && path[6] == '\\';
}
std::map<char, std::size_t> driveCapacities;  // bytes the files of a drive may hold; none: no limit
unsigned long nextIndex;

std::uint64_t writeClock;
std::map<std::string, std::string> links;  // junction (lower-case absolute) -> its target, as given
std::string runningImage;                  // the running program's file (lower-case absolute)
std::string ownProgram;
bool restartDeletionsDenied;
int year, month, day;
int tempNumber;

// The absolute form of a path as given, without a trailing "\" (but "C:\"),
// "." and ".." resolved as GetFullPathNameA resolves them.
std::string givenAbsolute(const std::string& given) {
    std::string path = longDrivePath(given) ? given.substr(4) : given;
    std::string full;
    if (path.size() >= 2 && path[1] == ':') full = path;
    else if (!path.empty() && path[0] == '\\') full = currentDirectory.substr(0, 2) + path;
    else full = currentDirectory + "\\" + path;
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 2; i <= full.size(); ++i) {
        if (i == full.size() || full[i] == '\\' || full[i] == '/') {
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
            continue;
        }
        part += full[i];
        if (isLeadByte(static_cast<unsigned char>(full[i])) && i + 1 < full.size()) part += full[++i];
    }
    std::string resolved = full.substr(0, 2) + "\\";
    for (std::size_t i = 0; i < parts.size(); ++i) resolved += (i ? "\\" : "") + parts[i];
    if (resolved[0] >= 'a' && resolved[0] <= 'z') resolved[0] = static_cast<char>(resolved[0] - 'a' + 'A');
    return resolved;
}

// A name below a junction is a name below its target (the junction itself stays itself).
std::string absoluteAsGiven(const std::string& path) {
    std::string full = givenAbsolute(path);
    for (int hops = 0; hops < 8; ++hops) {
        std::string key = lower(full);
        bool moved = false;
        for (auto& link : links)
            if (key.size() > link.first.size() && key.compare(0, link.first.size() + 1, link.first + "\\") == 0) {
                full = givenAbsolute(link.second + full.substr(link.first.size()));
                moved = true;
                break;
            }
        if (!moved) break;
    }
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

// Creates or replaces an entry, keeping the name and the index of one that exists.
void putEntry(const std::string& path, bool directory, bool readOnly, const std::string& bytes) {
    std::string full = lower(absoluteAsGiven(path));
    auto it = entries.find(full);
    std::string name = it != entries.end() ? it->second.name : newEntryName(path);
    unsigned long index = it != entries.end() ? it->second.index : ++nextIndex;
    entries[full] = Entry{directory, readOnly, bytes, name};
    entries[full].index = index;
    entries[full].written = ++writeClock;
}

// The entry a name opens, or entries.end(). This one function decides which
// names reach one file: today those whose absolute() forms are equal (ASCII
// case aside); whatever else Windows resolves to one file ("a.txt.",
// "sub\..\a.txt") it must resolve too.
std::map<std::string, Entry>::iterator entryReached(const std::string& name) {
    return name.empty() ? entries.end() : entries.find(absolute(name));
}

// How many more bytes the files of the drive of an absolute path may hold.
std::size_t roomOnDrive(const std::string& full) {
    char letter = full.empty() ? 0 : static_cast<char>(full[0] - 'a' + 'A');
    auto capacity = driveCapacities.find(letter);
    if (capacity == driveCapacities.end()) return static_cast<std::size_t>(-1);
    std::size_t used = 0;
    for (auto& entry : entries)
        if (entry.first[0] == full[0]) used += entry.second.bytes.size();
    return used < capacity->second ? capacity->second - used : 0;
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
std::string absoluteName(const std::string& path) { return givenAbsolute(path); }

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
    if (it == entries.end()) {
        entries[full] = Entry{false, false, bytes, std::string()};
        entries[full].written = ++writeClock;
    } else if (!it->second.directory) {
        it->second.bytes += bytes;
        it->second.written = ++writeClock;
    }
}

bool fileOpenAs(Handle file, const std::string& full) {
    auto open = openFiles.find(file);
    return open != openFiles.end() && open->second.path == full;
}

std::string currentDirectoryNow() { return currentDirectory; }
unsigned ansiCodePage() { return codePage; }
void moveCurrentDirectory(const std::string& path) { currentDirectory = path; }

void modelStartUp() {
    threadQuiet = present("SetThreadErrorMode");
    processQuiet = !threadQuiet;
}

void resetFiles() {
    entries.clear();
    openFiles.clear();
    driveTypes.clear();
    volumes.clear();
    modelStartUp();
    driveCapacities.clear();
    nextIndex = 0;
    codePage = 1252;
    utf8Process = false;
    fakeActiveCodePage = 1252;
    currentDirectory = "C:\\work";
    windowsDirectory = "C:\\WINDOWS";
    tempDirectory = "C:\\TEMP\\";
    systemDirectory = "C:\\WINDOWS\\system32";
    heldMutexes.clear();
    mutexesHeldElsewhere.clear();
    entries["c:\\"] = Entry{true, false, "", "C:\\"};
    entries["c:\\work"] = Entry{true, false, "", "C:\\work"};
    driveTypes['C'] = 3;
    writeClock = 0;
    links.clear();
    ownProgram = "C:\\work\\hostcmd.exe";
    runningImage = lower(ownProgram);
    restartDeletionsDenied = false;
    fakeDeletionsAtRestart.clear();
    year = 2024, month = 5, day = 17;
    tempNumber = 0;
}
}  // namespace memory

// ---- controls ------------------------------------------------------------------

void fakeHoldNamedMutex(const std::string& name) { mutexesHeldElsewhere.push_back(name); }
std::vector<std::string> fakeHeldMutexes() {
    std::vector<std::string> names;
    for (auto& held : heldMutexes) names.push_back(held.second);
    return names;
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
void fakeSetDriveType(char letter, unsigned type) { driveTypes[letter] = type; }
void fakeSetVolume(const std::string& root, unsigned type, bool readOnly) {
    std::string full = absolute(root);
    volumes[full.size() > 3 ? full + "\\" : full] = Volume{type, readOnly};
}

void fakeSetDriveCapacity(char letter, std::size_t bytes) { driveCapacities[letter] = bytes; }
void fakeSetAttributes(const std::string& path, unsigned long attributes) {
    Entry& entry = entries[absolute(path)];
    entry.readOnly = (attributes & fileReadOnly) != 0;
    entry.hiddenSystem = attributes & (fileHidden | fileSystem);
}
unsigned long fakeAttributes(const std::string& path) {
    auto it = entries.find(absolute(path));
    if (it == entries.end()) return 0;
    return (it->second.readOnly ? fileReadOnly : 0) | it->second.hiddenSystem;
}
void fakeAddJunction(const std::string& path, const std::string& target) {
    std::string full = absolute(path);
    fakeForget(path);
    fakeAddDirectory(parentOf(givenAbsolute(path)));
    putEntry(path, true, false, "");
    links[full] = givenAbsolute(target);
}
void fakeSetOwnProgramPath(const std::string& path) {
    ownProgram = path;
    runningImage = absolute(path);
}
std::string fakeRunningImage() { return runningImage; }
void fakeDenyDeletionsAtRestart() { restartDeletionsDenied = true; }
void fakeSetLocalDate(int y, int m, int d) { year = y, month = m, day = d; }
std::string fakeCurrentDirectory() { return currentDirectory; }
bool fakeErrorModeQuiet() { return processQuiet || threadQuiet; }

namespace memory {
bool processErrorModeQuiet() { return processQuiet; }
bool threadErrorModeQuiet() { return threadQuiet; }
}  // namespace memory

// ---- the platform ------------------------------------------------------------

bool platformCommandLine(std::string& line) {
    line.clear();
    return true;
}
bool quietThreadErrorMode() {
    if (failing("quietThreadErrorMode") || !present("SetThreadErrorMode")) return false;
    threadQuiet = true;
    return true;
}
void platformQuietErrorMode() {
    fakeCalls.push_back("platformQuietErrorMode");
    processQuiet = true;
}
void platformStartErrorMode() {
    fakeCalls.push_back("platformStartErrorMode");
    processQuiet = false;
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
    bool existed = it != entries.end();
    putEntry(name, false, false, "");
    Handle file = newHandle();
    openFiles[file] = OpenFile{full, 0};
    reportChange(changeFile, !existed, 0, name);
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
    Entry& entry = entries[openFiles.at(file).path];
    entry.written = ++writeClock;
    // A full drive takes what fits, as WriteFile does, and fails.
    std::size_t room = roomOnDrive(openFiles.at(file).path);
    entry.bytes.append(bytes, std::min(size, room));
    if (size <= room) return true;
    failed("WriteFile", 112, {"\1handle"});  // ERROR_DISK_FULL
    return false;
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
    // A running program's file cannot be deleted (only renamed).
    if (it->first == runningImage) {
        failed("DeleteFileA", 5, {path});
        return false;
    }
    entries.erase(it);
    return true;
}

unsigned long copyToNewFile(const std::string& source, const std::string& destination) {
    if (failing("copyToNewFile")) return 5;
    auto from = entryReached(source);
    std::string to = destination.empty() ? "" : absolute(destination);
    unsigned long code = 0;
    if (from == entries.end()) code = source.empty() || !isDirectory(parentOf(absolute(source))) ? 3 : 2;
    else if (from->second.directory) code = 5;
    else if (destination.empty() || !isDirectory(parentOf(to))) code = 3;
    else if (entryReached(destination) != entries.end()) code = 80;  // ERROR_FILE_EXISTS
    if (!code) {
        // CopyFileA copies the attributes: a read-only source gives a
        // read-only copy. A full drive keeps the part that fitted, as Wine does.
        Entry copied = from->second;
        std::size_t room = roomOnDrive(to);
        putEntry(destination, false, copied.readOnly, copied.bytes.substr(0, std::min(room, copied.bytes.size())));
        entries[to].hiddenSystem = copied.hiddenSystem;
        if (room < copied.bytes.size()) code = 112;  // ERROR_DISK_FULL
    }
    if (code) failed("CopyFileA", code, {source, destination, "\1TRUE"});
    return code;
}

Handle createNewFile(const std::string& name, unsigned long& error) {
    if (failing("createNewFile")) {
        error = 5;
        return 0;
    }
    std::string full = name.empty() ? "" : absolute(name);
    error = name.empty() || !isDirectory(parentOf(full)) ? 3 : entryReached(name) != entries.end() ? 80 : 0;
    if (error) {
        failed("CreateFileA", error, {name, "\1GENERIC_WRITE", "\1CREATE_NEW"});
        return 0;
    }
    putEntry(name, false, false, "");
    Handle file = newHandle();
    openFiles[file] = OpenFile{full, 0};
    return file;
}

bool putFileInPlace(const std::string& from, const std::string& to, bool replaceExisting) {
    if (failing("putFileInPlace")) return false;
    auto moving = entryReached(from);
    auto existing = entryReached(to);
    std::string target = to.empty() ? "" : absolute(to);
    auto open = [](const std::string& full) {
        for (auto& file : openFiles)
            if (file.second.path == full) return true;
        return false;
    };
    unsigned long code = 0;
    if (moving == entries.end()) code = 2;
    else if (to.empty() || !isDirectory(parentOf(target))) code = 3;
    else if (target[0] != moving->first[0]) code = 17;  // ERROR_NOT_SAME_DEVICE
    else if (existing != entries.end() && !replaceExisting) code = 183;  // ERROR_ALREADY_EXISTS
    else if (existing != entries.end() && (existing->second.directory || existing->second.readOnly)) code = 5;
    else if (open(moving->first) || (existing != entries.end() && open(existing->first))) code = 32;
    if (code) {
        failed("MoveFileExA", code, {from, to, replaceExisting ? "\1MOVEFILE_REPLACE_EXISTING" : "\10"});
        return false;
    }
    bool existed = existing != entries.end();
    Entry moved = moving->second;
    if (runningImage == moving->first) runningImage = target;  // a running program can be renamed
    entries.erase(moving);
    if (existed && existing->first != target) entries.erase(existing);
    moved.name = newEntryName(to);
    entries[target] = moved;
    reportChange(changeFile, !existed, 0, to);
    return true;
}

bool fileIdentity(const std::string& name, FileIdentity& identity) {
    if (failing("fileIdentity")) return false;
    auto it = entryReached(name);
    if (it == entries.end() || it->second.directory) return false;
    identity.attributes = (it->second.readOnly ? fileReadOnly : 0) | it->second.hiddenSystem;
    identity.volume = static_cast<unsigned char>(it->first[0]);
    identity.indexHigh = 0;
    identity.indexLow = it->second.index;
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
    reportChange(changeDirectory, true, 0, path);
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
    // A junction goes as the link it is, whatever its target holds.
    entries.erase(full);
    links.erase(full);
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
    // A "\\?\" name is taken as it stands.
    if (name.compare(0, 4, "\\\\?\\") == 0) return name;
    std::string full = givenAbsolute(name);
    // GetFullPathNameA keeps a final "\".
    if (name.back() == '\\' && full.size() > 3) full += "\\";
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
    auto volume = volumes.find(lower(root));
    if (volume != volumes.end()) return volume->second.type;
    // Only a root is a drive's: "E:\" or "E:" (DRIVE_NO_ROOT_DIR otherwise).
    if (root.size() > 3 || root.size() < 2 || root[1] != ':') return 1;
    char letter = root[0] >= 'a' && root[0] <= 'z' ? static_cast<char>(root[0] - 'a' + 'A') : root[0];
    auto it = driveTypes.find(letter);
    return it == driveTypes.end() ? 1 : it->second;
}

bool volumePathName(const std::string& path, std::string& root) {
    if (failing("volumePathName") || !present("GetVolumePathNameA") || path.empty()) return false;
    // The deepest mounted folder the path lies in, else its drive's root.
    std::string full = absolute(path) + "\\";
    root = full.substr(0, 3);
    for (auto& volume : volumes)
        if (full.compare(0, volume.first.size(), volume.first) == 0 && volume.first.size() > root.size())
            root = volume.first;
    if (root[0] >= 'a' && root[0] <= 'z') root[0] = static_cast<char>(root[0] - 'a' + 'A');
    return true;
}

bool volumeReadOnly(const std::string& root) {
    if (failing("volumeReadOnly")) return false;
    auto volume = volumes.find(lower(root));
    return volume != volumes.end() && volume->second.readOnly;
}

// Names are compared byte for byte: hostcmd makes them, always the same way.
bool claimNamedMutex(const std::string& name, Handle& mutex) {
    if (failing("claimNamedMutex")) {
        mutex = 0;  // none could be made: the caller goes on without one
        return true;
    }
    bool exists = std::find(mutexesHeldElsewhere.begin(), mutexesHeldElsewhere.end(), name) != mutexesHeldElsewhere.end();
    for (auto& held : heldMutexes) exists = exists || held.second == name;
    if (exists) return false;
    mutex = newHandle();
    heldMutexes[mutex] = name;
    return true;
}

void releaseNamedMutex(Handle mutex) {
    fakeCalls.push_back("releaseNamedMutex");
    heldMutexes.erase(mutex);
}

bool fileFacts(const std::string& name, FileFacts& facts) {
    if (failing("fileFacts")) return false;
    auto it = name.empty() ? entries.end() : entries.find(absolute(name));
    if (it == entries.end()) {
        failed("GetFileAttributesExA", name.empty() || !isDirectory(parentOf(absolute(name))) ? 3 : 2, {name});
        return false;
    }
    facts.directory = it->second.directory;
    facts.reparsePoint = links.count(it->first) > 0;
    facts.readOnly = it->second.readOnly;
    facts.size = it->second.directory ? 0 : it->second.bytes.size();
    facts.lastWritten = it->second.written;
    return true;
}

bool ownProgramPath(std::string& path) {
    if (failing("ownProgramPath")) return false;
    return exactDirectory("GetModuleFileNameW", ownProgram, path, {"\1NULL"});
}

bool getTempFileName(const std::string& directory, const std::string& prefix, std::string& path) {
    if (failing("getTempFileName")) return false;
    if (!isDirectory(absolute(directory))) {
        failed("GetTempFileNameA", 267, {directory, prefix});  // ERROR_DIRECTORY
        return false;
    }
    std::string name;
    do {
        name = givenAbsolute(directory) + "\\" + prefix.substr(0, 3) + std::to_string(++tempNumber) + ".tmp";
    } while (entries.count(lower(name)));
    putEntry(name, false, false, "");
    path = name;
    return true;
}

bool deleteAtRestart(const std::string& path) {
    if (failing("deleteAtRestart")) return false;
    if (restartDeletionsDenied) {
        failed("MoveFileExA", 5, {path, "\1NULL", "\1MOVEFILE_DELAY_UNTIL_REBOOT"});
        return false;
    }
    fakeDeletionsAtRestart.push_back(path);
    return true;
}

void localDate(int& y, int& m, int& d) {
    fakeCalls.push_back("localDate");
    y = year, m = month, d = day;
}
