#include "app/runner.h"

#include "app/dispatch.h"
#include "app/fields.h"
#include "app/text.h"
#include "app/tokens.h"

namespace {
int runDepth = 0;
bool stopped = false;
int processExitCode = 0;

std::string dropThroughFirstQuote(const std::string& text) {
    std::size_t quote = findText(text, "\"");
    return quote == std::string::npos ? text : text.substr(quote + 1);
}
}  // namespace

bool runsStopped() { return stopped; }

void resetRuns() {
    runDepth = 0;
    stopped = false;
    processExitCode = 0;
}

void setExitCode(int code) { processExitCode = code; }
int exitCode() { return processExitCode; }

std::string dropLeadingQuotes(const std::string& line) {
    if (line.empty() || line[0] != '"') return line;
    // The first and the last character go, whatever the last one is: a whole
    // character, never the last byte of one (a lone lead byte or a cut UTF-8
    // sequence would be written into names and files).
    std::size_t last = lastCharacterStart(line);
    std::string text = last <= 1 ? std::string() : line.substr(1, last - 1);
    text = dropThroughFirstQuote(text);
    return dropThroughFirstQuote(text);
}

std::string commandLineTail(const std::string& line) {
    std::size_t i = 0, n = line.size();
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < n && line[i] == '"') {
        ++i;
        while (i < n && line[i] != '"' && line[i] != '\t') ++i;
    } else {
        while (i < n && line[i] != ' ' && line[i] != '\t') ++i;
    }
    if (i < n && line[i] == '"') ++i;
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    return line.substr(i);
}

namespace {
const unsigned codePageUtf8 = 65001;

// The UTF-8 build on a Windows that ignored its manifest's request (older
// than 10 version 1903) works in the ANSI code page: it would read its host's
// UTF-8 as ANSI and write ANSI where UTF-8 is expected, so it runs nothing,
// and ends with an exit code of its own so that the host can tell this from a
// command that failed (every other end is 0).
bool codePageRefused() {
    if (!processWorksInUtf8()) return false;
    unsigned codePage = activeCodePage();
    if (codePage == codePageUtf8) return false;
    setExitCode(exitNeedsNewerWindows);
    if (traceEnabled())
        appendTraceLine("hostcmd-utf8.exe runs nothing: the process code page is " + std::to_string(codePage) +
                        ", not UTF-8 (65001); Windows before 10 version 1903 ignores the manifest's request");
    return true;
}
}  // namespace

void runCommandLine(Handle instance, const std::string& commandLine) {
    if (stopped) return;
    if (runDepth == 0 && codePageRefused()) {
        stopped = true;
        return;
    }
    if (runDepth >= maxRunDepth) {
        if (traceEnabled())
            appendTraceLine("[" + std::to_string(runDepth + 1) + "] nesting deeper than " + std::to_string(maxRunDepth) +
                            ": this line and every run still waiting stop here");
        stopped = true;
        return;
    }
    // Where texts are UTF-8, bytes that are not would reach Windows as U+FFFD,
    // taking other bytes along: such a line names what it never held, and
    // runs nothing, as a line cut short does not.
    if (textsAreUtf8() && !wellFormedUtf8(commandLine)) {
        if (traceEnabled())
            appendTraceLine("[" + std::to_string(runDepth + 1) + "] not well-formed UTF-8: this line is not run");
        return;
    }
    ++runDepth;
    std::string word, arguments;
    splitField(dropLeadingQuotes(commandLine), word, arguments);
    arguments = replaceEach(arguments, "|", " ");
    arguments = expandPathTokens(instance, arguments);
    if (traceEnabled()) appendTraceLine(traceRunLine(runDepth, word, arguments));
    dispatchCommand(instance, word, arguments);
    --runDepth;
}
