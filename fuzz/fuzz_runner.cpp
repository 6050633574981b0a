// The whole runner on an arbitrary command line, in a world the input sets up
// (see fuzz_world.h): every command is reachable, boxes and dialogs answer
// from the input, files and registry live in memory.
#include "fuzz_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines = fuzzworld::splitLines(std::string(reinterpret_cast<const char*>(data), size));
    fuzzworld::setUp(lines);
    fuzzworld::runCommand(lines[0]);
    return 0;
}
