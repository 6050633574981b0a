#include "app/boxes.h"
#include "app/dispatch.h"
#include "app/fields.h"
#include "app/runner.h"
#include "app/text.h"
#include "app/tokens.h"
#include "lint/lint.h"

namespace {
struct TokenMeaning {
    const char* token;
    const char* meaning;
};
const TokenMeaning tokenMeanings[] = {
    {"%APP%", "the directory recorded for the product kw.ini names (stays as it is when none is)"},
    {"%WIN%", "the Windows directory"},
    {"%TEMP%", "the folder for temporary files"},
    {"%PROG%", "C:\\Program Files\\ on every machine"},
    {"%SYS%", "the Windows system directory"},
};

std::string afterFirstQuote(const std::string& text, std::string& out, bool& found) {
    std::size_t quote = findText(text, "\"");
    found = quote != std::string::npos;
    out = found ? text.substr(quote + 1) : text;
    return out;
}
}  // namespace

std::string explainCommandLine(const std::string& commandLine, bool expandTokens) {
    std::string out = "Command line: " + shownText(commandLine) + "\n";

    // 1. The leading-quote rule.
    std::string line = commandLine;
    if (!line.empty() && line[0] == '"') {
        line = line.size() <= 2 ? std::string() : line.substr(1, line.size() - 2);
        out += "1. Leading double quote: the line begins with one, so its first and last characters go: " +
               shownText(line) + "\n";
        for (int pass = 0; pass < 2; ++pass) {
            bool found = false;
            afterFirstQuote(line, line, found);
            if (found)
                out += "   then everything up to and including its first double quote goes: " + shownText(line) + "\n";
        }
    } else {
        out += "1. Leading double quote: none, the line stays as it is\n";
    }

    // 2. and 3. The split and the argument text.
    line = dropLeadingQuotes(commandLine);  // what the runner goes on with, shown step by step above
    std::string word, arguments;
    splitField(line, word, arguments);
    if (findText(line, "&") == std::string::npos)
        out += "2. Command word: none (the line holds no \"&\"); the whole line is the argument text\n";
    else
        out += "2. Command word: " + shownText(word) + " (the text before the first \"&\")\n";
    out += "3. Argument text: " + shownText(arguments) + "\n";
    std::string barred = replaceEach(arguments, "|", " ");
    if (barred != arguments) out += "   every \"|\" becomes a blank: " + shownText(barred) + "\n";
    arguments = barred;
    bool anyToken = false;
    for (const TokenMeaning& token : tokenMeanings)
        if (findText(arguments, token.token) != std::string::npos) {
            out += std::string("   path token ") + token.token + ": " + token.meaning + "\n";
            anyToken = true;
        }
    if (anyToken) {
        if (expandTokens) {
            arguments = expandPathTokens(0, arguments);
            out += "   after the path tokens: " + shownText(arguments) + "\n";
        } else {
            out += "   (the path tokens are shown by name here; on Windows they are expanded)\n";
        }
    }

    // 4. to 6. The table entry, the fields and what happens.
    const CommandEntry* entry = findCommand(word);
    if (!entry) {
        if (word.empty()) {
            out += "4. Table entry: none; the command word is empty\n";
            out += "5. Fields: none; the argument text is not used\n";
            out += "6. What it does: run the install check on \"kw.ini\" in the current directory: line 6 of kw.ini "
                   "when the product it names is installed, otherwise line 7\n";
        } else if (findText(word, ".") != std::string::npos) {
            out += "4. Table entry: none; the command word holds \".\", so it is a file name\n";
            out += "5. Fields: none; the whole argument text is the text to write\n";
            out += "6. What it does: write " + shownText(arguments) + " into the file " + shownText(word) +
                   ", created or emptied first\n";
        } else {
            std::string nearest = nearestCommandWord(word);
            out += "4. Table entry: none (command words are compared exactly, case included)" +
                   (nearest.empty() ? std::string() : "; did you mean \"" + nearest + "\"?") + "\n";
            out += "5. Fields: none\n";
            out += "6. What it does: do nothing; the word holds no \".\", so it is no file name either\n";
        }
        out += "Nothing has been run.\n";
        return out;
    }
    int index = static_cast<int>(entry - commandTable) + 1;
    out += "4. Table entry " + std::to_string(index) + " of " + std::to_string(commandCount) + ":";
    for (const char* alias : entry->words)
        if (alias) out += std::string(" \"") + alias + "\"";
    out += "\n";
    if (entry->escapesFirst)
        out += "   the whole argument text first goes through the text escapes (\"&&\" a line break, \"%TAB%\" a tab): " +
               shownText(applyTextEscapes(arguments)) + "\n";
    std::vector<NamedField> fields = commandFields(*entry, arguments);
    int separators = fieldSeparators(*entry, arguments);
    if (fields.empty()) out += "5. Fields: none\n";
    else out += "5. Fields:\n";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        out += "   " + std::to_string(i + 1) + ". " + fields[i].name + ": " + shownText(fields[i].value);
        if (i + 1 == fields.size() && fields.size() > 1) out += " (the rest)";
        bool missing = static_cast<int>(i) >= separators && i + 1 < fields.size();
        if (missing || fields[i].value.empty()) {
            std::string consequence = listItem(entry->whenEmpty, static_cast<int>(i));
            if (!consequence.empty() && consequence[0] == '~') consequence.erase(0, 1);
            out += missing ? " -- empty: no \"&\" is left for it, so " + consequence : " -- empty, so " + consequence;
        }
        out += "\n";
    }
    out += std::string("6. What it does: ") + entry->does + "\n";
    out += "Nothing has been run.\n";
    return out;
}
