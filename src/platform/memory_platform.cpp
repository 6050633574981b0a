// The in-memory platform: the unit tests and hostcmd-sim link it instead of
// Windows (see memory_platform.h). This file keeps the call log and the
// failures every call goes through; the models of the calls sit beside the
// names of their Windows twins: memory_files.cpp (win32_files.cpp),
// memory_registry.cpp (win32_registry.cpp), memory_ui.cpp (win32_ui.cpp) and
// memory_trace.cpp (win32_trace.cpp); the code page and the rules by which
// Windows reads names are in memory_code_page.cpp and memory_names.cpp.
#include <cstdio>
#include <map>
#include <set>

#include "platform/memory_model.h"

std::vector<std::string> fakeCalls;
std::vector<FakeFailedCall> fakeFailedCalls;

namespace {
std::map<std::string, int> callCounts;
std::map<std::string, int> failRules;  // name -> nth (0 = all)
int failNumber;
int failFrom;
Handle nextHandle;

unsigned long version;
unsigned long session;
std::set<std::string> removed;

// The calls newer than XP that the platform looks up, and the Windows that
// brought each; every other call is there from XP on.
struct NewerCall {
    const char* name;
    unsigned long since;
};
const NewerCall newerCalls[] = {
    {"SetThreadErrorMode", windows7},
};

ChangeObserver observer;
bool observerRunning;
}  // namespace

void setChangeObserver(ChangeObserver newObserver) { observer = newObserver; }

namespace memory {
Handle newHandle() { return nextHandle += 4; }

namespace {
void keepFailure(const char* call, std::initializer_list<std::string> arguments, const std::string& failure) {
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
    line += ") failed: " + failure;
    fakeFailedCalls.push_back(FakeFailedCall{fakeCalls.size(), line});
}
}  // namespace

void failed(const char* call, unsigned long code, std::initializer_list<std::string> arguments) {
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, code > 0xFFFF ? "0x%lX" : "%lu", code);
    keepFailure(call, arguments, std::string("error ") + code_text);
}

void failedInexact(const char* call, unsigned long character, std::initializer_list<std::string> arguments) {
    char text[64];
    std::snprintf(text, sizeof text, "U+%04lX has no exact form in code page %u", character,
                  textsAreUtf8() ? 65001u : ansiCodePage());
    keepFailure(call, arguments, text);
}

bool failing(const char* call) {
    fakeCalls.push_back(call);
    int count = ++callCounts[call];
    if (failNumber && static_cast<int>(fakeCalls.size()) == failNumber) return true;
    if (failFrom && static_cast<int>(fakeCalls.size()) >= failFrom) return true;
    auto rule = failRules.find(call);
    return rule != failRules.end() && (rule->second == 0 || rule->second == count);
}

bool present(const char* windowsFunction) {
    if (removed.count(windowsFunction)) return false;
    for (const NewerCall& call : newerCalls)
        if (std::string(call.name) == windowsFunction) return version >= call.since;
    return true;
}

unsigned long sessionNow() { return session; }

bool changesObserved() { return observer && !observerRunning; }

void reportChange(ChangeKind kind, bool created, Handle root, const std::string& name, const std::string& valueName) {
    if (!changesObserved()) return;
    observerRunning = true;
    observer(Change{kind, created, root, kind == changeKey || kind == changeValue ? name : absoluteName(name), valueName});
    observerRunning = false;
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
    version = windows10 | 19045;  // 10 22H2
    session = 1;
    removed.clear();
    observer = nullptr;
    observerRunning = false;
    memory::resetProcess();
    memory::resetFiles();
    memory::resetRegistry();
    memory::resetUi();
    memory::resetTrace();
    memory::resetText();
}

void fakeFail(const std::string& call, int nth) { failRules[call] = nth; }
void fakeFailCallNumber(int k) { failNumber = k; }
void fakeFailCallsFrom(int k) { failFrom = k; }

void fakeSetWindowsVersion(unsigned long windows) {
    version = windows;
    memory::modelStartUp();
}
void fakeSetSession(unsigned long id) { session = id; }
void fakeRemoveFunction(const std::string& windowsFunction) {
    removed.insert(windowsFunction);
    memory::modelStartUp();
}

unsigned long windowsVersion() {
    fakeCalls.push_back("windowsVersion");
    return version;
}
bool processSession(unsigned long& id) {
    if (memory::failing("processSession")) return false;
    id = session;
    return true;
}
