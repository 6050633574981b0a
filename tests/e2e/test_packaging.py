#!/usr/bin/python3
"""Packaging checks of the built hostcmd.exe and of its 64-bit twin, and of
the UTF-8 build hostcmd-utf8.exe of each.

* Imports: a GUI program (PE32 i386, or PE32+ x86-64 for the twin) importing
  exactly KERNEL32, ADVAPI32 and msvcrt, no C++ runtime DLLs, and only
  functions listed in packaging/xp_imports.txt (checked to exist on Windows
  XP); the same for the functions bound at run time. Functions newer than XP
  are looked up where present, each listed there with its Windows, and none
  of them is imported.
* Version resource and manifest, read from the executable; the manifest
  names the build's own processor, and asks for UTF-8 as the process code
  page in hostcmd-utf8.exe only.
  These static checks read both builds' files on every machine.
* Planted libraries (under Wine): copies of a stand-in DLL named like the
  libraries hostcmd binds at run time, and like libraries those pull in, lie
  beside hostcmd.exe; commands that use boxes, the shell, COM and the dialogs
  must load none of them. A control program loading the same names through
  the ordinary search path must load every one, or the check proves nothing.
  This runs the build this machine can run (scripts/wine_arch.py).

Options (the same as the end-to-end harness's modules):
  --win32-dir DIR   the win32 build tree (hostcmd.exe, packaging-tools/)
  --win64-dir DIR   the win64 build tree (the twin)
  --work-dir DIR    scratch space for the Wine prefix
  --list-imports    print every function hostcmd calls from a system library
"""

import os
import re
import shutil
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import pe_image  # noqa: E402
sys.path.insert(0, os.path.join(REPO, 'scripts'))
import wine_arch  # noqa: E402

BUILD_DIRS = {'win32': os.path.join(REPO, 'build', 'win32'), 'win64': os.path.join(REPO, 'build', 'win64')}
WORK_DIR = None
BUILD = None  # --build: only this build's static checks

# What each build must be: PE magic, machine, the newest subsystem version
# its oldest Windows accepts (XP 5.1; XP x64 and Server 2003 5.2), and the
# processor its manifest names.
EXPECTED = {
    'win32': {'magic': 0x10B, 'machine': 0x14C, 'subsystem': (5, 1), 'processor': 'x86'},
    'win64': {'magic': 0x20B, 'machine': 0x8664, 'subsystem': (5, 2), 'processor': 'amd64'},
}

STATIC_DLLS = {'KERNEL32.dll', 'ADVAPI32.dll', 'msvcrt.dll'}
LAZY_DLLS = {'libraryUser32': 'user32.dll', 'libraryShell32': 'shell32.dll', 'libraryOle32': 'ole32.dll',
             'libraryComdlg32': 'comdlg32.dll'}
# Planted beside the program: the lazily bound libraries and libraries they
# load in turn.
PLANTED = ('user32.dll', 'shell32.dll', 'ole32.dll', 'comdlg32.dll', 'shlwapi.dll', 'comctl32.dll',
           'oleaut32.dll', 'gdi32.dll')


# The programs every Windows build tree holds: the ANSI one and the UTF-8 one,
# built from the same sources.
PROGRAMS = ('hostcmd.exe', 'hostcmd-utf8.exe')
UTF8_PROGRAM = 'hostcmd-utf8.exe'


def exe_path(build='win32', program='hostcmd.exe'):
    path = os.path.join(BUILD_DIRS[build], program)
    if not os.path.exists(path):
        raise AssertionError(f'{path} is missing: build it (cmake --preset {build} && cmake --build --preset {build})')
    return path


def allowed_functions(build='win32'):
    """The functions checked against XP; lines "win64 NAME" hold for the twin only."""
    allowed = set()
    with open(os.path.join(HERE, 'packaging', 'xp_imports.txt')) as f:
        for line in f:
            words = line.split()
            if not words or words[0].startswith('#'):
                continue
            if len(words) == 2 and words[0] == build:
                allowed.add(words[1])
            elif len(words) == 1:
                allowed.add(words[0])
    return allowed


def platform_sources():
    """The text of each .cpp file of src/platform, in name order."""
    platform = os.path.join(REPO, 'src', 'platform')
    for name in sorted(os.listdir(platform)):
        if name.endswith('.cpp'):
            with open(os.path.join(platform, name), encoding='latin-1') as f:
                yield f.read()


def lazily_bound(build='win32'):
    """{'shell32.dll!ShellExecuteA', ...} from the platform sources' bound<...>(library, "Name") calls
    in the code of the build: a call in the other build's branch of an #ifdef _WIN64 is left out."""
    found = set()
    for text in platform_sources():
        # (offset of a line, the build its code is for, or None for both)
        regions, branches, offset = [], [], 0
        for line in text.splitlines(keepends=True):
            words = line.split()[:2]
            if words == ['#ifdef', '_WIN64'] or words == ['#ifndef', '_WIN64']:
                branches.append('win64' if words[0] == '#ifdef' else 'win32')
            elif words and words[0] in ('#if', '#ifdef', '#ifndef'):
                branches.append(None)
            elif words and words[0] == '#else' and branches:
                branches[-1] = {'win64': 'win32', 'win32': 'win64'}.get(branches[-1])
            elif words and words[0] == '#endif' and branches:
                branches.pop()
            regions.append((offset, next((b for b in reversed(branches) if b), None)))
            offset += len(line)
        for match in re.finditer(r'bound<.*?>\(\s*(library\w+)\s*,\s*"(\w+)"\s*\)', text, re.S):
            region = [r for start, r in regions if start <= match.start()][-1]
            if region in (None, build):
                found.add(f'{LAZY_DLLS[match.group(1)]}!{match.group(2)}')
    return found


def looked_up():
    """{'KERNEL32.dll!SetThreadErrorMode', ...} from the platform sources' lookedUp<...>("lib.dll", "Name") calls."""
    found = set()
    for text in platform_sources():
        for library, function in re.findall(r'lookedUp<.*?>\(\s*"(\w+)\.dll"\s*,\s*"(\w+)"\s*\)', text, re.S):
            found.add(f'{library.upper()}.dll!{function}')
    return found


def listed_as_looked_up():
    """The "lookup DLL!Name <Windows>" lines of packaging/xp_imports.txt."""
    with open(os.path.join(HERE, 'packaging', 'xp_imports.txt')) as f:
        return {words[1] for words in (line.split() for line in f) if len(words) >= 3 and words[0] == 'lookup'}


def project_version():
    with open(os.path.join(REPO, 'CMakeLists.txt')) as f:
        text = f.read()
    match = re.search(r'project\(\s*hostcmd\s+VERSION\s+(\d+)\.(\d+)\.(\d+)', text)
    return tuple(int(part) for part in match.groups()) + (0,)


class BuildChecks:
    """Mixin: build names the build tree, program the executable in it that
    is checked."""
    build = 'win32'
    program = 'hostcmd.exe'

    def setUp(self):
        if BUILD and BUILD != self.build:
            self.skipTest(f'only the {BUILD} build was asked for')
        self.expected = EXPECTED[self.build]


class ImportCases(BuildChecks):
    def setUp(self):
        super().setUp()
        self.image = pe_image.PEImage(exe_path(self.build, self.program))

    def test_machine_and_gui_subsystem(self):
        self.assertEqual(self.image.magic, self.expected['magic'], 'PE32 or PE32+ as the build is')
        self.assertEqual(self.image.machine, self.expected['machine'], 'the processor of the build')
        self.assertEqual(self.image.subsystem, 2, 'not the Windows GUI subsystem')
        # The oldest Windows of the build (XP, or XP x64) must accept the image.
        self.assertLessEqual((self.image.major_subsystem, self.image.minor_subsystem), self.expected['subsystem'])
        self.assertGreater(len(self.image.imports()), 0, 'the import table was not read')

    def test_linked_as_windows_programs_are(self):
        flags = self.image.dll_characteristics
        self.assertTrue(flags & 0x0040, 'no ASLR (DYNAMIC_BASE)')
        self.assertTrue(flags & 0x0100, 'no DEP (NX_COMPAT)')
        # Without it a Remote Desktop server gives the program a per-user
        # Windows directory, and %WIN% changes meaning.
        self.assertTrue(flags & 0x8000, 'not TERMINAL_SERVER_AWARE')
        self.assertEqual(self.image.timestamp, 0, 'a link time stamp makes every build differ')

    def test_imports_exactly_kernel32_advapi32_msvcrt(self):
        names = set(self.image.imports())
        self.assertEqual({n.lower() for n in names}, {n.lower() for n in STATIC_DLLS}, names)
        for name in names:
            self.assertNotRegex(name.lower(), r'libstdc|libgcc|libwinpthread')

    def test_imported_functions_exist_on_xp(self):
        allowed = allowed_functions(self.build)
        imported = {f'{dll}!{function}' for dll, functions in self.image.imports().items() for function in functions}
        self.assertEqual(sorted(imported - allowed), [],
                         'imports not checked against Windows XP (see packaging/xp_imports.txt)')

    def test_looked_up_functions_are_listed_and_never_imported(self):
        found = looked_up()
        self.assertIn('KERNEL32.dll!SetThreadErrorMode', found, 'the scan of the platform sources found nothing')
        self.assertEqual(sorted(found - listed_as_looked_up()), [],
                         'functions looked up at run time without their Windows in packaging/xp_imports.txt')
        imported = {f'{dll.upper()}!{function}'.replace('.DLL!', '.dll!')
                    for dll, functions in self.image.imports().items() for function in functions}
        self.assertEqual(sorted(found & imported), [], 'a function newer than XP is imported: XP would not start it')

    def test_lazily_bound_functions_exist_on_xp(self):
        bound = lazily_bound(self.build)
        self.assertIn('shell32.dll!ShellExecuteExA', bound, 'the scan of the platform sources found nothing')
        self.assertEqual(sorted(bound - allowed_functions(self.build)), [],
                         'run-time bound functions not checked against Windows XP (see packaging/xp_imports.txt)')

    def test_stripped_and_small(self):
        self.assertIn('.text', [section[0] for section in self.image.sections], 'the section table was not read')
        self.assertNotIn('.debug_info', [section[0] for section in self.image.sections])
        # 71 KB (32-bit) and 76 KB (64-bit) at 1.0.0; then the uninstaller
        # (journal, removal, entry: about 28 KB), the exact conversions of
        # texts, elevation and the per-user installs: 127 KB and 136 KB. The
        # ceiling keeps room for little else.
        self.assertLessEqual(os.path.getsize(exe_path(self.build, self.program)), 144 * 1024)
        # The C++ runtime's exception machinery stays out: its verbose
        # terminate handler (and with it the demangler and the unwinder)
        # brings this message along.
        self.assertNotIn(b'terminate called after throwing', self.image.data)


class ResourceCases(BuildChecks):
    def setUp(self):
        super().setUp()
        self.resources = pe_image.PEImage(exe_path(self.build, self.program)).resources()

    def one(self, kind):
        found = [(key, data) for key, data in self.resources.items() if key[0] == kind]
        self.assertEqual(len(found), 1, f'resources of type {kind}: {[key for key, _ in found]}')
        return found[0]

    def test_version_resource(self):
        _, block = self.one(16)  # RT_VERSION
        (file_version, product_version), strings = pe_image.parse_version_info(block)
        version = project_version()
        self.assertEqual(file_version, version)
        self.assertEqual(product_version, version)
        text = '.'.join(str(part) for part in version[:3])
        self.assertEqual(strings.get('FileVersion'), text)
        self.assertEqual(strings.get('ProductVersion'), text)
        self.assertEqual(strings.get('ProductName'), 'hostcmd')
        self.assertEqual(strings.get('OriginalFilename'), 'hostcmd.exe')
        self.assertTrue(strings.get('FileDescription'))
        # Windows takes a program whose version strings hold these words for
        # an installer and asks for elevation when no manifest says otherwise.
        for name, value in strings.items():
            self.assertNotRegex(value.lower(), r'setup|install|update', name)

    def test_manifest(self):
        key, data = self.one(24)  # RT_MANIFEST
        self.assertEqual(key[1], 1, 'the manifest of a process has resource id 1')
        root = ElementTree.fromstring(data)
        asm1 = '{urn:schemas-microsoft-com:asm.v1}'
        levels = [e.get('level') for e in root.iter() if e.tag.endswith('}requestedExecutionLevel')]
        self.assertEqual(levels, ['asInvoker'])
        controls = [e.attrib for e in root.iter(asm1 + 'assemblyIdentity')
                    if e.get('name') == 'Microsoft.Windows.Common-Controls']
        self.assertEqual(len(controls), 1)
        self.assertEqual(controls[0]['version'], '6.0.0.0')
        self.assertEqual(controls[0]['processorArchitecture'], self.expected['processor'])
        self.assertEqual(controls[0]['publicKeyToken'], '6595b64144ccf1df')
        systems = {e.get('Id') for e in root.iter() if e.tag.endswith('}supportedOS')}
        self.assertEqual(systems, {
            '{e2011457-1546-43c5-a5fe-008deee3d3f0}',  # Vista
            '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',  # 7
            '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}',  # 8
            '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',  # 8.1
            '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}',  # 10 and 11
        })
        # Per-monitor v2 (Windows 10 1703 on: boxes and dialogs scaled sharp on
        # every monitor), else System: dpiAwareness for 10 1607 on, which reads
        # the first mode it knows; dpiAware "true" (System) for Vista to 10
        # 1511, where "true/pm" would be per-monitor v1, whose boxes and
        # dialogs keep the size of the first monitor's DPI on any other.
        dpi = [e.text for e in root.iter() if e.tag == '{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware']
        self.assertEqual(dpi, ['true'])
        awareness = [e.text for e in root.iter()
                     if e.tag == '{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness']
        self.assertEqual(awareness, ['PerMonitorV2, System'])
        # UTF-8 as the process code page (Windows 10 1903 and later), in the
        # namespace that introduced it; only the UTF-8 build asks for it.
        pages = [(e.tag, e.text) for e in root.iter() if e.tag.endswith('}activeCodePage')]
        expected = [('{http://schemas.microsoft.com/SMI/2019/WindowsSettings}activeCodePage', 'UTF-8')]
        self.assertEqual(pages, expected if self.program == UTF8_PROGRAM else [])
        own = root.find(asm1 + 'assemblyIdentity')
        self.assertEqual(own.get('version'), '.'.join(str(part) for part in project_version()))
        self.assertEqual(own.get('processorArchitecture'), self.expected['processor'])


class Import32(ImportCases, unittest.TestCase):
    build = 'win32'


class Import64(ImportCases, unittest.TestCase):
    build = 'win64'


class Resource32(ResourceCases, unittest.TestCase):
    build = 'win32'


class Resource64(ResourceCases, unittest.TestCase):
    build = 'win64'


class Import32Utf8(Import32):
    program = UTF8_PROGRAM


class Import64Utf8(Import64):
    program = UTF8_PROGRAM


class Resource32Utf8(Resource32):
    program = UTF8_PROGRAM


class Resource64Utf8(Resource64):
    program = UTF8_PROGRAM


class Wine:
    """A private Wine prefix in the work directory, with its own wineserver."""

    def __init__(self, work_dir, decision):
        # A prefix of its own, apart from the harness's shared one, of the
        # bitness of the build this machine runs.
        self.decision = decision
        self.prefix = os.path.join(work_dir, 'packaging-prefix-' + decision.prefix_arch)
        self.log = os.path.join(work_dir, 'packaging-wine.log')
        self.env = dict(decision.env(), WINEPREFIX=self.prefix, WINEDEBUG='-all',
                        WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=d;mshtml=d')
        # No display: boxes and dialogs fail at once instead of waiting.
        self.env.pop('DISPLAY', None)
        self.env.pop('WAYLAND_DISPLAY', None)

    def call(self, argv, cwd=None, env=None, timeout=120):
        with open(self.log, 'ab') as log:
            return subprocess.run(argv, cwd=cwd, env=env or self.env, stdin=subprocess.DEVNULL, stdout=log,
                                  stderr=log, timeout=timeout).returncode

    def start(self):
        if not os.path.exists(os.path.join(self.prefix, 'system.reg')):
            shutil.rmtree(self.prefix, ignore_errors=True)
            rc = self.call(self.decision.wineboot(), env=dict(self.env, WINEARCH=self.decision.prefix_arch),
                           timeout=300)
            if rc != 0 or not os.path.isdir(os.path.join(self.prefix, 'drive_c', 'users')):
                raise AssertionError(f'wineboot could not make {self.prefix} (exit code {rc}); see {self.log}')
            # The user folders of a new prefix are links to $HOME: make them
            # real folders, so nothing a command does lands outside the prefix.
            users = os.path.join(self.prefix, 'drive_c', 'users')
            for user in os.listdir(users):
                for entry in os.scandir(os.path.join(users, user)):
                    if entry.is_symlink():
                        os.unlink(entry.path)
                        os.mkdir(entry.path)
        self.call(['wineserver', '-p'])

    def stop(self):
        self.call(['wineserver', '-k'])
        self.call(['wineserver', '-w'])

    def unix_to_windows(self, path):
        drive_c = os.path.join(self.prefix, 'drive_c')
        return 'C:' + os.path.relpath(path, drive_c).replace('/', '\\').join(['\\', ''])


class PlantedLibraryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        decision = wine_arch.decide()
        decision.check_installed()
        cls.build_dir = BUILD_DIRS[decision.build]
        print(f'planted-library checks: {decision.describe()}', file=sys.stderr)
        work = WORK_DIR or os.path.join(cls.build_dir, 'packaging-work')
        os.makedirs(work, exist_ok=True)
        cls.wine = Wine(work, decision)
        cls.wine.start()
        cls.folder = os.path.join(cls.wine.prefix, 'drive_c', 'planted')
        shutil.rmtree(cls.folder, ignore_errors=True)
        os.makedirs(cls.folder)
        tools = os.path.join(cls.build_dir, 'packaging-tools')
        shutil.copy(exe_path(decision.build), cls.folder)
        shutil.copy(os.path.join(tools, 'load_by_name.exe'), cls.folder)
        for name in PLANTED:
            shutil.copy(os.path.join(tools, 'planted.dll'), os.path.join(cls.folder, name))
        # Wine would take a native copy it finds before its own library: the
        # same as a Windows whose search reaches the program's folder.
        names = ','.join(name[:-4] for name in PLANTED)
        cls.env = dict(cls.wine.env, WINEDLLOVERRIDES=cls.wine.env['WINEDLLOVERRIDES'] + f';{names}=n,b')

    @classmethod
    def tearDownClass(cls):
        cls.wine.stop()

    def marks(self):
        return sorted(name[:-len('.loaded')] for name in os.listdir(self.folder) if name.endswith('.loaded'))

    def clear_marks(self):
        for name in self.marks():
            os.unlink(os.path.join(self.folder, name + '.loaded'))

    def run_here(self, program, *arguments):
        return self.wine.call(self.wine.decision.wine(os.path.join(self.folder, program), *arguments),
                              cwd=self.folder, env=self.env)

    def test_control_loads_every_planted_library_by_name(self):
        self.clear_marks()
        self.run_here('load_by_name.exe', *PLANTED)
        self.assertEqual(self.marks(), sorted(PLANTED), 'the set-up cannot catch a planted library')

    def test_commands_load_no_planted_library(self):
        # Boxes (user32) and shell verbs (shell32, which loads COM while it
        # runs). "run" starts hostcmd.exe again through the shell; the file it
        # saves shows the shell was reached through the real libraries.
        ran = os.path.join(self.folder, 'ran.txt')
        commands = [
            ('message&Caption&Text', None),
            ('saveM&Caption&Saved&saved.txt&text', 'saved.txt'),
            ('open&C:\\planted\\no-such-file.txt', None),
            ('run&C:\\planted\\hostcmd.exe&save&C:\\planted\\ran.txt&yes', 'ran.txt'),
            # The folder browser (shell32) and the file dialogs (comdlg32):
            # without a display they end at once, and the reply file follows.
            ('getUserDir&folder.txt&Pick', 'folder.txt'),
            ('openPrompt&open.txt&Text&*.txt&none&C:\\&Open', 'open.txt'),
            ('savePrompt&save.txt&Text&*.txt&none&C:\\&Save', 'save.txt'),
            # A shortcut: COM (ole32) and the shell link object (shell32).
            ('startIcon&PlantedCheck.lnk&C:\\planted\\hostcmd.exe&&Check&none&0&none&none&none&none', None),
        ]
        users = os.path.join(self.wine.prefix, 'drive_c', 'users')
        for root, _, files in os.walk(users):
            if 'PlantedCheck.lnk' in files:
                os.unlink(os.path.join(root, 'PlantedCheck.lnk'))
        for command, made in commands:
            with self.subTest(command=command):
                self.clear_marks()
                if made and os.path.exists(os.path.join(self.folder, made)):
                    os.unlink(os.path.join(self.folder, made))
                self.run_here('hostcmd.exe', command)
                if made:
                    # A program started by "run" is not waited for.
                    deadline = time.monotonic() + 20
                    while not os.path.exists(os.path.join(self.folder, made)) and time.monotonic() < deadline:
                        time.sleep(0.1)
                    self.assertTrue(os.path.exists(os.path.join(self.folder, made)), 'the command did not run')
                self.assertEqual(self.marks(), [], 'planted libraries loaded')
        links = [name for _, _, files in os.walk(users) for name in files if name == 'PlantedCheck.lnk']
        self.assertTrue(links, 'the shortcut command did not create its shortcut')


def list_imports():
    image = pe_image.PEImage(exe_path(BUILD or 'win32'))
    for dll, functions in sorted(image.imports().items(), key=lambda item: item[0].lower()):
        print(f'{dll} (imported): {", ".join(sorted(functions))}')
    lazy = {}
    for entry in lazily_bound(BUILD or 'win32'):
        if entry.split('!')[1].encode() + b'\0' not in image.data:
            continue  # not reached by any command built so far
        dll, function = entry.split('!')
        lazy.setdefault(dll, []).append(function)
    for dll, functions in sorted(lazy.items()):
        print(f'{dll} (bound at run time): {", ".join(sorted(functions))}')


def main():
    global WORK_DIR, BUILD
    argv = [sys.argv[0]]
    arguments = iter(sys.argv[1:])
    listing = False
    for argument in arguments:
        if argument == '--win32-dir':
            BUILD_DIRS['win32'] = os.path.abspath(next(arguments))
        elif argument == '--win64-dir':
            BUILD_DIRS['win64'] = os.path.abspath(next(arguments))
        elif argument == '--build':
            BUILD = next(arguments)
            BUILD = None if BUILD == 'auto' else BUILD
        elif argument == '--work-dir':
            WORK_DIR = os.path.abspath(next(arguments))
        elif argument == '--list-imports':
            listing = True
        else:
            argv.append(argument)
    if listing:
        list_imports()
        return
    unittest.main(argv=argv, verbosity=2)


if __name__ == '__main__':
    main()
