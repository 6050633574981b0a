#!/usr/bin/python3
"""Path tokens, the install check (with and without a command word) and
"pathToInstall" under Wine.  The install record is set up and removed from
outside hostcmd.exe with `wine reg`.  Every case runs in the 32-bit prefix and
in a 64-bit one, where hostcmd.exe (a 32-bit program) reads HKLM\\Software
through the 32-bit view: a record made there through /reg:32 is found, one
made only in the 64-bit view is not."""

import os
import shutil

import harness

VENDOR = "HostcmdE2EVendor"


class InstallCases(harness.BitnessCases):
    def setUp(self):
        self.product = self._testMethodName
        self.install_key = "HKEY_LOCAL_MACHINE\\Software\\%s\\%s\\1.0" % (VENDOR, self.product)
        self.user_key = self.install_key.replace("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER")
        self.wine.reg_delete(self.install_key, view=self.view)
        self.wine.reg_delete(self.user_key, view=self.view)

    def record(self, directory, view="hostcmd", key=None):
        """Records the installed directory as the installer would, from outside."""
        self.wine.reg_add(key or self.install_key, "isDir", directory,
                          view=self.view if view == "hostcmd" else view)

    def check_file(self, d, marker, line6="save&ran.txt&line 6", line7="save&ran.txt&line 7",
                   name="kw.ini", newline="\r\n"):
        lines = ["E2E check", VENDOR, self.product, "1.0", marker, line6, line7]
        d.write(name, newline.join(lines) + newline)

    def expand(self, d, text):
        """What hostcmd makes of the text as an argument text."""
        self.run_in(d, b"save&tokens.out&" + text.encode("latin-1"))
        data = d.read("tokens.out")
        os.remove(d.path("tokens.out"))
        return data.decode("latin-1")

    # -- path tokens --

    def temp_dir(self):
        """The temporary folder as Wine's own cmd.exe tells it, with one "\\"."""
        rc, out, _ = self.wine.wine(["cmd", "/c", "echo %TEMP%"], timeout=60)
        self.assertEqual(rc, 0)
        temp = out.decode("latin-1").strip()
        self.assertTrue(temp.startswith("C:\\"), temp)
        return temp.rstrip("\\") + "\\"

    def test_directory_tokens(self):
        d = self.dir()
        temp = self.temp_dir()
        cases = [
            ("%WIN%notepad.exe", "C:\\windows\\notepad.exe"),
            ("%WIN%\\notepad.exe", "C:\\windows\\\\notepad.exe"),
            ("%SYS%a|%SYS%b", "C:\\windows\\system32\\a C:\\windows\\system32\\b"),
            ("%TEMP%x.tmp", temp + "x.tmp"),
            ("%PROG%Vendor", "C:\\Program Files\\Vendor"),
            ("%WIN%%SYS%", "C:\\windows\\C:\\windows\\system32\\"),
            ("%win% %Win% %WIN %Temp% %prog% %sys%", "%win% %Win% %WIN %Temp% %prog% %sys%"),
            ("%APP%x %WIN%y", "%APP%x C:\\windows\\y"),  # no kw.ini here
        ]
        for text, expected in cases:
            with self.subTest(text=text):
                self.assertEqual(self.expand(d, text), expected)
        self.assertNotIn("\\\\", self.expand(d, "%TEMP%name"))

    def test_tokens_are_expanded_before_the_fields_are_taken(self):
        d = self.dir()
        name = "hostcmd-e2e-%s.txt" % self.arch
        self.run_in(d, "save&%TEMP%" + name + "&in temp")
        host = self.wine.unix(self.temp_dir() + name)
        try:
            with open(host, "rb") as f:
                self.assertEqual(f.read(), b"in temp")
        finally:
            if os.path.exists(host):
                os.remove(host)

    def test_app_token(self):
        d = self.dir()
        self.check_file(d, "m.exe")
        app = d.winpath("app")
        self.assertEqual(self.expand(d, "%APP%x"), "%APP%x")
        if self.arch == "win64":
            # A record that only a 64-bit program would see is not ours.
            self.record(app, view=64)
            self.assertEqual(self.expand(d, "%APP%x"), "%APP%x")
        self.record(app)
        self.assertEqual(self.expand(d, "%APP%x|%APP%y"), app + "\\x " + app + "\\y")
        self.record(app + "\\")
        self.assertEqual(self.expand(d, "%APP%bin"), app + "\\bin")
        # A recorded directory holding %WIN% has it expanded.
        self.record("D:\\%WIN%")
        self.assertEqual(self.expand(d, "%APP%"), "D:\\C:\\windows\\\\")
        # One holding %APP% is inserted once and not searched again.
        self.record("D:\\%APP%")
        self.assertEqual(self.expand(d, "%APP%a %APP%b"), "D:\\%APP%\\a D:\\%APP%\\b")

    # -- install check --

    def test_install_check_decides(self):
        app_dir = "app"
        cases = [
            # marker line, marker file made, recorded, expected
            ("m.exe", "m.exe", True, b"line 6"),
            ("m.exe", None, True, b"line 7"),
            ("m.exe", "m.exe", False, b"line 7"),
            ("*.exe", "other.exe", True, b"line 6"),
            ("*.dll", "other.exe", True, b"line 7"),
        ]
        for marker, made, recorded, expected in cases:
            for cmdline in (b"installCheck&kw.ini", b"", b"no command word"):
                with self.subTest(marker=marker, made=made, recorded=recorded, cmdline=cmdline):
                    d = self.dir()
                    self.check_file(d, marker)
                    d.mkdir(app_dir)
                    if made:
                        d.write(app_dir + "/" + made, b"")
                    self.wine.reg_delete(self.install_key, view=self.view)
                    if recorded:
                        self.record(d.winpath(app_dir))
                    self.run_in(d, cmdline)
                    self.assertEqual(d.read("ran.txt"), expected)

    def test_lookups_read_the_machine_record_then_the_users(self):
        # An installation for the current user is found when HKLM has none,
        # by the install check, pathToInstall and %APP% alike; one for every
        # user wins.
        d = self.dir()
        self.check_file(d, "m.exe", line6="save&ran.txt&line 6 %APP%")
        for name in ("machine", "user"):
            d.write(name + "/m.exe", b"")
        cmd = "pathToInstall&%s&%s&1.0&m.exe&r.txt" % (VENDOR, self.product)
        cases = [(None, "user", "user"), ("machine", "user", "machine"), ("machine", None, "machine"),
                 (None, None, None)]
        for machine, user, found in cases:
            with self.subTest(machine=machine, user=user):
                self.wine.reg_delete(self.install_key, view=self.view)
                self.wine.reg_delete(self.user_key, view=self.view)
                if machine:
                    self.record(d.winpath(machine))
                if user:
                    self.record(d.winpath(user), key=self.user_key)
                self.run_in(d, b"")
                self.run_in(d, cmd)
                if found:
                    where = d.winpath(found).encode()
                    self.assertEqual(d.read("ran.txt"), b"line 6 " + where + b"\\")
                    self.assertEqual(d.read("r.txt"), b"PathToInstall=" + where + b"\\")
                else:
                    self.assertEqual(d.read("ran.txt"), b"line 7")
                    self.assertEqual(d.read("r.txt"), b"PathToInstall=ERROR")
        self.wine.reg_delete(self.user_key, view=self.view)

    def test_install_check_sees_only_its_own_view(self):
        if self.arch != "win64":
            self.skipTest("one registry view only in a 32-bit prefix")
        d = self.dir()
        self.check_file(d, "m.exe")
        d.write("app/m.exe", b"")
        self.record(d.winpath("app"), view=64)
        self.run_in(d, b"")
        self.assertEqual(d.read("ran.txt"), b"line 7")
        self.record(d.winpath("app"))
        self.run_in(d, b"")
        self.assertEqual(d.read("ran.txt"), b"line 6")
        self.wine.reg_delete(self.install_key, view=64)

    def test_install_check_on_another_file_with_app_token(self):
        d = self.dir()
        # Line 6 of check.ini resolves %APP% through kw.ini (the same product).
        self.check_file(d, "m.exe", line6="save&%APP%started.txt&via|kw.ini", name="check.ini",
                        newline="\n")
        self.check_file(d, "m.exe")
        d.write("app/m.exe", b"")
        self.record(d.winpath("app"))
        self.run_in(d, "installCheck&check.ini")
        self.assertEqual(d.read("app/started.txt"), b"via kw.ini")
        self.assertFalse(os.path.exists(d.path("ran.txt")))

    def test_install_check_without_file_runs_nothing(self):
        d = self.dir()
        self.record(d.winpath(""))
        for cmdline in (b"installCheck&missing.ini", b"", b"&x", b"installCheck&"):
            self.run_in(d, cmdline)
        self.assertFiles(d, {})

    def test_check_leading_back_to_itself_ends(self):
        # Line 7 empty: the empty command word runs the check on kw.ini again
        # and again, until the nesting limit ends it.
        for line7 in ("", "installCheck&kw.ini", "no command word"):
            with self.subTest(line7=line7):
                d = self.dir()
                self.check_file(d, "m.exe", line7=line7)
                r = self.run_in(d, b"", timeout=10)
                self.assertEqual(r.exit_code, 0)
                self.assertFiles(d, {"kw.ini": d.read("kw.ini")})

    # -- pathToInstall --

    def test_path_to_install(self):
        d = self.dir()
        d.write("app/m.exe", b"")
        app = d.winpath("app")
        cmd = "pathToInstall&%s&%s&1.0&m.exe&r.txt" % (VENDOR, self.product)
        cases = [
            (None, cmd, b"PathToInstall=ERROR"),
            (app, cmd, b"PathToInstall=" + app.encode() + b"\\"),
            (app + "\\", cmd, b"PathToInstall=" + app.encode() + b"\\"),
            (app, cmd.replace("m.exe", "*.exe"), b"PathToInstall=" + app.encode() + b"\\"),
            (app, cmd.replace("m.exe", "gone.exe"), b"PathToInstall=ERROR"),
            (app, cmd.replace("&1.0&", "&2.0&"), b"PathToInstall=ERROR"),
        ]
        for recorded, command, reply in cases:
            with self.subTest(recorded=recorded, command=command):
                d.write("r.txt", b"an older, longer reply")
                if recorded is None:
                    self.wine.reg_delete(self.install_key, view=self.view)
                else:
                    self.record(recorded)
                self.run_in(d, command)
                self.assertEqual(d.read("r.txt"), reply)
        # The reply file name is everything after the fourth "&".
        self.record(app)
        self.run_in(d, cmd.replace("&r.txt", "&a&b.txt"))
        self.assertEqual(d.read("a&b.txt"), b"PathToInstall=" + app.encode() + b"\\")
        # Marker deleted: ERROR.
        os.remove(d.path("app/m.exe"))
        self.run_in(d, cmd)
        self.assertEqual(d.read("r.txt"), b"PathToInstall=ERROR")
        # The lookup only opens: a missing key stays missing.
        self.assertIsNone(self.wine.reg_query(self.install_key.replace("\\1.0", "\\2.0"),
                                              view=self.view))

    def test_path_to_install_sees_only_its_own_view(self):
        if self.arch != "win64":
            self.skipTest("one registry view only in a 32-bit prefix")
        d = self.dir()
        d.write("app/m.exe", b"")
        self.record(d.winpath("app"), view=64)
        self.run_in(d, "pathToInstall&%s&%s&1.0&m.exe&r.txt" % (VENDOR, self.product))
        self.assertEqual(d.read("r.txt"), b"PathToInstall=ERROR")
        self.record(d.winpath("app"))
        self.run_in(d, "pathToInstall&%s&%s&1.0&m.exe&r.txt" % (VENDOR, self.product))
        self.assertEqual(d.read("r.txt"), b"PathToInstall=" + d.winpath("app").encode() + b"\\")
        self.wine.reg_delete(self.install_key, view=64)

    # -- uninstall --

    def journal_item(self, kind, name, root="", identity="", value=""):
        """One item as a journal stores it (see src/install/journal.h)."""
        return "%s|%s|%s|%d|%s%s" % (kind, root, identity, len(name), name, value)

    def file_identity(self, unix_path):
        """Size and last-write time as GetFileAttributesExA gives them under
        Wine: the Unix time in 100 ns units since 1601."""
        st = os.stat(unix_path)
        return "%016x%016x" % (st.st_size, st.st_mtime_ns // 100 + 116444736000000000)

    def value_identity(self, data):
        """The FNV-1a hash of a REG_SZ value's bytes, its zero included."""
        h = 14695981039346656037
        for c in data.encode("latin-1") + b"\0":
            h = ((h ^ c) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
        return "%016x" % h

    def test_uninstall_removes_what_the_journal_lists(self):
        """The removal engine on a journal written here, from outside: what is
        still as installed goes, newest first; a changed file, an added file,
        the folders holding them, and whatever a symbolic link leads to stay.
        It runs as the uninstaller copy Windows' list starts, which moves its
        own file out of the way."""
        vendor = VENDOR + "Uninstall"
        product_key = "HKEY_LOCAL_MACHINE\\Software\\%s\\%s\\1.0" % (vendor, self.product)
        entry_key = ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#%s#%s#1.0"
                     % (vendor, self.product))
        journal_key = product_key + "\\hostcmd uninstall journal"
        self.wine.reg_delete("HKEY_LOCAL_MACHINE\\Software\\" + vendor, view=self.view)
        d = self.dir()
        app = "App\\Vendor\\Product"
        installed = d.winpath(app)
        for name, data in (("program.exe", b"MZ program"), ("notes.txt", b"notes"), ("data/d.txt", b"d")):
            d.write(app.replace("\\", "/") + "/" + name, data)
        d.write("outside/victim.txt", b"not the installation's")
        os.makedirs(d.path("App/Vendor/Product/link"))
        copy = installed + "\\hostcmd-uninstall.exe"
        shutil.copy2(self.wine.unix(harness.HOSTCMD_WIN), d.path(app.replace("\\", "/") + "/hostcmd-uninstall.exe"))
        settings = "Software\\%s\\%s\\1.0\\Settings" % (vendor, self.product)
        self.wine.reg_add("HKEY_LOCAL_MACHINE\\" + settings, "Size", "10", view=self.view)
        self.wine.reg_add(product_key, "isDir", installed, view=self.view)
        self.wine.reg_add(entry_key, "DisplayName", self.product + " 1.0", view=self.view)

        def identity(name):
            return self.file_identity(d.path(name.replace("\\", "/")))
        items = [
            self.journal_item("key", "Software\\" + vendor, "HKLM"),
            self.journal_item("key", "Software\\%s\\%s" % (vendor, self.product), "HKLM"),
            self.journal_item("key", "Software\\%s\\%s\\1.0" % (vendor, self.product), "HKLM"),
            self.journal_item("directory", d.winpath("App\\Vendor")),
            self.journal_item("directory", installed),
            self.journal_item("installed", installed),
            self.journal_item("file", installed + "\\program.exe", identity=identity(app + "\\program.exe")),
            self.journal_item("file", installed + "\\notes.txt", identity=identity(app + "\\notes.txt")),
            self.journal_item("directory", installed + "\\data"),
            self.journal_item("file", installed + "\\data\\d.txt", identity=identity(app + "\\data\\d.txt")),
            self.journal_item("directory", installed + "\\link"),
            self.journal_item("file", installed + "\\link\\victim.txt", identity=identity("outside\\victim.txt")),
            self.journal_item("key", settings, "HKLM"),
            self.journal_item("value", settings, "HKLM", self.value_identity("10"), "Size"),
            self.journal_item("file", copy, identity=identity(app + "\\hostcmd-uninstall.exe")),
        ]
        for n, item in enumerate(items, 1):
            self.wine.reg_add(journal_key, str(n), item, view=self.view)
        self.wine.reg_add(journal_key, "items", str(len(items)), view=self.view)
        # The user changes one file (the same size, written later) and adds one.
        st = os.stat(d.path(app.replace("\\", "/") + "/notes.txt"))
        os.utime(d.path(app.replace("\\", "/") + "/notes.txt"), ns=(st.st_atime_ns, st.st_mtime_ns + 10 ** 9))
        d.write(app.replace("\\", "/") + "/mine.txt", b"the user's")
        # A journaled folder replaced by a link to a folder outside (Wine
        # reports a Unix symbolic link as a reparse point).
        os.rmdir(d.path("App/Vendor/Product/link"))
        os.symlink(d.path("outside"), d.path("App/Vendor/Product/link"))
        temp = os.path.join(self.wine.user_dir(), "Temp")
        parked_before = set(f for f in os.listdir(temp) if f.startswith("hcu")) if os.path.isdir(temp) else set()

        r = self.run_in(d, "uninstallQuiet&%s&%s&1.0" % (vendor, self.product), program=copy)
        self.assertEqual(r.exit_code, 0)
        self.assertFiles(d, {
            "App": harness.DIR, "App/Vendor": harness.DIR, "App/Vendor/Product": harness.DIR,
            "App/Vendor/Product/notes.txt": b"notes", "App/Vendor/Product/mine.txt": b"the user's",
            "App/Vendor/Product/link": harness.DIR,  # the snapshot does not follow the link
            "outside": harness.DIR, "outside/victim.txt": b"not the installation's"})
        self.assertTrue(os.path.islink(d.path("App/Vendor/Product/link")))
        # The running copy left its folder for the temporary one.
        parked = set(f for f in os.listdir(temp) if f.startswith("hcu")) - parked_before
        self.assertEqual(len(parked), 1, parked)
        for key in (journal_key, entry_key, "HKEY_LOCAL_MACHINE\\Software\\" + vendor):
            self.assertIsNone(self.wine.reg_query(key, view=self.view), key)
        # Nothing recorded any more: the install check runs line 7, the query answers ERROR.
        r = self.run_in(d, "uninstallQuiet&%s&%s&1.0" % (vendor, self.product))
        self.assertEqual(r.exit_code, 1605)
        self.wine.run("pathToInstall&%s&%s&1.0&notes.txt&r.txt" % (vendor, self.product), cwd=d)
        self.assertEqual(d.read("r.txt"), b"PathToInstall=ERROR")
        for f in parked:
            os.remove(os.path.join(temp, f))


class InstallAcrossBuilds(harness.TestCase):
    r"""The 32-bit product and the 64-bit twin in one 64-bit prefix: a record
    either writes (HKLM\Software, the 32-bit view for both) the other finds."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.wine = cls.session.extra_prefix("win64", arch="win64", build="win32")
        twin = os.path.join(cls.session.build_dir("win64"), "hostcmd.exe")
        if not os.path.exists(twin):
            raise harness.HarnessError("missing %s: build the win64 preset first" % twin)
        cls.programs = {"win32": harness.HOSTCMD_WIN, "win64": harness.TOOLS_DIR_WIN + "\\hostcmd64.exe"}
        shutil.copy2(twin, cls.wine.unix(cls.programs["win64"]))

    def test_record_written_by_one_build_is_read_by_the_other(self):
        key = "Software\\%s\\%s\\1.0" % (VENDOR, self._testMethodName)
        full = "HKEY_LOCAL_MACHINE\\" + key
        for writer, reader in (("win64", "win32"), ("win32", "win64")):
            with self.subTest(writer=writer, reader=reader):
                self.wine.reg_delete(full, view=32)
                d = self.dir()
                d.write("app/m.exe", b"m")
                self.wine.run("reg&HKLM&%s&isDir&%s" % (key, d.winpath("app")), cwd=d,
                              program=self.programs[writer])
                self.assertEqual(self.wine.reg_value(full, "isDir", view=32), ("REG_SZ", d.winpath("app")))
                self.wine.run("pathToInstall&%s&%s&1.0&m.exe&r.txt" % (VENDOR, self._testMethodName), cwd=d,
                              program=self.programs[reader])
                self.assertEqual(d.read("r.txt"), b"PathToInstall=" + d.winpath("app").encode() + b"\\")
                # The reader deletes what the writer made: the same view.
                self.wine.run("regDeleteKey&HKLM&Software\\%s\\%s&1.0" % (VENDOR, self._testMethodName), cwd=d,
                              program=self.programs[reader])
                self.assertIsNone(self.wine.reg_query(full, view=32))
        self.wine.reg_delete(full, view=32)


class Install32(InstallCases, harness.TestCase):
    arch = "win32"


class Install64(InstallCases, harness.TestCase):
    arch = "win64"


if __name__ == "__main__":
    harness.main()
