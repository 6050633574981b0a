// A batch file run end to end: the input (after one flag byte) is the file
// C:\work\b.txt, run by "batch&b.txt" in a small world (a file, a folder, a
// CD drive holding a file, an install record). Flag bits: 1 code page 932,
// 2 boxes answer Cancel, 4 dialogs answer a file.
#include "fuzz_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    unsigned flags = data[0];
    std::vector<std::string> world = {"batch&b.txt",
                                      "fC:\\work\\a.txt\tsome text",
                                      "dC:\\work\\folder",
                                      "fE:\\setup.exe\tx",
                                      "cE",
                                      "r2\tSoftware\\Acme\\Tool\\1.0\tisDir\tC:\\work\\folder\\",
                                      "fC:\\work\\kw.ini\tline1\\nAcme\\nTool\\n1.0\\nmarker.txt\\nsave&ok.txt&yes\\nsave&no.txt&no\\n"};
    if (flags & 1) world.push_back("j");
    if (flags & 2) world.push_back("b2222222222");
    if (flags & 4) world.push_back("aC:\\work\\chosen.txt");
    fuzzworld::setUp(world);
    fakeAddFile("C:\\work\\b.txt", std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    fuzzworld::runCommand(world[0]);
    return 0;
}
