#!/usr/bin/python3
"""hostcmd-lint on a batch file of 100,000 misspelled command lines: the
Release build of this tree's native hostcmd-lint against the same build of an
older revision, side by side in one run. Goal: under 0.5 s.

Usage: bench/lint_speed.py [lines (default 100000)] [runs (default 5)] [old revision (default 2bd1510)]

The old revision is exported with `git archive` into a temporary directory
outside the repository and built there; this tree is built in
build/bench/lint-release. Both need CMake, a host C++ compiler and GoogleTest
(the native configuration asks for it). No Wine is involved."""

import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import common

GOAL = 0.5
# Ten misspellings, each of a real command word, repeated: a host author's
# file misspells the same few words many times.
MISSPELLED = ['cpoy&a.txt&b.txt&TRUE', 'Save&a.txt&x', 'mesage&Title&Text', 'delet&a.txt', 'makedir&C:\\x',
              'regtoFile&HKCU&Software\\X&v&r.txt', 'Run&notepad.exe&none', 'batc&steps.txt', 'instal&setup.txt',
              'deskicon&a.lnk&C:\\&a.exe&A&none&0&none&none&none&none']


def build(source, tree):
    """Configures and builds the native hostcmd-lint in Release; returns its path."""
    subprocess.run(['cmake', '-S', source, '-B', tree, '-DCMAKE_BUILD_TYPE=Release'], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(['cmake', '--build', tree, '--target', 'hostcmd-lint', '-j', '2'], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(tree, 'hostcmd-lint')


def machine():
    cpu = ''
    with open('/proc/cpuinfo') as f:
        cpu = next((line.split(':', 1)[1].strip() for line in f if line.startswith('model name')), '')
    with open('/proc/loadavg') as f:
        load = ' '.join(f.read().split()[:3])
    compiler = subprocess.run(['c++', '--version'], capture_output=True, text=True).stdout.split('\n')[0]
    return f'{cpu}, {os.cpu_count()} cores, load average {load}; {compiler}'


def timed(exe, batch):
    """(wall seconds, CPU seconds, output) of one run, its output going to a
    file as in a build log."""
    log = os.path.join(common.BUILD, 'lint-speed.out')
    with open(log, 'wb') as out:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run([exe, '--batch', batch], stdout=out, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
    with open(log, 'rb') as f:
        return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime), f.read()


def main():
    counts = sys.argv[1:3]
    if not all(c.isdigit() and int(c) > 0 for c in counts):
        sys.exit(__doc__.split('\n\n')[1])
    common.require(tools=['cmake', 'make', 'c++', 'git', '/usr/include/gtest/gtest.h'])
    lines = int(counts[0]) if counts else 100000
    runs = int(counts[1]) if len(counts) > 1 else 5
    old_revision = sys.argv[3] if len(sys.argv) > 3 else '2bd1510'
    os.makedirs(common.BUILD, exist_ok=True)
    batch = os.path.join(common.BUILD, 'misspelled.txt')
    with open(batch, 'w', newline='') as f:
        for i in range(lines):
            f.write(MISSPELLED[i % len(MISSPELLED)] + '\r\n')

    new_exe = build(common.REPO, os.path.join(common.BUILD, 'lint-release'))
    old_dir = tempfile.mkdtemp(prefix='hostcmd-lint-old-')
    try:
        source = os.path.join(old_dir, 'source')
        os.makedirs(source)
        archive = subprocess.run(['git', '-C', common.REPO, 'archive', old_revision], check=True,
                                 stdout=subprocess.PIPE).stdout
        subprocess.run(['tar', '-x', '-C', source], input=archive, check=True)
        old_exe = build(source, os.path.join(old_dir, 'build'))
        programs = [(f'old ({old_revision})', old_exe), ('new (this tree)', new_exe)]
        results = {label: [] for label, _ in programs}
        for _ in range(runs):  # alternating, so that both meet the same load
            for label, exe in programs:
                wall, cpu, out = timed(exe, batch)
                # One finding per line: a lint that skipped the lines cannot pass for fast.
                findings = out.count(b': error: unknown command word ')
                assert findings == lines, f'{label}: {findings} findings for {lines} lines'
                results[label].append((wall, cpu))
    finally:
        shutil.rmtree(old_dir, ignore_errors=True)

    print(machine())
    print(f'\n{lines} misspelled lines, {runs} runs each, native Release builds; times in s')
    print(f'{"build":<22} {"median":>8} {"min":>8} {"cpu":>8}  goal: median < {GOAL}')
    for label, _ in programs:
        walls = [w for w, _ in results[label]]
        cpus = [c for _, c in results[label]]
        mark = '  ok' if common.median(walls) < GOAL else '  MISSED'
        print(f'{label:<22} {common.median(walls):8.3f} {min(walls):8.3f} {common.median(cpus):8.3f}{mark}')


if __name__ == '__main__':
    os.chdir(common.REPO)
    main()
