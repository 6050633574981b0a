// The in-memory platform: the unit tests and hostcmd-sim link it instead of
// Windows (see memory_platform.h). This file keeps the call log and the
// failures every call goes through; the models of the calls sit beside the
// names of their Windows twins: memory_files.cpp (win32_files.cpp),
// memory_registry.cpp (win32_registry.cpp), memory_ui.cpp (win32_ui.cpp) and
// memory_trace.cpp (win32_trace.cpp); the code page and the rules by which
// Windows reads names are in memory_code_page.cpp and memory_names.cpp.
#include <cstdio>
#include <map>

#include "platform/memory_model.h"

std::vector<std::string> fakeCalls;
std::vector<FakeFailedCall> fakeFailedCalls;

namespace {
std::map<std::string, int> callCounts;
std::map<std::string, int> failRules;  // name -> nth (0 = all)
int failNumber;
int failFrom;
Handle nextHandle;
}  // namespace

namespace memory {
Handle newHandle() { return nextHandle += 4; }

void failed(const char* call, unsigned long code, std::initializer_list<std::string> arguments) {
    std::string line = std::string("    ") + call + "(";
    bool first = true;
    for (const std::string& argument : arguments) {
        if (!first) line += ", ";
        first = false;
        if (!argument.empty() && argument[0] == '\1') {
            line += argument.substr(1);
            continue;
        }
        line += '"';
        for (unsigned char c : argument) {
            if (c == '\r') line += "<CR>";
            else if (c == '\n') line += "<LF>";
            else if (c == '\t') line += "<TAB>";
            else if (c < 0x20 || c == 0x7F) {
                const char* hex = "0123456789ABCDEF";
                line += std::string("<0x") + hex[c >> 4] + hex[c & 15] + ">";
            } else line += static_cast<char>(c);
        }
        line += '"';
    }
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, code > 0xFFFF ? "0x%lX" : "%lu", code);
    line += std::string(") failed: error ") + code_text;
    fakeFailedCalls.push_back(FakeFailedCall{fakeCalls.size(), line});
}

bool failing(const char* call) {
    fakeCalls.push_back(call);
    int count = ++callCounts[call];
    if (failNumber && static_cast<int>(fakeCalls.size()) == failNumber) return true;
    if (failFrom && static_cast<int>(fakeCalls.size()) >= failFrom) return true;
    auto rule = failRules.find(call);
    return rule != failRules.end() && (rule->second == 0 || rule->second == count);
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}
}  // namespace memory

void fakeReset() {
    fakeCalls.clear();
    fakeFailedCalls.clear();
    callCounts.clear();
    failRules.clear();
    failNumber = 0;
    failFrom = 0;
    nextHandle = 0x1000;
    memory::resetFiles();
    memory::resetRegistry();
    memory::resetUi();
    memory::resetTrace();
}

void fakeFail(const std::string& call, int nth) { failRules[call] = nth; }
void fakeFailCallNumber(int k) { failNumber = k; }
void fakeFailCallsFrom(int k) { failFrom = k; }
