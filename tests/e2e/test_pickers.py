#!/usr/bin/python3
"""Folder browser and file dialogs end to end, under Xvfb, answered by
answerer.exe: what each dialog shows, what the user does, and the reply."""

import os

import harness

BROWSER = "Browse for Folder"  # Wine's caption of the folder browser


class FilePromptTest(harness.TestCase):
    def prompt(self, d, word, title, default="none", initial=None, reply="r.txt", answers=()):
        initial = d.win if initial is None else initial
        line = "&".join([word, reply, "Text files", "*.txt;*.log", default, initial, title])
        return self.run_in(d, line.encode("latin-1"), answers=list(answers), timeout=20)

    def test_open_prompt(self):
        # (label, field 4, what the user does, name the box shows, reply)
        cases = [
            ("typed name", "none", [("file", "Open it", "doc.txt", 1)], "", "doc.txt"),
            ("preselected", "doc.txt", [("file", "Open it", "-", 1)], "doc.txt", "doc.txt"),
            ("cancelled", "doc.txt", [("file", "Open it", "-", 2)], "doc.txt", None),
        ]
        for label, default, answers, shown, chosen in cases:
            with self.subTest(label):
                d = self.dir()
                d.write("doc.txt", b"x")
                r = self.prompt(d, "openPrompt", "Open it", default, answers=answers)
                self.assertEqual(r.answer(1)["caption"], "Open it")
                self.assertEqual(r.answer(1)["filename"], shown)
                expected = b"fileSelected=ERROR" if chosen is None else \
                    ("fileSelected=%s\\%s" % (d.win, chosen)).encode()
                self.assertEqual(d.read("r.txt"), expected)

    def test_open_prompt_refuses_a_missing_file(self):
        d = self.dir()
        r = self.prompt(d, "openPrompt", "Open it", answers=[
            ("file", "Open it", "missing.txt", 1),
            ("box", "*", 1),            # the dialog's own "file not found"
            ("file", "Open it", "-", 2),
        ])
        self.assertEqual(r.answer(2)["kind"], "box")  # Wine: "File does not exist"
        self.assertEqual(r.answer(3)["caption"], "Open it")  # the dialog is still open
        self.assertEqual(d.read("r.txt"), b"fileSelected=ERROR")

    def test_save_prompt(self):
        # A title holding "&" is shown whole, a doubled "&" too.
        title = "Save & keep&&"
        cases = [
            ("new name", [("file", title, "new.txt", 1)], "new.txt"),
            ("overwrite: yes", [("file", title, "old.txt", 1), ("box", title, 6)], "old.txt"),
            ("overwrite: no, then cancel",
             [("file", title, "old.txt", 1), ("box", title, 7), ("file", title, "-", 2)], None),
        ]
        for label, answers, chosen in cases:
            with self.subTest(label):
                d = self.dir()
                d.write("old.txt", b"keep me")
                r = self.prompt(d, "savePrompt", title, answers=answers)
                self.assertEqual(r.answer(1)["caption"], title)
                self.assertEqual(r.answer(1)["filename"], "")
                expected = b"fileSelected=ERROR" if chosen is None else \
                    ("fileSelected=%s\\%s" % (d.win, chosen)).encode()
                self.assertEqual(d.read("r.txt"), expected)
                # Choosing a name only answers; no file is written or removed.
                self.assertEqual(d.read("old.txt"), b"keep me")
                self.assertFalse(os.path.exists(d.path("new.txt")))

    def test_a_long_typed_path_is_no_answer(self):
        # A full path of 270 characters typed into the name box (of an
        # existing file for the open dialog): a dialog with a buffer of 260
        # crashed inside Wine's comdlg32; now the run ends and the choice,
        # over 259, is no answer.
        for word in ("openPrompt", "savePrompt"):
            for program in (harness.HOSTCMD_WIN, harness.HOSTCMD_UTF8_WIN):
                with self.subTest(word, build=program):
                    d = self.dir()
                    folder = "L" * 100 + "\\" + "M" * 80
                    d.mkdir(folder.replace("\\", "/"))
                    name = "f" * (270 - len(d.win) - len(folder) - 6) + ".txt"
                    path = d.win + "\\" + folder + "\\" + name
                    self.assertEqual(len(path), 270)
                    if word == "openPrompt":  # the file to open exists; the one to save does not
                        d.write((folder + "/" + name).replace("\\", "/"), b"x")
                    answers = [("file", "Long", path, 1)]
                    line = "&".join([word, "r.txt", "Text", "*.txt", "none", d.win, "Long"])
                    r = self.run_in(d, line.encode(), answers=answers, timeout=20, program=program)
                    self.assertEqual(r.exit_code, 0)
                    self.assertEqual(d.read("r.txt"), b"fileSelected=ERROR")

    def test_relative_reply_file_stays_in_the_starting_directory(self):
        # The file is chosen in another folder, which the dialog may make current.
        d = self.dir()
        d.mkdir("elsewhere")
        d.write("elsewhere\\there.txt", b"x")
        for word in ("openPrompt", "savePrompt"):
            with self.subTest(word):
                r = self.prompt(d, word, "Pick", initial=d.win + "\\elsewhere", answers=[
                    ("file", "Pick", d.win + "\\elsewhere\\there.txt", 1),
                    ("box", "*", 6)] if word == "savePrompt" else [
                    ("file", "Pick", d.win + "\\elsewhere\\there.txt", 1)])
                self.assertEqual(d.read("r.txt"),
                                 ("fileSelected=%s\\elsewhere\\there.txt" % d.win).encode())
                self.assertFalse(os.path.exists(d.path("elsewhere\\r.txt")))
                os.remove(d.path("r.txt"))

    def test_dialog_in_a_batch_keeps_later_relative_names_in_place(self):
        # The user browses to another folder; the batch's next line, a
        # relative save, still writes into the batch's own directory.
        d = self.dir()
        d.mkdir("elsewhere")
        d.write("elsewhere\\there.txt", b"x")
        there = d.win + "\\elsewhere\\there.txt"
        cases = [
            ("savePrompt", "savePrompt&r.txt&Text&*.txt&none&%s\\elsewhere&Pick" % d.win,
             [("file", "Pick", there, 1), ("box", "*", 6)]),
            ("openPrompt", "openPrompt&r.txt&Text&*.txt&none&%s\\elsewhere&Pick" % d.win,
             [("file", "Pick", there, 1)]),
            ("getUserDir", "getUserDir&r.txt&Pick", [("folder", BROWSER, d.win + "\\elsewhere", 1)]),
        ]
        for word, line, answers in cases:
            with self.subTest(word):
                d.write("steps.txt", (line + "\r\nsave&after.txt&saved\r\n").encode("latin-1"))
                self.run_in(d, b"batch&steps.txt", answers=answers, timeout=30)
                self.assertEqual(d.read("after.txt"), b"saved")
                self.assertFalse(os.path.exists(d.path("elsewhere\\after.txt")))
                self.assertFalse(os.path.exists(d.path("elsewhere\\r.txt")))
                os.remove(d.path("after.txt"))


class FolderBrowserTest(harness.TestCase):
    def browse(self, d, title, answers):
        return self.run_in(d, ("getUserDir&answer.txt&" + title).encode("latin-1"),
                           answers=answers, timeout=30)

    def test_get_user_dir(self):
        d = self.dir()
        d.mkdir("Chosen One")
        cases = [
            ("a folder", d.win + "\\Chosen One", 1, "UserDir=%s\\Chosen One\\" % d.win),
            ("a drive root", "C:\\", 1, "UserDir=C:\\"),  # no second backslash
            ("cancelled", "", 2, "UserDir=na\\"),
        ]
        for label, folder, button, reply in cases:
            with self.subTest(label):
                r = self.browse(d, "Where & to?", [("folder", BROWSER, folder, button)])
                self.assertIn("Where & to?", [s["text"] for s in r.answer(1)["statics"]])
                self.assertEqual(d.read("answer.txt"), reply.encode("latin-1"))


if __name__ == "__main__":
    harness.main()
