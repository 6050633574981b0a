// Inside "uninstall": the removal engine (removal.cpp) that uninstall.cpp
// drives over a journal's items, newest first.
#pragma once

#include <string>
#include <vector>

#include "install/journal.h"

// What may be removed at all, whatever the journal says.
struct RemovalFence {
    InstallScope scope;
    std::vector<std::string> installedDirectories;  // those of the journal that are safe to work in
    std::vector<std::string> shortcutFolders;       // the user's Desktop, Programs, Start Menu, Startup
    std::vector<std::string> madeDirectories;       // the journal's directories, case folded
};
// What stayed: kept for the user (changed, not empty, outside the
// installation) or, in `failed`, not removable although it should go.
struct RemovalOutcome {
    std::vector<std::string> kept, failed;
};

RemovalFence removalFence(InstallScope scope, const std::vector<JournalItem>& items);
// Removes one item if the fence and its identity allow it; records what stays.
void removeItem(const RemovalFence& fence, const JournalItem& item, RemovalOutcome& outcome);
// Whether a journaled file (its name resolved) is still the installation's
// and inside it, its read-only attribute cleared when it is; records why not.
bool fileMayGo(const RemovalFence& fence, const JournalItem& item, RemovalOutcome& outcome);
// Records an item that stays, or one that could not be removed.
void keepItem(RemovalOutcome& outcome, const std::string& shown, const char* why);
void failItem(RemovalOutcome& outcome, const std::string& shown, const char* why);
// Deletes the key when it holds no sub-key and no value; true when it is gone.
bool removeEmptyKey(Handle root, const std::string& path, RemovalOutcome& outcome);
