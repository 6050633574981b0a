// hostcmd-lint: lint batch, check and installer files, or explain one
// command line. Exit code 0 when no error was found, 1 when one was (or,
// with --werror, a warning), 2 when a file could not be read or the
// arguments were wrong.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "lint/lint.h"

namespace {
void usage() {
    std::fputs(
        "usage: hostcmd-lint [--werror] [--utf8] [--batch | --check | --installer] FILE...\n"
        "       hostcmd-lint --explain \"<command line>\"   or   hostcmd-lint --reference\n"
        "Lints batch files, check files (kw.ini) and installer files as hostcmd reads them and prints\n"
        "file:line: error|warning: message, in line order. Without a kind option each file's kind is\n"
        "guessed, and its findings start with the kind guessed: a name ending in .ini is a check file,\n"
        "a file of more than eight lines with no \"&\" in lines 1 to 4 an installer file, any other a\n"
        "batch file. A kind option applies to the files after it. Exit code 1 when an error was found\n"
        "(with --werror also when a warning was), 2 when a file could not be read or the arguments are wrong.\n"
        "--utf8 checks files for hostcmd-utf8.exe: a leading byte-order mark is skipped, and bytes that\n"
        "are not UTF-8 are errors (file:line:column).\n"
        "--explain prints step by step how hostcmd reads the command line, and runs nothing.\n"
        "--reference prints the command reference (Markdown) from hostcmd's command table.\n",
        stderr);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage();
        return 2;
    }
    if (std::strcmp(argv[1], "--explain") == 0) {
        if (argc != 3) {
            usage();
            return 2;
        }
#ifdef _WIN32
        const bool expandTokens = true;
#else
        const bool expandTokens = false;
#endif
        std::fputs(explainCommandLine(argv[2], expandTokens).c_str(), stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--reference") == 0) {
        std::fputs(commandReference().c_str(), stdout);
        return 0;
    }
    bool kindGiven = false, unreadable = false, warningsFail = false, utf8 = false;
    FileKind kind = FileKind::batch;
    int errors = 0, warnings = 0, files = 0;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--batch") == 0) { kind = FileKind::batch; kindGiven = true; continue; }
        if (std::strcmp(argument, "--check") == 0) { kind = FileKind::check; kindGiven = true; continue; }
        if (std::strcmp(argument, "--installer") == 0) { kind = FileKind::installer; kindGiven = true; continue; }
        if (std::strcmp(argument, "--utf8") == 0) { utf8 = true; continue; }
        if (std::strcmp(argument, "--werror") == 0) { warningsFail = true; continue; }
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) { usage(); return 0; }
        if (argument[0] == '-' && argument[1] == '-') {
            std::fprintf(stderr, "hostcmd-lint: unknown option %s\n", argument);
            usage();
            return 2;
        }
        std::string bytes;
        FileRead read = readDiskFile(argument, bytes);
        if (read != FileRead::read) {
            std::fprintf(stderr, "%s: error: cannot read the file: %s\n", argument, unreadReason(read));
            unreadable = true;
            continue;
        }
        ++files;
        FileKind linted = kindGiven ? kind : guessKind(argument, bytes);
        std::vector<Finding> findings;
        if (utf8) {
            // As hostcmd-utf8.exe reads it: without the byte-order mark an editor may write.
            lintUtf8(argument, bytes, findings);
            if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
            linted = kindGiven ? kind : guessKind(argument, bytes);
        }
        lintFile(linted, argument, bytes, findings);
        std::stable_sort(findings.begin(), findings.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        if (!kindGiven && !findings.empty()) std::printf("%s\n", guessedKindNote(argument, linted).c_str());
        for (const Finding& finding : findings) {
            std::printf("%s\n", formatFinding(finding).c_str());
            ++(finding.error ? errors : warnings);
        }
    }
    if (files > 1 || errors || warnings)
        std::printf("%d error%s, %d warning%s\n", errors, errors == 1 ? "" : "s", warnings, warnings == 1 ? "" : "s");
    if (unreadable) return 2;
    return errors || (warningsFail && warnings) ? 1 : 0;
}
