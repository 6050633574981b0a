// Files and directories (the model of win32_files.cpp's file calls; the
// process around them is memory_process.cpp's).
//
// Every name a call is given is resolved as Windows resolves it (resolve,
// memory_names.cpp), then below a junction as the same name below its
// target, and entries are found by the folded form of that path, compared
// across the code page as NTFS compares names. Every entry keeps the name it
// was created with, its index on its drive and its last-write time. A file
// seeded from the host (fakeAddHostFile) is read from there only when the run
// reads or reports it.
#include <algorithm>
#include <cstdio>

#include "platform/memory_model.h"

using namespace memory;

namespace {
struct Entry {
    bool directory;
    bool readOnly;
    std::string bytes;
    std::string name;                // the absolute path in the case it was created with
    std::string source;              // a host file holding the bytes, not read yet ("" once they are here)
    std::uint64_t size = 0;          // the bytes' size, also while they are still in the host file
    unsigned long index = 0;         // the file's number on its drive; a rename keeps it
    unsigned long hiddenSystem = 0;  // fileHidden and fileSystem
    std::uint64_t written = 0;       // its last-write time: a clock that every write moves on
};
struct OpenFile {
    std::string path;
    std::size_t position;
};

std::map<std::string, Entry> entries;
std::map<Handle, OpenFile> openFiles;
std::map<char, std::size_t> driveCapacities;  // bytes the files of a drive may hold; none: no limit
unsigned long nextIndex;
std::uint64_t writeClock;
std::map<std::string, std::string> links;  // junction (its key) -> its target's absolute path
std::string runningImage;                  // the running program's file (its key)
std::string ownProgram;
int tempNumber;

const unsigned long pathNotFound = 3, accessDenied = 5, invalidParameter = 87;
const unsigned long sharingViolation = 32, fileExists = 80, alreadyExists = 183, nameTooLong = 206;
const std::size_t maxDirectoryPath = 248;  // CreateDirectoryA leaves room for an 8.3 name

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Where a directory's entries begin in their keys: the directory's key and "\".
std::string childPrefix(const std::string& key) { return key.size() > 3 ? key + "\\" : key; }

// A name as Windows takes it (resolve), and below a junction the same name
// below the junction's target; the junction itself stays itself.
Resolved reach(const std::string& name, bool wildcardsInLastName = false) {
    Resolved r = resolve(name, wildcardsInLastName);
    for (int hops = 0; hops < 8 && !r.error && r.device.empty(); ++hops) {
        auto link = std::find_if(links.begin(), links.end(), [&r](const std::pair<const std::string, std::string>& l) {
            return r.key.size() > l.first.size() && r.key.compare(0, l.first.size() + 1, l.first + "\\") == 0;
        });
        if (link == links.end()) break;
        r.full = childPrefix(link->second) + r.full.substr(link->first.size() + 1);
        r.key = folded(r.full);
    }
    return r;
}

// The key of a name for the controls, which reach every entry, also one
// that the platform calls cannot name (a path of MAX_PATH or more).
std::string keyOf(const std::string& path) { return reach(path).key; }

// The name a new entry gets: its parent's name as it stands, then the last
// component as given.
std::string newEntryName(const Resolved& r) {
    auto it = entries.find(parentOf(r.key));
    if (r.key.size() <= 3 || it == entries.end() || it->second.name.empty()) return r.full;
    return childPrefix(it->second.name) + r.full.substr(lastSeparator(r.full) + 1);
}

// Creates or replaces an entry, keeping the name and the index of one that exists.
void putEntry(const Resolved& r, bool directory, bool readOnly, const std::string& bytes, const std::string& source = "",
              std::uint64_t size = 0) {
    auto it = entries.find(r.key);
    Entry entry{directory, readOnly, bytes, it != entries.end() ? it->second.name : newEntryName(r), source};
    entry.size = source.empty() ? bytes.size() : size;
    entry.index = it != entries.end() ? it->second.index : ++nextIndex;
    entry.written = ++writeClock;
    entries[r.key] = entry;
}

// The bytes of a host file ("" when it cannot be read).
std::string hostBytes(const std::string& source) {
    std::string bytes;
    if (std::FILE* file = std::fopen(source.c_str(), "rb")) {
        char block[65536];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, got);
        std::fclose(file);
    }
    return bytes;
}

// The bytes of a file, read from the host first where they are still there.
std::string& bytesOf(Entry& entry) {
    if (!entry.source.empty()) {
        entry.bytes = hostBytes(entry.source);
        entry.source.clear();
        entry.size = entry.bytes.size();
    }
    return entry.bytes;
}

// The error of a call on a path whose entry is missing: 2 when its directory
// exists, 3 otherwise.
unsigned long parentError(const Resolved& r) { return isDirectory(parentOf(r.key)) ? 2 : pathNotFound; }

// The error of a file call on a resolved name: the name's own, or that of
// the directory it lies in.
unsigned long fileNameError(const Resolved& r) {
    if (r.error) return r.error;
    if (r.endsInSeparator) return isDirectory(r.key) ? accessDenied : pathNotFound;
    return 0;
}

// What opening a device gives: NUL opens (reads nothing, takes every write),
// the console is not there for a program without one (ERROR_INVALID_HANDLE),
// and a PC has no serial or parallel port to open (ERROR_FILE_NOT_FOUND).
unsigned long deviceOpenError(const std::string& device) {
    return device == "NUL" ? 0 : device.compare(0, 3, "CON") == 0 ? 6 : 2;
}

// The entry a name opens as a file, or entries.end(). This one function
// decides which names reach one file: those Windows resolves to it (another
// case across the code page, trailing dots and blanks, "." and "..", "/",
// a name below a junction); a device's name or a name ending in "\" opens none.
std::map<std::string, Entry>::iterator entryReached(const Resolved& r) {
    return r.device.empty() && !fileNameError(r) ? entries.find(r.key) : entries.end();
}

bool openNow(const std::string& key) {
    for (auto& file : openFiles)
        if (file.second.path == key) return true;
    return false;
}

// How many more bytes the files of the drive of a key may hold.
std::size_t roomOnDrive(const std::string& key) {
    char letter = key.empty() ? 0 : static_cast<char>(key[0] - 'a' + 'A');
    auto capacity = driveCapacities.find(letter);
    if (capacity == driveCapacities.end()) return static_cast<std::size_t>(-1);
    std::uint64_t used = 0;
    for (auto& entry : entries)
        if (entry.first[0] == key[0]) used += entry.second.size;
    return used < capacity->second ? static_cast<std::size_t>(capacity->second - used) : 0;
}

// The entries directly in a directory, by key.
std::vector<std::map<std::string, Entry>::iterator> childrenOf(const std::string& directory) {
    std::vector<std::map<std::string, Entry>::iterator> children;
    std::string prefix = childPrefix(directory);
    for (auto it = entries.lower_bound(prefix); it != entries.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        if (it->first.size() > prefix.size() && parentOf(it->first) == directory) children.push_back(it);
    return children;
}
}  // namespace

namespace memory {
std::string absolute(const std::string& path) {
    Resolved r = reach(path);
    return r.error ? std::string() : r.key;
}
std::string absoluteName(const std::string& path) { return resolve(path).full; }

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

void putFile(const std::string& path, const std::string& bytes) { putEntry(reach(path), false, false, bytes); }

void appendToFile(const std::string& full, const std::string& bytes) {
    if (full.empty()) return;
    auto it = entries.find(full);
    if (it == entries.end()) {
        Entry& entry = entries[full] = Entry{false, false, bytes, std::string(), std::string()};
        entry.size = bytes.size();
        entry.index = ++nextIndex;
        entry.written = ++writeClock;
    } else if (!it->second.directory) {
        bytesOf(it->second) += bytes;
        it->second.size = it->second.bytes.size();
        it->second.written = ++writeClock;
    }
}

bool fileOpenAs(Handle file, const std::string& full) {
    auto open = openFiles.find(file);
    return open != openFiles.end() && open->second.path == full;
}

void resetFiles() {
    entries.clear();
    openFiles.clear();
    driveCapacities.clear();
    nextIndex = 0;
    writeClock = 0;
    links.clear();
    Entry root{true, false, "", "C:\\", ""}, work{true, false, "", "C:\\work", ""};
    root.index = ++nextIndex;
    work.index = ++nextIndex;
    entries["c:\\"] = root;
    entries["c:\\work"] = work;
    ownProgram = "C:\\work\\hostcmd.exe";
    runningImage = folded(ownProgram);
    tempNumber = 0;
}
}  // namespace memory

// ---- controls ------------------------------------------------------------------

void fakeAddDirectory(const std::string& path) {
    if (path.empty()) return;
    Resolved r = reach(path);
    std::string parent = parentOf(r.full);
    if (!parent.empty() && !entries.count(folded(parent))) fakeAddDirectory(parent);
    if (!entries.count(r.key)) putEntry(r, true, false, "");
}

void fakeAddFile(const std::string& path, const std::string& bytes, bool readOnly) {
    Resolved r = reach(path);
    fakeAddDirectory(parentOf(r.full));
    putEntry(r, false, readOnly, bytes);
}

void fakeAddHostFile(const std::string& path, const std::string& hostFile, std::uint64_t size, bool readOnly) {
    Resolved r = reach(path);
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

std::string fakeEntryBytes(const FakeEntry& entry) { return entry.source.empty() ? entry.bytes : hostBytes(entry.source); }
void fakeSetDriveCapacity(char letter, std::size_t bytes) { driveCapacities[letter] = bytes; }
void fakeSetAttributes(const std::string& path, unsigned long attributes) {
    Entry& entry = entries[keyOf(path)];
    entry.readOnly = (attributes & fileReadOnly) != 0;
    entry.hiddenSystem = attributes & (fileHidden | fileSystem);
}
unsigned long fakeAttributes(const std::string& path) {
    auto it = entries.find(keyOf(path));
    if (it == entries.end()) return 0;
    return (it->second.readOnly ? fileReadOnly : 0) | it->second.hiddenSystem;
}
void fakeAddJunction(const std::string& path, const std::string& target) {
    Resolved r = reach(path);
    fakeForget(path);
    fakeAddDirectory(parentOf(r.full));
    putEntry(r, true, false, "");
    links[r.key] = reach(target).full;
}
void fakeSetOwnProgramPath(const std::string& path) {
    ownProgram = path;
    runningImage = keyOf(path);
}
std::string fakeRunningImage() { return runningImage; }

// ---- the platform ------------------------------------------------------------

Handle openFileForReading(const std::string& name) {
    if (failing("openFileForReading")) return 0;
    Resolved r = reach(name);
    if (!r.device.empty()) {
        // NUL opens, and is then refused as no disk file (FILE_TYPE_CHAR).
        unsigned long code = deviceOpenError(r.device);
        if (code) failed("CreateFileA", code, {name, "\1GENERIC_READ", "\1OPEN_EXISTING"});
        else failed("GetFileType", 2, {name});
        return 0;
    }
    auto it = entries.find(r.key);
    unsigned long code = fileNameError(r);
    if (!code && (it == entries.end() || it->second.directory)) code = it != entries.end() ? accessDenied : parentError(r);
    if (code) {
        failed("CreateFileA", code, {name, "\1GENERIC_READ", "\1OPEN_EXISTING"});
        return 0;
    }
    Handle file = newHandle();
    openFiles[file] = OpenFile{r.key, 0};
    return file;
}

namespace {
// CreateFileA(GENERIC_WRITE) with CREATE_ALWAYS or CREATE_NEW: a handle on
// the new or emptied file, or 0 with the error.
Handle createForWriting(const std::string& name, bool onlyNew, unsigned long& code) {
    const char* disposition = onlyNew ? "\1CREATE_NEW" : "\1CREATE_ALWAYS";
    Resolved r = reach(name);
    if (!r.device.empty()) {
        code = deviceOpenError(r.device);
        if (code) {
            failed("CreateFileA", code, {name, "\1GENERIC_WRITE", disposition});
            return 0;
        }
        Handle file = newHandle();
        openFiles[file] = OpenFile{"", 0};  // writes to NUL go nowhere
        return file;
    }
    auto it = entries.find(r.key);
    bool existed = it != entries.end();
    code = fileNameError(r);
    if (!code && !isDirectory(parentOf(r.key))) code = pathNotFound;
    if (!code && existed && onlyNew) code = fileExists;
    if (!code && existed && (it->second.directory || it->second.readOnly)) code = accessDenied;
    if (code) {
        failed("CreateFileA", code, {name, "\1GENERIC_WRITE", disposition});
        return 0;
    }
    putEntry(r, false, false, "");
    Handle file = newHandle();
    openFiles[file] = OpenFile{r.key, 0};
    if (!onlyNew) reportChange(changeFile, !existed, 0, name);
    return file;
}
}  // namespace

Handle createFileForWriting(const std::string& name) {
    if (failing("createFileForWriting")) return 0;
    unsigned long code = 0;
    return createForWriting(name, false, code);
}

Handle createNewFile(const std::string& name, unsigned long& error) {
    if (failing("createNewFile")) {
        error = accessDenied;
        return 0;
    }
    error = 0;
    return createForWriting(name, true, error);
}

long readFileBytes(Handle file, char* buffer, std::size_t size) {
    if (failing("readFileBytes")) return -1;
    OpenFile& open = openFiles.at(file);
    if (open.path.empty()) return 0;  // NUL reads as ended
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
    const std::string path = openFiles.at(file).path;
    if (path.empty()) return true;
    Entry& entry = entries[path];
    entry.written = ++writeClock;
    // A full drive takes what fits, as WriteFile does, and fails.
    std::size_t room = roomOnDrive(path);
    bytesOf(entry).append(bytes, std::min(size, room));
    entry.size = entry.bytes.size();
    if (size <= room) return true;
    failed("WriteFile", 112, {"\1handle"});  // ERROR_DISK_FULL
    return false;
}

// Nothing is cached here: a flush only fails when it is told to.
bool flushFileBuffers(Handle file) {
    if (failing("flushFileBuffers")) return false;
    return openFiles.count(file) != 0;
}

void closeFile(Handle file) {
    fakeCalls.push_back("closeFile");
    openFiles.erase(file);
}

bool deleteFile(const std::string& path) {
    if (failing("deleteFile")) return false;
    Resolved r = reach(path);
    auto it = entries.find(r.key);
    unsigned long code = !r.device.empty() ? invalidParameter : fileNameError(r);
    if (!code && (it == entries.end() || it->second.directory || it->second.readOnly))
        code = it != entries.end() ? accessDenied : parentError(r);
    // Files are opened without FILE_SHARE_DELETE: an open file cannot be
    // deleted; nor can a running program's file (it can only be renamed).
    if (!code && openNow(r.key)) code = sharingViolation;
    if (!code && r.key == runningImage) code = accessDenied;
    if (code) {
        failed("DeleteFileA", code, {path});
        return false;
    }
    entries.erase(it);
    return true;
}

unsigned long copyToNewFile(const std::string& source, const std::string& destination) {
    if (failing("copyToNewFile")) return accessDenied;
    Resolved from = reach(source), to = reach(destination);
    auto original = entries.find(from.key);
    unsigned long code = !from.device.empty() ? invalidParameter : fileNameError(from);
    if (!code && original == entries.end()) code = parentError(from);
    else if (!code && original->second.directory) code = accessDenied;
    // A copy to NUL succeeds and keeps nothing.
    if (!code && !to.device.empty()) code = deviceOpenError(to.device);
    else if (!code) code = fileNameError(to);
    if (!code && to.device.empty()) {
        if (!isDirectory(parentOf(to.key))) code = pathNotFound;
        else if (entries.count(to.key)) code = fileExists;  // also the source itself: TRUE keeps every file there
    }
    if (!code && to.device.empty()) {
        // CopyFileA copies the attributes: a read-only source gives a
        // read-only copy. A full drive keeps the part that fitted, as Wine does.
        Entry& copied = original->second;
        std::size_t room = roomOnDrive(to.key);
        if (room >= copied.size) {
            putEntry(to, false, copied.readOnly, copied.bytes, copied.source, copied.size);
        } else {
            putEntry(to, false, copied.readOnly, bytesOf(copied).substr(0, room));
            code = 112;  // ERROR_DISK_FULL
        }
        entries[to.key].hiddenSystem = copied.hiddenSystem;
    }
    if (code) failed("CopyFileA", code, {source, destination, "\1TRUE"});
    return code;
}

bool putFileInPlace(const std::string& from, const std::string& to, bool replaceExisting) {
    if (failing("putFileInPlace")) return false;
    Resolved source = reach(from), target = reach(to);
    auto moving = entryReached(source);
    auto existing = entryReached(target);
    bool other = existing != entries.end() && existing != moving;
    unsigned long code;
    if (moving == entries.end()) code = source.error ? source.error : !source.device.empty() ? invalidParameter : parentError(source);
    // A device is no name on the file's volume (ERROR_BAD_DEV_TYPE, measured under Wine).
    else if (!target.device.empty()) code = 66;
    else code = fileNameError(target);
    if (!code && !isDirectory(parentOf(target.key))) code = pathNotFound;
    else if (!code && target.key[0] != moving->first[0]) code = 17;  // ERROR_NOT_SAME_DEVICE
    // A rename onto a name of the file itself only gives it that spelling.
    else if (!code && other && !replaceExisting) code = alreadyExists;
    else if (!code && other && (existing->second.directory || existing->second.readOnly)) code = accessDenied;
    else if (!code && (openNow(moving->first) || (other && openNow(existing->first)))) code = sharingViolation;
    if (code) {
        failed("MoveFileExA", code, {from, to, replaceExisting ? "\1MOVEFILE_REPLACE_EXISTING" : "\10"});
        return false;
    }
    bool existed = existing != entries.end();
    Entry moved = moving->second;
    if (runningImage == moving->first) runningImage = target.key;  // a running program can be renamed
    if (other) entries.erase(existing);
    entries.erase(moving);
    moved.name = newEntryName(target);
    entries[target.key] = moved;
    reportChange(changeFile, !existed, 0, to);
    return true;
}

bool fileIdentity(const std::string& name, FileIdentity& identity) {
    if (failing("fileIdentity")) return false;
    auto it = entryReached(reach(name));
    if (it == entries.end() || it->second.directory) return false;
    identity.attributes = (it->second.readOnly ? fileReadOnly : 0) | it->second.hiddenSystem;
    identity.volume = static_cast<unsigned char>(it->first[0]);
    identity.indexHigh = 0;
    identity.indexLow = it->second.index;
    return true;
}

bool clearReadOnly(const std::string& path) {
    if (failing("clearReadOnly")) return false;
    Resolved r = reach(path);
    auto it = entries.find(r.key);
    unsigned long code = r.error ? r.error : it == entries.end() ? parentError(r) : 0;
    if (code) {
        failed("GetFileAttributesA", code, {path});
        return false;
    }
    it->second.readOnly = false;
    return true;
}

bool createDirectory(const std::string& path) {
    if (failing("createDirectory")) return false;
    Resolved r = reach(path);
    if (!r.device.empty()) return true;  // the device takes it, and nothing is made
    unsigned long code = r.error;
    if (!code && wideLength(r.full) >= maxDirectoryPath && path.compare(0, 4, "\\\\?\\") != 0) code = nameTooLong;
    if (!code && entries.count(r.key)) code = alreadyExists;
    if (!code && !isDirectory(parentOf(r.key))) code = pathNotFound;
    if (code) {
        failed("CreateDirectoryA", code, {path, "\1NULL"});
        return false;
    }
    putEntry(r, true, false, "");
    reportChange(changeDirectory, true, 0, path);
    return true;
}

bool removeDirectory(const std::string& path) {
    if (failing("removeDirectory")) return false;
    Resolved r = reach(path);
    unsigned long code = !r.device.empty() ? 6 : r.error;
    if (!code && (r.key.size() <= 3 || !isDirectory(r.key)))
        code = r.key.size() <= 3 || entries.count(r.key) ? accessDenied : parentError(r);
    if (!code && !childrenOf(r.key).empty()) code = 145;  // ERROR_DIR_NOT_EMPTY
    if (code) {
        failed("RemoveDirectoryA", code, {path});
        return false;
    }
    // A junction goes as the link it is, whatever its target holds.
    entries.erase(r.key);
    links.erase(r.key);
    return true;
}

bool findFirstFile(const std::string& pattern) {
    if (failing("findFirstFile")) return false;
    Resolved r = reach(pattern, true);
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

bool fileFacts(const std::string& name, FileFacts& facts) {
    if (failing("fileFacts")) return false;
    // A junction is answered about itself: only the names below it are followed.
    Resolved r = reach(name);
    auto it = entries.find(r.key);
    unsigned long code = r.error;
    if (!code && it == entries.end()) code = parentError(r);
    if (!code && r.endsInSeparator && !it->second.directory) code = pathNotFound;
    if (code) {
        failed("GetFileAttributesExA", code, {name});
        return false;
    }
    facts.directory = it->second.directory;
    facts.reparsePoint = links.count(it->first) > 0;
    facts.readOnly = it->second.readOnly;
    facts.size = it->second.directory ? 0 : it->second.size;
    facts.lastWritten = it->second.written;
    return true;
}

bool ownProgramPath(std::string& path) {
    if (failing("ownProgramPath")) return false;
    return exactDirectory("GetModuleFileNameW", ownProgram, path, {"\1NULL"});
}

bool getTempFileName(const std::string& directory, const std::string& prefix, std::string& path) {
    if (failing("getTempFileName")) return false;
    Resolved folder = reach(directory);
    if (folder.error || !isDirectory(folder.key)) {
        failed("GetTempFileNameA", 267, {directory, prefix});  // ERROR_DIRECTORY
        return false;
    }
    std::string name;
    do {
        name = childPrefix(resolve(directory).full) + prefix.substr(0, 3) + std::to_string(++tempNumber) + ".tmp";
    } while (entries.count(keyOf(name)));
    putEntry(reach(name), false, false, "");
    path = name;
    return true;
}
