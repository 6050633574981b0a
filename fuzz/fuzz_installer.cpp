// An installer file run end to end: the input (after one flag byte) is the
// file C:\work\setup.txt, run by "install&setup.txt" (or, with flag bit 8, as
// a check file by "installCheck&setup.txt"). Flag bits: 1 code page 932,
// 2 boxes answer Cancel/No, 4 the folder browser picks C:\Apps, 16 the
// shutdown privilege is refused, 32 the install record exists.
#include "fuzz_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    unsigned flags = data[0];
    std::vector<std::string> world = {flags & 8 ? "installCheck&setup.txt" : "install&setup.txt",
                                      "fC:\\work\\files\\app.exe\tprogram",
                                      "fC:\\work\\files\\readme.txt\ttext",
                                      "r1\tSoftware\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\tDesktop\tC:\\Desk",
                                      "r1\tSoftware\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\tPrograms\tC:\\Menu\\Programs",
                                      "dC:\\Desk",
                                      "dC:\\Menu\\Programs"};
    if (flags & 1) world.push_back("j");
    if (flags & 2) world.push_back("b27272727");
    if (flags & 4) world.push_back("aC:\\Apps");
    if (flags & 16) world.push_back("R");
    if (flags & 32) world.push_back("r2\tSoftware\\Acme\\Tool\\1.0\tisDir\tC:\\Apps\\");
    fuzzworld::setUp(world);
    fakeAddFile("C:\\work\\setup.txt", std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    fuzzworld::runCommand(world[0]);
    return 0;
}
