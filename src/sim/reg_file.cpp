// The .reg reader: the text `reg export` and regedit write.
#include <cstdlib>

#include "sim/sim.h"

namespace {
const char* header5 = "Windows Registry Editor Version 5.00";
const char* header4 = "REGEDIT4";

// UTF-16LE (after its byte order mark) to ANSI bytes: what is not one byte becomes "?".
std::string narrowUtf16(const std::string& bytes, std::size_t start) {
    std::string text;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        unsigned c = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        text += c <= 0xFF ? static_cast<char>(c) : '?';
    }
    return text;
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

// The data after "=": text, dword:, hex: or hex(N):, or "-" for a deletion.
bool valueData(const std::string& data, bool unicodeFile, RegChange& change, std::string& error) {
    if (data == "-") {
        change.kind = RegChange::deleteValue;
        return true;
    }
    change.kind = RegChange::setValue;
    if (!data.empty() && data[0] == '"') {
        std::size_t at = 0;
        if (!quoted(data, at, change.bytes) || at != data.size()) {
            error = "a text value must be one quoted text";
            return false;
        }
        change.type = 1;
        change.bytes += '\0';
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
        // Texts in a Unicode export are UTF-16; the product reads them as ANSI.
        if (unicodeFile && (change.type == 1 || change.type == 2 || change.type == 7))
            change.bytes = narrowUtf16(change.bytes, 0);
        return true;
    }
    error = "unknown value data \"" + data + "\"";
    return false;
}
}  // namespace

bool parseRegFile(const std::string& bytes, std::vector<RegChange>& changes, std::string& error) {
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        text = narrowUtf16(bytes, 2);
    else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text = bytes.substr(3);
    else
        text = bytes;

    // Lines, CRs dropped; a line ending in "\" goes on in the next one.
    std::vector<std::pair<int, std::string>> lines;
    int number = 0;
    bool continued = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        std::string kept;
        for (char c : line)
            if (c != '\r') kept += c;
        if (continued) {
            std::size_t first = kept.find_first_not_of(" \t");
            lines.back().second += first == std::string::npos ? "" : kept.substr(first);
        } else {
            lines.emplace_back(number, kept);
        }
        std::string& last = lines.back().second;
        while (!last.empty() && (last.back() == ' ' || last.back() == '\t')) last.pop_back();
        continued = !last.empty() && last.back() == '\\' && last.find('=') != std::string::npos &&
                    last[0] != '[' && last.find("=\"") == std::string::npos;
        if (continued) last.pop_back();
        if (end == text.size()) break;
    }

    bool unicodeFile = false, headerSeen = false, inKey = false;
    Handle root = 0;
    std::string path;
    for (auto& numbered : lines) {
        const std::string& line = numbered.second;
        auto fault = [&](const std::string& message) {
            error = "line " + std::to_string(numbered.first) + ": " + message;
            return false;
        };
        if (line.empty() || line[0] == ';') continue;
        if (!headerSeen) {
            if (line != header5 && line != header4) return fault(std::string("expected \"") + header5 + "\" or \"" + header4 + "\"");
            unicodeFile = line == header5;
            headerSeen = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') return fault("a key line ends in \"]\"");
            bool deletion = line.size() > 1 && line[1] == '-';
            std::string key = line.substr(deletion ? 2 : 1, line.size() - (deletion ? 3 : 2));
            if (!splitKey(key, root, path)) return fault("unknown root key in \"" + key + "\"");
            changes.push_back(RegChange{deletion ? RegChange::deleteKey : RegChange::createKey, root, path, "", 0, ""});
            inKey = !deletion;
            continue;
        }
        if (!inKey) return fault("a value outside a key");
        RegChange change{RegChange::setValue, root, path, "", 0, ""};
        std::size_t at = 0;
        if (line[0] == '@') {
            at = 1;
        } else if (!quoted(line, at, change.name)) {
            return fault("a value name is quoted, or @ for the default value");
        }
        if (at >= line.size() || line[at] != '=') return fault("\"=\" expected after the value name");
        std::string message;
        if (!valueData(line.substr(at + 1), unicodeFile, change, message)) return fault(message);
        changes.push_back(change);
    }
    if (!headerSeen) {
        error = std::string("line 1: expected \"") + header5 + "\" or \"" + header4 + "\"";
        return false;
    }
    return true;
}
