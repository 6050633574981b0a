// File commands.
//
// "save" stores a text in a file, "savePretty"/"saveP" after the text escapes;
// "delete", "copy", "move", "makeDir" and "deleteDir" make one or two file
// calls each and report nothing. "copy" and "move" keep an existing
// destination only when their flag is exactly "TRUE"; "move" deletes its
// source only after a good copy.
//
// Each also has an M form (a message box afterwards: caption & message) and
// an ME form (the shell opens a file afterwards: file & parameters or
// "none"), whose two leading fields belong to the follow-up. The follow-up
// happens only when the file work succeeded.
//
// A copy, a move's copy and a saved text reach their destination only whole:
// each is made beside it under a temporary name and then renamed over it, so
// a failure (a full disk, say) leaves an old destination as it was and no
// part of a file where there was none. A copy onto its own source (under
// whatever name) is refused and changes nothing.
//
// pathExists answers whether a name exists in a directory (files and
// directories alike, wildcards allowed).
#pragma once

#include <string>

#include "platform/platform.h"

bool pathExists(const std::string& directory, const std::string& name);

// Stores a text in a file, every LF as CR LF, put in place only when
// written whole (what "save", its forms and a file-name command word store).
// A read-only, hidden or system file is refused and stays as it is.
bool saveTextFile(const std::string& fileName, const std::string& text);

// The file work itself, on the fields "file name&text" and
// "source&destination&flag"; true when it succeeded.
bool saveFromFields(const std::string& fields, bool withEscapes);
bool copyFromFields(const std::string& fields);
// The copy itself, put in place only when whole; an existing destination is
// kept when keepExisting. True when the copy is in place.
bool copyFileWhole(const std::string& source, const std::string& destination, bool keepExisting);
bool moveFromFields(const std::string& fields);

void commandSave(Handle instance, const std::string& word, const std::string& arguments);
void commandSavePretty(Handle instance, const std::string& word, const std::string& arguments);
void commandDelete(Handle instance, const std::string& word, const std::string& arguments);
void commandCopy(Handle instance, const std::string& word, const std::string& arguments);
void commandMove(Handle instance, const std::string& word, const std::string& arguments);
void commandMakeDir(Handle instance, const std::string& word, const std::string& arguments);
void commandDeleteDir(Handle instance, const std::string& word, const std::string& arguments);

void commandSaveFollowUp(Handle instance, const std::string& word, const std::string& arguments);
void commandSavePrettyFollowUp(Handle instance, const std::string& word, const std::string& arguments);
void commandDeleteFollowUp(Handle instance, const std::string& word, const std::string& arguments);
void commandCopyFollowUp(Handle instance, const std::string& word, const std::string& arguments);
void commandMoveFollowUp(Handle instance, const std::string& word, const std::string& arguments);
void commandMakeDirFollowUp(Handle instance, const std::string& word, const std::string& arguments);
void commandDeleteDirFollowUp(Handle instance, const std::string& word, const std::string& arguments);
