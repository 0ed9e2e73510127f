"""The main window as a user meets it: the real program on a private X server
(Xvfb), its buttons clicked with the mouse through xdotool, and dump.log
telling what the clicks did."""

from __future__ import annotations

import os
import shutil
import subprocess
import time
import unittest

from relay import RelayAssertions
from skelvane_run import WAIT, SkelvaneRun

TITLE = "Skelvane"
# The buttons as designed, in twips (15 to a pixel): left, top, width, height.
HOST_LOGIN = (4440, 360, 1215, 375)  # Command1
DISCONNECT = (4440, 840, 1215, 375)  # Command3


def center(twips: tuple[int, int, int, int]) -> tuple[int, int]:
    left, top, width, height = (round(t / 15) for t in twips)
    return left + width // 2, top + height // 2


def tools() -> tuple[str, str]:
    found = {name: shutil.which(name) for name in ("Xvfb", "xdotool")}
    missing = [name for name, path in found.items() if path is None]
    if missing:
        raise unittest.SkipTest(f"{' and '.join(missing)} not installed (Debian packages xvfb, xdotool)")
    return found["Xvfb"], found["xdotool"]


class Xvfb:
    """A private X server on a display number it picks itself."""

    def __init__(self, binary: str) -> None:
        read, write = os.pipe()
        try:
            self.proc = subprocess.Popen([binary, "-displayfd", str(write), "-screen", "0", "800x600x24", "-dpi", "96",
                                          "-nolisten", "tcp"], pass_fds=(write,), stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        finally:
            os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()  # written once the server accepts clients
        if not number:
            self.close()
            raise AssertionError("Xvfb did not start")
        self.display = f":{number}"

    def close(self) -> None:
        self.proc.terminate()
        try:
            self.proc.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


class GuiTest(RelayAssertions):
    def setUp(self):
        xvfb, self.xdotool_bin = tools()
        server = Xvfb(xvfb)
        self.addCleanup(server.close)
        self.display = server.display

    def xdotool(self, *args: str) -> str:
        out = subprocess.run([self.xdotool_bin, *args], env=dict(os.environ, DISPLAY=self.display),
                             capture_output=True, timeout=WAIT)
        return out.stdout.decode().strip() if out.returncode == 0 else ""

    def window(self, run: SkelvaneRun) -> str:
        deadline = time.monotonic() + WAIT
        while True:
            ids = self.xdotool("search", "--onlyvisible", "--name", f"^{TITLE}").split()
            if ids:
                return ids[0]
            if not run.running or time.monotonic() > deadline:
                raise AssertionError(f"no visible window named {TITLE!r}\n{run.describe()}")
            time.sleep(0.05)

    def click(self, wid: str, button: tuple[int, int, int, int]) -> None:
        x, y = center(button)
        self.xdotool("mousemove", "--window", wid, str(x), str(y), "click", "1")

    def test_disconnect_then_host_login_with_the_mouse(self):
        with SkelvaneRun(server_login_port=1, display=self.display) as run:
            wid = self.window(run)
            self.click(wid, DISCONNECT)
            run.wait_log("Listening stopped", exact=True)
            self.click(wid, HOST_LOGIN)
            msgs = run.wait_log("Await client-login connect at ", count=2)
            self.assertInOrder(msgs, [f"Await client-login connect at 127.0.0.1:{run.login_port}",
                                      "Listening stopped",
                                      f"Await client-login connect at 127.0.0.1:{run.login_port}"])
            self.assertCleanEnd(msgs, run)


if __name__ == "__main__":
    unittest.main()
