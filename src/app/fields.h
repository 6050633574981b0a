// The fields of a command line by name, as the command table names them.
//
// Shared by the trace (one line per command line run) and by hostcmd-lint
// (field checks and --explain): both cut the argument text exactly as the
// command's handler does, with splitField, after the text escapes for the
// commands that apply them first.
#pragma once

#include <string>
#include <vector>

#include "app/dispatch.h"

struct NamedField {
    std::string name;   // as the table's `fields` names it
    std::string value;  // what the handler gets for it
};

// How many fields the entry takes (0 for "cursor"); the last one is the rest.
int fieldCount(const CommandEntry& entry);
// The index-th (0-based) piece of an "&"-separated list of the table, or "".
std::string listItem(const char* list, int index);
// How many "&" the argument text holds where the handler splits it.
int fieldSeparators(const CommandEntry& entry, const std::string& arguments);
// The fields the handler takes from the argument text.
std::vector<NamedField> commandFields(const CommandEntry& entry, const std::string& arguments);

// A text as the trace and the lint show it: in double quotes, CR, LF, TAB and
// other control bytes written as <CR>, <LF>, <TAB>, <0x1A>, so that a shown
// text never breaks a line.
std::string shownText(const std::string& text);

// The trace line for a command line about to be dispatched at the given
// nesting depth: the command word and its fields, or the default branch.
std::string traceRunLine(int depth, const std::string& word, const std::string& arguments);
