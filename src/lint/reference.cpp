// hostcmd-lint --reference: the command reference in Markdown, made from the
// command table itself, so that the README's reference cannot drift from
// what hostcmd does.
#include <string>

#include "app/dispatch.h"
#include "lint/lint.h"

namespace {
// A table cell: "|" would end the cell, a line end the row.
std::string cell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += "\\|";
        else if (c == '\n' || c == '\r') out += ' ';
        else out += c;
    }
    return out;
}

// "a&b&c" as "a & b & c"; no fields as a dash.
std::string fieldList(const char* fields) {
    std::string text = fields ? fields : "";
    if (text.empty()) return "—";
    std::string out;
    for (char c : text) {
        if (c == '&') out += " & ";
        else out += c;
    }
    return cell(out);
}
}  // namespace

std::string commandReference() {
    std::string out =
        "| Command words | Fields | What it does | Reply |\n"
        "|---|---|---|---|\n";
    for (int i = 0; i < commandCount; ++i) {
        const CommandEntry& entry = commandTable[i];
        std::string words;
        for (const char* word : entry.words) {
            if (!word) continue;
            if (!words.empty()) words += ", ";
            words += std::string("`") + word + "`";
        }
        std::string does = entry.does ? entry.does : "";
        if (entry.escapesFirst) does += " (the escapes && and %TAB% apply to the whole argument text first)";
        std::string reply = entry.reply ? std::string(" `") + entry.reply + "`" : "";
        out += "| " + words + " | " + fieldList(entry.fields) + " | " + cell(does) + " |" + reply + " |\n";
    }
    return out;
}
