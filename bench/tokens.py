#!/usr/bin/python3
"""Path tokens: "save" command lines of 32,000 characters full of one path
token each, against the same line with no token, side by side in one
hyperfine run under Wine. "%APP%" stands for a recorded directory of 259
characters (each token then inserts 260 characters). Goal: every ratio at
most 1.5.

Usage: bench/tokens.py [runs per round (default 10)] [rounds (default 3)]
Needs the build this machine runs (build/win32 or build/win64, see bench/common.py)."""

import os
import subprocess
import sys

import common

GOAL = 1.5
LENGTH = 32000
TOKENS = ['%WIN%', '%TEMP%', '%PROG%', '%SYS%', '%APP%']


def line_of(token, out):
    head = f'save&{out}&'
    return head + token * ((LENGTH - len(head)) // len(token))


def main():
    common.require_wine_run(references=False)
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    os.makedirs(common.BUILD, exist_ok=True)
    with common.Prefix() as prefix:
        exe = prefix.place(common.hostcmd_exe())
        # kw.ini in C:\bench names the product whose isDir "%APP%" reads.
        directory = 'C:\\' + 'd' * 256
        with open(prefix.unix(common.WORK_WIN + '\\kw.ini'), 'w', newline='') as f:
            f.write('bench\r\nBench\r\nTokens\r\n1.0\r\nm\r\ncursor&\r\ncursor&\r\n')
        subprocess.run(common.WINE + [exe, f'reg&HKLM&Software\\Bench\\Tokens\\1.0&isDir&{directory}'],
                       env=prefix.env, cwd=prefix.work, stdin=subprocess.DEVNULL, check=True)
        out = common.WORK_WIN + '\\out.txt'
        commands = [('no token', common.WINE + [exe, line_of('x', out)])]
        commands += [(token, common.WINE + [exe, line_of(token, out)]) for token in TOKENS]
        results = [common.hyperfine(prefix, commands, runs=runs, warmup=1, export_name=f'tokens-{n}')
                   for n in range(rounds)]
        # The last command ran last: a run that left %APP% unexpanded, or
        # wrote nothing, cannot pass for fast.
        with open(prefix.unix(out), 'rb') as f:
            written = f.read()
        assert written.startswith((directory + '\\').encode()) and b'%APP%' not in written, written[:80]
        print(common.machine_summary())
        common.print_ratios(results, commands[0][0], GOAL)


if __name__ == '__main__':
    os.chdir(common.REPO)
    main()
