#!/usr/bin/python3
"""Hostile input against the real hostcmd.exe under Wine: every run must end
promptly with exit code 0 and no crash report, whatever it is given.

Covered: a command line of 32,000 characters; paths, keys and fields over 260
characters in every kind of command; reply files in a missing directory, a
read-only file and a read-only directory; batch files that are a directory,
binary garbage, or a million lines (with the process's peak memory measured
against a short batch); batch, check and installer files that call
themselves several times; an installer file with 100,000 command lines;
double-byte text in code page 932 whose trail bytes equal "|" or "\\"; CD
drives without media; a relative reply file named before a file dialog that
chooses a file in another folder; device names (COM1, CON, ...) given as
batch, check and installer files; copies and moves onto a drive too full
for them, and onto their own source under other names."""

import os
import random
import re
import shutil
import stat
import subprocess
import threading
import time

import harness
from harness import DIR

LONG = "L" * 300                      # one path component over 260 characters
LONG_PATH = "C:\\" + "\\".join(["d" * 60] * 5) + "\\f.txt"   # > 300 characters
CRASH_TEXT = re.compile(rb"Unhandled|page fault|exception|Backtrace|winedbg", re.I)


def setup_lines(base, commands, final="NO", key=("Hostile", "Robust", "1.0")):
    """An installer file: 17 setting lines with every box switched off, 20
    skipped lines, then the command list and the empty line that ends it."""
    settings = ["hostile installer", key[0], key[1], key[2], "NO", "NO", "NO", "W", "w", "P", "p", "t",
                "R", "r", base, "Sub\\", final]
    return "\r\n".join(settings + [""] * 20 + list(commands) + ["", ""])


class HostileTest(harness.TestCase):
    def ends_cleanly(self, r, seconds):
        """Exit code 0, within `seconds`, and no crash text from Wine."""
        self.assertFalse(r.timed_out, r.describe())
        self.assertEqual(r.exit_code, 0, r.describe())
        self.assertLess(r.seconds, seconds, r.describe())
        out = os.path.join(r.run_dir, "launcher.out")
        if os.path.exists(out):
            with open(out, "rb") as f:
                text = f.read()
            self.assertIsNone(CRASH_TEXT.search(text), text[:2000])

    def run_clean(self, d, cmdline, seconds=10.0, **kw):
        r = self.run_in(d, cmdline, timeout=max(seconds * 2, 20.0), **kw)
        self.ends_cleanly(r, seconds)
        return r


class CommandLineTest(HostileTest):
    def test_32000_characters(self):
        rows = [
            (b"save&a.txt&" + b"x" * 31989, {"a.txt": b"x" * 31989}),
            (b"savePretty&a.txt&" + b"&&" * 15990, {"a.txt": b"\r\r\n" * 15990}),
            (b"save&a.txt&" + b"|" * 31989, {"a.txt": b" " * 31989}),
            (b"&" * 32000, None),
            (b"x" * 32000, None),
            (b"." * 31000 + b"&text", None),
            (b"save&a.txt&" + b"%WIN%" * 6397, None),
            (b"save&a.txt&" + b"%APP%" * 6397, {"a.txt": b"%APP%" * 6397}),
            (b"confirm&" + b"c" * 16000 + b"&" + b"q" * 15000 + b"&save&a.txt&y", None),
            (b"batch&" + b"b" * 31994, None),
            (b"regToFile&HKCU&Software\\HostcmdHostile\\" + b"k" * 31000 + b"&v&r.txt", {"r.txt": b"regToFile=ERROR"}),
        ]
        for line, expected in rows:
            with self.subTest(line=line[:40]):
                d = self.dir()
                answers = [("box", "*", 2)] if line.startswith(b"confirm") else None
                self.run_clean(d, line, seconds=10.0, answers=answers)
                if expected is not None:
                    self.assertFiles(d, expected)


class LongFieldTest(HostileTest):
    """Every kind of command with a path, key or field over 260 characters."""

    def test_files_and_replies(self):
        rows = [
            "save&%s&x" % LONG, "save&%s&x" % LONG_PATH, "savePretty&%s\\%s&x" % (LONG, LONG),
            "saveM&c&m&%s&x" % LONG, "saveME&%s&none&b.txt&x" % LONG_PATH,
            "delete&%s" % LONG_PATH, "copy&a.txt&%s&" % LONG, "copy&%s&b.txt&" % LONG,
            "move&a.txt&%s&" % LONG_PATH, "moveM&c&m&a.txt&%s&" % LONG,
            "makeDir&%s" % LONG, "deleteDir&%s" % LONG_PATH, "makeDirME&x&none&%s" % LONG,
            "%s.txt&default branch" % LONG,
            "pathToCD&x.id&%s" % LONG, "pathToCD&%s&r.txt" % LONG, "pathToCDM&c&m&%s&r2.txt" % LONG,
            "pathToCDR&c&m&%s&r3.txt" % LONG_PATH,
            "batch&%s" % LONG, "install&%s" % LONG_PATH, "installCheck&%s" % LONG,
            "pathToInstall&%s&b&c&m&r4.txt" % LONG, "pathToInstall&a&b&c&m&%s" % LONG,
        ]
        for line in rows:
            with self.subTest(line=line[:40]):
                d = self.dir()
                d.write("a.txt", "keep me")
                # pathToCDR shows its Retry/Cancel box when nothing is found.
                answers = [("box", "c", 2)] if line.startswith("pathToCDR") else None
                self.run_clean(d, line, answers=answers)
                snap = d.snapshot()
                self.assertEqual(snap.get("a.txt"), b"keep me")  # the source is never lost
                if line.startswith("pathToCD&%s" % LONG):
                    self.assertEqual(snap.get("r.txt"), b"pathToCD=ERROR")
                if line.startswith("pathToCDM"):
                    self.assertEqual(snap.get("r2.txt"), b"pathToCD=ERROR")
                if line.startswith("pathToInstall&%s" % LONG):
                    self.assertEqual(snap.get("r4.txt"), b"PathToInstall=ERROR")

    def test_registry(self):
        base = "Software\\HostcmdHostile"
        rows = [
            ("reg&HKCU&%s\\%s&v&text" % (base, LONG), None),
            ("reg&HKCU&%s&%s&text" % (base, "v" * 20000), None),
            ("reg&HKCU&%s&v&%s" % (base, "t" * 20000), None),
            ("regToFile&HKCU&%s&v&r.txt" % base, b"regToFile=" + b"t" * 20000),
            ("regCreateKey&HKCU&%s\\%s" % (base, LONG), None),
            ("regCreateKey&HKCU&%s\\%s" % (base, "\\".join(["k" * 200] * 100)), None),
            ("regDeleteKey&HKCU&%s&%s" % (base, LONG), None),
            ("regDeleteValue&HKCU&%s&%s" % (base, LONG), None),
            ("regToFile&HKCU&%s\\%s&v&r.txt" % (base, LONG), b"regToFile=ERROR"),
            ("regToFile&HKCU&%s&%s&r.txt" % (base, LONG), b"regToFile=ERROR"),
            ("regToFile&HKCU&%s&v&%s" % (base, LONG), None),
        ]
        for line, reply in rows:
            with self.subTest(line=line[:50]):
                d = self.dir()
                self.run_clean(d, line)
                if reply is not None:
                    # A value longer than the 260-byte buffer cannot be read.
                    got = d.snapshot().get("r.txt")
                    self.assertIn(got, (reply, b"regToFile=ERROR"))
        self.wine.reg_delete("HKCU\\" + base)

    def test_shortcuts_and_tokens(self):
        rows = [
            "deskIcon&%s&C:\\v.exe&&d&none&0&none&none&none&none" % LONG,
            "startIcon&V&%s&%s&d&none&0&none&none&none&none" % (LONG, LONG),
            "programIcon&V&C:\\v.exe&&%s&%s&0&%s&none&none&%s" % (LONG, LONG, LONG, LONG),
            "startUpIcon&V&C:\\v.exe&&d&none&0&none&%s&%s&none" % (LONG, LONG),
            "deleteIcon&0&%s" % LONG, "deleteIconDir&1&%s" % LONG_PATH,
            "deleteIcon&%s&x" % ("9" * 300),
            "save&a.txt&%s" % ("%WIN%%TEMP%%SYS%%PROG%" * 100),
        ]
        user = self.wine.user_dir()
        before = harness.snapshot(user)
        for line in rows:
            with self.subTest(line=line[:40]):
                self.run_clean(self.dir(), line)
        after = harness.snapshot(user)
        made = sorted(k for k in set(after) - set(before) if LONG[:100] in k)
        self.assertEqual(made, [], "a shortcut or folder with an over-long name appeared")

    def test_long_temp_directory_from_the_environment(self):
        # GetTempPathA answers a path that does not fit 260 bytes: the token stays.
        # Wine takes TMP and TEMP from HKCU\Environment, not from Unix.
        key = "HKCU\\Environment"
        old = {name: self.wine.reg_value(key, name) for name in ("TMP", "TEMP")}
        try:
            for name in old:
                self.wine.reg_add(key, name, "C:\\" + LONG)
            d = self.dir()
            self.run_clean(d, "save&a.txt&%TEMP%x")
            self.assertFiles(d, {"a.txt": b"%TEMP%x"})
        finally:
            for name, value in old.items():
                if value is None:
                    self.wine.reg_delete(key, name)
                else:
                    self.wine.reg_add(key, name, value[1], type=value[0])

    def test_long_dialog_fields(self):
        d = self.dir()
        self.run_clean(d, "savePrompt&r.txt&%s&%s&%s&%s&%s" % (LONG, LONG, LONG, LONG_PATH, LONG),
                       answers=[("file", "*", "-", 2)])
        self.assertFiles(d, {"r.txt": b"fileSelected=ERROR"})
        d = self.dir()
        self.run_clean(d, "getUserDir&r.txt&%s" % LONG, answers=[("folder", "*", "", 2)])
        self.assertFiles(d, {"r.txt": b"UserDir=na\\"})


class ReplyFileTest(HostileTest):
    def test_missing_directory(self):
        for line in ["pathToCD&x.id&missing\\r.txt", "regToFile&HKCU&Software&x&missing\\r.txt",
                     "pathToInstall&a&b&c&d&missing\\deeper\\r.txt", "save&missing\\r.txt&x"]:
            with self.subTest(line=line):
                d = self.dir()
                self.run_clean(d, line)
                self.assertFiles(d, {})

    def test_read_only_file_keeps_its_content(self):
        for line in ["pathToCD&x.id&r.txt", "regToFile&HKCU&Software&x&r.txt", "save&r.txt&new"]:
            with self.subTest(line=line):
                d = self.dir()
                d.write("r.txt", "old reply")
                os.chmod(d.path("r.txt"), 0o444)
                # Root writes through missing write bits: make the file
                # immutable as well, so that the write fails as it does for
                # a read-only file on Windows.
                immutable = os.geteuid() == 0
                if immutable and subprocess.run(["chattr", "+i", d.path("r.txt")], stdin=subprocess.DEVNULL,
                                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
                    self.skipTest("running as root on a file system without chattr +i")
                try:
                    self.run_clean(d, line)
                finally:
                    if immutable:
                        subprocess.run(["chattr", "-i", d.path("r.txt")], stdin=subprocess.DEVNULL)
                self.assertFiles(d, {"r.txt": b"old reply"})

    def test_read_only_directory(self):
        d = self.dir()
        d.mkdir("ro")
        os.chmod(d.path("ro"), 0o555)
        try:
            self.run_clean(d, "pathToCD&x.id&ro\\r.txt")
        finally:
            os.chmod(d.path("ro"), 0o755)

    def test_relative_reply_after_a_dialog_in_another_folder(self):
        # The dialog may move the current directory to the chosen file's
        # folder; the reply must still land where the host looks for it.
        d = self.dir()
        d.mkdir("elsewhere")
        d.write("elsewhere\\chosen.txt", "x")
        chosen = d.winpath("elsewhere\\chosen.txt")
        self.run_clean(d, "openPrompt&reply.txt&All&*.*&none&%s&Pick" % d.winpath("elsewhere"),
                       answers=[("file", "Pick", chosen, 1)])
        self.assertFiles(d, {"elsewhere": DIR, "elsewhere/chosen.txt": b"x",
                             "reply.txt": b"fileSelected=" + chosen.encode("latin-1")})


def _peak_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


class MemoryWatch:
    """Samples the peak resident size (VmHWM) of the hostcmd.exe process of
    this prefix while it runs."""

    def __init__(self, prefix_path):
        self.prefix = prefix_path.encode()
        self.peak = None
        self.stop = False
        self.thread = threading.Thread(target=self.watch, daemon=True)

    def find(self):
        for name in os.listdir("/proc"):
            if not name.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % name, "rb") as f:
                    cmd = f.read()
                if b"hostcmd.exe" not in cmd.split(b"\0")[0]:
                    continue
                with open("/proc/%s/environ" % name, "rb") as f:
                    if b"WINEPREFIX=" + self.prefix + b"\0" not in f.read():
                        continue
                return int(name)
            except OSError:
                continue
        return None

    def watch(self):
        pid = None
        while not self.stop:
            if pid is None:
                pid = self.find()
            if pid is not None:
                kib = _peak_kib(pid)
                if kib is None:
                    pid = None
                elif self.peak is None or kib > self.peak:
                    self.peak = kib
            time.sleep(0.01)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop = True
        self.thread.join(5)


class BatchFileTest(HostileTest):
    def test_directory_and_garbage(self):
        d = self.dir()
        d.mkdir("b.txt")
        self.run_clean(d, "batch&b.txt")
        self.assertFiles(d, {"b.txt": DIR})
        rng = random.Random(9)
        for n in range(3):
            with self.subTest(garbage=n):
                d = self.dir()
                data = bytes(rng.randrange(256) for _ in range(65536))
                # Nothing that could reach outside the test folder: no ":" and
                # no "\\" (absolute paths), no "%" (tokens).
                data = data.replace(b":", b";").replace(b"\\", b"/").replace(b"%", b"#")
                d.write("b.txt", data)
                self.run_clean(d, "batch&b.txt", seconds=20.0)
                self.assertEqual(d.read("b.txt"), data)

    def test_batch_that_rewrites_or_deletes_itself(self):
        # The lines already read run; the file is open without delete
        # sharing, so it cannot be deleted while it runs.
        d = self.dir()
        d.write("b.txt", "save&b.txt&\r\nsave&after.txt&x\r\n")
        self.run_clean(d, "batch&b.txt")
        self.assertFiles(d, {"b.txt": b"", "after.txt": b"x"})
        d = self.dir()
        d.write("b.txt", "delete&b.txt\r\nsave&after.txt&y\r\n")
        self.run_clean(d, "batch&b.txt")
        self.assertFiles(d, {"b.txt": b"delete&b.txt\r\nsave&after.txt&y\r\n", "after.txt": b"y"})

    def test_device_names_as_files(self):
        # A batch, check or installer file that is a device (a serial port
        # blocks ReadFile for ever) counts as a file that cannot be opened:
        # the run ends at once and does nothing. A "\\.\" name is not even
        # opened (a pipe's server would see the connection): the trace shows
        # no CreateFileA on it, only the refusal.
        trace_win = "C:\\trace-out\\devices.txt"
        trace_unix = self.wine.unix(trace_win)
        os.makedirs(os.path.dirname(trace_unix), exist_ok=True)
        for command in ("batch", "installCheck", "install"):
            for device in ("COM1", "\\\\.\\COM1", "\\\\.\\pipe\\hostcmd-none", "//./PhysicalDrive0", "AUX", "CON",
                           "CONIN$", "NUL"):
                with self.subTest(command=command, device=device):
                    d = self.dir()
                    d.write("kw.ini", "c\r\nHostile\r\nDevice\r\n1.0\r\nm\r\nsave&six.txt&6\r\nsave&seven.txt&7\r\n")
                    if os.path.exists(trace_unix):
                        os.remove(trace_unix)
                    self.run_clean(d, "%s&%s" % (command, device), seconds=10.0, env={"HOSTCMD_TRACE": trace_win})
                    self.assertFiles(d, {"kw.ini": d.read("kw.ini")})
                    if device.replace("/", "\\").startswith("\\\\.\\"):
                        with open(trace_unix, "rb") as f:
                            traced = f.read().decode("latin-1").split("\r\n")[:-1]
                        self.assertEqual([line for line in traced if "CreateFileA" in line or "GetFileType" in line], [])
                        self.assertIn('    "%s" not opened: a device name, not a file' % device, traced)

    def batch_peak(self, lines):
        d = self.dir()
        with open(d.path("b.txt"), "wb") as f:
            chunk = b"cursor&x\r\n" * 999 + b"save&progress.txt&%d\r\n"
            for i in range(lines // 1000):
                f.write(chunk.replace(b"%d", str(i).encode()))
            f.write(b"save&last.txt&done\r\n")
        with MemoryWatch(self.wine.path) as watch:
            r = self.run_clean(d, "batch&b.txt", seconds=240.0)
        self.assertEqual(d.read("last.txt"), b"done")
        self.assertEqual(d.read("progress.txt"), str(lines // 1000 - 1).encode())
        return watch.peak, r.seconds

    def test_a_million_lines_in_flat_memory(self):
        # A short batch ends before Wine has loaded all it loads on the way:
        # compare a tenth of the length with the whole.
        small, small_s = self.batch_peak(100000)
        big, big_s = self.batch_peak(1000000)
        print("\nbatch of 100,000 lines: peak %s KiB, %.2f s; of 1,000,000 lines: peak %s KiB, %.2f s"
              % (small, small_s, big, big_s))
        self.assertIsNotNone(small)
        self.assertIsNotNone(big)
        self.assertLess(big - small, 2048, "memory grew with the length of the batch file")

    def test_self_calls(self):
        d = self.dir()
        d.write("b.txt", "save&count.txt&x\r\nbatch&b.txt\r\nbatch&b.txt\r\nbatch&b.txt\r\n")
        self.run_clean(d, "batch&b.txt")
        self.assertEqual(d.read("count.txt"), b"x")
        # A check file whose lines lead back to itself, directly and through a batch.
        d = self.dir()
        d.write("kw.ini", "check\r\nNo\r\nSuch\r\nProduct\r\nm.exe\r\ninstallCheck&kw.ini\r\nbatch&again.txt\r\n")
        d.write("again.txt", "installCheck&kw.ini\r\n\r\nbatch&again.txt\r\ninstallCheck&kw.ini\r\n")
        d.write("again.txt", "installCheck&kw.ini\r\nbatch&again.txt\r\nsave&seen.txt&y\r\n")
        self.run_clean(d, "installCheck&kw.ini")
        self.run_clean(d, "")   # the default check on kw.ini
        self.run_clean(d, "&")

    def test_self_calling_installer(self):
        d = self.dir()
        d.mkdir("target")
        base = d.winpath("target") + "\\"
        d.write("setup.txt", setup_lines(base, ["install&setup.txt", "save&in.txt&x", "install&setup.txt",
                                                "batch&b.txt", "install&setup.txt"], final="install&setup.txt"))
        d.write("b.txt", "install&setup.txt\r\ninstall&setup.txt\r\n")
        self.run_clean(d, "install&setup.txt", seconds=30.0)
        self.assertTrue(os.path.isdir(d.path("target\\Sub")))
        self.wine.reg_delete("HKLM\\Software\\Hostile")

    def test_installer_of_100000_command_lines(self):
        d = self.dir()
        base = d.winpath("target") + "\\"
        commands = ["cursor&%d" % i for i in range(100000)] + ["save&last.txt&done"]
        d.write("setup.txt", setup_lines(base, commands))
        self.run_clean(d, "install&setup.txt", seconds=60.0)
        self.assertEqual(d.read("last.txt"), b"done")
        self.wine.reg_delete("HKLM\\Software\\Hostile")


def _japanese_locale(work_dir):
    """A generated ja_JP.UTF-8 locale, so that Wine's ANSI code page is 932."""
    loc = os.path.join(work_dir, "locale")
    if not os.path.isdir(os.path.join(loc, "ja_JP.UTF-8")):
        os.makedirs(loc, exist_ok=True)
        subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", os.path.join(loc, "ja_JP.UTF-8")],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120)
    if not os.path.isdir(os.path.join(loc, "ja_JP.UTF-8")):
        return None
    return {"LOCPATH": loc, "LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}


class CodePage932Test(HostileTest):
    """In code page 932 the trail byte of a double-byte character can be
    0x7C "|" or 0x5C "\\" (trail bytes run 0x40-0x7E and 0x80-0xFC). 0x26 "&"
    lies below that range and is never a trail byte, so "&" always splits."""

    def setUp(self):
        self.ja = _japanese_locale(self.session.work_dir)
        if self.ja is None:
            self.skipTest("localedef cannot make ja_JP.UTF-8 here")

    def test_trail_bytes(self):
        so = b"\x83\x5c"    # a katakana whose trail byte is "\"
        po = b"\x83\x7c"    # a katakana whose trail byte is "|"
        rows = [
            # A "|" that is a trail byte is no bar: it stays.
            (b"save&a.txt&" + po + b"|x", {"a.txt": po + b" x"}),
            # A "\" that is a trail byte: the character survives the writer.
            (b"save&a.txt&" + so + b"&&" + so, {"a.txt": so + b"&&" + so}),
            (b"savePretty&a.txt&" + so + b"&&" + po, {"a.txt": so + b"\r\r\n" + po}),
            # A lead byte with no valid trail byte does not survive the way
            # through CreateProcessA and GetCommandLineA (both convert to and
            # from UTF-16): "\x83&" arrives as the one character 0x81 0x45.
            (b"save&a.txt&\x83&b", {"a.txt": b"\x81\x45b"}),
            (b"save&a.txt&x\x83", {"a.txt": b"x"}),
            (b"save\x83&a.txt&x", None),
        ]
        for line, expected in rows:
            with self.subTest(line=line):
                d = self.dir()
                self.run_clean(d, line, env=self.ja)
                if expected is not None:
                    self.assertFiles(d, expected)

    def test_lead_bytes_without_trail_in_a_batch_file(self):
        # A batch file hands its bytes over unchanged. A lead byte followed by
        # "&" is taken as one character with it, so that "&" does not split;
        # a lead byte at the very end of a line stands alone.
        d = self.dir()
        d.write("b.txt", b"save&a.txt&\x83&b\r\nsave&c.txt&x\x83\r\nsave&d.txt&\x83|\x83\\\r\n")
        self.run_clean(d, "batch&b.txt", env=self.ja)
        snap = d.snapshot()
        self.assertEqual(snap.get("a.txt"), b"\x83&b")
        self.assertEqual(snap.get("c.txt"), b"x\x83")
        self.assertEqual(snap.get("d.txt"), b"\x83|\x83\\")

    def test_trail_backslash_in_paths(self):
        d = self.dir()
        name = "\u30bd"    # 0x83 0x5C in code page 932
        os.makedirs(d.path(name))
        with open(os.path.join(d.path(name), "m.exe"), "wb") as f:
            f.write(b"x")
        directory = d.winpath("") + "\\" + name
        # In the view hostcmd reads (the 32-bit one in a 64-bit prefix).
        view = ["/reg:32"] if self.wine.hostcmd_view == 32 else []
        self.wine.wine(["reg", "add", "HKLM\\Software\\Hostile\\Dbcs\\1.0", "/v", "isDir", "/d", directory, "/f"]
                       + view, env=self.ja)
        # The directory ends in the character 0x83 0x5C: a "\" is added.
        self.run_clean(d, "pathToInstall&Hostile&Dbcs&1.0&m.exe&r.txt", env=self.ja)
        expected = ("PathToInstall=" + directory + "\\").encode("cp932")
        self.assertEqual(d.read("r.txt"), expected)
        # A batch file of double-byte lines with trail bytes "\" and "|".
        d.write("b.bin", b"save&" + b"\x83\x5c" + b".txt&\x83\x7c|\r\n")
        self.run_clean(d, "batch&b.bin", env=self.ja)
        with open(os.path.join(d.unix, "\u30bd.txt"), "rb") as f:
            self.assertEqual(f.read(), b"\x83\x7c ")
        self.wine.reg_delete("HKLM\\Software\\Hostile")


class QuietErrorModeTest(HostileTest):
    def test_cd_search_over_drives_without_media(self):
        # Every CD-ROM drive's medium is gone (its folder removed): the search
        # must end at once, answer ERROR and show no "insert a disk" box.
        gone = os.path.join(self.session.work_dir, "cd-gone")
        try:
            for letter in harness.CD_LETTERS:
                self.wine.set_cd(letter, os.path.join(gone, letter))
            shutil.rmtree(gone)
            trace = self.wine.unix("C:\\e2e\\cd-search-trace.log")
            for line in ["pathToCD&setup.exe&r.txt", "pathToCDM&c&m&setup.exe&r.txt"]:
                with self.subTest(line=line):
                    d = self.dir()
                    if os.path.exists(trace):
                        os.remove(trace)
                    r = self.run_clean(d, line, seconds=5.0, answers=[("nobox", 1500)],
                                       env={"HOSTCMD_TRACE": "C:\\e2e\\cd-search-trace.log"})
                    traced = open(trace, "rb").read() if os.path.exists(trace) else b"(no trace)"
                    self.assertFiles(d, {"r.txt": b"pathToCD=ERROR"},
                                     "%s; trace:\n%s" % (r.describe(), traced.decode("latin-1")))
        finally:
            self.wine.clear_cds()


class WholeFileTest(HostileTest):
    """A copy or move puts its destination in place only when it is whole,
    and never replaces a file by its own copy."""

    def small_drive(self, letter, free):
        """A 64 KiB tmpfs as drive `letter` with `free` bytes left; skipped
        where this machine cannot mount one (a mount needs root)."""
        root = os.path.join(self.session.work_dir, "small-drive")
        os.makedirs(root, exist_ok=True)
        if os.path.ismount(root):
            subprocess.run(["umount", root], stdin=subprocess.DEVNULL)
        mounted = os.geteuid() == 0 and subprocess.run(
            ["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", root], stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        if not mounted:
            self.skipTest("a small tmpfs cannot be mounted here (not root, or mount refused): no full drive")
        self.addCleanup(subprocess.run, ["umount", root], stdin=subprocess.DEVNULL)
        link = os.path.join(self.wine.path, "dosdevices", letter + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(root, link)
        self.addCleanup(os.remove, link)
        st = os.statvfs(root)
        with open(os.path.join(root, "filler"), "wb") as f:
            f.write(b"\0" * (st.f_bavail * st.f_frsize - free))
        return root

    def test_a_copy_that_does_not_fit_leaves_every_file_as_it_was(self):
        root = self.small_drive("t", 8192)
        d = self.dir()
        big = bytes(random.Random(21).randrange(256) for _ in range(20000))
        d.write("big.bin", big)
        with open(os.path.join(root, "dest.txt"), "wb") as f:
            f.write(b"the old destination")
        trace = d.path("trace.txt")
        env = {"HOSTCMD_TRACE": d.winpath("trace.txt")}
        before = harness.snapshot(root)
        for line in ["copy&big.bin&T:\\new.bin&TRUE", "move&big.bin&T:\\dest.txt&FALSE"]:
            with self.subTest(line=line):
                self.run_clean(d, line, env=env)
                self.assertEqual(harness.snapshot(root), before)
                self.assertEqual(d.read("big.bin"), big)
                with open(trace, "rb") as f:
                    lines = f.read().decode("latin-1").split("\r\n")
                os.remove(trace)
                self.assertEqual(lines[1], '    CopyFileA("big.bin", "T:\\~hc0000.tmp", TRUE) failed: error 112', lines)
        # Once there is room the same line copies, whole.
        os.remove(os.path.join(root, "filler"))
        self.run_clean(d, "copy&big.bin&T:\\new.bin&TRUE")
        self.assertEqual(sorted(os.listdir(root)), ["dest.txt", "new.bin"])
        with open(os.path.join(root, "new.bin"), "rb") as f:
            self.assertEqual(f.read(), big)

    def test_a_copy_onto_its_own_source_changes_nothing(self):
        # One file under another case, with trailing dots or blanks, through
        # "..", "/", its short name, a hard link: a replace would put the
        # copy over the file, and a move would then delete it.
        d = self.dir()
        d.write("a.txt", b"keep me")
        d.write("a long file name.txt", b"long")
        d.mkdir("sub")
        os.link(d.path("a.txt"), d.path("link.txt"))
        probe = b'"%s\\probe.exe" short.txt short "%s"' % (harness.TOOLS_DIR_WIN.encode(),
                                                            d.winpath("a long file name.txt").encode("latin-1"))
        self.run_in(d, probe, raw=True, program=harness.TOOLS_DIR_WIN + "\\probe.exe")
        short = d.read("short.txt").decode("latin-1").splitlines()[1].partition("=")[2]
        os.remove(d.path("short.txt"))
        self.assertTrue(short and "~" in short, short)
        before = d.snapshot()
        for line in ["move&a.txt&A.TXT&FALSE", "move&a.txt&a.txt.&FALSE", "move&a.txt&a.txt &FALSE",
                     "move&a.txt&sub\\..\\a.txt&FALSE", "moveM&Moved&ok&a.txt&%s&" % d.winpath("a.txt").replace("\\", "/"),
                     "move&a.txt&link.txt&FALSE", "copy&link.txt&a.txt&", "move&a long file name.txt&%s&" % short]:
            with self.subTest(line=line):
                self.run_clean(d, line)
                self.assertEqual(d.snapshot(), before)
                self.assertEqual(os.stat(d.path("a.txt")).st_ino, os.stat(d.path("link.txt")).st_ino)


if __name__ == "__main__":
    harness.main()
