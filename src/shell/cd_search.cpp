#include "app/boxes.h"
#include "app/reply.h"
#include "app/text.h"
#include "files/files.h"
#include "shell/shell.h"

namespace {
// C to Z first, then the floppy letters A and B, each once.
const char driveLetters[] = "CDEFGHIJKLMNOPQRSTUVWXYZAB";
// MB_SYSTEMMODAL | MB_ICONWARNING | MB_RETRYCANCEL
const unsigned styleRetryCancel = 0x1035;

std::string cdReply(const std::string& root) {
    return root == notAvailable ? std::string("pathToCD=ERROR") : "pathToCD=" + root;
}

// Caption, text, file to look for and reply file, after the text escapes, so
// that a doubled "&" is a line break and never a field separator.
void takeBoxFields(const std::string& arguments, std::string& caption, std::string& text, std::string& fileName,
                   std::string& replyFile) {
    std::string rest = applyTextEscapes(arguments);
    caption = takeField(rest);
    text = takeField(rest);
    fileName = takeField(rest);
    replyFile = rest;
}
}  // namespace

std::string findCdFile(const std::string& fileName) {
    for (const char* letter = driveLetters; *letter; ++letter) {
        std::string root = std::string(1, *letter) + ":\\";
        // A drive that cannot be queried counts as one without the file.
        if (getDriveType(root) == driveCdrom && pathExists(root, fileName)) return root;
    }
    return notAvailable;
}

void commandPathToCD(Handle, const std::string&, const std::string& arguments) {
    std::string fileName, replyFile;
    splitField(arguments, fileName, replyFile);
    writeTextFile(replyFile, cdReply(findCdFile(fileName)));
}

void commandPathToCDM(Handle instance, const std::string&, const std::string& arguments) {
    std::string caption, text, fileName, replyFile;
    takeBoxFields(arguments, caption, text, fileName, replyFile);
    std::string root = findCdFile(fileName);
    // The host sees the reply only after the user has closed the box.
    if (root != notAvailable) showMessage(instance, text, caption);
    writeTextFile(replyFile, cdReply(root));
}

void commandPathToCDR(Handle instance, const std::string&, const std::string& arguments) {
    std::string caption, text, fileName, replyFile;
    takeBoxFields(arguments, caption, text, fileName, replyFile);
    std::string root = findCdFile(fileName);
    // Only Retry searches again. Cancel, and equally a box that could not be
    // shown (0, or -1 under Wine without a display), ends the command: the
    // search must never go round forever without a user behind it.
    while (root == notAvailable && askUser(instance, text, caption, styleRetryCancel) == answerRetry)
        root = findCdFile(fileName);
    writeTextFile(replyFile, cdReply(root));
}
