// The line reader on arbitrary file bytes, against a reference reader: CRs
// dropped, Ctrl-Z ends the file, LF ends a line, 259 bytes at most, a NUL
// ends a line's text, and an over-long line yields nothing of it and puts
// the reader in the failed state. The first input byte, when not zero, makes that read call fail:
// the lines before it come as they are, the one it cuts short and all
// after it come empty.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/line_reader.h"
#include "platform/memory_platform.h"

namespace {
// A line's text ends at a NUL byte.
std::string beforeNul(const std::string& line) { return line.substr(0, line.find('\0')); }

std::vector<std::string> referenceLines(const std::string& bytes) {
    std::string clean;
    for (char c : bytes) {
        if (c == 0x1A) break;
        if (c != '\r') clean += c;
    }
    std::vector<std::string> lines;
    std::size_t i = 0;
    while (i < clean.size()) {
        std::size_t end = clean.find('\n', i);
        std::size_t length = (end == std::string::npos ? clean.size() : end) - i;
        if (length > maxLineLength) {
            lines.push_back("");  // a line that does not fit yields nothing of it
            break;                // failed state
        }
        lines.push_back(beforeNul(clean.substr(i, length)));
        if (end == std::string::npos) break;
        i = end + 1;
    }
    return lines;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fakeReset();
    int failRead = data[0];
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    fakeAddFile("C:\\work\\lines.txt", bytes);
    if (failRead) fakeFail("readFileBytes", failRead);
    LineReader reader;
    if (!openLineReader(reader, "lines.txt")) std::abort();
    std::vector<std::string> expected = referenceLines(bytes);
    std::size_t count = 0;
    for (;; ++count) {
        std::string line = readLine(reader);
        if (line.size() > maxLineLength) std::abort();
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) std::abort();
        if (count >= expected.size()) {
            if (!line.empty()) std::abort();
            break;
        }
        if (!failRead && line != expected[count]) std::abort();
        if (failRead && !line.empty() && line != expected[count]) std::abort();
        if (count > bytes.size() + 2) std::abort();  // more lines than bytes: it never ends
    }
    // Past the end it stays empty.
    if (!readLine(reader).empty()) std::abort();
    closeLineReader(reader);
    if (fakeOpenFiles() != 0) std::abort();
    return 0;
}
