#include "registry/registry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/runner.h"
#include "platform/memory_platform.h"

namespace {
const std::string zero(1, '\0');

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        fakeReset();
        resetRuns();
    }
    void TearDown() override {
        EXPECT_EQ(0, fakeOpenKeys());
        EXPECT_EQ(0, fakeOpenFiles());
    }
    std::string value(Handle root, const std::string& path, const std::string& name) {
        std::string bytes;
        return fakeRegistryValue(root, path, name, bytes) ? bytes : "<missing>";
    }
    std::string readVia(const std::string& root, const std::string& path, const std::string& name) {
        Handle key = openRegistryKeyForReading(root, path);
        std::string text = readRegistryValue(key, name);
        closeRegistryKey(key);
        return text;
    }
};

TEST_F(Registry, RootNamesAreExact) {
    EXPECT_EQ(rootClassesRoot, rootKeyByName("HKCR"));
    EXPECT_EQ(rootCurrentUser, rootKeyByName("HKCU"));
    EXPECT_EQ(rootLocalMachine, rootKeyByName("HKLM"));
    EXPECT_EQ(rootUsers, rootKeyByName("HKU"));
    for (const char* name : {"hklm", "Hklm", "HKEY_LOCAL_MACHINE", "HKCC", "HKLM ", "", "HKU\\"})
        EXPECT_EQ(nullKey, rootKeyByName(name)) << name;
}

TEST_F(Registry, NullKeyReachesNoWindowsCall) {
    Handle key = openRegistryKey("hklm", "Software\\A", keyToWrite);
    EXPECT_EQ(nullKey, key);
    writeRegistryValue(key, "v", "t");
    EXPECT_EQ("na", readRegistryValue(key, "v"));
    deleteRegistryValue(key, "v");
    deleteRegistryKey(key, "A");
    closeRegistryKey(key);
    EXPECT_TRUE(fakeCalls.empty());
}

TEST_F(Registry, ReadsDataOfAnyTypeAsText) {
    const struct {
        const char* what;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"REG_SZ", "hello" + zero, "hello"},
        {"no zero byte", "abc", "abc"},
        {"text up to the first zero", "ab" + zero + "cd" + zero, "ab"},
        {"DWORD 65", std::string("A") + zero + zero + zero, "A"},
        {"DWORD 0", zero + zero + zero + zero, ""},
        {"empty", "", ""},
        {"259 characters", std::string(259, 'x') + zero, std::string(259, 'x')},
        // 260 characters are over the limit whatever the type: with or without a zero.
        {"260 bytes, no zero", std::string(260, 'x'), "na"},
        {"REG_MULTI_SZ of 260 bytes", std::string(256, 'x') + zero + "y" + zero + zero, std::string(256, 'x')},
        {"259 bytes, no zero", std::string(259, 'x'), std::string(259, 'x')},
        {"260 characters", std::string(260, 'x') + zero, "na"},
        {"the text na", "na" + zero, "na"},
    };
    for (const auto& c : cases) {
        fakeSetRegistryValue(rootCurrentUser, "Software\\T", "v", c.bytes);
        EXPECT_EQ(c.expected, readVia("HKCU", "Software\\T", "v")) << c.what;
    }
}

TEST_F(Registry, OpenToWriteCreatesTheKeyAndAReadOfAMissingValueGivesNa) {
    closeRegistryKey(openRegistryKey("HKLM", "Software\\New\\Key", keyToWrite));
    EXPECT_TRUE(fakeRegistryKeyExists(rootLocalMachine, "Software\\New\\Key"));
    EXPECT_EQ("na", readVia("HKLM", "Software\\New\\Key", "v"));
}

TEST_F(Registry, DeniedOrFailingOpenGivesNa) {
    fakeSetRegistryValue(rootLocalMachine, "Software\\T", "v", "x" + zero);
    fakeGrantRegistryRights(rootLocalMachine, "Software\\T", keySetValue);  // may write, not read
    EXPECT_EQ("na", readVia("HKLM", "Software\\T", "v"));
    fakeReset();
    fakeSetRegistryValue(rootCurrentUser, "Software\\T", "v", "x" + zero);
    fakeFail("regQueryValue");
    EXPECT_EQ("na", readVia("HKCU", "Software\\T", "v"));
}

// Runs a command line and gives the reply file's bytes.
std::string replyOf(const std::string& commandLine) {
    fakeAddFile("C:\\work\\r.txt", "old reply, longer than the new one");
    runCommandLine(0, commandLine);
    return fakeFileBytes("C:\\work\\r.txt");
}

TEST_F(Registry, SetAndGetCommands) {
    const struct {
        const char* set;
        const char* get;
        const char* reply;
    } cases[] = {
        {"reg&HKCU&Software\\H&v&hello", "regToFile&HKCU&Software\\H&v&r.txt", "regToFile=hello"},
        {"register&HKCU&Software\\H&v&two", "regGetValue&HKCU&Software\\H&v&r.txt", "regToFile=two"},
        {"regSetValue&HKLM&Software\\H\\Deep\\er&v&x", "regToFile&HKLM&Software\\H\\Deep\\er&v&r.txt", "regToFile=x"},
        {"reg&HKCU&Software\\H&v&a&b|c d", "regToFile&HKCU&Software\\H&v&r.txt", "regToFile=a&b c d"},
        {"reg&HKCU&Software\\H&v&", "regToFile&HKCU&Software\\H&v&r.txt", "regToFile="},
        {"reg&HKCU&Software\\H&&default", "regToFile&HKCU&Software\\H&&r.txt", "regToFile=default"},
        {"reg&HKCU&Software\\H&v&na", "regToFile&HKCU&Software\\H&v&r.txt", "regToFile=ERROR"},
        {"reg&HKCU&Software\\H&v&line\nbreak", "regToFile&HKCU&Software\\H&v&r.txt", "regToFile=line\r\nbreak"},
        {"reg&HKCU&Software\\H&w&%WIN%x", "regToFile&HKCU&Software\\H&w&r.txt", "regToFile=C:\\WINDOWS\\x"},
    };
    for (const auto& c : cases) {
        runCommandLine(0, c.set);
        EXPECT_EQ(c.reply, replyOf(c.get)) << c.set;
    }
    EXPECT_EQ("default" + zero, value(rootCurrentUser, "Software\\H", ""));
    EXPECT_EQ("regToFile=ERROR", replyOf("regToFile&HKCU&Software\\H&missing&r.txt"));
}

// A text the code page cannot hold exactly is not read (RegQueryValueExA
// would give the best-fit "Lukasz"); the UTF-8 build reads it, within the
// limit in bytes. Types that are no text come as they are.
TEST_F(Registry, TextsTheCodePageCannotHoldAreNotRead) {
    const std::string L = fakeWideCharacter(0x141);
    std::string l130, l129utf8;
    for (int i = 0; i < 130; ++i) l130 += L;
    for (int i = 0; i < 129; ++i) l129utf8 += "\xC5\x81";
    const struct {
        const char* what;
        bool utf8;
        unsigned type;
        std::string bytes, reply;
    } cases[] = {
        {"REG_SZ", false, 1, L + "ukasz" + zero, "regToFile=ERROR"},
        {"REG_EXPAND_SZ", false, 2, L + zero, "regToFile=ERROR"},
        {"REG_MULTI_SZ", false, 7, "a" + zero + L + zero + zero, "regToFile=ERROR"},
        {"REG_BINARY is no text", false, 3, "ab" + L, "regToFile=ab" + L},
        {"what 1252 holds", false, 1, "caf\xE9" + zero, "regToFile=caf\xE9"},
        {"UTF-8 build", true, 1, L + "ukasz" + zero, "regToFile=\xC5\x81ukasz"},
        {"UTF-8 build, a lone surrogate", true, 1, fakeWideCharacter(0xDC00) + zero, "regToFile=ERROR"},
        {"UTF-8 build, 260 bytes converted", true, 1, l130 + zero, "regToFile=ERROR"},
        {"UTF-8 build, 258 bytes converted", true, 1, l130.substr(L.size()) + zero, "regToFile=" + l129utf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakeReset();
        fakeUseUtf8(c.utf8);
        fakeSetRegistryValue(rootCurrentUser, "Software\\T", "v", c.bytes, c.type);
        EXPECT_EQ(c.reply, replyOf("regToFile&HKCU&Software\\T&v&r.txt"));
    }
}

TEST_F(Registry, ReadLimitInCommands) {
    runCommandLine(0, "reg&HKCU&Software\\H&v&" + std::string(259, 'x'));
    EXPECT_EQ("regToFile=" + std::string(259, 'x'), replyOf("regToFile&HKCU&Software\\H&v&r.txt"));
    runCommandLine(0, "reg&HKCU&Software\\H&v&" + std::string(260, 'x'));
    EXPECT_EQ(std::string(260, 'x') + zero, value(rootCurrentUser, "Software\\H", "v"));
    EXPECT_EQ("regToFile=ERROR", replyOf("regToFile&HKCU&Software\\H&v&r.txt"));
}

TEST_F(Registry, ReplyFileNameIsTheRest) {
    fakeSetRegistryValue(rootCurrentUser, "Software\\H", "v", "x" + zero);
    runCommandLine(0, "regToFile&HKCU&Software\\H&v&a&b.txt");
    EXPECT_EQ("regToFile=x", fakeFileBytes("C:\\work\\a&b.txt"));
}

TEST_F(Registry, UnknownRootWritesNothing) {
    runCommandLine(0, "reg&hkcu&Software\\H&v&x");
    runCommandLine(0, "regCreateKey&hkcu&Software\\K");
    EXPECT_EQ("regToFile=ERROR", replyOf("regToFile&Hkcu&Software\\H&v&r.txt"));
    EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, "Software\\H"));
    EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, "Software\\K"));
    EXPECT_TRUE(fakeCalls.end() == std::find_if(fakeCalls.begin(), fakeCalls.end(), [](const std::string& call) {
                    return call.compare(0, 3, "reg") == 0;
                }));
}

TEST_F(Registry, CreateKeyCreatesEveryParent) {
    runCommandLine(0, "regCreateKey&HKCU&Software\\A\\B\\C");
    EXPECT_TRUE(fakeRegistryKeyExists(rootCurrentUser, "Software\\A"));
    EXPECT_TRUE(fakeRegistryKeyExists(rootCurrentUser, "Software\\A\\B"));
    EXPECT_TRUE(fakeRegistryKeyExists(rootCurrentUser, "Software\\A\\B\\C"));
}

TEST_F(Registry, DeleteKey) {
    runCommandLine(0, "regCreateKey&HKCU&Software\\A\\B\\C");
    // A key with sub-keys stays.
    runCommandLine(0, "regDeleteKey&HKCU&Software\\A&B");
    EXPECT_TRUE(fakeRegistryKeyExists(rootCurrentUser, "Software\\A\\B"));
    runCommandLine(0, "regDeleteKey&HKCU&Software\\A&B\\C");
    EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, "Software\\A\\B\\C"));
    // Two fields: the parent path is empty and the whole path is the sub-key.
    runCommandLine(0, "regDeleteKey&HKCU&Software\\A\\B");
    EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, "Software\\A\\B"));
    EXPECT_TRUE(fakeRegistryKeyExists(rootCurrentUser, "Software\\A"));
    // Deleting below a path that does not exist leaves that path behind.
    runCommandLine(0, "regDeleteKey&HKCU&Software\\Gone\\Path&X");
    EXPECT_TRUE(fakeRegistryKeyExists(rootCurrentUser, "Software\\Gone\\Path"));
}

// Keys delegated with some rights only: each command asks for what its one
// call needs, so a user granted Set Value may write and delete values, and a
// key delete needs the right to delete the sub-key, not full access to its
// parent. A read-only key (a standard user under HKLM\Software) stays as it is.
TEST_F(Registry, DelegatedKeysAllowWhatTheirRightsAllow) {
    const struct {
        const char* line;
        unsigned rights;  // held on HKLM\Software\D and below
        bool changed;
    } cases[] = {
        {"reg&HKLM&Software\\D&v&new", keySetValue, true},
        {"regDeleteValue&HKLM&Software\\D&v", keySetValue, true},
        {"regDeleteKey&HKLM&Software&D\\Sub", keyQueryValue | keyEnumerateSubKeys | fakeKeyDelete, true},
        {"reg&HKLM&Software\\D&v&new", keyQueryValue | keyEnumerateSubKeys, false},
        {"regDeleteValue&HKLM&Software\\D&v", keyQueryValue | keyEnumerateSubKeys, false},
        {"regDeleteKey&HKLM&Software&D\\Sub", keyQueryValue | keyEnumerateSubKeys, false},
        // A missing key is made only with the parent's Create Subkey right.
        {"reg&HKLM&Software\\D\\New&v&new", keySetValue, false},
        {"reg&HKLM&Software\\D\\New&v&new", keySetValue | keyCreateSubKey, true},
    };
    for (const auto& c : cases) {
        SetUp();
        fakeSetRegistryValue(rootLocalMachine, "Software\\D", "v", "old" + zero);
        fakeCreateRegistryKey(rootLocalMachine, "Software\\D\\Sub");
        fakeGrantRegistryRights(rootLocalMachine, "Software\\D", c.rights);
        runCommandLine(0, c.line);
        bool changed = value(rootLocalMachine, "Software\\D", "v") != "old" + zero ||
                       !fakeRegistryKeyExists(rootLocalMachine, "Software\\D\\Sub") ||
                       fakeRegistryKeyExists(rootLocalMachine, "Software\\D\\New");
        EXPECT_EQ(changed, c.changed) << c.line << " with rights " << c.rights;
        EXPECT_EQ(0, fakeOpenKeys());
    }
}

// A delete whose last field is empty, blank or only dots names the base it is
// appended to: RegDeleteKeyA with "" deletes the key it was given, and
// RemoveDirectoryA of "<Startup>\" the Startup folder. Such a field deletes
// nothing, and Windows is not even asked.
TEST_F(Registry, EmptyNamesNeverWidenADelete) {
    const char* const foldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const struct {
        const char* folder;
        const char* path;
    } folders[] = {
        {"Desktop", "C:\\Users\\ann\\Desktop"},
        {"Programs", "C:\\Users\\ann\\Start Menu\\Programs"},
        {"Startup", "C:\\Users\\ann\\Start Menu\\Programs\\Startup"},
    };
    const char* const lines[] = {
        "regDeleteKey&HKCU&Software\\Vendor\\Product&",
        "regDeleteKey&HKCU&Software\\Vendor\\Product&   ",
        "regDeleteKey&HKCU&Software\\Vendor\\Product&\\",
        "regDeleteKey&HKCU&Software\\Vendor\\Product&.",
        "regDeleteKey&HKCU&Software\\Vendor\\Product&|",  // a bar is a blank
        "deleteIconDir&3&",
        "deleteIconDir&0&",
        "deleteIconDir&7&",
        "deleteIconDir&3& ",
        "deleteIconDir&3&.",
        "deleteIconDir&3&\\",
        "deleteIconDir&3&Group\\..",
        "deleteIconDir&3&..",
        "deleteIconDir&1&Startup\\. .",
        "deleteIcon&3&",
        "deleteIcon&0& ",
        "deleteIcon&1&..\\Startup",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        fakeReset();
        resetRuns();
        runCommandLine(0, "regCreateKey&HKCU&Software\\Vendor\\Product");
        for (const auto& f : folders) {
            fakeSetRegistryValue(rootCurrentUser, foldersKey, f.folder, std::string(f.path) + zero);
            fakeAddDirectory(f.path);
        }
        fakeAddDirectory("C:\\Users\\ann\\Start Menu\\Programs\\Startup\\Group");
        fakeCalls.clear();
        runCommandLine(0, line);
        EXPECT_TRUE(fakeRegistryKeyExists(rootCurrentUser, "Software\\Vendor\\Product"));
        for (const auto& f : folders) EXPECT_TRUE(fakeDirectoryExists(f.path)) << f.path;
        for (const char* call : {"regDeleteKey", "removeDirectory", "deleteFile"})
            EXPECT_EQ(0, std::count(fakeCalls.begin(), fakeCalls.end(), call)) << call;
    }
    // A name below the base still deletes.
    runCommandLine(0, "regDeleteKey&HKCU&Software\\Vendor&Product");
    EXPECT_FALSE(fakeRegistryKeyExists(rootCurrentUser, "Software\\Vendor\\Product"));
    runCommandLine(0, "deleteIconDir&3&Group");
    EXPECT_FALSE(fakeDirectoryExists("C:\\Users\\ann\\Start Menu\\Programs\\Startup\\Group"));
}

TEST_F(Registry, DeleteValue) {
    fakeSetRegistryValue(rootCurrentUser, "Software\\H", "v", "x" + zero);
    fakeSetRegistryValue(rootCurrentUser, "Software\\H", "w", "y" + zero);
    runCommandLine(0, "regDeleteValue&HKCU&Software\\H&v");
    EXPECT_EQ("<missing>", value(rootCurrentUser, "Software\\H", "v"));
    EXPECT_EQ("y" + zero, value(rootCurrentUser, "Software\\H", "w"));
    runCommandLine(0, "regDeleteValue&hkcu&Software\\H&w");
    EXPECT_EQ("y" + zero, value(rootCurrentUser, "Software\\H", "w"));
}

TEST_F(Registry, KeysAreClosedWhenEveryCallFails) {
    // Fail each platform call of a read command in turn: the key that was
    // opened is closed all the same.
    for (int k = 1; k <= 6; ++k) {
        fakeReset();
        fakeSetRegistryValue(rootCurrentUser, "Software\\H", "v", "x" + zero);
        fakeFailCallNumber(k);
        runCommandLine(0, "regToFile&HKCU&Software\\H&v&r.txt");
        EXPECT_EQ(0, fakeOpenKeys()) << k;
        EXPECT_EQ(0, fakeOpenFiles()) << k;
    }
}
}  // namespace
