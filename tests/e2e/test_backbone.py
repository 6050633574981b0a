#!/usr/bin/python3
"""hostcmd.exe under Wine: the start-up line rules, the command runner, the
plain file commands, and the "message" and "confirm" boxes.

Most cases are rows of a table: files present before the run, the raw
command line (the tail after the program part unless marked raw), and every
entry the run's directory must hold afterwards (path -> bytes, or DIR).  A
run whose command does nothing must leave the directory exactly as it was."""

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


if __name__ == "__main__":
    harness.main()
