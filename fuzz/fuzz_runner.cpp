// The whole runner on an arbitrary command line, in a world the input sets up
// (see fuzz_world.h): every command is reachable, boxes and dialogs answer
// from the input, files and registry live in memory.
#include "fuzz_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines = fuzzworld::splitLines(std::string(reinterpret_cast<const char*>(data), size));
    // The entry point's own step, on the same line as a whole process
    // command line: what it leaves is an end of the line, without leading blanks.
    std::string tail = commandLineTail(lines[0]);
    if (tail.size() > lines[0].size() || lines[0].compare(lines[0].size() - tail.size(), tail.size(), tail) != 0)
        std::abort();
    if (!tail.empty() && (tail[0] == ' ' || tail[0] == '\t')) std::abort();
    fuzzworld::setUp(lines);
    fuzzworld::runCommand(lines[0]);
    return 0;
}
