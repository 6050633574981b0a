// The removal engine of "uninstall": each journaled item, newest first, goes
// only when it is still what the installation left, and only inside the
// installation, whatever the journal says.
//
// - Files go only when their size and last-write time are still those the
//   installation left; a file the user changed stays.
// - Directories go only when empty: what the user added keeps them.
// - Keys go only when they hold no sub-key and no value (the journaled
//   values and sub-keys, newer, went first); values only when their data are
//   still the installation's.
// - Files and directories go only inside an installed directory of the
//   journal, or below one of the user's four shortcut folders; a directory
//   also when an installed directory lies below it (the chain the installer
//   made). An installed directory that is a drive root, the Windows directory,
//   lies below it or above it, or above a shortcut folder, counts for nothing.
// - No reparse point (junction, symbolic link, mount point) is followed: an
//   item is left when any directory on its way from its installed directory
//   (or shortcut folder, or a directory the installation made) is one, and a
//   journaled directory that has become one stays.
// - A per-user journal (in HKCU, which its user can change) removes registry
//   items only below HKCU.
// Names are compared as Windows compares them: full paths, "." and ".."
// resolved, without regard to case, whole components.
#include "install/uninstall.h"

#include "app/text.h"
#include "install/journal.h"
#include "registry/registry.h"
#include "shell/shell.h"

void keepItem(RemovalOutcome& outcome, const std::string& shown, const char* why) {
    outcome.kept.push_back(shown);
    if (traceEnabled()) appendTraceLine("uninstall keeps " + shown + ": " + why);
}

void failItem(RemovalOutcome& outcome, const std::string& shown, const char* why) {
    outcome.failed.push_back(shown);
    if (traceEnabled()) appendTraceLine("uninstall could not remove " + shown + ": " + why);
}

namespace {
// A drive root (C:\) or a share's (\\server\share).
bool isRoot(const std::string& name) {
    if (name.size() <= 3) return true;
    if (name.compare(0, 2, "\\\\") != 0) return false;
    std::size_t server = findText(name, "\\", 2);
    return server == std::string::npos || findText(name, "\\", server + 1) == std::string::npos;
}

bool accepted(const std::string& directory, const std::string& windows, const std::vector<std::string>& folders) {
    if (isRoot(directory)) return false;
    if (!windows.empty() && (nameWithin(directory, windows) || nameWithin(windows, directory))) return false;
    for (const std::string& folder : folders)
        if (nameWithin(folder, directory)) return false;
    return true;
}

// The directory whose inside the item is checked from for reparse points,
// or false when the item lies outside the installation.
bool fenceRoot(const RemovalFence& fence, const std::string& name, bool isDirectory, std::string& root,
               bool& rootChecked) {
    for (const std::string& directory : fence.installedDirectories)
        if (nameWithin(name, directory)) {
            root = directory;
            rootChecked = true;
            return true;
        }
    for (const std::string& folder : fence.shortcutFolders)
        if (nameWithin(name, folder) && foldedCase(name) != foldedCase(folder)) {
            root = folder;  // the user's folder itself is the shell's, not the installation's
            rootChecked = false;
            return true;
        }
    if (isDirectory)
        for (const std::string& directory : fence.installedDirectories)
            if (nameWithin(directory, name)) {
                root = name;
                rootChecked = true;
                return true;
            }
    return false;
}

bool madeByInstallation(const RemovalFence& fence, const std::string& directory) {
    std::string folded = foldedCase(directory);
    for (const std::string& made : fence.madeDirectories)
        if (made == folded) return true;
    return false;
}

// Whether the way to the item, and the item itself, holds no reparse point.
bool noReparsePointOnTheWay(const RemovalFence& fence, const std::string& name, const std::string& root,
                            bool rootChecked) {
    std::string way;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        bool end = i == name.size();
        if (!end && name[i] != '\\') {
            if (isLeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) ++i;
            continue;
        }
        way = name.substr(0, i);
        if (way.size() < 3) continue;  // "C:" of "C:\..."
        bool inside = nameWithin(way, root) && (rootChecked || foldedCase(way) != foldedCase(root));
        if (!inside && !madeByInstallation(fence, way)) continue;
        FileFacts facts;
        if (fileFacts(way, facts) && facts.reparsePoint) return false;
    }
    return true;
}

std::string shownKey(Handle root, const std::string& path) { return registryRootName(root) + "\\" + path; }

void removeFile(const RemovalFence& fence, const JournalItem& item, RemovalOutcome& outcome) {
    if (fileMayGo(fence, item, outcome) && !deleteFile(item.name)) failItem(outcome, item.name, "in use, or no access");
}

void removeDirectoryItem(const RemovalFence& fence, const JournalItem& item, RemovalOutcome& outcome) {
    std::string root;
    bool rootChecked = false;
    if (!fenceRoot(fence, item.name, true, root, rootChecked)) return keepItem(outcome, item.name, "outside the installation");
    if (!noReparsePointOnTheWay(fence, item.name, root, rootChecked))
        return keepItem(outcome, item.name, "a junction or link, or one on its way");
    FileFacts facts;
    if (!fileFacts(item.name, facts)) return;
    if (!facts.directory) return keepItem(outcome, item.name, "no longer a directory");
    if (!removeDirectory(item.name)) keepItem(outcome, item.name, "not empty");
}

bool registryAllowed(const RemovalFence& fence, Handle root) {
    return fence.scope == InstallScope::machine || root == rootCurrentUser;
}

void removeValue(const RemovalFence& fence, const JournalItem& item, RemovalOutcome& outcome) {
    std::string shown = shownKey(item.root, item.name) + " value " + item.valueName;
    if (!registryAllowed(fence, item.root)) return keepItem(outcome, shown, "not the user's own key");
    std::string data;
    if (!readValueData(item.root, item.name, item.valueName, data)) return;
    if (!item.identityKnown || valueDataHash(data) != item.dataHash) return keepItem(outcome, shown, "changed since it was set");
    Handle key = regCreateKey(item.root, item.name, keySetValue);  // it exists: nothing is created
    if (!key || !regDeleteValue(key, item.valueName)) failItem(outcome, shown, "no access");
    if (key) regCloseKey(key);
}
}  // namespace

bool fileMayGo(const RemovalFence& fence, const JournalItem& item, RemovalOutcome& outcome) {
    std::string root;
    bool rootChecked = false;
    if (!fenceRoot(fence, item.name, false, root, rootChecked)) {
        keepItem(outcome, item.name, "outside the installation");
        return false;
    }
    if (!noReparsePointOnTheWay(fence, item.name, root, rootChecked)) {
        keepItem(outcome, item.name, "a junction or link on its way");
        return false;
    }
    FileFacts facts;
    if (!fileFacts(item.name, facts)) return false;  // gone already
    if (facts.directory || facts.reparsePoint) {
        keepItem(outcome, item.name, "no longer the file installed");
        return false;
    }
    if (!item.identityKnown || facts.size != item.size || facts.lastWritten != item.lastWritten) {
        keepItem(outcome, item.name, "changed since it was installed");
        return false;
    }
    // The installation may have copied a read-only file; it is still its own.
    if (facts.readOnly) clearReadOnly(item.name);
    return true;
}

bool removeEmptyKey(Handle root, const std::string& path, RemovalOutcome& outcome) {
    std::string shown = shownKey(root, path);
    Handle key = regOpenKeyForReading(root, path);
    if (!key) return true;  // gone already
    unsigned long subKeys = 0, values = 0;
    bool counted = regKeyCounts(key, subKeys, values);
    regCloseKey(key);
    if (!counted || subKeys || values) {
        keepItem(outcome, shown, "not empty");
        return false;
    }
    std::vector<std::string> prefixes = keyPathPrefixes(path);
    if (prefixes.empty()) return false;
    std::string parentPath = prefixes.size() > 1 ? prefixes[prefixes.size() - 2] : std::string();
    std::string leaf = prefixes.back().substr(parentPath.empty() ? 0 : parentPath.size() + 1);
    Handle parent = regCreateKey(root, parentPath, keyEnumerateSubKeys | keyQueryValue);  // it exists (an empty path opens the root)
    bool deleted = parent && regDeleteKey(parent, leaf);
    if (parent) regCloseKey(parent);
    if (!deleted) failItem(outcome, shown, "no access");
    return deleted;
}

RemovalFence removalFence(InstallScope scope, const std::vector<JournalItem>& items) {
    RemovalFence fence;
    fence.scope = scope;
    for (int folder = 0; folder <= 3; ++folder) {
        std::string path = iconFolderPath(folder);
        if (path != notAvailable && !path.empty()) fence.shortcutFolders.push_back(resolvedName(path));
    }
    std::string windows;
    if (getWindowsDirectory(windows)) windows = resolvedName(windows);
    else windows.clear();
    for (const JournalItem& item : items) {
        if (item.kind == journaledInstallLocation && accepted(resolvedName(item.name), windows, fence.shortcutFolders))
            fence.installedDirectories.push_back(resolvedName(item.name));
        if (item.kind == journaledDirectory) fence.madeDirectories.push_back(foldedCase(resolvedName(item.name)));
    }
    return fence;
}

void removeItem(const RemovalFence& fence, const JournalItem& item, RemovalOutcome& outcome) {
    JournalItem resolved = item;
    if (item.kind == journaledFile || item.kind == journaledDirectory) resolved.name = resolvedName(item.name);
    switch (item.kind) {
        case journaledFile: removeFile(fence, resolved, outcome); break;
        case journaledDirectory: removeDirectoryItem(fence, resolved, outcome); break;
        case journaledValue: removeValue(fence, resolved, outcome); break;
        case journaledKey:
            if (!registryAllowed(fence, item.root)) keepItem(outcome, shownKey(item.root, item.name), "not the user's own key");
            else removeEmptyKey(item.root, cleanKeyPath(item.name), outcome);
            break;
        case journaledInstallLocation: break;
    }
}
