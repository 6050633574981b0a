#!/usr/bin/python3
"""The opt-in trace of the real hostcmd.exe under Wine: with HOSTCMD_TRACE
naming a file, every command line run and every failed Windows call (with
its error code) is appended to it; without the variable no file appears."""

import os

import harness

TRACE_WIN = "C:\\trace-out\\trace.txt"


class TraceTest(harness.TestCase):
    def setUp(self):
        os.makedirs(self.wine.unix("C:\\trace-out"), exist_ok=True)
        self.trace_unix = self.wine.unix(TRACE_WIN)
        if os.path.exists(self.trace_unix):
            os.remove(self.trace_unix)

    def traced(self, d, cmdline, **kw):
        self.run_in(d, cmdline, env={"HOSTCMD_TRACE": TRACE_WIN}, **kw)
        with open(self.trace_unix, "rb") as f:
            return f.read().decode("latin-1").split("\r\n")[:-1]

    # (command line, files in the run directory before, trace lines expected)
    CASES = [
        ("copy of a missing source: ERROR_FILE_NOT_FOUND",
         b"copy&missing.txt&copy.txt&FALSE", {},
         ['[1] copy source "missing.txt", destination "copy.txt", TRUE to keep an existing destination "FALSE"',
          '    CopyFileA("missing.txt", "~hc0000.tmp", TRUE) failed: error 2']),
        ("copy onto a kept destination: ERROR_FILE_EXISTS",
         b"copy&a.txt&b.txt&TRUE", {"a.txt": b"new", "b.txt": b"old"},
         ['[1] copy source "a.txt", destination "b.txt", TRUE to keep an existing destination "TRUE"',
          '    CopyFileA not called: the destination exists and TRUE keeps it: error 80']),
        ("copy into a missing folder: ERROR_PATH_NOT_FOUND",
         b"copy&a.txt&nofolder\\b.txt&FALSE", {"a.txt": b"x"},
         ['[1] copy source "a.txt", destination "nofolder\\b.txt", TRUE to keep an existing destination "FALSE"',
          '    CopyFileA("a.txt", "nofolder\\~hc0000.tmp", TRUE) failed: error 3']),
        ("a good copy traces only its command line",
         b"copy&a.txt&b.txt&FALSE", {"a.txt": b"x"},
         ['[1] copy source "a.txt", destination "b.txt", TRUE to keep an existing destination "FALSE"']),
    ]

    def test_failed_copies_show_the_call_and_its_error_code(self):
        for title, cmdline, files, expected in self.CASES:
            with self.subTest(title):
                d = self.dir()
                for name, data in files.items():
                    d.write(name, data)
                self.assertEqual(self.traced(d, cmdline), expected)
                os.remove(self.trace_unix)

    def test_nested_runs_show_their_depth_and_the_trace_is_appended(self):
        d = self.dir()
        d.write("steps.txt", b"copy&missing.txt&x.txt&FALSE\r\nsave&out.txt&done\r\n")
        lines = self.traced(d, b"batch&steps.txt")
        self.assertEqual(lines, [
            '[1] batch batch file "steps.txt"',
            '[2] copy source "missing.txt", destination "x.txt", TRUE to keep an existing destination "FALSE"',
            '    CopyFileA("missing.txt", "~hc0000.tmp", TRUE) failed: error 2',
            '[2] save file name "out.txt", text "done"',
        ])
        # A second start appends to the same file.
        lines = self.traced(d, b"Save&x")
        self.assertEqual(len(lines), 5)
        self.assertEqual(lines[-1], '[1] "Save" is no command: nothing happens')
        self.assertFiles(d, {"steps.txt": b"copy&missing.txt&x.txt&FALSE\r\nsave&out.txt&done\r\n",
                             "out.txt": b"done"})

    def test_a_text_cannot_forge_trace_lines(self):
        # A text beginning with byte 0x01 is quoted like any other: its CR
        # and LF are named, never written.
        d = self.dir()
        lines = self.traced(d, b"delete&\x01x\r\n[1] forged")
        self.assertEqual(len(lines), 2, lines)
        self.assertEqual(lines[0], '[1] delete file "<0x01>x<CR><LF>[1] forged"')
        self.assertRegex(lines[1], r'^    DeleteFileA\("<0x01>x<CR><LF>\[1\] forged"\) failed: error \d+$')

    def test_the_trace_file_is_never_run(self):
        # Named as the batch, check or installer file, the trace file is a
        # file that cannot be opened: nothing of it runs and it stops growing.
        for command in ("batch", "installCheck", "install"):
            with self.subTest(command=command):
                d = self.dir()
                with open(self.trace_unix, "wb") as f:
                    f.write(b"save&ran.txt&x\r\n")
                r = self.run_in(d, b"%s&%s" % (command.encode(), TRACE_WIN.lower().encode()),
                                env={"HOSTCMD_TRACE": TRACE_WIN}, timeout=20.0)
                self.assertFalse(r.timed_out, r.describe())
                with open(self.trace_unix, "rb") as f:
                    lines = f.read().split(b"\r\n")[:-1]
                self.assertEqual(len(lines), 2, lines)
                self.assertFiles(d, {})
                os.remove(self.trace_unix)

    def test_without_the_variable_no_trace_is_written(self):
        d = self.dir()
        self.run_in(d, b"copy&missing.txt&copy.txt&FALSE")
        self.assertFalse(os.path.exists(self.trace_unix))
        self.assertFiles(d, {})


if __name__ == "__main__":
    harness.main()
