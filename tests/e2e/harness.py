#!/usr/bin/python3
r"""End-to-end harness: runs the real hostcmd.exe under Wine.

What it provides
----------------
* A private Wine prefix inside the build tree (never ~/.wine), made once per
  test run by copying a template prefix that is built once and kept (the
  template holds real user folders instead of Wine's links to $HOME,
  ``Managed=N`` for quick dialogs, no crash dialog and no automatic
  debugger (a crash ends the process at once), the ``.hcx`` file type
  whose "open" and "print" verbs start recorder.exe, and the drives A:, E:,
  F: typed cdrom).  The wineserver is kept warm (``wineserver -p``) for the
  whole run and stopped afterwards.
* An Xvfb display of its own (``-displayfd``: no clash with other runs),
  the same for the wineserver's whole life, so boxes and dialogs are real.
* ``Prefix.run()``: runs hostcmd.exe with a raw command line, byte for byte,
  through launcher.exe, in a fresh directory of the test's own, optionally
  with answerer.exe answering boxes and dialogs by a script.
* Directory snapshots, ``wine reg`` helpers, CD drive links, ``lnkinfo``.

Every wait has a timeout; Wine's output always goes to files (Wine's
background processes keep inherited pipes open, so reading a pipe until its
end can hang forever).

Writing a case
--------------
    import harness
    from harness import DIR

    class SaveTest(harness.TestCase):          # self.wine: the main Prefix
        def test_save(self):
            d = self.dir()                      # fresh C:\t\NNNN-test_save
            d.write("old.txt", b"x")
            r = self.run_in(d, b'save&a.txt&Hi')   # tail after the program part
            self.assertEqual(r.exit_code, 0)
            self.assertFiles(d, {"old.txt": b"x", "a.txt": b"Hi"})

        def test_confirm(self):
            d = self.dir()
            r = self.run_in(d, b'confirm&C&Q&save&a.txt&x', answers=[("box", "C", 1)])
            self.assertEqual(r.answer(1)["text"], "Q")

    if __name__ == "__main__":
        harness.main()

Add the module's name to E2E_MODULES in tests/e2e/CMakeLists.txt.  Other
prefixes: self.session.extra_prefix("win64", arch="win64"), or
extra_prefix("restart") for a prefix of its own.

Which build runs
----------------
scripts/wine_arch.py decides once: where this machine runs 32-bit code the
product under test is build/win32/hostcmd.exe in 32-bit prefixes; where it
does not (or with HOSTCMD_ARCH=win64) it is the 64-bit twin,
build/win64/hostcmd.exe, in 64-bit prefixes, every Wine call through the
64-bit loader.  ``--build win64`` runs a module against the twin on a machine
whose product is the 32-bit one (in a 64-bit prefix "twin").

Command line
------------
  harness.py arch    [BUILD]                          say which build runs here
  harness.py setup   --win32-dir DIR --work-dir DIR   create prefix, start Xvfb
  harness.py cleanup --work-dir DIR                   stop wineserver and Xvfb
  harness.py run     --win32-dir DIR --work-dir DIR -- <command line tail>
Test modules call ``harness.main()``; they take the same options (and
--win64-dir, --build), and without a running session (no ``setup`` before)
they make one of their own and stop it when they end.

Measured on the development machine (2 shared cores, Wine 8.0):
  template prefix, 32-bit (wineboot -i, folders, registry)   9.4 s, once per build tree
  template prefix, 64-bit (only when a test asks for one)   18.2 s, once per build tree
  session start (cp -a of the template, Xvfb, warm server)   1.1-2.9 s per test run
  one hostcmd.exe run with nothing to answer                 0.07 s (0.1-0.2 s the first)
  one run with a box answered                                0.3-0.45 s
  a folder picked in the folder browser                      about 0.8 s
"""

import argparse
import atexit
import json
import os
import pwd
import select
import shutil
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "scripts"))
import wine_arch  # noqa: E402  (which build runs here, through which loader)

# Bump when the contents of the template prefix change: older templates are
# then rebuilt.
TEMPLATE_VERSION = "2"

WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d",
}

# Where the tools and the program under test live inside every prefix.
TOOLS_DIR_WIN = "C:\\e2e"
HOSTCMD_WIN = TOOLS_DIR_WIN + "\\hostcmd.exe"
# The UTF-8 build of the same tree, installed beside it when it was built.
HOSTCMD_UTF8_WIN = TOOLS_DIR_WIN + "\\hostcmd-utf8.exe"
# The program part that run() puts before a command line tail.
PROGRAM_PART = b'"' + HOSTCMD_WIN.encode() + b'" '

TOOLS = ("launcher.exe", "answerer.exe", "recorder.exe", "probe.exe")

# Drive letters the template types as cdrom; link them with Prefix.set_cd().
CD_LETTERS = ("a", "e", "f")

# The harness's own file type, opened and printed by recorder.exe.
RECORDER_EXT = ".hcx"
RECORDER_CLASS = "HostcmdE2E.Record"
RECORDER_LOG_WIN = TOOLS_DIR_WIN + "\\recorder.log"

# launcher.exe exit codes of its own.
LAUNCH_USAGE, LAUNCH_READFAIL, LAUNCH_STARTFAIL, LAUNCH_TIMEOUT = 250, 251, 252, 253

DIR = "<dir>"  # snapshot value of a directory


class HarnessError(AssertionError):
    """A run that could not be carried out as the test asked (timeout, a
    box that never came, a tool that failed).  An AssertionError, so that
    unittest reports the test as failed rather than broken."""


# ---------------------------------------------------------------------------
# Small process helpers: output always to files, every wait bounded.

def _log_path(directory, stem):
    os.makedirs(directory, exist_ok=True)
    return os.path.join(directory, stem)


def run_to_files(argv, env, out_path, cwd=None, timeout=60.0):
    """Runs argv with stdout/stderr in files; returns (exit code, stdout
    bytes, stderr bytes).  Raises HarnessError on timeout (the process is
    killed)."""
    err_path = out_path + ".err"
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        p = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                             stdout=out, stderr=err, start_new_session=True)
        try:
            rc = p.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            _kill(p)
            raise HarnessError("timed out after %.1f s: %r" % (timeout, argv))
    with open(out_path, "rb") as f:
        out_bytes = f.read()
    with open(err_path, "rb") as f:
        err_bytes = f.read()
    return rc, out_bytes, err_bytes


def _kill(p):
    try:
        p.kill()
    except ProcessLookupError:
        pass
    try:
        p.wait(timeout=5)
    except subprocess.TimeoutExpired:
        pass


def _pid_is(pid, name):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return name.encode() in f.read().split(b"\0")[0]
    except OSError:
        return False


# ---------------------------------------------------------------------------
# Xvfb

def start_xvfb(log_path, timeout=15.0):
    """Starts Xvfb on a free display; returns (display string, pid)."""
    rfd, wfd = os.pipe()
    with open(log_path, "wb") as log:
        p = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[wfd], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            start_new_session=True)
    os.close(wfd)
    data = b""
    deadline = time.monotonic() + timeout
    try:
        while not data.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or p.poll() is not None:
                _kill(p)
                raise HarnessError("Xvfb did not report a display (see %s)" % log_path)
            ready, _, _ = select.select([rfd], [], [], left)
            if ready:
                chunk = os.read(rfd, 64)
                if not chunk:
                    continue
                data += chunk
    finally:
        os.close(rfd)
    return ":" + data.decode().strip(), p.pid


def stop_pid(pid, name, timeout=5.0):
    """Stops our own process pid if it still is the named program."""
    if not pid or not _pid_is(pid, name):
        return
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and _pid_is(pid, name):
        try:
            if os.waitpid(pid, os.WNOHANG)[0]:
                return
        except ChildProcessError:
            pass
        time.sleep(0.05)
    if _pid_is(pid, name):
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


# ---------------------------------------------------------------------------
# Test directories and snapshots

class TestDir:
    """A fresh directory inside the prefix's C: drive, used as the current
    directory of one run.  ``unix`` is its host path, ``win`` its Windows
    path (for example C:\\t\\0007-test_save)."""

    def __init__(self, unix, win):
        self.unix = unix
        self.win = win

    def path(self, name):
        """Host path of a file inside the directory ("a/b" or "a\\b")."""
        return os.path.join(self.unix, *name.replace("\\", "/").split("/"))

    def winpath(self, name=""):
        """Windows path of a file inside the directory."""
        return self.win + ("\\" + name.replace("/", "\\") if name else "")

    def write(self, name, data):
        """Creates a file (bytes, or str taken as Latin-1) with its parents."""
        if isinstance(data, str):
            data = data.encode("latin-1")
        p = self.path(name)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)

    def mkdir(self, name):
        os.makedirs(self.path(name), exist_ok=True)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def snapshot(self):
        return snapshot(self.unix)


def snapshot(root):
    """Everything below root: {relative path with "/": bytes, or DIR}."""
    result = {}
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        for d in dirnames:
            result[os.path.normpath(os.path.join(rel, d)).replace(os.sep, "/")] = DIR
        for name in filenames:
            full = os.path.join(dirpath, name)
            key = os.path.normpath(os.path.join(rel, name)).replace(os.sep, "/")
            if os.path.islink(full):
                result[key] = "<link>"
            else:
                with open(full, "rb") as f:
                    result[key] = f.read()
    return result


# ---------------------------------------------------------------------------
# Results

class RunResult:
    """What one run() produced.

    exit_code  full exit code of hostcmd.exe (None if it did not end)
    timed_out  True when hostcmd.exe had to be terminated
    answers    the answerer's report: one dict per step done, with "caption",
               "text", "buttons" ([{"id", "text"}]), "pressed", ... Texts are
               str with one character per byte (encode("latin-1") for bytes)
    dir        the TestDir the command ran in
    seconds    wall time of the run
    """

    def __init__(self, **kw):
        self.exit_code = None
        self.timed_out = False
        self.status = ""
        self.answers = []
        self.answerer_exit = None
        self.dir = None
        self.seconds = 0.0
        self.cmdline = b""
        self.run_dir = ""
        self.__dict__.update(kw)

    def answer(self, step):
        """The report of a step (1-based)."""
        for a in self.answers:
            if a.get("step") == step:
                return a
        raise HarnessError("the answerer did not reach step %d: %s" % (step, self.describe()))

    def describe(self):
        return ("cmdline=%r status=%r exit=%r answers=%s run files in %s"
                % (self.cmdline, self.status.strip(), self.exit_code,
                   json.dumps(self.answers), self.run_dir))


# ---------------------------------------------------------------------------
# Prefixes

def _user_dirs(prefix):
    users = os.path.join(prefix, "drive_c", "users")
    return [os.path.join(users, u) for u in sorted(os.listdir(users))
            if u != "Public" and os.path.isdir(os.path.join(users, u))]


class Prefix:
    """One Wine prefix with its wineserver."""

    def __init__(self, path, arch, display, work_dir, build=None):
        self.path = path
        self.arch = arch
        # The hostcmd build installed in C:\e2e: "win32" or "win64" (the twin).
        self.build = build or arch
        self.display = display
        self.work_dir = work_dir
        self.logs = os.path.join(work_dir, "logs", os.path.basename(path))
        self._run_count = 0
        self._dir_count = 0

    # -- environment and plain wine calls --

    def env(self, extra=None):
        env = wine_arch.decide().env()
        env.update(WINE_ENV)
        env["WINEPREFIX"] = self.path
        if self.display:
            env["DISPLAY"] = self.display
        else:
            env.pop("DISPLAY", None)
        if extra:
            env.update(extra)
        return env

    def wine(self, args, timeout=60.0, cwd=None, env=None):
        """Runs `wine args...`; returns (exit code, stdout, stderr)."""
        self._run_count += 1
        out = _log_path(self.logs, "wine-%04d.out" % self._run_count)
        return run_to_files(wine_arch.decide().wine(*args), self.env(env), out, cwd=cwd,
                            timeout=timeout)

    def unix(self, winpath):
        """Host path of a C: path in this prefix."""
        if not winpath[:3].upper() == "C:\\":
            raise ValueError("only C: paths map into the prefix: %r" % winpath)
        return os.path.join(self.path, "drive_c", *winpath[3:].split("\\"))

    def user_dir(self):
        """Host path of C:\\users\\<user>."""
        return _user_dirs(self.path)[0]

    # -- wineserver --

    def server_start(self):
        run_to_files(["wineserver", "-p"], self.env(),
                     _log_path(self.logs, "wineserver-start.out"), timeout=30)
        # The first process of a session starts Wine's services; do it now
        # so that it does not count against the first test.
        rc, _, err = self.wine([self.unix(TOOLS_DIR_WIN + "\\launcher.exe")], timeout=120)
        if rc != LAUNCH_USAGE:
            raise HarnessError("Wine could not start the %s launcher in %s (exit code %d): %s"
                               % (self.build, self.path, rc, _last_line(err) or "no message"))

    def server_stop(self, timeout=30.0):
        env = self.env()
        logs = self.logs
        try:
            run_to_files(["wineserver", "-k"], env, _log_path(logs, "wineserver-k.out"),
                         timeout=timeout)
            run_to_files(["wineserver", "-w"], env, _log_path(logs, "wineserver-w.out"),
                         timeout=timeout)
        except HarnessError:
            pass

    # -- tools and the program under test --

    def install_tools(self, win32_dir, require_hostcmd=False):
        """Copies the helper programs and hostcmd.exe of one build tree
        (build/win32 or build/win64) to C:\\e2e."""
        dest = self.unix(TOOLS_DIR_WIN)
        os.makedirs(dest, exist_ok=True)
        tools = os.path.join(win32_dir, "e2e-tools")
        for t in TOOLS:
            src = os.path.join(tools, t)
            if not os.path.exists(src):
                raise HarnessError("missing %s: build the %s preset first "
                                   "(cmake --build --preset %s)" % (src, self.build, self.build))
            shutil.copy2(src, os.path.join(dest, t))
        hostcmd = os.path.join(win32_dir, "hostcmd.exe")
        if os.path.exists(hostcmd):
            shutil.copy2(hostcmd, os.path.join(dest, "hostcmd.exe"))
        elif require_hostcmd:
            raise HarnessError("missing %s: build the %s preset first" % (hostcmd, self.build))
        utf8 = os.path.join(win32_dir, "hostcmd-utf8.exe")
        if os.path.exists(utf8):
            shutil.copy2(utf8, os.path.join(dest, "hostcmd-utf8.exe"))

    def has_hostcmd(self):
        return os.path.exists(self.unix(HOSTCMD_WIN))

    # -- directories --

    def new_dir(self, name="run"):
        """A fresh, empty directory under C:\\t for one test."""
        self._dir_count += 1
        safe = "".join(c if c.isalnum() or c in "-_." else "_" for c in name)[:60]
        leaf = "%04d-%s" % (self._dir_count, safe)
        unix = os.path.join(self.path, "drive_c", "t", leaf)
        if os.path.exists(unix):
            shutil.rmtree(unix)
        os.makedirs(unix)
        return TestDir(unix, "C:\\t\\" + leaf)

    # -- running hostcmd --

    def run(self, cmdline, cwd=None, answers=None, timeout=10.0, raw=False,
            step_timeout=None, check=True, program=HOSTCMD_WIN, env=None,
            name="run", utf8=False, limited=False):
        """Runs hostcmd.exe once (see _run_once).  Wine's CreateProcess now
        and then fails with ERROR_INTERNAL_ERROR (1359) on a busy machine
        before the program has run at all: such a start is tried once more.
        Any other failure to start is reported at once."""
        args = dict(cwd=cwd, answers=answers, timeout=timeout, raw=raw, step_timeout=step_timeout,
                    program=program, env=env, name=name, utf8=utf8, limited=limited)
        result = self._run_once(cmdline, **args)
        if program == HOSTCMD_WIN and result.status.startswith("startfail 1359"):
            result = self._run_once(cmdline, **args)
        if check:
            self._check(result, answers, timeout)
        return result

    def _run_once(self, cmdline, cwd=None, answers=None, timeout=10.0, raw=False,
                  step_timeout=None, program=HOSTCMD_WIN, env=None, name="run", utf8=False,
                  limited=False):
        """Runs hostcmd.exe once.

        cmdline  bytes (or str taken as Latin-1).  Unless raw is true it is
                 the tail after the program part: the raw command line is
                 '"C:\\e2e\\hostcmd.exe" ' + cmdline.  With raw=True it is
                 the whole raw command line, program part included.  (An
                 empty raw line cannot be given: CreateProcessA then uses the
                 program path as the command line.)
        cwd      the TestDir to run in; a fresh one when None.
        answers  steps for answer.exe, each a tuple of texts, e.g.
                 ("box", "Caption", 1), ("file", "Title", "name.txt", 1),
                 ("folder", "Browse for Folder", "C:\\dir", 1),
                 ("window", "ExplorerWClass", "*", "close"), ("nobox", 1500).
        timeout  seconds hostcmd.exe may take before it is terminated.
        check    raise HarnessError when hostcmd.exe did not end in time, could
                 not start, or the answerer failed or did not do every step.
        program  Windows path given to CreateProcessA as the program; None
                 gives it none (lpApplicationName NULL): Windows then takes
                 the program from the raw command line, as it does when it
                 runs a command line of its own, such as an uninstall string.
        env      extra environment variables for this run.
        utf8     the command line (a str is encoded as UTF-8) and program are
                 UTF-8, handed over as UTF-16 (launcher --utf8, CreateProcessW),
                 and the answerer reports window texts as UTF-8 bytes (decode
                 a reported text with .encode("latin-1").decode("utf-8")).
        limited  start hostcmd.exe with the limited token linked to Wine's
                 administrator token (launcher --limited): what an
                 administrator's programs get under UAC, not elevated.
        Returns a RunResult.
        """
        if isinstance(cmdline, str):
            cmdline = cmdline.encode("utf-8" if utf8 else "latin-1")
        utf8_switch = ["--utf8"] if utf8 else []
        line = cmdline if raw else PROGRAM_PART + cmdline
        if b"\0" in line:
            raise ValueError("a command line cannot hold a NUL byte")
        if cwd is None:
            cwd = self.new_dir(name)
        self._run_count += 1
        run_win = "%s\\runs\\%05d" % (TOOLS_DIR_WIN, self._run_count)
        run_unix = self.unix(run_win)
        # Every module process numbers its runs from 1: a folder left by an
        # earlier module must not lend this run its status or report.
        if os.path.isdir(run_unix):
            shutil.rmtree(run_unix)
        os.makedirs(run_unix)
        with open(os.path.join(run_unix, "cmdline"), "wb") as f:
            f.write(line)
        status_unix = os.path.join(run_unix, "status")
        report_unix = os.path.join(run_unix, "report")

        answerer = None
        if answers:
            script = b""
            for step in answers:
                fields = [s if isinstance(s, bytes) else str(s).encode("utf-8" if utf8 else "latin-1")
                          for s in step]
                for s in fields:
                    if b"\t" in s or b"\n" in s:
                        raise ValueError("answer fields cannot hold TAB or LF: %r" % (step,))
                script += b"\t".join(fields) + b"\n"
            with open(os.path.join(run_unix, "script"), "wb") as f:
                f.write(script)
            st = step_timeout if step_timeout is not None else timeout
            # The answerer creates its report file first thing: hostcmd.exe
            # starts only once it runs. Wine now and then fails to start a
            # process on a busy machine; such a start is tried again.
            for attempt in range(3):
                a_out = open(os.path.join(run_unix, "answerer.out"), "wb")
                answerer = subprocess.Popen(
                    wine_arch.decide().wine(self.unix(TOOLS_DIR_WIN + "\\answerer.exe"), *utf8_switch,
                     run_win + "\\script", run_win + "\\report", str(int(st * 1000))),
                    env=self.env(env), cwd=run_unix, stdin=subprocess.DEVNULL,
                    stdout=a_out, stderr=a_out, start_new_session=True)
                a_out.close()
                deadline = time.monotonic() + 15
                while (not os.path.exists(report_unix) and answerer.poll() is None
                       and time.monotonic() < deadline):
                    time.sleep(0.02)
                if os.path.exists(report_unix):
                    break
                _kill(answerer)
            else:
                raise HarnessError("answerer.exe did not start (3 tries); see %s"
                                   % os.path.join(run_unix, "answerer.out"))

        start = time.monotonic()
        result = RunResult(cmdline=line, dir=cwd, run_dir=run_unix)
        with open(os.path.join(run_unix, "launcher.out"), "wb") as l_out:
            launcher = subprocess.Popen(
                wine_arch.decide().wine(self.unix(TOOLS_DIR_WIN + "\\launcher.exe"), *utf8_switch,
                 *(["--limited"] if limited else []), "*" if program is None else program,
                 run_win + "\\cmdline", str(int(timeout * 1000)), run_win + "\\status"),
                env=self.env(env), cwd=cwd.unix, stdin=subprocess.DEVNULL,
                stdout=l_out, stderr=l_out, start_new_session=True)
        try:
            launcher.wait(timeout=timeout + 15)
        except subprocess.TimeoutExpired:
            _kill(launcher)
        result.seconds = time.monotonic() - start

        if answerer is not None:
            # Once hostcmd.exe has ended no box of it can come any more: give
            # the answerer a moment to finish its report, then stop it.
            try:
                result.answerer_exit = answerer.wait(timeout=3)
            except subprocess.TimeoutExpired:
                _kill(answerer)
            if os.path.exists(report_unix):
                with open(report_unix, "rb") as f:
                    for raw_line in f.read().decode("ascii").splitlines():
                        if raw_line.strip():
                            result.answers.append(json.loads(raw_line))

        if os.path.exists(status_unix):
            with open(status_unix, "rb") as f:
                result.status = f.read().decode("latin-1")
        if result.status.startswith("exit "):
            result.exit_code = int(result.status.split()[1])
        result.timed_out = result.status.startswith("timeout") or not result.status

        return result

    @staticmethod
    def _check(result, answers, timeout):
        if result.timed_out:
            raise HarnessError("hostcmd.exe did not end within %.1f s (a box "
                               "nobody answered?): %s" % (timeout, result.describe()))
        if result.exit_code is None:
            raise HarnessError("hostcmd.exe could not be run: %s" % result.describe())
        if result.exit_code >= 0xC0000000:
            raise HarnessError("the program crashed (unhandled exception 0x%08X): %s"
                               % (result.exit_code, result.describe()))
        if answers:
            errors = [a for a in result.answers if "error" in a]
            if errors or len(result.answers) < len(answers):
                raise HarnessError("the answerer did not do every step: %s"
                                   % result.describe())

    # -- registry, from outside hostcmd --

    @property
    def hostcmd_view(self):
        """The registry view hostcmd uses here: 32 in a 64-bit prefix (the
        32-bit product is redirected there, the twin asks for it), None (no
        /reg: switch) in a 32-bit prefix, which has one view only."""
        return 32 if self.arch == "win64" else None

    def _view(self, view):
        return self.hostcmd_view if view == "hostcmd" else view

    def reg_query(self, key, value=None, view="hostcmd"):
        """Values of a key as {name: (type, data)}; the default value is
        named "".  With value, only that value.  None when the key (or the
        value) does not exist.  view: "hostcmd" (the view hostcmd.exe uses
        here), None (reg.exe's own), 32 or 64 (/reg:32, /reg:64)."""
        view = self._view(view)
        args = ["reg", "query", key]
        if value is not None:
            args += ["/ve"] if value == "" else ["/v", value]
        if view:
            args.append("/reg:%d" % view)
        rc, out, _ = self.wine(args, timeout=30)
        if rc != 0:
            return None
        values = {}
        for line in out.decode("latin-1").replace("\r", "").split("\n"):
            if not line.startswith("    ") or line.startswith("     "):
                continue
            parts = line[4:].split("    ", 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                name = "" if parts[0] == "(Default)" else parts[0]
                values[name] = (parts[1], parts[2] if len(parts) > 2 else "")
        return values

    def reg_value(self, key, name, view="hostcmd"):
        """(type, data) of one value, or None."""
        values = self.reg_query(key, name, view=view)
        return None if values is None else values.get(name)

    def reg_add(self, key, name=None, data=None, type="REG_SZ", view="hostcmd"):
        """Creates the key, and sets a value when name is given ("" is the
        default value)."""
        view = self._view(view)
        args = ["reg", "add", key, "/f"]
        if name is not None:
            args += ["/ve"] if name == "" else ["/v", name]
            args += ["/t", type, "/d", "" if data is None else str(data)]
        if view:
            args.append("/reg:%d" % view)
        rc, out, err = self.wine(args, timeout=30)
        if rc != 0:
            raise HarnessError("reg add failed (%d): %r %r" % (rc, out, err))

    def reg_delete(self, key, name=None, view="hostcmd"):
        """Deletes a key with everything below it, or one value (""
        is the default value).  Returns True when something was deleted."""
        view = self._view(view)
        args = ["reg", "delete", key, "/f"]
        if name is not None:
            args[3:3] = ["/ve"] if name == "" else ["/v", name]
        if view:
            args.append("/reg:%d" % view)
        rc, _, _ = self.wine(args, timeout=30)
        return rc == 0

    def reg_tree(self, key, view=None):
        r"""Every key below key, itself included, as {full key name: {value
        name: data as reg export writes it}} ("" is the default value).
        view: None (reg.exe's own: in a 64-bit prefix the 64-bit view, which
        holds the 32-bit one as its WOW6432Node keys), 32 or 64."""
        name = TOOLS_DIR_WIN + "\\export.reg"
        args = ["reg", "export", key, name, "/y"] + (["/reg:%d" % view] if view else [])
        rc, out, err = self.wine(args, timeout=120)
        if rc != 0:
            raise HarnessError("reg export failed (%d): %r %r" % (rc, out, err))
        with open(self.unix(name), "rb") as f:
            data = f.read()
        os.remove(self.unix(name))
        text = data[2:].decode("utf-16-le") if data[:2] == b"\xff\xfe" else data.decode("latin-1")
        lines, pending = [], ""
        for line in text.replace("\r\n", "\n").split("\n"):
            line = pending + (line.lstrip() if pending else line)
            # Long hex data goes on over lines ending in "\".
            if line.endswith("\\") and not line.startswith("["):
                pending = line[:-1]
                continue
            pending = ""
            lines.append(line)
        tree, values = {}, None
        for line in lines:
            if line.startswith("[") and line.endswith("]"):
                values = tree.setdefault(line[1:-1], {})
            elif values is not None and line.startswith("@="):
                values[""] = line[2:]
            elif values is not None and line.startswith('"'):
                i = 1
                while line[i] != '"':
                    i += 2 if line[i] == "\\" else 1
                values[line[1:i].replace('\\"', '"').replace("\\\\", "\\")] = line[i + 2:]
        return tree

    # -- CD-ROM drives --

    def empty_cd_dir(self, letter):
        return os.path.join(self.work_dir, "cd", "%s-%s" % (os.path.basename(self.path),
                                                          letter.lower()))

    def link_cds(self):
        """Links every CD-ROM letter to an empty folder of its own.  Wine's
        mount manager makes a drive (and its cdrom type) only for links that
        exist when the session starts, so the links must be there before the
        wineserver starts; tests then swap their targets."""
        for letter in CD_LETTERS:
            self.set_cd(letter, None)

    def set_cd(self, letter, unix_dir=None, label=None):
        """Points CD-ROM drive letter (a, e or f) at a host directory, or at
        an empty folder (no file on that CD) when unix_dir is None.  Swapping
        the link while the server runs acts as a media change.  label writes
        .windows-label into the directory."""
        letter = letter.lower().rstrip(":")
        if letter not in CD_LETTERS:
            raise ValueError("drive %s: is not a CD-ROM drive of the harness" % letter)
        if unix_dir is None:
            unix_dir = self.empty_cd_dir(letter)
            if os.path.isdir(unix_dir):
                shutil.rmtree(unix_dir)
        os.makedirs(unix_dir, exist_ok=True)
        if label is not None:
            with open(os.path.join(unix_dir, ".windows-label"), "w") as f:
                f.write(label)
        link = os.path.join(self.path, "dosdevices", letter + ":")
        tmp = link + ".new"
        if os.path.lexists(tmp):
            os.remove(tmp)
        os.symlink(os.path.abspath(unix_dir), tmp)
        os.replace(tmp, link)

    def clear_cds(self):
        """Every CD-ROM drive back to an empty folder."""
        for letter in CD_LETTERS:
            self.set_cd(letter, None)

    # -- the recorder --

    def recorder_log_path(self):
        return self.unix(RECORDER_LOG_WIN)

    def clear_recorder(self):
        try:
            os.remove(self.recorder_log_path())
        except FileNotFoundError:
            pass

    def recorded(self, wait_for=0, timeout=5.0):
        """The records of recorder.exe since clear_recorder(): dicts with
        "cmdline" and "cwd" (str, one character per byte).  Programs started
        through the shell are not waited for by hostcmd, so wait until at
        least wait_for records are there (or the timeout passes)."""
        deadline = time.monotonic() + timeout
        while True:
            records = []
            try:
                with open(self.recorder_log_path(), "rb") as f:
                    for line in f.read().decode("ascii").splitlines():
                        if line.endswith("}"):
                            records.append(json.loads(line))
            except FileNotFoundError:
                pass
            if len(records) >= wait_for or time.monotonic() >= deadline:
                return records
            time.sleep(0.05)


def lnkinfo(path, timeout=30.0):
    """Reads a .lnk file with lnkinfo (an independent reader); returns
    {field name: value} of its "name : value" lines (stripped), plus the
    whole text under "_text"."""
    out = path + ".lnkinfo"
    rc, data, err = run_to_files(["lnkinfo", path], dict(os.environ), out, timeout=timeout)
    os.remove(out)
    os.remove(out + ".err")
    if rc != 0:
        raise HarnessError("lnkinfo failed on %s: %r" % (path, err))
    text = data.decode("utf-8", "replace")
    fields = {"_text": text}
    for line in text.splitlines():
        if ":" in line and line.startswith("\t"):
            k, _, v = line.strip().partition(":")
            fields.setdefault(k.strip(), v.strip())
    return fields


# ---------------------------------------------------------------------------
# Templates and the session

# AeDebug: no automatic debugger. Wine would start winedbg on an unhandled
# exception and hold the crashed process for minutes; a debugger that cannot
# be started ends it at once, with the exception code as its exit code.
REG_SETUP = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""
"Auto"="1"

[HKEY_LOCAL_MACHINE\Software\Wine\Drives]
"a:"="cdrom"
"e:"="cdrom"
"f:"="cdrom"

[HKEY_CLASSES_ROOT\.hcx]
@="HostcmdE2E.Record"

[HKEY_CLASSES_ROOT\HostcmdE2E.Record\shell\open\command]
@="\"C:\\e2e\\recorder.exe\" open \"%1\""

[HKEY_CLASSES_ROOT\HostcmdE2E.Record\shell\print\command]
@="\"C:\\e2e\\recorder.exe\" print \"%1\""
"""

# The key REG_SETUP turns the debugger off with; a 64-bit prefix has it in
# both registry views, and each program reads its own.
AEDEBUG_KEY = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"


def build_template(path, arch, work_dir):
    """Makes a prepared prefix at path (kept for later runs)."""
    stamp = os.path.join(path, ".e2e-template")
    if os.path.exists(stamp):
        with open(stamp) as f:
            if f.read().strip() == TEMPLATE_VERSION:
                return False
    t0 = time.monotonic()
    if os.path.exists(path):
        Prefix(path, arch, None, work_dir).server_stop()
        shutil.rmtree(path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    decision = wine_arch.decide()
    if arch == "win32" and not decision.runs32:
        raise HarnessError("a 32-bit prefix was asked for, but %s" % decision.reason)
    try:
        decision.check_installed()
    except wine_arch.WineUnavailable as e:
        raise HarnessError(str(e))
    p = Prefix(path, arch, None, work_dir)
    env = {"WINEARCH": arch}
    logs = p.logs
    out = _log_path(logs, "wineboot.out")
    rc, _, err = run_to_files(decision.wineboot(), p.env(env), out, timeout=300)
    if rc != 0 or not os.path.isdir(os.path.join(path, "drive_c", "users")):
        raise HarnessError("wineboot could not make the %s prefix %s (exit code %d%s): %s; "
                           "Wine's words are in %s.err"
                           % (arch, path, rc, ", 126: the loader cannot be executed" if rc == 126 else "",
                              _last_line(err) or "no drive_c/users was made", out))
    # Wine links the user's Desktop, Documents, ... to $HOME: a shortcut made
    # there would land in the real home folder.  Make them real folders.
    for user in _user_dirs(path):
        for name in os.listdir(user):
            full = os.path.join(user, name)
            if os.path.islink(full):
                os.remove(full)
                os.mkdir(full)
        for name in ("Desktop", "Documents", "Downloads", "Music", "Pictures",
                     "Videos", "Templates"):
            os.makedirs(os.path.join(user, name), exist_ok=True)
    reg_file = os.path.join(path, "drive_c", "e2e-setup.reg")
    with open(reg_file, "w", newline="\r\n") as f:
        f.write(REG_SETUP)
    rc, out, err = run_to_files(decision.wine("reg", "import", "C:\\e2e-setup.reg"),
                                p.env(), _log_path(logs, "reg-import.out"), timeout=120)
    if rc != 0:
        raise HarnessError("reg import failed in the template: %r %r" % (out, err))
    os.remove(reg_file)
    # reg import writes one view only (which one depends on the loader that
    # ran reg.exe): in a 64-bit prefix the debugger goes off in both.
    for view in (("/reg:32", "/reg:64") if arch == "win64" else ()):
        for name, data in (("Debugger", ""), ("Auto", "1")):
            rc, out, err = run_to_files(decision.wine("reg", "add", AEDEBUG_KEY, "/v", name, "/d", data, "/f", view),
                                        p.env(), _log_path(logs, "reg-aedebug.out"), timeout=120)
            if rc != 0:
                raise HarnessError("reg add %s failed in the template: %r %r" % (view, out, err))
    # Let the server write the registry files and end before copying.
    run_to_files(["wineserver", "-w"], p.env(), _log_path(logs, "wineserver-w.out"),
                 timeout=120)
    with open(stamp, "w") as f:
        f.write(TEMPLATE_VERSION + "\n")
    with open(os.path.join(work_dir, "template-%s.seconds" % arch), "w") as f:
        f.write("%.1f\n" % (time.monotonic() - t0))
    return True


def _last_line(data):
    lines = [l for l in data.decode("latin-1", "replace").splitlines() if l.strip()]
    return lines[-1].strip() if lines else ""


def copy_prefix(template, dest, arch, display, work_dir, build=None):
    if os.path.exists(dest):
        Prefix(dest, arch, display, work_dir).server_stop()
        shutil.rmtree(dest)
    subprocess.run(["cp", "-a", template, dest], check=True, timeout=120,
                   stdin=subprocess.DEVNULL)
    p = Prefix(dest, arch, display, work_dir, build)
    p.link_cds()
    return p


class Session:
    """The display and prefixes of one test run.  State is kept in
    <work dir>/session.json so that the ctest fixture (setup, modules,
    cleanup: separate processes) share one session."""

    def __init__(self, win32_dir, work_dir, win64_dir=None):
        self.win32_dir = os.path.abspath(win32_dir)
        self.win64_dir = os.path.abspath(win64_dir or os.path.join(os.path.dirname(self.win32_dir), "win64"))
        self.work_dir = os.path.abspath(work_dir)
        self.state_path = os.path.join(self.work_dir, "session.json")
        self.display = None
        self.xvfb_pid = None
        self.prefixes = {}
        self.owned = False

    # -- state --

    def _save(self):
        state = {"display": self.display, "xvfb_pid": self.xvfb_pid,
                 "prefixes": {n: {"path": p.path, "arch": p.arch, "build": p.build}
                              for n, p in self.prefixes.items()}}
        with open(self.state_path, "w") as f:
            json.dump(state, f)

    def _load(self):
        try:
            with open(self.state_path) as f:
                state = json.load(f)
        except (OSError, ValueError):
            return False
        self.display = state.get("display")
        self.xvfb_pid = state.get("xvfb_pid")
        for n, p in state.get("prefixes", {}).items():
            self.prefixes[n] = Prefix(p["path"], p["arch"], self.display, self.work_dir, p.get("build"))
        return True

    def alive(self):
        return (self.xvfb_pid is not None and _pid_is(self.xvfb_pid, "Xvfb")
                and "main" in self.prefixes
                and os.path.isdir(self.prefixes["main"].path))

    # -- life cycle --

    def build_dir(self, build):
        """The build tree of "win32" (the product) or "win64" (the twin)."""
        return self.win32_dir if build == "win32" else self.win64_dir

    def template(self, arch):
        path = os.path.join(self.work_dir, "template-" + arch)
        build_template(path, arch, self.work_dir)
        return path

    def start(self):
        """Fresh main prefix, Xvfb and a warm wineserver."""
        os.makedirs(self.work_dir, exist_ok=True)
        if self._load():
            self.stop()
        self.prefixes = {}
        decision = wine_arch.decide()
        arch = decision.prefix_arch
        template = self.template(arch)
        log_dir = os.path.join(self.work_dir, "logs")
        os.makedirs(log_dir, exist_ok=True)
        self.display, self.xvfb_pid = start_xvfb(os.path.join(log_dir, "xvfb.log"))
        self._save()
        main = copy_prefix(template, os.path.join(self.work_dir, "prefix"), arch,
                           self.display, self.work_dir, decision.build)
        self.prefixes["main"] = main
        self._save()
        main.install_tools(self.build_dir(main.build))
        main.server_start()

    def attach(self):
        """Uses the running session, or starts one owned by this process."""
        if self._load() and self.alive():
            self.main.install_tools(self.build_dir(self.main.build))
            return self
        self.start()
        self.owned = True
        atexit.register(self.stop)
        return self

    def extra_prefix(self, name, arch=None, build=None):
        """Another prefix made from a template (e.g. "win64" for registry
        views, or one of its own for a restart), with its own warm server on
        the same display.  arch and build default to the main prefix's.
        Stopped with the session.  A prefix this machine cannot run (32-bit
        code where none runs) skips the test that asks for it."""
        arch = arch or self.main.arch
        build = build or self.main.build
        decision = wine_arch.decide()
        if "win32" in (arch, build) and not decision.runs32:
            raise unittest.SkipTest("needs 32-bit code, and %s" % decision.reason)
        if build == "win64" and arch != "win64":
            raise unittest.SkipTest("the 64-bit twin runs only in a 64-bit prefix")
        if name in self.prefixes:
            return self.prefixes[name]
        p = copy_prefix(self.template(arch), os.path.join(self.work_dir, "prefix-" + name),
                        arch, self.display, self.work_dir, build)
        self.prefixes[name] = p
        self._save()
        p.install_tools(self.build_dir(build))
        p.server_start()
        return p

    def product_prefix(self, build):
        """The prefix running the given build as C:\\e2e\\hostcmd.exe: the
        main prefix, or on a machine whose main build is the 32-bit product,
        a 64-bit prefix "twin" for the 64-bit twin."""
        if build in (None, self.main.build):
            return self.main
        return self.extra_prefix("twin", arch="win64", build=build)

    def drop_prefix(self, name):
        p = self.prefixes.pop(name, None)
        if p:
            p.server_stop()
            self._save()

    def stop(self):
        for p in self.prefixes.values():
            if os.path.isdir(p.path):
                p.server_stop()
        stop_pid(self.xvfb_pid, "Xvfb")
        self.xvfb_pid = None
        try:
            os.remove(self.state_path)
        except FileNotFoundError:
            pass

    @property
    def main(self):
        return self.prefixes["main"]


# ---------------------------------------------------------------------------
# unittest glue

_session = None
_options = None


def session():
    """The session of this test process (attached on first use)."""
    global _session
    if _session is None:
        opts = _options or _parse_options([])[0]
        _session = Session(opts.win32_dir, opts.work_dir, opts.win64_dir).attach()
    return _session


class TestCase(unittest.TestCase):
    """Base of the end-to-end tests: self.wine is the main prefix;
    self.dir() gives a fresh directory named after the test."""

    maxDiff = None
    needs_hostcmd = True

    @classmethod
    def setUpClass(cls):
        cls.session = session()
        cls.wine = cls.session.product_prefix(module_build())
        if cls.needs_hostcmd and not cls.wine.has_hostcmd():
            raise HarnessError("hostcmd.exe is not built (%s/hostcmd.exe)"
                               % cls.session.build_dir(cls.wine.build))

    def dir(self):
        return self.wine.new_dir(self._testMethodName)

    def run_in(self, d, cmdline, **kw):
        kw.setdefault("name", self._testMethodName)
        return self.wine.run(cmdline, cwd=d, **kw)

    def assertFiles(self, d, expected, msg=None):
        """The directory holds exactly these entries ({path: bytes or DIR})."""
        actual = d.snapshot() if isinstance(d, TestDir) else snapshot(d)
        if actual != expected:
            lines = []
            for k in sorted(set(actual) | set(expected)):
                a, e = actual.get(k, "<missing>"), expected.get(k, "<missing>")
                if a != e:
                    lines.append("  %s: expected %r, found %r" % (k, e, a))
            self.fail((msg + ": " if msg else "") + "directory differs:\n" + "\n".join(lines))


class BitnessCases:
    r"""Mixin for cases run with the module's build in a 32-bit prefix and
    again in a 64-bit one (arch, the prefix's bitness, apart from the
    program's, self.wine.build).  In a 64-bit prefix the 32-bit product's
    HKLM\Software lands under WOW6432Node, and the 64-bit twin opens that
    same 32-bit view: self.view is then 32, the view outside checks must use.
    The twin never runs in a 32-bit prefix: that class is skipped for it, as
    every class needing 32-bit code is on a machine that cannot run it."""

    arch = "win32"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if cls.wine.arch != cls.arch:
            if cls.wine.build == "win64":
                raise unittest.SkipTest("the 64-bit twin runs only in a 64-bit prefix")
            cls.wine = cls.session.extra_prefix(cls.arch, arch=cls.arch, build=cls.wine.build)
        cls.view = 32 if cls.arch == "win64" else None


def _parse_options(argv):
    ap = argparse.ArgumentParser(add_help=False)
    ap.add_argument("--win32-dir", default=os.environ.get(
        "E2E_WIN32_DIR", os.path.join(REPO, "build", "win32")))
    ap.add_argument("--win64-dir", default=os.environ.get(
        "E2E_WIN64_DIR", os.path.join(REPO, "build", "win64")))
    ap.add_argument("--work-dir", default=os.environ.get(
        "E2E_WORK_DIR", os.path.join(REPO, "build", "native", "e2e")))
    # Which hostcmd build the module tests: "auto" is the one this machine
    # runs (wine_arch); "win64" asks for the twin where the product is 32-bit.
    ap.add_argument("--build", choices=("auto", "win32", "win64"), default="auto")
    return ap.parse_known_args(argv)


# Exit code of a module that cannot (or need not) run here; ctest reports
# the test as skipped (SKIP_RETURN_CODE).
SKIPPED = 77


def module_build():
    """The build the running module tests: "win32" or "win64"."""
    opts = _options or _parse_options([])[0]
    return wine_arch.decide().build if opts.build == "auto" else opts.build


def main():
    """Entry of a test module: parses --win32-dir/--win64-dir/--work-dir/
    --build, says which build runs and why, runs unittest."""
    global _options
    _options, rest = _parse_options(sys.argv[1:])
    try:
        decision = wine_arch.decide()
    except wine_arch.WineUnavailable as e:
        print("e2e: cannot run: %s" % e)
        sys.exit(1)
    if _options.build != "auto":
        if _options.build == decision.build:
            print("e2e: skipped: the main run of this module already tests the %s build here (%s)"
                  % (_options.build, decision.reason))
            sys.exit(SKIPPED)
        if _options.build == "win32" and not decision.runs32:
            print("e2e: skipped: the 32-bit product cannot run here: %s" % decision.reason)
            sys.exit(SKIPPED)
    print("e2e: %s; this module tests the %s build" % (decision.describe(), module_build()))
    sys.stdout.flush()
    unittest.main(module="__main__", argv=[sys.argv[0]] + rest, verbosity=2)


def _cli():
    opts, rest = _parse_options(sys.argv[1:])
    if not rest:
        print(__doc__)
        return 2
    cmd, args = rest[0], rest[1:]
    s = Session(opts.win32_dir, opts.work_dir, opts.win64_dir)
    if cmd == "arch":
        # The decision, checked against the one the build tree was configured with.
        d = wine_arch.decide()
        print("e2e: %s" % d.describe())
        if args and args[0] != d.build:
            print("e2e: this tree was configured for the %s build: run cmake --preset native again" % args[0])
            return 1
        return 0
    if cmd == "setup":
        t0 = time.monotonic()
        try:
            print("e2e: %s" % wine_arch.decide().describe())
            s.start()
        except (HarnessError, wine_arch.WineUnavailable) as e:
            print("e2e set-up failed: %s" % e)
            return 1
        print("e2e session ready on display %s, %s prefix %s with the %s build (%.1f s)"
              % (s.display, s.main.arch, s.main.path, s.main.build, time.monotonic() - t0))
        return 0
    if cmd == "cleanup":
        if s._load():
            s.stop()
        print("e2e session stopped")
        return 0
    if cmd == "run":
        if args and args[0] == "--":
            args = args[1:]
        s.attach()
        d = s.main.new_dir("cli")
        r = s.main.run(" ".join(args).encode("latin-1"), cwd=d, check=False)
        print("status: %s; ran in %s (%s)" % (r.status.strip(), d.win, d.unix))
        for k, v in sorted(d.snapshot().items()):
            print("  %s: %r" % (k, v))
        return 0
    print("unknown command %r" % cmd)
    return 2


if __name__ == "__main__":
    sys.exit(_cli())
