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
    // No bound on the size: directories that hold later tokens multiply
    // legitimately (a token's value is searched for the tokens after it).
    // An expansion that never ends is caught by the fuzzer's time limit.
    return 0;
}
