// The simulated machine: a fresh 64-bit Windows 10 and what the options add.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "lint/lint.h"
#include "platform/memory_platform.h"
#include "sim/sim.h"

namespace fs = std::filesystem;

namespace {
const std::size_t guessBytes = 65536;  // what the kind of a file is guessed from

// Up to `limit` bytes of a host file that is a disk file (a pipe, a device
// or a link to one is never opened: it could block or never end).
bool readHostFile(const fs::path& path, std::string& bytes, std::size_t limit = static_cast<std::size_t>(-1)) {
    std::error_code code;
    if (!fs::is_regular_file(path, code)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.clear();
    char block[65536];
    while (bytes.size() < limit && in.read(block, static_cast<std::streamsize>(std::min(sizeof block, limit - bytes.size()))), in.gcount() > 0)
        bytes.append(block, static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

// A host name as the simulated ANSI calls see it: the host's names are
// Unicode (UTF-8 here); a character the code page lacks shows as "?".
std::string windowsName(const fs::path& relative) {
    std::string name;
    fakeTextFromUtf8(relative.generic_u8string(), name);
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

// Copies a host folder's tree below a Windows directory: its folders, and
// its disk files, whose bytes stay on the host until the run reads them.
// Pipes, devices and links to them are left out. Files the host cannot
// write, and every file of a CD, are read-only.
bool seedFolder(const fs::path& folder, const std::string& target, bool allReadOnly, std::string& error) {
    std::error_code code;
    if (!fs::is_directory(folder, code)) {
        error = "not a folder: " + folder.string();
        return false;
    }
    fakeAddDirectory(target);
    for (auto it = fs::recursive_directory_iterator(folder, code); !code && it != fs::recursive_directory_iterator();
         it.increment(code)) {
        std::string path = target + (target.back() == '\\' ? "" : "\\") + windowsName(fs::relative(it->path(), folder));
        std::error_code statCode;
        fs::file_status status = fs::status(it->path(), statCode);
        if (fs::is_directory(status)) {
            fakeAddDirectory(path);
        } else if (fs::is_regular_file(status)) {
            std::uintmax_t size = fs::file_size(it->path(), statCode);
            bool writable = (status.permissions() & fs::perms::owner_write) != fs::perms::none;
            fakeAddHostFile(path, it->path().string(), statCode ? 0 : size, allReadOnly || !writable);
        }
    }
    if (code) {
        error = "cannot read the folder " + folder.string() + ": " + code.message();
        return false;
    }
    return true;
}

// Applies a .reg file's changes; a value goes to the key of the [key] line before it.
void applyRegChanges(const std::vector<RegChange>& changes) {
    Handle root = 0;
    std::string path;
    for (const RegChange& change : changes) {
        switch (change.kind) {
            case RegChange::createKey:
                root = change.root;
                path = change.path;
                fakeCreateRegistryKey(root, path);
                break;
            case RegChange::deleteKey: fakeDeleteRegistryTree(change.root, change.path); break;
            case RegChange::setValue: fakeSetRegistryValue(root, path, change.name, change.bytes, change.type, change.exact); break;
            case RegChange::deleteValue: fakeDeleteRegistryValue(root, path, change.name); break;
        }
    }
}

// The Windows path of a host file inside one of the seeded drives, or "".
std::string windowsPathOf(const fs::path& file, const SimOptions& options) {
    std::error_code code;
    fs::path canonical = fs::weakly_canonical(file, code);
    for (auto* list : {&options.drives, &options.cds})
        for (auto& drive : *list) {
            fs::path root = fs::weakly_canonical(drive.second, code);
            fs::path relative = canonical.lexically_relative(root);
            if (relative.empty() || *relative.begin() == "..") continue;
            return std::string(1, drive.first) + ":\\" + windowsName(relative);
        }
    return "";
}
}  // namespace

bool seedMachine(const SimOptions& options, std::string& run, std::string& error) {
    fakeReset();
    fakeSetCodePage(options.codePage);
    // 65001 is the UTF-8 build's: hostcmd-utf8.exe on a Windows that honours its manifest.
    fakeUseUtf8(options.codePage == 65001, options.codePage);
    fakeForget("C:\\work");
    fakeShellNeedsFiles(true);

    const std::string profile = "C:\\Users\\" + options.user;
    const std::string roaming = profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
    for (const std::string& directory :
         {std::string("C:\\Windows\\system32"), std::string("C:\\Program Files"), std::string("C:\\Program Files (x86)"),
          profile + "\\AppData\\Local\\Temp", profile + "\\Desktop", profile + "\\Documents", roaming + "\\Programs\\Startup"})
        fakeAddDirectory(directory);
    fakeSetDirectories("C:\\Windows", profile + "\\AppData\\Local\\Temp\\", "C:\\Windows\\system32");
    fakeSetShellFolder(folderDesktop, profile + "\\Desktop");
    fakeSetShellFolder(folderPrograms, roaming + "\\Programs");
    fakeSetShellFolder(folderStartMenu, roaming);
    fakeSetShellFolder(folderStartup, roaming + "\\Programs\\Startup");
    // The 32-bit product on 64-bit Windows: its Program Files is the x86 one.
    fakeSetShellFolder(folderLocalAppData, profile + "\\AppData\\Local");
    fakeSetShellFolder(folderProgramFiles, "C:\\Program Files (x86)");
    fakeSetShellFolder(folderProgramFilesX86, "C:\\Program Files (x86)");
    for (Handle root : {rootLocalMachine, rootCurrentUser}) fakeCreateRegistryKey(root, "Software\\Microsoft\\Windows\\CurrentVersion");
    // Windows' list of installed programs is there on every machine; a fresh
    // user's own list is made by the first program installed for that user.
    fakeCreateRegistryKey(rootLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    fakeCreateRegistryKey(rootClassesRoot, ".txt");

    for (auto& drive : options.drives) {
        if (!seedFolder(drive.second, std::string(1, drive.first) + ":\\", false, error)) return false;
        fakeSetDriveType(drive.first, 3);
    }
    for (auto& cd : options.cds) {
        if (!seedFolder(cd.second, std::string(1, cd.first) + ":\\", true, error)) return false;
        fakeSetDriveType(cd.first, driveCdrom);
    }
    for (const std::string& file : options.registryFiles) {
        std::string bytes;
        std::vector<RegChange> changes;
        if (!readHostFile(file, bytes)) {
            error = "cannot read the registry file " + file;
            return false;
        }
        if (!parseRegFile(bytes, changes, error)) {
            error = file + ": " + error;
            return false;
        }
        applyRegChanges(changes);
    }

    std::string directory = options.currentDirectory.empty() ? profile : options.currentDirectory;
    run = options.commandLine;
    if (!options.file.empty()) {
        std::string bytes;
        if (!readHostFile(options.file, bytes, guessBytes)) {
            error = "cannot read " + options.file + " (it must be a file)";
            return false;
        }
        std::string path = windowsPathOf(options.file, options);
        if (path.empty()) {
            // A file from outside the seeded drives comes with its folder, as a
            // host ships its files beside it, to C:\setup.
            std::string folder = "C:\\setup";
            fs::path parent = fs::path(options.file).parent_path();
            if (!seedFolder(parent.empty() ? fs::path(".") : parent, folder, false, error)) return false;
            path = folder + "\\" + windowsName(fs::path(options.file).filename());
        }
        if (options.currentDirectory.empty()) directory = path.substr(0, path.rfind('\\') > 2 ? path.rfind('\\') : 3);
        FileKind kind = options.kind == "batch"       ? FileKind::batch
                        : options.kind == "check"     ? FileKind::check
                        : options.kind == "installer" ? FileKind::installer
                                                      : guessKind(options.file, bytes);
        run = (kind == FileKind::batch ? "batch" : kind == FileKind::check ? "installCheck" : options.installWord) + "&" +
              path;
    }
    if (!fakeDirectoryExists(directory)) fakeAddDirectory(directory);
    fakeSetCurrentDirectory(directory);
    // hostcmd.exe runs from beside the host's files (an installation copies
    // it as its uninstaller); one already seeded there stays as it is.
    std::string program = (directory.size() > 3 ? directory + "\\" : directory) + "hostcmd.exe";
    if (!fakeFileExists(program) && !fakeDirectoryExists(program)) fakeAddFile(program, "MZ hostcmd");
    fakeSetOwnProgramPath(program);
    return true;
}
