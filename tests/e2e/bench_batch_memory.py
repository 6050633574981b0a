#!/usr/bin/python3
"""Peak memory of hostcmd.exe running a batch file of N "cursor" lines under
Wine: a batch file is read as it runs, so the peak must not grow with N.

  tests/e2e/bench_batch_memory.py [--win32-dir DIR] [--work-dir DIR] [N ...]

Runs `wine C:\\e2e\\hostcmd.exe batch&<file>` in the harness's prefix (made
by `harness.py setup`, or made here and stopped afterwards) and reports the
peak resident set size of that process (GNU time's %M: hostcmd.exe with
the Wine loader it runs in) and the wall time, three runs
per size.  Exit code 1 when the largest file's peak exceeds the smallest
file's by more than 1 MiB."""

import os
import subprocess
import sys
import time

import harness

SIZES = (1000, 1000000)
RUNS = 3


def measure(prefix, d, lines):
    """[(peak RSS in KiB, seconds)] of RUNS runs of a batch of `lines`
    "cursor" lines followed by one line that writes a marker file."""
    name = "cursor-%d.txt" % lines
    marker = "done-%d.txt" % lines
    d.write(name, b"cursor&\r\n" * lines + b"save&" + marker.encode() + b"&x\r\n")
    # GNU time forks the program from its own small image: a child forked
    # from this Python process would count Python's pages in its peak.
    peak_file = os.path.join(prefix.logs, "bench.peak")
    argv = ["/usr/bin/time", "-f", "%M", "-o", peak_file,
            "wine", prefix.unix(harness.HOSTCMD_WIN), "batch&" + d.winpath(name)]
    results = []
    for _ in range(RUNS):
        if os.path.exists(d.path(marker)):
            os.remove(d.path(marker))
        with open(os.path.join(prefix.logs, "bench.out"), "wb") as log:
            start = time.monotonic()
            subprocess.run(argv, env=prefix.env(), cwd=d.unix, stdin=subprocess.DEVNULL,
                           stdout=log, stderr=log, timeout=300)
            seconds = time.monotonic() - start
        if not os.path.exists(d.path(marker)):
            raise SystemExit("the batch of %d lines did not run to its end" % lines)
        with open(peak_file) as f:
            results.append((int(f.read().split()[-1]), seconds))
    return results


def main():
    opts, rest = harness._parse_options(sys.argv[1:])
    harness._options = opts
    sizes = [int(a) for a in rest] or list(SIZES)
    # The running session, or one of its own, stopped when this script ends.
    prefix = harness.Session(opts.win32_dir, opts.work_dir).attach().main
    d = prefix.new_dir("bench-batch-memory")
    peaks = {}
    for lines in sizes:
        results = measure(prefix, d, lines)
        peaks[lines] = max(r[0] for r in results)
        print("%8d lines: peak RSS %s KiB; wall %s s" % (
            lines, ", ".join(str(r[0]) for r in results),
            ", ".join("%.2f" % r[1] for r in results)))
    growth = peaks[max(sizes)] - peaks[min(sizes)]
    print("growth from %d to %d lines: %d KiB" % (min(sizes), max(sizes), growth))
    return 1 if growth > 1024 else 0


if __name__ == "__main__":
    sys.exit(main())
