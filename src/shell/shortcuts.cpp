#include "app/text.h"
#include "registry/registry.h"
#include "shell/shell.h"

namespace {
// Where Explorer records the per-user folders (HKCU), for old programs only:
// the key may be missing, or name a folder from before a redirection or a
// move to OneDrive. Read only where the shell cannot be asked at all.
const char* const shellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The value names and shell folder ids of icon folders 0 to 3; any other
// number is the desktop.
const char* shellFolderName(int folderNumber) {
    switch (folderNumber) {
        case 1: return "Programs";
        case 2: return "Start Menu";
        case 3: return "Startup";
        default: return "Desktop";
    }
}
int shellFolderId(int folderNumber) {
    switch (folderNumber) {
        case 1: return folderPrograms;
        case 2: return folderStartMenu;
        case 3: return folderStartup;
        default: return folderDesktop;
    }
}

// Failure code for a shortcut path that does not fit 260 wide characters:
// HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE).
const long pathTooLong = static_cast<long>(0x800700CEL);


// The path of "deleteIcon"/"deleteIconDir", or false when the folder number
// is not a decimal whole number (the command then touches nothing).
bool iconItemPath(const std::string& arguments, std::string& path) {
    std::string numberText, relativePath;
    splitField(arguments, numberText, relativePath);
    int folderNumber = 0;
    if (!parseDecimal(numberText, folderNumber)) return false;
    // An empty path would name the icon folder itself ("deleteIconDir&3&"
    // would remove the Startup folder): nothing is deleted.
    if (!namesItemBelow(relativePath)) return false;
    std::string folder = iconFolderPath(folderNumber);
    // No folder recorded (or the read failed): there is nothing to delete, and
    // a relative "na\..." in the current directory is not the user's folder.
    if (folder == notAvailable) return false;
    path = folder + "\\" + relativePath;
    return true;
}
}  // namespace

// The shell makes a folder the user has not got yet (CSIDL_FLAG_CREATE;
// without it the answer would be S_FALSE, a failure). Only where shell32
// cannot be bound is the folder taken from what Explorer recorded in the
// registry: the key is opened for reading (never created), read once and
// closed again.
std::string iconFolderPath(int folderNumber) {
    std::string path;
    if (shellFolderCallBound())
        return shGetFolderPath(shellFolderId(folderNumber) | folderCreate, path) ? path : std::string(notAvailable);
    Handle key = openRegistryKeyForReading("HKCU", shellFoldersKey);
    path = readRegistryValue(key, shellFolderName(folderNumber));
    closeRegistryKey(key);
    return path;
}

bool comFailed(long result) {
    // The severity bit. Tested as a bit, not by sign, since a long is wider
    // than an HRESULT outside 32-bit Windows.
    return (static_cast<unsigned long>(result) & 0x80000000UL) != 0;
}

void makeIcon(Handle, int folderNumber, const std::string& arguments) {
    std::string rest = arguments;
    std::string fields[11];
    for (int i = 1; i <= 9; ++i) fields[i] = takeField(rest);
    fields[10] = rest;

    // An icon index that is not a decimal whole number cannot be stored in a
    // shortcut: the command ends before it creates or reads anything.
    int iconIndex = 0;
    if (!parseDecimal(fields[6], iconIndex)) return;

    std::string folder = iconFolderPath(folderNumber);
    // Without the folder's path the shortcut would go below a relative "na"
    // directory, wherever the process happens to stand: make none.
    if (folder == notAvailable) return;
    if (fields[8] != notGiven) {
        // An existing sub-folder is fine, and a failure shows later as an unsaved shortcut.
        folder += "\\" + fields[8];
        createDirectory(folder);
        if (fields[9] != notGiven) {
            folder += "\\" + fields[9];
            createDirectory(folder);
        }
    }
    writeShellLink(fields[2] + fields[3], folder + "\\" + fields[1], fields[4], fields[10], fields[5], iconIndex,
                   fields[7]);
}

long writeShellLink(const std::string& target, const std::string& shortcutPath, const std::string& description,
                    const std::string& arguments, const std::string& iconFile, int iconIndex,
                    const std::string& workingDirectory) {
    // COM is held only for this one shortcut. A CoInitialize that failed must
    // not be balanced by CoUninitialize, and nothing could be created anyway;
    // but RPC_E_CHANGED_MODE means the thread is in the multithreaded
    // apartment already (a library that was loaded into the process first),
    // where the shell link object works as well.
    long result = coInitialize();
    bool initialised = !comFailed(result);
    if (!initialised && result != comChangedMode) return result;
    Handle link = 0;
    result = createShellLink(link);
    if (!comFailed(result)) {
        Handle persistFile = 0;
        result = queryPersistFile(link, persistFile);
        if (!comFailed(result)) {
            // The setters' answers are not examined: Save tells whether a shortcut came about.
            shellLinkSetPath(link, target);
            if (arguments != notGiven) shellLinkSetArguments(link, arguments);
            if (iconFile != notGiven) shellLinkSetIconLocation(link, iconFile, iconIndex);
            if (workingDirectory != notGiven) shellLinkSetWorkingDirectory(link, workingDirectory);
            shellLinkSetDescription(link, description);
            // A path that does not fit 260 wide characters would be saved
            // under a cut-off name somewhere else: no shortcut at all instead.
            std::u16string widePath;
            result = multiByteToWide(shortcutPath, widePath) ? persistFileSave(persistFile, widePath) : pathTooLong;
            comRelease(persistFile);
        }
        comRelease(link);
    }
    // Every successful CoInitialize (S_FALSE included) is balanced.
    if (initialised) coUninitialize();
    return result;
}

void commandStartIcon(Handle instance, const std::string&, const std::string& arguments) { makeIcon(instance, 2, arguments); }
void commandDeskIcon(Handle instance, const std::string&, const std::string& arguments) { makeIcon(instance, 0, arguments); }
void commandStartUpIcon(Handle instance, const std::string&, const std::string& arguments) { makeIcon(instance, 3, arguments); }
void commandProgramIcon(Handle instance, const std::string&, const std::string& arguments) { makeIcon(instance, 1, arguments); }

void commandDeleteIcon(Handle, const std::string&, const std::string& arguments) {
    std::string path;
    if (iconItemPath(arguments, path)) deleteFile(path);
}

void commandDeleteIconDir(Handle, const std::string&, const std::string& arguments) {
    std::string path;
    if (iconItemPath(arguments, path)) removeDirectory(path);
}
