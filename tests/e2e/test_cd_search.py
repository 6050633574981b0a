#!/usr/bin/python3
"""CD drive search end to end: Wine drives A:, E: and F: typed cdrom, linked
to folders the tests fill (a swap of the link is a media change); copies
from such a drive."""

import json
import os
import shutil
import threading

import harness


class CdSearchTest(harness.TestCase):
    def setUp(self):
        self.wine.clear_cds()
        self.addCleanup(self.wine.clear_cds)

    def cd(self, letter, files, mode=None):
        """Puts a disc holding these files (relative paths) into the drive;
        mode 0o444 makes them read-only, as every file on a real CD is."""
        root = os.path.join(self.wine.work_dir, "cd", "%s-%s" % (self._testMethodName, letter))
        if os.path.isdir(root):
            shutil.rmtree(root)
        for name in files:
            path = os.path.join(root, *name.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(b"x")
            if mode is not None:
                os.chmod(path, mode)
        os.makedirs(root, exist_ok=True)
        self.wine.set_cd(letter, root)

    def answer_outside(self, d, step, name):
        """Runs answerer.exe on its own with one step; returns its report."""
        d.write(name + ".script", ("\t".join(str(s) for s in step) + "\n").encode("latin-1"))
        rc, _, _ = harness.run_to_files(
            harness.wine_arch.decide().wine(self.wine.unix(harness.TOOLS_DIR_WIN + "\\answerer.exe"),
                                            d.win + "\\" + name + ".script", d.win + "\\" + name + ".report", "15000"),
            self.wine.env(), d.path(name + ".out"), cwd=d.unix, timeout=30)
        self.assertEqual(rc, 0, d.read(name + ".report"))
        return json.loads(d.read(name + ".report").decode("ascii").splitlines()[0])

    def test_path_to_cd(self):
        cases = [
            ("first of two drives", {"e": ["setup.exe"], "f": ["setup.exe"]}, "setup.exe", "E:\\"),
            ("only on the second", {"f": ["setup.exe"]}, "setup.exe", "F:\\"),
            ("A: after C to Z", {"a": ["setup.exe"]}, "setup.exe", "A:\\"),
            ("sub-directory", {"f": ["data\\disk1\\a.cab"]}, "data\\disk1\\a.cab", "F:\\"),
            ("wildcard", {"e": ["data\\b.cab"]}, "data\\*.cab", "E:\\"),
            ("absent", {"e": ["other.exe"]}, "setup.exe", None),
        ]
        for label, discs, name, root in cases:
            with self.subTest(label):
                self.wine.clear_cds()
                for letter, files in discs.items():
                    self.cd(letter, files)
                d = self.dir()
                self.run_in(d, "pathToCD&%s&r.txt" % name)
                expected = "pathToCD=ERROR" if root is None else "pathToCD=" + root
                self.assertFiles(d, {"r.txt": expected.encode()})

    def test_file_on_the_hard_disk_is_not_found(self):
        d = self.dir()
        d.write("only.txt", b"x")
        # The same path relative to C:\ exists, but C: is no CD-ROM drive.
        self.run_in(d, "pathToCD&%s\\only.txt&r.txt" % d.win[3:])
        self.assertEqual(d.read("r.txt"), b"pathToCD=ERROR")

    def test_copies_from_the_cd_are_writable(self):
        # CopyFileA copies the read-only attribute: only a copy from a CD-ROM
        # drive is made writable, a read-only file from the hard disk stays so.
        # Mode bits, not a write, tell: root writes through missing write bits.
        self.cd("e", ["setup.ini", "data\\moved.ini"], mode=0o444)
        cases = [
            ("copy", "copy&E:\\setup.ini&copied.ini&", "copied.ini", True),
            ("move", "move&E:\\data\\moved.ini&moved.ini&", "moved.ini", True),
            # Drive-relative: the drive is that of the full name.
            ("drive-relative source", "copy&E:setup.ini&relative.ini&", "relative.ini", True),
            # The volume of the name tells, not its first two characters.
            ("long name", "copy&\\\\?\\E:\\setup.ini&long.ini&", "long.ini", True),
            ("from the hard disk", "copy&ro.txt&copied.txt&", "copied.txt", False),
        ]
        for label, line, destination, writable in cases:
            with self.subTest(label):
                d = self.dir()
                d.write("ro.txt", b"x")
                os.chmod(d.path("ro.txt"), 0o444)
                r = self.run_in(d, line)
                self.assertEqual(r.exit_code, 0)
                self.assertEqual(d.read(destination), b"x")
                self.assertEqual(bool(os.stat(d.path(destination)).st_mode & 0o200), writable,
                                 oct(os.stat(d.path(destination)).st_mode))
                if writable:
                    self.run_in(d, "save&%s&updated" % destination)
                    self.assertEqual(d.read(destination), b"updated")

    def test_path_to_cdm_replies_after_its_box(self):
        self.cd("e", ["setup.exe"])
        d = self.dir()
        line = "pathToCDM&Disc found&Line 1&&Line 2%TAB%tab&setup.exe&r.txt"
        # Nobody answers: the box holds the command, and no reply is there yet.
        r = self.run_in(d, line, timeout=2, check=False)
        self.assertTrue(r.timed_out)
        self.assertFalse(os.path.exists(d.path("r.txt")))
        r = self.run_in(d, line, answers=[("box", "Disc found", 1)])
        self.assertEqual(r.answer(1)["text"], "Line 1\r\nLine 2\ttab")
        self.assertEqual([b["id"] for b in r.answer(1)["buttons"]], [1])
        self.assertEqual(d.read("r.txt"), b"pathToCD=E:\\")

    def test_path_to_cdm_not_found_shows_no_box(self):
        d = self.dir()
        self.run_in(d, "pathToCDM&Disc found&Text&setup.exe&r.txt", answers=[("nobox", 1500)])
        self.assertEqual(d.read("r.txt"), b"pathToCD=ERROR")

    def test_path_to_cdr_cancel_and_retry_without_disc(self):
        cases = [
            ("cancel", [("box", "Insert", 2)]),
            ("retry, then cancel", [("box", "Insert", 4), ("box", "Insert", 2)]),
        ]
        for label, answers in cases:
            with self.subTest(label):
                d = self.dir()
                r = self.run_in(d, "pathToCDR&Insert&Put in disc&&1&setup.exe&r.txt", answers=answers)
                self.assertEqual(r.answer(1)["text"], "Put in disc\r\n1")
                self.assertEqual(sorted(b["id"] for b in r.answer(1)["buttons"]), [2, 4])
                self.assertEqual(d.read("r.txt"), b"pathToCD=ERROR")

    def test_path_to_cdr_retry_after_the_disc_is_in(self):
        d = self.dir()
        result = {}
        run = threading.Thread(target=lambda: result.update(r=self.run_in(
            d, "pathToCDR&Insert&Put in the disc&setup.exe&r.txt", timeout=40, check=False)))
        run.start()
        try:
            shown = self.answer_outside(d, ("window", "#32770", "Insert", "none"), "shown")
            self.assertEqual(shown["caption"], "Insert")
            self.assertFalse(os.path.exists(d.path("r.txt")))
            self.cd("f", ["setup.exe"])  # the disc goes in while the box is up
            pressed = self.answer_outside(d, ("box", "Insert", 4), "retry")
            self.assertEqual(pressed["pressed"], 4)
        finally:
            run.join(60)
        self.assertEqual(result["r"].exit_code, 0, result["r"].describe())
        self.assertEqual(d.read("r.txt"), b"pathToCD=F:\\")


if __name__ == "__main__":
    harness.main()
