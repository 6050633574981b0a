#include <algorithm>
#include <cstdio>

#include "app/line_reader.h"
#include "lint/lint.h"

FileLines splitLines(const std::string& bytes) {
    FileLines file;
    file.lines.reserve(std::count(bytes.begin(), bytes.end(), '\n') + 1);
    std::string line;
    std::vector<std::string> pieces;  // the current line's text up to each CR that no LF follows
    std::size_t pieceStart = 0;
    bool open = false;  // a line has begun (a byte other than CR seen since the last LF)
    auto endLine = [&]() {
        if (!pieces.empty()) {
            pieces.push_back(line.substr(pieceStart));
            file.strayCr.push_back({static_cast<int>(file.lines.size()) + 1, pieces});
        }
        file.lines.push_back(line);
        line.clear();
        pieces.clear();
        pieceStart = 0;
        open = false;
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == 0x1A) {
            // The reader stops here for good; say so when anything but line
            // ends and further Ctrl-Z bytes follow.
            for (std::size_t j = i + 1; j < bytes.size(); ++j)
                if (bytes[j] != '\r' && bytes[j] != '\n' && bytes[j] != 0x1A) {
                    file.ctrlZLine = static_cast<int>(file.lines.size()) + 1;
                    break;
                }
            break;
        }
        if (c == '\r') {
            // CRs before an LF, the end or a Ctrl-Z change nothing; before any
            // other byte an editor shows a line end there, which hostcmd drops.
            std::size_t next = i;
            while (next < bytes.size() && bytes[next] == '\r') ++next;
            if (next < bytes.size() && bytes[next] != '\n' && bytes[next] != 0x1A) {
                pieces.push_back(line.substr(pieceStart));
                pieceStart = line.size();
            }
            i = next - 1;
            continue;
        }
        if (c == '\n') {
            file.anyLf = file.anyLf || i + 1 < bytes.size();
            endLine();
            continue;
        }
        line += c;
        open = true;
    }
    if (open) endLine();
    for (std::size_t n = 0; n < file.lines.size(); ++n)
        if (file.lines[n].size() > maxLineLength) {
            file.cutLine = static_cast<int>(n) + 1;
            break;
        }
    return file;
}

std::string seenLine(const FileLines& file, int n) {
    if (n < 1 || n > static_cast<int>(file.lines.size())) return std::string();
    if (file.cutLine && n >= file.cutLine) return std::string();
    std::string line = file.lines[n - 1].substr(0, maxLineLength);
    // A line is a C string to every reader: its text ends at a NUL byte.
    std::size_t nul = line.find('\0');
    if (nul != std::string::npos) line.resize(nul);
    return line;
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    bytes.clear();
    // Room for the whole file at once: a large file is not copied as it grows.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long size = std::ftell(file);
        if (size > 0) bytes.reserve(static_cast<std::size_t>(size));
        std::rewind(file);
    }
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
    bool good = !std::ferror(file);
    std::fclose(file);
    return good;
}
