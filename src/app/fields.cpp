#include "app/fields.h"

#include "app/boxes.h"
#include "app/text.h"

int fieldCount(const CommandEntry& entry) {
    if (!entry.fields || !*entry.fields) return 0;
    int count = 1;
    for (const char* c = entry.fields; *c; ++c)
        if (*c == '&') ++count;
    return count;
}

std::string listItem(const char* list, int index) {
    if (!list) return std::string();
    const char* start = list;
    for (int i = 0; i < index; ++i) {
        while (*start && *start != '&') ++start;
        if (!*start) return std::string();
        ++start;
    }
    const char* end = start;
    while (*end && *end != '&') ++end;
    return std::string(start, end);
}

namespace {
std::string handlerText(const CommandEntry& entry, const std::string& arguments) {
    return entry.escapesFirst ? applyTextEscapes(arguments) : arguments;
}
}  // namespace

int fieldSeparators(const CommandEntry& entry, const std::string& arguments) {
    std::string text = handlerText(entry, arguments);
    int count = 0;
    for (std::size_t at = findText(text, "&"); at != std::string::npos; at = findText(text, "&", at + 1)) ++count;
    return count;
}

std::vector<NamedField> commandFields(const CommandEntry& entry, const std::string& arguments) {
    std::vector<NamedField> fields;
    int count = fieldCount(entry);
    std::string rest = handlerText(entry, arguments);
    for (int i = 0; i < count; ++i) {
        NamedField field;
        field.name = listItem(entry.fields, i);
        field.value = i + 1 < count ? takeField(rest) : rest;
        fields.push_back(field);
    }
    return fields;
}

std::string shownText(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string shown = "\"";
    for (unsigned char c : text) {
        if (c == '\r') shown += "<CR>";
        else if (c == '\n') shown += "<LF>";
        else if (c == '\t') shown += "<TAB>";
        else if (c < 0x20 || c == 0x7F) {
            shown += "<0x";
            shown += hex[c >> 4];
            shown += hex[c & 15];
            shown += '>';
        } else shown += static_cast<char>(c);
    }
    return shown + "\"";
}

std::string traceRunLine(int depth, const std::string& word, const std::string& arguments) {
    std::string line = "[" + std::to_string(depth) + "] ";
    if (const CommandEntry* entry = findCommand(word)) {
        line += word;
        int count = fieldCount(*entry);
        std::string rest = handlerText(*entry, arguments);
        for (int i = 0; i < count; ++i) {
            line += (i ? ", " : " ") + listItem(entry->fields, i) + " ";
            line += shownText(i + 1 < count ? takeField(rest) : rest);
        }
    } else if (word.empty()) {
        line += "no command word: the install check runs on \"kw.ini\"";
    } else if (findText(word, ".") != std::string::npos) {
        line += shownText(word) + " is no command and holds \".\": the argument text " + shownText(arguments) +
                " is written into that file";
    } else {
        line += shownText(word) + " is no command: nothing happens";
    }
    return line;
}
