#include "app/text.h"

#include <climits>

#include "platform/platform.h"

const char* const notAvailable = "na";
const char* const notGiven = "none";

std::size_t findText(const std::string& text, const std::string& what, std::size_t from) {
    if (what.empty()) return std::string::npos;
    const std::size_t size = text.size();
    std::size_t i = from;
    while (i < size) {
        if (size - i < what.size()) return std::string::npos;
        if (text[i] == what[0] && text.compare(i, what.size(), what) == 0) return i;
        // A lead byte and its trail byte form one character; a lead byte as the
        // very last byte stands alone.
        i += (isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < size) ? 2 : 1;
    }
    return std::string::npos;
}

void splitField(const std::string& text, std::string& field, std::string& rest) {
    std::size_t at = findText(text, "&");
    if (at == std::string::npos) {
        field.clear();
        rest = text;
        return;
    }
    field = text.substr(0, at);
    rest = text.substr(at + 1);
}

std::string takeField(std::string& rest) {
    std::string field, remaining;
    splitField(rest, field, remaining);
    rest.swap(remaining);
    return field;
}

std::string replaceEach(const std::string& text, const std::string& what, const std::string& with) {
    std::string out;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = findText(text, what, from);
        if (at == std::string::npos) break;
        out.append(text, from, at - from);
        out += with;
        from = at + what.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

namespace {
bool continuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// How many bytes the UTF-8 sequence a lead byte opens takes, 0 for a byte
// that opens none (a continuation byte, C0, C1, F5 to FF).
std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}
}  // namespace

std::size_t lastCharacterStart(const std::string& text) {
    if (text.empty()) return std::string::npos;
    if (textsAreUtf8()) {
        // Back over at most three continuation bytes to the byte that opens
        // them; bytes that form no sequence count one by one.
        std::size_t last = text.size() - 1, start = last;
        while (start > 0 && last - start < 3 && continuationByte(static_cast<unsigned char>(text[start]))) --start;
        return utf8SequenceLength(static_cast<unsigned char>(text[start])) == last - start + 1 ? start : last;
    }
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i < text.size();) {
        last = i;
        i += (isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
    }
    return last;
}

std::size_t utf8CharacterLength(const std::string& bytes, std::size_t at) {
    auto byte = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    const unsigned lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return 0;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}

bool wellFormedUtf8(const std::string& text) {
    for (std::size_t i = 0, length; i < text.size(); i += length)
        if (!(length = utf8CharacterLength(text, i))) return false;
    return true;
}

bool endsWithBackslash(const std::string& text) {
    std::size_t last = lastCharacterStart(text);
    return last != std::string::npos && last == text.size() - 1 && text[last] == '\\';
}

std::string withTrailingBackslash(const std::string& text) {
    return endsWithBackslash(text) ? text : text + "\\";
}

bool namesItemBelow(const std::string& name) {
    bool anyPart = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size();) {
        if (i == name.size() || name[i] == '\\' || name[i] == '/') {
            std::string part = name.substr(start, i - start);
            if (!part.empty()) {
                if (part.find_first_not_of(" .") == std::string::npos) return false;
                anyPart = true;
            }
            start = ++i;
        } else {
            i += (isLeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) ? 2 : 1;
        }
    }
    return anyPart;
}

namespace {
bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Whether the text holds the prefix at `at`, letters in any case, "/" as "\".
// The prefix is written in lower case with "\".
bool holdsAt(const std::string& text, std::size_t at, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i) {
        if (at + i >= text.size()) return false;
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == '/') c = '\\';
        if (c != prefix[i]) return false;
    }
    return true;
}

// Whether "server\share..." from `at` names a share that is a server's pipes
// or mailslots.
bool namesDeviceShare(const std::string& name, std::size_t at) {
    std::size_t i = at;
    while (i < name.size() && !isSeparator(name[i]))
        i += isLeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size() ? 2 : 1;
    if (i == at || i >= name.size()) return false;
    ++i;
    for (const char* share : {"pipe", "mailslot"}) {
        std::size_t length = std::string(share).size();
        if (holdsAt(name, i, share) && (i + length == name.size() || isSeparator(name[i + length]))) return true;
    }
    return false;
}
}  // namespace

bool namesDevice(const std::string& name) {
    if (name.size() < 3 || !isSeparator(name[0])) return false;
    // The Win32 device namespace.
    if (holdsAt(name, 0, "\\\\.") && (name.size() == 3 || isSeparator(name[3]))) return true;
    // The rest goes to the NT namespace as it stands: a file only as a drive
    // path, a share or a volume's path; anything else is an object there.
    if (holdsAt(name, 0, "\\\\?\\") || holdsAt(name, 0, "\\??\\")) {
        const std::size_t rest = 4;
        char letter = name.size() > rest ? static_cast<char>(name[rest] | 0x20) : 0;
        if (name.size() >= rest + 3 && letter >= 'a' && letter <= 'z' && name[rest + 1] == ':' &&
            isSeparator(name[rest + 2]))
            return false;
        if (holdsAt(name, rest, "unc\\")) return namesDeviceShare(name, rest + 4);
        if (holdsAt(name, rest, "volume{")) {
            std::size_t close = name.find('}', rest);
            return close == std::string::npos || close + 1 >= name.size() || !isSeparator(name[close + 1]);
        }
        return true;
    }
    return isSeparator(name[1]) && namesDeviceShare(name, 2);
}

bool parseDecimal(const std::string& text, int& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    long long number = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
        if (number > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) number = -number;
    if (number > INT_MAX || number < INT_MIN) return false;
    value = static_cast<int>(number);
    return true;
}
