#!/usr/bin/env python3
"""Where hostcmd.exe's weight comes from: relinks it with a linker map and
sums the sections kept from each object file, largest first.

Usage: bench/size_map.py [build dir (default build/win32)] [how many (default 25)]
       bench/size_map.py --readme   the sizes README.md gives (its table under
                                    "### Sizes") against the built programs of
                                    build/win32 and build/win64 and the archives
                                    scripts/release --no-build writes from them;
                                    exit code 1 when a figure is more than
                                    TOLERANCE off, with the figures to take

The end-to-end release test holds the README's figures to the same tolerance.
"""
import collections, os, re, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
README = os.path.join(REPO, 'README.md')
RELEASE_SCRIPT = os.path.join(REPO, 'scripts', 'release')
# A figure holds while it is within 10 % of the built file: the README gives
# sizes to plan with, and every change of the code moves them a little.
TOLERANCE = 0.10
BUILD_COLUMNS = ('win32', 'win64')
ARCHIVE = 'the archive, unsigned'


def release_script():
    """scripts/release's functions and lists."""
    names = {'__file__': RELEASE_SCRIPT, '__name__': 'release'}
    with open(RELEASE_SCRIPT) as f:
        exec(compile(f.read(), RELEASE_SCRIPT, 'exec'), names)
    return names


def readme_sizes(path=README):
    """{(file, build): bytes} from the table under "### Sizes": one row per
    program (`name` | 32-bit | 64-bit twin), and the row for the archive."""
    with open(path) as f:
        text = f.read()
    match = re.search(r'^### Sizes\n(.*?)(?=^#)', text + '\n#', re.M | re.S)
    if not match:
        sys.exit(f'{path} has no "### Sizes" section')
    sizes = {}
    for line in match.group(1).splitlines():
        cells = [cell.strip() for cell in line.strip().strip('|').split('|')]
        if len(cells) == 3 and re.fullmatch(r'[\d,]+', cells[1]) and re.fullmatch(r'[\d,]+', cells[2]):
            name = cells[0].strip('`')
            for build, cell in zip(BUILD_COLUMNS, cells[1:]):
                sizes[(name, build)] = int(cell.replace(',', ''))
    return sizes


def measured_sizes(build_dirs, out_dir):
    """{(file, build): bytes} of the built programs and of the unsigned archives
    written from them into out_dir."""
    release = release_script()
    version = release['project_version']()
    sizes = {}
    for build in BUILD_COLUMNS:
        for name in release['PROGRAMS']:
            sizes[(name, build)] = os.path.getsize(os.path.join(build_dirs[build], name))
    argv = [sys.executable, RELEASE_SCRIPT, '--no-build', '--out', out_dir]
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    for build in BUILD_COLUMNS:
        sizes[(ARCHIVE, build)] = os.path.getsize(os.path.join(out_dir, f'hostcmd-{version}-{build}.zip'))
    return sizes


def close_enough(given, measured):
    return abs(given - measured) <= TOLERANCE * measured


def check_readme():
    with tempfile.TemporaryDirectory() as out:
        measured = measured_sizes({b: os.path.join(REPO, 'build', b) for b in BUILD_COLUMNS}, out)
    given = readme_sizes()
    stale = 0
    print(f'{"file":<24} {"build":<6} {"README.md":>11} {"built":>11}  (tolerance {TOLERANCE:.0%})')
    for key in sorted(set(measured) | set(given)):
        ok = key in given and key in measured and close_enough(given[key], measured[key])
        stale += not ok
        shown = [f'{given[key]:,}' if key in given else 'missing', f'{measured[key]:,}' if key in measured else '-']
        print(f'{key[0]:<24} {key[1]:<6} {shown[0]:>11} {shown[1]:>11}  {"ok" if ok else "STALE"}')
    return 1 if stale else 0


def size_map(build, top):
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


def main(argv):
    import common
    if argv[1:] == ['--readme']:
        programs = release_script()['PROGRAMS']
        common.require(files=[(os.path.join(REPO, 'build', b, name), common.build_command(b))
                              for b in BUILD_COLUMNS for name in programs])
        return check_readme()
    build = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(REPO, 'build', 'win32'))
    top = int(argv[2]) if len(argv) > 2 else 25
    compiler = 'x86_64-w64-mingw32-g++' if os.path.basename(build) == 'win64' else 'i686-w64-mingw32-g++'
    common.require(tools=[compiler], files=[(os.path.join(build, 'CMakeFiles', 'hostcmd.dir', 'link.txt'),
                                             common.build_command(os.path.basename(build)))])
    size_map(build, top)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
