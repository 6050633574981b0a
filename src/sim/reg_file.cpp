// The .reg reader: the text `reg export` and regedit write, read as regedit
// reads it.
#include <cstdlib>

#include "platform/memory_platform.h"
#include "sim/sim.h"

namespace {
const char* header5 = "Windows Registry Editor Version 5.00";
const char* header4 = "REGEDIT4";
const std::size_t maxDepth = 512;          // levels of keys below a root
const std::size_t maxKeyName = 256;        // characters of one key's name (Windows takes 256)
const std::size_t maxValueName = 16383;

// UTF-16LE bytes from `start` as UTF-16 units.
std::u16string utf16Units(const std::string& bytes, std::size_t start) {
    std::u16string units;
    units.reserve((bytes.size() - start) / 2);
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return units;
}

// UTF-16 units as UTF-8, losing nothing (a lone surrogate keeps its value).
std::string utf8Of(const std::u16string& units) {
    std::string text;
    text.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        unsigned long c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        appendUtf8(text, c);
    }
    return text;
}

// The characters of a text of the file: UTF-8 sequences in a UTF-16 file, bytes in an ANSI one.
std::size_t characterCount(const std::string& text, bool utf16File) {
    if (!utf16File) return text.size();
    std::size_t count = 0;
    for (unsigned char c : text) count += (c & 0xC0) != 0x80;
    return count;
}

bool startsWithNoCase(const std::string& text, std::size_t at, const std::string& prefix) {
    if (text.size() - at < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = text[at + i], b = prefix[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

// The root and the path below it; the 32-bit view's WOW6432Node folded away.
bool splitKey(const std::string& key, Handle& root, std::string& path) {
    static const struct { const char* name; Handle root; } roots[] = {
        {"HKEY_LOCAL_MACHINE", rootLocalMachine}, {"HKEY_CURRENT_USER", rootCurrentUser},
        {"HKEY_CLASSES_ROOT", rootClassesRoot},   {"HKEY_USERS", rootUsers},
        {"HKLM", rootLocalMachine},               {"HKCU", rootCurrentUser},
        {"HKCR", rootClassesRoot},                {"HKU", rootUsers}};
    for (auto& candidate : roots) {
        std::string name = candidate.name;
        if (!startsWithNoCase(key, 0, name) || (key.size() > name.size() && key[name.size()] != '\\')) continue;
        root = candidate.root;
        path = key.size() > name.size() ? key.substr(name.size() + 1) : std::string();
        if (root == rootLocalMachine && startsWithNoCase(path, 0, "Software\\WOW6432Node") &&
            (path.size() == 20 || path[20] == '\\'))
            path.erase(8, 12);
        return true;
    }
    return false;
}

// Whether the key's path keeps Windows' limits; the message when it does not.
bool keyWithinLimits(const std::string& path, bool utf16File, std::string& message) {
    std::size_t depth = 0, start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            if (++depth > maxDepth) {
                message = "a key more than " + std::to_string(maxDepth) + " levels deep";
                return false;
            }
            if (characterCount(path.substr(start, end - start), utf16File) > maxKeyName) {
                message = "a key name of more than " + std::to_string(maxKeyName) + " characters";
                return false;
            }
        }
        start = end + 1;
    }
    return true;
}

// A quoted text at `at` ("\\" and "\"" escaped); `at` moves past its closing quote.
bool quoted(const std::string& line, std::size_t& at, std::string& text) {
    if (at >= line.size() || line[at] != '"') return false;
    text.clear();
    for (++at; at < line.size(); ++at) {
        if (line[at] == '"') {
            ++at;
            return true;
        }
        if (line[at] == '\\' && at + 1 < line.size()) ++at;
        text += line[at];
    }
    return false;
}

bool hexBytes(const std::string& text, std::string& bytes) {
    bytes.clear();
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        if (at >= text.size()) break;
        std::size_t end = text.find(',', at);
        std::string pair = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        while (!pair.empty() && (pair.back() == ' ' || pair.back() == '\t')) pair.pop_back();
        char* stop = nullptr;
        unsigned long value = std::strtoul(pair.c_str(), &stop, 16);
        if (pair.empty() || pair.size() > 2 || *stop) return false;
        bytes += static_cast<char>(value);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return true;
}

// A text of the file as the ANSI calls give it: a UTF-16 file's texts
// converted to the code page (exact false when a character has no place
// there), an ANSI file's as they stand.
std::string ansiText(const std::string& text, bool utf16File, bool& exact) {
    exact = true;
    if (!utf16File) return text;
    std::string bytes;
    exact = fakeTextFromUtf8(text, bytes);
    return bytes;
}

// The data after "=": text, dword:, hex: or hex(N):, or "-" for a deletion.
// Texts in a version 5 file's hex(1), hex(2) and hex(7) data are UTF-16.
bool valueData(const std::string& data, bool utf16File, bool unicodeHexTexts, RegChange& change, std::string& error) {
    if (data == "-") {
        change.kind = RegChange::deleteValue;
        return true;
    }
    change.kind = RegChange::setValue;
    if (!data.empty() && data[0] == '"') {
        std::size_t at = 0;
        std::string text;
        if (!quoted(data, at, text) || at != data.size()) {
            error = "a text value must be one quoted text";
            return false;
        }
        change.type = 1;
        change.bytes = ansiText(text, utf16File, change.exact) + '\0';
        return true;
    }
    if (startsWithNoCase(data, 0, "dword:")) {
        std::string digits = data.substr(6);
        char* stop = nullptr;
        unsigned long value = std::strtoul(digits.c_str(), &stop, 16);
        if (digits.size() != 8 || *stop) {
            error = "dword: takes eight hex digits";
            return false;
        }
        change.type = 4;
        change.bytes.clear();
        for (int i = 0; i < 4; ++i) change.bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        return true;
    }
    if (startsWithNoCase(data, 0, "hex")) {
        std::size_t colon = data.find(':');
        std::string type = data.substr(3, colon == std::string::npos ? std::string::npos : colon - 3);
        change.type = 3;
        if (!type.empty()) {
            char* stop = nullptr;
            unsigned long number = std::strtoul(type.c_str() + 1, &stop, 16);
            if (type.size() < 3 || type[0] != '(' || type.back() != ')' || stop != type.c_str() + type.size() - 1) {
                error = "hex( takes a hex type number and \")\"";
                return false;
            }
            change.type = static_cast<unsigned>(number);
        }
        if (colon == std::string::npos || !hexBytes(data.substr(colon + 1), change.bytes)) {
            error = "hex data must be two-digit hex bytes separated by commas";
            return false;
        }
        if (unicodeHexTexts && (change.type == 1 || change.type == 2 || change.type == 7))
            change.exact = fakeTextFromUnicode(utf16Units(change.bytes, 0), change.bytes);
        return true;
    }
    error = "unknown value data \"" + data + "\"";
    return false;
}

// The logical lines of the text: CRs dropped, trailing blanks too, and a
// value line whose data is not a quoted text goes on in the next line while
// it ends in "\". Each keeps the number of its first line.
std::vector<std::pair<int, std::string>> logicalLines(const std::string& text) {
    std::vector<std::pair<int, std::string>> lines;
    int number = 0;
    bool continued = false, mayContinue = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++number;
        std::string kept;
        kept.reserve(end - start);
        for (std::size_t i = start; i < end; ++i)
            if (text[i] != '\r') kept += text[i];
        start = end + 1;
        while (!kept.empty() && (kept.back() == ' ' || kept.back() == '\t')) kept.pop_back();
        if (continued) {
            std::size_t first = kept.find_first_not_of(" \t");
            if (first != std::string::npos) lines.back().second.append(kept, first, std::string::npos);
        } else {
            mayContinue = !kept.empty() && kept[0] != '[' && kept.find('=') != std::string::npos &&
                          kept.find("=\"") == std::string::npos;
            lines.emplace_back(number, std::move(kept));
        }
        std::string& last = lines.back().second;
        continued = mayContinue && !last.empty() && last.back() == '\\';
        if (continued) last.pop_back();
        if (end == text.size()) break;
    }
    return lines;
}
}  // namespace

bool parseRegFile(const std::string& bytes, std::vector<RegChange>& changes, std::string& error) {
    bool utf16File = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE;
    std::string text = utf16File ? utf8Of(utf16Units(bytes, 2)) : bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;

    bool unicodeHexTexts = false, headerSeen = false, inKey = false;
    Handle root = 0;
    for (auto& numbered : logicalLines(text)) {
        const std::string& line = numbered.second;
        auto fault = [&](const std::string& message) {
            error = "line " + std::to_string(numbered.first) + ": " + message;
            return false;
        };
        if (line.empty() || line[0] == ';') continue;
        if (!headerSeen) {
            if (line != header5 && line != header4) return fault(std::string("expected \"") + header5 + "\" or \"" + header4 + "\"");
            unicodeHexTexts = line == header5;
            headerSeen = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') return fault("a key line ends in \"]\"");
            bool deletion = line.size() > 1 && line[1] == '-';
            std::string key = line.substr(deletion ? 2 : 1, line.size() - (deletion ? 3 : 2)), path, message;
            if (!splitKey(key, root, path)) return fault("unknown root key in \"" + key + "\"");
            if (!keyWithinLimits(path, utf16File, message)) return fault(message);
            bool exact;
            changes.push_back(RegChange{deletion ? RegChange::deleteKey : RegChange::createKey, root,
                                        ansiText(path, utf16File, exact), "", 0, "", true});
            inKey = !deletion;
            continue;
        }
        if (!inKey) return fault("a value outside a key");
        RegChange change{RegChange::setValue, root, "", "", 0, "", true};
        std::size_t at = 0;
        std::string name;
        if (line[0] == '@') {
            at = 1;
        } else if (!quoted(line, at, name)) {
            return fault("a value name is quoted, or @ for the default value");
        }
        if (characterCount(name, utf16File) > maxValueName)
            return fault("a value name of more than " + std::to_string(maxValueName) + " characters");
        bool exact;
        change.name = ansiText(name, utf16File, exact);
        if (at >= line.size() || line[at] != '=') return fault("\"=\" expected after the value name");
        std::string message;
        if (!valueData(line.substr(at + 1), utf16File, unicodeHexTexts, change, message)) return fault(message);
        changes.push_back(std::move(change));
    }
    if (!headerSeen) {
        error = std::string("line 1: expected \"") + header5 + "\" or \"" + header4 + "\"";
        return false;
    }
    return true;
}
