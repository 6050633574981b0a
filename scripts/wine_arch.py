#!/usr/bin/python3
r"""Which hostcmd build this machine can run under Wine, and through which loader.

Some Linux kernels are booted with 32-bit execution switched off: every i386
program fails with "Exec format error", Wine's 32-bit loader included, and no
flavour of Wine can run 32-bit Windows code there. 64-bit Wine runs on every
machine, but only x86-64 programs. So:

* where 32-bit code runs (and Wine's 32-bit loader is installed), the product
  under test is the 32-bit hostcmd.exe (build/win32), in 32-bit prefixes,
  every call through Debian's `wine` wrapper;
* elsewhere it is the 64-bit twin (build/win64), in 64-bit prefixes, every
  call through /usr/lib/wine/wine64 (never the wrapper, which would pick the
  32-bit loader whenever wine32 is installed and exit 126).

HOSTCMD_ARCH=win64 forces the 64-bit path on any machine; HOSTCMD_ARCH=win32
asks for the 32-bit one and fails, with the reason, where it cannot run.

Used by the end-to-end harness, the packaging checks, the benchmarks,
scripts/hostcmd and the demo, so that the decision is made once, one way.

    python3 scripts/wine_arch.py           one line: what runs here and why
    python3 scripts/wine_arch.py --shell   the same as shell assignments
"""

import os
import shlex
import struct
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE32_LOADER = "/usr/lib/wine/wine"
WINE64_LOADER = "/usr/lib/wine/wine64"
WINE_WRAPPER = "wine"


class WineUnavailable(RuntimeError):
    """Wine cannot run the product here; the message says why and what to do."""


def _tiny_i386_program():
    """A complete static i386 Linux program that exits with code 42."""
    base = 0x08048000
    code = bytes([0xB8, 1, 0, 0, 0,        # mov eax, 1 (exit)
                  0xBB, 42, 0, 0, 0,       # mov ebx, 42
                  0xCD, 0x80])             # int 0x80
    size = 52 + 32 + len(code)
    header = struct.pack("<16sHHIIIIIHHHHHH", b"\x7fELF\x01\x01\x01" + b"\0" * 9,
                         2, 3, 1, base + 52 + 32, 52, 0, 0, 52, 32, 1, 0, 0, 0)
    segment = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
    return header + segment + code


def probe_32bit():
    """(True, "") when this kernel runs i386 programs, else (False, reason)."""
    with tempfile.TemporaryDirectory(prefix="hostcmd-probe-") as d:
        path = os.path.join(d, "probe32")
        with open(path, "wb") as f:
            f.write(_tiny_i386_program())
        os.chmod(path, 0o755)
        try:
            rc = subprocess.run([path], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=10).returncode
        except OSError as e:
            return False, "this machine cannot run 32-bit code (%s)" % e.strerror
        except subprocess.TimeoutExpired:
            return False, "a 32-bit test program did not end"
    if rc != 42:
        return False, "a 32-bit test program ended with %d instead of 42" % rc
    return True, ""


class Decision:
    """What runs here: build ("win32" or "win64"), prefix_arch, loader, reason."""

    def __init__(self, build, runs32, reason, forced):
        self.build = build
        self.prefix_arch = build
        self.runs32 = runs32
        self.reason = reason
        self.forced = forced
        # On the 64-bit path every call names the 64-bit loader itself, and
        # WINELOADER makes the programs Wine starts use it too.
        self.loader = WINE_WRAPPER if build == "win32" else WINE64_LOADER

    def wine(self, *args):
        """argv of a Wine call: wine(program, arguments...)."""
        return [self.loader] + list(args)

    def wineboot(self):
        return self.wine("wineboot.exe", "-i")

    def env(self, base=None):
        """An environment for Wine calls (copied from base, or os.environ)."""
        env = dict(os.environ if base is None else base)
        for name in ("WINEARCH", "WINELOADER", "WINESERVER"):
            env.pop(name, None)
        if self.loader == WINE64_LOADER:
            env["WINELOADER"] = WINE64_LOADER
        return env

    def build_dir(self, repo=REPO):
        return os.path.join(repo, "build", self.build)

    def describe(self):
        what = ("the 32-bit hostcmd.exe (build/win32) in 32-bit Wine prefixes"
                if self.build == "win32" else
                "the 64-bit twin (build/win64) in 64-bit Wine prefixes through %s" % WINE64_LOADER)
        return "Wine runs %s: %s" % (what, self.reason)

    def check_installed(self):
        """Raises WineUnavailable when the loader this path needs is missing."""
        if self.build == "win64" and not os.access(WINE64_LOADER, os.X_OK):
            raise WineUnavailable("%s is missing: install the package wine64 "
                                  "(scripts/install-deps does)" % WINE64_LOADER)
        if self.build == "win32" and not os.access(WINE32_LOADER, os.X_OK):
            raise WineUnavailable("%s is missing: install the package wine32:i386 "
                                  "(scripts/install-deps does)" % WINE32_LOADER)


_decided = None


def decide(environ=None):
    """The decision for this machine (made once per process)."""
    global _decided
    environ = os.environ if environ is None else environ
    if _decided is not None and environ is os.environ:
        return _decided
    forced = environ.get("HOSTCMD_ARCH", "").strip()
    runs32, why_not = probe_32bit()
    if forced not in ("", "win32", "win64"):
        raise WineUnavailable("HOSTCMD_ARCH=%s: use win32 or win64 (or leave it unset)" % forced)
    if forced == "win64":
        d = Decision("win64", runs32, "HOSTCMD_ARCH=win64 forces the 64-bit path", True)
    elif forced == "win32":
        if not runs32:
            raise WineUnavailable("HOSTCMD_ARCH=win32, but %s; unset it to use the 64-bit twin" % why_not)
        d = Decision("win32", True, "HOSTCMD_ARCH=win32, and this machine runs 32-bit code", True)
    elif not runs32:
        d = Decision("win64", False, why_not, False)
    elif not os.access(WINE32_LOADER, os.X_OK):
        d = Decision("win64", True, "Wine's 32-bit loader %s is not installed" % WINE32_LOADER, False)
    else:
        d = Decision("win32", True, "this machine runs 32-bit code", False)
    if environ is os.environ:
        _decided = d
    return d


def main(argv):
    try:
        d = decide()
    except WineUnavailable as e:
        print("wine_arch: %s" % e, file=sys.stderr)
        return 1
    if argv[1:] == ["--shell"]:
        for name, value in (("HOSTCMD_BUILD", d.build), ("HOSTCMD_PREFIX_ARCH", d.prefix_arch),
                            ("HOSTCMD_WINE", d.loader), ("HOSTCMD_RUNS32", "1" if d.runs32 else "0"),
                            ("HOSTCMD_WINE_WHY", d.describe())):
            print("%s=%s" % (name, shlex.quote(value)))
        return 0
    if argv[1:]:
        print(__doc__, file=sys.stderr)
        return 2
    print(d.describe())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
