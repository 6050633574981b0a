#include "files/files.h"

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

// CopyFileA copies the attributes, and every file on a CD is read-only: a
// copy from a disc would stay read-only, and every later save, delete, move
// or update of it would fail. Only such a copy is made writable; a read-only
// file copied from a hard disk keeps its attribute. True when the copy was made.
bool copyWritable(const std::string& source, const std::string& destination, bool keepExisting) {
    if (refusedAsDevice(source) || refusedAsDevice(destination)) return false;
    if (!copyFile(source, destination, keepExisting)) return false;
    if (onCdromDrive(source)) clearReadOnly(destination);
    return true;
}
}  // namespace

bool copyFromFields(const std::string& fields) {
    std::string rest = fields;
    std::string source = takeField(rest);
    std::string destination = takeField(rest);
    return copyWritable(source, destination, rest == "TRUE");
}

bool moveFromFields(const std::string& fields) {
    std::string rest = fields;
    std::string source = takeField(rest);
    std::string destination = takeField(rest);
    // The source goes only after a good copy, so a failed copy never loses it.
    return copyWritable(source, destination, rest == "TRUE") && deleteFile(source);
}

bool saveFromFields(const std::string& fields, bool withEscapes) {
    std::string fileName, text;
    splitField(fields, fileName, text);
    return writeTextFile(fileName, withEscapes ? applyTextEscapes(text) : text);
}

void commandSave(Handle, const std::string&, const std::string& arguments) { saveFromFields(arguments, false); }
void commandSavePretty(Handle, const std::string&, const std::string& arguments) { saveFromFields(arguments, true); }

void commandDelete(Handle, const std::string&, const std::string& arguments) { deleteFile(arguments); }
void commandCopy(Handle, const std::string&, const std::string& arguments) { copyFromFields(arguments); }
void commandMove(Handle, const std::string&, const std::string& arguments) { moveFromFields(arguments); }
void commandMakeDir(Handle, const std::string&, const std::string& arguments) { createDirectory(arguments); }
void commandDeleteDir(Handle, const std::string&, const std::string& arguments) { removeDirectory(arguments); }
