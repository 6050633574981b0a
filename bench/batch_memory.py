#!/usr/bin/python3
"""A batch of 1,000,000 "cursor" lines: its time, and its peak memory next
to a batch of 1,000 lines (it should be flat: lines are read one at a time).
Time by hyperfine; peak memory as Windows reports it for the process
(GetProcessMemoryInfo, read by bench/refs/peak_memory.c after it ends).

Usage: bench/batch_memory.py [large count (default 1000000)] [runs (default 3)]
Needs build/win32/hostcmd.exe."""

import os
import re
import subprocess
import sys

import common


def main():
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
        commands = [(f'batch of {count} cursor', ['wine', exe, f'batch&{name}']) for count, name in batches.items()]
        results = common.hyperfine(prefix, commands, runs=runs, warmup=1, export_name='batch-memory')
        print(common.machine_summary())
        print()
        print(f'{"batch":<28} {"median s":>9} {"per line us":>12} {"peak working set":>17} {"peak private":>13}')
        for (label, _), count in zip(commands, batches):
            line = subprocess.run(['wine', meter, exe, f'batch&{batches[count]}'], env=prefix.env, cwd=prefix.work,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True).stdout
            found = re.search(r'peak_working_set=(\d+) peak_pagefile=(\d+)', line)
            if not found:
                sys.exit(f'peak_memory.exe said: {line!r}')
            working, private = (int(value) // 1024 for value in found.groups())
            seconds = results[label]['median']
            print(f'{label:<28} {seconds:9.3f} {seconds / count * 1e6:12.2f} {working:>14} KB {private:>10} KB')


if __name__ == '__main__':
    os.chdir(common.REPO)
    main()
