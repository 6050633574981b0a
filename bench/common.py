"""Shared machinery of the benchmarks: builds the reference programs with the
same MinGW toolchain as hostcmd.exe, keeps a private Wine prefix in
build/bench/ with a warm wineserver, runs hyperfine and prints ratios.

Nothing here asserts a time: the scripts print what they measure."""

import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, 'scripts'))
import wine_arch  # noqa: E402

# The build this machine runs under Wine: the 32-bit product, or the 64-bit
# twin where 32-bit code cannot run (HOSTCMD_ARCH=win64 forces it). The
# reference programs are built for the same processor.
ARCH = wine_arch.decide()
BUILD = os.path.join(REPO, 'build', 'bench-' + ARCH.build)
BUILD_DIR = ARCH.build_dir(REPO)
CC = 'i686-w64-mingw32-gcc' if ARCH.build == 'win32' else 'x86_64-w64-mingw32-gcc'
# The C function start() is the symbol _start on i386 and start on x86-64.
ENTRY = '_start' if ARCH.build == 'win32' else 'start'
# argv of a Wine call: WINE + [program, arguments...]
WINE = ARCH.wine()

# The folder inside the prefix where the programs and their files live.
WORK_WIN = 'C:\\bench'

# The Debian package of each program or file a benchmark may need;
# scripts/install-deps bench installs them all.
PACKAGES = {
    'hyperfine': 'hyperfine',
    '/usr/bin/time': 'time',
    'wine': 'wine',
    'wineserver': 'wine',
    '/usr/lib/wine/wine64': 'wine64',
    'i686-w64-mingw32-gcc': 'gcc-mingw-w64-i686',
    'i686-w64-mingw32-g++': 'g++-mingw-w64-i686',
    'x86_64-w64-mingw32-gcc': 'gcc-mingw-w64-x86-64',
    'x86_64-w64-mingw32-g++': 'g++-mingw-w64-x86-64',
    'cmake': 'cmake',
    'c++': 'g++',
    'make': 'make',
    'git': 'git',
    '/usr/include/gtest/gtest.h': 'libgtest-dev',
}
# What a benchmark that runs hostcmd.exe under Wine needs.
WINE_TOOLS = ('hyperfine', ARCH.loader, 'wineserver')


def build_command(preset):
    return f'cmake --preset {preset} && cmake --build --preset {preset}'


def require(tools=(), files=()):
    """Stops the benchmark before it starts when something it needs is
    missing, naming everything missing at once and how to get it. tools:
    program names (looked up on the PATH) or absolute paths; files: (path,
    the command that makes it)."""
    missing = []
    for tool in tools:
        if not (os.path.exists(tool) if os.path.isabs(tool) else shutil.which(tool)):
            missing.append(f'{tool} (Debian package {PACKAGES.get(tool, "?")})')
    for path, command in files:
        if not os.path.exists(path):
            missing.append(f'{os.path.relpath(path, REPO)} ({command})')
    if not missing:
        return
    script = os.path.relpath(os.path.abspath(sys.argv[0]), REPO)
    lines = [f'{script} cannot run; missing:'] + [f'  {item}' for item in missing]
    if any('Debian package' in item for item in missing):
        lines.append('Install the packages with: scripts/install-deps bench (as root, or with sudo)')
    sys.exit('\n'.join(lines))


def require_wine_run(extra_tools=(), references=True):
    """What every benchmark running hostcmd.exe under Wine needs: hyperfine,
    Wine, the build this machine runs, and the compiler of the reference
    programs where it builds them."""
    require(tools=WINE_TOOLS + ((CC,) if references else ()) + tuple(extra_tools),
            files=[(os.path.join(BUILD_DIR, 'hostcmd.exe'), build_command(ARCH.build))])


def build_references():
    """Compiles bench/refs/*.c into build/bench/refs/; returns {name: path}."""
    out = os.path.join(BUILD, 'refs')
    os.makedirs(out, exist_ok=True)
    refs = os.path.join(HERE, 'refs')
    flags = {
        # No C runtime: only KERNEL32 and ADVAPI32 are imported.
        'ref_empty': ['-Os', '-nostdlib', '-mwindows', '-e', ENTRY, '-s', '-lkernel32', '-ladvapi32'],
        'ref_save': ['-Os', '-nostdlib', '-mwindows', '-e', ENTRY, '-s', '-lkernel32', '-ladvapi32'],
        'peak_memory': ['-O2', '-static-libgcc', '-s', '-lpsapi'],
    }
    built = {}
    for name, extra in flags.items():
        exe = os.path.join(out, name + '.exe')
        source = os.path.join(refs, name + '.c')
        subprocess.run([CC, '-o', exe, source] + extra, check=True)
        built[name] = exe
    return built


def hostcmd_exe():
    exe = os.path.join(BUILD_DIR, 'hostcmd.exe')
    if not os.path.exists(exe):
        sys.exit(f'{exe} is missing: {build_command(ARCH.build)}')
    return exe


class Prefix:
    """build/bench/prefix: created once, its user folders made real folders;
    a warm wineserver for the benchmark's whole run, stopped at the end."""

    def __init__(self):
        self.path = os.path.join(BUILD, 'prefix')
        self.env = dict(ARCH.env(), WINEPREFIX=self.path, WINEDEBUG='-all',
                        WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=d;mshtml=d')
        self.env.pop('DISPLAY', None)
        self.env.pop('WAYLAND_DISPLAY', None)
        self.work = os.path.join(self.path, 'drive_c', 'bench')
        self.log = open(os.path.join(BUILD, 'wine.log'), 'ab')

    def call(self, argv, **options):
        return subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log,
                              **options).returncode

    def __enter__(self):
        os.makedirs(BUILD, exist_ok=True)
        if not os.path.exists(os.path.join(self.path, 'system.reg')):
            shutil.rmtree(self.path, ignore_errors=True)
            code = subprocess.run(ARCH.wineboot(), env=dict(self.env, WINEARCH=ARCH.prefix_arch),
                                  stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log, timeout=300).returncode
            if code != 0 or not os.path.isdir(os.path.join(self.path, 'drive_c', 'users')):
                sys.exit(f'Wine could not make {self.path} (exit code {code}): see {self.log.name}')
            users = os.path.join(self.path, 'drive_c', 'users')
            for user in os.listdir(users):
                for entry in os.scandir(os.path.join(users, user)):
                    if entry.is_symlink():
                        os.unlink(entry.path)
                        os.mkdir(entry.path)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.call(['wineserver', '-p'])
        return self

    def __exit__(self, *exc):
        self.call(['wineserver', '-k'])
        self.call(['wineserver', '-w'])
        self.log.close()

    def place(self, path):
        """Copies a program into C:\\bench; returns its Windows path."""
        shutil.copy(path, self.work)
        return WORK_WIN + '\\' + os.path.basename(path)

    def unix(self, windows_path):
        assert windows_path.startswith('C:\\')
        return os.path.join(self.path, 'drive_c', *windows_path[3:].split('\\'))


def quote(argument):
    """One argument for hyperfine's -N command splitting (POSIX shell words)."""
    return "'" + argument.replace("'", "'\"'\"'") + "'"


def hyperfine(prefix, commands, runs, warmup, prepare=None, export_name='results'):
    """commands: [(label, [argv...])]. Runs them side by side in one hyperfine
    run with the prefix's environment, from C:\\bench. Returns
    {label: {'mean', 'median', 'min', 'stddev', 'cpu'}} in seconds."""
    export = os.path.join(BUILD, export_name + '.json')
    argv = ['hyperfine', '-N', '--style', 'basic', '--runs', str(runs), '--warmup', str(warmup),
            '--export-json', export]
    if prepare:
        argv += ['--prepare', prepare]
    for label, command in commands:
        argv += ['--command-name', label, ' '.join(quote(part) for part in command)]
    subprocess.run(argv, env=prefix.env, cwd=prefix.work, stdin=subprocess.DEVNULL, check=True)
    with open(export) as f:
        results = json.load(f)['results']
    return {r['command']: {'mean': r['mean'], 'median': r['median'], 'min': r['min'], 'stddev': r['stddev'],
                           'cpu': r['user'] + r['system']} for r in results}


def median(values):
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def print_ratios(rounds, reference, goal):
    """rounds: results of hyperfine() for the same commands, run one after
    another. On a shared, loaded machine single runs are noisy; the ratio of
    the medians is taken in each round, and the median of those is the
    figure held against the goal. The ratio of the fastest runs (the least
    disturbed) and of the CPU time are shown beside it."""
    labels = list(rounds[0])
    print()
    print(f'{len(rounds)} round(s); times in ms (median of each round\'s medians)')
    print(f'{"command":<26} {"median":>8} {"min":>8} {"cpu":>7} {"ratio":>7} {"min r.":>7} {"cpu r.":>7}  '
          f'goal: ratio <= {goal}')
    for label in labels:
        def figure(key, rounds=rounds, label=label):
            return median([r[label][key] for r in rounds])

        def ratio(key, rounds=rounds, label=label):
            return median([r[label][key] / r[reference][key] for r in rounds])

        mark = '' if label == reference else ('  ok' if ratio('median') <= goal else '  MISSED')
        print(f'{label:<26} {figure("median") * 1e3:8.2f} {figure("min") * 1e3:8.2f} {figure("cpu") * 1e3:7.2f} '
              f'{ratio("median"):7.3f} {ratio("min"):7.3f} {ratio("cpu"):7.3f}{mark}')


def machine_summary():
    cpu = ''
    try:
        with open('/proc/cpuinfo') as f:
            cpu = next(line.split(':', 1)[1].strip() for line in f if line.startswith('model name'))
    except (OSError, StopIteration):
        pass
    wine = subprocess.run(WINE + ['--version'], capture_output=True, text=True).stdout.strip()
    wine += f' ({ARCH.build} build: {ARCH.reason})'
    hf = subprocess.run(['hyperfine', '--version'], capture_output=True, text=True).stdout.strip()
    with open('/proc/loadavg') as f:
        load = ' '.join(f.read().split()[:3])
    return f'{cpu}, {os.cpu_count()} cores, load average {load}; {wine}; {hf}'
