// expandPathTokens on an arbitrary text (line 1) in a world the input sets
// up: directories that are long, empty, failing or that hold tokens
// themselves ("w" directive), a check file and install record for "%APP%".
// It must end, leave nothing open, and leave a text without "%" unchanged.
#include "app/tokens.h"
#include "fuzz_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines = fuzzworld::splitLines(std::string(reinterpret_cast<const char*>(data), size));
    fuzzworld::setUp(lines);
    std::string result = expandPathTokens(fuzzworld::instance, lines[0]);
    fuzzworld::checkAfterRun();
    if (lines[0].find('%') == std::string::npos && result != lines[0]) std::abort();
    // Values hold at most 259 bytes and a "\": each token adds a bounded
    // amount, so an expansion that grows without end is a fault.
    if (result.size() > lines[0].size() * 300 + 300) std::abort();
    return 0;
}
