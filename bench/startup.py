#!/usr/bin/python3
"""Start-up: hostcmd.exe running one command against a program that imports
only KERNEL32 and ADVAPI32 and does nothing, side by side in one hyperfine
run under Wine with a warm wineserver. Goal: every ratio at most 1.1.

Usage: bench/startup.py [runs per round (default 10)] [rounds (default 12)]
Many short rounds: load from other processes drifts, and every round
compares the commands under the same conditions.
Needs build/win32/hostcmd.exe (cmake --preset win32 && cmake --build --preset win32)."""

import os
import sys

import common

GOAL = 1.1


def main():
    common.require_wine_run()
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 12
    refs = common.build_references()
    print(common.machine_summary())
    with common.Prefix() as prefix:
        exe = prefix.place(common.hostcmd_exe())
        ref = prefix.place(refs['ref_empty'])
        work = common.WORK_WIN
        with open(prefix.unix(work + '\\source.txt'), 'w') as f:
            f.write('a small file to copy\n')
        commands = [
            ('reference (nothing)', [*common.WINE, ref]),
            ('cursor', [*common.WINE, exe, 'cursor&']),
            ('save', [*common.WINE, exe, f'save&{work}\\saved.txt&hello']),
            ('copy', [*common.WINE, exe, f'copy&{work}\\source.txt&{work}\\copied.txt']),
            ('reg', [*common.WINE, exe, 'reg&HKCU&Software\\hostcmd bench&name&value']),
            ('regToFile', [*common.WINE, exe, f'regToFile&HKCU&Software\\hostcmd bench&name&{work}\\reply.txt']),
            ('installCheck (no file)', [*common.WINE, exe, f'installCheck&{work}\\no such check file.ini']),
        ]
        results = [common.hyperfine(prefix, commands, runs=runs, warmup=5, export_name=f'startup-{n}')
                   for n in range(rounds)]
        print(common.machine_summary())
        common.print_ratios(results, 'reference (nothing)', GOAL)


if __name__ == '__main__':
    os.chdir(common.REPO)
    main()
