// The code page the ANSI calls work in, as the in-memory platform models it
// (for memory_files.cpp and memory_registry.cpp, and the conversions of the
// controls): its characters, their upper case, and conversions from Unicode.
//
// NTFS and the registry compare names through an upper-case table: two names
// are the same when every character has the same upper case. The fake folds
// every name to one form per upper case (ASCII letters to lower case, the
// others to their lower-case partner in the code page), so that the folded
// name is the key of an entry.
#include <vector>

#include "platform/memory_model.h"

namespace {
// Bytes 0x80 to 0xFF of the single-byte code pages the fake knows, as
// MultiByteToWideChar gives them (a byte the page leaves undefined keeps its value).
const char16_t page1250[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};
const char16_t page1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};
// 1252: 0x80 to 0x9F; 0xA0 to 0xFF are Latin-1's own characters.
const char16_t page1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool knownSinglePage(unsigned page) { return page == 1250 || page == 1251 || page == 1252; }

char32_t unicodeOfByte(unsigned page, unsigned char byte) {
    if (byte < 0x80) return byte;
    if (page == 1250) return page1250[byte - 0x80];
    if (page == 1251) return page1251[byte - 0x80];
    return byte < 0xA0 ? page1252[byte - 0x80] : byte;
}

// Unicode's simple upper case for the letters of the code pages above, Greek,
// Cyrillic and the full-width Latin letters; other characters stay as they are.
// The dotless i and the long s, whose upper case is an ASCII letter, are left
// as they are too: NTFS's table does not make them equal to i and s.
char32_t upperCase(char32_t c) {
    auto pairEvenUpper = [c](char32_t first, char32_t last) { return c >= first && c <= last && (c - first) % 2 == 1; };
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c < 0x80) return c;
    if (c == 0xB5) return 0x39C;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (pairEvenUpper(0x100, 0x12F) || pairEvenUpper(0x132, 0x137) || pairEvenUpper(0x14A, 0x177)) return c - 1;
    if ((c >= 0x139 && c <= 0x148 && c % 2 == 0) || (c >= 0x179 && c <= 0x17E && c % 2 == 0)) return c - 1;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3C2) return 0x3A3;
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return c - 0x20;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (pairEvenUpper(0x460, 0x481) || pairEvenUpper(0x48A, 0x4BF) || pairEvenUpper(0x4D0, 0x52F)) return c - 1;
    if (c >= 0x4C1 && c <= 0x4CE && c % 2 == 0) return c - 1;
    if (c == 0x4CF) return 0x4C0;
    if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
    return c;
}

// The single-byte page's folding: each byte to the byte every byte of the
// same upper case folds to (its lower-case form where the page has one).
const unsigned char* foldTable(unsigned page) {
    static unsigned tablePage;
    static unsigned char table[256];
    if (tablePage == page) return table;
    for (unsigned b = 0; b < 256; ++b) {
        char32_t upper = upperCase(unicodeOfByte(page, static_cast<unsigned char>(b)));
        unsigned chosen = b;
        for (unsigned other = 0; other < 256; ++other) {
            char32_t unicode = unicodeOfByte(page, static_cast<unsigned char>(other));
            if (upperCase(unicode) == upper && unicode != upper) {
                chosen = other;
                break;
            }
        }
        table[b] = static_cast<unsigned char>(chosen);
    }
    tablePage = page;
    return table;
}

// The code point of one UTF-8 character as characters() cut it; 0xFFFD for a
// byte that starts no well-formed sequence.
char32_t decodeUtf8(const std::string& character) {
    unsigned char lead = static_cast<unsigned char>(character[0]);
    if (character.size() == 1) return lead < 0x80 ? lead : 0xFFFD;
    char32_t c = character.size() == 2 ? lead & 0x1F : character.size() == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t i = 1; i < character.size(); ++i) c = c << 6 | (static_cast<unsigned char>(character[i]) & 0x3F);
    return c;
}

std::size_t utf8Length(const std::string& text, std::size_t at) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
    if (lead >= 0xF5) length = 1;
    if (at + length > text.size()) return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
    return length;
}

// The full-width Latin letters of the double-byte code pages, as (first
// lower-case pair, first upper-case pair, count).
struct WideLetters {
    unsigned page, lower, upper, count;
};
const WideLetters wideLetters[] = {
    {932, 0x8281, 0x8260, 26}, {936, 0xA3E1, 0xA3C1, 26}, {949, 0xA3E1, 0xA3C1, 26},
    {950, 0xA2E9, 0xA2CF, 22}, {950, 0xA340, 0xA2E5, 4}};

std::string foldCharacter(const std::string& character) {
    unsigned char first = static_cast<unsigned char>(character[0]);
    if (character.size() == 1 && first < 0x80) return std::string(1, first >= 'A' && first <= 'Z' ? first + 0x20 : first);
    if (processWorksInUtf8()) {
        // A byte that begins no well-formed character is a character of its own.
        if (character.size() == 1) return character;
        char32_t upper = upperCase(decodeUtf8(character));
        if (upper >= 'A' && upper <= 'Z') return std::string(1, static_cast<char>(upper + 0x20));
        std::string folded;
        appendUtf8(folded, upper);
        return folded;
    }
    unsigned page = memory::ansiCodePage();
    if (character.size() == 1)
        return knownSinglePage(page) ? std::string(1, static_cast<char>(foldTable(page)[first])) : character;
    unsigned pair = first << 8 | static_cast<unsigned char>(character[1]);
    for (const WideLetters& letters : wideLetters)
        if (letters.page == page && pair >= letters.lower && pair < letters.lower + letters.count) {
            unsigned upper = letters.upper + (pair - letters.lower);
            return std::string{static_cast<char>(upper >> 8), static_cast<char>(upper & 0xFF)};
        }
    return character;
}
}  // namespace

void appendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace memory {
std::size_t characterSize(const std::string& text, std::size_t at) {
    unsigned char byte = static_cast<unsigned char>(text[at]);
    // A fakeWideCharacter marker ("\1{U+0141}") is one character of a name.
    if (byte == 1 && text.compare(at, 4, "\1{U+") == 0) {
        std::size_t close = text.find('}', at);
        if (close != std::string::npos) return close - at + 1;
    }
    if (byte < 0x80) return 1;
    if (processWorksInUtf8()) return utf8Length(text, at);
    return isLeadByte(byte) && at + 1 < text.size() ? 2 : 1;
}

std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> list;
    for (std::size_t at = 0, size; at < text.size(); at += size) {
        size = characterSize(text, at);
        list.push_back(text.substr(at, size));
    }
    return list;
}

std::string folded(const std::string& text) {
    std::string key;
    key.reserve(text.size());
    for (std::size_t at = 0, size; at < text.size(); at += size) {
        size = characterSize(text, at);
        char c = text[at];
        if (size == 1 && static_cast<unsigned char>(c) < 0x80) key += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c;
        else key += foldCharacter(text.substr(at, size));
    }
    return key;
}

std::size_t wideLength(const std::string& text) {
    std::size_t length = 0;
    for (std::size_t at = 0, size; at < text.size(); at += size) {
        size = characterSize(text, at);
        length += size == 4 ? 2 : 1;
    }
    return length;
}

std::size_t lastSeparator(const std::string& text) {
    std::size_t found = std::string::npos;
    for (std::size_t at = 0, size; at < text.size(); at += size) {
        size = characterSize(text, at);
        if (text[at] == '\\') found = at;
    }
    return found;
}
}  // namespace memory

// ---- conversions (controls: the .reg reader and the host's file names) ----

bool fakeTextFromUnicode(const std::u16string& text, std::string& bytes) {
    bytes.clear();
    bool exact = true;
    unsigned page = memory::ansiCodePage();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        bool surrogate = c >= 0xD800 && c < 0xE000;
        if (processWorksInUtf8() && !surrogate) {
            appendUtf8(bytes, c);
            continue;
        }
        if (c < 0x80) {
            bytes += static_cast<char>(c);
            continue;
        }
        int found = -1;
        for (unsigned b = 0x80; b < 0x100 && found < 0 && knownSinglePage(page) && !surrogate; ++b)
            if (unicodeOfByte(page, static_cast<unsigned char>(b)) == c) found = static_cast<int>(b);
        if (found < 0) exact = false;
        bytes += found < 0 ? '?' : static_cast<char>(found);
    }
    return exact;
}

bool fakeTextFromUtf8(const std::string& text, std::string& bytes) {
    std::u16string wide;
    bool wellFormed = true;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = utf8Length(text, at);
        std::string character = text.substr(at, length);
        at += length;
        char32_t c = length == 1 && static_cast<unsigned char>(character[0]) >= 0x80 ? 0xFFFD : decodeUtf8(character);
        if (c == 0xFFFD) wellFormed = false;
        if (c >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(c);
        }
    }
    return fakeTextFromUnicode(wide, bytes) && wellFormed;
}
