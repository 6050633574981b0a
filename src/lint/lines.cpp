#include <algorithm>
#include <cstdio>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "app/line_reader.h"
#include "lint/lint.h"
#include "platform/platform.h"

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

namespace {
const char* const unreadReasons[] = {
    "",
    "there is no such file",
    "it is no disk file that can be read (a directory, a device, a pipe, or no access)",
    "it is larger than 64 MiB, far more than a batch, check or installer file holds",
    "reading it failed",
};
}  // namespace

const char* unreadReason(FileRead result) { return unreadReasons[static_cast<int>(result)]; }

#ifdef _WIN32
// As hostcmd opens its files: CreateFileA, and only a disk file (a device
// such as COM1, or a pipe, would never end a read).
FileRead readDiskFile(const std::string& path, std::string& bytes) {
    Handle file = openFileForReading(path);
    if (!file) return findFirstFile(path) ? FileRead::notADiskFile : FileRead::missing;
    bytes.clear();
    std::string block(65536, '\0');
    long got;
    while ((got = readFileBytes(file, &block[0], block.size())) > 0 && bytes.size() <= maxLintedFileSize)
        bytes.append(block, 0, static_cast<std::size_t>(got));
    closeFile(file);
    if (got < 0) return FileRead::failed;
    return bytes.size() > maxLintedFileSize ? FileRead::tooLarge : FileRead::read;
}
#else
// A regular file only: stat first (opening a device may block or act), then
// open without blocking (a pipe put there meanwhile opens at once) and look
// again at what was opened.
FileRead readDiskFile(const std::string& path, std::string& bytes) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return errno == ENOENT || errno == ENOTDIR ? FileRead::missing : FileRead::notADiskFile;
    if (!S_ISREG(status.st_mode)) return FileRead::notADiskFile;
    int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (file < 0) return FileRead::notADiskFile;
    FileRead result = FileRead::read;
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) result = FileRead::notADiskFile;
    else if (static_cast<unsigned long long>(status.st_size) > maxLintedFileSize) result = FileRead::tooLarge;
    if (result == FileRead::read) {
        bytes.clear();
        bytes.reserve(static_cast<std::size_t>(status.st_size));
        char block[65536];
        ssize_t got;
        while ((got = read(file, block, sizeof block)) > 0 && bytes.size() <= maxLintedFileSize)
            bytes.append(block, static_cast<std::size_t>(got));
        if (got < 0) result = FileRead::failed;
        else if (bytes.size() > maxLintedFileSize) result = FileRead::tooLarge;  // it grew
    }
    close(file);
    return result;
}
#endif

bool readWholeFile(const std::string& path, std::string& bytes) { return readDiskFile(path, bytes) == FileRead::read; }
