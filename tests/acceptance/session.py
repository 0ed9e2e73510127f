"""Shared pieces of the acceptance tests: the cast of UINs, receivers signed
on directly at the sandbox, the notice that Dorrimel sends, and whole
sessions through the proxy with the scripted client."""

from __future__ import annotations

import datetime
import os
import re
import struct
import time
import unittest
from dataclasses import dataclass

from oscar import Client, parse_tlvs, tlv_value
from sandbox_run import SandboxRun, run_client
from skelvane_run import SkelvaneRun

SENDER = "11111"    # signs on through the proxy
ACKED = "22222"     # signed on at the sandbox; its messages are acknowledged
WITHHELD = "33333"  # signed on at the sandbox; the sandbox never acknowledges its messages
ABSENT = "44444"    # never signed on: the sandbox answers 4/01 and no ack

NOTICE = re.compile(r"^\[\[Dorrimel: The message sent on (\d\d:\d\d:\d\d) was not delivered to (\d+)\]\]$")
# Short time-outs, so that a notice comes about 1.5 s after its message.
DORRIMEL_INI = "TimerInterval = 200\r\nWaitTimeout = 1500\r\nRemoveTimeout = 10000\r\nNotifyType = {form}\r\nLogFile = 1\r\n"


def write_dorrimel_ini(run: SkelvaneRun, form: int) -> None:
    with open(os.path.join(run.dir, "dorrimel.ini"), "w", newline="") as f:
        f.write(DORRIMEL_INI.format(form=form))


def message_text(body: bytes) -> tuple[str, str]:
    """Sender and text of a 4/7 on channel 1 (the sandbox's relayed form)."""
    n = body[10]
    sender = body[11 : 11 + n].decode("ascii")
    off = 11 + n + 2
    (count,) = struct.unpack(">H", body[off : off + 2])
    off += 2
    for _ in range(count):
        (length,) = struct.unpack(">H", body[off + 2 : off + 4])
        off += 4 + length
    data = tlv_value(parse_tlvs(body[off:]), 2) or b""
    text, pos = b"", 0
    while pos + 4 <= len(data):
        kind, (length,) = data[pos], struct.unpack(">H", data[pos + 2 : pos + 4])
        if kind == 1:
            text += data[pos + 8 : pos + 4 + length]
        pos += 4 + length
    return sender, text.decode("latin-1")


def sign_on_at(sandbox: SandboxRun, uin: str) -> Client:
    """A receiver signed on directly at the sandbox (not through the proxy)."""
    client = Client(uin)
    client.sign_on("127.0.0.1", sandbox.login_port)
    client.connect_chat()
    sandbox.wait_line(f"chat: {uin} signed on from ")
    return client


@dataclass
class Outcome:
    code: int
    lines: list[str]
    local_seconds: set[str]  # every hh:mm:ss (local) while the client ran, one second either side
    utc_minutes: set[str]    # every YYYY-MM-DD HH:MM (UTC) while the client ran

    def starting(self, prefix: str) -> list[str]:
        return [line for line in self.lines if line.startswith(prefix)]


def run_sender(login_port: int, *args: str, uin: str = SENDER) -> Outcome:
    start = time.time()
    code, lines = run_client(login_port, uin, *args)
    end = time.time()
    local, utc = set(), set()
    t = start - 1
    while t <= end + 1:
        local.add(time.strftime("%H:%M:%S", time.localtime(t)))
        utc.add(datetime.datetime.fromtimestamp(t, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M"))
        t += 0.25
    return Outcome(code, lines, local, utc)


def wait_message(run: SkelvaneRun, match, mark: int, timeout: float = 15.0) -> str:
    """The first dump.log message after the first `mark` ones that `match`
    accepts, once it is there."""
    deadline = time.monotonic() + timeout
    while True:
        found = next((m for m in run.messages()[mark:] if match(m)), None)
        if found is not None:
            return found
        if not run.running or time.monotonic() > deadline:
            raise AssertionError(f"no such dump.log message after line {mark}\n{run.describe()}")
        time.sleep(0.02)


class AcceptanceCase(unittest.TestCase):
    def assertSignedOn(self, outcome: Outcome, uin: str = SENDER) -> None:
        self.assertIn(f"chat: signed on as {uin}", outcome.lines, "\n".join(outcome.lines))
        self.assertEqual(outcome.code, 0, "\n".join(outcome.lines))

    def assertNotice(self, text: str, uin: str, outcome: Outcome) -> None:
        m = NOTICE.match(text)
        self.assertIsNotNone(m, text)
        self.assertEqual(m.group(2), uin)
        self.assertIn(m.group(1), outcome.local_seconds)
