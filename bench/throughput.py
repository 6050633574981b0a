#!/usr/bin/python3
"""Throughput: one batch file of 10,000 "save" lines run by hostcmd.exe
against a reference program making the same 10,000 create/write/close calls
directly, side by side in one hyperfine run under Wine. Goal: ratio at most 1.3.

Usage: bench/throughput.py [lines (default 10000)] [runs per round (default 10)] [rounds (default 3)]
Needs build/win32/hostcmd.exe."""

import os
import sys

import common

GOAL = 1.3


def main():
    common.require_wine_run()
    lines = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    refs = common.build_references()
    with common.Prefix() as prefix:
        exe = prefix.place(common.hostcmd_exe())
        ref = prefix.place(refs['ref_save'])
        folder = common.WORK_WIN + '\\t'
        os.makedirs(prefix.unix(folder))
        batch = common.WORK_WIN + '\\saves.txt'
        with open(prefix.unix(batch), 'w', newline='') as f:
            for i in range(lines):
                f.write(f'save&{folder}\\f{i}.txt&line {i}\r\n')
        commands = [
            (f'reference ({lines} files)', [*common.WINE, ref, str(lines), folder]),
            (f'batch of {lines} save', [*common.WINE, exe, f'batch&{batch}']),
        ]
        results = [common.hyperfine(prefix, commands, runs=runs, warmup=1, export_name=f'throughput-{n}')
                   for n in range(rounds)]
        # Both leave the same files: check one, so a batch that silently did
        # nothing cannot pass for fast.
        with open(prefix.unix(f'{folder}\\f{lines - 1}.txt'), 'rb') as f:
            assert f.read() == f'line {lines - 1}'.encode(), 'the last file does not hold its line'
        print(common.machine_summary())
        common.print_ratios(results, commands[0][0], GOAL)


if __name__ == '__main__':
    os.chdir(common.REPO)
    main()
