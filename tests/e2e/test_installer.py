#!/usr/bin/python3
"""The installer end to end: "install", "installUser", their quiet forms and
the install check run by the real hostcmd.exe under Wine, dialogs answered by
answerer.exe, results read from the prefix's disk and registry.

Wine starts every process with an elevated administrator's token.  The
elevated start is taken by starting hostcmd.exe with the limited token linked
to it (launcher.exe --limited), the token an administrator's programs get under
UAC.  Wine's "runas" gives the started instance that same limited token again,
as Windows does where UAC is off: the started instance then finds the first
one waiting for it and goes on without asking again (Wine lets a limited
token write HKLM and Program Files).  The command line handed to
ShellExecuteEx is also run by itself with Wine's elevated token."""

import hashlib
import os
import shutil
import time

import harness
from harness import DIR

KEY = "HKLM\\Software\\ExampleSoft\\Viewer\\2.0"
USER_KEY = "HKCU\\Software\\ExampleSoft\\Viewer\\2.0"
PRODUCT_DIR = "C:\\Program Files\\ExampleSoft\\Viewer"
CHOICES = ("Select Yes to install.\r\nSelect No to specify a different installation path.\r\n"
           "Select Cancel to abort installation.\r\n\r\n")
VIEWER = b"MZ viewer program\r\n"
HELP = b"viewer help\r\n"

VIEWER_ENTRY = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#ExampleSoft#Viewer#2.0"
DEMO_ENTRY = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#DemoSoft#Notes#1.0"

# The check file and the installer file of the worked example; the check
# file's line 6 leaves a mark instead of starting a program.
CHECK_FILE = ["Viewer start-up check", "ExampleSoft", "Viewer", "2.0", "viewer.exe",
              "save&started.txt&%APP%viewer.exe", "install&setup.txt"]


def installer_lines(welcome="YES", path="YES", restart="NO", final="NO", base="%PROG%",
                    commands=None, skipped=None):
    lines = ["Viewer 2.0 installer", "ExampleSoft", "Viewer", "2.0", welcome, path, restart,
             "Viewer Setup", "Welcome.&&This installs the viewer on your computer.",
             "Viewer Setup", "The viewer will be installed in the following folder:",
             "Choose the folder for the viewer", "Viewer Restart", "Restart now?&&Really.",
             base, "ExampleSoft\\Viewer\\", final]
    lines += skipped if skipped is not None else [""] * 20
    if commands is None:
        commands = ["copy&files\\viewer.exe&%APP%viewer.exe&FALSE",
                    "copy&files\\viewer.hlp&%APP%viewer.hlp&FALSE", ""]
    return lines + commands


def crlf(lines):
    return "".join(l + "\r\n" for l in lines).encode("latin-1")


def path_text(offered):
    return ("The viewer will be installed in the following folder:\r\n\r\n\r\n" + offered
            + "ExampleSoft\\Viewer\\\r\n\r\n\r\n" + CHOICES)


class ViewerProduct:
    """The worked example's files in a fresh directory, and what they install."""

    def setUp(self):
        self.clean()
        self.addCleanup(self.clean)

    def clean(self):
        self.wine.reg_delete("HKLM\\Software\\ExampleSoft")
        for root in ("HKLM", "HKCU"):
            self.wine.reg_delete(root + VIEWER_ENTRY)
        shutil.rmtree(self.wine.unix("C:\\Program Files\\ExampleSoft"), ignore_errors=True)

    def product(self, **kw):
        """A fresh directory holding kw.ini, setup.txt and the two files."""
        d = self.dir()
        d.write("kw.ini", crlf(CHECK_FILE))
        d.write("setup.txt", crlf(installer_lines(**kw)))
        d.write("files/viewer.exe", VIEWER)
        d.write("files/viewer.hlp", HELP)
        return d

    def product_files(self, d):
        return {"kw.ini": crlf(CHECK_FILE), "setup.txt": d.read("setup.txt"), "files": DIR,
                "files/viewer.exe": VIEWER, "files/viewer.hlp": HELP}

    def assertInstalledFiles(self, windir):
        """The directory holds what the installer file copies, and the
        uninstaller: a copy of the hostcmd.exe that installed (compared by
        their SHA-256, for a short message)."""
        with open(self.wine.unix(harness.HOSTCMD_WIN), "rb") as f:
            expected = {"viewer.exe": VIEWER, "viewer.hlp": HELP, "hostcmd-uninstall.exe": f.read()}
        digests = lambda files: {n: hashlib.sha256(b).hexdigest() for n, b in files.items()}  # noqa: E731
        self.assertEqual(digests(harness.snapshot(self.wine.unix(windir))), digests(expected), windir)

    def installed_in(self, windir):
        """The product's files found where the record says, and the record."""
        self.assertEqual(self.wine.reg_value(KEY, "isDir"), ("REG_SZ", windir))
        self.assertInstalledFiles(windir)

    def nothing_installed(self, d):
        self.assertIsNone(self.wine.reg_query("HKLM\\Software\\ExampleSoft"))
        self.assertFalse(os.path.exists(self.wine.unix("C:\\Program Files\\ExampleSoft")))
        self.assertFiles(d, self.product_files(d))


class InstallerTest(ViewerProduct, harness.TestCase):
    def test_worked_example_without_dialogs(self):
        d = self.product(welcome="NO", path="NO", restart="NO")
        # A box would block hostcmd.exe and the run would time out.
        self.run_in(d, "install&setup.txt")
        self.assertTrue(os.path.isdir(self.wine.unix("C:\\Program Files\\ExampleSoft")))
        self.installed_in(PRODUCT_DIR)
        # Started without a command, the install check finds the product and
        # runs line 6, where %APP% is the recorded directory.
        self.run_in(d, "")
        self.assertEqual(d.read("started.txt"), (PRODUCT_DIR + "\\viewer.exe").encode())

    def test_dialogs_answered_no_then_a_picked_folder_then_yes(self):
        d = self.product()
        d.mkdir("target")
        r = self.run_in(d, "install&setup.txt", answers=[
            ("box", "Viewer Setup", 1),
            ("box", "Viewer Setup", 7),
            ("folder", "Browse for Folder", d.winpath("target"), 1),
            ("box", "Viewer Setup", 6)])
        self.assertEqual(r.answer(1)["text"], "Welcome.\r\nThis installs the viewer on your computer.")
        self.assertEqual(sorted(b["id"] for b in r.answer(1)["buttons"]), [1, 2])
        self.assertEqual(r.answer(2)["text"], path_text("C:\\Program Files\\"))
        self.assertEqual(sorted(b["id"] for b in r.answer(2)["buttons"]), [2, 6, 7])
        self.assertIn("Choose the folder for the viewer", [s["text"] for s in r.answer(3)["statics"]])
        self.assertEqual(r.answer(4)["text"], path_text(d.winpath("target") + "\\"))
        self.installed_in(d.winpath("target\\ExampleSoft\\Viewer"))
        self.assertFalse(os.path.exists(self.wine.unix("C:\\Program Files\\ExampleSoft")))

    def test_picker_cancelled_offers_the_base_again(self):
        d = self.product(welcome="NO")
        r = self.run_in(d, "install&setup.txt", answers=[
            ("box", "Viewer Setup", 7),
            ("folder", "Browse for Folder", "", 2),
            ("box", "Viewer Setup", 6)])
        self.assertEqual(r.answer(3)["text"], path_text("C:\\Program Files\\"))
        self.installed_in(PRODUCT_DIR)

    def test_cancel_leaves_no_trace(self):
        cases = {
            "welcome": [("box", "Viewer Setup", 2)],
            "path dialog": [("box", "Viewer Setup", 1), ("box", "Viewer Setup", 2)],
            "path dialog after a pick": [("box", "Viewer Setup", 1), ("box", "Viewer Setup", 7),
                                         ("folder", "Browse for Folder", "C:\\t", 1),
                                         ("box", "Viewer Setup", 2)],
        }
        for name, answers in cases.items():
            with self.subTest(name):
                d = self.product()
                self.run_in(d, "install&setup.txt", answers=answers)
                self.nothing_installed(d)

    def test_same_installer_twice(self):
        d = self.product(welcome="NO", path="NO")
        self.run_in(d, "install&setup.txt")
        os.remove(self.wine.unix(PRODUCT_DIR + "\\viewer.hlp"))
        self.wine.reg_add(KEY, "isDir", "C:\\elsewhere")
        self.run_in(d, "install&setup.txt")
        self.installed_in(PRODUCT_DIR)  # the record is rewritten, the list runs again

    def test_file_ending_at_line_37_runs_only_the_final_command(self):
        d = self.product(welcome="NO", path="NO", final="save&final.txt&done", commands=[])
        self.assertEqual(d.read("setup.txt").count(b"\n"), 37)
        self.run_in(d, "install&setup.txt")
        self.assertEqual(self.wine.reg_value(KEY, "isDir"), ("REG_SZ", PRODUCT_DIR))
        self.assertEqual(os.listdir(self.wine.unix(PRODUCT_DIR)), ["hostcmd-uninstall.exe"])
        self.assertEqual(d.read("final.txt"), b"done")

    def test_over_long_line_before_line_38_changes_nothing(self):
        # A line that did not fit leaves every later line untrusted: no
        # directory, no record, no command list, no final command.
        skipped = [""] * 20
        skipped[3] = "x" * 300
        d = self.product(welcome="NO", path="NO", final="save&final.txt&done", skipped=skipped)
        self.run_in(d, "install&setup.txt")
        self.assertFalse(os.path.exists(self.wine.unix(PRODUCT_DIR)))
        self.assertIsNone(self.wine.reg_value(KEY, "isDir"))
        self.assertFalse(os.path.exists(d.path("final.txt")))

    def test_installer_leading_back_to_itself_ends(self):
        d = self.product(welcome="NO", path="NO", final="save&final.txt&done",
                         commands=["install&setup.txt", "save&after.txt&x"])
        r = self.run_in(d, "install&setup.txt", timeout=30)
        self.assertEqual(r.exit_code, 0)
        self.assertFalse(os.path.exists(d.path("after.txt")))
        self.assertFalse(os.path.exists(d.path("final.txt")))

    def test_restart_prompt_cancelled(self):
        d = self.product(welcome="NO", path="NO", restart="YES", final="save&final.txt&done")
        r = self.run_in(d, "install&setup.txt", answers=[("box", "Viewer Restart", 2)])
        self.assertEqual(r.answer(1)["text"], "Restart now?\r\nReally.")
        self.assertEqual(sorted(b["id"] for b in r.answer(1)["buttons"]), [1, 2])
        self.assertEqual(d.read("final.txt"), b"done")  # the prompt comes last
        self.installed_in(PRODUCT_DIR)


class InstallFormsTest(ViewerProduct, harness.TestCase):
    """installUser, installQuiet, installUserQuiet and the elevated start."""

    def clean(self):
        super().clean()
        self.wine.reg_delete("HKCU\\Software\\ExampleSoft")
        for root in ("HKLM", "HKCU"):
            self.wine.reg_delete(root + "\\Software\\DemoSoft")
            self.wine.reg_delete(root + DEMO_ENTRY)
        shutil.rmtree(self.wine.unix("C:\\Program Files\\DemoSoft"), ignore_errors=True)
        programs = self.wine.unix(self.user_programs())
        for vendor in ("ExampleSoft", "DemoSoft"):
            shutil.rmtree(os.path.join(programs, vendor), ignore_errors=True)
        # The demo's shortcuts.
        user = self.wine.user_dir()
        start_menu = os.path.join(user, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs")
        shutil.rmtree(os.path.join(start_menu, "DemoSoft"), ignore_errors=True)
        if os.path.exists(os.path.join(user, "Desktop", "Notes.lnk")):
            os.remove(os.path.join(user, "Desktop", "Notes.lnk"))

    def user_programs(self):
        """The user's own programs folder: the local application data's Programs."""
        local = "C:\\users\\%s\\AppData\\Local" % os.path.basename(self.wine.user_dir())
        self.assertTrue(os.path.isdir(self.wine.unix(local)), local)
        return local + "\\Programs"

    def test_install_user_goes_below_the_users_programs_folder(self):
        d = self.product()
        target = self.user_programs() + "\\ExampleSoft\\Viewer"
        r = self.run_in(d, "installUser&setup.txt", answers=[
            ("box", "Viewer Setup", 1),
            ("box", "Viewer Setup", 6)])
        self.assertEqual(r.exit_code, 0)
        self.assertEqual(r.answer(2)["text"], path_text(self.user_programs() + "\\"))
        self.assertEqual(self.wine.reg_value(USER_KEY, "isDir"), ("REG_SZ", target))
        self.assertIsNone(self.wine.reg_query("HKLM\\Software\\ExampleSoft"))
        self.assertFalse(os.path.exists(self.wine.unix("C:\\Program Files\\ExampleSoft")))
        self.assertInstalledFiles(target)
        # The check file finds the installation for the user, and %APP% is it.
        self.run_in(d, "")
        self.assertEqual(d.read("started.txt"), (target + "\\viewer.exe").encode())
        self.run_in(d, "pathToInstall&ExampleSoft&Viewer&2.0&viewer.exe&r.txt")
        self.assertEqual(d.read("r.txt"), b"PathToInstall=" + target.encode() + b"\\")
        # One for every user, made later, wins.
        self.run_in(d, "installQuiet&setup.txt")
        self.run_in(d, "")
        self.assertEqual(d.read("started.txt"), (PRODUCT_DIR + "\\viewer.exe").encode())

    def test_quiet_forms_exit_codes(self):
        deep = "C:\\t\\" + "d" * 240 + "\\"  # an installed directory too long to read back
        cases = [
            # word, installer lines, installer file name, exit code, installed
            ("installQuiet", dict(restart="NO"), "setup.txt", 0, PRODUCT_DIR),
            ("installQuiet", dict(restart="YES"), "setup.txt", 3010, PRODUCT_DIR),
            ("installUserQuiet", dict(restart=""), "setup.txt", 3010, "user"),
            ("installQuiet", dict(), "missing.txt", 1619, None),
            ("installUserQuiet", dict(skipped=["x" * 300] + [""] * 19), "setup.txt", 1619, None),
            ("installQuiet", dict(base=deep), "setup.txt", 1603, None),
        ]
        for word, lines, name, code, installed in cases:
            with self.subTest(word=word, lines=lines, name=name):
                self.clean()
                d = self.product(welcome="YES", path="YES", **lines)
                # Any box would block the run until it timed out.
                r = self.run_in(d, "%s&%s" % (word, name), timeout=20)
                self.assertEqual(r.exit_code, code)
                if installed == "user":
                    installed = self.user_programs() + "\\ExampleSoft\\Viewer"
                    self.assertEqual(self.wine.reg_value(USER_KEY, "isDir"), ("REG_SZ", installed))
                    self.assertInstalledFiles(installed)
                elif installed:
                    self.installed_in(installed)
                else:
                    # No command of the list ran (a record too long to read
                    # back stays written, as the installer leaves it).
                    self.assertFalse(os.path.exists(self.wine.unix(PRODUCT_DIR)))
                    self.assertFalse(os.path.exists(self.wine.unix(self.user_programs() + "\\ExampleSoft")))
                    if name == "missing.txt" or "skipped" in lines:
                        self.assertIsNone(self.wine.reg_value(KEY, "isDir"))
                        self.assertIsNone(self.wine.reg_value(USER_KEY, "isDir"))

    def test_elevated_start_from_a_limited_token(self):
        # A folder and a file name with blanks and "&", the command line's own
        # "|" for a blank: the started instance must find the same file.
        for word, restart, code in (("installQuiet", "YES", 3010), ("install", "NO", 0)):
            with self.subTest(word=word):
                self.clean()
                d = self.product(welcome="NO", path="NO", restart=restart)
                d.write("my files & more/set up.txt", d.read("setup.txt"))
                trace = d.winpath("trace.txt")
                r = self.run_in(d, "%s&my|files|&|more\\set|up.txt" % word, limited=True, timeout=30,
                                env={"HOSTCMD_TRACE": trace})
                self.assertEqual(r.exit_code, code)
                self.installed_in(PRODUCT_DIR)
                lines = d.read("trace.txt").decode("latin-1").splitlines()
                asked = [l for l in lines if "starts again, elevated" in l]
                self.assertEqual(len(asked), 1, lines)
                full = d.winpath("my files & more\\set up.txt")
                self.assertIn('with "%s&%s" in "%s"' % (word, full, d.winpath()), asked[0])
                self.assertIn("limited token (UAC)", "\n".join(lines))
                # The started instance got the same limited token (Wine's runas
                # does not elevate one): it did not ask again.
                self.assertTrue(any("it goes on without asking again" in l for l in lines), lines)
                self.assertTrue(any("ended with exit code %d" % code in l for l in lines), lines)

                # The command line handed over, started by itself with Wine's
                # elevated token, installs the same without asking.
                self.clean()
                os.remove(d.path("trace.txt"))
                handed = "%s&%s" % (word, full)
                r = self.run_in(d, handed, env={"HOSTCMD_TRACE": trace}, timeout=20)
                self.assertEqual(r.exit_code, code)
                self.installed_in(PRODUCT_DIR)
                self.assertNotIn("starts again", d.read("trace.txt").decode("latin-1"))

    def demo(self):
        """The demo product's files, as shipped in examples/notes."""
        d = self.dir()
        shutil.copytree(os.path.join(harness.REPO, "examples", "notes"), d.unix, dirs_exist_ok=True)
        return d

    def test_demo_installs_for_the_user_and_quietly(self):
        notes = "Notes 1.0 Setup"
        for word, answers, installed, key in (
                ("installUser", [("box", notes, 1), ("box", notes, 6), ("box", notes, 1)],
                 self.user_programs() + "\\DemoSoft\\Notes", "HKCU\\Software\\DemoSoft\\Notes\\1.0"),
                ("installQuiet", None, "C:\\Program Files\\DemoSoft\\Notes",
                 "HKLM\\Software\\DemoSoft\\Notes\\1.0")):
            with self.subTest(word=word):
                self.clean()
                d = self.demo()
                # installQuiet's own boxes are gone; the demo's final command
                # is a message of its own, which the quiet form still shows.
                r = self.run_in(d, word + "&setup.txt", answers=answers or [("box", notes, 1)], timeout=20)
                self.assertEqual(r.exit_code, 0)
                self.assertEqual(self.wine.reg_value(key, "isDir"), ("REG_SZ", installed))
                for name in ("notes.txt", "readme.txt", "start.txt"):
                    self.assertEqual(harness.snapshot(self.wine.unix(installed))[name],
                                     d.read("product/" + name))
                # The demo's check file finds it and runs its start file there.
                self.run_in(d, "", answers=[("box", "Notes 1.0", 1)])
                with open(self.wine.unix(installed + "\\last-start.txt"), "rb") as f:
                    self.assertIn(installed.encode() + b"\\start.txt", f.read())

    def machine(self):
        r"""The prefix as the round trips compare it: every file and folder on
        drive C, and every key and value under HKLM\Software and
        HKCU\Software.  Left out: Windows' own folder, the user's temporary
        folder (Wine's TEMP and TMP), the harness's own run folders
        (C:\e2e\runs: command lines, statuses, answer scripts), and
        HKCU\Software\Wine\Temporary System Parameters, which Wine's display
        driver writes when a session first shows a window.  A file is its
        size, last-write time and bytes; a folder only that it is there
        (Windows too changes a folder's time when an entry comes or goes)."""
        # In a 64-bit prefix the 64-bit view holds the 32-bit one (WOW6432Node).
        view = 64 if self.wine.arch == "win64" else None
        keys = {}
        for root in ("HKEY_LOCAL_MACHINE\\Software", "HKEY_CURRENT_USER\\Software"):
            keys.update(self.wine.reg_tree(root, view))
        wine_own = "HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters"
        keys = {k: v for k, v in keys.items() if k != wine_own and not k.startswith(wine_own + "\\")}
        return self.drive_c(), keys

    def drive_c(self):
        """The files and folders of machine(), by their paths below drive_c."""
        drive = os.path.join(self.wine.path, "drive_c")
        temp = os.path.relpath(os.path.join(self.wine.user_dir(), "Temp"), drive).lower()
        files = {}
        for dirpath, dirnames, filenames in os.walk(drive):
            rel = os.path.relpath(dirpath, drive)
            for name in list(dirnames):
                path = os.path.normpath(os.path.join(rel, name))
                if path.lower() in ("windows", temp, os.path.join("e2e", "runs")):
                    dirnames.remove(name)
                else:
                    files[path] = DIR
            for name in filenames:
                path, full = os.path.normpath(os.path.join(rel, name)), os.path.join(dirpath, name)
                st = os.lstat(full)
                with open(full, "rb") as f:
                    files[path] = (st.st_size, st.st_mtime_ns, hashlib.sha256(f.read()).hexdigest())
        return files

    def test_demo_round_trips_leave_nothing_behind(self):
        """The demo installed quietly, then removed through its entry's
        QuietUninstallString as Windows runs it (the raw line, the program
        taken from it, another current directory, the demo's folder gone):
        drive C and the registry are as before.  For one user, a product
        file the user changed and one the user added stay, with the folders
        holding them.  Started from an administrator's limited token, the
        machine-wide uninstall takes the elevated start."""
        notes = "Notes 1.0 Setup"
        for word, root, limited in (("installQuiet", "HKLM", False), ("installUserQuiet", "HKCU", False),
                                    ("installQuiet", "HKLM", True)):
            with self.subTest(word=word, limited=limited):
                self.clean()
                d, other = self.demo(), self.dir()
                temp = os.path.join(self.wine.user_dir(), "Temp")
                parked_before = set(os.listdir(temp))
                files, keys = self.machine()
                r = self.run_in(d, word + "&setup.txt", answers=[("box", notes, 1)], timeout=20)
                self.assertEqual(r.exit_code, 0)
                entry = self.wine.reg_query(root + DEMO_ENTRY)
                installed = entry["InstallLocation"][1]
                copy = installed + "\\hostcmd-uninstall.exe"
                self.assertEqual(entry["QuietUninstallString"],
                                 ("REG_SZ", '"%s" uninstallQuiet&DemoSoft&Notes&1.0' % copy))
                drive = os.path.join(self.wine.path, "drive_c")
                for name in os.listdir(d.path("product")):
                    files.pop(os.path.relpath(d.path("product/" + name), drive))
                files.pop(os.path.relpath(d.path("product"), drive))
                for name in ("kw.ini", "setup.txt"):
                    files.pop(os.path.relpath(d.path(name), drive))
                files.pop(os.path.relpath(d.unix, drive))
                stay = set()
                if root == "HKCU":
                    with open(self.wine.unix(installed + "\\notes.txt"), "ab") as f:
                        f.write(b"- the user's own line\r\n")
                    with open(self.wine.unix(installed + "\\mine.txt"), "wb") as f:
                        f.write(b"the user's\r\n")
                    # The two files, and every folder from the installed
                    # directory up to the user's programs folder, all made by
                    # the installation.
                    folder = os.path.relpath(self.wine.unix(installed), drive)
                    stay = {os.path.join(folder, "notes.txt"), os.path.join(folder, "mine.txt")}
                    programs = os.path.relpath(self.wine.unix(self.user_programs()), drive)
                    while folder != os.path.dirname(programs):
                        stay.add(folder)
                        folder = os.path.dirname(folder)
                now = self.drive_c()
                for path in stay:
                    files[path] = now[path]
                shutil.rmtree(d.unix)  # the CD is gone
                trace = other.winpath("trace.txt")
                r = self.wine.run(entry["QuietUninstallString"][1].encode("latin-1"), raw=True, program=None,
                                  cwd=other, limited=limited, env={"HOSTCMD_TRACE": trace} if limited else None,
                                  timeout=30)
                self.assertEqual(r.exit_code, 0)
                files_after, keys_after = self.machine()
                if limited:
                    lines = other.read("trace.txt").decode("latin-1").splitlines()
                    files_after.pop(os.path.relpath(other.path("trace.txt"), drive))
                    asked = [l for l in lines if "starts again, elevated" in l]
                    self.assertEqual(len(asked), 1, lines)
                    self.assertIn('"%s" with "uninstallQuiet&DemoSoft&Notes&1.0" in "%s"' % (copy, other.winpath()),
                                  asked[0])
                    self.assertTrue(any("did not get elevated; it goes on without asking again" in l
                                        for l in lines), lines)
                    self.assertTrue(any("ended with exit code 0" in l for l in lines), lines)
                def changed(before, after):
                    return {k: (before.get(k), after.get(k)) for k in set(before) | set(after)
                            if before.get(k) != after.get(k)}
                self.assertEqual(changed(files, files_after), {})
                self.assertEqual(changed(keys, keys_after), {})
                # The copy left its folder for the temporary one, to be deleted
                # when Windows starts next.
                parked = set(os.listdir(temp)) - parked_before
                self.assertEqual(len(parked), 1, parked)
                parked = parked.pop()
                with open(os.path.join(temp, parked), "rb") as f, open(self.wine.unix(harness.HOSTCMD_WIN), "rb") as g:
                    self.assertEqual(f.read(), g.read())
                pending = self.wine.reg_value("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                                              "PendingFileRenameOperations", view=None)
                self.assertIn(parked, pending[1])
                os.remove(os.path.join(temp, parked))
                self.wine.reg_delete("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                                     "PendingFileRenameOperations", view=None)


class RestartTest(harness.TestCase):
    """OK at the restart prompt asks Windows to restart the machine with
    InitiateSystemShutdownExA: no message, no time-out, programs asked and not
    forced, a restart, the planned-installation reason. Wine 8 has the call
    as a stub that says it did so and restarts nothing; its "fixme" line,
    which Wine writes when WINEDEBUG asks for it, shows the arguments. A Wine
    that does restart runs the RunOnce entries instead, here a hostcmd.exe
    that leaves a mark. A prompt that could not be shown asks for nothing. The
    prefix is one of its own, so that a restart disturbs no other test."""

    RUN_ONCE = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
    ASKED = "fixme:advapi:InitiateSystemShutdownExA (null) (null) 0 0 1 0x80040002"

    def test_restart_prompt_ok_asks_windows_to_restart(self):
        wine = self.session.extra_prefix("restart")
        self.addCleanup(self.session.drop_prefix, "restart")
        mark = wine.unix("C:\\restarted.txt")
        wine.reg_add(self.RUN_ONCE, "hostcmd-e2e", harness.HOSTCMD_WIN + " save&C:\\restarted.txt&restarted",
                     view=None)  # Wine's own view, the one its restart reads
        d = wine.new_dir("restart")
        d.write("kw.ini", crlf(CHECK_FILE))
        d.write("setup.txt", crlf(installer_lines(welcome="NO", path="NO", restart="YES",
                                                  final="save&final.txt&done")))
        d.write("files/viewer.exe", VIEWER)
        d.write("files/viewer.hlp", HELP)
        fixmes = {"WINEDEBUG": "-all,fixme+advapi"}

        def asked(r):
            # Each line starts with the thread's number: "0024:fixme:...".
            with open(os.path.join(r.run_dir, "launcher.out"), "rb") as f:
                lines = f.read().decode("latin-1").splitlines()
            return [line.split(":", 1)[1] for line in lines if "InitiateSystemShutdown" in line]

        # Without a display the prompt fails (-1): that must not restart.
        r = wine.run("install&setup.txt", cwd=d, env=dict(fixmes, DISPLAY=""), timeout=30)
        self.assertEqual(r.exit_code, 0)
        self.assertEqual(d.read("final.txt"), b"done")
        self.assertEqual(asked(r), [])
        time.sleep(2)
        self.assertFalse(os.path.exists(mark))
        os.remove(d.path("final.txt"))

        r = wine.run("install&setup.txt", cwd=d, answers=[("box", "Viewer Restart", 1)], env=fixmes, timeout=30,
                     check=False)
        self.assertEqual(r.answer(1)["pressed"], 1, r.describe())
        if not asked(r):
            deadline = time.monotonic() + 60
            while not os.path.exists(mark) and time.monotonic() < deadline:
                time.sleep(0.2)
            with open(mark, "rb") as f:
                self.assertEqual(f.read(), b"restarted")
        else:
            self.assertEqual(asked(r), [self.ASKED])
        self.assertEqual(d.read("final.txt"), b"done")
        self.assertEqual(wine.reg_value(KEY, "isDir"), ("REG_SZ", PRODUCT_DIR))


if __name__ == "__main__":
    harness.main()
