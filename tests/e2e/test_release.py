#!/usr/bin/python3
"""Release checks: the shipped programs are reproducible, and the release
archives hold what they say, byte for byte the same on every run.

* Every Windows preset is built a second time, in another directory and at
  another time; the programs must be identical to the first build's (the
  first differing offset is named when they are not).
* scripts/release --no-build, run twice into two folders: the archives are
  identical, hold exactly the programs, README.md, LICENSE, CHANGELOG.md and
  SHA256SUMS, and every checksum and size matches the file it names. The
  archive's README names every file the archive holds and no folder of the
  source tree.
* scripts/release --sign with a certificate made for the test (openssl, a
  throwaway self-signed one; nothing is kept): every program in both archives
  verifies against that certificate (and not against another), gives back
  the built bytes once its signature is removed, differs from them only in
  the checksum, the certificate table entry and the appended signature, and
  holds the packaging checks of test_packaging.py; the signed hostcmd.exe of
  the build this machine runs still runs a command line under Wine.
* The program and archive sizes README.md gives are those of the built files,
  within bench/size_map.py's tolerance.

Options (the same as the end-to-end harness's modules):
  --win32-dir DIR, --win64-dir DIR   the Windows build trees
  --work-dir DIR                     scratch space (the second builds)
"""

import functools
import hashlib
import os
import re
import shutil
import struct
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
sys.path.insert(0, HERE)
import pe_image  # noqa: E402
import test_packaging  # noqa: E402  (its checks run again on the signed programs)
sys.path.insert(0, os.path.join(REPO, "bench"))
import size_map  # noqa: E402  (the README's sizes and their tolerance)
# Folders of the source tree, which the archive does not hold.
SOURCE_FOLDERS = ("build/", "scripts/", "tests/", "src/", "bench/", "fuzz/", "examples/", "cmake/", "release/")


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
                if name.endswith(".exe"):
                    self.assertEqual(os.path.getsize(os.path.join(BUILD_DIRS[preset], name)), len(data), name)
                elif name != "README.md":
                    self.assertEqual(os.path.getsize(os.path.join(REPO, name)), len(data), name)
            readme = z.read(folder + "README.md").decode()
            self.assertEqual(readme, release["archive_readme"](release["project_version"](), preset))
            for name in names:
                self.assertIn("`%s`" % name[len(folder):], readme, "the archive's README does not name it")
            for source in SOURCE_FOLDERS:
                self.assertNotIn(source, readme, "the archive's README names a folder it does not hold")


def openssl(*arguments):
    r = subprocess.run(["openssl", *arguments], stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if r.returncode:
        raise AssertionError("openssl %s failed: %s" % (arguments[0], r.stderr.strip()))


def self_signed(folder, name):
    """A code signing certificate made for this run: (certificate .pem, key .pem)."""
    cert, key = os.path.join(folder, name + ".pem"), os.path.join(folder, name + "-key.pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
            "-subj", "/CN=%s" % name, "-addext", "extendedKeyUsage=codeSigning")
    return cert, key


def osslsigncode(*arguments):
    return subprocess.run(["osslsigncode", *arguments], stdin=subprocess.DEVNULL, capture_output=True, text=True)


@functools.lru_cache(maxsize=None)
def signed_release():
    """scripts/release --sign with a throwaway certificate (its key removed
    once signed), and the unsigned archives of the same builds, unpacked:
    {"cert": .pem, "other": an unrelated certificate, "signed": {build: folder},
    "unsigned": {build: folder}}."""
    for tool in ("openssl", "osslsigncode"):
        if not shutil.which(tool):
            raise AssertionError("%s is missing: scripts/install-deps test installs it" % tool)
    root = os.path.join(WORK_DIR, "release-signed")
    shutil.rmtree(root, ignore_errors=True)
    keys = os.path.join(root, "keys")
    os.makedirs(keys)
    cert, key = self_signed(keys, "hostcmd test publisher")
    other, other_key = self_signed(keys, "another publisher")
    password = os.path.join(keys, "password.txt")
    pfx = os.path.join(keys, "publisher.pfx")
    with open(password, "w") as f:
        f.write("throwaway password\n")
    openssl("pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout", "file:" + password)
    found = {"cert": cert, "other": other}
    for kind, extra in (("signed", ["--sign", pfx, "--password-file", password]), ("unsigned", [])):
        out = os.path.join(root, kind)
        r = subprocess.run([sys.executable, RELEASE_SCRIPT, "--no-build", "--out", out, *extra],
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=600)
        if r.returncode:
            raise AssertionError("scripts/release %s failed: %s" % (" ".join(extra), r.stderr.strip()))
        found[kind] = {}
        for preset in BUILD_DIRS:
            folder = "hostcmd-%s-%s" % (release["project_version"](), preset)
            with zipfile.ZipFile(os.path.join(out, folder + ".zip")) as z:
                z.extractall(out)
            found[kind][preset] = os.path.join(out, folder)
    for path in (key, other_key, pfx, password):
        os.unlink(path)
    return found


def der_length(data):
    """The length of the DER value at the start of data, header included."""
    if data[1] < 0x80:
        return 2 + data[1]
    count = data[1] & 0x7F
    return 2 + count + int.from_bytes(data[2:2 + count], "big")


class SignedRelease(unittest.TestCase):
    def programs(self):
        for preset in BUILD_DIRS:
            for name in release["PROGRAMS"]:
                yield preset, name

    def test_every_program_verifies_against_the_certificate(self):
        found = signed_release()
        for preset, name in self.programs():
            with self.subTest(build=preset, program=name):
                signed = os.path.join(found["signed"][preset], name)
                r = osslsigncode("verify", "-CAfile", found["cert"], "-in", signed)
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                self.assertIn("Message digest algorithm  : SHA256", r.stdout)
                # The same check fails against another certificate, and on the
                # unsigned program: it is the signature that passed.
                self.assertNotEqual(osslsigncode("verify", "-CAfile", found["other"], "-in", signed).returncode, 0)
                unsigned = os.path.join(found["unsigned"][preset], name)
                self.assertNotEqual(osslsigncode("verify", "-CAfile", found["cert"], "-in", unsigned).returncode, 0)

    def test_signature_removed_gives_back_the_built_program(self):
        found = signed_release()
        scratch = os.path.join(WORK_DIR, "release-signed", "removed")
        os.makedirs(scratch, exist_ok=True)
        for preset, name in self.programs():
            with self.subTest(build=preset, program=name):
                signed_path = os.path.join(found["signed"][preset], name)
                removed = os.path.join(scratch, preset + "-" + name)
                if os.path.exists(removed):
                    os.unlink(removed)
                r = osslsigncode("remove-signature", "-in", signed_path, "-out", removed)
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                with open(os.path.join(BUILD_DIRS[preset], name), "rb") as f:
                    built = f.read()
                with open(removed, "rb") as f:
                    self.assertEqual(f.read(), built, "not the built program")
                with open(os.path.join(found["unsigned"][preset], name), "rb") as f:
                    self.assertEqual(f.read(), built, "the unsigned archive's program is not the built one")
                self.check_signature_bytes(built, pe_image.PEImage(signed_path))

    def check_signature_bytes(self, built, image):
        """What a signature changes: the CheckSum field, the certificate table
        entry of the data directory, and the signature appended at the end
        (a WIN_CERTIFICATE: length, revision 2.0, type PKCS#7, the PKCS#7
        SignedData, zero bytes up to a multiple of 8)."""
        signed = image.data
        certificate_entry = image.directories_at + 8 * 4
        changed = {i for i in range(len(built)) if built[i] != signed[i]}
        allowed = set(range(image.checksum_at, image.checksum_at + 4)) | set(range(certificate_entry,
                                                                                    certificate_entry + 8))
        self.assertEqual(sorted(changed - allowed), [], "bytes changed outside the checksum and certificate entry")
        self.assertEqual(image.directories[4], (len(built), len(signed) - len(built)))
        self.assertEqual(image.checksum, image.computed_checksum(), "the checksum does not hold")
        tail = signed[len(built):]
        length, revision, kind = struct.unpack_from("<IHH", tail)
        self.assertEqual((length, revision, kind), (len(tail), 0x0200, 0x0002))
        pkcs7 = der_length(tail[8:])
        padding = tail[8 + pkcs7:]
        self.assertEqual(len(tail) % 8, 0)
        self.assertLess(len(padding), 8)
        self.assertEqual(padding, b"\0" * len(padding))

    def test_sums_hold_the_signed_programs(self):
        found = signed_release()
        for preset in BUILD_DIRS:
            with self.subTest(build=preset):
                with open(os.path.join(found["signed"][preset], "SHA256SUMS")) as f:
                    sums = dict(reversed(line.split("  ")) for line in f.read().splitlines())
                for name in release["PROGRAMS"]:
                    with open(os.path.join(found["signed"][preset], name), "rb") as f:
                        self.assertEqual(sums[name], hashlib.sha256(f.read()).hexdigest(), name)

    def test_signed_hostcmd_runs_a_command_line_under_wine(self):
        import harness
        build = harness.module_build()
        prefix = harness.session().product_prefix(build)
        d = prefix.new_dir("signed")
        shutil.copy(os.path.join(signed_release()["signed"][build], "hostcmd.exe"), d.path("hostcmd.exe"))
        program = d.winpath("hostcmd.exe")
        r = prefix.run(b'"' + program.encode() + b'" save&saved.txt&signed|and|running', cwd=d, raw=True,
                       program=program, name="signed")
        self.assertEqual(r.exit_code, 0, r.describe())
        self.assertEqual(d.read("saved.txt"), b"signed and running")


class SignedPrograms:
    """test_packaging's checks, on the signed programs."""

    def setUp(self):
        test_packaging.BUILD_DIRS.update(signed_release()["signed"])
        super().setUp()


for _build in BUILD_DIRS:
    for _program in test_packaging.PROGRAMS:
        for _cases in (test_packaging.ImportCases, test_packaging.ResourceCases):
            _name = "Signed%s%s%s" % (_cases.__name__[:-5], _build[3:], "Utf8" if "utf8" in _program else "")
            globals()[_name] = type(_name, (SignedPrograms, _cases, unittest.TestCase),
                                    {"build": _build, "program": _program})


class ReadmeSizes(unittest.TestCase):
    def test_readme_sizes_are_the_built_ones(self):
        with tempfile.TemporaryDirectory() as out:
            measured = size_map.measured_sizes({b: d for b, d in BUILD_DIRS.items()}, out)
        figures = size_map.readme_sizes()
        self.assertEqual(sorted(figures), sorted(measured), "the README's size table names other files")
        for key, given in sorted(figures.items()):
            with self.subTest(file=key):
                self.assertTrue(size_map.close_enough(given, measured[key]),
                                "README.md says %d bytes, built: %d (more than %d%% apart: run bench/size_map.py "
                                "--readme and take its figures)" % (given, measured[key], size_map.TOLERANCE * 100))


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
    import harness
    harness._options = harness._parse_options(sys.argv[1:])[0]
    unittest.main(argv=argv, verbosity=2)


if __name__ == "__main__":
    main()
