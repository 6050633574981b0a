// hostcmd-lint on arbitrary file bytes: the first input byte picks the kind
// (batch, check or installer file), the rest is the file. Every finding must
// name a line of the file, and explaining any line must end. The check file
// lies in a folder that does not exist, so an installer file it names is
// looked for in vain.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/memory_platform.h"
#include "lint/lint.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fakeReset();
    const FileKind kinds[] = {FileKind::batch, FileKind::check, FileKind::installer};
    FileKind kind = kinds[data[0] % 3];
    if (data[0] & 4) fakeUseCodePage932(true);
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string path = "/nonexistent-hostcmd-fuzz/file.txt";
    std::vector<Finding> findings;
    lintFile(kind, path, bytes, findings);
    FileLines lines = splitLines(bytes);
    for (const Finding& finding : findings) {
        if (finding.line < 0 || finding.line > static_cast<int>(lines.lines.size()) + 40) std::abort();
        formatFinding(finding);
    }
    guessKind(path, bytes);
    for (std::size_t i = 0; i < lines.lines.size() && i < 8; ++i) {
        explainCommandLine(lines.lines[i], false);
        nearestCommandWord(lines.lines[i].substr(0, 40));
    }
    return 0;
}
