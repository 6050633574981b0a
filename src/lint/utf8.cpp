// hostcmd-lint --utf8: files for hostcmd-utf8.exe must be UTF-8 throughout.
// That build hands every byte to Windows as UTF-8, and Windows turns a byte
// that is no part of a well-formed character into U+FFFD: a file written in
// an ANSI code page would name other files, keys and texts than it shows.
#include "app/text.h"
#include "lint/lint.h"

void lintUtf8(const std::string& path, const std::string& bytes, std::vector<Finding>& findings) {
    int line = 1;
    std::size_t lineStart = 0;
    bool reported = false;  // one finding per line is enough to find it
    for (std::size_t i = 0; i < bytes.size();) {
        if (bytes[i] == '\n') {
            ++line;
            lineStart = ++i;
            reported = false;
            continue;
        }
        std::size_t length = utf8CharacterLength(bytes, i);
        if (length) {
            i += length;
            continue;
        }
        if (!reported) {
            static const char digits[] = "0123456789ABCDEF";
            const unsigned value = static_cast<unsigned char>(bytes[i]);
            Finding finding{path, line, true,
                            std::string("byte 0x") + digits[value >> 4] + digits[value & 15] +
                                " is not UTF-8 (an ANSI file?): hostcmd-utf8.exe reads it as U+FFFD"};
            finding.column = static_cast<int>(i - lineStart) + 1;
            findings.push_back(finding);
            reported = true;
        }
        ++i;
    }
}
