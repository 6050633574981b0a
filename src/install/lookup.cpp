// The installed location lookup: the directory the installer recorded as
// "isDir" under HKLM\Software\<part 1>\<part 2>\<part 3>.
#include "app/line_reader.h"
#include "app/text.h"
#include "install/install.h"
#include "registry/registry.h"

namespace {
const std::size_t valueBufferSize = 260;
}

bool readDescriptionLines(const std::string& fileName, std::string* lines, int count) {
    LineReader reader;
    if (!openLineReader(reader, fileName)) return false;
    for (int i = 0; i < count; ++i) lines[i] = readLine(reader);
    closeLineReader(reader);
    return true;
}

std::string installKeyTail(const std::string& part1, const std::string& part2, const std::string& part3) {
    return part1 + "\\" + part2 + "\\" + part3;
}

// The key is only opened, never created: a lookup leaves no trace in the
// registry. It is opened with full access, as the installer's own key is.
std::string readInstallValue(const std::string& installKeyTail, const std::string& valueName) {
    Handle key = regOpenKey(rootLocalMachine, "Software\\" + installKeyTail);
    if (key == 0) return notAvailable;
    std::string data;
    bool read = regQueryValue(key, valueName, valueBufferSize, data);
    regCloseKey(key);
    return read ? textOfValueData(data) : std::string(notAvailable);
}

std::string lookupInstalledLocation(Handle, const std::string& fileName) {
    std::string lines[checkFileLines];
    if (!readDescriptionLines(fileName, lines, checkFileLines)) return notAvailable;
    return readInstallValue(installKeyTail(lines[1], lines[2], lines[3]), "isDir");
}
