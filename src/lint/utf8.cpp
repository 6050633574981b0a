// hostcmd-lint --utf8: files for hostcmd-utf8.exe must be UTF-8 throughout.
// That build hands every byte to Windows as UTF-8, and Windows turns a byte
// that is no part of a well-formed character into U+FFFD: a file written in
// an ANSI code page would name other files, keys and texts than it shows.
#include "lint/lint.h"

namespace {
// The length of the well-formed UTF-8 character at `at`, 0 when the bytes
// there are not one: no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t characterLength(const std::string& bytes, std::size_t at) {
    auto byte = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    const unsigned lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return 0;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}
}  // namespace

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
        std::size_t length = characterLength(bytes, i);
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
