#!/usr/bin/python3
"""Batch files run by the real hostcmd.exe under Wine: which lines ran is
read off the files the lines write."""

import harness


def save_line(name, length):
    """b"save&<name>&" padded with "x" to exactly `length` bytes."""
    line = b"save&" + name + b"&"
    return line + b"x" * (length - len(line))


LINE_259 = save_line(b"long.txt", 259)
LINE_300 = save_line(b"long.txt", 300)
TEXT_259 = LINE_259[len(b"save&long.txt&"):]

# (title, batch file bytes, files the batch leaves besides itself)
LINE_RULES = [
    ("CR LF with a final CR LF", b"save&a.txt&1\r\nsave&b.txt&2\r\nsave&c.txt&3\r\n",
     {"a.txt": b"1", "b.txt": b"2", "c.txt": b"3"}),
    ("LF alone", b"save&a.txt&1\nsave&b.txt&2\nsave&c.txt&3\n",
     {"a.txt": b"1", "b.txt": b"2", "c.txt": b"3"}),
    ("final line without a line end", b"save&a.txt&1\r\nsave&b.txt&2\r\nsave&c.txt&3",
     {"a.txt": b"1", "b.txt": b"2", "c.txt": b"3"}),
    ("blank second line", b"save&a.txt&1\r\n\r\nsave&c.txt&3\r\n", {"a.txt": b"1"}),
    ("CRs vanish wherever they stand", b"save&a.txt&x\ry\r\r\n\r\r\nsave&c.txt&3\r\n", {"a.txt": b"xy"}),
    ("Ctrl-Z in the middle", b"save&a.txt&1\r\nsave&b.txt&2\x1asave&c.txt&3\r\nsave&d.txt&4\r\n",
     {"a.txt": b"1", "b.txt": b"2"}),
    ("259 bytes run whole, the batch goes on", LINE_259 + b"\r\nsave&b.txt&2\r\n",
     {"long.txt": TEXT_259, "b.txt": b"2"}),
    ("259 bytes as the last line", b"save&a.txt&1\n" + LINE_259, {"a.txt": b"1", "long.txt": TEXT_259}),
    # A line that did not fit is not run, not even in part, and ends the batch.
    ("300 bytes do not run and end the batch", LINE_300 + b"\r\nsave&b.txt&2\r\n", {}),
    ("a line's text ends at a NUL byte", b"save&n.txt&abc\0def\r\nsave&b.txt&2\r\n", {"n.txt": b"abc", "b.txt": b"2"}),
    ("bars, quotes and the dot default", b"save&a|b.txt&c|d\r\n\"save&q.txt&Hi\"\r\nout.txt&x&y\r\n",
     {"a b.txt": b"c d", "q.txt": b"Hi", "out.txt": b"x&y"}),
    ("a failing line does not stop the batch", b"delete&missing.txt\r\ncopy&no.txt&x.txt&\r\nsave&b.txt&2\r\n",
     {"b.txt": b"2"}),
    ("cursor does nothing", b"cursor&\r\ncursor&x.txt\r\nsave&a.txt&1\r\n", {"a.txt": b"1"}),
]


class BatchTest(harness.TestCase):
    def run_batch(self, d, batch, name=b"run.txt", **kw):
        d.write(name.decode("latin-1"), batch)
        return self.run_in(d, b"batch&" + name, **kw)

    def test_line_rules(self):
        for title, batch, files in LINE_RULES:
            with self.subTest(title):
                d = self.dir()
                self.run_batch(d, batch, name=b"run.txt")
                self.assertFiles(d, dict(files, **{"run.txt": batch}))

    def test_missing_batch_file_does_nothing(self):
        d = self.dir()
        r = self.run_in(d, b"batch&missing.txt", answers=[("nobox", 500)])
        self.assertEqual(r.exit_code, 0)
        self.assertFiles(d, {})

    def test_absolute_name_and_nesting(self):
        d = self.dir()
        d.write("inner.txt", b"save&order.txt&inner\r\n")
        d.write("outer.txt", b"save&order.txt&outer\r\nbatch&" + d.winpath("inner.txt").encode() +
                b"\r\ncopy&order.txt&seen.txt&\r\n")
        self.run_in(d, b"batch&" + d.winpath("outer.txt").encode())
        self.assertEqual(d.read("seen.txt"), b"inner")

    def test_self_calling_batch_ends_quickly(self):
        # Two self-calls per file would mean 2^n runs without a limit; the
        # nesting limit stops every enclosing run at once.
        for calls in (1, 2):
            with self.subTest(calls=calls):
                d = self.dir()
                batch = b"save&hit.txt&x\r\n" + b"batch&self.txt\r\n" * calls + b"save&after.txt&x\r\n"
                r = self.run_batch(d, batch, name=b"self.txt", timeout=5)
                self.assertLess(r.seconds, 1.0)
                self.assertFiles(d, {"self.txt": batch, "hit.txt": b"x"})

    def test_nesting_limit_by_a_chain_of_files(self):
        # f1 runs f2 ... runs fN, and fN writes a file. The command line is
        # level 1, so fN's line runs at level N + 1: 31 files fit in 32 levels.
        for chain, reaches in ((31, True), (32, False)):
            with self.subTest(chain=chain):
                d = self.dir()
                for i in range(1, chain):
                    d.write("f%d.txt" % i, b"batch&f%d.txt\r\nsave&back%d.txt&x\r\n" % (i + 1, i))
                d.write("f%d.txt" % chain, b"save&deep.txt&x\r\n")
                self.run_in(d, b"batch&f1.txt")
                files = d.snapshot()
                self.assertEqual("deep.txt" in files, reaches)
                # Every level goes on after its inner batch when the limit was
                # not reached; none does when it was.
                backs = [n for n in files if n.startswith("back")]
                self.assertEqual(len(backs), chain - 1 if reaches else 0)

    def test_spaces_only_line_runs_the_install_check(self):
        # "   " has no "&", so it runs the install check on kw.ini, whose
        # line 7 runs when nothing is installed.
        d = self.dir()
        d.write("kw.ini", b"Check\r\nHostcmdE2E\r\nBatch\r\nNotInstalled\r\nmarker.txt\r\n"
                b"save&installed.txt&6\r\nsave&not-installed.txt&7\r\n")
        self.run_batch(d, b"   \r\nsave&after.txt&x\r\n")
        self.assertEqual(d.read("not-installed.txt"), b"7")
        self.assertEqual(d.read("after.txt"), b"x")


if __name__ == "__main__":
    harness.main()
