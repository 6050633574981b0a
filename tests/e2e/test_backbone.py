#!/usr/bin/python3
"""hostcmd.exe under Wine: the start-up line rules, the command runner, the
plain file commands, and the "message" and "confirm" boxes; and names the
ANSI code page cannot spell, through hostcmd-utf8.exe and hostcmd.exe.

Most cases are rows of a table: files present before the run, the raw
command line (the tail after the program part unless marked raw), and every
entry the run's directory must hold afterwards (path -> bytes, or DIR).  A
run whose command does nothing must leave the directory exactly as it was."""

import os
import shutil

import harness
from harness import DIR

RAW = "raw"  # marks a row whose command line is given whole


class TableTest(harness.TestCase):
    def run_table(self, rows):
        """rows: (before, command line, after) or (before, command line,
        after, RAW)."""
        for row in rows:
            before, line, after = row[:3]
            raw = len(row) > 3 and row[3] == RAW
            with self.subTest(cmdline=line):
                d = self.dir()
                for name, data in before.items():
                    if data is DIR:
                        d.mkdir(name)
                    else:
                        d.write(name, data)
                r = self.run_in(d, line, raw=raw)
                self.assertEqual(r.exit_code, 0)
                self.assertFiles(d, after)


class StartupLineTest(TableTest):
    """How the program part and the leading quote shape the command line."""

    def test_worked_examples(self):
        self.run_table([
            ({}, b'save&a.txt&Hello world', {"a.txt": b"Hello world"}),
            ({}, b'"save&a.txt&Hello world"', {"a.txt": b"Hello world"}),
            ({}, b'"savePretty&My Files.txt&read me"', {"My Files.txt": b"read me"}),
            ({}, b'"C:\\x\\y.dat" "save&a.txt&Hi"', {"a.txt": b"Hi"}),
            ({"b.txt": b"save&from batch.txt&line 1\r\n"},
             b'"C:\\x\\y.dat" "batch&b.txt"',
             {"b.txt": b"save&from batch.txt&line 1\r\n", "from batch.txt": b"line 1"}),
            ({}, b'out.txt&some text', {"out.txt": b"some text"}),
            # Empty command words run the install check; with no kw.ini
            # there is nothing to run and nothing may appear.
            ({}, b'&abc', {}),
            ({}, b'hello', {}),
            ({}, b'', {}),
        ])

    def test_leading_quote(self):
        self.run_table([
            # The last character goes whatever it is.
            ({}, b'"save&a.txt&Hi', {"a.txt": b"H"}),
            ({}, b'"save&a.txt&Hello world', {"a.txt": b"Hello worl"}),
            # Here the last quote is the only one left, and all goes up to it.
            ({}, b'"save&a.txt&Hi"x', {}),
            # Quotes inside swallow the text up to them, twice.
            ({}, b'""save&a.txt&Hi"', {"a.txt": b"Hi"}),
            ({}, b'"save&a.txt&say "hi""', {}),
            ({}, b'"x" y "save&a.txt&Hi"', {"a.txt": b"Hi"}),
            ({}, b'"', {}),
            ({}, b'""', {}),
            # Without a leading quote every quote stays.
            ({}, b'save&a.txt&"C:\\a b.txt"', {"a.txt": b'"C:\\a b.txt"'}),
            ({}, b'save&a.txt&say "hi"', {"a.txt": b'say "hi"'}),
            # Blanks before the leading quote belong to the program part.
            ({}, b'  "save&a.txt&Hi"', {"a.txt": b"Hi"}),
        ])

    def test_program_part(self):
        # The tail is what follows the program path, one closing quote and
        # the blanks after it.
        self.run_table([
            ({}, b'C:\\e2e\\hostcmd.exe save&a.txt&Hi', {"a.txt": b"Hi"}, RAW),
            ({}, b'  \t"C:\\e2e\\hostcmd.exe" \t  save&a.txt&Hi', {"a.txt": b"Hi"}, RAW),
            ({}, b'C:\\e2e\\hostcmd.exe\tsave&a.txt&Hi', {"a.txt": b"Hi"}, RAW),
            ({}, b'"C:\\e2e\\hostcmd.exe\tsave&a.txt&Hi', {"a.txt": b"Hi"}, RAW),
            ({}, b'"C:\\e2e\\hostcmd.exe"out.txt&Hi', {"out.txt": b"Hi"}, RAW),
            ({}, b'"C:\\e2e\\hostcmd.exe""save&a.txt&Hi"', {"a.txt": b"Hi"}, RAW),
            ({}, b'"C:\\e2e\\hostcmd.exe" "save&a.txt&Hi"', {"a.txt": b"Hi"}, RAW),
            ({}, b'C:\\e2e\\hostcmd.exe "save&a.txt&Hi"', {"a.txt": b"Hi"}, RAW),
            # Blanks after the tail's start are the command's own.
            ({}, b'"C:\\e2e\\hostcmd.exe" save&a.txt&Hi  ', {"a.txt": b"Hi  "}, RAW),
            # An unquoted path runs to the first blank: here it eats it all.
            ({}, b'C:\\e2e\\hostcmd.exe"save&a.txt&Hi"', {}, RAW),
            ({}, b'"C:\\e2e\\hostcmd.exe"', {}, RAW),
        ])

    def test_first_ampersand_splits_and_bars_become_blanks(self):
        self.run_table([
            ({}, b'save&a.txt&a&b&c', {"a.txt": b"a&b&c"}),
            ({}, b'save&a.txt&Hello|world', {"a.txt": b"Hello world"}),
            ({}, b'save&my|file.txt&c|d||e', {"my file.txt": b"c d  e"}),
            ({}, b'"save&a.txt&x|y"', {"a.txt": b"x y"}),
            # A bar in the command word stays, so the word is no command.
            ({}, b'sa|ve&a.txt&x', {}),
            ({}, b'a|b&c|d', {}),
        ])


class SaveTest(TableTest):
    def test_save_bytes(self):
        self.run_table([
            ({}, b'save&a.txt&one\ntwo', {"a.txt": b"one\r\ntwo"}),
            ({}, b'save&a.txt&one\r\ntwo', {"a.txt": b"one\r\r\ntwo"}),
            ({}, b'save&a.txt&one\rtwo\n', {"a.txt": b"one\rtwo\r\n"}),
            ({}, b'save&a.txt&tab\there \x01\x7f\xe9\xff', {"a.txt": b"tab\there \x01\x7f\xe9\xff"}),
            ({}, b'save&a.txt&one&&two%TAB%x', {"a.txt": b"one&&two%TAB%x"}),
            # Written over a longer file: only the new text stays.
            ({"a.txt": b"a much longer old content\r\n"}, b'save&a.txt&new', {"a.txt": b"new"}),
            ({"a.txt": b"old"}, b'save&a.txt&', {"a.txt": b""}),
            ({}, b'save&a.txt&', {"a.txt": b""}),
            # No "&": the file name is empty, nothing is written.
            ({}, b'save&a.txt', {}),
            ({}, b'save&nodir\\a.txt&x', {}),
            ({"sub": DIR}, b'save&sub\\a.txt&x', {"sub": DIR, "sub/a.txt": b"x"}),
            ({"sub": DIR}, b'save&sub&x', {"sub": DIR}),
        ])

    def test_save_pretty_bytes(self):
        self.run_table([
            ({}, b'savePretty&p.txt&one&&two%TAB%three', {"p.txt": b"one\r\r\ntwo\tthree"}),
            ({}, b'saveP&p.txt&one&&two%TAB%three', {"p.txt": b"one\r\r\ntwo\tthree"}),
            ({}, b'savePretty&p.txt&a&&&b', {"p.txt": b"a\r\r\n&b"}),
            ({}, b'savePretty&p.txt&&&&&', {"p.txt": b"\r\r\n\r\r\n"}),
            ({}, b'savePretty&p.txt&&&&&&', {"p.txt": b"\r\r\n\r\r\n&"}),
            ({}, b'savePretty&p.txt&%TAB%%TAB%', {"p.txt": b"\t\t"}),
            ({}, b'savePretty&p.txt&%TAB&&%', {"p.txt": b"%TAB\r\r\n%"}),
            ({}, b'savePretty&p.txt&%tab% %Tab% %TAB', {"p.txt": b"%tab% %Tab% %TAB"}),
            ({}, b'savePretty&p.txt&x\ny', {"p.txt": b"x\r\ny"}),
            ({}, b'savePretty&p.txt&a|b&&c', {"p.txt": b"a b\r\r\nc"}),
            ({"p.txt": b"older and longer"}, b'saveP&p.txt&&&', {"p.txt": b"\r\r\n"}),
            ({}, b'savePretty&p.txt', {}),
        ])

    def test_word_with_a_dot_is_a_file_name(self):
        self.run_table([
            ({}, b'out.txt&Hello', {"out.txt": b"Hello"}),
            ({}, b'readme.txt&x', {"readme.txt": b"x"}),
            ({}, b'out.txt&a&b|c&&d', {"out.txt": b"a&b c&&d"}),
            ({}, b'out.txt&', {"out.txt": b""}),
            ({}, b'out.txt&one\ntwo', {"out.txt": b"one\r\ntwo"}),
            ({"sub": DIR}, b'sub\\out.txt&x', {"sub": DIR, "sub/out.txt": b"x"}),
            ({"out.txt": b"long old text"}, b'out.txt&new', {"out.txt": b"new"}),
            # Words without a dot, and words that only look like commands.
            ({}, b'readme&x', {}),
            ({}, b'Save&x.txt&y', {}),
            ({}, b'SAVE&x.txt&y', {}),
            ({}, b'savepretty&x.txt&y', {}),
            ({}, b'cursor&x.txt&y', {}),
        ])


class FileCommandTest(TableTest):
    SRC = b"source bytes\r\n\x00\xff"
    OLD = b"old destination"

    def test_copy(self):
        S, O = self.SRC, self.OLD
        self.run_table([
            ({"s.txt": S}, b'copy&s.txt&d.txt&', {"s.txt": S, "d.txt": S}),
            ({"s.txt": S}, b'copy&s.txt&d.txt&TRUE', {"s.txt": S, "d.txt": S}),
            ({"s.txt": S, "d.txt": O}, b'copy&s.txt&d.txt&TRUE', {"s.txt": S, "d.txt": O}),
            ({"s.txt": S, "d.txt": O}, b'copy&s.txt&d.txt&', {"s.txt": S, "d.txt": S}),
            ({"s.txt": S, "d.txt": O}, b'copy&s.txt&d.txt&FALSE', {"s.txt": S, "d.txt": S}),
            ({"s.txt": S, "d.txt": O}, b'copy&s.txt&d.txt&true', {"s.txt": S, "d.txt": S}),
            ({"s.txt": S, "d.txt": O}, b'copy&s.txt&d.txt&TRUE ', {"s.txt": S, "d.txt": S}),
            ({"s.txt": S, "d.txt": O}, b'copy&s.txt&d.txt&TRUE&', {"s.txt": S, "d.txt": S}),
            # Two fields: the destination is empty, nothing is copied.
            ({"s.txt": S}, b'copy&s.txt&d.txt', {"s.txt": S}),
            ({}, b'copy&missing.txt&d.txt&', {}),
            ({"my s.txt": S}, b'copy&my|s.txt&my|d.txt&', {"my s.txt": S, "my d.txt": S}),
            ({"s.txt": S, "sub": DIR}, b'copy&s.txt&sub\\s.txt&TRUE',
             {"s.txt": S, "sub": DIR, "sub/s.txt": S}),
        ])

    def test_move(self):
        S, O = self.SRC, self.OLD
        self.run_table([
            ({"s.txt": S}, b'move&s.txt&d.txt&', {"d.txt": S}),
            ({"s.txt": S}, b'move&s.txt&d.txt&TRUE', {"d.txt": S}),
            # Onto an existing destination with TRUE: both stay as they were.
            ({"s.txt": S, "d.txt": O}, b'move&s.txt&d.txt&TRUE', {"s.txt": S, "d.txt": O}),
            ({"s.txt": S, "d.txt": O}, b'move&s.txt&d.txt&no', {"d.txt": S}),
            ({"s.txt": S}, b'move&s.txt&d.txt', {"s.txt": S}),
            ({"d.txt": O}, b'move&missing.txt&d.txt&', {"d.txt": O}),
            ({"s.txt": S}, b'move&s.txt&nodir\\d.txt&', {"s.txt": S}),
        ])

    def test_make_and_delete_dir(self):
        self.run_table([
            ({}, b'makeDir&new', {"new": DIR}),
            ({}, b'makeDir&my|new', {"my new": DIR}),
            ({}, b'makeDir&a&b', {"a&b": DIR}),
            ({}, b'makeDir&missing\\new', {}),
            ({"old": DIR, "old/f.txt": b"x"}, b'makeDir&old', {"old": DIR, "old/f.txt": b"x"}),
            ({"e": DIR}, b'deleteDir&e', {}),
            ({"a&b": DIR}, b'deleteDir&a&b', {}),
            ({"full": DIR, "full/f.txt": b"x"}, b'deleteDir&full',
             {"full": DIR, "full/f.txt": b"x"}),
            ({"f.txt": b"x"}, b'deleteDir&f.txt', {"f.txt": b"x"}),
            ({}, b'deleteDir&missing', {}),
        ])

    def test_delete(self):
        self.run_table([
            ({"a.txt": b"x", "b.txt": b"y"}, b'delete&a.txt', {"b.txt": b"y"}),
            # The whole argument text is the name, "&" included.
            ({"a&b.txt": b"1", "a": b"2", "b.txt": b"3"}, b'delete&a&b.txt',
             {"a": b"2", "b.txt": b"3"}),
            ({"my file.txt": b"1"}, b'delete&my|file.txt', {}),
            ({"d": DIR}, b'delete&d', {"d": DIR}),
            ({"a.txt": b"x"}, b'delete&missing.txt', {"a.txt": b"x"}),
        ])

    def test_absolute_paths(self):
        # The same commands with full paths, run from another directory.
        d = self.dir()
        elsewhere = self.dir()
        d.write("s.txt", self.SRC)
        base = d.win.encode()
        for line in (b'copy&%s\\s.txt&%s\\c.txt&' % (base, base),
                     b'move&%s\\c.txt&%s\\m.txt&TRUE' % (base, base),
                     b'makeDir&%s\\new' % base,
                     b'save&%s\\new\\n.txt&in new' % base):
            r = self.run_in(elsewhere, line)
            self.assertEqual(r.exit_code, 0)
        self.assertFiles(d, {"s.txt": self.SRC, "m.txt": self.SRC, "new": DIR,
                             "new/n.txt": b"in new"})
        self.assertFiles(elsewhere, {})


class BoxTest(harness.TestCase):
    def box(self, line, button, files=None, expect_files=None):
        """Runs a command that shows one box, answers it, returns the
        answerer's report of it after checking the directory."""
        d = self.dir()
        for name, data in (files or {}).items():
            d.write(name, data)
        r = self.run_in(d, line, answers=[("box", "*", button)])
        self.assertEqual(r.exit_code, 0)
        self.assertFiles(d, expect_files if expect_files is not None else (files or {}))
        return r.answer(1)

    def assertBox(self, a, caption, text, buttons):
        self.assertEqual((a["caption"], a["text"]), (caption, text))
        self.assertEqual(sorted(b["id"] for b in a["buttons"]), buttons)
        self.assertTrue(a["topmost"], "the box is not system-modal")

    def test_message(self):
        rows = [
            (b'message&Title&Hello&&World', "Title", "Hello\r\nWorld"),
            (b'message&Hello', "", "Hello"),
            (b'message&Title&&Text', "Title", "&Text"),
            (b'message&Title&a%TAB%b&&&c', "Title", "a\tb\r\n&c"),
            (b'message&My|Title&a|b', "My Title", "a b"),
            (b'message&Cap&&&', "Cap", "\r\n"),
            (b'message&Cap&', "Cap", ""),
            (b'"message&Cap&quoted"', "Cap", "quoted"),
        ]
        for line, caption, text in rows:
            with self.subTest(cmdline=line):
                self.assertBox(self.box(line, 1), caption, text, [1])

    def test_confirm_ok_runs_the_rest(self):
        rows = [
            (b'confirm&Install&Install now?&save&c.txt&done',
             "Install", "Install now?", {"c.txt": b"done"}),
            (b'confirm&Cap&Line one&&Line two&save&c.txt&x',
             "Cap", "Line one\r\nLine two", {"c.txt": b"x"}),
            # The escapes ran before the inner command saw its text.
            (b'confirm&C&Q&savePretty&p.txt&a&&b',
             "C", "Q", {"p.txt": b"a\r\r\nb"}),
            (b'confirm&C&Q&save&p.txt&a%TAB%b', "C", "Q", {"p.txt": b"a\tb"}),
            (b'confirm&C|1&Q|2&save&p.txt&a|b', "C 1", "Q 2", {"p.txt": b"a b"}),
            # The inner line goes through the whole runner again.
            (b'confirm&C&Q&"save&q.txt&xy"', "C", "Q", {"q.txt": b"xy"}),
            (b'confirm&C&Q&out.txt&by default', "C", "Q", {"out.txt": b"by default"}),
            # Two fields: empty question, the rest "Question" runs (nothing).
            (b'confirm&Title&Question', "Title", "", {}),
            (b'confirm&Title&Question&', "Title", "Question", {}),
        ]
        for line, caption, text, files in rows:
            with self.subTest(cmdline=line):
                self.assertBox(self.box(line, 1, expect_files=files), caption, text, [1, 2])

    def test_confirm_cancel_runs_nothing(self):
        rows = [
            b'confirm&Install&Install now?&save&c.txt&done',
            b'confirm&C&Q&delete&keep.txt',
        ]
        for line in rows:
            with self.subTest(cmdline=line):
                a = self.box(line, 2, files={"keep.txt": b"k"})
                self.assertEqual(sorted(b["id"] for b in a["buttons"]), [1, 2])

    def test_nested_confirm(self):
        line = b'confirm&A&first&confirm&B&second&save&n.txt&deep'
        for answers, files in (([1, 1], {"n.txt": b"deep"}), ([1, 2], {}), ([2], {})):
            with self.subTest(answers=answers):
                d = self.dir()
                r = self.run_in(d, line, answers=[("box", "*", a) for a in answers])
                self.assertEqual([(a["caption"], a["text"]) for a in r.answers],
                                 [("A", "first"), ("B", "second")][:len(answers)])
                self.assertFiles(d, files)

    def test_box_waits_for_the_answer(self):
        # Nothing is written before the box is closed: the inner command
        # runs after OK, so a box left open ends in a timeout with no file.
        d = self.dir()
        r = self.run_in(d, b'confirm&Wait&Q&save&c.txt&x', timeout=2.0, check=False)
        self.assertTrue(r.timed_out)
        self.assertFiles(d, {})


# Names the prefix's ANSI code page (1252) cannot spell: Polish and Greek
# letters (two UTF-8 bytes each), Chinese (three) and an emoji (four bytes,
# a surrogate pair in UTF-16).
UNICODE_NAMES = (("Polish", "Łódź żółw"), ("Greek", "Ελλάδα"), ("Chinese", "中文名"), ("emoji", "🎁 dar"))
MARK = b"\xef\xbb\xbf"


def as_code_page_1252(data):
    """What the ANSI build reads in bytes of a file: each byte one character
    of code page 1252 (Windows gives the five bytes 1252 leaves free the code
    points of their value)."""
    return "".join(chr(b) if b in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else bytes([b]).decode("cp1252") for b in data)


class UnicodeRuns(harness.TestCase):
    """Runs of both builds with UTF-16 command lines (CreateProcessW)."""

    def setUp(self):
        if not os.path.exists(self.wine.unix(harness.HOSTCMD_UTF8_WIN)):
            self.fail("hostcmd-utf8.exe is not built (%s)" % self.session.build_dir(self.wine.build))

    def run_utf8(self, program, d, line, **kw):
        r = self.run_in(d, line, program=program, utf8=True, **kw)
        self.assertEqual(r.exit_code, 0)
        return r

    def files(self, program, before, line):
        d = self.dir()
        for name, data in before.items():
            d.mkdir(name) if data is DIR else d.write(name, data)
        self.run_utf8(program, d, line)
        return d.snapshot()


class UnicodeNameTest(UnicodeRuns):
    """One table: each row runs with every name through hostcmd-utf8.exe,
    which must get the name exactly right, and through hostcmd.exe, whose
    code page (1252) cannot hold these names: handed over as UTF-16, such a
    command line runs nothing at all, and only a batch file's bytes reach it,
    read as code page 1252. What a row yields is read from outside the
    program. Each row: (what it checks, function(program, label, name) ->
    what came out, function(label, name) -> what must come out of
    hostcmd-utf8.exe, the same for hostcmd.exe)."""

    def registry(self, program, label, n):
        # reg stores the value; regToFile reads it back into a reply file;
        # reg export (UTF-16) shows from outside what the registry holds.
        key = "HKCU\\Software\\HostcmdUnicode\\" + label
        self.wine.reg_delete(key)
        d = self.dir()
        self.run_utf8(program, d, "reg&HKCU&Software\\HostcmdUnicode\\%s&%s&%s" % (label, n, n))
        self.run_utf8(program, d, "regToFile&HKCU&Software\\HostcmdUnicode\\%s&%s&reply.txt" % (label, n))
        rc, out, err = self.wine.wine(["reg", "export", key, d.winpath("export.reg"), "/y"], timeout=30)
        values = None
        if rc == 0:
            exported = d.read("export.reg").decode("utf-16")
            values = [line for line in exported.splitlines() if line.startswith('"')]
        self.wine.reg_delete(key)
        return values, d.read("reply.txt") if os.path.exists(d.path("reply.txt")) else None

    def shortcut(self, program, label, n):
        # The description is stored as UTF-16; the target's path in the link
        # information in the process code page (UTF-8 here, which lnkinfo
        # would show as code page 1252), so both are looked for in the file's
        # bytes. lnkinfo must read the shortcut and, for names without a
        # surrogate pair (its decoding of those is wrong), show the description.
        link = os.path.join(self.wine.user_dir(), "Desktop", n + ".lnk")
        if os.path.exists(link):
            os.remove(link)
        description, target = n + " opens", "C:\\%s\\%s.exe" % (n, n)
        self.run_utf8(program, self.dir(), "deskIcon&%s.lnk&C:\\%s\\&%s.exe&%s&none&0&none&none&none&none"
                      % (n, n, n, description))
        if not os.path.exists(link):
            return None
        info = harness.lnkinfo(link)
        with open(link, "rb") as f:
            data = f.read()
        os.remove(link)
        surrogates = any(ord(c) > 0xFFFF for c in n)
        return (description.encode("utf-16-le") in data, target.encode("utf-8") + b"\0" in data,
                "Local path" in info and (surrogates or info.get("Description") == description))

    def box(self, program, label, n):
        line = "message&%s&%s says&&hello" % (n, n)
        if program == harness.HOSTCMD_WIN:
            # Nothing runs: the run ends by itself, where a box would wait.
            self.run_utf8(program, self.dir(), line)
            return None
        a = self.run_utf8(program, self.dir(), line, answers=[("box", "*", 1)]).answer(1)
        return tuple(a[k].encode("latin-1").decode("utf-8", "replace") for k in ("caption", "text"))

    def rows(self):
        def batch(mark):
            line = lambda n: ("save&%s.txt&%s\r\n" % (n, n)).encode()
            return (lambda p, l, n: self.files(p, {"b.txt": mark + line(n)}, "batch&b.txt"),
                    lambda l, n: {"b.txt": mark + line(n), n + ".txt": n.encode()},
                    # The ANSI build reads the bytes as code page 1252; a mark
                    # sticks to the command word, which is then no command.
                    lambda l, n: {"b.txt": mark + line(n)} if mark else
                    {"b.txt": line(n), as_code_page_1252(n.encode()) + ".txt": n.encode()})
        return [
            ("save", lambda p, l, n: self.files(p, {}, "save&%s.txt&%s" % (n, n)),
             lambda l, n: {n + ".txt": n.encode()}, lambda l, n: {}),
            ("copy", lambda p, l, n: self.files(p, {n + ".txt": b"x"}, "copy&%s.txt&%s 2.txt&FALSE" % (n, n)),
             lambda l, n: {n + ".txt": b"x", n + " 2.txt": b"x"}, lambda l, n: {n + ".txt": b"x"}),
            ("move", lambda p, l, n: self.files(p, {n + ".txt": b"x"}, "move&%s.txt&%s 2.txt&FALSE" % (n, n)),
             lambda l, n: {n + " 2.txt": b"x"}, lambda l, n: {n + ".txt": b"x"}),
            ("makeDir", lambda p, l, n: self.files(p, {}, "makeDir&" + n), lambda l, n: {n: DIR}, lambda l, n: {}),
            ("delete", lambda p, l, n: self.files(p, {n + ".txt": b"x", "keep.txt": b"k"}, "delete&%s.txt" % n),
             lambda l, n: {"keep.txt": b"k"}, lambda l, n: {n + ".txt": b"x", "keep.txt": b"k"}),
            ("reg and regToFile", self.registry,
             lambda l, n: (['"%s"="%s"' % (n, n)], b"regToFile=" + n.encode()), lambda l, n: (None, None)),
            ("shortcut", self.shortcut, lambda l, n: (True, True, True), lambda l, n: None),
            ("message box", self.box, lambda l, n: (n, n + " says\r\nhello"), lambda l, n: None),
            # The batch file's own name is ASCII: both builds open it.
            ("batch without a mark",) + batch(b""),
            ("batch with a mark",) + batch(MARK),
        ]

    def test_names_beyond_the_ansi_code_page(self):
        for what, run, expected, expected_ansi in self.rows():
            for label, n in UNICODE_NAMES:
                with self.subTest(what=what, name=label, build="hostcmd-utf8.exe"):
                    self.assertEqual(run(harness.HOSTCMD_UTF8_WIN, label, n), expected(label, n))
                with self.subTest(what=what, name=label, build="hostcmd.exe"):
                    self.assertEqual(run(harness.HOSTCMD_WIN, label, n), expected_ansi(label, n))


class BestFitTest(UnicodeRuns):
    """Command lines a Unicode host writes (CreateProcessW) with characters
    code page 1252 lacks, whose best-fit forms name other files or are
    hostcmd's own syntax: hostcmd.exe runs none of them, hostcmd-utf8.exe
    runs each exactly as written. Each row: files before, the command line,
    the files after hostcmd.exe, the files after hostcmd-utf8.exe."""

    ROWS = [
        ("U+0141: Lukasz is another file", {"Łukasz.txt": b"x", "Lukasz.txt": b"y"}, "delete&Łukasz.txt",
         {"Łukasz.txt": b"x", "Lukasz.txt": b"y"}, {"Lukasz.txt": b"y"}),
        ("U+FF06 would split the fields", {}, "save&Tom＆Jerry.txt&hello", {}, {"Tom＆Jerry.txt": b"hello"}),
        ("U+FF3C would be a backslash", {"a": DIR}, "save&a＼b.txt&x", {"a": DIR}, {"a": DIR, "a＼b.txt": b"x"}),
        ("U+2216 would be a backslash", {"a": DIR}, "save&a∖b.txt&x", {"a": DIR}, {"a": DIR, "a∖b.txt": b"x"}),
        ("U+FF0F would be a slash", {"a": DIR}, "save&a／b.txt&x", {"a": DIR}, {"a": DIR, "a／b.txt": b"x"}),
        ("U+2215 would be a slash", {"a": DIR}, "save&a∕b.txt&x", {"a": DIR}, {"a": DIR, "a∕b.txt": b"x"}),
        ("U+FF0E would be a dot", {"keep.txt": b"k", "keep．txt": b"x"}, "delete&keep．txt",
         {"keep.txt": b"k", "keep．txt": b"x"}, {"keep.txt": b"k"}),
        ("U+FF02 would be the leading quote", {}, "＂save&q.txt&Hi＂", {}, {}),
        ("U+FF05 would make a path token", {}, "save&％TEMP％x.txt&y", {}, {"％TEMP％x.txt": b"y"}),
        ("U+FF5C would be a blank", {}, "save&a｜b.txt&x", {}, {"a｜b.txt": b"x"}),
        ("what code page 1252 holds", {}, "save&café.txt&é", {"café.txt": b"\xe9"}, {"café.txt": b"\xc3\xa9"}),
        ("the leading quote drops a whole last character", {}, '"save&q.txt&café', {"q.txt": b"caf"},
         {"q.txt": b"caf"}),
    ]

    def test_best_fit_names_run_nothing(self):
        for label, before, line, ansi, utf8 in self.ROWS:
            for program, expected in ((harness.HOSTCMD_WIN, ansi), (harness.HOSTCMD_UTF8_WIN, utf8)):
                with self.subTest(label, build=program):
                    self.assertEqual(self.files(program, before, line), expected)

    def test_registry_text_read_back(self):
        # Written by the UTF-8 build; read back by both: RegQueryValueExA would give "Lukasz".
        key = "Software\\HostcmdBestFit"
        self.wine.reg_delete("HKCU\\" + key)
        self.run_utf8(harness.HOSTCMD_UTF8_WIN, self.dir(), "reg&HKCU&%s&name&Łukasz" % key)
        for program, reply in ((harness.HOSTCMD_WIN, b"regToFile=ERROR"),
                               (harness.HOSTCMD_UTF8_WIN, "regToFile=Łukasz".encode())):
            with self.subTest(build=program):
                d = self.dir()
                self.run_utf8(program, d, "regToFile&HKCU&%s&name&r.txt" % key)
                self.assertEqual(d.snapshot(), {"r.txt": reply})
        self.wine.reg_delete("HKCU\\" + key)

    def test_a_directory_by_its_short_name(self):
        # %TEMP% in a profile folder code page 1252 cannot spell: hostcmd.exe
        # takes its short name, which names the same folder. TMP is set where
        # Wine builds a new process's environment from (HKCU\Environment).
        user = os.path.basename(self.wine.user_dir())
        folder = os.path.join(self.wine.user_dir(), "Łukasz")
        os.makedirs(folder, exist_ok=True)
        kept = self.wine.reg_query("HKCU\\Environment", "TMP")
        try:
            self.run_utf8(harness.HOSTCMD_UTF8_WIN, self.dir(), "reg&HKCU&Environment&TMP&C:\\users\\%s\\Łukasz" % user)
            for program, name in ((harness.HOSTCMD_WIN, "ansi"), (harness.HOSTCMD_UTF8_WIN, "utf8")):
                self.run_utf8(program, self.dir(), "save&%%TEMP%%%s.txt&%s" % (name, name))
            self.assertEqual(harness.snapshot(folder), {"ansi.txt": b"ansi", "utf8.txt": b"utf8"})
        finally:
            if kept:
                self.wine.reg_add("HKCU\\Environment", "TMP", kept["TMP"][1], type=kept["TMP"][0])
            else:
                self.wine.reg_delete("HKCU\\Environment", "TMP")
            shutil.rmtree(folder)

    def test_trace_names_the_character(self):
        trace = "C:\\trace-out\\best-fit.txt"
        os.makedirs(self.wine.unix("C:\\trace-out"), exist_ok=True)
        if os.path.exists(self.wine.unix(trace)):
            os.remove(self.wine.unix(trace))
        self.run_utf8(harness.HOSTCMD_WIN, self.dir(), "delete&Łukasz.txt", env={"HOSTCMD_TRACE": trace})
        with open(self.wine.unix(trace), "rb") as f:
            self.assertEqual(f.read(), b"the command line holds U+0141, which has no exact form in code page 1252: "
                                       b"nothing runs\r\n")


def installer_file(welcome_caption=b"Welcome", commands=()):
    """An installer file with every dialog off, installing into the run's
    own directory (line 15 is filled in per run)."""
    lines = [b"Not UTF-8", b"HostcmdE2E", b"NotUtf8", b"1", b"NO", b"NO", b"NO", welcome_caption, b"Hi",
             b"Path", b"Into:", b"Pick", b"Restart", b"Now?", b"%BASE%", b"Inst\\", b"NO"] + [b""] * 20
    return b"\r\n".join(lines + list(commands)) + b"\r\n\r\n"


class NotUtf8Test(UnicodeRuns):
    """A line that is not well-formed UTF-8, one per kind of file: the UTF-8
    build does not use it (a batch ends there, a check file runs neither
    line, an installer changes nothing or ends its command list there); the
    ANSI build reads its bytes as code page 1252 (0xF0 is "ð"). Each row:
    the files, the command line, the files after hostcmd.exe, after
    hostcmd-utf8.exe (the files given before are left out of both). An
    installation that ran leaves its uninstaller beside what it installed."""

    BAD = b"\xf0.b"  # a lead byte followed by ASCII: Wine's decoder swallowed the ".b"
    UNINSTALLER = "Inst/hostcmd-uninstall.exe"
    ENTRY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hostcmd#HostcmdE2E#NotUtf8#1"

    def forget_installation(self):
        self.wine.reg_delete("HKLM\\Software\\HostcmdE2E\\NotUtf8")
        self.wine.reg_delete(self.ENTRY)

    def rows(self):
        check = b"\r\n".join([b"Check", b"HostcmdE2E", b"NotUtf8" + self.BAD, b"1", b"m.txt",
                               b"save&installed.txt&6", b"save&not-installed.txt&7"]) + b"\r\n"
        return [
            ("batch", {"b.txt": b"save&first.txt&1\r\ndelete&a" + self.BAD + b"\r\nsave&after.txt&3\r\n",
                       "a\ufffd": b"x", "a\ufffd.b": b"y"},
             "batch&b.txt", {"first.txt": b"1", "after.txt": b"3"}, {"first.txt": b"1"}),
            ("check file", {"check.ini": check}, "installCheck&check.ini", {"not-installed.txt": b"7"}, {}),
            ("installer, a setting line", {"setup.txt": installer_file(b"Welcome" + self.BAD, [b"save&one.txt&1"])},
             "install&setup.txt", {"Inst": DIR, self.UNINSTALLER: b"MZ", "one.txt": b"1"}, {}),
            ("installer, the command list",
             {"setup.txt": installer_file(commands=[b"save&one.txt&1", b"save&b" + self.BAD + b"&2", b"save&three.txt&3"])},
             "install&setup.txt",
             {"Inst": DIR, self.UNINSTALLER: b"MZ", "one.txt": b"1", "bð.b": b"2", "three.txt": b"3"},
             {"Inst": DIR, self.UNINSTALLER: b"MZ", "one.txt": b"1"}),
        ]

    def test_a_line_that_is_not_utf8_is_not_used(self):
        for kind, before, line, ansi, utf8 in self.rows():
            for program, expected in ((harness.HOSTCMD_WIN, ansi), (harness.HOSTCMD_UTF8_WIN, utf8)):
                with self.subTest(kind, build=program):
                    self.forget_installation()
                    d = self.dir()
                    for name, data in before.items():
                        d.write(name, data.replace(b"%BASE%", d.win.encode() + b"\\"))
                    self.run_utf8(program, d, line)
                    after = {name: data for name, data in d.snapshot().items() if name not in before}
                    if self.UNINSTALLER in after:  # a copy of the running program: its first bytes tell
                        after[self.UNINSTALLER] = after[self.UNINSTALLER][:2]
                    self.assertEqual(after, expected)
                    for name, data in before.items():
                        self.assertEqual(d.read(name), data.replace(b"%BASE%", d.win.encode() + b"\\"))
        self.forget_installation()


if __name__ == "__main__":
    harness.main()
