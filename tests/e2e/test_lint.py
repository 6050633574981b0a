#!/usr/bin/python3
"""hostcmd-lint.exe, the Windows build of the lint, under Wine: it must give
the same findings and exit codes as the lint built for this machine, and
--explain must expand the path tokens that the native build names."""

import os
import shutil

import harness

NATIVE = os.path.join(harness.REPO, "build", "native", "hostcmd-lint")

FILES = {
    "steps.txt": b"save&a.txt&x\r\nSave&b\r\ncopy&a&b\r\nreg&HKEY_LOCAL_MACHINE&S&v&t\r\n"
                 b"copy&%win%a&b&c\r\nbatch&steps.txt\r\nhello\r\n\r\nmessage&x&y\r\n",
    "kw.ini": b"check\r\nVendor\r\nProduct \r\n1.0\r\n\r\nrun&%APP%p.exe&none\r\ninstall&setup.txt\r\n",
    "setup.txt": b"".join([b"x\r\n", b"Vendor\r\n", b"Product\r\n", b"1.0\r\n", b"No\r\n", b"YES\r\n",
                           b"NO\r\n"] + [b"t\r\n"] * 7 + [b"%PROG%\r\n", b"Vendor\\Product\r\n", b"\r\n"]
                          + [b"\r\n"] * 20 + [b"copy&a&%APP%a&FALSE\r\n", b"cpoy&b&%APP%b&FALSE\r\n"]),
    "clean.txt": b"save&a.txt&Hello\r\nrun&%WIN%notepad.exe&none\r\n",
    # Byte problems (a second file's byte-order mark on line 5), shown
    # escaped the same way by both builds; a file of warnings only.
    "bytes.txt": b"\xef\xbb\xbfsave&a.txt&x\r\ncopy&\xe4.txt&b&true\r\nsave&c&d\rsave&e&f\r\n"
                 b"copy&%PROGRAMFILES%\\a&b&TRUE\r\n\xef\xbb\xbfsave&b.txt&y\r\n",
    "warn.txt": b"copy&a&b&maybe\r\n",
}


class LintTest(harness.TestCase):
    needs_hostcmd = False

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.lint_exe = os.path.join(cls.session.build_dir(cls.wine.build), "hostcmd-lint.exe")
        for path in (cls.lint_exe, NATIVE):
            if not os.path.exists(path):
                raise harness.HarnessError("missing %s: build both presets first" % path)

    def both(self, d, args):
        """(exit code, output) of the native lint and of the Windows one."""
        native = harness.run_to_files([NATIVE] + args, dict(os.environ),
                                      os.path.join(d.unix, "..", "native-lint.out"), cwd=d.unix)
        windows = self.wine.wine([self.lint_exe] + args, cwd=d.unix)
        return (native[0], native[1]), (windows[0], windows[1].replace(b"\r\n", b"\n"))

    def test_same_findings_and_exit_codes_as_the_native_build(self):
        d = self.dir()
        for name, data in FILES.items():
            d.write(name, data)
        for args in (["steps.txt"], ["kw.ini"], ["clean.txt"], ["--installer", "setup.txt"], ["missing.txt"],
                     ["bytes.txt"], ["warn.txt"], ["--werror", "warn.txt"]):
            with self.subTest(args=args):
                native, windows = self.both(d, args)
                self.assertEqual(windows, native)
        native, _ = self.both(d, ["steps.txt"])
        self.assertEqual(native[0], 1)
        self.assertIn(b"steps.txt:2: error: unknown command word \"Save\"", native[1])
        self.assertEqual(self.both(d, ["clean.txt"])[0], (0, b""))
        native, _ = self.both(d, ["bytes.txt"])
        self.assertIn(b"bytes.txt:1: error: the file begins with a UTF-8 byte-order mark (\\xEF\\xBB\\xBF)", native[1])
        self.assertIn(b"bytes.txt:2: error: flag \"true\" is not TRUE", native[1])
        self.assertIn(b"use %PROG%", native[1])
        self.assertIn(b"bytes.txt:5: error: the line begins with a UTF-8 byte-order mark (\\xEF\\xBB\\xBF), as where "
                      b"two files were joined", native[1])
        self.assertEqual(self.both(d, ["warn.txt"])[0][0], 0)
        self.assertEqual(self.both(d, ["--werror", "warn.txt"])[0][0], 1)

    def test_only_disk_files_are_read(self):
        # A device, a pipe or /dev/zero, named on the command line or on line 7
        # of a check file, is not read: each run ends at once and says why.
        d = self.dir()
        check = b"check\r\nA\r\nB\r\nC\r\nv.exe\r\nrun&v.exe&none\r\ninstall&%s\r\n"
        d.write("com.ini", check % b"COM1")
        code, out, _ = self.wine.wine([self.lint_exe, "com.ini"], cwd=d.unix, timeout=30)
        self.assertEqual(code, 1, out)
        self.assertIn(b'com.ini:7: error: installer file "COM1" was not linted: it is no disk file that can be read',
                      out)
        code, _, err = self.wine.wine([self.lint_exe, "COM1"], cwd=d.unix, timeout=30)
        self.assertEqual((code, err.replace(b"\r\n", b"\n")),
                         (2, b"COM1: error: cannot read the file: it is no disk file that can be read (a directory, "
                             b"a device, a pipe, or no access)\n"))
        os.mkfifo(d.path("pipe"))
        os.symlink("/dev/zero", d.path("zero"))
        d.write("pipe.ini", check % b"pipe")
        d.write("zero.ini", check % b"zero")
        code, out, err = harness.run_to_files([NATIVE, "pipe", "zero", "pipe.ini", "zero.ini"], dict(os.environ),
                                              os.path.join(d.unix, "..", "native-devices.out"), cwd=d.unix,
                                              timeout=30)
        self.assertEqual(code, 2, err)
        self.assertEqual(err.count(b": error: cannot read the file: it is no disk file"), 2, err)
        for name in (b"pipe", b"zero"):
            self.assertIn(b'%s.ini:7: error: installer file "%s" was not linted' % (name, name), out)

    def test_the_shipped_examples_lint_clean_on_windows(self):
        d = self.dir()
        examples = os.path.join(harness.REPO, "examples")
        if not os.path.isdir(examples):
            self.skipTest("no examples shipped")
        shutil.copytree(examples, os.path.join(d.unix, "examples"))
        for check in sorted(f for f in os.listdir(examples) if os.path.isdir(os.path.join(examples, f))):
            ini = os.path.join("examples", check, "kw.ini")
            if os.path.exists(os.path.join(d.unix, ini)):
                code, out, _ = self.wine.wine([self.lint_exe, ini.replace("/", "\\")], cwd=d.unix)
                self.assertEqual((code, out), (0, b""), ini)

    def test_explain_expands_the_path_tokens_on_windows(self):
        d = self.dir()
        code, out, _ = self.wine.wine([self.lint_exe, "--explain", "copy&%WIN%win.ini&%TEMP%w.ini&TRUE"], cwd=d.unix)
        self.assertEqual(code, 0)
        text = out.replace(b"\r\n", b"\n").decode("latin-1")
        self.assertIn("   after the path tokens: \"C:\\windows\\win.ini&", text)
        self.assertIn("   1. source: \"C:\\windows\\win.ini\"\n", text)
        self.assertIn("Nothing has been run.", text)
        native = harness.run_to_files([NATIVE, "--explain", "copy&%WIN%win.ini&%TEMP%w.ini&TRUE"], dict(os.environ),
                                      os.path.join(d.unix, "..", "native-explain.out"))
        self.assertIn(b"   1. source: \"%WIN%win.ini\"\n", native[1])


if __name__ == "__main__":
    harness.main()
