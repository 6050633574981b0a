#!/usr/bin/python3
r"""hostcmd-sim held to the real hostcmd.exe: each case runs both ways, from
the same files, registry values and answers, and what changed must be equal.

Simulated: build/native/hostcmd-sim with the test directory seeded on drive
C: at the same Windows path, the case's registry values in a .reg file, and
the same answers by caption.  Under Wine: Prefix.run in that directory, the
values set with reg.exe in the view hostcmd uses.  Compared: the files in the
test directory with their bytes (reply files included), the values of the
case's registry keys (in HKLM\Software, where the 32-bit view matters), the
shortcuts made in the user's folders, the boxes shown (caption and text),
and the documents the shell opened (the prefix's .hcx type, recorded)."""

import json
import os
import shutil
import subprocess
import tempfile

import harness
from harness import DIR, REPO

SIM = os.path.join(REPO, "build", "native", "hostcmd-sim")
TEST_KEY = "HKLM\\Software\\HostcmdSim"
BUTTON_IDS = {"OK": 1, "Cancel": 2, "Retry": 4, "Yes": 6, "No": 7}
EXAMPLE = os.path.join(REPO, "examples", "notes")

CD_FILES = {"disk1.id": b"one"}

# Each case: name, command line, files of the test directory, registry
# values {(subkey, name): text} below TEST_KEY\<case>, answers
# [(kind, caption, answer)], CD-ROM E: files (or None).  "@K" in a command line
# is the case's own key below HKLM\Software.
CASES = [
    # files
    ("save_ok", "save&a.txt&one|two&&x", {}, {}, [], None),
    ("save_fails", "save&nodir\\a.txt&x", {}, {}, [], None),
    ("savePretty_ok", "savePretty&a.txt&l1&&l2%TAB%t", {}, {}, [], None),
    ("savePretty_fails", "savePretty&adir&x", {"adir/": None}, {}, [], None),
    ("delete_ok", "delete&a.txt", {"a.txt": b"x"}, {}, [], None),
    ("delete_fails", "delete&missing.txt", {"a.txt": b"x"}, {}, [], None),
    ("copy_ok", "copy&a.txt&b.txt&FALSE", {"a.txt": b"abc"}, {}, [], None),
    ("copy_fails_keeps", "copy&a.txt&b.txt&TRUE", {"a.txt": b"abc", "b.txt": b"old"}, {}, [], None),
    ("move_ok", "move&a.txt&sub\\b.txt&FALSE", {"a.txt": b"abc", "sub/k": b""}, {}, [], None),
    ("move_fails", "move&a.txt&nodir\\b.txt&FALSE", {"a.txt": b"abc"}, {}, [], None),
    ("makeDir_ok", "makeDir&new", {}, {}, [], None),
    ("makeDir_fails", "makeDir&a\\b", {}, {}, [], None),
    ("deleteDir_ok", "deleteDir&empty", {"empty/": None}, {}, [], None),
    ("deleteDir_fails", "deleteDir&full", {"full/f.txt": b"x"}, {}, [], None),
    ("saveM_ok", "saveM&Saved&It%TAB%is done&a.txt&x", {}, {}, [("box", "Saved", "OK")], None),
    ("saveM_fails", "saveM&Saved&Done&nodir\\a.txt&x", {}, {}, [], None),
    ("savePM_ok", "savePM&Saved&Done&a.txt&1&&2", {}, {}, [("box", "Saved", "OK")], None),
    ("deleteM_ok", "deleteM&Gone&Deleted&a.txt", {"a.txt": b"x"}, {}, [("box", "Gone", "OK")], None),
    ("deleteM_fails", "deleteM&Gone&Deleted&none.txt", {}, {}, [], None),
    ("copyM_ok", "copyM&C&Copied&a.txt&b.txt&FALSE", {"a.txt": b"x"}, {}, [("box", "C", "OK")], None),
    ("moveM_fails", "moveM&M&Moved&none.txt&b.txt&FALSE", {}, {}, [], None),
    ("makeDirM_ok", "makeDirM&D&Made&d1", {}, {}, [("box", "D", "OK")], None),
    ("deleteDirM_fails", "deleteDirM&D&Removed&nothere", {}, {}, [], None),
    ("saveME_ok", "saveME&doc.hcx&none&a.txt&x", {"doc.hcx": b""}, {}, [], None),
    ("copyME_fails", "copyME&doc.hcx&none&none.txt&b.txt&FALSE", {"doc.hcx": b""}, {}, [], None),
    # shell verbs
    ("open_ok", "open&doc.hcx", {"doc.hcx": b""}, {}, [], None),
    ("open_fails", "open&missing.hcx", {}, {}, [], None),
    ("print_ok", "print&doc.hcx", {"doc.hcx": b""}, {}, [], None),
    ("print_fails", "print&nodir\\doc.hcx", {}, {}, [], None),
    ("run_fails", "run&nodir\\tool.exe&none", {}, {}, [], None),
    ("explore_fails", "explore&nodir", {}, {}, [], None),
    # registry
    ("reg_ok", "reg&HKLM&@K&Name&a|value", {}, {}, [], None),
    ("reg_fails_root", "reg&HKXX&@K&Name&v", {}, {}, [], None),
    ("regToFile_ok", "regToFile&HKLM&@K&Name&r.txt", {}, {("", "Name"): "stored"}, [], None),
    ("regToFile_fails", "regToFile&HKLM&@K&Missing&r.txt", {}, {("", "Name"): "stored"}, [], None),
    ("regCreateKey_ok", "regCreateKey&HKLM&@K\\sub\\deeper", {}, {}, [], None),
    ("regCreateKey_fails", "regCreateKey&HKQQ&@K\\sub", {}, {}, [], None),
    ("regDeleteKey_ok", "regDeleteKey&HKLM&@K&sub", {}, {("sub", "v"): "x"}, [], None),
    ("regDeleteKey_fails", "regDeleteKey&HKLM&@K&sub", {}, {("sub\\deeper", "v"): "x"}, [], None),
    ("regDeleteValue_ok", "regDeleteValue&HKLM&@K&Name", {}, {("", "Name"): "x", ("", "Other"): "y"}, [], None),
    ("regDeleteValue_fails", "regDeleteValue&HKLM&@K&Missing", {}, {("", "Name"): "x"}, [], None),
    ("pathToInstall_ok", "pathToInstall&HostcmdSim&@L&v1&m.txt&r.txt", {"m.txt": b""}, {("v1", "isDir"): "<dir>"}, [], None),
    ("pathToInstall_fails", "pathToInstall&HostcmdSim&@L&v1&m.txt&r.txt", {}, {}, [], None),
    # CD search
    ("pathToCD_ok", "pathToCD&disk1.id&r.txt", {}, {}, [], CD_FILES),
    ("pathToCD_fails", "pathToCD&disk9.id&r.txt", {}, {}, [], CD_FILES),
    ("pathToCDM_ok", "pathToCDM&CD&Found&disk1.id&r.txt", {}, {}, [("box", "CD", "OK")], CD_FILES),
    ("pathToCDR_cancel", "pathToCDR&Insert&Put the disk in&disk9.id&r.txt", {}, {}, [("box", "Insert", "Cancel")], CD_FILES),
    ("pathToCDR_ok", "pathToCDR&Insert&Put the disk in&disk1.id&r.txt", {}, {}, [], CD_FILES),
    # boxes, batch, install check
    ("cursor", "cursor&", {}, {}, [], None),
    ("message", "message&Hello&line 1&&line 2", {}, {}, [("box", "Hello", "OK")], None),
    ("confirm_ok", "confirm&Sure&Save it?&save&a.txt&yes", {}, {}, [("box", "Sure", "OK")], None),
    ("confirm_cancel", "confirm&Sure&Save it?&save&a.txt&yes", {}, {}, [("box", "Sure", "Cancel")], None),
    ("batch_ok", "batch&b.txt", {"b.txt": b"save&a.txt&1\r\ncopy&a.txt&c.txt&FALSE\r\n\r\nsave&never.txt&x\r\n"}, {}, [], None),
    ("batch_fails", "batch&missing.txt", {}, {}, [], None),
    ("installCheck_ok", "installCheck&kw.ini", {"kw.ini": b"t\r\nHostcmdSim\r\n@L\r\nv1\r\nm.txt\r\nsave&yes.txt&1\r\nsave&no.txt&1\r\n",
                                                "m.txt": b""}, {("v1", "isDir"): "<dir>"}, [], None),
    ("installCheck_fails", "installCheck&kw.ini", {"kw.ini": b"t\r\nHostcmdSim\r\n@L\r\nv1\r\nm.txt\r\nsave&yes.txt&1\r\nsave&no.txt&1\r\n"},
     {}, [], None),
    ("install_fails", "install&missing.txt", {}, {}, [], None),
    ("installQuiet_fails", "installQuiet&missing.txt", {}, {}, [], None),
    ("installUser_fails", "installUser&missing.txt", {}, {}, [], None),
    # shortcuts
    ("deskIcon_ok", "deskIcon&@N.lnk&C:\\Tools\\&tool.exe&A tool&none&0&C:\\Tools&none&none&-x", {}, {}, [], None),
    ("programIcon_ok", "programIcon&@N.lnk&C:\\Tools\\&tool.exe&In a group&none&0&none&@N&none&none", {}, {}, [], None),
    ("startIcon_fails", "startIcon&@N.lnk&C:\\Tools\\&tool.exe&d&none&0&none&no\\such&none&none", {}, {}, [], None),
    ("deleteIcon_fails", "deleteIcon&0&@N.lnk", {}, {}, [], None),
    ("deleteIconDir_fails", "deleteIconDir&1&@N", {}, {}, [], None),
    # pickers
    ("getUserDir_cancel", "getUserDir&r.txt&Pick one", {}, {}, [("folder", "Browse for Folder", "Cancel")], None),
    ("savePrompt_typed", "savePrompt&r.txt&Text&*.txt&none&@D&Save notes", {}, {}, [("file", "Save notes", "mine.txt")], None),
    ("openPrompt_cancel", "openPrompt&r.txt&Text&*.txt&none&@D&Open notes", {}, {}, [("file", "Open notes", "Cancel")], None),
]


def run_sim(options, cmdline, timeout=60):
    """Runs hostcmd-sim --json with the options on one command line (bytes
    or str, taken as Latin-1: the bytes hostcmd receives); returns
    (exit code, the report, stderr)."""
    if isinstance(cmdline, str):
        cmdline = cmdline.encode("latin-1")
    p = subprocess.run([SIM, "--json"] + options + ["--simulate", cmdline], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=timeout)
    report = json.loads(p.stdout.decode("ascii")) if p.returncode == 0 else None
    return p.returncode, report, p.stderr.decode("latin-1")


def changes_between(before, after):
    """What changed between two snapshots: {path: bytes, DIR or "<deleted>"}."""
    changes = {}
    for rel in set(before) | set(after):
        if rel not in after:
            changes[rel] = "<deleted>"
        elif before.get(rel) != after[rel]:
            changes[rel] = after[rel]
    return changes


def write_files(root, files):
    for rel, data in files.items():
        path = os.path.join(root, *rel.rstrip("/").split("/"))
        if data is None:
            os.makedirs(path, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def reg_text(key, values):
    """A REGEDIT4 file setting the values below HKLM\\<key>."""
    lines = ["REGEDIT4", ""]
    for (sub, name), data in sorted(values.items()):
        path = key + ("\\" + sub if sub else "")
        esc = data.replace("\\", "\\\\").replace('"', '\\"')
        lines += ["[HKEY_LOCAL_MACHINE\\%s]" % path, '"%s"="%s"' % (name, esc), ""]
    return "\r\n".join(lines).encode("latin-1")


class SimulateTest(harness.TestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not os.path.exists(SIM):
            raise harness.HarnessError("%s is not built (cmake --build --preset native)" % SIM)
        cls.user = os.path.basename(cls.wine.user_dir())

    def setUp(self):
        self.stage = tempfile.mkdtemp(prefix="hostcmd-sim-")
        self.addCleanup(shutil.rmtree, self.stage, True)

    # -- the two runs --

    def simulate(self, d, cmdline, reg_file, answers, cd_dir):
        leaf = d.win.split("\\")[-1]
        drive = os.path.join(self.stage, "c")
        shutil.copytree(d.unix, os.path.join(drive, "t", leaf), symlinks=True)
        argv = [SIM, "--json", "--drive", "C=" + drive, "--cwd", d.win, "--user", self.user]
        if reg_file:
            argv += ["--registry", reg_file]
        if cd_dir:
            argv += ["--cd", "E=" + cd_dir]
        for kind, caption, answer in answers:
            argv += ["--answer", "%s=%s" % (caption, answer)]
        code, report, err = run_sim(argv[2:], cmdline)
        self.assertEqual(code, 0, err)
        return report

    def wine_answers(self, answers):
        steps = []
        for kind, caption, answer in answers:
            if kind == "box":
                steps.append(("box", caption, BUTTON_IDS[answer]))
            elif answer == "Cancel":
                steps.append((kind, caption, "-" if kind == "file" else "", 2))
            else:
                steps.append((kind, caption, answer, 1))
        return steps

    # -- what changed, in one form for both --

    def sim_files(self, report, d):
        prefix = d.win.lower() + "\\"
        changes = {}
        for f in report["files"]:
            if not f["path"].lower().startswith(prefix):
                continue
            rel = f["path"][len(prefix):].replace("\\", "/")
            if f["change"] == "deleted":
                changes[rel] = "<deleted>"
            else:
                changes[rel] = DIR if f["kind"] == "folder" else f["bytes"].encode("latin-1")
        return changes

    def wine_files(self, before, after):
        return changes_between(before, after)

    def sim_registry(self, report, seeded, key):
        state = {k: dict(v) for k, v in seeded.items()}
        prefix = ("HKLM\\" + key).lower()
        for r in report["registry"]:
            k = r["key"].lower()
            if not (k == prefix or k.startswith(prefix + "\\")):
                continue
            sub = k[len(prefix) + 1:]
            if r["change"] == "created key":
                state.setdefault(sub, {})
            elif r["change"] == "deleted key":
                state.pop(sub, None)
            elif r["change"] == "set value":
                state.setdefault(sub, {})[r["name"].lower()] = r["bytes"].rstrip("\0")
            elif r["change"] == "deleted value":
                state.get(sub, {}).pop(r["name"].lower(), None)
        return state

    def wine_registry(self, subkeys, key):
        state = {}
        for sub in subkeys:
            values = self.wine.reg_query("HKLM\\" + key + ("\\" + sub if sub else ""))
            if values is not None:
                state[sub] = {n.lower(): data for n, (t, data) in values.items()}
        return state

    # -- one case --

    def check_case(self, name, cmdline, files, reg, answers, cd_files):
        key = "Software\\HostcmdSim\\" + name
        self.wine.reg_delete(TEST_KEY + "\\" + name)
        self.addCleanup(self.wine.reg_delete, TEST_KEY + "\\" + name)
        d = self.dir()
        write_files(d.unix, files)
        lnk = "sim-" + name
        cmdline = (cmdline.replace("@K", key).replace("@L", name).replace("@N", lnk)
                   .replace("@D", d.win))
        values = {(sub, n): (d.win if v == "<dir>" else v) for (sub, n), v in reg.items()}
        reg_file = None
        if values:
            # The install lookups read HKLM\Software\<part 1>\<part 2>\<part 3>.
            reg_file = os.path.join(self.stage, "seed.reg")
            with open(reg_file, "wb") as f:
                f.write(reg_text(key, values))
            for (sub, n), v in values.items():
                self.wine.reg_add("HKLM\\" + key + ("\\" + sub if sub else ""), n, v)
        cd_dir = None
        if cd_files is not None:
            cd_dir = os.path.join(self.stage, "cd")
            write_files(cd_dir, cd_files)
            self.wine.set_cd("e", cd_dir)
            self.addCleanup(self.wine.set_cd, "e", None)
        before = d.snapshot()
        report = self.simulate(d, cmdline, reg_file, answers, cd_dir)

        self.wine.clear_recorder()
        r = self.run_in(d, cmdline.encode("latin-1"), answers=self.wine_answers(answers))
        after = d.snapshot()
        self.assertEqual(self.sim_files(report, d), self.wine_files(before, after), "files")

        subkeys = sorted({sub for sub, _ in values} | {"", "sub", "sub\\deeper", "v1"})
        seeded = {}
        for (sub, n), v in values.items():
            for i in range(len(sub.split("\\")) if sub else 0):
                seeded.setdefault("\\".join(sub.split("\\")[:i]) if i else "", {})
            seeded.setdefault(sub, {})[n.lower()] = v
        sim_reg = {k: v for k, v in self.sim_registry(report, seeded, key).items() if k in subkeys}
        self.assertEqual(sim_reg, self.wine_registry(subkeys, key), "registry")

        sim_boxes = [(e["caption"], e["text"]) for e in report["events"] if e["kind"] == "box"]
        wine_boxes = [(a.get("caption"), a.get("text")) for a in r.answers if a.get("kind", "box") == "box"
                      and "text" in a]
        self.assertEqual(sim_boxes, wine_boxes, "boxes")

        # The product hands the shell the name as given; the recorder sees the
        # path Windows made of it against the current directory.
        sim_shell = [(e["verb"], (e["file"] if e["file"][1:2] == ":" else d.win + "\\" + e["file"]).lower())
                     for e in report["events"] if e["kind"] == "shell" and e["file"].lower().endswith(".hcx")]
        records = self.wine.recorded(wait_for=len(sim_shell), timeout=3.0 if sim_shell else 0.5)
        wine_shell = []
        for rec in records:
            parts = rec["cmdline"].split('"')
            wine_shell.append((parts[2].strip(), parts[3].lower()))
        self.assertEqual(sorted(sim_shell), sorted(wine_shell), "shell")

        made = [s for s in report["shortcuts"] if s["change"] == "made"]
        wine_made = self.shortcut_files(lnk)
        for s in made:
            path = os.path.join(self.wine.path, "drive_c", *s["path"][3:].split("\\"))
            found = self.find_nocase(path)
            self.assertIsNotNone(found, "no shortcut under Wine at %s" % s["path"])
            info = harness.lnkinfo(found)
            self.assertEqual(info.get("Description"), s["description"])
            self.assertEqual(info.get("Local path"), s["target"])
        for path in wine_made:
            shutil.rmtree(os.path.dirname(path)) if lnk in os.path.dirname(path) else os.remove(path)
        self.assertEqual(len(made), len(wine_made), "shortcuts made: %r" % wine_made)

    def find_nocase(self, path):
        parts = path.split(os.sep)
        current = os.sep
        for part in parts[1:]:
            if not os.path.isdir(current):
                return None
            match = [e for e in os.listdir(current) if e.lower() == part.lower()]
            if not match:
                return None
            current = os.path.join(current, match[0])
        return current

    def shortcut_files(self, lnk):
        found = []
        for dirpath, dirnames, filenames in os.walk(self.wine.user_dir()):
            found += [os.path.join(dirpath, n) for n in filenames if n.startswith(lnk)]
        return found

    def test_cases(self):
        for case in CASES:
            with self.subTest(case=case[0]):
                self.check_case(*case)

    def test_example_installs_alike(self):
        """The demo installer of examples/notes, every box answered by default."""
        d = self.dir()
        shutil.copytree(EXAMPLE, d.unix, dirs_exist_ok=True)
        entry = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#DemoSoft#Notes#1.0"
        for key in ("HKLM\\Software\\DemoSoft", "HKCU\\Software\\DemoSoft", "HKLM" + entry):
            self.wine.reg_delete(key)
            self.addCleanup(self.wine.reg_delete, key)
        answers = [("box", "Notes 1.0 Setup", "OK"), ("box", "Notes 1.0 Setup", "Yes"),
                   ("box", "Notes 1.0 Setup", "OK")]
        report = self.simulate(d, "install&setup.txt", None, answers, None)
        r = self.run_in(d, b"install&setup.txt", answers=self.wine_answers(answers))
        self.assertEqual([(e["caption"], e["text"]) for e in report["events"] if e["kind"] == "box"],
                         [(a.get("caption"), a.get("text")) for a in r.answers])
        for f in report["files"]:
            path = self.find_nocase(os.path.join(self.wine.path, "drive_c", *f["path"][3:].split("\\")))
            self.assertIsNotNone(path, f["path"])
            # The simulated uninstaller copy is of the simulation's own
            # pretend hostcmd.exe.
            if f["kind"] == "file" and not f["path"].endswith("\\hostcmd-uninstall.exe"):
                with open(path, "rb") as h:
                    self.assertEqual(h.read(), f["bytes"].encode("latin-1"), f["path"])
        for v in report["registry"]:
            if v["change"] != "set value":
                continue
            # What differs by nature: the journal (the simulated files' times,
            # and what the prefix held before: earlier runs may have left the
            # demo's shortcuts), the date, and the size of the real
            # uninstaller copy.
            if v["key"].endswith("\\hostcmd uninstall journal"):
                continue
            found = self.wine.reg_value(v["key"], v["name"])
            self.assertIsNotNone(found, (v["key"], v["name"]))
            if v["name"] in ("InstallDate", "EstimatedSize"):
                continue
            if v["type"] == "REG_DWORD":
                self.assertEqual(found, ("REG_DWORD", hex(int.from_bytes(v["bytes"].encode("latin-1"), "little"))))
            else:
                self.assertEqual(found, ("REG_SZ", v["bytes"].rstrip("\0")))
        for s in report["shortcuts"]:
            found = self.find_nocase(os.path.join(self.wine.path, "drive_c", *s["path"][3:].split("\\")))
            self.assertIsNotNone(found, s["path"])
            self.assertEqual(harness.lnkinfo(found).get("Local path"), s["target"])
        self.assertEqual(len(report["shortcuts"]), 2)
        program_files = os.path.join(self.wine.path, "drive_c", "Program Files", "DemoSoft")
        shutil.rmtree(program_files, ignore_errors=True)

    def test_windows_build_reports_as_the_native_one(self):
        """hostcmd-sim.exe (the build under test) prints the same dry run of
        the demo installer as the native hostcmd-sim."""
        exe = os.path.join(self.session.build_dir(self.wine.build), "hostcmd-sim.exe")
        if not os.path.exists(exe):
            raise harness.HarnessError("%s is not built (cmake --build --preset %s)" % (exe, self.wine.build))
        setup = os.path.join(EXAMPLE, "setup.txt")
        args = ["--simulate-file", setup, "--answer-default"]
        native = harness.run_to_files([SIM] + args, dict(os.environ), os.path.join(self.stage, "native.out"))
        windows = self.wine.wine([exe, "--simulate-file", "Z:" + setup.replace("/", "\\"), "--answer-default"])
        self.assertEqual(native[0], 0, native[2])
        self.assertEqual(windows[0], 0, windows[2])
        self.assertIn(b"created key HKLM\\Software\\DemoSoft\\Notes\\1.0", native[1])
        self.assertEqual(windows[1].replace(b"\r\n", b"\n"), native[1])

    def test_exit_codes_and_what_stopped_the_run(self):
        """0 after a simulation; 2 when a box or dialog had no answer (stderr
        names the options that answer it), for wrong arguments and for a file
        that cannot be read."""
        cases = [
            (["message&Hi&There", "--answer-default"], 0, []),
            (["--answer", "Hi=OK", "message&Hi&There"], 0, []),
            (["confirm&Sure?&Really&cursor&"], 2, ['no answer for the box "Sure?"', '--answer "Sure?=BUTTON" (OK, Cancel)',
                                                   "--answer-default"]),
            (["openPrompt&r.txt&Text&*.txt&none&C:\\&Pick a file"], 2,
             ['no answer for the open dialog "Pick a file"', '--answer "Pick a file=NAME"', "--answer-default"]),
            (["--no-such-option", "cursor&"], 2, ["--no-such-option"]),
            (["--simulate-file", os.path.join(self.stage, "missing.txt")], 2, ["missing.txt"]),
        ]
        for argv, code, said in cases:
            with self.subTest(argv=argv):
                p = subprocess.run([SIM] + argv, capture_output=True, timeout=60)
                self.assertEqual(p.returncode, code, p.stderr)
                for text in said:
                    self.assertIn(text.encode(), p.stderr)


if __name__ == "__main__":
    harness.main()
