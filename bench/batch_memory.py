#!/usr/bin/python3
"""A batch of 1,000,000 "cursor" lines: its time, and its peak memory next
to a batch of 1,000 lines (it should be flat: lines are read one at a time).
Time by hyperfine. Peak memory two ways: the peak resident set of the Wine
process that is hostcmd.exe (GNU time's %M, taken when it ends, so nothing is
missed), and the peaks Windows reports (GetProcessMemoryInfo, sampled every
millisecond by bench/refs/peak_memory.c while the process runs: Wine answers
nothing once a process has ended, so a run of a few milliseconds can be
caught before its peak and show less).

Usage: bench/batch_memory.py [large count (default 1000000)] [runs (default 3)]
Needs build/win32/hostcmd.exe."""

import os
import re
import subprocess
import sys

import common


def main():
    common.require_wine_run(extra_tools=['/usr/bin/time'])
    large = int(sys.argv[1]) if len(sys.argv) > 1 else 1000000
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    refs = common.build_references()
    with common.Prefix() as prefix:
        exe = prefix.place(common.hostcmd_exe())
        meter = prefix.place(refs['peak_memory'])
        batches = {}
        for count in (1000, large):
            batches[count] = f'{common.WORK_WIN}\\cursor-{count}.txt'
            with open(prefix.unix(batches[count]), 'w', newline='') as f:
                f.write('cursor&\r\n' * count)
        commands = [(f'batch of {count} cursor', [*common.WINE, exe, f'batch&{name}']) for count, name in batches.items()]
        results = common.hyperfine(prefix, commands, runs=runs, warmup=1, export_name='batch-memory')
        print(common.machine_summary())
        print()
        print(f'{"batch":<26} {"median s":>9} {"per line us":>12} {"max RSS (Unix)":>15} '
              f'{"peak working set":>17} {"peak private":>13}')
        for (label, _), count in zip(commands, batches):
            rss = []
            for _ in range(runs):
                measured = subprocess.run(['/usr/bin/time', '-f', '%M', *common.WINE, exe, f'batch&{batches[count]}'],
                                          env=prefix.env, cwd=prefix.work, stdin=subprocess.DEVNULL,
                                          capture_output=True, text=True).stderr
                rss.append(int(measured.strip().splitlines()[-1]))
            line = subprocess.run([*common.WINE, meter, exe, f'batch&{batches[count]}'], env=prefix.env, cwd=prefix.work,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True).stdout
            found = re.search(r'peak_working_set=(\d+) peak_pagefile=(\d+)', line)
            if not found:
                sys.exit(f'peak_memory.exe said: {line!r}')
            working, private = (int(value) // 1024 for value in found.groups())
            seconds = results[label]['median']
            print(f'{label:<26} {seconds:9.3f} {seconds / count * 1e6:12.2f} {max(rss):>12} KB '
                  f'{working:>14} KB {private:>10} KB')

if __name__ == '__main__':
    os.chdir(common.REPO)
    main()
