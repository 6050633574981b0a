#!/usr/bin/python3
"""Release checks: the shipped programs are reproducible, and the release
archives hold what they say, byte for byte the same on every run.

* Every Windows preset is built a second time, in another directory and at
  another time; the programs must be identical to the first build's (the
  first differing offset is named when they are not).
* scripts/release --no-build, run twice into two folders: the archives are
  identical, hold exactly the programs, README.md, LICENSE, CHANGELOG.md and
  SHA256SUMS, and every checksum and size matches the file it names.

Options (the same as the end-to-end harness's modules):
  --win32-dir DIR, --win64-dir DIR   the Windows build trees
  --work-dir DIR                     scratch space (the second builds)
"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
BUILD_DIRS = {"win32": os.path.join(REPO, "build", "win32"), "win64": os.path.join(REPO, "build", "win64")}
TOOLCHAINS = {"win32": "mingw-i686.cmake", "win64": "mingw-x86_64.cmake"}
WORK_DIR = os.path.join(REPO, "build", "native", "e2e")
sys.path.insert(0, os.path.join(REPO, "scripts"))
# scripts/release's own lists of programs and documents, and its version reader.
RELEASE_SCRIPT = os.path.join(REPO, "scripts", "release")
release = {"__file__": RELEASE_SCRIPT, "__name__": "release"}
with open(RELEASE_SCRIPT) as _f:
    exec(compile(_f.read(), RELEASE_SCRIPT, "exec"), release)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


class ReproducibleBuild(unittest.TestCase):
    def test_second_build_elsewhere_is_identical(self):
        for preset, first in BUILD_DIRS.items():
            with self.subTest(preset=preset):
                second = os.path.join(WORK_DIR, "second-build-" + preset)
                shutil.rmtree(second, ignore_errors=True)
                configure = ["cmake", "-S", REPO, "-B", second, "-DCMAKE_BUILD_TYPE=MinSizeRel",
                             "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(REPO, "cmake", TOOLCHAINS[preset])]
                log = os.path.join(WORK_DIR, "second-build-%s.log" % preset)
                os.makedirs(WORK_DIR, exist_ok=True)
                with open(log, "wb") as out:
                    for argv in (configure, ["cmake", "--build", second, "-j", "2", "--target"]
                                 + [p[:-4] for p in release["PROGRAMS"]]):
                        self.assertEqual(subprocess.run(argv, stdout=out, stderr=out,
                                                        stdin=subprocess.DEVNULL).returncode, 0,
                                         "the second build failed, see " + log)
                for program in release["PROGRAMS"]:
                    with open(os.path.join(first, program), "rb") as f:
                        a = f.read()
                    with open(os.path.join(second, program), "rb") as f:
                        b = f.read()
                    if a != b:
                        self.fail("%s/%s differs from the second build at offset %#x (sizes %d and %d)"
                                  % (preset, program, first_difference(a, b), len(a), len(b)))
                shutil.rmtree(second, ignore_errors=True)


class ReleaseArchive(unittest.TestCase):
    def run_release(self, out):
        r = subprocess.run([sys.executable, os.path.join(REPO, "scripts", "release"), "--no-build", "--out", out],
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout

    def test_archives_are_reproducible_and_complete(self):
        version = release["project_version"]()
        with tempfile.TemporaryDirectory() as one, tempfile.TemporaryDirectory() as two:
            printed = self.run_release(one)
            self.run_release(two)
            for preset in BUILD_DIRS:
                name = "hostcmd-%s-%s.zip" % (version, preset)
                with self.subTest(archive=name):
                    with open(os.path.join(one, name), "rb") as f:
                        first = f.read()
                    with open(os.path.join(two, name), "rb") as f:
                        self.assertEqual(first, f.read(), "two runs gave different archives")
                    self.assertIn(hashlib.sha256(first).hexdigest(), printed, "the printed checksum")
                    self.check_contents(os.path.join(one, name), "hostcmd-%s-%s/" % (version, preset), preset)

    def check_contents(self, path, folder, preset):
        with zipfile.ZipFile(path) as z:
            names = z.namelist()
            expected = sorted(folder + n for n in release["PROGRAMS"] + release["DOCUMENTS"] + ("SHA256SUMS",))
            self.assertEqual(names, expected)
            for info in z.infolist():
                self.assertEqual(info.date_time, (1980, 1, 1, 0, 0, 0), info.filename)
            sums = {}
            for line in z.read(folder + "SHA256SUMS").decode().splitlines():
                match = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
                self.assertIsNotNone(match, line)
                sums[match.group(2)] = match.group(1)
            self.assertEqual(sorted(sums), sorted(n[len(folder):] for n in names if not n.endswith("SHA256SUMS")))
            for name, digest in sums.items():
                data = z.read(folder + name)
                self.assertEqual(hashlib.sha256(data).hexdigest(), digest, name)
                source = os.path.join(BUILD_DIRS[preset] if name.endswith(".exe") else REPO, name)
                self.assertEqual(os.path.getsize(source), len(data), name)


def main():
    global WORK_DIR
    argv = [sys.argv[0]]
    arguments = iter(sys.argv[1:])
    for argument in arguments:
        if argument in ("--win32-dir", "--win64-dir"):
            BUILD_DIRS[argument[2:7]] = os.path.abspath(next(arguments))
        elif argument == "--work-dir":
            WORK_DIR = os.path.abspath(next(arguments))
        elif argument == "--build":
            next(arguments)
        else:
            argv.append(argument)
    unittest.main(argv=argv, verbosity=2)


if __name__ == "__main__":
    main()
