#include "app/reply.h"

#include "app/fields.h"
#include "app/text.h"
#include "platform/platform.h"

bool refusedAsDevice(const std::string& fileName) {
    if (!namesDevice(fileName)) return false;
    if (traceEnabled()) appendTraceLine("    " + shownText(fileName) + " not opened: a device name, not a file");
    return true;
}

const std::string& textFileBytes(const std::string& text, std::string& converted) {
    // Every LF becomes CR LF; whole runs between line ends are copied at once,
    // and a text without LF is written as it stands: texts can be megabytes.
    if (text.find('\n') == std::string::npos) return text;
    converted.clear();
    converted.reserve(text.size() + 16);
    for (std::size_t from = 0; from < text.size();) {
        std::size_t lf = text.find('\n', from);
        if (lf == std::string::npos) lf = text.size();
        converted.append(text, from, lf - from);
        if (lf < text.size()) converted += "\r\n";
        from = lf + 1;
    }
    return converted;
}

bool writeTextFile(const std::string& fileName, const std::string& text) {
    if (fileName.empty() || refusedAsDevice(fileName)) return false;
    std::string converted;
    const std::string& bytes = textFileBytes(text, converted);
    Handle file = createFileForWriting(fileName);
    if (!file) return false;
    bool written = writeFileBytes(file, bytes.data(), bytes.size());
    closeFile(file);
    return written;
}
