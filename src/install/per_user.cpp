// Installations for the current user only: the user's own programs folder,
// and the base directory an installer file gives moved there from Program
// Files, where a user who is no administrator may not write.
#include "app/text.h"
#include "install/install.h"
#include "install/journal.h"

namespace {
// When `path` is `folder` or lies below it (whole components, ASCII case
// ignored, a double-byte character whole and exact), the rest of the path
// after the folder: empty, or starting with its "\".
bool restBelow(const std::string& path, const std::string& folder, std::string& rest) {
    std::string base = folder;
    if (endsWithBackslash(base)) base.erase(lastCharacterStart(base));
    if (base.empty() || !nameWithin(path, base)) return false;
    rest = path.substr(base.size());
    return true;
}
}  // namespace

bool userProgramsFolder(std::string& folder) {
    std::string local;
    if (!shGetFolderPath(folderLocalAppData, local)) return false;
    folder = withTrailingBackslash(local) + "Programs";
    return true;
}

bool perUserBaseDirectory(const std::string& base, std::string& moved) {
    // %PROG% is always "C:\Program Files"; the folders the shell names are
    // this build's Program Files and, on 64-bit Windows, the 32-bit one.
    std::string folders[3] = {"C:\\Program Files"};
    shGetFolderPath(folderProgramFiles, folders[1]);
    shGetFolderPath(folderProgramFilesX86, folders[2]);
    for (const std::string& folder : folders) {
        std::string rest;
        if (folder.empty() || !restBelow(base, folder, rest)) continue;
        std::string programs;
        if (!userProgramsFolder(programs)) return false;
        moved = programs + rest;
        return true;
    }
    moved = base;
    return true;
}

void makeUserBaseDirectory(const std::string& targetBase) {
    std::string programs, rest;
    if (!userProgramsFolder(programs) || !restBelow(targetBase, programs, rest)) return;
    // The local application-data folder exists for every user; Programs, and
    // a vendor's folder moved from Program Files, need not. Each level that
    // exists already, or cannot be made, is left to the directory chain.
    std::string path = programs;
    createDirectory(path);
    for (std::size_t slash = findText(rest, "\\", 1); slash != std::string::npos; slash = findText(rest, "\\", slash + 1)) {
        path = programs + rest.substr(0, slash);
        createDirectory(path);
    }
}
