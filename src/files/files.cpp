#include "files/files.h"

#include <algorithm>

#include "app/boxes.h"
#include "app/reply.h"
#include "app/text.h"

bool pathExists(const std::string& directory, const std::string& name) {
    return findFirstFile(withTrailingBackslash(directory) + name);
}

namespace {
// Whether a file lies on a CD-ROM drive or on a volume whose file system is
// read-only: the volume of its full name, asked of Windows. The volume, not
// the first two characters: "\\?\E:\x", a disc mounted in a folder
// ("C:\mnt\cd\x") and a disc shared over the network ("\\server\cd\x",
// whose file system says read-only) are all on one. Where Windows cannot
// name the volume, the drive of the full name ("E:\") is asked.
bool onCdromDrive(const std::string& file) {
    std::string full = fullPathName(file);
    std::string root;
    if (!volumePathName(full, root)) {
        if (full.size() < 2 || full[1] != ':') return false;
        root = full.substr(0, 2) + "\\";
    }
    return getDriveType(root) == driveCdrom || volumeReadOnly(root);
}

// ---- files put in place only when whole
//
// A copy or a saved text is made beside its destination, in the folder its
// name gives, under a temporary name "~hc0000.tmp" (the next number while a
// name is taken: no file there is ever overwritten), and then renamed over
// the destination in one call. Every failure removes the temporary file
// again; the destination is either what it was or the whole new file.

const unsigned long errorSharingViolation = 32, errorFileExists = 80, errorAlreadyExists = 183;
const unsigned long errorAccessDenied = 5;
const unsigned temporaryNamesTried = 64;

// The temporary name beside a destination: its folder as the name gives it
// (up to the last "\" or "/", or the "C:" of a drive-relative name), so
// that it lies wherever Windows puts the destination itself.
std::string temporaryName(const std::string& destination, unsigned number) {
    std::size_t folderEnd = destination.size() >= 2 && destination[1] == ':' ? 2 : 0;
    for (const char* separator : {"\\", "/"})
        for (std::size_t at = findText(destination, separator); at != std::string::npos;
             at = findText(destination, separator, at + 1))
            folderEnd = std::max(folderEnd, at + 1);
    const char* digits = "0123456789ABCDEF";
    std::string name = destination.substr(0, folderEnd) + "~hc";
    for (int shift = 12; shift >= 0; shift -= 4) name += digits[(number >> shift) & 15];
    return name + ".tmp";
}

bool nameTaken(unsigned long error) { return error == errorFileExists || error == errorAlreadyExists; }

// Removes a temporary file left by a failed step (a copy may leave part of
// itself, and a copy of a read-only file is read-only).
void removeTemporary(const std::string& name) {
    FileIdentity identity;
    if (!fileIdentity(name, identity)) return;
    if (identity.attributes & fileReadOnly) clearReadOnly(name);
    deleteFile(name);
}

// Puts the temporary file in place, or removes it.
bool putInPlace(const std::string& temporary, const std::string& destination, bool replaceExisting) {
    if (putFileInPlace(temporary, destination, replaceExisting)) return true;
    removeTemporary(temporary);
    return false;
}

// A call hostcmd does not make, because it would fail or do harm: one trace
// line, with the error code the call itself answers in that case.
bool refused(const char* call, const char* why, unsigned long code) {
    if (traceEnabled()) appendTraceLine(std::string("    ") + call + " not called: " + why + ": error " + std::to_string(code));
    return false;
}

// Whether two names reach one file (another case, trailing dots or blanks,
// "..", a short name, a hard link): the same volume and file index. Where
// the index tells too little the answer errs towards "one file", which only
// refuses a copy: some SMB servers answer 0 for every file, and on ReFS two
// files may share the low 64 bits of their 128-bit id.
bool oneFile(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// Whether the copy may go ahead onto an existing destination: what CopyFileA
// refuses is refused, and a copy onto the source itself is refused as
// CopyFileA refuses it (sharing violation); a rename would otherwise replace
// the file by its copy, and a move would then delete it.
bool mayCopyOnto(const std::string& source, const FileIdentity& destination, bool keepExisting) {
    if (keepExisting) return refused("CopyFileA", "the destination exists and TRUE keeps it", errorFileExists);
    FileIdentity from;
    bool sourceFound = fileIdentity(source, from);
    if (sourceFound && oneFile(from, destination))
        return refused("CopyFileA", "the source and the destination are one file", errorSharingViolation);
    if (destination.attributes & fileReadOnly) return refused("CopyFileA", "the destination is read-only", errorAccessDenied);
    // CopyFileA makes the destination with the source's attributes, and
    // Windows overwrites a hidden or system file only with one that is too.
    unsigned long kept = destination.attributes & (fileHidden | fileSystem);
    if (sourceFound && (from.attributes & kept) != kept)
        return refused("CopyFileA", "the destination is hidden or system and the source is not", errorAccessDenied);
    return true;
}

}  // namespace

// CopyFileA copies the attributes, and every file on a CD is read-only: a
// copy from a disc would stay read-only, and every later save, delete, move
// or update of it would fail. Only such a copy is made writable; a read-only
// file copied from a hard disk keeps its attribute.
bool copyFileWhole(const std::string& source, const std::string& destination, bool keepExisting) {
    if (refusedAsDevice(source) || refusedAsDevice(destination)) return false;
    FileIdentity existing;
    if (fileIdentity(destination, existing) && !mayCopyOnto(source, existing, keepExisting)) return false;
    for (unsigned attempt = 0; attempt < temporaryNamesTried; ++attempt) {
        std::string temporary = temporaryName(destination, attempt);
        unsigned long error = copyToNewFile(source, temporary);
        if (nameTaken(error)) continue;
        if (error) {
            removeTemporary(temporary);
            return false;
        }
        if (onCdromDrive(source)) clearReadOnly(temporary);
        // Without TRUE a destination made meanwhile is replaced, as CopyFileA
        // would have overwritten it; with TRUE it is kept.
        return putInPlace(temporary, destination, !keepExisting);
    }
    return false;
}

bool saveTextFile(const std::string& fileName, const std::string& text) {
    if (fileName.empty() || refusedAsDevice(fileName)) return false;
    // CREATE_ALWAYS refuses a read-only file, and a hidden or system one
    // when it is asked for a normal file: such a file stays as it is.
    FileIdentity existing;
    bool existed = fileIdentity(fileName, existing);
    if (existed && (existing.attributes & (fileReadOnly | fileHidden | fileSystem)))
        return refused("CreateFileA", "the file is read-only, hidden or system", errorAccessDenied);
    std::string converted;
    const std::string& bytes = textFileBytes(text, converted);
    for (unsigned attempt = 0; attempt < temporaryNamesTried; ++attempt) {
        std::string temporary = temporaryName(fileName, attempt);
        unsigned long error = 0;
        Handle file = createNewFile(temporary, error);
        if (!file && nameTaken(error)) continue;
        if (!file) return false;
        // Flushed before the rename: the old text is replaced only by one
        // that is on the disk.
        bool written = writeFileBytes(file, bytes.data(), bytes.size()) && flushFileBuffers(file);
        closeFile(file);
        if (written && putInPlace(temporary, fileName, true)) return true;
        if (!written) removeTemporary(temporary);
        // The text fitted beside it. A file that is there but cannot be
        // replaced (held open by a reader that shares writing, the running
        // batch file itself) is written in place, as it always was: the
        // room the temporary file took is free again for it.
        return written && existed && writeTextFile(fileName, text);
    }
    return false;
}

bool copyFromFields(const std::string& fields) {
    std::string rest = fields;
    std::string source = takeField(rest);
    std::string destination = takeField(rest);
    return copyFileWhole(source, destination, rest == "TRUE");
}

bool moveFromFields(const std::string& fields) {
    std::string rest = fields;
    std::string source = takeField(rest);
    std::string destination = takeField(rest);
    // The source goes only after a good copy, so a failed copy never loses it.
    return copyFileWhole(source, destination, rest == "TRUE") && deleteFile(source);
}

bool saveFromFields(const std::string& fields, bool withEscapes) {
    std::string fileName, text;
    splitField(fields, fileName, text);
    return saveTextFile(fileName, withEscapes ? applyTextEscapes(text) : text);
}

void commandSave(Handle, const std::string&, const std::string& arguments) { saveFromFields(arguments, false); }
void commandSavePretty(Handle, const std::string&, const std::string& arguments) { saveFromFields(arguments, true); }

void commandDelete(Handle, const std::string&, const std::string& arguments) { deleteFile(arguments); }
void commandCopy(Handle, const std::string&, const std::string& arguments) { copyFromFields(arguments); }
void commandMove(Handle, const std::string&, const std::string& arguments) { moveFromFields(arguments); }
void commandMakeDir(Handle, const std::string&, const std::string& arguments) { createDirectory(arguments); }
void commandDeleteDir(Handle, const std::string&, const std::string& arguments) { removeDirectory(arguments); }
