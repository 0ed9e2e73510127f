"""A skelvane.ini that cannot be used: a folder in its place, a file nobody
may read (the program started without root's right to read anything, when
the tests run as root), a link that leads nowhere readable, binary junk. The program starts
all the same, with the built-in endpoints (so these runs need the default
login port 5190 free), and ends normally on SIGTERM."""

import os
import random
import shutil
import socket
import unittest

from relay import RelayAssertions
from skelvane_run import SkelvaneRun

DEFAULTS = (b"HostLoginIP = localhost\r\nHostLoginPort = 5190\r\nServerLoginIP = login.icq.com\r\n"
            b"ServerLoginPort = 5190\r\nHostChatIP = localhost\r\nHostChatPort = 5191\r\n")


def default_port_free() -> bool:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", 5190))
            return True
        except OSError:
            return False


class OddSettingsRun(SkelvaneRun):
    """A run whose skelvane.ini is made by `make(path)` instead of written.
    Run by root, the program may be started without the capabilities that
    let root read and write any file (`plain_user`), so that file modes
    count for it as for anybody else."""

    def __init__(self, make, plain_user: bool = False) -> None:
        super().__init__(server_login_port=1)
        self._make = make
        self._plain_user = plain_user

    def write_ini(self, settings) -> None:
        self._make(os.path.join(self.dir, "skelvane.ini"))

    def command_prefix(self) -> list[str]:
        if self._plain_user and os.geteuid() == 0:
            return ["setpriv", "--bounding-set=-dac_override,-dac_read_search", "--"] + super().command_prefix()
        return super().command_prefix()


def junk(path: str) -> None:
    rng = random.Random(1)
    with open(path, "wb") as f:
        f.write(rng.randbytes(50000) + b"\r\n" + rng.randbytes(300) + b"=" + rng.randbytes(300) + b"\n")


def unreadable(path: str) -> None:
    with open(path, "wb") as f:
        f.write(b"HostLoginPort = 1\r\n")
    os.chmod(path, 0)


def endless_link(path: str) -> None:
    os.symlink(os.path.basename(path), path)  # a link to itself


class SettingsFileTest(RelayAssertions):
    def setUp(self):
        if not default_port_free():
            self.skipTest("the default login port 5190 is in use on this machine")

    def start_with_defaults(self, make, plain_user: bool = False):
        with OddSettingsRun(make, plain_user) as run:
            msgs = run.wait_log("Await client-login connect at ")
            self.assertIn("Await client-login connect at localhost:5190", msgs)
            self.assertCleanEnd(msgs, run)
            return run, run.messages()

    def test_folder_in_place_of_the_file(self):
        run, msgs = self.start_with_defaults(os.mkdir)
        # At shutdown the folder cannot be replaced by the file: reported, no more.
        self.assertEqual([m for m in msgs if m.startswith("INTERNAL ERROR")],
                         ["INTERNAL ERROR ul 75 Path/File access error"])

    def test_binary_junk(self):
        with OddSettingsRun(junk) as run:
            msgs = run.wait_log("Await client-login connect at ")
            self.assertIn("Await client-login connect at localhost:5190", msgs)
            self.assertEqual(run.stop(), 0, run.describe())
            self.assertNoInternalError(run.messages())
            self.assertEqual(run.read_endpoints(), DEFAULTS)

    def test_file_nobody_may_read(self):
        if os.geteuid() == 0 and shutil.which("setpriv") is None:
            self.skipTest("root reads any file, and setpriv is missing to start the program without that right")
        run, msgs = self.start_with_defaults(unreadable, plain_user=True)
        # Nor can it be replaced at shutdown.
        self.assertEqual([m for m in msgs if m.startswith("INTERNAL ERROR")],
                         ["INTERNAL ERROR ul 75 Path/File access error"])

    def test_link_that_leads_nowhere_readable(self):
        run, msgs = self.start_with_defaults(endless_link)
        self.assertEqual([m for m in msgs if m.startswith("INTERNAL ERROR")],
                         ["INTERNAL ERROR ul 75 Path/File access error"])


if __name__ == "__main__":
    unittest.main()
