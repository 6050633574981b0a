#!/usr/bin/env python3
"""Where hostcmd.exe's weight comes from: relinks it with a linker map and
sums the sections kept from each object file, largest first.

Usage: bench/size_map.py [build dir (default build/win32)] [how many (default 25)]
"""
import collections, os, re, subprocess, sys, tempfile

build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'build', 'win32')
top = int(sys.argv[2]) if len(sys.argv) > 2 else 25
build = os.path.abspath(build)
link = open(os.path.join(build, 'CMakeFiles', 'hostcmd.dir', 'link.txt')).read().splitlines()
command = next(line for line in link if ' -o hostcmd.exe' in line)
out = tempfile.mkdtemp()
command = command.replace(' -o hostcmd.exe', f' -o {out}/hostcmd.exe -Wl,-Map,{out}/hostcmd.map')
subprocess.run(command, shell=True, cwd=build, check=True)

sizes = collections.Counter()
lines = open(f'{out}/hostcmd.map').read().split('\n')
start = next(k for k, line in enumerate(lines) if line.startswith('Linker script and memory map'))
pending = False
for line in lines[start:]:
    if re.match(r'^ \.\S+\s*$', line):
        pending = True  # a long section name: address, size and file follow on the next line
        continue
    m = re.match(r'^ (\.\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)', line)
    if m and (m.group(1) or pending) and int(m.group(2), 16):
        sizes[m.group(4).split('/')[-1]] += int(m.group(3), 16)
    pending = False
print(f'{os.path.getsize(out + "/hostcmd.exe")} bytes linked, {sum(sizes.values())} bytes of sections')
for name, size in sizes.most_common(top):
    print(f'{size:8d}  {name}')
