// Texts Windows hands back and their exact conversion (the model of
// win32_text.cpp): a fakeWideCharacter marker stands for a UTF-16 character
// the ANSI code page lacks; in the UTF-8 build it converts to UTF-8.
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/memory_model.h"

using namespace memory;

namespace {
const std::string marker = "\1{U+";
std::map<std::string, std::string> shortNames;  // lower-case long path -> short path

// The held text in the process code page; false with the first character
// that has no exact form there.
bool convertHeld(const std::string& held, std::string& text, unsigned long& missing) {
    text.clear();
    std::size_t from = 0;
    for (;;) {
        std::size_t at = held.find(marker, from);
        std::size_t close = at == std::string::npos ? at : held.find('}', at);
        if (close == std::string::npos) break;
        text.append(held, from, at - from);
        unsigned long c = std::strtoul(held.substr(at + marker.size(), close - at - marker.size()).c_str(), nullptr, 16);
        if (!textsAreUtf8() || (c >= 0xD800 && c <= 0xDFFF)) {
            missing = c;
            text.clear();
            return false;
        }
        appendUtf8(text, c);
        from = close + 1;
    }
    text.append(held, from, std::string::npos);
    return true;
}
}  // namespace

std::string fakeWideCharacter(unsigned long codePoint) {
    char text[24];
    std::snprintf(text, sizeof text, "\1{U+%04lX}", codePoint);
    return text;
}

void fakeSetShortName(const std::string& longPath, const std::string& shortPath) { shortNames[lower(longPath)] = shortPath; }

namespace memory {
void resetText() { shortNames.clear(); }

bool exactAnswer(const char* call, const std::string& held, std::string& text, std::initializer_list<std::string> arguments) {
    unsigned long missing = 0;
    if (convertHeld(held, text, missing)) return true;
    failedInexact(call, missing, arguments);
    return false;
}

bool exactDirectory(const char* call, const std::string& held, std::string& text,
                    std::initializer_list<std::string> arguments) {
    unsigned long missing = 0;
    if (convertHeld(held, text, missing)) return true;
    // The longest long path the answer begins with, replaced by its short name.
    std::string key = lower(held);
    for (auto it = shortNames.rbegin(); it != shortNames.rend(); ++it) {
        const std::string& path = it->first;
        bool begins = key.compare(0, path.size(), path) == 0 &&
                      (key.size() == path.size() || key[path.size()] == '\\' || path.back() == '\\');
        unsigned long ignored = 0;
        if (begins && convertHeld(it->second + held.substr(path.size()), text, ignored)) return true;
    }
    failedInexact(call, missing, arguments);
    return false;
}
}  // namespace memory
