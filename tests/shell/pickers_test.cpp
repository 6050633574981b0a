// Folder browser and file dialogs on the fake platform: what each dialog is
// given, the replies, the shell allocator's bookkeeping, and reply files that
// must not follow a dialog that moves the current directory.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/dispatch.h"
#include "app/runner.h"
#include "platform/memory_platform.h"
#include "shell/shell.h"

namespace {
const Handle instance = 0x400000;

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override { fakeReset(); }
    static void run(const std::string& word, const std::string& arguments) {
        dispatchCommand(instance, word, arguments);
    }
    static std::size_t position(const std::string& call) {
        return std::find(fakeCalls.begin(), fakeCalls.end(), call) - fakeCalls.begin();
    }
};

TEST_F(PickerTest, GetUserDirReplies) {
    struct Case {
        std::string chosen;  // "" cancels
        std::string reply;
    } cases[] = {
        {"C:\\Data\\Games", "UserDir=C:\\Data\\Games\\"},
        {"D:\\", "UserDir=D:\\"},  // a drive root gets no second backslash
        {"", "UserDir=na\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        SetUp();
        fakeAnswerDialogs({c.chosen});
        run("getUserDir", "C:\\work\\answer.txt&Pick a folder & more&&");
        EXPECT_EQ(c.reply, fakeFileBytes("C:\\work\\answer.txt"));
        ASSERT_EQ(1u, fakeDialogs.size());
        EXPECT_EQ("browse", fakeDialogs[0].kind);
        EXPECT_EQ("Pick a folder & more&&", fakeDialogs[0].title);  // the rest, "&" and all
        EXPECT_EQ(1u, fakeDialogs[0].flags);                         // BIF_RETURNONLYFSDIRS
        EXPECT_EQ(instance, fakeDialogs[0].owner);
        EXPECT_EQ(0, fakeLiveAllocations());
        EXPECT_EQ(1, std::count(fakeCalls.begin(), fakeCalls.end(), "mallocRelease"));
    }
}

TEST_F(PickerTest, GetUserDirCountsADoubleByteCharacterAsOne) {
    // 0x81 0x5C is one character in code page 932: its second byte is no backslash.
    fakeUseCodePage932(true);
    std::string folder = "C:\\\x83\x5C\x81\x5C";
    fakeAnswerDialogs({folder});
    run("getUserDir", "r.txt&t");
    EXPECT_EQ("UserDir=" + folder + "\\", fakeFileBytes("C:\\work\\r.txt"));
}

TEST_F(PickerTest, BrowseForFolderAnswersThePathAsTheShellGivesIt) {
    // The installer uses the answer too: no backslash is added here.
    fakeAnswerDialogs({"C:\\Data", "E:\\"});
    EXPECT_EQ("C:\\Data", browseForFolder(instance, "t"));
    EXPECT_EQ("E:\\", browseForFolder(instance, "t"));
    EXPECT_EQ("na", browseForFolder(instance, "t"));  // queue empty: cancelled
}

TEST_F(PickerTest, BrowseForFolderFailures) {
    for (const char* call : {"shGetMalloc", "mallocAlloc", "shBrowseForFolder", "shGetPathFromIDList"}) {
        SCOPED_TRACE(call);
        SetUp();
        fakeAnswerDialogs({"C:\\Data"});
        fakeFail(call);
        EXPECT_EQ("na", browseForFolder(instance, "t"));
        EXPECT_EQ(0, fakeLiveAllocations());  // the item list too
        // The allocator is released whenever it was obtained.
        EXPECT_EQ(std::string(call) == "shGetMalloc" ? 0 : 1,
                  std::count(fakeCalls.begin(), fakeCalls.end(), "mallocRelease"));
    }
    // Without a display buffer no browser is shown at all.
    SetUp();
    fakeFail("mallocAlloc");
    browseForFolder(instance, "t");
    EXPECT_TRUE(fakeDialogs.empty());
}

TEST_F(PickerTest, FileDialogsAreGivenTheirFields) {
    struct Case {
        const char* word;
        const char* kind;
        unsigned flags;
    } cases[] = {
        {"savePrompt", "save", 0x4806},
        {"openPrompt", "open", 0x5004},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        SetUp();
        run(c.word, "r.txt&Text files&*.txt;*.log&notes.txt&none&Save & keep&&");
        ASSERT_EQ(1u, fakeDialogs.size());
        const FakeDialog& dialog = fakeDialogs[0];
        EXPECT_EQ(c.kind, dialog.kind);
        EXPECT_EQ(c.flags, dialog.flags);
        EXPECT_EQ(instance, dialog.owner);
        EXPECT_EQ(std::string("Text files\0*.txt;*.log\0\0", 24), dialog.filter);
        EXPECT_EQ("notes.txt", dialog.file);
        EXPECT_EQ("none", dialog.initialDir);  // "none" is a directory name here
        EXPECT_EQ("Save & keep&&", dialog.title);
        EXPECT_EQ("fileSelected=ERROR", fakeFileBytes("C:\\work\\r.txt"));
    }
}

TEST_F(PickerTest, FileDialogReplies) {
    struct Case {
        const char* word;
        const char* defaultFile;
        std::string chosen;  // "" cancels
        const char* presetShown;
        const char* reply;
    } cases[] = {
        {"openPrompt", "none", "C:\\Docs\\a.txt", "", "fileSelected=C:\\Docs\\a.txt"},
        {"openPrompt", "a.txt", "", "a.txt", "fileSelected=ERROR"},
        {"savePrompt", "None", "D:\\b c.txt", "None", "fileSelected=D:\\b c.txt"},
        {"savePrompt", "", "", "", "fileSelected=ERROR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.word) + " " + c.defaultFile);
        SetUp();
        fakeAddFile("C:\\Docs\\a.txt", "");
        fakeAddDirectory("D:\\");
        fakeAnswerDialogs({c.chosen});
        run(c.word, std::string("r.txt&All&*.*&") + c.defaultFile + "&&Title");
        ASSERT_EQ(1u, fakeDialogs.size());
        EXPECT_EQ(c.presetShown, fakeDialogs[0].file);
        EXPECT_EQ("", fakeDialogs[0].initialDir);
        EXPECT_EQ("Title", fakeDialogs[0].title);
        EXPECT_EQ(c.reply, fakeFileBytes("C:\\work\\r.txt"));
    }
}

// The dialogs close only on a name they take: an open dialog's name must
// exist, and saving over a file asks first; otherwise the dialog's own box
// shows and the dialog stays for the next answer.
TEST_F(PickerTest, DialogsTakeOnlyANameWindowsTakes) {
    struct Case {
        const char* word;
        std::vector<std::string> chosen;  // one answer per dialog shown; "" cancels
        std::vector<int> boxAnswers;
        std::vector<std::string> boxes;    // the dialog's own boxes, in order
        const char* reply;
    } cases[] = {
        {"openPrompt", {"C:\\work\\missing.txt", "C:\\work\\there.txt"}, {1}, {"File does not exist"}, "fileSelected=C:\\work\\there.txt"},
        {"openPrompt", {"C:\\nodir\\a.txt", ""}, {1}, {"Path does not exist"}, "fileSelected=ERROR"},
        {"openPrompt", {"C:\\work\\THERE.TXT"}, {}, {}, "fileSelected=C:\\work\\THERE.TXT"},
        {"savePrompt", {"C:\\work\\there.txt", ""}, {7}, {"File already exists.\nDo you want to replace it?"}, "fileSelected=ERROR"},
        {"savePrompt", {"C:\\work\\there.txt"}, {6}, {"File already exists.\nDo you want to replace it?"}, "fileSelected=C:\\work\\there.txt"},
        {"savePrompt", {"C:\\nodir\\new.txt", "C:\\work\\new.txt"}, {1}, {"Path does not exist"}, "fileSelected=C:\\work\\new.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.word) + " " + c.chosen[0]);
        SetUp();
        fakeAddFile("C:\\work\\there.txt", "x");
        fakeAnswerDialogs(c.chosen);
        fakeAnswerBoxes(c.boxAnswers);
        run(c.word, "r.txt&All&*.*&none&&Title");
        EXPECT_EQ(c.chosen.size(), fakeDialogs.size());
        ASSERT_EQ(c.boxes.size(), fakeBoxes.size());
        for (std::size_t i = 0; i < c.boxes.size(); ++i) {
            EXPECT_EQ(c.boxes[i], fakeBoxes[i].text);
            EXPECT_EQ("Title", fakeBoxes[i].caption);
        }
        EXPECT_EQ(c.reply, fakeFileBytes("C:\\work\\r.txt"));
    }
}

TEST_F(PickerTest, ReplyFileIsResolvedBeforeTheDialogMovesTheDirectory) {
    struct Case {
        const char* word;
        const char* arguments;
        const char* dialogCall;
    } cases[] = {
        {"savePrompt", "reply.txt&All&*.*&none&&T", "getSaveFileName"},
        {"openPrompt", "sub\\reply.txt&All&*.*&none&&T", "getOpenFileName"},
        {"getUserDir", "reply.txt&T", "shBrowseForFolder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        SetUp();
        fakeAddDirectory("C:\\work\\sub");
        fakeAddDirectory("C:\\elsewhere\\sub");
        fakeDialogsMoveCurrentDirectory("C:\\elsewhere");
        fakeAnswerDialogs({"C:\\elsewhere\\x.txt"});
        run(c.word, c.arguments);
        std::string name = std::string(c.arguments).substr(0, std::string(c.arguments).find('&'));
        EXPECT_TRUE(fakeFileExists("C:\\work\\" + name));
        EXPECT_FALSE(fakeFileExists("C:\\elsewhere\\" + name));
        EXPECT_LT(position("fullPathName"), position(c.dialogCall));
        EXPECT_EQ("C:\\work", fakeCurrentDirectory());
    }
}

TEST_F(PickerTest, ADialogInABatchLeavesLaterRelativeNamesWhereTheyWere) {
    // The dialog moves the current directory to where the user browsed; the
    // batch's next line still writes into the batch's own directory.
    for (const char* dialogLine : {"savePrompt&r.txt&All&*.*&none&C:\\elsewhere&T",
                                   "openPrompt&r.txt&All&*.*&none&C:\\elsewhere&T", "getUserDir&r.txt&T"}) {
        for (const char* answer : {"C:\\elsewhere\\x.txt", ""}) {
            SCOPED_TRACE(std::string(dialogLine) + (*answer ? " answered" : " cancelled"));
            SetUp();
            resetRuns();
            fakeAddDirectory("C:\\elsewhere");
            fakeDialogsMoveCurrentDirectory("C:\\elsewhere");
            fakeAnswerDialogs({answer});
            fakeAddFile("C:\\work\\steps.txt", std::string(dialogLine) + "\nsave&after.txt&x\n");
            runCommandLine(instance, "batch&steps.txt");
            EXPECT_EQ("x", fakeFileBytes("C:\\work\\after.txt"));
            EXPECT_FALSE(fakeFileExists("C:\\elsewhere\\after.txt"));
            EXPECT_EQ("C:\\work", fakeCurrentDirectory());
        }
    }
}

// A choice is an answer only when it has an exact form in the code page
// (the user picked that very name: no short name stands in for it) and fits
// 259 bytes; anything else answers as a cancel.
TEST_F(PickerTest, ChoicesThatAreNoAnswer) {
    const std::string L = fakeWideCharacter(0x141);
    // Names of at most 255 characters each, as a folder of NTFS holds them.
    const std::string folder127 = "C:\\" + std::string(127, 'x');
    const std::string at259 = folder127 + "\\" + std::string(124, 'y') + ".txt";
    const std::string at260 = folder127 + "\\" + std::string(125, 'y') + ".txt";
    std::string utf8Over;  // 130 characters of two bytes each
    for (int i = 0; i < 130; ++i) utf8Over += L;
    struct Case {
        const char* what;
        bool utf8;
        std::string chosen;
        std::string file, folder;  // the replies' values; "" for their cancel forms
    } cases[] = {
        {"a name the code page lacks", false, "C:\\" + L + "ukasz", "", ""},
        {"the same in the UTF-8 build", true, "C:\\" + L + "ukasz", "C:\\\xC5\x81ukasz", "C:\\\xC5\x81ukasz\\"},
        {"a lone surrogate in the UTF-8 build", true, "C:\\a" + fakeWideCharacter(0xD801), "", ""},
        {"259 bytes", false, at259, at259, at259 + "\\"},
        {"260 bytes", false, at260, "", ""},
        {"260 bytes of UTF-8", true, "C:\\" + utf8Over.substr(0, 128 * L.size()) + "x", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* word : {"openPrompt", "savePrompt", "getUserDir"}) {
            SetUp();
            fakeUseUtf8(c.utf8);
            fakeSetShortName("C:\\" + L + "ukasz", "C:\\UKASZ~1");
            fakeAddDirectory(folder127);
            // An open dialog takes only a file that is there; a save dialog
            // would ask first before replacing one.
            if (std::string(word) == "openPrompt") fakeAddFile(c.chosen, "");
            fakeAnswerDialogs({c.chosen});
            bool folder = std::string(word) == "getUserDir";
            run(word, folder ? "r.txt&T" : "r.txt&All&*.*&none&&T");
            const std::string& value = folder ? c.folder : c.file;
            EXPECT_EQ(folder ? "UserDir=" + (value.empty() ? std::string("na\\") : value)
                             : "fileSelected=" + (value.empty() ? std::string("ERROR") : value),
                      fakeFileBytes("C:\\work\\r.txt"))
                << word;
            EXPECT_EQ(0, fakeLiveAllocations());
        }
    }
}

// A current directory that cannot be kept (no exact form, no short name)
// could not be restored after the dialog moved it: no dialog, the cancel
// reply where the host started hostcmd. With a short name it is kept in that form.
TEST_F(PickerTest, CurrentDirectoryTheCodePageCannotSpell) {
    const std::string L = fakeWideCharacter(0x141);
    for (bool shortName : {false, true}) {
        for (const char* line : {"savePrompt&r.txt&All&*.*&none&&T", "openPrompt&r.txt&All&*.*&none&&T", "getUserDir&r.txt&T"}) {
            SCOPED_TRACE(std::string(line) + (shortName ? " short name" : " no short name"));
            SetUp();
            resetRuns();
            fakeAddDirectory("C:\\" + L);
            fakeAddDirectory("C:\\L~1");
            fakeAddDirectory("C:\\elsewhere");
            if (shortName) fakeSetShortName("C:\\" + L, "C:\\L~1");
            fakeSetCurrentDirectory("C:\\" + L);
            fakeDialogsMoveCurrentDirectory("C:\\elsewhere");
            if (std::string(line).compare(0, 4, "open") == 0) fakeAddFile("C:\\elsewhere\\x.txt", "");
            fakeAnswerDialogs({"C:\\elsewhere\\x.txt"});
            runCommandLine(instance, line);
            EXPECT_EQ(shortName ? 1u : 0u, fakeDialogs.size());
            EXPECT_EQ(shortName ? "C:\\L~1" : "C:\\" + L, fakeCurrentDirectory());
            EXPECT_FALSE(fakeFileExists("C:\\elsewhere\\r.txt"));
            std::string reply = fakeFileBytes((shortName ? "C:\\L~1" : "C:\\" + L) + "\\r.txt");
            if (!shortName) EXPECT_TRUE(reply == "fileSelected=ERROR" || reply == "UserDir=na\\") << reply;
            else EXPECT_TRUE(reply == "fileSelected=C:\\elsewhere\\x.txt" || reply == "UserDir=C:\\elsewhere\\x.txt\\")
                << reply;
        }
    }
}

TEST_F(PickerTest, EmptyReplyFileNameWritesNothing) {
    fakeAddFile("C:\\x.txt", "");
    fakeAnswerDialogs({"C:\\x.txt"});
    run("openPrompt", "&All&*.*&none&&T");
    EXPECT_EQ(1u, fakeDialogs.size());
    EXPECT_EQ(0, std::count(fakeCalls.begin(), fakeCalls.end(), "createFileForWriting"));
    EXPECT_EQ(0, std::count(fakeCalls.begin(), fakeCalls.end(), "fullPathName"));
}
}  // namespace
