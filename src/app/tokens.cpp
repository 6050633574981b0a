#include "app/tokens.h"

#include "app/text.h"
#include "install/install.h"

namespace {
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

// Replaces every occurrence of one token, each time searching again from the
// start of the text as it now is, so that inserted text is searched too. Two
// guards keep this finite: an occurrence whose value cannot be had stays in
// place and the search goes on after it; and a value that holds the token
// itself would be found again for ever, so after it the search goes on past
// the inserted value. `fixedValue` is used when `call` is null.
std::string replaceToken(const std::string& text, const std::string& token, DirectoryCall call,
                         const std::string& fixedValue) {
    std::string result = text;
    std::size_t searchFrom = 0;
    for (;;) {
        std::size_t at = findText(result, token, searchFrom);
        if (at == std::string::npos) return result;
        std::string value = fixedValue;
        if (call && !call(value)) {
            searchFrom = at + token.size();
            continue;
        }
        value = withTrailingBackslash(value);
        result.replace(at, token.size(), value);
        if (findText(value, token) != std::string::npos) searchFrom = at + value.size();
    }
}
}  // namespace

std::string expandPathTokens(Handle instance, const std::string& text) {
    std::string result = text;
    if (findText(result, "%APP%") != std::string::npos) {
        std::string location = lookupInstalledLocation(instance, "kw.ini");
        // Nothing recorded: every "%APP%" stays as it stands.
        if (location != notAvailable) result = replaceToken(result, "%APP%", nullptr, location);
    }
    for (const Token& token : directoryTokens) result = replaceToken(result, token.text, token.value, std::string());
    return result;
}
