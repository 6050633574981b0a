// The command table and the dispatcher.
//
// dispatchCommand compares the command word, byte for byte and case-
// sensitively, with the words of the table below in order and calls the first
// entry's handler with the argument text. When nothing matches: a word holding
// "." is a file name that receives the argument text, another non-empty word
// does nothing, and an empty word runs the install check on "kw.ini".
#pragma once

#include <string>

#include "platform/platform.h"

// Every command handler takes the instance handle, the command word it was
// called by (the pairs with a follow-up tell their two forms apart by it) and
// the argument text, and takes its own fields from that text.
typedef void (*CommandHandler)(Handle instance, const std::string& word, const std::string& arguments);

struct CommandEntry {
    const char* words[3];   // one to three command words; unused slots are null
    const char* fields;     // the fields it takes, "&" between them; the last is the rest
    bool escapesFirst;      // the whole argument text goes through the text escapes first
    CommandHandler handler;
    // For hostcmd-lint and --explain only (the dispatcher does not use them;
    // hostcmd.exe gets null pointers, see LINT_TEXT):
    const char* does;       // what the command does, in one sentence
    // What the command does when a field comes out empty, one entry per field
    // of `fields`, "&" between them. An entry beginning with "~" is harmless
    // (the lint only warns when that field is missing); the others make the
    // command fail or do something else than meant.
    const char* whenEmpty;
    // What each field of `fields` holds, one word per field, "&" between
    // them, for the lint's value checks: "path" (a file or directory name),
    // "document" (a name handed to the shell, which also takes it quoted),
    // "flag" (exactly TRUE or anything else), "reply" (a reply file), "root"
    // (a registry root name), "key" (a registry key path), "number" (a
    // decimal whole number), "text" (free text), "command" (a command line).
    const char* kinds;
    // The key of the answer written into the reply file ("UserDir=" and so
    // on), for the commands that answer.
    const char* reply = nullptr;
};

// The lint's texts of the table are compiled only where HOSTCMD_LINT_TEXTS
// is defined (hostcmd-lint and the unit tests): hostcmd.exe does not carry
// their weight.
#ifdef HOSTCMD_LINT_TEXTS
#define LINT_TEXT(text) text
#else
#define LINT_TEXT(text) nullptr
#endif

extern const CommandEntry commandTable[];
extern const int commandCount;  // 44

// The entry a command word selects, or null for the default branches.
const CommandEntry* findCommand(const std::string& word);
void dispatchCommand(Handle instance, const std::string& word, const std::string& arguments);
