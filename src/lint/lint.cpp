#include <algorithm>
#include <cctype>
#include <map>

#include "app/dispatch.h"
#include "app/fields.h"
#include "app/line_reader.h"
#include "app/runner.h"
#include "app/text.h"
#include "install/install.h"
#include "lint/lint.h"

namespace {
const char* const pathTokens[] = {"%APP%", "%WIN%", "%TEMP%", "%PROG%", "%SYS%"};
const int firstCommandLine = 38;  // of an installer file
const char utf8Mark[] = "\xEF\xBB\xBF";

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upperCase(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = upper(c);
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// The last part of a path, after its last "\" or "/".
std::string baseName(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A text escaped as quoted() does, without the quotes around it.
std::string unquoted(const std::string& shown) { return shown.substr(1, shown.size() - 2); }

std::string directoryOf(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void add(std::vector<Finding>& findings, const std::string& file, int line, bool error, const std::string& message) {
    findings.push_back(Finding{file, line, error, message});
}

// Edits (insert, delete, replace, swap of two neighbours) that turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min(std::min(d[i - 1][j] + 1, d[i][j - 1] + 1), d[i - 1][j - 1] + (a[i - 1] != b[j - 1]));
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

void lintLine(const std::string& file, int line, const std::string& commandLine, int nesting,
              std::vector<Finding>& findings) {
    const std::string where = nesting ? "the command line run on OK " : "";
    std::string text = dropLeadingQuotes(commandLine);
    if (!commandLine.empty() && commandLine[0] == '"') {
        std::string inner = commandLine.size() <= 2 ? std::string() : commandLine.substr(1, commandLine.size() - 2);
        if (text != inner || commandLine.size() < 2 || commandLine.back() != '"')
            add(findings, file, line, false,
                where + "begins with a double quote: hostcmd drops its first and last characters and the text up "
                        "to each of the next two double quotes, and reads " + quoted(text));
    }
    std::string word, arguments;
    splitField(text, word, arguments);
    if (word.empty()) {
        add(findings, file, line, true,
            where + (findText(text, "&") == std::string::npos ? "has no \"&\"" : "begins with \"&\"") +
                ", so it has no command word: it runs the install check on \"kw.ini\" (write installCheck&kw.ini "
                "if that is meant)");
        return;
    }
    arguments = replaceEach(arguments, "|", " ");
    // A command line run on OK is part of the outer line's text, whose tokens are checked already.
    if (!nesting) checkTokens(file, line, arguments, findings);
    const CommandEntry* entry = findCommand(word);
    if (!entry) {
        if (findText(word, ".") != std::string::npos) {
            // A file name: the arguments are written into it. A command word
            // after a blank means the program's own name was pasted in front.
            std::size_t blank = word.find_last_of(' ');
            if (blank != std::string::npos && findCommand(word.substr(blank + 1)))
                add(findings, file, line, true,
                    where + "the command word " + quoted(word) +
                        " holds \".\", so it is a file name: the argument text is written into a file of that "
                        "name; hostcmd's own name does not belong in the line (write " +
                        quoted(text.substr(blank + 1)) + ")");
            return;
        }
        std::string nearest = nearestCommandWord(word);
        add(findings, file, line, true,
            where + "unknown command word " + quoted(word) + ": nothing happens" +
                (nearest.empty() ? std::string() : " (did you mean \"" + nearest + "\"?)"));
        return;
    }
    int count = fieldCount(*entry);
    int separators = fieldSeparators(*entry, arguments);
    int present = count;
    if (count >= 2 && separators < count - 1) {
        present = separators;
        std::string consequence = listItem(entry->whenEmpty, separators);
        bool harmless = !consequence.empty() && consequence[0] == '~';
        if (harmless) consequence.erase(0, 1);
        std::string message = where + "\"" + word + "\" takes " + std::to_string(count) + " fields (" +
                              entry->fields + ") but this line gives " + std::to_string(separators + 1) + ": " +
                              listItem(entry->fields, separators) + " comes out empty, so " + consequence;
        if (separators + 1 < count)
            message += "; the text after the last \"&\" becomes " + listItem(entry->fields, count - 1);
        add(findings, file, line, !harmless, message);
    }
    checkFieldValues(file, line, where, *entry, arguments, present, findings);
    if (entry == findCommand("batch") && !baseName(arguments).empty() &&
        upperCase(baseName(arguments)) == upperCase(baseName(file)))
        add(findings, file, line, true,
            where + "the batch file runs itself (a file of its own name): the runs nest until the limit of " +
                std::to_string(maxRunDepth) + ", and then every run stops");
    if (entry == findCommand("confirm") && nesting < 4 && present == count) {
        std::vector<NamedField> fields = commandFields(*entry, arguments);
        if (!fields.empty()) lintLine(file, line, fields.back().value, nesting + 1, findings);
    }
}

// Bytes that change the lines of any kind of file: a Ctrl-Z before the end,
// NUL bytes, CRs that an editor shows as line ends.
void checkBytes(const std::string& path, const FileLines& lines, std::vector<Finding>& findings) {
    if (!lines.anyLf && !lines.strayCr.empty()) {
        add(findings, path, 1, true,
            "the lines end in CR alone: hostcmd ends lines only at LF and drops every CR, so it reads the whole "
            "file as one line, " + quoted(seenLine(lines, 1).substr(0, 60)) +
                (seenLine(lines, 1).size() > 60 ? "..." : "") + " (save the file with CR LF line ends)");
    } else {
        for (const auto& stray : lines.strayCr) {
            std::string pieces;
            for (std::size_t i = 0; i < stray.second.size(); ++i)
                pieces += (i == 0 ? "" : i + 1 == stray.second.size() ? " and " : ", ") + quoted(stray.second[i]);
            add(findings, path, stray.first, true,
                "a CR without an LF after it: an editor shows a line end there, but hostcmd drops the CR and "
                "reads " + pieces + " as one line (end every line with CR LF)");
        }
    }
    if (lines.ctrlZLine)
        add(findings, path, lines.ctrlZLine, true,
            "a Ctrl-Z byte ends the file here: hostcmd never reads the text after it");
    for (std::size_t n = 0; n < lines.lines.size(); ++n)
        if (lines.lines[n].find('\0') != std::string::npos)
            add(findings, path, static_cast<int>(n) + 1, true,
                "a NUL byte ends this line's text: the bytes after it are never seen");
}

// The line as its author sees it: a UTF-8 byte-order mark at the start of
// line 2 or later (where two files were joined, the second one's mark) is
// flagged and left out. hostcmd reads the mark's bytes as the start of the
// line's text, and both builds then act on a word or name beginning with
// them (U+FEFF to the UTF-8 build).
std::string unmarkedLine(const std::string& path, const FileLines& lines, int n, std::vector<Finding>& findings) {
    std::string line = seenLine(lines, n);
    if (n < 2 || line.compare(0, 3, utf8Mark) != 0) return line;
    add(findings, path, n, true,
        "the line begins with a UTF-8 byte-order mark (\\xEF\\xBB\\xBF), as where two files were joined: hostcmd "
        "reads it as the start of the line's text, so the command word, key part or name there begins with it "
        "and the line does not do what it says (remove the mark)");
    return line.substr(3);
}

// hostcmd never uses a line that does not fit: cut short, it could name
// another file or lose its last field.
std::string cutMessage(const std::string& line) {
    return "line is " + std::to_string(line.size()) + " characters long, over the " +
           std::to_string(maxLineLength) + " a line may hold: hostcmd does not use it, and reads every later "
           "line as empty";
}

int lastLineWithText(const FileLines& lines) {
    for (int n = static_cast<int>(lines.lines.size()); n > 0; --n)
        if (!lines.lines[n - 1].empty()) return n;
    return 0;
}

std::string lineRange(int first, int last) {
    return first == last ? "line " + std::to_string(first)
                         : "lines " + std::to_string(first) + " to " + std::to_string(last);
}

// "line 9 is" / "lines 9 to 12 are", for the sentences that go on with a verb.
std::string linesAre(int first, int last) { return lineRange(first, last) + (first == last ? " is" : " are"); }

// Command lines run one after another from `first` up to the first empty
// line: a batch file, an installer's command list.
void lintCommandLines(const std::string& path, const FileLines& lines, int first, const char* what,
                      std::vector<Finding>& findings) {
    int last = lastLineWithText(lines);
    for (int n = first;; ++n) {
        if (n == lines.cutLine) {
            add(findings, path, n, true,
                cutMessage(lines.lines[n - 1]) + ", so it is not run and " + what + " ends here" +
                    (n < last ? " (" + linesAre(n + 1, last) + " never run either)" : std::string()));
            return;
        }
        if (seenLine(lines, n).empty()) {
            if (n <= last)
                add(findings, path, n, true,
                    std::string("empty line: ") + what + " ends here, so " + linesAre(n + 1, last) +
                        " never run");
            return;
        }
        lintLine(path, n, unmarkedLine(path, lines, n, findings), 0, findings);
    }
}

void checkKeyParts(const std::string& path, const FileLines& lines, std::vector<Finding>& findings) {
    for (int n = 2; n <= 4; ++n) {
        std::string line = seenLine(lines, n);
        if (line != trimmed(line))
            add(findings, path, n, false,
                "install key part " + std::to_string(n - 1) + " " + quoted(line) +
                    " has a leading or trailing blank: it is part of the registry key name");
    }
}

// The entry in Windows' list starts "uninstall&<part 1>&<part 2>&<part 3>",
// read as any command line: a "|" becomes a blank, a path token is
// expanded, and an "&" in part 1 or 2 ends that part.
void checkUninstallable(const std::string& path, const FileLines& lines, std::vector<Finding>& findings) {
    for (int n = 2; n <= 4; ++n) {
        std::string line = seenLine(lines, n), why;
        if (line.find('|') != std::string::npos) why = "a \"|\" becomes a blank";
        else if (n < 4 && line.find('&') != std::string::npos) why = "its \"&\" ends the part";
        for (const char* token : pathTokens)
            if (why.empty() && line.find(token) != std::string::npos) why = std::string(token) + " is expanded";
        if (!why.empty())
            add(findings, path, n, false,
                "install key part " + std::to_string(n - 1) + " " + quoted(line) +
                    " cannot be named on a command line (" + why +
                    "): the uninstall that Windows' list starts finds nothing recorded");
    }
}

bool looksLikeNo(const std::string& line) { return line != "NO" && upperCase(trimmed(line)) == "NO"; }

void lintBatch(const std::string& path, const FileLines& lines, std::vector<Finding>& findings) {
    checkBytes(path, lines, findings);
    if (seenLine(lines, 1).empty() && lines.cutLine != 1) {
        int last = lastLineWithText(lines);
        add(findings, path, 1, last > 0,
            last > 0 ? "the first line is empty: the batch ends here, so " + linesAre(2, last) + " never run"
                     : std::string("the batch file is empty: it runs nothing"));
        return;
    }
    if (seenLine(lines, 1).compare(0, 3, utf8Mark) != 0) {
        lintCommandLines(path, lines, 1, "the batch", findings);
        return;
    }
    // The mark is the start of line 1 to hostcmd; the rest is linted as the author sees it.
    std::string word, arguments;
    splitField(seenLine(lines, 1), word, arguments);
    add(findings, path, 1, true,
        "the file begins with a UTF-8 byte-order mark (\\xEF\\xBB\\xBF): hostcmd reads it as part of line 1, "
        "whose command word is then " + quoted(word) + ", so the line does not run as written (save the file "
        "as ANSI text, without a byte-order mark)");
    FileLines unmarked = lines;
    unmarked.lines[0].erase(0, 3);
    lintCommandLines(path, unmarked, 1, "the batch", findings);
}

// With `forUser` the installer file is one a check file runs with
// installUser or installUserQuiet: what a standard user cannot do is found too.
void lintInstaller(const std::string& path, const FileLines& lines, std::vector<Finding>& findings,
                   bool forUser = false);

void lintCheck(const std::string& path, const FileLines& lines, std::vector<Finding>& findings) {
    checkBytes(path, lines, findings);
    if (lines.cutLine && lines.cutLine <= 7) {
        // Nothing of the file is used then; the other lines' findings would mislead.
        add(findings, path, lines.cutLine, true,
            cutMessage(lines.lines[lines.cutLine - 1]) +
                ", so nothing of the check file is used: the install check runs neither line 6 nor line 7, and "
                "%APP% finds no directory through it");
        return;
    }
    for (int n = 2; n <= 5; ++n) unmarkedLine(path, lines, n, findings);
    checkKeyParts(path, lines, findings);
    if (seenLine(lines, 5).empty())
        add(findings, path, 5, true,
            "the marker file is empty: the install check never finds it, so line 7 always runs");
    bool isDefault = upperCase(baseName(path)) == "KW.INI";
    for (int n = 6; n <= 7; ++n) {
        std::string line = unmarkedLine(path, lines, n, findings);
        std::string word, arguments;
        splitField(dropLeadingQuotes(line), word, arguments);
        if (word.empty()) {
            add(findings, path, n, true,
                std::string(line.empty() ? "empty" : "no command word") + ": when " +
                    (n == 6 ? "the product is installed" : "it is not installed") +
                    " this runs the install check on \"kw.ini\"" +
                    (isDefault ? ", which is this file again: the checks nest until the limit of " +
                                     std::to_string(maxRunDepth) + " and then every run stops"
                               : std::string()));
            continue;
        }
        lintLine(path, n, line, 0, findings);
        if (!isInstallWord(word)) continue;
        arguments = replaceEach(arguments, "|", " ");
        if (arguments.find('%') != std::string::npos) continue;  // the name depends on the machine
        std::string installerPath = directoryOf(path) + arguments;
        std::string bytes;
        FileRead read = readDiskFile(installerPath, bytes);
        if (read == FileRead::missing) {
            add(findings, path, n, false,
                "installer file " + quoted(arguments) + " is not beside the check file: it was not linted");
            continue;
        }
        if (read != FileRead::read) {
            // hostcmd too runs an installer file only from a disk file.
            bool runs = read == FileRead::tooLarge;
            add(findings, path, n, !runs,
                "installer file " + quoted(arguments) + " was not linted: " + unreadReason(read) +
                    (runs ? std::string() : ", so hostcmd does not run it either: this line installs nothing"));
            continue;
        }
        FileLines installer = splitLines(bytes);
        lintInstaller(installerPath, installer, findings, installsForUser(word));
        for (int k = 2; k <= 4; ++k)
            if (seenLine(lines, k) != seenLine(installer, k))
                add(findings, path, k, true,
                    "install key part " + std::to_string(k - 1) + " " + quoted(seenLine(lines, k)) +
                        " differs from line " + std::to_string(k) + " of " + unquoted(quoted(arguments)) + ", " +
                        quoted(seenLine(installer, k)) +
                        ": the check never finds what that installer records");
    }
    int last = lastLineWithText(lines);
    if (last > 7)
        add(findings, path, 8, false,
            "a check file has 7 lines: " + linesAre(8, last) + " never read (is this an installer file?)");
}

bool endsWithToken(const std::string& text) {
    for (const char* token : pathTokens) {
        std::string name = token;
        if (text.size() >= name.size() && text.compare(text.size() - name.size(), name.size(), name) == 0)
            return true;
    }
    return false;
}

// The directory the installer records: the base directory, then each
// component of line 16 that a "\" ends, with that "\", and the last
// character dropped (the "\" a correct file leaves there).
std::string installedDirectory(const std::string& base, const std::string& sub) {
    std::string directory = base, rest = sub;
    for (std::size_t slash = findText(rest, "\\"); slash != std::string::npos; slash = findText(rest, "\\")) {
        directory += rest.substr(0, slash) + "\\";
        rest.erase(0, slash + 1);
    }
    std::size_t last = lastCharacterStart(directory);
    return last == std::string::npos ? directory : directory.substr(0, last);
}

// What an installation for the current user cannot do for a standard user:
// a base directory outside Program Files that only administrators may write
// stays where it is, and the command list cannot write HKLM.
void checkForUser(const std::string& path, const FileLines& lines, std::vector<Finding>& findings) {
    std::string base = seenLine(lines, 15);
    for (const char* token : {"%WIN%", "%SYS%"})
        if (base.compare(0, std::string(token).size(), token) == 0)
            add(findings, path, 15, false,
                std::string("installUser leaves this base directory where it is (only one in Program Files moves to "
                            "the user's own programs folder), and a standard user may not write below ") + token);
    std::vector<int> commandLines;
    if (seenLine(lines, 17) != "NO") commandLines.push_back(17);
    for (int n = firstCommandLine; n != lines.cutLine && !seenLine(lines, n).empty(); ++n) commandLines.push_back(n);
    for (int n : commandLines) {
        std::string word, arguments;
        splitField(dropLeadingQuotes(seenLine(lines, n)), word, arguments);
        bool writes = word == "reg" || word == "register" || word == "regSetValue" || word == "regCreateKey" ||
                      word == "regDeleteKey" || word == "regDeleteValue";
        if (writes && takeField(arguments) == "HKLM")
            add(findings, path, n, false,
                "installUser runs this for a standard user too, who may not write HKLM: the line changes nothing "
                "then (write HKCU for the user's own settings)");
    }
}

void lintInstaller(const std::string& path, const FileLines& lines, std::vector<Finding>& findings, bool forUser) {
    checkBytes(path, lines, findings);
    int count = static_cast<int>(lines.lines.size());
    if (lines.cutLine && lines.cutLine < firstCommandLine) {
        // The installer then changes nothing; the other lines' findings would mislead.
        add(findings, path, lines.cutLine, true,
            cutMessage(lines.lines[lines.cutLine - 1]) +
                ", so the installer stops before its first dialog and changes nothing");
        return;
    }
    if (count < firstCommandLine)
        add(findings, path, count ? count : 1, false,
            "the file has " + std::to_string(count) +
                " lines: the command list starts at line 38, so no command of it runs");
    for (int n = 2; n <= 16; ++n) unmarkedLine(path, lines, n, findings);
    checkKeyParts(path, lines, findings);
    checkUninstallable(path, lines, findings);
    if (seenLine(lines, 2).empty() && seenLine(lines, 3).empty() && seenLine(lines, 4).empty())
        add(findings, path, 2, true,
            "the install key lines 2 to 4 are empty: the installer would write its record, the value isDir, "
            "directly into HKLM\\Software (write the vendor, product and version on lines 2, 3 and 4)");
    const char* switches[] = {"the welcome message is shown", "the path dialog is shown",
                              "the restart prompt is shown"};
    for (int n = 5; n <= 7; ++n)
        if (looksLikeNo(seenLine(lines, n)))
            add(findings, path, n, true,
                quoted(seenLine(lines, n)) + " is not \"NO\": " + switches[n - 5] +
                    " (only NO, in capitals and alone, switches it off)");

    std::string base = seenLine(lines, 15);
    std::string sub = seenLine(lines, 16);
    checkTokens(path, 15, base, findings);
    if (base.empty()) {
        add(findings, path, 15, true,
            "the base directory is empty: the product is installed relative to the current directory");
    } else if (!endsWithBackslash(base) && !endsWithToken(base)) {
        std::string installed = installedDirectory(base, sub);
        add(findings, path, 15, true,
            "the base directory " + quoted(base) + " does not end in \"\\\": " +
                (sub.empty() ? "line 16 is empty, so the installed directory is the base directory with its last "
                               "character dropped, " + quoted(installed)
                             : "line 16 is joined onto it without one, so the installed directory is " +
                                   quoted(installed)) +
                " (write " + quoted(base + "\\") + ")");
    }

    if (!sub.empty() && !endsWithBackslash(sub)) {
        std::size_t slash = sub.find_last_of('\\');
        std::string dropped = slash == std::string::npos ? sub : sub.substr(slash + 1);
        add(findings, path, 16, true,
            "the last component " + quoted(dropped) +
                " has no \"\\\" after it: it is dropped, neither created nor part of the installed directory");
    }
    for (const char* token : pathTokens)
            if (sub.find(token) != std::string::npos)
                add(findings, path, 16, false,
                    std::string("path tokens are not expanded in the install subdirectory: ") + token +
                        " stays as it is");

    std::string final = unmarkedLine(path, lines, 17, findings);
    if (final.empty())
        add(findings, path, 17, false,
            "the final command is empty: after the command list it runs the install check on \"kw.ini\" "
            "(write NO for no final command)");
    else if (looksLikeNo(final))
        add(findings, path, 17, true,
            quoted(final) + " is not \"NO\": it runs as a command line, which has no \"&\" and so runs the "
                               "install check on \"kw.ini\"");
    else if (final != "NO")
        lintLine(path, 17, final, 0, findings);

    for (int n = 18; n < firstCommandLine && n <= count; ++n) {
        std::string word, arguments;
        splitField(lines.lines[n - 1], word, arguments);
        if (!word.empty() && findCommand(word))
            add(findings, path, n, true,
                "looks like a command, but lines 18 to 37 are skipped: it never runs (the command list starts "
                "at line 38)");
    }
    lintCommandLines(path, lines, firstCommandLine, "the command list", findings);
    if (forUser) checkForUser(path, lines, findings);
}
}  // namespace

std::string nearestCommandWord(const std::string& word) {
    // A file of many lines misspells the same few words: each is looked up once.
    static std::map<std::string, std::string> known;
    auto found = known.find(word);
    if (found != known.end()) return found->second;
    std::string nearest;
    std::size_t best = std::max<std::size_t>(1, word.size() / 3) + 1;  // a third of the word, at least one edit
    for (int i = 0; i < commandCount && best > 0; ++i)
        for (const char* candidate : commandTable[i].words) {
            if (!candidate) continue;
            if (upperCase(candidate) == upperCase(word)) {
                nearest = candidate;
                best = 0;
                break;
            }
            std::size_t distance = editDistance(word, candidate);
            if (distance < best) {
                best = distance;
                nearest = candidate;
            }
        }
    if (known.size() < 10000) known[word] = nearest;
    return nearest;
}

std::string nearestToken(const std::string& written) {
    // The names Windows and other tools give the same directories.
    static const struct {
        const char* name;
        const char* token;
    } aliases[] = {
        {"%PROGRAMFILES%", "%PROG%"}, {"%PROGRAMFILES(X86)%", "%PROG%"}, {"%PROGRAMW6432%", "%PROG%"},
        {"%PROGRAMDIR%", "%PROG%"}, {"%PROGDIR%", "%PROG%"}, {"%PROGRAM%", "%PROG%"},
        {"%WINDIR%", "%WIN%"}, {"%SYSTEMROOT%", "%WIN%"}, {"%WINDOWS%", "%WIN%"},
        {"%TMP%", "%TEMP%"}, {"%TMPDIR%", "%TEMP%"}, {"%TEMPDIR%", "%TEMP%"},
        {"%SYSTEM%", "%SYS%"}, {"%SYSTEM32%", "%SYS%"}, {"%SYSDIR%", "%SYS%"}, {"%SYSTEMDIR%", "%SYS%"},
        {"%APPDIR%", "%APP%"}, {"%APPPATH%", "%APP%"}, {"%INSTALLDIR%", "%APP%"},
    };
    std::string name = upperCase(written);
    for (const auto& alias : aliases)
        if (name == alias.name) return alias.token;
    for (const char* token : pathTokens)
        if (editDistance(name, token) <= 1) return token;
    return std::string();
}

void lintCommandLine(const std::string& path, int line, const std::string& commandLine,
                     std::vector<Finding>& findings) {
    lintLine(path, line, commandLine, 0, findings);
}

const char* kindName(FileKind kind) {
    switch (kind) {
        case FileKind::batch: return "batch file";
        case FileKind::check: return "check file";
        default: return "installer file";
    }
}

FileKind guessKind(const std::string& path, const std::string& bytes) {
    std::string name = upperCase(baseName(path));
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".INI") == 0) return FileKind::check;
    FileLines lines = splitLines(bytes);
    bool headerWithoutAmpersand = true;
    for (int n = 1; n <= 4; ++n) headerWithoutAmpersand = headerWithoutAmpersand && seenLine(lines, n).find('&') == std::string::npos;
    return lines.lines.size() > 8 && headerWithoutAmpersand ? FileKind::installer : FileKind::batch;
}

void lintFile(FileKind kind, const std::string& path, const std::string& bytes, std::vector<Finding>& findings) {
    std::size_t first = findings.size();
    if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
        add(findings, path, 1, true,
            "the file is UTF-16 text (it begins with " + quoted(bytes.substr(0, 2)) +
                "): hostcmd reads single bytes of the ANSI code page, and the NUL byte in nearly every character "
                "ends a line's text, so nothing runs as written (save the file as ANSI text)");
        return;
    }
    FileLines lines = splitLines(bytes);
    findings.reserve(findings.size() + lines.lines.size());  // about one a line at most, as a rule
    switch (kind) {
        case FileKind::batch: lintBatch(path, lines, findings); break;
        case FileKind::check: lintCheck(path, lines, findings); break;
        case FileKind::installer: lintInstaller(path, lines, findings); break;
    }
    // In line order, the linted file first, then each file it led to. The
    // findings mostly come in order already; only then is nothing moved.
    std::vector<std::string> files(1, path);
    std::vector<std::pair<int, int>> keys;
    int rank = 0;
    for (std::size_t i = first; i < findings.size(); ++i) {
        if (findings[i].file != files[rank]) {
            rank = static_cast<int>(std::find(files.begin(), files.end(), findings[i].file) - files.begin());
            if (rank == static_cast<int>(files.size())) files.push_back(findings[i].file);
        }
        keys.push_back(std::make_pair(rank, findings[i].line));
    }
    if (std::is_sorted(keys.begin(), keys.end())) return;
    std::vector<std::size_t> order(keys.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<Finding> sorted;
    for (std::size_t i : order) sorted.push_back(std::move(findings[first + i]));
    std::move(sorted.begin(), sorted.end(), findings.begin() + first);
}

std::string guessedKindNote(const std::string& path, FileKind kind) {
    return path + ": note: linted as " + (kind == FileKind::installer ? "an " : "a ") + kindName(kind) +
           (kind == FileKind::check       ? " (guessed: its name ends in .ini"
            : kind == FileKind::installer ? " (guessed: more than eight lines, no \"&\" in lines 1 to 4"
                                          : " (guessed: not *.ini, and not more than eight lines with no \"&\" in "
                                            "lines 1 to 4") +
           "; --batch, --check or --installer say which)";
}

std::string formatFinding(const Finding& finding) {
    std::string text = finding.file + ":";
    if (finding.line > 0) text += std::to_string(finding.line) + ":";
    if (finding.line > 0 && finding.column > 0) text += std::to_string(finding.column) + ":";
    return text + (finding.error ? " error: " : " warning: ") + finding.message;
}
