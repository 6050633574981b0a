#!/usr/bin/python3
"""The registry commands under Wine, checked from outside hostcmd.exe with
`wine reg`.  Every case runs in the 32-bit prefix and in a 64-bit one; in the
64-bit prefix hostcmd.exe is a 32-bit program, so its HKLM\\Software lands in
the 32-bit view (WOW6432Node): the outside inspector looks through /reg:32
and the 64-bit view must not see the record."""

import harness

ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}


class RegistryCases(harness.BitnessCases):
    def key(self, root="HKLM", tail=""):
        """(short path for hostcmd, full path for reg) of this test's key."""
        short = "Software\\HostcmdE2E\\" + self._testMethodName + ("\\" + tail if tail else "")
        full = ROOTS[root] + "\\" + short
        return short, full

    def setUp(self):
        for root in ROOTS.values():
            self.wine.reg_delete(root + "\\Software\\HostcmdE2E\\" + self._testMethodName, view=self.view)

    def outside(self, full, name):
        return self.wine.reg_value(full, name, view=self.view)

    def assertNotInOtherView(self, full):
        """In the 64-bit prefix the 64-bit view must not hold the key."""
        if self.arch == "win64" and full.startswith("HKEY_LOCAL_MACHINE\\Software\\"):
            self.assertIsNone(self.wine.reg_query(full, view=64), full)
            # ... because it lies below WOW6432Node.
            wow = full.replace("\\Software\\", "\\Software\\WOW6432Node\\", 1)
            self.assertIsNotNone(self.wine.reg_query(wow, view=64), wow)

    def run_reply(self, d, cmdline, reply="r.txt"):
        self.run_in(d, cmdline)
        return d.read(reply)

    def test_set_then_read_with_every_alias(self):
        d = self.dir()
        short, full = self.key()
        cases = [
            ("reg", "hello world"),
            ("register", "second"),
            ("regSetValue", "third"),
        ]
        for word, text in cases:
            with self.subTest(word=word):
                self.run_in(d, "%s&HKLM&%s&v&%s" % (word, short, text))
                self.assertEqual(self.outside(full, "v"), ("REG_SZ", text))
                self.assertEqual(self.run_reply(d, "regToFile&HKLM&%s&v&r.txt" % short),
                                 b"regToFile=" + text.encode())
                self.assertEqual(self.run_reply(d, "regGetValue&HKLM&%s&v&g.txt" % short, "g.txt"),
                                 b"regToFile=" + text.encode())
        self.assertNotInOtherView(full)

    def test_values_set_from_outside(self):
        d = self.dir()
        short, full = self.key()
        cases = [
            ("REG_SZ", "na", b"regToFile=ERROR"),
            ("REG_DWORD", "65", b"regToFile=A"),
            ("REG_DWORD", "0", b"regToFile="),
            ("REG_SZ", "x" * 259, b"regToFile=" + b"x" * 259),
            ("REG_SZ", "y" * 260, b"regToFile=ERROR"),
            ("REG_EXPAND_SZ", "%WINDIR%\\z", b"regToFile=%WINDIR%\\z"),
        ]
        for kind, data, reply in cases:
            with self.subTest(kind=kind, data=data[:10]):
                self.wine.reg_add(full, "v", data, type=kind, view=self.view)
                self.assertEqual(self.run_reply(d, "regToFile&HKLM&%s&v&r.txt" % short), reply)
        self.assertEqual(self.run_reply(d, "regToFile&HKLM&%s&missing&r.txt" % short),
                         b"regToFile=ERROR")

    def test_read_limit_on_values_hostcmd_wrote(self):
        d = self.dir()
        short, full = self.key()
        for n, reply in ((259, b"regToFile=" + b"k" * 259), (260, b"regToFile=ERROR")):
            with self.subTest(n=n):
                self.run_in(d, "reg&HKLM&%s&v&%s" % (short, "k" * n))
                self.assertEqual(self.outside(full, "v"), ("REG_SZ", "k" * n))
                self.assertEqual(self.run_reply(d, "regToFile&HKLM&%s&v&r.txt" % short), reply)

    def test_default_value_and_special_characters(self):
        d = self.dir()
        short, full = self.key("HKCU")
        self.run_in(d, "reg&HKCU&%s&&the default" % short)
        self.assertEqual(self.outside(full, ""), ("REG_SZ", "the default"))
        self.assertEqual(self.run_reply(d, "regToFile&HKCU&%s&&r.txt" % short),
                         b"regToFile=the default")
        # The text is the rest: "&" stays, "|" became a blank.
        self.run_in(d, "reg&HKCU&%s&v&a&b|c||d" % short)
        self.assertEqual(self.outside(full, "v"), ("REG_SZ", "a&b c  d"))
        self.assertEqual(self.run_reply(d, "regToFile&HKCU&%s&v&r.txt" % short),
                         b"regToFile=a&b c  d")
        # An empty text is an empty REG_SZ value.
        self.run_in(d, "reg&HKCU&%s&e&" % short)
        self.assertEqual(self.outside(full, "e"), ("REG_SZ", ""))
        # The reply file name is the rest, "&" included.
        self.run_in(d, "regToFile&HKCU&%s&v&a&b.txt" % short)
        self.assertEqual(d.read("a&b.txt"), b"regToFile=a&b c  d")

    def test_lower_case_root_writes_nothing(self):
        d = self.dir()
        short, full = self.key()
        for cmd in ("reg&hklm&%s&v&x", "regCreateKey&hklm&%s", "reg&HKEY_LOCAL_MACHINE&%s&v&x",
                    "reg&Hklm&%s&v&x"):
            self.run_in(d, cmd % short)
        self.assertIsNone(self.wine.reg_query(full, view=self.view))
        self.assertIsNone(self.wine.reg_query(full, view=64 if self.arch == "win64" else None))
        self.assertEqual(self.run_reply(d, "regToFile&hklm&%s&v&r.txt" % short), b"regToFile=ERROR")
        self.assertIsNone(self.wine.reg_query(full, view=self.view))

    def test_create_key_creates_every_parent(self):
        d = self.dir()
        short, full = self.key("HKLM", "a\\b\\c")
        self.run_in(d, "regCreateKey&HKLM&%s" % short)
        base = self.key()[1]
        for sub in ("", "\\a", "\\a\\b", "\\a\\b\\c"):
            self.assertEqual(self.wine.reg_query(base + sub, view=self.view), {}, sub)
        self.assertNotInOtherView(base)

    def test_read_creates_nothing(self):
        # Reads open existing keys for reading only: a missing key stays missing.
        d = self.dir()
        short, full = self.key("HKLM", "never")
        self.assertEqual(self.run_reply(d, "regToFile&HKLM&%s&v&r.txt" % short), b"regToFile=ERROR")
        self.assertIsNone(self.wine.reg_query(full, view=self.view))

    def test_delete_key(self):
        d = self.dir()
        short, full = self.key()
        self.wine.reg_add(full + "\\one\\inner", "v", "1", view=self.view)
        self.wine.reg_add(full + "\\two", "v", "2", view=self.view)
        # A key with a sub-key is not deleted.
        self.run_in(d, "regDeleteKey&HKLM&%s&one" % short)
        self.assertIsNotNone(self.wine.reg_query(full + "\\one", view=self.view))
        # Three fields: parent and sub-key path.
        self.run_in(d, "regDeleteKey&HKLM&%s&one\\inner" % short)
        self.assertIsNone(self.wine.reg_query(full + "\\one\\inner", view=self.view))
        self.assertIsNotNone(self.wine.reg_query(full + "\\one", view=self.view))
        # Two fields: the parent path is empty, the whole path is the sub-key.
        self.run_in(d, "regDeleteKey&HKLM&%s\\two" % short)
        self.assertIsNone(self.wine.reg_query(full + "\\two", view=self.view))
        self.assertIsNotNone(self.wine.reg_query(full + "\\one", view=self.view))

    def test_delete_value(self):
        d = self.dir()
        short, full = self.key("HKCU")
        self.wine.reg_add(full, "v", "1", view=self.view)
        self.wine.reg_add(full, "w", "2", view=self.view)
        self.run_in(d, "regDeleteValue&HKCU&%s&v" % short)
        self.assertIsNone(self.outside(full, "v"))
        self.assertEqual(self.outside(full, "w"), ("REG_SZ", "2"))
        self.run_in(d, "regDeleteValue&hkcu&%s&w" % short)
        self.assertEqual(self.outside(full, "w"), ("REG_SZ", "2"))


class Registry32(RegistryCases, harness.TestCase):
    arch = "win32"


class Registry64(RegistryCases, harness.TestCase):
    arch = "win64"


if __name__ == "__main__":
    harness.main()
