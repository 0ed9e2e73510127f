"""Runs the real oscar-sandbox and oscar-client for the acceptance tests.

`SandboxRun` starts the sandbox service on free loopback ports with its
control commands on standard input, collects its output lines on a thread and
waits for lines with a bound. `run_client` runs the scripted client to its
end and returns its exit status and output lines. Every wait is bounded.
"""

from __future__ import annotations

import os
import re
import signal
import subprocess
import threading
import time
from typing import Optional

WAIT = 15.0
SANDBOX_LINE = re.compile(r"^sandbox: login server on 127\.0\.0\.1:(\d+), chat server on 127\.0\.0\.1:(\d+)$")


def tool(env_name: str) -> str:
    path = os.environ.get(env_name, "")
    if not path or not os.access(path, os.X_OK):
        raise RuntimeError(f"{env_name} does not name an executable: {path!r}")
    return path


class SandboxRun:
    """One run of oscar-sandbox. Use as a context manager:

        with SandboxRun(no_ack_for=["33333"]) as sandbox:
            ... sandbox.login_port, sandbox.wait_line("chat: 4/6 from") ...
    """

    def __init__(self, no_ack_for: tuple[str, ...] = (), login_port: int = 0) -> None:
        args = [tool("OSCAR_SANDBOX"), "--control", "--login-port", str(login_port)]
        for uin in no_ack_for:
            args += ["--no-ack-for", uin]
        self._args = args
        self.lines: list[str] = []
        self._cond = threading.Condition()
        self.proc: Optional[subprocess.Popen] = None
        self.login_port = 0
        self.chat_port = 0
        self.exit_code: Optional[int] = None
        self._ended = False

    def start(self) -> "SandboxRun":
        self.proc = subprocess.Popen(self._args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True, bufsize=1)
        threading.Thread(target=self._read, daemon=True).start()
        first = self.wait_line("sandbox: login server on ")
        m = SANDBOX_LINE.match(first)
        if not m:
            raise AssertionError(f"unexpected first sandbox line {first!r}")
        self.login_port, self.chat_port = int(m.group(1)), int(m.group(2))
        return self

    def _read(self) -> None:
        for line in self.proc.stdout:
            with self._cond:
                self.lines.append(line.rstrip("\n"))
                self._cond.notify_all()
        with self._cond:
            self._ended = True
            self._cond.notify_all()

    def wait_line(self, prefix: str, count: int = 1, timeout: float = WAIT, contains: str = "") -> str:
        """The count-th output line that starts with `prefix` (and holds
        `contains`), once it is there."""
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                hits = [line for line in self.lines if line.startswith(prefix) and contains in line]
                if len(hits) >= count:
                    return hits[count - 1]
                left = deadline - time.monotonic()
                if left <= 0 or self._ended:
                    why = "the sandbox ended" if self._ended else f"timed out after {timeout:g} s"
                    raise AssertionError(f"no {count} x {prefix!r} from the sandbox ({why}):\n"
                                         + "\n".join(self.lines))
                self._cond.wait(min(left, 0.2))

    def command(self, text: str) -> None:
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()

    def stop(self) -> int:
        """SIGTERM, then the exit status (must come within the bound)."""
        if self.proc is not None and self.exit_code is None:
            self.proc.send_signal(signal.SIGTERM)
            self.exit_code = self.proc.wait(timeout=WAIT)
        return self.exit_code if self.exit_code is not None else -1

    def describe(self) -> str:
        with self._cond:
            return "--- sandbox output:\n" + "\n".join(self.lines) + "\n---"

    def __enter__(self) -> "SandboxRun":
        try:
            return self.start()
        except BaseException:
            self.__exit__(None, None, None)
            raise

    def __exit__(self, exc_type, exc, tb) -> None:
        if self.proc is None:
            return
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(timeout=WAIT)
        for stream in (self.proc.stdin, self.proc.stdout):
            try:
                stream.close()
            except OSError:
                pass


def run_client(login_port: int, uin: str, *args: str, timeout: float = 60.0) -> tuple[int, list[str]]:
    """Runs oscar-client to its end; its exit status and output lines."""
    argv = [tool("OSCAR_CLIENT"), "--login", f"127.0.0.1:{login_port}", "--uin", uin, *args]
    done = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=timeout)
    return done.returncode, done.stdout.splitlines() + done.stderr.splitlines()
