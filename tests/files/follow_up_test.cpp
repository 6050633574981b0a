// The M and ME forms of the file commands: the follow-up comes exactly when
// the file work succeeded, for every pair and every call that can fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/runner.h"
#include "platform/memory_platform.h"

namespace {
const Handle instance = 0x400000;

struct Pair {
    const char* word;         // the M form; the ME form adds "E"
    const char* fields;       // the fields after the two follow-up fields
    void (*setUp)();
    std::vector<const char*> failable;  // platform calls whose failure means no follow-up
    bool (*workDone)();       // the file work's effect on success
};

void nothing() {}
void sourceFile() { fakeAddFile("C:\\work\\src.txt", "source"); }
void victimFile() { fakeAddFile("C:\\work\\victim.txt", "v"); }
void oldDirectory() { fakeAddDirectory("C:\\work\\olddir"); }

const Pair pairs[] = {
    {"saveM", "out.txt&hello", nothing, {"createNewFile", "writeFileBytes"},
     [] { return fakeFileBytes("out.txt") == "hello"; }},
    {"savePM", "out.txt&a&&b%TAB%c", nothing, {"createNewFile", "writeFileBytes", "putFileInPlace"},
     [] { return fakeFileBytes("out.txt") == "a\r\r\nb\tc"; }},
    {"deleteM", "victim.txt", victimFile, {"deleteFile"}, [] { return !fakeFileExists("victim.txt"); }},
    {"copyM", "src.txt&dst.txt&", sourceFile, {"copyToNewFile", "putFileInPlace"},
     [] { return fakeFileBytes("dst.txt") == "source" && fakeFileExists("src.txt"); }},
    {"moveM", "src.txt&dst.txt&FALSE", sourceFile, {"copyToNewFile", "putFileInPlace", "deleteFile"},
     [] { return fakeFileBytes("dst.txt") == "source" && !fakeFileExists("src.txt"); }},
    {"makeDirM", "newdir", nothing, {"createDirectory"}, [] { return fakeDirectoryExists("newdir"); }},
    {"deleteDirM", "olddir", oldDirectory, {"removeDirectory"}, [] { return !fakeDirectoryExists("olddir"); }},
};

void start(const Pair& pair) {
    fakeReset();
    resetRuns();
    pair.setUp();
}

TEST(FollowUp, MessageFormShowsTheBoxAfterGoodFileWork) {
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.word);
        start(pair);
        // A "%TAB%" in the message becomes a tab; in the caption it stays.
        runCommandLine(instance, std::string(pair.word) + "&Done%TAB%!&File%TAB%handled&" + pair.fields);
        EXPECT_TRUE(pair.workDone());
        ASSERT_EQ(fakeBoxes.size(), 1u);
        EXPECT_EQ(fakeBoxes[0].caption, "Done%TAB%!");
        EXPECT_EQ(fakeBoxes[0].text, "File\thandled");
        EXPECT_EQ(fakeBoxes[0].style, 0x1000u);
        EXPECT_EQ(fakeBoxes[0].owner, instance);
        EXPECT_TRUE(fakeShellCalls.empty());
        EXPECT_EQ(fakeOpenFiles(), 0);
    }
}

TEST(FollowUp, ShellFormOpensTheFirstFieldAfterGoodFileWork) {
    struct Parameters {
        const char* field;
        bool has;
    };
    for (const Pair& pair : pairs) {
        for (Parameters parameters : {Parameters{"none", false}, Parameters{"", true}, Parameters{"-p %TAB%", true}}) {
            SCOPED_TRACE(std::string(pair.word) + "E, parameters \"" + parameters.field + "\"");
            start(pair);
            runCommandLine(instance, std::string(pair.word) + "E&C:\\docs\\readme.txt&" + parameters.field + "&" +
                                         pair.fields);
            EXPECT_TRUE(pair.workDone());
            ASSERT_EQ(fakeShellCalls.size(), 1u);
            const FakeShellCall& call = fakeShellCalls[0];
            EXPECT_EQ(call.owner, instance);
            EXPECT_EQ(call.verb, "open");
            EXPECT_EQ(call.file, "C:\\docs\\readme.txt");
            EXPECT_EQ(call.hasParameters, parameters.has);
            if (parameters.has) {
                EXPECT_EQ(call.parameters, parameters.field);  // passed unchanged
            }
            EXPECT_TRUE(fakeBoxes.empty());
        }
    }
}

TEST(FollowUp, NoFollowUpWhenAnyFileCallFails) {
    for (const Pair& pair : pairs) {
        for (const char* call : pair.failable) {
            for (const char* suffix : {"", "E"}) {
                SCOPED_TRACE(std::string(pair.word) + suffix + " with " + call + " failing");
                start(pair);
                fakeFail(call);
                runCommandLine(instance, std::string(pair.word) + suffix + "&Done&Text&" + pair.fields);
                EXPECT_TRUE(fakeBoxes.empty());
                EXPECT_TRUE(fakeShellCalls.empty());
                EXPECT_EQ(fakeOpenFiles(), 0);
            }
        }
    }
}

struct FailureCase {
    const char* commandLine;
    void (*setUp)();
};

TEST(FollowUp, NoFollowUpWhenTheFileWorkCannotBeDone) {
    const FailureCase cases[] = {
        {"saveM&Saved&Text&C:\\nodir\\out.txt&hello", nothing},  // nothing written, so nothing "saved"
        {"saveME&C:\\nodir\\out.txt&none&C:\\nodir\\out.txt&hello", nothing},
        {"savePM&Saved&Text&C:\\nodir\\out.txt&hello", nothing},
        {"saveM&Saved&Text&hello", nothing},  // no "&" left: the file name is empty
        {"deleteM&Done&File removed&C:\\work\\missing.txt", nothing},
        {"copyM&Done&Copied&src.txt&dst.txt", sourceFile},  // two fields: the destination is empty
        {"copyME&dst.txt&none&src.txt&dst.txt&TRUE",
         [] {
             sourceFile();
             fakeAddFile("dst.txt", "old");
         }},
        {"moveM&Done&Moved&missing.txt&dst.txt&", nothing},
        {"moveME&dst.txt&none&src.txt&dst.txt&FALSE",
         [] {
             sourceFile();
             fakeSetReadOnly("src.txt");  // copied, but the source cannot go
         }},
        {"makeDirM&Done&Made&C:\\work\\a\\b", nothing},  // one level only
        {"makeDirM&Done&Made&olddir", oldDirectory},     // exists already
        {"deleteDirME&x.txt&none&C:\\work",
         [] { fakeAddFile("C:\\work\\inside.txt", ""); }},  // not empty
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.commandLine);
        fakeReset();
        resetRuns();
        c.setUp();
        runCommandLine(instance, c.commandLine);
        EXPECT_TRUE(fakeBoxes.empty());
        EXPECT_TRUE(fakeShellCalls.empty());
    }
}

TEST(FollowUp, MoveKeepsTheCopyWhenTheSourceCannotGo) {
    fakeReset();
    sourceFile();
    fakeSetReadOnly("src.txt");
    runCommandLine(instance, "moveM&Done&Moved&src.txt&dst.txt&");
    EXPECT_EQ(fakeFileBytes("dst.txt"), "source");
    EXPECT_TRUE(fakeFileExists("src.txt"));
    EXPECT_TRUE(fakeBoxes.empty());
}

TEST(FollowUp, MoveDoesNotDeleteAfterAFailedCopy) {
    fakeReset();
    sourceFile();
    fakeFail("copyToNewFile");
    runCommandLine(instance, "moveME&src.txt&none&src.txt&dst.txt&");
    EXPECT_TRUE(fakeFileExists("src.txt"));
    for (const std::string& call : fakeCalls) EXPECT_NE(call, "deleteFile");
}

TEST(FollowUp, MissingFieldsMoveIntoTheRest) {
    // One "&" after the caption: the message comes out empty and the path
    // keeps the remaining text.
    fakeReset();
    runCommandLine(instance, "makeDirM&Made&C:\\work\\fresh");
    EXPECT_TRUE(fakeDirectoryExists("C:\\work\\fresh"));
    ASSERT_EQ(fakeBoxes.size(), 1u);
    EXPECT_EQ(fakeBoxes[0].caption, "Made");
    EXPECT_EQ(fakeBoxes[0].text, "");
}

TEST(FollowUp, FailingBoxOrShellChangesNothing) {
    fakeReset();
    fakeFail("messageBox");
    runCommandLine(instance, "saveM&Saved&Text&a.txt&x");
    EXPECT_EQ(fakeFileBytes("a.txt"), "x");
    fakeReset();
    fakeFail("shellExecute");
    runCommandLine(instance, "saveME&a.txt&none&a.txt&x");
    EXPECT_EQ(fakeFileBytes("a.txt"), "x");
    EXPECT_TRUE(fakeShellCalls.empty());
}

TEST(FollowUp, EmptyTextIsStillAWrittenFile) {
    fakeReset();
    fakeAddFile("a.txt", "old contents");
    runCommandLine(instance, "saveM&Saved&Emptied&a.txt&");
    EXPECT_TRUE(fakeFileExists("a.txt"));
    EXPECT_EQ(fakeFileBytes("a.txt"), "");
    EXPECT_EQ(fakeBoxes.size(), 1u);
}
}  // namespace
