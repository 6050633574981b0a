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
