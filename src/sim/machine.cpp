// The simulated machine: a fresh 64-bit Windows 10 and what the options add.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "lint/lint.h"
#include "platform/memory_platform.h"
#include "sim/sim.h"

namespace fs = std::filesystem;

namespace {
bool readHostFile(const fs::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Copies a host folder's tree below a Windows directory. Files the host
// cannot write, and every file of a CD, are read-only.
bool seedFolder(const fs::path& folder, const std::string& target, bool allReadOnly, std::string& error) {
    std::error_code code;
    if (!fs::is_directory(folder, code)) {
        error = "not a folder: " + folder.string();
        return false;
    }
    fakeAddDirectory(target);
    for (auto it = fs::recursive_directory_iterator(folder, code); !code && it != fs::recursive_directory_iterator();
         it.increment(code)) {
        std::string relative = fs::relative(it->path(), folder).generic_string();
        for (char& c : relative)
            if (c == '/') c = '\\';
        std::string path = target + (target.back() == '\\' ? "" : "\\") + relative;
        if (it->is_directory()) {
            fakeAddDirectory(path);
        } else {
            std::string bytes;
            if (!readHostFile(it->path(), bytes)) {
                error = "cannot read " + it->path().string();
                return false;
            }
            bool writable = (fs::status(it->path()).permissions() & fs::perms::owner_write) != fs::perms::none;
            fakeAddFile(path, bytes, allReadOnly || !writable);
        }
    }
    if (code) {
        error = "cannot read the folder " + folder.string() + ": " + code.message();
        return false;
    }
    return true;
}

void applyRegChange(const RegChange& change) {
    switch (change.kind) {
        case RegChange::createKey: fakeCreateRegistryKey(change.root, change.path); break;
        case RegChange::deleteKey: fakeDeleteRegistryTree(change.root, change.path); break;
        case RegChange::setValue: fakeSetRegistryValue(change.root, change.path, change.name, change.bytes, change.type); break;
        case RegChange::deleteValue: fakeDeleteRegistryValue(change.root, change.path, change.name); break;
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
            std::string path = std::string(1, drive.first) + ":\\" + relative.generic_string();
            for (char& c : path)
                if (c == '/') c = '\\';
            return path;
        }
    return "";
}
}  // namespace

bool seedMachine(const SimOptions& options, std::string& run, std::string& error) {
    fakeReset();
    fakeSetCodePage(options.codePage);
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
        for (const RegChange& change : changes) applyRegChange(change);
    }

    std::string directory = options.currentDirectory.empty() ? profile : options.currentDirectory;
    run = options.commandLine;
    if (!options.file.empty()) {
        std::string bytes;
        if (!readHostFile(options.file, bytes)) {
            error = "cannot read " + options.file;
            return false;
        }
        std::string path = windowsPathOf(options.file, options);
        if (path.empty()) {
            // A file from outside the seeded drives comes with its folder, as a
            // host ships its files beside it, to C:\setup.
            std::string folder = "C:\\setup";
            fs::path parent = fs::path(options.file).parent_path();
            if (!seedFolder(parent.empty() ? fs::path(".") : parent, folder, false, error)) return false;
            path = folder + "\\" + fs::path(options.file).filename().string();
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
