#include "app/line_reader.h"

#include "app/reply.h"
#include "app/text.h"

namespace {
const char ctrlZ = 0x1A;

const int endOfFile = -1;   // the end of the file or a Ctrl-Z
const int readFailed = -2;  // the file could not be read on

// The next byte of the file with every CR dropped, endOfFile or readFailed.
int nextByte(LineReader& reader) {
    for (;;) {
        if (reader.next == reader.filled) {
            long got = readFileBytes(reader.file, reader.block, sizeof reader.block);
            if (got < 0) return readFailed;
            if (got == 0) return endOfFile;
            reader.next = 0;
            reader.filled = static_cast<std::size_t>(got);
        }
        char c = reader.block[reader.next];
        if (c == '\r') {
            ++reader.next;
            continue;
        }
        if (c == ctrlZ) return endOfFile;  // not consumed: the file ends here for good
        return static_cast<unsigned char>(c);
    }
}
}  // namespace

namespace {
// The UTF-8 byte-order mark some editors write at the start of a file.
const char byteOrderMark[] = "\xEF\xBB\xBF";

// In the UTF-8 build a byte-order mark at the very start of the file is no
// part of the first line (it would stick to its command word). The first
// block is read here to see it; a read that fails fails the reader.
void skipByteOrderMark(LineReader& reader) {
    long got = readFileBytes(reader.file, reader.block, sizeof reader.block);
    if (got < 0) {
        reader.ended = reader.failed = true;
        return;
    }
    reader.filled = static_cast<std::size_t>(got);
    if (reader.filled >= 3 && std::string(reader.block, 3) == byteOrderMark) reader.next = 3;
}
}  // namespace

bool openLineReader(LineReader& reader, const std::string& fileName) {
    // A device is never opened: a pipe's server would see the connection
    // before any check, and a disk's sectors would run as command lines.
    reader.file = refusedAsDevice(fileName) ? 0 : openFileForReading(fileName);
    // The trace file is never read as a batch, check or installer file: it
    // would read the lines the trace appends as it runs them, for ever.
    if (reader.file && isTraceFile(reader.file)) closeLineReader(reader);
    reader.ended = false;
    reader.failed = false;
    reader.next = reader.filled = 0;
    if (processWorksInUtf8() && reader.file) skipByteOrderMark(reader);
    return reader.file != 0;
}

namespace {
// A line is a C string to every reader: its text ends at a NUL byte, and the
// bytes after it (up to the line end) are not part of it. Left in, they would
// be seen by the text rules ("&", ".") but not by Windows, which stops at the NUL.
std::string textBeforeNul(std::string line) {
    std::size_t nul = line.find('\0');
    if (nul != std::string::npos) line.resize(nul);
    return line;
}

// The line as read, unless its text is not UTF-8 where texts are: then the
// reader fails without yielding it.
std::string finishedLine(LineReader& reader, const std::string& line) {
    std::string text = textBeforeNul(line);
    if (!textsAreUtf8() || wellFormedUtf8(text)) return text;
    reader.ended = reader.failed = true;
    return std::string();
}
}  // namespace

std::string readLine(LineReader& reader) {
    std::string line;
    if (reader.ended) return line;
    for (;;) {
        int c = nextByte(reader);
        if (c == readFailed) {
            // Whatever part of the line was read is not the line: a command cut
            // short by a failing disk could name another file than the one
            // written. The reader fails without yielding it.
            reader.ended = reader.failed = true;
            return std::string();
        }
        if (c == endOfFile) {
            reader.ended = true;
            return finishedLine(reader, line);
        }
        if (line.size() == maxLineLength) {
            // A full line: an LF right after it ends it normally. Anything else
            // is a line that does not fit: its first 259 bytes are not the
            // line either ("x.txt.bak" cut to "x.txt"), so the reader fails
            // without yielding them.
            if (c != '\n') {
                reader.ended = reader.failed = true;
                return std::string();
            }
            ++reader.next;
            return finishedLine(reader, line);
        }
        ++reader.next;
        if (c == '\n') return finishedLine(reader, line);
        line += static_cast<char>(c);
    }
}

void closeLineReader(LineReader& reader) {
    if (reader.file) closeFile(reader.file);
    reader.file = 0;
}
