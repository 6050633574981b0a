#include "app/reply.h"

#include "platform/platform.h"

bool writeTextFile(const std::string& fileName, const std::string& text) {
    if (fileName.empty()) return false;
    std::string bytes;
    bytes.reserve(text.size() + 16);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    Handle file = createFileForWriting(fileName);
    if (!file) return false;
    bool written = writeFileBytes(file, bytes.data(), bytes.size());
    closeFile(file);
    return written;
}
