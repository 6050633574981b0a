// --explain on the worked examples of the command-line grammar: the command
// word and the argument text it shows must be what the runner really takes.
#include <gtest/gtest.h>

#include "lint/lint.h"

namespace {
// The text of the explanation line that starts with `label`, or "(missing)".
std::string lineOf(const std::string& explanation, const std::string& label) {
    std::size_t at = explanation.find("\n" + label);
    if (at == std::string::npos) return "(missing)";
    std::size_t end = explanation.find('\n', at + 1);
    return explanation.substr(at + 1 + label.size(), end - at - 1 - label.size());
}
}  // namespace

TEST(Explain, WorkedExamplesOfTheGrammar) {
    struct Case {
        const char* line;
        const char* word;  // as the explanation shows it
        const char* arguments;
    } cases[] = {
        {"save&C:\\a.txt&Hello world", "\"save\" (the text before the first \"&\")", "\"C:\\a.txt&Hello world\""},
        {"\"open&C:\\My Files\\read me.txt\"", "\"open\" (the text before the first \"&\")", "\"C:\\My Files\\read me.txt\""},
        {"\"C:\\x\\y.dat\" \"batch&C:\\b.txt\"", "\"batch\" (the text before the first \"&\")", "\"C:\\b.txt\""},
        {"C:\\out.txt&some text", "\"C:\\out.txt\" (the text before the first \"&\")", "\"some text\""},
        {"&abc", "\"\" (the text before the first \"&\")", "\"abc\""},
        {"hello", "none (the line holds no \"&\"); the whole line is the argument text", "\"hello\""},
        {"", "none (the line holds no \"&\"); the whole line is the argument text", "\"\""},
        {"save&C:\\a.txt&Hello|world", "\"save\" (the text before the first \"&\")", "\"C:\\a.txt&Hello|world\""},
        {"a|b&c|d", "\"a|b\" (the text before the first \"&\")", "\"c|d\""},
    };
    for (const Case& c : cases) {
        std::string explanation = explainCommandLine(c.line, false);
        EXPECT_EQ(lineOf(explanation, "2. Command word: "), c.word) << c.line;
        EXPECT_EQ(lineOf(explanation, "3. Argument text: "), c.arguments) << c.line;
        EXPECT_NE(explanation.find("Nothing has been run."), std::string::npos);
    }
}

TEST(Explain, BarsBecomeBlanksBeforeTheFields) {
    std::string explanation = explainCommandLine("save&C:\\a.txt&Hello|world", false);
    EXPECT_EQ(lineOf(explanation, "   every \"|\" becomes a blank: "), "\"C:\\a.txt&Hello world\"");
    EXPECT_EQ(lineOf(explanation, "   2. text: "), "\"Hello world\" (the rest)");
}

TEST(Explain, TableEntryFieldsAndWhatTheCommandDoes) {
    std::string explanation = explainCommandLine("copy&C:\\a.txt&C:\\b.txt", false);
    EXPECT_EQ(lineOf(explanation, "4. Table entry "), "8 of 44: \"copy\"");
    EXPECT_EQ(lineOf(explanation, "   1. source: "), "\"C:\\a.txt\"");
    EXPECT_EQ(lineOf(explanation, "   2. destination: "),
              "\"\" -- empty: no \"&\" is left for it, so the copy fails: there is no destination");
    EXPECT_EQ(lineOf(explanation, "   3. TRUE to keep an existing destination: "), "\"C:\\b.txt\" (the rest)");
    EXPECT_NE(lineOf(explanation, "6. What it does: ").find("copies the source onto the destination"),
              std::string::npos);
}

TEST(Explain, TheThreeDefaultBranches) {
    EXPECT_NE(lineOf(explainCommandLine("C:\\out.txt&some text", false), "6. What it does: ")
                  .find("write \"some text\" into the file \"C:\\out.txt\""),
              std::string::npos);
    EXPECT_NE(lineOf(explainCommandLine("hello", false), "6. What it does: ").find("install check on \"kw.ini\""),
              std::string::npos);
    std::string unknown = explainCommandLine("Save&x.txt&y", false);
    EXPECT_NE(lineOf(unknown, "4. Table entry: ").find("did you mean \"save\""), std::string::npos);
    EXPECT_NE(lineOf(unknown, "6. What it does: ").find("nothing"), std::string::npos);
}

TEST(Explain, QuoteStepsAndEscapesAreShown) {
    // The quoted line with inner quotes ends up empty: every step is shown.
    std::string quoted = explainCommandLine("\"save&C:\\a.txt&say \"hi\"\"", false);
    EXPECT_NE(quoted.find("first and last characters go: \"save&C:\\a.txt&say \"hi\"\""), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("its first double quote goes: \"hi\"\""), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("its first double quote goes: \"\""), std::string::npos) << quoted;
    EXPECT_NE(lineOf(quoted, "6. What it does: ").find("install check"), std::string::npos);
    // confirm takes its fields after the escapes: "&&" is a line break there.
    std::string confirm = explainCommandLine("confirm&Title&&Line&save&a&b", false);
    EXPECT_EQ(lineOf(confirm, "   1. caption: "), "\"Title<CR><LF>Line\"");
    EXPECT_EQ(lineOf(confirm, "   2. question: "), "\"save\"");
    EXPECT_EQ(lineOf(confirm, "   3. command line: "), "\"a&b\" (the rest)");
}

TEST(Explain, PathTokensAreNamed) {
    std::string explanation = explainCommandLine("run&%WIN%notepad.exe&none", false);
    EXPECT_EQ(lineOf(explanation, "   path token %WIN%: "), "the Windows directory");
    EXPECT_EQ(lineOf(explanation, "   1. program: "), "\"%WIN%notepad.exe\"");
}
