#include "app/line_reader.h"

namespace {
const char ctrlZ = 0x1A;

// The next byte of the file with every CR dropped, or -1 at the end (the end
// of the file, a Ctrl-Z, or a read that failed).
int nextByte(LineReader& reader) {
    for (;;) {
        if (reader.next == reader.filled) {
            long got = readFileBytes(reader.file, reader.block, sizeof reader.block);
            if (got <= 0) return -1;
            reader.next = 0;
            reader.filled = static_cast<std::size_t>(got);
        }
        char c = reader.block[reader.next];
        if (c == '\r') {
            ++reader.next;
            continue;
        }
        if (c == ctrlZ) return -1;  // not consumed: the file ends here for good
        return static_cast<unsigned char>(c);
    }
}
}  // namespace

bool openLineReader(LineReader& reader, const std::string& fileName) {
    reader.file = openFileForReading(fileName);
    reader.ended = false;
    reader.next = reader.filled = 0;
    return reader.file != 0;
}

std::string readLine(LineReader& reader) {
    std::string line;
    if (reader.ended) return line;
    for (;;) {
        int c = nextByte(reader);
        if (c < 0) {
            reader.ended = true;
            return line;
        }
        if (line.size() == maxLineLength) {
            // A full line: an LF right after it ends it normally; anything else
            // is a line that does not fit, and the reader fails.
            if (c == '\n') ++reader.next;
            else reader.ended = true;
            return line;
        }
        ++reader.next;
        if (c == '\n') return line;
        line += static_cast<char>(c);
    }
}

void closeLineReader(LineReader& reader) {
    if (reader.file) closeFile(reader.file);
    reader.file = 0;
}
