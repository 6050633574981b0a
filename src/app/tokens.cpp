#include "app/tokens.h"

#include <vector>

#include "app/text.h"
#include "install/install.h"

namespace {
// The lead bytes of the ANSI code page, asked once per expansion: the
// expansion looks at every byte of texts that can grow to megabytes.
struct LeadBytes {
    bool lead[256];
    bool any;  // whether the code page has double-byte characters at all
};

// Where a token's value comes from: a fixed text, or a Windows call asked anew
// for every occurrence. A call that fails or whose answer does not fit its
// 260-byte buffer gives no value.
typedef bool (*DirectoryCall)(std::string& directory);

bool programFiles(std::string& directory) {
    directory = "C:\\Program Files";
    return true;
}

struct Token {
    const char* text;
    DirectoryCall value;
};
// In the order of expansion, after "%APP%". Text a replacement inserts is
// searched again for its own token and the later ones, never the earlier ones.
const Token directoryTokens[] = {
    {"%WIN%", getWindowsDirectory},
    {"%TEMP%", getTempPath},
    {"%PROG%", programFiles},
    {"%SYS%", getSystemDirectory},
};

// Replaces every occurrence of one token. The rule is that of a search that
// starts again from the beginning of the text as it now stands after every
// replacement, so that inserted text is searched too, with two guards that
// keep it finite: an occurrence whose value cannot be had stays in place and
// the search goes on after it; and a value that holds the token itself would
// be found again for ever, so the search goes on past the inserted value.
// `fixedValue` is used when `call` is null.
//
// Done literally that is quadratic (a 32 K line of "%APP%" took over a
// minute), so the text is built in one pass instead: `out` is the text as it
// stands up to the search position, and what is still to be searched is the
// inserted values not yet passed (innermost last) followed by the rest of
// the text. Only an occurrence that ends in text not yet searched can be new,
// and since every value ends in "\", which no token holds, an occurrence can
// only begin in `out` and end in a value inserted right after it, or lie in
// the text: checking at the end of `out` after each character finds exactly
// the occurrences the literal search finds, in the same order.
void replaceToken(std::string& text, const std::string& token, DirectoryCall call, const std::string& fixedValue,
                  const LeadBytes& codePage) {
    if (text.find(token) == std::string::npos) return;  // not even across a character boundary
    auto isLead = [&](char c) { return codePage.lead[static_cast<unsigned char>(c)]; };
    struct Inserted {
        std::string value;
        std::size_t next;
    };
    std::vector<Inserted> inserted;
    std::size_t nextInText = 0;
    std::string out;
    // Room for every occurrence of a fixed value at once, so that a text
    // growing to megabytes is not copied again at every doubling.
    std::size_t room = text.size();
    if (!call)
        for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + token.size()))
            room += fixedValue.size() + 1;
    out.reserve(room);
    std::size_t searchFrom = 0;                  // no occurrence starts before this
    std::size_t trailAt = std::string::npos;     // second byte of the last double-byte character in out

    // The next byte still to be searched, taken off the input; false at the end.
    auto takeByte = [&](char& byte) {
        while (!inserted.empty() && inserted.back().next == inserted.back().value.size()) inserted.pop_back();
        if (!inserted.empty()) {
            byte = inserted.back().value[inserted.back().next++];
            return true;
        }
        if (nextInText == text.size()) return false;
        byte = text[nextInText++];
        return true;
    };
    // Appends a text that is not searched, keeping the character boundaries.
    auto appendUnsearched = [&](const std::string& value) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            out += value[i];
            if (isLead(value[i]) && i + 1 < value.size()) {
                out += value[++i];
                trailAt = out.size() - 1;
            }
        }
    };

    // The last value asked for, with its trailing backslash and whether it
    // holds the token: a call gives the same directory every time.
    std::string lastAnswer, lastValue;
    bool lastHoldsToken = false, asked = false;

    // Without double-byte characters in the code page two runs need no look
    // byte by byte: text up to the next byte equal to the token's last one
    // (only such a byte can complete an occurrence), and an inserted value
    // past its first token-length-minus-one bytes (an occurrence ending there
    // would lie wholly inside the value, which holds no token; one ending
    // later cannot begin inside it, as the value ends in "\"). Both are
    // copied whole: a 32 K line of tokens inserts megabytes.
    char byte;
    for (;;) {
        if (!codePage.any) {
            if (!inserted.empty()) {
                Inserted& top = inserted.back();
                if (top.next >= token.size() - 1 && top.next < top.value.size()) {
                    out.append(top.value, top.next, std::string::npos);
                    top.next = top.value.size();
                }
            } else if (nextInText < text.size()) {
                std::size_t stop = text.find(token.back(), nextInText);
                if (stop == std::string::npos) stop = text.size();
                out.append(text, nextInText, stop - nextInText);
                nextInText = stop;
            }
        }
        if (!takeByte(byte)) break;
        out += byte;
        if (isLead(byte)) {
            // A lead byte and the byte after it are one character; a lead
            // byte as the very last byte stands alone.
            char trail;
            if (takeByte(trail)) {
                out += trail;
                trailAt = out.size() - 1;
            }
            continue;
        }
        // Tokens are plain ASCII, none of their bytes a lead byte: an
        // occurrence ending here begins on a character boundary unless its
        // first byte is the second byte of a double-byte character.
        if (byte != token.back() || out.size() < token.size()) continue;
        std::size_t at = out.size() - token.size();
        if (at < searchFrom || at == trailAt || out.compare(at, token.size(), token) != 0) continue;
        std::string value = fixedValue;
        if (call && !call(value)) {
            searchFrom = out.size();
            continue;
        }
        if (!asked || value != lastAnswer) {
            asked = true;
            lastAnswer = value;
            lastValue = withTrailingBackslash(value);
            lastHoldsToken = findText(lastValue, token) != std::string::npos;
        }
        out.resize(at);
        if (lastHoldsToken) {
            appendUnsearched(lastValue);
            searchFrom = out.size();
        } else {
            inserted.push_back(Inserted{lastValue, 0});
        }
    }
    text.swap(out);
}
}  // namespace

std::string expandPathTokens(Handle instance, const std::string& text) {
    if (text.find('%') == std::string::npos) return text;
    LeadBytes codePage;
    codePage.any = false;
    for (int b = 0; b < 256; ++b) {
        codePage.lead[b] = isLeadByte(static_cast<unsigned char>(b));
        codePage.any = codePage.any || codePage.lead[b];
    }
    std::string result = text;
    if (text.find("%APP%") != std::string::npos && findText(result, "%APP%") != std::string::npos) {
        std::string location = lookupInstalledLocation(instance, "kw.ini");
        // Nothing recorded: every "%APP%" stays as it stands.
        if (location != notAvailable) replaceToken(result, "%APP%", nullptr, location, codePage);
    }
    for (const Token& token : directoryTokens) replaceToken(result, token.text, token.value, std::string(), codePage);
    return result;
}
