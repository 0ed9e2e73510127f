"""A plug-in that hands the real program malformed records while a client
chats through it: the probe plug-in calls back with records of every kind 0
to 255, with L = 0, L of 70000 and more, PLUGIN_INFO whose title or version
runs past L, and answers EVENT_INIT with such an introduction. The host
ignores what it cannot use (unknown commands get the error reply), and the
chat goes on byte for byte in both directions."""

import struct
import unittest

import test_plugin
from oscar import CHANNEL_DATA
from relay import RelayAssertions
from rawpeer import Listener
from session import Session, same_but_seq
from skelvane_run import SkelvaneRun

EVENT_INIT, EVENT_CHAT_CONNECTED = 1, 4
PACKET_TO_CLIENT, PACKET_TO_SERVER = 80, 81
PLUGIN_INFO, PLUGIN_COMMAND = 2, 5
UNKNOWN_COMMAND_REPLY = "020000000702"


def with_l(l: int, rec: bytes) -> bytes:
    return struct.pack("<I", l) + rec[4:]


def info(n: int, title: bytes, version: int) -> bytes:
    return test_plugin.record(PLUGIN_INFO, struct.pack("<i", n) + title + struct.pack("<i", version))


def every_kind() -> list[bytes]:
    """One record of each kind; commands carry a code the host does not know."""
    return [test_plugin.record(kind, b"\xee\x01\x02") for kind in range(256)]


def bad_lengths() -> list[bytes]:
    frame = b"\x2a\x02\x00\x00\x00\x01\x41"
    base = test_plugin.command(PACKET_TO_CLIENT, frame)
    return [with_l(l, base) for l in (0, 70000, 70001, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF)] + [
        with_l(1, test_plugin.record(PLUGIN_COMMAND)),  # a command without its code
    ]


def bad_infos() -> list[bytes]:
    whole = info(8, b"Probe v1", 3)
    return [
        with_l(12, whole),  # the title runs past L
        with_l(16, whole),  # the version does not fit
        info(0x7FFFFFFF, b"Probe v1", 3),
        info(-1, b"Probe v1", 3),
        info(69990, b"", 3),
        with_l(1, whole),
        with_l(70000, whole),
    ]


class PluginRecordTest(RelayAssertions):
    def test_malformed_records_leave_the_chat_untouched(self):
        malformed = every_kind() + bad_lengths() + bad_infos()
        per_frame = bad_lengths()[:3] + every_kind()[:8]
        with Listener("login") as login, Listener("chat") as chat, \
                SkelvaneRun(login.port, plugin=test_plugin.probe_library()) as run:
            probe = test_plugin.Probe(run.dir)
            probe.script(
                *[f"{EVENT_INIT} call {r.hex()}" for r in malformed],
                f"{EVENT_INIT} answer {bad_infos()[0].hex()}",
                *[f"{EVENT_CHAT_CONNECTED} call {r.hex()}" for r in malformed],
                *[f"{code} call {r.hex()}" for code in (PACKET_TO_CLIENT, PACKET_TO_SERVER) for r in per_frame],
            )
            s = Session(run, login, chat)
            s.sign_on()
            s.chat_steps(4)
            s.traffic(100)
            s.end_chat()
            msgs = run.wait_log("Client-chat disconnected")
            self.assertNoInternalError(msgs)
            self.assertNotIn("Failed to transmit", " ".join(msgs))

            # Every call got the reply its record deserves: commands with an
            # unknown code the error reply, everything else none.
            calls = probe.calls()
            frames = 3 + 200  # hello, sign-on and 01-03, then the traffic
            self.assertEqual(len(calls), 2 * len(malformed) + frames * len(per_frame))
            for line, rec in zip(calls, malformed + malformed):
                l = struct.unpack("<I", rec[:4])[0]
                is_command = rec[4] == PLUGIN_COMMAND and 1 <= l < 70000
                expected = UNKNOWN_COMMAND_REPLY if is_command else "null"
                self.assertEqual(line.split()[3], expected, line)
            self.assertEqual(run.stop(), 0, run.describe())


if __name__ == "__main__":
    unittest.main()
