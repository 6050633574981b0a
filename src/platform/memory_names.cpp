// Names as Windows reads them, for memory_files.cpp: GetFullPathNameA's rules
// and the file system's limits (resolve), DOS device names, FindFirstFileA's
// wildcards and 8.3 names.
#include <vector>

#include "platform/memory_model.h"

namespace {
// FindFirstFile's pattern as NtQueryDirectoryFile takes it: trailing dots and
// blanks dropped; "?" becomes DOS_QM ">", a "." before "?" or "*" DOS_DOT
// "\"", and a "*" that ended in dots DOS_STAR "<".
std::vector<std::string> searchMask(const std::vector<std::string>& pattern) {
    std::vector<std::string> mask = pattern;
    bool noExtension = !mask.empty() && mask.back() == ".";
    while (!mask.empty() && (mask.back() == "." || mask.back() == " ")) mask.pop_back();
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == "." && i + 1 < mask.size() && (mask[i + 1] == "*" || mask[i + 1] == "?")) mask[i] = "\"";
        else if (mask[i] == "?") mask[i] = ">";
    }
    if (noExtension && !mask.empty() && mask.back() == "*") mask.back() = "<";
    return mask;
}

// Whether the name (from `n`) matches the mask (from `m`), with the DOS
// wildcards' meanings: "*" any characters; ">" one character, or none at a
// "." or the end; "\"" a "." or nothing at the end; "<" any characters but
// the name's last ".". `known` keeps the answers already worked out.
bool maskMatches(const std::vector<std::string>& mask, const std::vector<std::string>& name, std::size_t m,
                 std::size_t n, std::size_t lastDot, std::vector<signed char>& known) {
    signed char& answer = known[m * (name.size() + 1) + n];
    if (answer >= 0) return answer != 0;
    bool matches;
    bool end = n == name.size();
    if (m == mask.size()) {
        matches = end;
    } else if (mask[m] == "*") {
        matches = maskMatches(mask, name, m + 1, n, lastDot, known) || (!end && maskMatches(mask, name, m, n + 1, lastDot, known));
    } else if (mask[m] == "<") {
        matches = maskMatches(mask, name, m + 1, n, lastDot, known) ||
                  (!end && n != lastDot && maskMatches(mask, name, m, n + 1, lastDot, known));
    } else if (mask[m] == ">") {
        matches = end || name[n] == "." ? maskMatches(mask, name, m + 1, n, lastDot, known)
                                        : maskMatches(mask, name, m + 1, n + 1, lastDot, known);
    } else if (mask[m] == "\"") {
        matches = end ? maskMatches(mask, name, m + 1, n, lastDot, known)
                      : name[n] == "." && maskMatches(mask, name, m + 1, n + 1, lastDot, known);
    } else {
        matches = !end && mask[m] == name[n] && maskMatches(mask, name, m + 1, n + 1, lastDot, known);
    }
    answer = matches ? 1 : 0;
    return matches;
}

bool validShortCharacter(const std::string& character) {
    if (character.size() > 1 || static_cast<unsigned char>(character[0]) >= 0x80) return true;
    char c = character[0];
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           std::string("!#$%&'()-@^_`{}~").find(c) != std::string::npos;
}
const unsigned long pathNotFound = 3, invalidName = 123, nameTooLong = 206, badNetworkPath = 53;
const std::size_t maxPath = 260;       // MAX_PATH, the terminating zero included
const std::size_t maxComponent = 255;  // NTFS's longest name

char upperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool isDriveLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The DOS device a last name stands for in any folder, as Windows 10 reads
// it: the part before its first "." or ":", without trailing blanks, in
// any case ("nul.txt", "Aux ", "com1:"); "" for a file's name.
std::string deviceOf(const std::string& leaf) {
    std::string base = leaf.substr(0, leaf.find_first_of(".:"));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = upperLetter(c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$") return base;
    // COM1 to COM9 and LPT1 to LPT9, also with the superscript digits of 1252 (0xB9, 0xB2, 0xB3).
    bool port = base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0);
    unsigned char digit = port ? static_cast<unsigned char>(base[3]) : 0;
    bool superscript = !processWorksInUtf8() && (digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
    return port && ((digit >= '1' && digit <= '9') || superscript) ? base : "";
}

}  // namespace

namespace memory {
bool hasWildcard(const std::string& name) { return name.find_first_of("*?<>") != std::string::npos; }

bool patternMatches(const std::string& pattern, const std::string& name) {
    std::vector<std::string> mask = searchMask(characters(folded(pattern)));
    std::vector<std::string> leaf = characters(folded(name));
    if (mask.empty() || leaf.empty()) return false;
    std::size_t lastDot = leaf.size();
    for (std::size_t i = 0; i < leaf.size(); ++i)
        if (leaf[i] == ".") lastDot = i;
    std::vector<signed char> known((mask.size() + 1) * (leaf.size() + 1), -1);
    return maskMatches(mask, leaf, 0, 0, lastDot, known);
}

std::string shortNameOf(const std::string& name) {
    std::vector<std::string> all = characters(name);
    std::size_t dot = all.size();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] == ".") dot = i;
    bool valid = dot > 0 && dot <= 8 && all.size() - (dot < all.size() ? dot + 1 : dot) <= 3;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (i != dot && !validShortCharacter(all[i])) valid = false;
    if (valid) return "";
    std::string base, extension;
    for (std::size_t i = 0; i < dot && base.size() < 6; ++i)
        if (all[i] != "." && all[i] != " ") base += validShortCharacter(all[i]) ? all[i] : "_";
    for (std::size_t i = dot + 1; i < all.size() && extension.size() < 3; ++i)
        if (all[i] != " ") extension += validShortCharacter(all[i]) ? all[i] : "_";
    return base + "~1" + (extension.empty() ? "" : "." + extension);
}

void collapsePath(const std::string& root, const std::string& rest, std::string& full, bool& endsInSeparator) {
    std::vector<std::string> parts;
    std::string component;
    std::vector<std::string> all = characters(rest);
    bool writtenWithSeparator = !all.empty() && all.back() == "\\";
    all.push_back("\\");
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] != "\\") {
            component += all[i];
            continue;
        }
        if (component == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!component.empty() && component != ".") {
            // A directory's name loses one trailing dot.
            if (i + 1 < all.size() && component.back() == '.') component.pop_back();
            parts.push_back(component);
        }
        component.clear();
    }
    endsInSeparator = writtenWithSeparator;
    // The last name loses all its trailing dots and blanks (one that is
    // nothing else vanishes, leaving its directory).
    if (!writtenWithSeparator && !parts.empty()) {
        std::string& final = parts.back();
        std::size_t keep = final.find_last_not_of(". ");
        if (keep == std::string::npos) {
            parts.pop_back();
            endsInSeparator = true;
        } else {
            final.erase(keep + 1);
        }
    }
    full = root;
    for (std::size_t i = 0; i < parts.size(); ++i) full += (i ? "\\" : "") + parts[i];
}

Resolved resolve(const std::string& name, bool wildcardsInLastName) {
    Resolved r{"", "", false, 0, ""};
    std::string given = name;
    bool literal = given.compare(0, 4, "\\\\?\\") == 0;
    if (literal) {
        given.erase(0, 4);
    } else {
        std::vector<std::string> all = characters(given);
        given.clear();
        for (std::string& character : all) given += character == "/" ? "\\" : character;
    }
    if (given.empty()) {
        r.error = pathNotFound;
        return r;
    }
    if (given.size() >= 2 && given[0] == '\\' && given[1] == '\\') {
        r.error = badNetworkPath;
        return r;
    }
    const std::string currentDirectory = currentDirectoryNow();
    std::string root, rest;
    if (given.size() >= 2 && given[1] == ':' && isDriveLetter(given[0])) {
        root = std::string(1, upperLetter(given[0])) + ":\\";
        if (given.size() > 2 && given[2] == '\\') {
            rest = given.substr(3);
        } else {
            // "C:x": against the current directory when it is on that drive, else
            // the drive's root (a process started without "=C:" in its environment).
            std::string base = upperLetter(currentDirectory[0]) == root[0] ? currentDirectory : root;
            rest = base.substr(3) + (base.size() > 3 ? "\\" : "") + given.substr(2);
        }
    } else if (literal) {
        r.error = pathNotFound;
        return r;
    } else {
        root = std::string(1, upperLetter(currentDirectory[0])) + ":\\";
        rest = given[0] == '\\' ? given.substr(1) : currentDirectory.substr(3) + "\\" + given;
    }
    if (literal) {
        r.endsInSeparator = !rest.empty() && rest.back() == '\\';
        while (!rest.empty() && rest.back() == '\\') rest.pop_back();
        r.full = root + rest;
    } else {
        collapsePath(root, rest, r.full, r.endsInSeparator);
    }
    std::string component;
    std::vector<std::string> all = characters(r.full.substr(3));
    std::size_t lastName = all.size();
    while (lastName > 0 && all[lastName - 1] != "\\") --lastName;
    all.push_back("\\");
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& character = all[i];
        if (character != "\\") {
            unsigned char c = static_cast<unsigned char>(character[0]);
            const char* refused = wildcardsInLastName && i >= lastName ? "\"|:" : "\"*:<>?|";
            if (character.size() == 1 && (c < 0x20 || std::string(refused).find(static_cast<char>(c)) != std::string::npos))
                r.error = invalidName;
            component += character;
            continue;
        }
        if (wideLength(component) > maxComponent) r.error = invalidName;
        component.clear();
    }
    // The ANSI name is converted into a buffer of MAX_PATH + 1 characters; the
    // absolute path must fit MAX_PATH with its terminating zero.
    if (!literal && (wideLength(name) > maxPath || wideLength(r.full) >= maxPath)) r.error = nameTooLong;
    r.key = folded(r.full);
    std::size_t slash = lastSeparator(given);
    if (!literal && !r.endsInSeparator) r.device = deviceOf(given.substr(slash == std::string::npos ? (given.size() >= 2 && given[1] == ':' ? 2 : 0) : slash + 1));
    if (!r.device.empty()) r.error = 0;
    return r;
}
}  // namespace memory
