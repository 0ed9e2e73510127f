"""Runs the real skelvane program for a test.

The program's folder (the directory of the binary named by SKELVANE_BIN) is
copied into a scratch folder with a skelvane.ini of its own (loopback, free
ports), the program is started headless from another directory, and the test
reads its dump.log. Stopping sends SIGTERM, which closes the program like the
window's close button. Every wait is bounded and the scratch folder is always
removed.

With SKELVANE_WINE set to 32 or 64, SKELVANE_BIN names skelvane.exe and the
program runs under Wine (scripts/wine-run.sh with those bits, headless).
Stopping then asks Wine's taskkill to close the program's windows, which runs
the window's close handler as the close button would.
"""

from __future__ import annotations

import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from typing import Optional

# SKELVANE_VALGRIND=1 runs the program under valgrind's memcheck: any error
# it finds makes the program's exit code 1, which every test checks at stop.
# The program is then many times slower, so every wait grows with it.
VALGRIND = os.environ.get("SKELVANE_VALGRIND", "") not in ("", "0")
# SKELVANE_WINE=32|64 runs skelvane.exe under Wine; 32-bit Wine may go through
# qemu-i386, which is several times slower again.
WINE = os.environ.get("SKELVANE_WINE", "")
WAIT = 15.0 * (8 if VALGRIND else 1) * {"": 1, "64": 2, "32": 6}.get(WINE, 2)
# The first start under Wine may create the Wine prefix.
START_WAIT = WAIT + (120.0 if WINE else 0.0)
WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine-run.sh")
INI_KEYS = ("HostLoginIP", "HostLoginPort", "ServerLoginIP", "ServerLoginPort", "HostChatIP", "HostChatPort")
# The plug-in is left out unless a test asks for it (with_plugin keeps the one
# built beside the program, plugin installs a given library as "plugin.so",
# under Wine as "plugin.dll").
PLUGIN_FILES = ("plugin.dll", "libplugin.so", "plugin.so")
DUMP_LINE = re.compile(rb"^(\d\d):(\d\d):(\d\d)\|(-?\d+) (.*)$", re.S)
# The window's place, which follows the six endpoints in skelvane.ini.
WINDOW_PLACE = re.compile(rb"WindowLeft = -?\d+\r\nWindowTop = -?\d+\r\nWindowWidth = \d+\r\nWindowHeight = \d+\r\n\Z")
# The bound on sessions, which ends skelvane.ini.
MAX_SESSIONS_LINE = re.compile(rb"MaxSessions = \d+\r\n\Z")
# While several sessions run, a session's lines start with its UIN.
SESSION_PREFIX = re.compile(r"\[\d+\] ")


def unprefixed(message: str) -> str:
    """A dump.log message without the "[<UIN>] " that names its session."""
    named = SESSION_PREFIX.match(message)
    return message[named.end():] if named else message


def binary() -> str:
    path = os.environ.get("SKELVANE_BIN", "")
    if not path or not os.access(path, os.X_OK):
        raise RuntimeError(f"SKELVANE_BIN does not name the skelvane program: {path!r}")
    return path


def valgrind_prefix() -> list[str]:
    """The command that runs the program under memcheck, or nothing."""
    if not VALGRIND:
        return []
    # Leaks that are certain or possible count as errors; valgrind.supp holds
    # the one report that lies inside Qt (see there).
    suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)), "valgrind.supp")
    return ["valgrind", "--tool=memcheck", "--error-exitcode=1", "--leak-check=full",
            f"--suppressions={suppressions}"]


def wine_prefix() -> list[str]:
    """The command that runs a Windows program under Wine, or nothing."""
    return ["bash", os.path.normpath(WINE_RUN), WINE] if WINE else []


def free_port() -> int:
    """A loopback port that nothing listens on right now."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@dataclass(frozen=True)
class CommandLineRun:
    code: int
    out: str
    err: str
    new_files: list[str]


def unix_text(data: bytes) -> str:
    return data.decode("utf-8", "replace").replace("\r\n", "\n")


def run_command_line(args: list[str]) -> CommandLineRun:
    """Runs a scratch copy of the program's folder once with `args`, from
    another directory, with a display that does not exist (a program that got
    as far as its window would fail on it); returns the exit code, the output
    and error texts (with Unix line ends) and every file that appeared."""
    scratch = tempfile.mkdtemp(prefix="skelvane-cli-")
    try:
        folder = os.path.join(scratch, "bin")
        shutil.copytree(os.path.dirname(os.path.abspath(binary())), folder, symlinks=True)
        before = set(os.listdir(folder))
        env = dict(os.environ, DISPLAY=":9999", QT_QPA_PLATFORM="xcb")
        if WINE:
            env.pop("DISPLAY")  # the headless Wine prefix
        exe = os.path.join(folder, os.path.basename(binary()))
        memcheck = valgrind_prefix() + ["-q"] if VALGRIND else []  # quiet: nothing but findings
        done = subprocess.run(wine_prefix() + memcheck + [exe] + args, cwd=scratch, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=START_WAIT, check=False)
        new_files = sorted((set(os.listdir(folder)) - before) | (set(os.listdir(scratch)) - {"bin"}))
        return CommandLineRun(done.returncode, unix_text(done.stdout), unix_text(done.stderr), new_files)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


class CommandLineChecks:
    """The program's command line; a test class of each platform mixes it into
    a unittest.TestCase."""

    def test_help_version_and_wrong_options_answer_before_anything_is_made(self):
        usage = run_command_line(["--help"])
        self.assertEqual((usage.code, usage.err, usage.new_files), (0, "", []), usage)
        self.assertTrue(usage.out.startswith("Usage: skelvane"), usage.out)
        closing = ["Closing the window"] if WINE else ["SIGINT", "SIGTERM"]
        plugin = "plugin.dll" if WINE else "plugin.so"
        for fact in ["--version", "skelvane.ini", "dump.log", plugin, "dorrimel.ini", "msgack.log"] + closing:
            self.assertIn(fact, usage.out)
        # Qt's own options (and their values) are let through.
        qt_options = [] if WINE else ["-platform", "offscreen", "-reverse"]
        version = run_command_line(qt_options + ["--version"])
        self.assertEqual((version.code, version.err, version.new_files), (0, "", []), version)
        self.assertRegex(version.out, r"^skelvane \d+\.\d+\.\d+\nCopyright \(c\) The Skelvane developers\n"
                                      r"MIT License \(see the file LICENSE\)")
        ended = run_command_line(["--", "--version"])  # after "--" nothing is an option
        self.assertEqual((ended.code, ended.out, ended.new_files), (2, "", []), ended)
        self.assertIn("unexpected argument '--version'", ended.err)
        for args in (["--frobnicate"], ["-x"], ["stray"], ["-platform"] if not WINE else ["/frobnicate"]):
            with self.subTest(args=args):
                wrong = run_command_line(args)
                self.assertEqual((wrong.code, wrong.out, wrong.new_files), (2, "", []), wrong)
                self.assertRegex(wrong.err, r"^skelvane(\.exe)?: [^\n]*'" + re.escape(args[0]) + r"'[^\n]*\n$")


@dataclass(frozen=True)
class DumpLine:
    hour: int
    minute: int
    second: int
    tick: int
    message: str


def parse_dump(data: bytes) -> list[DumpLine]:
    """The lines of a dump.log; every line must end in CR LF and have the
    form hh:mm:ss|tick message."""
    if data and not data.endswith(b"\r\n"):
        raise AssertionError(f"dump.log does not end in CR LF: {data[-40:]!r}")
    lines = []
    for raw in data.split(b"\r\n")[:-1] if data else []:
        if b"\n" in raw or b"\r" in raw:
            raise AssertionError(f"dump.log line with a stray line break: {raw!r}")
        m = DUMP_LINE.match(raw)
        if not m:
            raise AssertionError(f"dump.log line not in the form hh:mm:ss|tick message: {raw!r}")
        h, mi, s, tick = (int(m.group(i)) for i in range(1, 5))
        if h > 23 or mi > 59 or s > 59 or not -(2**31) <= tick < 2**31:
            raise AssertionError(f"dump.log line with an impossible time or tick: {raw!r}")
        lines.append(DumpLine(h, mi, s, tick, m.group(5).decode("latin-1")))
    return lines


class SkelvaneRun:
    """One run of the program. Use as a context manager:

        with SkelvaneRun(server_login_port=login.port) as run:
            ... run.login_port, run.chat_port, run.wait_log(...) ...
            run.stop()
    """

    def __init__(self, server_login_port: int, server_login_ip: str = "127.0.0.1", with_plugin: bool = False,
                 ini: Optional[dict[str, str]] = None, plugin: Optional[str] = None,
                 display: Optional[str] = None, read_only: bool = False) -> None:
        self.login_port = free_port()
        self.chat_port = free_port()
        self.settings = {
            "HostLoginIP": "127.0.0.1",
            "HostLoginPort": str(self.login_port),
            "ServerLoginIP": server_login_ip,
            "ServerLoginPort": str(server_login_port),
            "HostChatIP": "127.0.0.1",
            "HostChatPort": str(self.chat_port),
        }
        self.settings.update(ini or {})
        self._with_plugin = with_plugin
        self._plugin = plugin
        self._display = display  # an X display to show the window on, else headless
        self._scratch = tempfile.mkdtemp(prefix="skelvane-e2e-")
        self.dir = os.path.join(self._scratch, "bin")
        # With read_only the program's folder cannot be written, and the
        # settings and logs live in the user's folder, data_dir.
        self._read_only = read_only
        self._config = os.path.join(self._scratch, "config")
        self.data_dir = os.path.join(self._config, "skelvane") if read_only else self.dir
        self._as_user: list[str] = []
        self.exe = ""
        self.proc: Optional[subprocess.Popen] = None
        self.exit_code: Optional[int] = None
        self._stderr_path = os.path.join(self._scratch, "stderr.txt")
        self._env: Optional[dict[str, str]] = None

    # -- life
    def start(self) -> "SkelvaneRun":
        source = binary()
        shutil.copytree(os.path.dirname(os.path.abspath(source)), self.dir, symlinks=True)
        if not self._with_plugin or self._plugin:
            for name in PLUGIN_FILES:
                path = os.path.join(self.dir, name)
                if os.path.exists(path):
                    os.remove(path)
        if self._plugin:
            shutil.copy(self._plugin, os.path.join(self.dir, "plugin.dll" if WINE else "plugin.so"))
        for stale in ("skelvane.ini", "dump.log", "dorrimel.ini", "msgack.log"):
            if os.path.exists(os.path.join(self.dir, stale)):
                os.remove(os.path.join(self.dir, stale))
        self.exe = os.path.join(self.dir, os.path.basename(source))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        os.makedirs(self.data_dir, exist_ok=True)
        self.write_ini(self.settings)
        if self._read_only:
            self._lock_program_folder(env)
        if WINE and not self._display:
            env.pop("DISPLAY", None)  # Wine's null graphics driver
        if self._display:
            env.update(DISPLAY=self._display, QT_QPA_PLATFORM="xcb")
            env.pop("WAYLAND_DISPLAY", None)
        self._env = env
        with open(self._stderr_path, "ab") as err:  # appended to by close_windows too
            # Started from the scratch root: the program must make its own
            # folder current by itself.
            self.proc = subprocess.Popen(self.command_prefix() + [self.exe], cwd=self._scratch, env=env,
                                         stdin=subprocess.DEVNULL, stdout=err, stderr=err)
        self.wait_log("Await client-login connect at ", timeout=START_WAIT)
        return self

    def command_prefix(self) -> list[str]:
        """What the program is started under (another user, Wine or valgrind,
        when asked for)."""
        return self._as_user + wine_prefix() + valgrind_prefix()

    def _lock_program_folder(self, env: dict[str, str]) -> None:
        """Makes the program's folder read-only and the user's folder a
        scratch one. Root writes anywhere, so as root the program runs as
        nobody, who owns only the user's folder."""
        env["XDG_CONFIG_HOME"] = self._config
        os.chmod(self.dir, 0o555)
        if os.geteuid() != 0:
            return
        nobody = pwd.getpwnam("nobody")
        os.chmod(self._scratch, 0o755)
        for path in (self._config, self.data_dir, os.path.join(self.data_dir, "skelvane.ini")):
            os.chown(path, nobody.pw_uid, nobody.pw_gid)
        env.pop("XDG_RUNTIME_DIR", None)  # root's, which nobody cannot use
        self._as_user = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}", "--clear-groups"]

    def run_once(self, args: list[str]) -> subprocess.CompletedProcess:
        """Runs the program's copy once more with `args`, as the run does."""
        return subprocess.run(self.command_prefix() + [self.exe] + args, cwd=self._scratch, env=self._env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=START_WAIT, check=False)

    def write_ini(self, settings: dict[str, str]) -> None:
        # Written in reverse order, so that the file the program writes back
        # at shutdown is told apart by its order.
        text = "".join(f"{k} = {settings[k]}\r\n" for k in reversed(list(settings)))
        with open(os.path.join(self.data_dir, "skelvane.ini"), "wb") as f:
            f.write(text.encode("latin-1"))

    def stop(self, sig: int = signal.SIGTERM, timeout: float = WAIT) -> int:
        """Sends `sig` (SIGTERM or SIGINT; under Wine, WM_CLOSE instead), then
        waits for the exit; returns the exit code."""
        if self.proc is None or self.exit_code is not None:
            return self.exit_code if self.exit_code is not None else -1
        if WINE:
            self.close_windows()
        else:
            self.proc.send_signal(sig)
        try:
            self.exit_code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.exit_code = self.proc.wait(timeout=timeout)
            raise AssertionError(f"skelvane did not end within {timeout:g} s of signal {sig}\n{self.describe()}")
        return self.exit_code

    def close_windows(self) -> None:
        """Under Wine: taskkill without /f posts WM_CLOSE to the program's
        top-level windows (the 64-bit one reaches 32-bit programs too)."""
        name = os.path.basename(self.exe)
        with open(self._stderr_path, "ab") as err:
            subprocess.run(["bash", os.path.normpath(WINE_RUN), "64", "taskkill", "/im", name], cwd=self._scratch,
                           env=self._env, stdin=subprocess.DEVNULL, stdout=err, stderr=err, timeout=WAIT,
                           check=False)

    def close(self, failed: bool = False) -> None:
        try:
            if self.proc is not None and self.exit_code is None:
                self.proc.kill()
                self.exit_code = self.proc.wait(timeout=WAIT)
            if failed:
                sys.stderr.write(self.describe() + "\n")
        finally:
            if os.path.isdir(self.dir):
                os.chmod(self.dir, 0o755)
            shutil.rmtree(self._scratch, ignore_errors=True)

    def __enter__(self) -> "SkelvaneRun":
        try:
            return self.start()
        except BaseException:
            self.close(failed=True)
            raise

    def __exit__(self, exc_type, exc, tb) -> None:
        self.close(failed=exc_type is not None)

    @property
    def running(self) -> bool:
        return self.proc is not None and self.proc.poll() is None

    # -- dump.log
    def dump_bytes(self) -> bytes:
        try:
            with open(os.path.join(self.data_dir, "dump.log"), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def dump(self) -> list[DumpLine]:
        data = self.dump_bytes()
        # A line may be half written while we read: judge whole lines only.
        cut = data.rfind(b"\r\n")
        return parse_dump(data[: cut + 2] if cut >= 0 else b"")

    def messages(self) -> list[str]:
        return [line.message for line in self.dump()]

    def wait_log(self, text: str, count: int = 1, exact: bool = False, timeout: float = WAIT,
                 any_session: bool = False) -> list[str]:
        """Waits until `count` dump.log messages start with (or, with `exact`,
        equal) `text`, with `any_session` whichever session they name;
        returns all messages so far."""
        deadline = time.monotonic() + timeout
        while True:
            msgs = self.messages()
            bare = [unprefixed(m) for m in msgs] if any_session else msgs
            hits = [m for m in bare if (m == text if exact else m.startswith(text))]
            if len(hits) >= count:
                return msgs
            if not self.running:
                raise AssertionError(f"skelvane ended while waiting for {count} x {text!r}\n{self.describe()}")
            if time.monotonic() > deadline:
                raise AssertionError(f"timed out waiting for {count} x {text!r} in dump.log\n{self.describe()}")
            time.sleep(0.02)

    @property
    def plugin_line(self) -> str:
        """What each sign-on logs of the plug-in: that it was initialized, or
        that it could not be loaded and why (a prefix, ending in "...")."""
        if self._with_plugin or self._plugin:
            return "Plugin initialized"
        where = "" if WINE else os.path.join(self.dir, "plugin.so") + " could not be loaded: "
        return f"Plug-in {where}..."

    def stdout_lines(self) -> list[str]:
        """What the program printed (with its error output)."""
        return self.stderr().splitlines()

    @property
    def scratch(self) -> str:
        """The folder the program was started from (the program's own folder
        lies inside it)."""
        return self._scratch

    def read_ini(self) -> bytes:
        with open(os.path.join(self.data_dir, "skelvane.ini"), "rb") as f:
            return f.read()

    def read_endpoints(self) -> bytes:
        """skelvane.ini as written at the close, without the window's place
        that ends it under Wine; a headless run (Linux) leaves it out."""
        data = self.read_ini()
        bound = MAX_SESSIONS_LINE.search(data)
        if bound is None:
            raise AssertionError(f"skelvane.ini lacks MaxSessions at its end: {data!r}")
        data = data[: bound.start()]
        place = WINDOW_PLACE.search(data)
        if (place is None) == bool(WINE):
            raise AssertionError(f"skelvane.ini {'lacks' if WINE else 'has'} the window's place: {data!r}")
        return data[: place.start()] if place else data

    def stderr(self) -> str:
        try:
            with open(self._stderr_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""

    def describe(self) -> str:
        dump = self.dump_bytes().decode("latin-1").replace("\r\n", "\n")
        return (f"--- skelvane exit code {self.exit_code}; dump.log:\n{dump}"
                f"--- stderr/stdout:\n{self.stderr()[-4000:]}---")
