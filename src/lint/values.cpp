// The checks of one command line's field values against the kinds the
// command table gives its fields, and of the path tokens in its text.
#include <cctype>

#include "app/boxes.h"
#include "app/fields.h"
#include "app/text.h"
#include "lint/lint.h"

namespace {
const char* const pathTokens[] = {"%APP%", "%WIN%", "%TEMP%", "%PROG%", "%SYS%"};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string upperCase(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

void add(std::vector<Finding>& findings, const std::string& file, int line, bool error, const std::string& message) {
    findings.push_back(Finding{file, line, error, message});
}

// Flag values that say "keep" or "yes" in another spelling than TRUE.
bool looksLikeYes(const std::string& value) {
    std::string v = upperCase(trimmed(value));
    return v == "TRUE" || v == "T" || v == "YES" || v == "Y" || v == "1" || v == "ON" || v == "KEEP";
}
bool looksLikeNo(const std::string& value) {
    std::string v = upperCase(trimmed(value));
    return v == "FALSE" || v == "F" || v == "NO" || v == "N" || v == "0" || v == "OFF" || v == "OVERWRITE";
}

// A text that begins as a whole path does: a drive, a "\" or a path token.
bool startsAPath(const std::string& text) {
    if (text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':') return true;
    return !text.empty() && (text[0] == '\\' || text[0] == '%');
}

// The argument text cut at every "&" where the handler splits it.
std::vector<std::string> piecesOf(const CommandEntry& entry, const std::string& arguments) {
    std::string text = entry.escapesFirst ? applyTextEscapes(arguments) : arguments;
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t at = findText(text, "&"); at != std::string::npos; at = findText(text, "&", at + 1)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::string consequenceOf(const CommandEntry& entry, int index) {
    std::string consequence = listItem(entry.whenEmpty, index);
    if (!consequence.empty() && consequence[0] == '~') consequence.erase(0, 1);
    return consequence;
}

bool isNameKind(const std::string& kind) { return kind == "path" || kind == "reply" || kind == "key"; }

// A "&" that the author meant inside a field that is not the last: written
// between blanks ("Tom & Jerry"), or in a name whose text goes on as a path
// after it ("C:\R&D\notes.txt") on a line with more "&" than fields.
bool checkAmpersandInside(const std::string& file, int line, const std::string& where, const CommandEntry& entry,
                          const std::vector<std::string>& pieces, std::vector<Finding>& findings) {
    int count = fieldCount(entry);
    for (int i = 0; i + 1 < count && i + 1 < static_cast<int>(pieces.size()); ++i) {
        const std::string& before = pieces[i];
        const std::string& after = pieces[i + 1];
        bool betweenBlanks = !before.empty() && isBlank(before.back()) && !after.empty() && isBlank(after[0]);
        std::size_t slash = findText(after, "\\");
        std::size_t cut = before.find_last_of('\\');
        std::string lastPart = cut == std::string::npos ? before : before.substr(cut + 1);  // a folder cut short has no "."
        bool pathGoesOn = isNameKind(listItem(entry.kinds, i)) && static_cast<int>(pieces.size()) > count &&
                          !lastPart.empty() && lastPart.find('.') == std::string::npos && slash != std::string::npos &&
                          slash > 0 && after.find_first_of(" \t") > slash && !startsAPath(after);
        if (!betweenBlanks && !pathGoesOn) continue;
        std::string name = listItem(entry.fields, i);
        add(findings, file, line, true,
            where + "the \"&\" in " + quoted(before + "&" + after) + " ends the " + name +
                ": a \"&\" always separates fields (only the last field may hold one), so the " + name + " is " +
                quoted(before) + " and " + quoted(after) + " goes into the " + listItem(entry.fields, i + 1) +
                (betweenBlanks ? "; rename it without \"&\", or, if the \"&\" separates, drop the blanks around it"
                               : "; rename it without \"&\""));
        return true;
    }
    return false;
}

// More "&" than the command takes fields, where the last field cannot
// sensibly hold one: a flag, a reply file, or a path followed by what reads
// as a further path or flag.
bool checkFieldTooMany(const std::string& file, int line, const std::string& where, const CommandEntry& entry,
                       const std::string& arguments, const std::vector<std::string>& pieces,
                       std::vector<Finding>& findings) {
    int count = fieldCount(entry);
    if (count == 0 || static_cast<int>(pieces.size()) <= count) return false;
    std::string kind = listItem(entry.kinds, count - 1);
    const std::string& extra = pieces[count];
    if (!(kind == "flag" || kind == "reply" ||
          (kind == "path" && (startsAPath(extra) || looksLikeYes(extra) || looksLikeNo(extra)))))
        return false;
    std::string value = commandFields(entry, arguments).back().value;
    std::string name = listItem(entry.fields, count - 1);
    std::string effect = kind == "flag"    ? ", not TRUE, so " + consequenceOf(entry, count - 1)
                         : kind == "reply" ? ": the answer goes into a file of that name"
                                           : ", \"&\" and all, as one name";
    add(findings, file, line, true,
        where + "one field too many: the command takes " + std::to_string(count) + (count == 1 ? " field" : " fields") +
            " (" + entry.fields + "), so the last field (" + name + ") is " + quoted(value) + effect +
            "; drop the extra field or give it a command line of its own");
    return true;
}
}  // namespace

std::string quoted(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string shown = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F) {
            shown += "\\x";
            shown += hex[c >> 4];
            shown += hex[c & 15];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown + "\"";
}

void checkFieldValues(const std::string& file, int line, const std::string& where, const CommandEntry& entry,
                      const std::string& arguments, int present, std::vector<Finding>& findings) {
    std::vector<std::string> pieces = piecesOf(entry, arguments);
    if (checkAmpersandInside(file, line, where, entry, pieces, findings)) return;
    if (checkFieldTooMany(file, line, where, entry, arguments, pieces, findings)) return;
    std::vector<NamedField> fields = commandFields(entry, arguments);
    for (int i = 0; i < static_cast<int>(fields.size()) && i < present; ++i) {
        const std::string kind = listItem(entry.kinds, i);
        const std::string& name = fields[i].name;
        const std::string& value = fields[i].value;
        std::string consequence = listItem(entry.whenEmpty, i);
        bool harmless = !consequence.empty() && consequence[0] == '~';
        if (harmless) consequence.erase(0, 1);
        int number = 0;
        if (kind == "root" && value != "HKCR" && value != "HKCU" && value != "HKLM" && value != "HKU") {
            std::string key = upperCase(trimmed(value)), suggestion;
            if (key == "HKEY_CLASSES_ROOT" || key == "HKCR") suggestion = "HKCR";
            if (key == "HKEY_CURRENT_USER" || key == "HKCU") suggestion = "HKCU";
            if (key == "HKEY_LOCAL_MACHINE" || key == "HKLM") suggestion = "HKLM";
            if (key == "HKEY_USERS" || key == "HKU") suggestion = "HKU";
            add(findings, file, line, true,
                where + "root name " + quoted(value) +
                    " is not one of HKCR, HKCU, HKLM, HKU (exactly so): the command does nothing" +
                    (suggestion.empty() ? std::string() : "; write " + suggestion));
        } else if (kind == "number" && !parseDecimal(value, number)) {
            add(findings, file, line, true,
                where + name + " " + quoted(value) +
                    " is not a decimal whole number, which the command cannot use (write a number such as 0)");
        } else if (kind == "flag" && value != "TRUE" && looksLikeYes(value)) {
            add(findings, file, line, true,
                where + "flag " + quoted(value) + " is not TRUE: " + consequence +
                    " (only TRUE, in capitals and alone, keeps it)");
        } else if (kind == "flag" && !value.empty() && value != "TRUE" && !looksLikeNo(value)) {
            add(findings, file, line, false,
                where + "flag " + quoted(value) + " is neither TRUE nor FALSE: " + consequence +
                    " (only TRUE keeps it)");
        } else if ((kind == "path" || kind == "reply" || kind == "document") && value.empty() && !harmless) {
            add(findings, file, line, true, where + "the " + name + " is empty, so " + consequence);
        } else if ((kind == "path" || kind == "reply") && value.find('"') != std::string::npos) {
            add(findings, file, line, true,
                where + "the " + name + " " + quoted(value) +
                    " holds double quotes: they become part of the name, which no file can have (write the path "
                    "without quotes; blanks need none)");
        } else if ((kind == "path" || kind == "reply") && value != trimmed(value)) {
            add(findings, file, line, true,
                where + "the " + name + " " + quoted(value) +
                    " begins or ends with a blank: hostcmd passes it on as part of the name");
        } else if (kind == "key" && value.find('/') != std::string::npos) {
            add(findings, file, line, true,
                where + "the " + name + " " + quoted(value) +
                    " holds \"/\": the registry takes it as part of one key's name, not as a separator (write "
                    "\"\\\")");
        } else if (kind == "key" && !value.empty() && value[0] == '\\') {
            add(findings, file, line, true,
                where + "the " + name + " " + quoted(value) +
                    " begins with \"\\\": Windows refuses a key path that does, so the command does nothing "
                    "(the path is taken below the root: write it without the leading \"\\\")");
        }
    }
}

void checkTokens(const std::string& file, int line, const std::string& text, std::vector<Finding>& findings) {
    for (std::size_t at = text.find('%'); at != std::string::npos;) {
        std::size_t end = at + 1;
        if (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end])))
            while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_' ||
                                         text[end] == '(' || text[end] == ')'))
                ++end;
        if (end == at + 1 || end >= text.size() || text[end] != '%') {
            at = text.find('%', at + 1);
            continue;
        }
        std::string written = text.substr(at, end - at + 1), upper = upperCase(written), token;
        for (const char* known : pathTokens)
            if (upper == known) token = known;
        if (written == token || written == "%TAB%") {
            // a path token, or the tab escape of the texts that take escapes
        } else if (!token.empty()) {
            add(findings, file, line, true,
                quoted(written) + " is not a path token (tokens are upper case: " + token +
                    "); it stays in the text as it is");
        } else if (upper != "%TAB%") {
            std::string nearest = nearestToken(written);
            add(findings, file, line, true,
                "unknown path token " + quoted(written) + ": it stays in the text as it is; " +
                    (nearest.empty() ? std::string("the tokens are %APP% %WIN% %TEMP% %PROG% %SYS%")
                                     : "use " + nearest));
        }
        at = text.find('%', end + 1);
    }
}
