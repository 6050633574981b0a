#include "files/files.h"

#include "app/boxes.h"
#include "app/reply.h"
#include "app/text.h"

bool pathExists(const std::string& directory, const std::string& name) {
    return findFirstFile(withTrailingBackslash(directory) + name);
}

bool copyFromFields(const std::string& fields) {
    std::string rest = fields;
    std::string source = takeField(rest);
    std::string destination = takeField(rest);
    return copyFile(source, destination, rest == "TRUE");
}

bool moveFromFields(const std::string& fields) {
    std::string rest = fields;
    std::string source = takeField(rest);
    std::string destination = takeField(rest);
    // The source goes only after a good copy, so a failed copy never loses it.
    return copyFile(source, destination, rest == "TRUE") && deleteFile(source);
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
