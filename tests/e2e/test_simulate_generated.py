#!/usr/bin/python3
r"""hostcmd-sim held to the real hostcmd.exe on generated command lines.

A small grammar makes each case: a few seeded files and folders on two drives
(G:, the current drive, and H:) and on the CD drive E:, a few registry keys
and values, and one command line that names them awkwardly: in another case
(also for letters of code page 1252 beyond ASCII), with trailing dots and
blanks, through "." and "..", with "/", drive-relative ("G:name", "H:name"),
root-relative, with doubled separators, as names of 250 to 262 characters,
as wildcards, or as device names; the commands are copy, move, delete,
save, makeDir, deleteDir, pathToCD, batch and the registry words.  Every
sixth case runs the UTF-8 build (hostcmd-utf8.exe; hostcmd-sim with
--code-page 65001) with names beyond code page 1252.  Each case runs through
hostcmd-sim and through hostcmd.exe under Wine from the same seeded files
and keys, and the changes must be equal: the files of G:, H: and the CD
drives with their bytes (reply files included) and the case's registry keys
and values, names as they were created.

The drives are folders of the test linked as Wine drives, and G:\ is the
current directory, so that the long names meet Windows' limits (MAX_PATH,
255 characters a name) at the same lengths on both sides.  All cases' keys
are imported with one `reg import` and read back with one `reg export`.

Where Windows and Wine 8 are known to answer differently, the case runs
through hostcmd-sim only (it must report, not crash) and is counted apart
(WINE_DIFFERS says which and why).

    HOSTCMD_SIM_SEED=N HOSTCMD_SIM_CASES=M tests/e2e/test_simulate_generated.py
runs other cases by hand (the fixed seed and count are ctest's)."""

import codecs
import os
import random
import shutil
import time

import harness
from harness import DIR
from test_simulate import changes_between, run_sim, SIM

SEED = int(os.environ.get("HOSTCMD_SIM_SEED", "22"))
CASES = int(os.environ.get("HOSTCMD_SIM_CASES", "300"))
GEN_KEY = "Software\\HcGen"

# Names seeded on G: (files, or None for a folder); each case takes some.
FILES = ["a.txt", "b.txt", "\u00e9t\u00e9.txt", "\u00ff.txt", "\u0160koda.txt", "\u0152uvre.txt", "readme",
         "long name file.html", "data.bin"]
FOLDERS = ["sub", "\u00c9dir", "empty"]
CD_FILES = ["disk1.id", "readme", "setup long name.html", "\u00c9T\u00c9.TXT"]
NEW_NAMES = ["new.txt", "NEW.TXT", "n\u00c9w.txt", "\u00e6\u00f8.txt", "new", "sub\\new.txt", "nosuch\\new.txt"]
# Every sixth case runs the UTF-8 build (hostcmd-utf8.exe, and hostcmd-sim
# with --code-page 65001) with names beyond code page 1252 too.
UTF8_FILES = ["\u0142\u00f3d\u017a.txt", "\u017b\u00d3\u0141W.TXT", "\u0395\u03bb\u03bb\u03ac\u03b4\u03b1.txt",
              "\u4e2d\u6587.txt", "\U0001f381.txt", "\u0436\u0443\u043a.txt"]
UTF8_NEW_NAMES = ["nowy \u0142.txt", "\u0416.txt", "\u540d.txt", "\u03a3\u03bf\u03c6\u03af\u03b1"]
MARK = b"\xef\xbb\xbf"

# Names Windows takes in its own way: devices, refused characters, the
# literal \\?\ form, a byte 1252 leaves undefined, a trailing separator.
ODD_NAMES = ["nul", "NUL.txt", "con", "aux.txt", "a*b.txt", "ab:c.txt", "a\"b.txt", "a<b.txt", "a>b", "\u0081.txt",
             "\\\\?\\G:\\lit.txt.", "\\\\?\\G:\\a.txt", "sub\\", "G:..\\up.txt", "\\\\srv\\share\\x.txt"]
ODD_FOLDERS = ["sub\\..", ".", "G:\\", "sub\\x\\", "a.txt", "\\\\?\\G:\\dot.", "sub\\in.txt"]


# Known differences between Windows and Wine 8 (these cases are not compared):
def dos_wildcards(case):
    """FindFirstFile's DOS wildcards: Windows turns "?" into one that also
    matches nothing before a "." or the end, ".*" and ".?" into ones that also
    match no extension, and a final "*." into one that matches only names
    without extension; Wine 8 matches "?" as one character and drops a final
    "." (later Wine follows Windows)."""
    if not case.pattern:
        return False
    mask = case.pattern.replace("/", "\\").split("\\")[-1]
    return ("?" in mask or ".*" in mask or ".?" in mask or any(c in mask for c in "<>\"")
            or (mask.rstrip(". ").endswith("*") and mask != mask.rstrip(". ")))


def directory_of_248(case):
    """CreateDirectory leaves room for an 8.3 name: Windows refuses a path of
    248 to 259 characters, Wine 8 makes it."""
    return case.word == "makeDir" and case.long_name is not None and 248 <= 3 + case.long_name <= 259


def serial_port(case):
    """AUX and COM1 to COM9 are serial ports: a Windows PC without one
    refuses them (ERROR_FILE_NOT_FOUND), Wine 8 opens a device of its host."""
    for field in case.line.split("&")[1:]:
        base = field.replace("/", "\\").split("\\")[-1].split(".")[0].split(":")[0].rstrip(" |").upper()
        if base == "AUX" or (len(base) == 4 and base.startswith("COM") and base[3] in "123456789\u00b9\u00b2\u00b3"):
            return True
    return False


def stream_name(case):
    """A ":" after a file's name names an NTFS stream of that file; Wine 8
    takes it as a character of the name (hostcmd-sim refuses the name)."""
    return any(":" in field.replace("/", "\\").split("\\")[-1][2 if field[1:2] == ":" else 0:]
               for field in case.line.split("&")[1:] if field[:4] != "\\\\?\\")


def replaced_in_another_spelling(case):
    """save, copy and move put the new file in place by a rename over the old
    one: Windows gives it the name as the command line writes it (another
    case), Wine 8 keeps the name of the file it replaced."""
    fields = case.line.split("&")
    # With TRUE a copy or move keeps an existing destination: nothing is replaced.
    if case.word not in ("save", "copy", "move") or len(fields) < 3 or fields[-1] == "TRUE":
        return False
    name = fields[1 if case.word == "save" else 2].replace("|", " ").replace("/", "\\")
    leaf = name[4:] if name.startswith("\\\\?\\") else name
    leaf = leaf.split("\\")[-1]
    leaf = (leaf[2:] if leaf[1:2] == ":" else leaf).rstrip(". ")
    seeded = [rel.split("/")[-1] for rel, data in list(case.g.items()) + list(case.h.items()) if data is not None]
    return any(fold(other) == fold(leaf) and other != leaf for other in seeded)


def key_after_backslash_in_32_bit_view(case):
    """A key path that begins with "\\": Windows refuses it (ERROR_BAD_PATHNAME,
    as hostcmd.exe gets under Wine 8 too), while Wine 8's 64-bit registry
    opens and creates such a key for the twin, which asks for the 32-bit view
    (KEY_WOW64_32KEY)."""
    fields = case.line.split("&")
    return case.build == "win64" and case.word.startswith("reg") and len(fields) > 2 and fields[2][:1] == "\\"


WINE_DIFFERS = [dos_wildcards, directory_of_248, serial_port, stream_name, replaced_in_another_spelling,
                key_after_backslash_in_32_bit_view]


def fold(text):
    """Names compared as Windows compares them (upper case, a letter at a time)."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in text)


class Case:
    def __init__(self, number):
        self.number = number
        self.g, self.h, self.cd = {}, {}, {}   # relative path ("/"): bytes or None (a folder)
        self.keys = {}                         # sub-key below the case's key: {value name: text}
        self.line = ""
        self.word = ""
        self.pattern = None
        self.long_name = None                  # length of a long name in the line
        self.utf8 = number % 6 == 0            # the UTF-8 build's case
        self.build = None                      # the build Wine runs it with ("win32" or "win64")

    @property
    def key(self):
        return GEN_KEY + "\\%d" % self.number


class Grammar:
    def __init__(self, rng):
        self.r = rng

    def pick(self, items):
        return items[self.r.randrange(len(items))]

    def recase(self, name):
        """The name in another case: all upper, all lower, or swapped."""
        how = self.r.randrange(3)
        return name.upper() if how == 0 else name.lower() if how == 1 else name.swapcase()

    def awkward(self, name, case, folder=""):
        """One spelling of a name (below a folder, or "") as a host might write it."""
        if self.r.random() < 0.3:
            name = self.recase(name)
        path = folder + "\\" + name if folder else name
        how = self.r.randrange(12)
        if how == 0:
            path = ".\\" + path
        elif how == 1:
            path = "sub\\..\\" + path
        elif how == 2:
            path = "nosuch\\..\\" + path
        elif how == 3:
            path = "\\" + path
        elif how == 4:
            path = "G:" + path
        elif how == 5:
            path = "G:\\" + path
        elif how == 6:
            path = path.replace("\\", "/") if "\\" in path else "./" + path
        elif how == 7 and folder:
            path = folder + ".\\" + name
        elif how == 8 and folder:
            path = folder + "\\\\" + name
        if self.r.random() < 0.3:
            path += self.pick([".", "..", " ", "|", ". ", " .", "||."])
        return path

    def long_name(self, case):
        length = self.r.randint(250, 262)
        case.long_name = length
        return "L" * (length - 4) + ".txt"

    def seed(self, case):
        for name in self.r.sample(FILES + (UTF8_FILES if case.utf8 else []), self.r.randint(2, 4 + 2 * case.utf8)):
            case.g[name] = ("%s %d" % (name, case.number)).encode("utf-8")
        case.g["run.txt"] = (MARK if self.r.random() < 0.5 else b"") + b"save&out.txt&b%d\r\n" % case.number
        case.g["sub"] = None
        case.g["sub/in.txt"] = b"in"
        for name in self.r.sample(FOLDERS[1:], self.r.randint(0, 2)):
            case.g[name] = None
        if self.r.random() < 0.3:
            case.g["L" * (self.r.randint(246, 251) - 4) + ".txt"] = b"long"
        if self.r.random() < 0.5:
            case.h["h.txt"] = b"on h"
        for name in self.r.sample(CD_FILES, 2):
            case.cd[name] = b"cd"
        case.keys = {"K": {"v": "1", "V\u00e9": "2"}, "K\u00c9y": {"w": "3"}, "Sub\\Deep": {}}
        if case.utf8:
            case.keys["\u0141k\u0416"] = {"\u017c": "4"}

    def existing(self, case):
        files = [n for n, b in case.g.items() if b is not None]
        beyond = [n for n in files if any(ord(c) > 0x7f for c in n)]
        name = self.pick(beyond if beyond and self.r.random() < 0.4 else files)
        folder, _, leaf = name.rpartition("/")
        return self.awkward(leaf, case, folder.replace("/", "\\"))

    def target(self, case):
        """A name for something to create: new, existing, long or on H:."""
        how = self.r.randrange(11)
        if how == 10:
            return self.pick(ODD_NAMES)
        if how < 3:
            return self.awkward(self.pick(NEW_NAMES + (UTF8_NEW_NAMES if case.utf8 else [])), case)
        if how < 5:
            return self.existing(case)
        if how < 7:
            return self.long_name(case) if how == 5 else "G:\\" + self.long_name(case)
        if how == 7:
            return "H:" + self.pick(["h.txt", "H.TXT", "new.txt", "h.txt."])
        return self.awkward(self.pick([n for n, b in case.g.items() if b is None] + ["nodir"]), case)

    def folder_name(self, case):
        how = self.r.randrange(7)
        if how == 0:
            return self.long_name(case)
        if how == 1:
            return self.pick(ODD_FOLDERS)
        folders = [n for n, b in case.g.items() if b is None] + ["newdir", "NewD\u00efr", "sub\\newdir", "nosuch\\d"]
        return self.awkward(self.pick(folders), case)

    def pattern(self, case):
        name = self.pick(list(case.cd) + CD_FILES)
        how = self.r.randrange(8)
        if how == 0:
            name = self.recase(name)
        elif how == 1:
            name = name + self.pick([".", " ", "..", "||"])
        elif how == 2:
            name = self.pick([".\\", "sub\\..\\", "\\", "nosuch\\..\\"]) + name
        elif how in (3, 4):
            at = self.r.randrange(len(name))
            name = name[:at] + self.pick(["*", "?"]) + name[at + 1:]
        elif how == 5:
            name = self.pick(["*", "*.id", "*.ID", "*.txt", "*.htm", "*.", "d*", "*e*", "*.*", "s*.html", "\u00e9*"])
        case.pattern = name
        return name

    def reg_key(self, case, existing=True):
        sub = self.pick(list(case.keys)) if existing else self.pick(["New", "N\u00e9w", "K\\x", "Sub\\Deep\\z"])
        if self.r.random() < 0.4:
            sub = self.recase(sub)
        how = self.r.randrange(9)
        if how == 0:
            sub += "\\"
        elif how == 1:
            sub = sub.replace("\\", "\\\\") if "\\" in sub else sub + "\\\\y"
        elif how == 2:
            sub += self.pick(["\\.", "\\..", ".", " ", "|"])
        elif how == 3:
            sub = sub.replace("\\", "/") if "\\" in sub else sub + "/y"
        path = case.key + "\\" + sub
        return "\\" + path if how == 4 else path

    def value_name(self, case):
        names = ["v", "V", "V\u00e9", "v\u00c9", "w", "new", "", "v ", "V.", "W\\x"] + (["\u017b", "\u0436"] if case.utf8 else [])
        return self.pick(names)

    def case(self, number):
        case = Case(number)
        self.seed(case)
        word = self.pick(["save"] * 3 + ["delete"] * 3 + ["copy"] * 3 + ["move"] * 3 + ["makeDir"] * 2 +
                         ["deleteDir"] * 2 + ["pathToCD"] * 2 + ["reg", "regToFile", "regCreateKey", "regDeleteKey",
                                                                   "regDeleteValue", "batch"])
        case.word = word
        if word == "save":
            fields = [self.target(case), "x%d" % number]
        elif word == "delete":
            fields = [self.existing(case) if self.r.random() < 0.7 else self.target(case)]
        elif word in ("copy", "move"):
            source = self.existing(case) if self.r.random() < 0.85 else self.target(case)
            fields = [source, self.target(case), self.pick(["TRUE", "FALSE"])]
        elif word == "makeDir":
            fields = [self.folder_name(case)]
        elif word == "deleteDir":
            fields = [self.folder_name(case)]
        elif word == "batch":
            fields = [self.awkward("run.txt", case) if self.r.random() < 0.8 else self.target(case)]
        elif word == "pathToCD":
            fields = [self.pattern(case), "r.txt"]
        elif word == "reg":
            fields = ["HKCU", self.reg_key(case, self.r.random() < 0.7), self.value_name(case), "t%d" % number]
        elif word == "regToFile":
            fields = ["HKCU", self.reg_key(case), self.value_name(case), "r.txt"]
        elif word == "regCreateKey":
            fields = ["HKCU", self.reg_key(case, self.r.random() < 0.5)]
        elif word == "regDeleteKey":
            parent = self.pick([case.key, case.key + "\\Sub", case.key + "\\sub"])
            fields = ["HKCU", parent, self.pick(["K", "k", "Deep", "DEEP", "K\u00c9y", "k\u00e9Y", "\\K", "K\\", "none"])]
        else:
            fields = ["HKCU", self.reg_key(case), self.value_name(case)]
        case.line = word + "&" + "&".join(fields)
        return case


def write_tree(root, files):
    os.makedirs(root, exist_ok=True)
    for rel, data in sorted(files.items(), key=lambda item: item[1] is not None):
        path = os.path.join(root, *rel.split("/"))
        if data is None:
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)


def reg_quote(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def reg_file(cases):
    """A version 5 .reg file (UTF-16) holding the cases' keys and values."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for case in cases:
        for sub, values in case.keys.items():
            lines.append("[HKEY_CURRENT_USER\\%s\\%s]" % (case.key, sub))
            lines += ["%s=%s" % (reg_quote(n), reg_quote(v)) for n, v in values.items()]
            lines.append("")
    return codecs.BOM_UTF16_LE + "\r\n".join(lines + [""]).encode("utf-16-le")


def read_export(data):
    """The keys and values of a `reg export` file: {key path: {value name: text}}."""
    text = data.decode("utf-16")
    keys, current = {}, None
    for line in text.replace("\r", "").split("\n"):
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif current is not None and line.startswith(("\"", "@")):
            if line.startswith("@"):
                name, rest = "", line[2:]
            else:
                at, name = 1, ""
                while line[at] != '"':
                    if line[at] == "\\":
                        at += 1
                    name += line[at]
                    at += 1
                rest = line[at + 2:]
            if rest.startswith('"'):
                current[name] = rest[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            else:
                current[name] = rest
    return keys


# The five bytes code page 1252 leaves undefined stand for U+0081, U+008D, ... as in Windows' table.
UNDEFINED_1252 = "\x81\x8d\x8f\x90\x9d"


def ansi(text):
    """A text's bytes in code page 1252, as hostcmd receives them."""
    return b"".join(bytes([ord(c)]) if c in UNDEFINED_1252 else c.encode("cp1252") for c in text)


def text_of(report_text, utf8=False):
    """A text of the sim's JSON (one character a byte) as the Unicode it
    stands for on 1252, or in UTF-8 for the UTF-8 build."""
    if utf8:
        return report_text.encode("latin-1").decode("utf-8", "replace")
    return "".join(c if c in UNDEFINED_1252 else c.encode("latin-1").decode("cp1252") for c in report_text)


class GeneratedTest(harness.TestCase):
    def test_generated_cases(self):
        if not os.path.exists(SIM):
            raise harness.HarnessError("%s is not built (cmake --build --preset native)" % SIM)
        w = self.wine
        grammar = Grammar(random.Random(SEED))
        cases = [grammar.case(n) for n in range(1, CASES + 1)]
        for case in cases:
            case.build = w.build
        root = os.path.join(w.work_dir, "generated")
        shutil.rmtree(root, ignore_errors=True)
        for case in cases:
            for drive, files in (("g", case.g), ("h", case.h), ("cd", case.cd)):
                write_tree(os.path.join(root, str(case.number), drive), files)
            with open(os.path.join(root, str(case.number), "seed.reg"), "wb") as f:
                f.write(reg_file([case]))
        links = {letter: os.path.join(w.path, "dosdevices", letter + ":") for letter in "gh"}
        # The prefix's other CD drives, empty, are watched too: nothing may land there.
        w.clear_cds()
        others = {letter.upper(): w.empty_cd_dir(letter) for letter in "af"}
        self.addCleanup(self.unlink_drives, links)
        w.reg_delete("HKCU\\" + GEN_KEY)
        self.addCleanup(w.reg_delete, "HKCU\\" + GEN_KEY)
        self.addCleanup(w.set_cd, "e", None)
        import_win = "C:\\e2e\\generated-seed.reg"
        with open(w.unix(import_win), "wb") as f:
            f.write(reg_file(cases))
        rc, out, err = w.wine(["reg", "import", import_win], timeout=60)
        self.assertEqual(rc, 0, "reg import: %r %r" % (out, err))

        started = time.monotonic()
        reports, skipped, failures = {}, {}, []
        changed = set()  # cases in which hostcmd.exe changed something (files here, keys below)
        for case in cases:
            base = os.path.join(root, str(case.number))
            options = ["--drive", "G=" + os.path.join(base, "g"), "--drive", "H=" + os.path.join(base, "h"),
                       "--cd", "E=" + os.path.join(base, "cd"), "--cwd", "G:\\",
                       "--registry", os.path.join(base, "seed.reg")]
            if case.utf8:
                options += ["--code-page", "65001"]
            code, report, err = run_sim(options, case.line.encode("utf-8") if case.utf8 else ansi(case.line))
            if code != 0:
                failures.append((case, "hostcmd-sim exit code %d: %s" % (code, err)))
                continue
            reasons = [rule.__name__ for rule in WINE_DIFFERS if rule(case)]
            if reasons:
                skipped.setdefault(reasons[0], []).append(case.number)
                continue
            reports[case.number] = report
            for letter in "gh":
                self.link_drive(links[letter], os.path.join(base, letter))
            w.set_cd("e", os.path.join(base, "cd"))
            places = {"G": os.path.join(base, "g"), "H": os.path.join(base, "h"), "E": os.path.join(base, "cd")}
            places.update(others)
            before = {letter: harness.snapshot(folder) for letter, folder in places.items()}
            r = w.run(case.line if case.utf8 else ansi(case.line), cwd=harness.TestDir(os.path.join(base, "g"), "G:\\"),
                      name="generated", utf8=case.utf8, program=harness.HOSTCMD_UTF8_WIN if case.utf8 else harness.HOSTCMD_WIN)
            if r.exit_code != 0:
                failures.append((case, "hostcmd.exe: %s" % r.describe()))
                continue
            wine_files = {}
            for letter, folder in places.items():
                for rel, change in changes_between(before[letter], harness.snapshot(folder)).items():
                    wine_files["%s:\\%s" % (letter, rel.replace("/", "\\"))] = change
            w.clear_cds()
            sim_files = {}
            for f in report["files"]:
                path = text_of(f["path"], case.utf8)
                if path[:3].upper() not in ("G:\\", "H:\\", "E:\\", "A:\\", "F:\\"):
                    continue
                sim_files[path] = ("<deleted>" if f["change"] == "deleted" else DIR if f["kind"] == "folder"
                                   else f["bytes"].encode("latin-1"))
            if wine_files:
                changed.add(case.number)
            if sim_files != wine_files:
                failures.append((case, "files: hostcmd-sim %r, Wine %r" % (sim_files, wine_files)))
        wine_seconds = time.monotonic() - started

        rc, out, err = w.wine(["reg", "export", "HKCU\\" + GEN_KEY, "C:\\e2e\\generated-out.reg", "/y"], timeout=60)
        self.assertEqual(rc, 0, "reg export: %r %r" % (out, err))
        with open(w.unix("C:\\e2e\\generated-out.reg"), "rb") as f:
            exported = read_export(f.read())
        for case in cases:
            if case.number not in reports:
                continue
            prefix = "HKEY_CURRENT_USER\\" + case.key
            wine_keys = {k[len(prefix):]: v for k, v in exported.items() if k == prefix or k.startswith(prefix + "\\")}
            sim_keys = self.sim_registry(case, reports[case.number], prefix)
            if wine_keys != self.sim_registry(case, {"registry": []}, prefix):
                changed.add(case.number)
            if {fold(k): {fold(n): (n, t) for n, t in v.items()} for k, v in sim_keys.items()} != \
                    {fold(k): {fold(n): (n, t) for n, t in v.items()} for k, v in wine_keys.items()} or \
                    sorted(sim_keys) != sorted(wine_keys):
                failures.append((case, "registry: hostcmd-sim %r, Wine %r" % (sim_keys, wine_keys)))

        compared = len(reports)
        print("\ngenerated cases (seed %d): %d, %d compared with Wine (%d of them changed files or keys) in %.1f s, "
              "not compared where Wine 8 differs from Windows: %s; differences: %d"
              % (SEED, len(cases), compared, len(changed), wine_seconds,
                 ", ".join("%s %d" % (k, len(v)) for k, v in sorted(skipped.items())) or "none", len(failures)))
        self.assertFalse(failures, "\n".join("case %d (HOSTCMD_SIM_SEED=%d) %r: %s" % (c.number, SEED, c.line, why)
                                             for c, why in failures))

    def sim_registry(self, case, report, prefix):
        """The case's keys after the simulated run: the seeded ones, then the report's changes."""
        keys = {"": {}}
        for sub, values in case.keys.items():
            parts = sub.split("\\")
            for i in range(1, len(parts) + 1):
                keys.setdefault("\\" + "\\".join(parts[:i]), {})
            keys["\\" + sub].update(values)
        short = "HKCU\\" + case.key
        for r in report["registry"]:
            key = text_of(r["key"], case.utf8)
            if not (fold(key) == fold(short) or fold(key).startswith(fold(short) + "\\")):
                continue
            sub = key[len(short):]
            found = [k for k in keys if fold(k) == fold(sub)]
            if r["change"] == "created key":
                keys.setdefault(sub, {})
            elif r["change"] == "deleted key":
                for k in found:
                    del keys[k]
            elif r["change"] == "deleted value" and not found:
                continue  # a value of a key deleted above
            elif r["change"] in ("set value", "deleted value"):
                values = keys[found[0]] if found else keys.setdefault(sub, {})
                name = text_of(r["name"], case.utf8)
                old = [n for n in values if fold(n) == fold(name)]
                for n in old:
                    del values[n]
                if r["change"] == "set value":
                    values[old[0] if old else name] = text_of(r["bytes"], case.utf8).rstrip("\0")
        return keys

    @staticmethod
    def link_drive(link, target):
        tmp = link + ".new"
        if os.path.lexists(tmp):
            os.remove(tmp)
        os.symlink(target, tmp)
        os.replace(tmp, link)

    @staticmethod
    def unlink_drives(links):
        for link in links.values():
            if os.path.lexists(link):
                os.remove(link)


if __name__ == "__main__":
    harness.main()
