#!/usr/bin/python3
"""Shortcut icons end to end: real .lnk files written by hostcmd.exe into the
prefix's user folders, read back from outside with lnkinfo."""

import os

import harness

# Icon folders of the prefix, below C:\users\<user>.
DESKTOP = ("Desktop",)
PROGRAMS = ("AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs")
START_MENU = PROGRAMS[:-1]
STARTUP = PROGRAMS + ("StartUp",)


def fields(name, target1="C:\\Tools\\", target2="tool.exe", description="A tool",
           icon_file="none", icon_index="0", work_dir="none", sub1="none", sub2="none",
           arguments="none"):
    return "&".join([name, target1, target2, description, icon_file, icon_index, work_dir,
                     sub1, sub2, arguments])


class ShortcutTest(harness.TestCase):
    def folder(self, parts, *more):
        return os.path.join(self.wine.user_dir(), *(parts + more))

    def icon(self, word, args):
        r = self.run_in(self.dir(), word + "&" + args)
        self.assertEqual(r.exit_code, 0)
        return r

    def read_link(self, path):
        self.addCleanup(lambda: os.path.exists(path) and os.remove(path))
        self.assertTrue(os.path.isfile(path), "no shortcut at %s" % path)
        return harness.lnkinfo(path)

    def test_each_command_writes_into_its_folder(self):
        cases = [
            ("deskIcon", DESKTOP),
            ("desktopIcon", DESKTOP),
            ("programIcon", PROGRAMS),
            ("startIcon", START_MENU),
            ("startUpIcon", STARTUP),
        ]
        for word, parts in cases:
            with self.subTest(word=word):
                name = "e2e %s.lnk" % word
                self.icon(word, fields(name, description="made by " + word))
                info = self.read_link(self.folder(parts, name))
                self.assertEqual(info.get("Local path"), "C:\\Tools\\tool.exe")
                self.assertEqual(info.get("Description"), "made by " + word)

    def test_folders_come_from_the_shell_not_the_stale_registry_key(self):
        # Shell Folders is kept for old programs only; after a redirection it
        # may name an old place. The shell's answer is where shortcuts go.
        key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
        stale = self.dir()
        cases = [("deskIcon", "Desktop", DESKTOP), ("startUpIcon", "Startup", STARTUP)]
        for word, value, parts in cases:
            with self.subTest(word=word):
                old = self.wine.reg_value(key, value)
                self.assertIsNotNone(old)
                self.addCleanup(self.wine.reg_add, key, value, old[1])
                self.wine.reg_add(key, value, stale.win)
                name = "e2e shell %s.lnk" % word
                self.icon(word, fields(name))
                self.assertEqual(os.listdir(stale.unix), [])
                info = self.read_link(self.folder(parts, name))
                self.assertEqual(info.get("Local path"), "C:\\Tools\\tool.exe")

    def test_fields_reach_the_shortcut(self):
        name = "e2e fields.lnk"
        self.icon("deskIcon", fields(name, "C:\\Program Files\\Acme\\", "acme.exe", "none",
                                     "C:\\Program Files\\Acme\\acme.ico", "3", "C:\\Acme data",
                                     arguments="/open&/quiet x.txt"))
        info = self.read_link(self.folder(DESKTOP, name))
        self.assertEqual(info.get("Local path"), "C:\\Program Files\\Acme\\acme.exe")
        self.assertEqual(info.get("Description"), "none")  # "none" is only text here
        self.assertEqual(info.get("Icon location"), "C:\\Program Files\\Acme\\acme.ico")
        self.assertEqual(info.get("Icon index"), "3")
        self.assertEqual(info.get("Working directory"), "C:\\Acme data")
        self.assertEqual(info.get("Command line arguments"), "/open&/quiet x.txt")

    def test_none_leaves_items_unset(self):
        name = "e2e bare.lnk"
        self.icon("deskIcon", fields(name))
        info = self.read_link(self.folder(DESKTOP, name))
        self.assertEqual(info.get("Local path"), "C:\\Tools\\tool.exe")
        for absent in ("Icon location", "Working directory", "Command line arguments"):
            self.assertNotIn(absent, info, info["_text"])

    def test_sub_folders(self):
        cases = [
            ("one", ("e2e Acme", "none"), ("e2e Acme",)),
            ("two", ("e2e Acme2", "Tools"), ("e2e Acme2", "Tools")),
            # Field 8 "none": field 9 is ignored and no folder is made.
            ("none then a name", ("none", "e2e Ignored"), ()),
        ]
        for label, (sub1, sub2), made in cases:
            with self.subTest(label):
                name = "e2e sub %s.lnk" % label
                self.icon("programIcon", fields(name, sub1=sub1, sub2=sub2))
                # Cleanups run last first: the shortcut, then the inner folder.
                for depth in range(1, len(made) + 1):
                    self.addCleanup(os.rmdir, self.folder(PROGRAMS, *made[:depth]))
                info = self.read_link(self.folder(PROGRAMS, *(made + (name,))))
                self.assertEqual(info.get("Local path"), "C:\\Tools\\tool.exe")
                self.assertFalse(os.path.exists(self.folder(PROGRAMS, "e2e Ignored")))
                self.assertFalse(os.path.exists(self.folder(PROGRAMS, "Tools")))

    def test_name_without_extension_is_kept(self):
        self.icon("deskIcon", fields("e2e no extension"))
        info = self.read_link(self.folder(DESKTOP, "e2e no extension"))
        self.assertEqual(info.get("Local path"), "C:\\Tools\\tool.exe")
        self.assertFalse(os.path.exists(self.folder(DESKTOP, "e2e no extension.lnk")))

    def test_icon_index_that_is_no_whole_number_does_nothing(self):
        for index in ("", "x", "1.5", " 2"):
            with self.subTest(index=index):
                self.icon("programIcon", fields("e2e bad.lnk", icon_index=index, sub1="e2e Bad"))
                self.assertFalse(os.path.exists(self.folder(PROGRAMS, "e2e Bad")))
                self.assertFalse(os.path.exists(self.folder(PROGRAMS, "e2e bad.lnk")))

    def test_path_longer_than_259_characters_saves_nothing(self):
        desktop_win = "C:\\users\\%s\\Desktop" % os.path.basename(self.wine.user_dir())
        fits = "f" * (259 - len(desktop_win) - 1)
        before = sorted(os.listdir(self.folder(DESKTOP)))
        # One character more: no shortcut, not even under a cut-off name.
        self.icon("deskIcon", fields(fits + "g"))
        self.assertEqual(sorted(os.listdir(self.folder(DESKTOP))), before)
        self.icon("deskIcon", fields(fits))
        self.read_link(self.folder(DESKTOP, fits))

    def test_delete_icon_and_group(self):
        group = self.folder(PROGRAMS, "e2e Group")
        self.icon("programIcon", fields("a.lnk", sub1="e2e Group"))
        self.assertTrue(os.path.isfile(os.path.join(group, "a.lnk")))
        # A group still holding a shortcut stays.
        self.icon("deleteIconDir", "1&e2e Group")
        self.assertTrue(os.path.isdir(group))
        self.icon("deleteIcon", "1&e2e Group\\a.lnk")
        self.assertFalse(os.path.exists(os.path.join(group, "a.lnk")))
        self.icon("deleteIconDir", "1&e2e Group")
        self.assertFalse(os.path.exists(group))

    def test_delete_with_number_7_works_on_the_desktop(self):
        self.icon("deskIcon", fields("e2e seven.lnk"))
        path = self.folder(DESKTOP, "e2e seven.lnk")
        self.assertTrue(os.path.isfile(path))
        self.icon("deleteIcon", "x&e2e seven.lnk")  # not a number: nothing happens
        self.assertTrue(os.path.isfile(path))
        self.icon("deleteIcon", "7&e2e seven.lnk")
        self.assertFalse(os.path.exists(path))


if __name__ == "__main__":
    harness.main()
