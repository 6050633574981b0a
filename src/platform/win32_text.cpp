// Exact conversions of the texts Windows hands back (see win32_text.h).
#include "platform/win32_text.h"

#include <windows.h>

#include <vector>

namespace {
const unsigned codePageUtf8 = 65001;

bool highSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool lowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point starting at wide[i], and how many units it takes.
unsigned long codePointAt(const wchar_t* wide, std::size_t length, std::size_t i, std::size_t& units) {
    if (highSurrogate(wide[i]) && i + 1 < length && lowSurrogate(wide[i + 1])) {
        units = 2;
        return 0x10000 + ((static_cast<unsigned long>(wide[i]) - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
    }
    units = 1;
    return wide[i];
}

// WideCharToMultiByte into a buffer that holds any result (at most 3 bytes
// a unit in UTF-8, 2 in a double-byte code page); false when it fails.
bool convert(unsigned page, DWORD flags, const wchar_t* wide, std::size_t length, std::string& text, BOOL* usedDefault) {
    if (length > 0x3FFFFFF) return false;
    std::vector<char> buffer(length * 3 + 1);
    int count = WideCharToMultiByte(page, flags, wide, static_cast<int>(length), buffer.data(),
                                    static_cast<int>(buffer.size()), nullptr, usedDefault);
    if (count <= 0) return false;
    text.assign(buffer.data(), static_cast<std::size_t>(count));
    return true;
}

// Whether the text reads back as exactly the UTF-16 it came from.
bool readsBack(unsigned page, const std::string& text, const wchar_t* wide, std::size_t length) {
    std::vector<wchar_t> back(length + 1);
    int count = MultiByteToWideChar(page, 0, text.data(), static_cast<int>(text.size()), back.data(),
                                    static_cast<int>(back.size()));
    if (count < 0 || static_cast<std::size_t>(count) != length) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (back[i] != wide[i]) return false;
    return true;
}

// One conversion to an ANSI code page, without best fit, with the default
// character never used, and read back to the same UTF-16: Microsoft's advice
// for names, whose double-byte code pages have characters that convert to
// bytes reading back as another character.
bool exactInCodePage(unsigned page, const wchar_t* wide, std::size_t length, std::string& text) {
    BOOL usedDefault = FALSE;
    return convert(page, WC_NO_BEST_FIT_CHARS, wide, length, text, &usedDefault) && !usedDefault &&
           readsBack(page, text, wide, length);
}
}  // namespace

#ifdef HOSTCMD_UTF8
// hostcmd-utf8.exe: UTF-8 whatever the ANSI code page (it runs nothing where Windows did not make that UTF-8).
unsigned processCodePage() { return codePageUtf8; }
#else
unsigned processCodePage() {
    static unsigned page;  // asked once: every conversion needs it
    if (!page) page = GetACP();
    return page;
}
#endif

bool textsAreUtf8() { return processCodePage() == codePageUtf8; }

std::size_t wideLength(const wchar_t* wide) {
    std::size_t length = 0;
    while (wide[length]) ++length;
    return length;
}

std::wstring wideText(const std::string& text) {
    if (text.empty()) return std::wstring();
    std::vector<wchar_t> buffer(text.size() + 1);
    int count = MultiByteToWideChar(processCodePage(), 0, text.data(), static_cast<int>(text.size()), buffer.data(),
                                    static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), count > 0 ? static_cast<std::size_t>(count) : 0);
}

bool exactText(const wchar_t* wide, std::size_t length, std::string& text, unsigned long& missing) {
    text.clear();
    if (length == 0) return true;
    unsigned page = processCodePage();
    if (page == codePageUtf8) {
        // Every code point has a UTF-8 form; a surrogate without its partner
        // has none (Windows would write U+FFFD, the name of another file).
        for (std::size_t i = 0, units = 0; i < length; i += units) {
            unsigned long c = codePointAt(wide, length, i, units);
            if (c >= 0xD800 && c <= 0xDFFF) {
                missing = c;
                return false;
            }
        }
        return convert(page, 0, wide, length, text, nullptr);
    }
    if (exactInCodePage(page, wide, length, text)) return true;
    // The first character that has no exact form, for the trace.
    missing = wide[0];
    std::string one;
    for (std::size_t i = 0, units = 0; i < length; i += units) {
        unsigned long c = codePointAt(wide, length, i, units);
        if (!exactInCodePage(page, wide + i, units, one)) {
            missing = c;
            break;
        }
    }
    text.clear();
    return false;
}

bool exactAnswer(const char* call, const wchar_t* wide, std::string& text, TraceArgument a) {
    unsigned long missing = 0;
    if (exactText(wide, wideLength(wide), text, missing)) return true;
    traceInexact(call, missing, a);
    return false;
}

bool exactDirectory(const char* call, const wchar_t* directory, std::string& text, TraceArgument a) {
    unsigned long missing = 0;
    if (exactText(directory, wideLength(directory), text, missing)) return true;
    // The short name names the very same directory, and Windows keeps one
    // for every component that needs it (unless 8.3 names are off on that
    // volume: then the long name comes back, and fails again below).
    wchar_t shortName[MAX_PATH];
    DWORD length = GetShortPathNameW(directory, shortName, MAX_PATH);
    unsigned long ignored = 0;
    if (length > 0 && length < MAX_PATH && exactText(shortName, length, text, ignored)) return true;
    text.clear();
    traceInexact(call, missing, a);
    return false;
}
