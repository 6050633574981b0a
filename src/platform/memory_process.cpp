// The process and the machine around its files (the model of the rest of
// win32_files.cpp): the command line, the error modes, the code page, the
// current directory and GetFullPathName, Windows' own directories, drives
// and mounted volumes, named mutexes, deletions at the next restart and the
// date. The files and directories themselves are memory_files.cpp's.
#include <algorithm>

#include "platform/memory_model.h"

std::vector<std::string> fakeDeletionsAtRestart;

using namespace memory;

namespace {
unsigned codePage;
bool utf8Process;
unsigned fakeActiveCodePage;
std::string currentDirectory;
std::string windowsDirectory, tempDirectory, systemDirectory;
bool processQuiet, threadQuiet;  // the error modes
std::map<char, unsigned> driveTypes;
struct Volume {
    unsigned type;
    bool readOnly;
};
std::map<std::string, Volume> volumes;  // by folded root ending in "\"
std::map<Handle, std::string> heldMutexes;  // this process's, by handle
std::vector<std::string> mutexesHeldElsewhere;
bool restartDeletionsDenied;
int year, month, day;

char upperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

namespace memory {
unsigned ansiCodePage() { return codePage; }
std::string currentDirectoryNow() { return currentDirectory; }
void moveCurrentDirectory(const std::string& path) { currentDirectory = path; }
bool processErrorModeQuiet() { return processQuiet; }
bool threadErrorModeQuiet() { return threadQuiet; }

void modelStartUp() {
    threadQuiet = present("SetThreadErrorMode");
    processQuiet = !threadQuiet;
}

void resetProcess() {
    codePage = 1252;
    utf8Process = false;
    fakeActiveCodePage = 1252;
    currentDirectory = "C:\\work";
    windowsDirectory = "C:\\WINDOWS";
    tempDirectory = "C:\\TEMP\\";
    systemDirectory = "C:\\WINDOWS\\system32";
    modelStartUp();
    driveTypes.clear();
    driveTypes['C'] = 3;
    volumes.clear();
    heldMutexes.clear();
    mutexesHeldElsewhere.clear();
    restartDeletionsDenied = false;
    fakeDeletionsAtRestart.clear();
    year = 2024, month = 5, day = 17;
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
std::string fakeCurrentDirectory() { return currentDirectory; }
bool fakeResolveName(const std::string& name, std::string& full) {
    Resolved r = resolve(name);
    full = r.full;
    return !r.error;
}
void fakeSetDirectories(const std::string& windows, const std::string& temp, const std::string& system) {
    windowsDirectory = windows;
    tempDirectory = temp;
    systemDirectory = system;
}
bool fakeErrorModeQuiet() { return processQuiet || threadQuiet; }
void fakeSetDriveType(char letter, unsigned type) { driveTypes[letter] = type; }
void fakeSetVolume(const std::string& root, unsigned type, bool readOnly) {
    std::string full = absolute(root);
    volumes[full.size() > 3 ? full + "\\" : full] = Volume{type, readOnly};
}
void fakeHoldNamedMutex(const std::string& name) { mutexesHeldElsewhere.push_back(name); }
std::vector<std::string> fakeHeldMutexes() {
    std::vector<std::string> names;
    for (auto& held : heldMutexes) names.push_back(held.second);
    return names;
}
void fakeDenyDeletionsAtRestart() { restartDeletionsDenied = true; }
void fakeSetLocalDate(int y, int m, int d) { year = y, month = m, day = d; }

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
    if (utf8Process) return false;
    switch (codePage) {
        case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936: case 949: case 950: return byte >= 0x81 && byte <= 0xFE;
        default: return false;
    }
}

bool getCurrentDirectory(std::string& directory) {
    if (failing("getCurrentDirectory") || currentDirectory.size() >= 260) return false;
    return exactDirectory("GetCurrentDirectoryW", currentDirectory, directory);
}

bool setCurrentDirectory(const std::string& directory) {
    if (failing("setCurrentDirectory")) return false;
    // The directory is kept as named: a junction in it stays in it.
    Resolved r = resolve(directory);
    std::string key = absolute(directory);
    unsigned long code = r.error ? r.error : isDirectory(key) ? 0 : isDirectory(parentOf(key)) ? 2 : 3;
    if (code) {
        failed("SetCurrentDirectoryA", code, {directory});
        return false;
    }
    currentDirectory = r.full;
    return true;
}

std::string fullPathName(const std::string& name) {
    if (failing("fullPathName") || name.empty()) return name;
    // A "\\?\" name is taken as it stands.
    if (name.compare(0, 4, "\\\\?\\") == 0) return name;
    Resolved r = resolve(name);
    // A name too long, or one that names no drive path, is left as given;
    // GetFullPathNameA keeps a final "\".
    const unsigned long pathNotFound = 3, badNetworkPath = 53, nameTooLong = 206;
    if (r.error == nameTooLong || r.error == badNetworkPath || r.error == pathNotFound) return name;
    std::string full = r.endsInSeparator && r.full.size() > 3 ? r.full + "\\" : r.full;
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
    auto volume = volumes.find(folded(root));
    if (volume != volumes.end()) return volume->second.type;
    // Only a root is a drive's: "E:\" or "E:" (DRIVE_NO_ROOT_DIR otherwise).
    if (root.size() > 3 || root.size() < 2 || root[1] != ':') return 1;
    auto it = driveTypes.find(upperLetter(root[0]));
    return it == driveTypes.end() ? 1 : it->second;
}

bool volumePathName(const std::string& path, std::string& root) {
    if (failing("volumePathName") || !present("GetVolumePathNameA") || path.empty()) return false;
    std::string key = absolute(path);
    if (key.empty()) return false;
    // The deepest mounted folder the path lies in, else its drive's root.
    std::string full = key.size() > 3 ? key + "\\" : key;
    root = full.substr(0, 3);
    for (auto& volume : volumes)
        if (full.compare(0, volume.first.size(), volume.first) == 0 && volume.first.size() > root.size())
            root = volume.first;
    root[0] = upperLetter(root[0]);
    return true;
}

bool volumeReadOnly(const std::string& root) {
    if (failing("volumeReadOnly")) return false;
    auto volume = volumes.find(folded(root));
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
