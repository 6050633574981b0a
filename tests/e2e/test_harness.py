#!/usr/bin/python3
"""Checks of the end-to-end machinery itself, without hostcmd.exe: that a
raw command line reaches the started program byte for byte, that boxes and
dialogs are answered as scripted and reported faithfully, that waits end in
failures instead of hangs, and that the prefix offers what the other test
modules rely on (recorder file type, CD-ROM drives, real user folders)."""

import os

import harness
from harness import DIR, HarnessError

PROBE = harness.TOOLS_DIR_WIN + "\\probe.exe"
RECORDER = harness.TOOLS_DIR_WIN + "\\recorder.exe"


class HarnessTest(harness.TestCase):
    needs_hostcmd = False

    def probe(self, d, args, **kw):
        """Runs probe.exe in d with the given argument text; returns the
        lines of its result file as a dict."""
        line = b'"' + PROBE.encode() + b'" result.txt ' + args
        r = self.run_in(d, line, raw=True, program=PROBE, **kw)
        result = {}
        if os.path.exists(d.path("result.txt")):
            for l in d.read("result.txt").decode("latin-1").splitlines():
                k, _, v = l.partition("=")
                result[k] = v
            os.remove(d.path("result.txt"))
        return r, result


class LauncherTest(HarnessTest):
    # Raw command lines, program part included, as the child must see them.
    LINES = [
        b'"C:\\e2e\\recorder.exe" save&a.txt&Hello world',
        b'C:\\e2e\\recorder.exe save&a.txt&x',
        b'  "C:\\e2e\\recorder.exe"x  a"b  \\"q\\" & | \ttab ',
        b'"C:\\e2e\\recorder.exe" "save&a.txt&Hi',
        b'"C:\\e2e\\recorder.exe" "C:\\x\\y.dat" "save&C:\\a.txt&Hi"',
        b'"C:\\e2e\\recorder.exe" \xe9\x81\x5c\x82\xa0 %TAB% &&',
        b'"C:\\e2e\\recorder.exe"',
    ]

    def test_command_line_reaches_the_child_byte_for_byte(self):
        for line in self.LINES:
            with self.subTest(line=line):
                self.wine.clear_recorder()
                d = self.dir()
                r = self.run_in(d, line, raw=True, program=RECORDER)
                self.assertEqual(r.exit_code, 0)
                rec = self.wine.recorded(wait_for=1)
                self.assertEqual(len(rec), 1)
                self.assertEqual(rec[0]["cmdline"].encode("latin-1"), line)
                self.assertEqual(rec[0]["cwd"], d.win)
                self.assertFiles(d, {})

    def test_a_box_nobody_answers_is_a_timeout(self):
        d = self.dir()
        r, result = self.probe(d, b'box Unanswered Text 0x1000', timeout=1.5, check=False)
        self.assertTrue(r.timed_out)
        self.assertIsNone(r.exit_code)
        self.assertEqual(result, {})
        with self.assertRaises(HarnessError):
            self.probe(d, b'box Unanswered Text 0x1000', timeout=1.0)

    def test_a_crash_ends_the_run_at_once_and_is_reported(self):
        # No debugger is started to hold the crashed process.
        d = self.dir()
        r, result = self.probe(d, b'crash now', timeout=30, check=False)
        self.assertEqual(result, {"result": "0"})
        self.assertEqual(r.exit_code, 0xC0000005, r.describe())
        self.assertLess(r.seconds, 10, r.describe())
        with self.assertRaisesRegex(HarnessError, "crashed"):
            self.probe(d, b'crash now', timeout=30)

    def test_program_that_cannot_start_is_reported(self):
        d = self.dir()
        r = self.run_in(d, b'x', raw=True, program="C:\\e2e\\missing.exe", check=False)
        self.assertTrue(r.status.startswith("startfail"), r.status)
        with self.assertRaises(HarnessError):
            self.run_in(d, b'x', raw=True, program="C:\\e2e\\missing.exe")


class AnswererTest(HarnessTest):
    def test_boxes_answered_in_sequence(self):
        # (style, button pressed, buttons expected, topmost)
        cases = [
            (0x1000, 1, [(1, "OK")], True),
            (0x0000, 1, [(1, "OK")], False),
            (0x1001, 1, [(1, "OK"), (2, "Cancel")], True),
            (0x1001, 2, [(1, "OK"), (2, "Cancel")], True),
            (0x1004, 7, [(6, "&Yes"), (7, "&No")], True),
            (0x1005, 4, [(4, "&Retry"), (2, "Cancel")], True),
        ]
        for style, button, buttons, topmost in cases:
            with self.subTest(style=hex(style), button=button):
                d = self.dir()
                r, result = self.probe(
                    d, b'box "Cap One" "Line 1\\nLine 2" ' + hex(style).encode(),
                    answers=[("box", "Cap One", button)])
                self.assertEqual(result["result"], str(button))
                a = r.answer(1)
                self.assertEqual(a["caption"], "Cap One")
                self.assertEqual(a["text"], "Line 1\r\nLine 2")
                self.assertEqual(sorted((b["id"], b["text"]) for b in a["buttons"]),
                                 sorted(buttons))
                self.assertEqual(a["pressed"], button)
                self.assertEqual(a["topmost"], topmost)

    def test_empty_caption_and_any_caption(self):
        d = self.dir()
        r, result = self.probe(d, b'box "" Hello 0x1000', answers=[("box", "", 1)])
        self.assertEqual(result["result"], "1")
        self.assertEqual((r.answer(1)["caption"], r.answer(1)["text"]), ("", "Hello"))
        r, result = self.probe(d, b'box Whatever Hi 0x1001', answers=[("box", "*", 2)])
        self.assertEqual(result["result"], "2")
        self.assertEqual(r.answer(1)["caption"], "Whatever")

    def test_a_box_that_never_comes_fails_the_run(self):
        d = self.dir()
        with self.assertRaises(HarnessError) as cm:
            self.run_in(d, b'"C:\\e2e\\recorder.exe"', raw=True, program=RECORDER,
                        answers=[("box", "Never shown", 1)], step_timeout=1.0)
        self.assertIn("Never shown", str(cm.exception) + "Never shown")
        r = self.run_in(d, b'"C:\\e2e\\recorder.exe"', raw=True, program=RECORDER,
                        answers=[("box", "Never shown", 1)], step_timeout=0.5,
                        check=False)
        self.assertEqual(r.answers[0]["error"], "timeout")

    def test_a_button_the_box_lacks_is_an_error(self):
        d = self.dir()
        r, result = self.probe(d, b'box Cap Text 0x1000', answers=[("box", "Cap", 6)],
                               check=False)
        self.assertEqual(r.answers[0]["error"], "no such button")
        self.assertEqual(r.exit_code, 0)

    def test_nobox_reports_a_box(self):
        d = self.dir()
        r, result = self.probe(d, b'box Surprise Text 0x1000',
                               answers=[("nobox", 3000)], check=False)
        self.assertEqual(r.answers[0]["error"], "a dialog appeared")
        self.assertEqual(r.answers[0]["caption"], "Surprise")
        r, result = self.probe(d, b'drive C:\\ x', answers=[("nobox", 300)])
        self.assertNotIn("error", r.answers[0])

    def test_save_dialog_with_overwrite_prompt(self):
        d = self.dir()
        d.write("exists.txt", b"old")
        r, result = self.probe(
            d, b'save "Save it" ' + d.win.encode() + b' pre.txt',
            answers=[("file", "Save it", "exists.txt", 1), ("box", "Save it", 7),
                     ("file", "Save it", "exists.txt", 1), ("box", "Save it", 6)])
        self.assertEqual(result, {"result": "1", "path": d.winpath("exists.txt")})
        self.assertEqual(r.answer(1)["filename"], "pre.txt")
        self.assertEqual([a["kind"] for a in r.answers], ["file", "box", "file", "box"])
        self.assertIn("replace", r.answer(2)["text"])
        self.assertEqual(sorted(b["id"] for b in r.answer(2)["buttons"]), [6, 7])
        self.assertFiles(d, {"exists.txt": b"old"})

    def test_open_dialog_typed_and_cancelled(self):
        d = self.dir()
        d.write("in.txt", b"x")
        r, result = self.probe(d, b'open "Open it" ' + d.win.encode() + b' ""',
                               answers=[("file", "Open it", "in.txt", 1)])
        self.assertEqual(result, {"result": "1", "path": d.winpath("in.txt")})
        self.assertEqual(r.answer(1)["filename"], "")
        r, result = self.probe(d, b'open "Open it" ' + d.win.encode() + b' ""',
                               answers=[("file", "Open it", "-", 2)])
        self.assertEqual(result, {"result": "0", "path": ""})

    def test_folder_browser(self):
        d = self.dir()
        d.mkdir("sub/deeper")
        cases = [
            (d.winpath("sub\\deeper"), 1, {"result": "1", "path": d.winpath("sub\\deeper")}),
            ("C:\\", 1, {"result": "1", "path": "C:\\"}),
            ("", 2, {"result": "0", "path": ""}),
        ]
        for path, button, expected in cases:
            with self.subTest(path=path, button=button):
                r, result = self.probe(d, b'folder "Pick one"',
                                       answers=[("folder", "Browse for Folder", path, button)])
                self.assertEqual(result, expected)
                self.assertEqual([s["text"] for s in r.answer(1)["statics"]][:1], ["Pick one"])

    def test_folder_that_is_not_there_fails(self):
        d = self.dir()
        r, result = self.probe(d, b'folder Pick',
                               answers=[("folder", "*", d.winpath("nothing"), 1)], check=False,
                               timeout=30)  # the whole tree is walked first: slow on a busy machine
        self.assertFalse(r.timed_out, r.describe())
        self.assertIn("error", r.answers[0])
        self.assertEqual(result, {"result": "0", "path": ""})


class PrefixTest(HarnessTest):
    def test_user_folders_are_real_folders(self):
        user = self.wine.user_dir()
        for name in ("Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos",
                     "Templates"):
            p = os.path.join(user, name)
            self.assertTrue(os.path.isdir(p) and not os.path.islink(p), p)

    def test_recorder_file_type(self):
        d = self.dir()
        d.write("doc.hcx", b"")
        for verb in ("open", "print"):
            with self.subTest(verb=verb):
                self.wine.clear_recorder()
                r, result = self.probe(d, b'shell ' + verb.encode() + b' doc.hcx -')
                self.assertGreater(int(result["result"]), 32)
                rec = self.wine.recorded(wait_for=1)
                self.assertEqual(len(rec), 1)
                self.assertEqual(rec[0]["cmdline"],
                                 '"C:\\e2e\\recorder.exe" %s "%s"' % (verb, d.winpath("doc.hcx")))
                self.assertEqual(rec[0]["cwd"], d.win)

    def test_cd_drives(self):
        d = self.dir()
        cd = os.path.join(self.session.work_dir, "cd-test")
        os.makedirs(cd, exist_ok=True)
        with open(os.path.join(cd, "disk.id"), "wb") as f:
            f.write(b"1")
        try:
            for letter in ("E", "F", "A"):
                with self.subTest(letter=letter):
                    self.wine.set_cd(letter, cd)
                    r, result = self.probe(d, b'drive ' + letter.encode() + b':\\ disk.id')
                    self.assertEqual(result, {"result": "5", "found": "1"})
                    self.wine.set_cd(letter, None)
                    r, result = self.probe(d, b'drive ' + letter.encode() + b':\\ disk.id')
                    self.assertEqual(result, {"result": "5", "found": "0"})
            r, result = self.probe(d, b'drive C:\\ x')
            self.assertEqual(result["result"], "3")
        finally:
            self.wine.clear_cds()

    def test_win64_prefix_has_a_32_bit_registry_view(self):
        # Made from a template of its own (slow once per build tree).
        p = self.session.extra_prefix("win64", arch="win64")
        key = "HKLM\\Software\\HostcmdE2E\\ViewCheck"
        try:
            p.reg_add(key, "v", "32-bit view", view=32)
            self.assertEqual(p.reg_value(key, "v", view=32), ("REG_SZ", "32-bit view"))
            self.assertIsNone(p.reg_query(key, view=64))
            self.assertEqual(p.reg_value("HKLM\\Software\\WOW6432Node\\HostcmdE2E\\ViewCheck",
                                         "v", view=64), ("REG_SZ", "32-bit view"))
            # The tools run there as well.
            d = p.new_dir("win64")
            r = p.run(b'"C:\\e2e\\probe.exe" r.txt drive C:\\ x', raw=True, program=PROBE, cwd=d)
            self.assertEqual(r.exit_code, 0)
            self.assertEqual(d.read("r.txt"), b"result=3\nfound=0\n")
        finally:
            p.reg_delete(key, view=32)
            self.session.drop_prefix("win64")

    def test_registry_helpers(self):
        key = "HKCU\\Software\\HostcmdE2E\\HarnessCheck"
        self.wine.reg_delete(key)
        self.assertIsNone(self.wine.reg_query(key))
        self.wine.reg_add(key, "text", "a b&c|d")
        self.wine.reg_add(key, "", "default")
        self.wine.reg_add(key, "num", 65, type="REG_DWORD")
        self.assertEqual(self.wine.reg_value(key, "text"), ("REG_SZ", "a b&c|d"))
        self.assertEqual(self.wine.reg_value(key, ""), ("REG_SZ", "default"))
        self.assertEqual(self.wine.reg_value(key, "num"), ("REG_DWORD", "0x41"))
        self.assertIsNone(self.wine.reg_value(key, "missing"))
        self.assertTrue(self.wine.reg_delete(key, "text"))
        self.assertEqual(set(self.wine.reg_query(key)), {"", "num"})
        self.assertTrue(self.wine.reg_delete(key))
        self.assertIsNone(self.wine.reg_query(key))


if __name__ == "__main__":
    harness.main()
