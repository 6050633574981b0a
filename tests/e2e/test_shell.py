#!/usr/bin/python3
"""Shell verbs and the follow-up forms of the file commands, run by the real
hostcmd.exe under Wine.

The prefix's own file type ".hcx" has "open" and "print" verbs that start
recorder.exe, which logs its command line and current directory; boxes are
seen (and answered) by answerer.exe."""

import harness

RECORDER = harness.TOOLS_DIR_WIN + "\\recorder.exe"


def verb_record(verb, path):
    return '"%s" %s "%s"' % (RECORDER, verb, path)


class ShellTest(harness.TestCase):
    def records(self, expected_count):
        """What the recorder logged; waits for that many records, and a
        moment longer when none is expected (a started program is not
        waited for)."""
        if expected_count == 0:
            return self.wine.recorded(wait_for=1, timeout=1.0)
        return self.wine.recorded(wait_for=expected_count)

    def run_recorded(self, d, cmdline, expected_count=1, **kw):
        self.wine.clear_recorder()
        r = self.run_in(d, cmdline, **kw)
        self.assertEqual(r.exit_code, 0)
        rec = self.records(expected_count)
        return r, rec


class VerbTest(ShellTest):
    def test_verbs_start_the_program_of_the_file_type(self):
        d = self.dir()
        d.write("doc.hcx", b"")
        d.write("a&b.hcx", b"")
        d.write("my doc.hcx", b"")
        cases = [
            (b"open&doc.hcx", verb_record("open", d.winpath("doc.hcx"))),
            (b"open&" + d.winpath("doc.hcx").encode(), verb_record("open", d.winpath("doc.hcx"))),
            (b"print&doc.hcx", verb_record("print", d.winpath("doc.hcx"))),
            (b"open&a&b.hcx", verb_record("open", d.winpath("a&b.hcx"))),  # "&" stays in the name
            (b"print&my|doc.hcx", verb_record("print", d.winpath("my doc.hcx"))),
            (b"\"open&doc.hcx\"", verb_record("open", d.winpath("doc.hcx"))),
        ]
        for cmdline, expected in cases:
            with self.subTest(cmdline=cmdline):
                r, rec = self.run_recorded(d, cmdline)
                self.assertEqual([(x["cmdline"], x["cwd"]) for x in rec], [(expected, d.win)])
        self.assertEqual(set(d.snapshot()), {"doc.hcx", "a&b.hcx", "my doc.hcx"})

    def test_run_passes_the_parameters(self):
        d = self.dir()
        prog = RECORDER.encode()
        cases = [
            (b"run&" + prog + b"&a  b \"c d\"", '"%s" a  b "c d"' % RECORDER),
            (b"run&" + prog + b"&x&y", '"%s" x&y' % RECORDER),
            (b"run&" + prog + b"&None", '"%s" None' % RECORDER),
            (b"run&" + prog + b"&p|q", '"%s" p q' % RECORDER),
            # No parameters at all; Wine builds the same command line for an
            # empty parameter text, so both give the bare program.
            (b"run&" + prog + b"&none", '"%s"' % RECORDER),
            (b"run&" + prog + b"&", '"%s"' % RECORDER),
        ]
        for cmdline, expected in cases:
            with self.subTest(cmdline=cmdline):
                r, rec = self.run_recorded(d, cmdline)
                self.assertEqual([(x["cmdline"], x["cwd"]) for x in rec], [(expected, d.win)])

    def test_nothing_to_start_is_silent(self):
        d = self.dir()
        d.write("plain.unknownext", b"")
        for cmdline in (b"open&missing.hcx", b"print&missing.hcx", b"open&plain.unknownext",
                        b"run&" + RECORDER.encode(),  # no "&": empty program, the text as parameters
                        b"run&C:\\e2e\\missing.exe&none", b"explore&doc.hcx"):
            with self.subTest(cmdline=cmdline):
                r, rec = self.run_recorded(d, cmdline, expected_count=0, answers=[("nobox", 1000)])
                self.assertEqual(rec, [])
                self.assertEqual(set(d.snapshot()), {"plain.unknownext"})

    def test_explore_opens_the_folder_in_an_explorer_window(self):
        # Under Wine, "explore" (and "open") on a folder opens Wine's explorer
        # with the folder's leaf name as its caption; the answerer closes it.
        d = self.dir()
        d.mkdir("Folder One")
        for cmdline in (b"explore&Folder One", b"explore&" + d.winpath("Folder One").encode(),
                        b"explore&Folder|One", b"open&Folder One"):
            with self.subTest(cmdline=cmdline):
                r = self.run_in(d, cmdline, answers=[("window", "ExplorerWClass", "Folder One", "close")],
                                step_timeout=5)
                self.assertEqual(r.answer(1)["class"], "ExplorerWClass")

    def test_explore_on_a_missing_folder_opens_nothing(self):
        d = self.dir()
        r = self.run_in(d, b"explore&" + d.winpath("missing").encode(), answers=[("nobox", 1500)])
        self.assertNotIn("error", r.answer(1))
        self.assertFiles(d, {})


# The fourteen follow-up words: (M word, fields after the two follow-up fields,
# set-up of the test directory, the files afterwards on success).
PAIRS = [
    ("saveM", b"out.hcx&hello", {}, {"out.hcx": b"hello"}),
    ("savePM", b"out.hcx&a&&b%TAB%c", {}, {"out.hcx": b"a\r\r\nb\tc"}),
    ("deleteM", b"out.hcx", {"out.hcx": b"v"}, {}),
    ("copyM", b"src.hcx&out.hcx&", {"src.hcx": b"s"}, {"src.hcx": b"s", "out.hcx": b"s"}),
    ("moveM", b"src.hcx&out.hcx&", {"src.hcx": b"s"}, {"out.hcx": b"s"}),
    ("makeDirM", b"newdir", {}, {"newdir": harness.DIR}),
    ("deleteDirM", b"olddir", {"olddir": harness.DIR}, {}),
]

# The same, with file work that fails: (M word, fields, set-up).
FAILING = [
    ("saveM", b"nodir\\out.hcx&hello", {}),   # nothing written: nothing may say "saved"
    ("savePM", b"nodir\\out.hcx&a&&b", {}),
    ("deleteM", b"missing.hcx", {}),
    ("copyM", b"missing.hcx&out.hcx&", {}),
    ("copyM", b"src.hcx&out.hcx&TRUE", {"src.hcx": b"s", "out.hcx": b"old"}),
    ("moveM", b"missing.hcx&out.hcx&", {}),
    ("makeDirM", b"olddir", {"olddir": harness.DIR}),
    ("makeDirM", b"a\\b", {}),
    ("deleteDirM", b"full", {"full": harness.DIR, "full/x.txt": b""}),
]


def set_up(d, files):
    for name, data in sorted(files.items()):
        if data is harness.DIR:
            d.mkdir(name)
        else:
            d.write(name, data)


class FollowUpTest(ShellTest):
    def test_message_forms_show_the_box_after_good_file_work(self):
        for word, fields, before, after in PAIRS:
            with self.subTest(word=word):
                d = self.dir()
                set_up(d, before)
                # "%TAB%" becomes a tab in the message; the caption keeps it.
                r = self.run_in(d, word.encode() + b"&Done %TAB%" + word.encode() + b"&File%TAB%handled&" + fields,
                                answers=[("box", "Done %TAB%" + word, 1)])
                box = r.answer(1)
                self.assertEqual(box["caption"], "Done %TAB%" + word)
                self.assertEqual(box["text"], "File\thandled")
                self.assertEqual([b["id"] for b in box["buttons"]], [1])
                self.assertFiles(d, after)

    def test_message_forms_show_no_box_when_the_file_work_failed(self):
        for word, fields, before in FAILING:
            with self.subTest(word=word, fields=fields):
                d = self.dir()
                set_up(d, before)
                snapshot = d.snapshot()
                r = self.run_in(d, word.encode() + b"&Done&Text&" + fields, answers=[("nobox", 1500)])
                self.assertNotIn("error", r.answer(1))
                self.assertEqual(d.snapshot(), snapshot)

    def test_move_whose_source_cannot_go_shows_no_box(self):
        # The copy is made, the source is held open by a running batch file
        # (a file being read cannot be deleted): no follow-up.
        d = self.dir()
        d.write("src.txt", b"moveM&Moved&Text&src.txt&out.txt&\r\n")
        r = self.run_in(d, b"batch&src.txt", answers=[("nobox", 1500)])
        self.assertNotIn("error", r.answer(1))
        self.assertEqual(d.read("out.txt"), d.read("src.txt"))

    def test_shell_forms_start_the_first_field_after_good_file_work(self):
        for word, fields, before, after in PAIRS:
            for params, expected in (("none", '"%s"' % RECORDER), ("-a b", '"%s" -a b' % RECORDER)):
                with self.subTest(word=word + "E", params=params):
                    d = self.dir()
                    set_up(d, before)
                    r, rec = self.run_recorded(
                        d, word.encode() + b"E&" + RECORDER.encode() + b"&" + params.encode() + b"&" + fields)
                    self.assertEqual([(x["cmdline"], x["cwd"]) for x in rec], [(expected, d.win)])
                    self.assertFiles(d, after)

    def test_shell_form_opens_the_file_just_written(self):
        d = self.dir()
        r, rec = self.run_recorded(d, b"saveME&out.hcx&none&out.hcx&fresh")
        self.assertEqual([x["cmdline"] for x in rec], [verb_record("open", d.winpath("out.hcx"))])
        self.assertEqual(d.read("out.hcx"), b"fresh")

    def test_shell_forms_start_nothing_when_the_file_work_failed(self):
        for word, fields, before in FAILING:
            with self.subTest(word=word + "E", fields=fields):
                d = self.dir()
                set_up(d, before)
                snapshot = d.snapshot()
                r, rec = self.run_recorded(d, word.encode() + b"E&" + RECORDER.encode() + b"&none&" + fields,
                                           expected_count=0)
                self.assertEqual(rec, [])
                self.assertEqual(d.snapshot(), snapshot)


if __name__ == "__main__":
    harness.main()
