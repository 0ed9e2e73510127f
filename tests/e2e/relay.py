"""What the end-to-end tests expect of the relay, stated once."""

from __future__ import annotations

import struct
import unittest

from oscar import SNAC_HEADER, Frame, flap, parse_flap
from skelvane_run import INI_KEYS

COOKIE = bytes(range(0xA0, 0xA0 + 48))


def renumbered(first: int, count: int) -> list[int]:
    """The sequence numbers the proxy stamps: from `first`, 0 after 0x7FFF."""
    out, seq = [], first
    for _ in range(count):
        out.append(seq)
        seq = 0 if seq + 1 > 0x7FFF else seq + 1
    return out


def rewritten_redirect(raw: bytes, value: str) -> bytes:
    """The login reply as the proxy should pass it on: TLV 5's value replaced
    by `value`, the FLAP length adjusted, every other byte kept."""
    frame = parse_flap(raw)
    off = SNAC_HEADER
    data = frame.data
    while off + 4 <= len(data):
        kind, length = struct.unpack(">HH", data[off : off + 4])
        if kind == 5:
            new = value.encode("latin-1")
            data = data[: off + 2] + struct.pack(">H", len(new)) + new + data[off + 4 + length :]
            return flap(frame.channel, frame.seq, data)
        off += 4 + length
    raise AssertionError("reply without TLV 5")


class RelayAssertions(unittest.TestCase):
    def assertRelayed(self, sent: list[Frame], received: list[Frame], first_seq: int, what: str) -> None:
        """`received` holds exactly the frames of `sent`, in order, each with
        all bytes kept but the sequence field, numbered from `first_seq`."""
        self.assertEqual(len(received), len(sent), f"{what}: frame count")
        expected = renumbered(first_seq, len(sent))
        for i, (s, r) in enumerate(zip(sent, received)):
            if r.seq != expected[i] or r.without_seq() != s.without_seq():
                self.fail(f"{what}: frame {i} of {len(sent)}: expected seq {expected[i]:#06x} and "
                          f"{s.without_seq()[:32].hex()}..., got seq {r.seq:#06x} and {r.without_seq()[:32].hex()}...")

    def assertSameBytes(self, sent: list[Frame], received: list[Frame], what: str) -> None:
        self.assertEqual([f.raw.hex() for f in received], [f.raw.hex() for f in sent], what)

    def assertInOrder(self, messages: list[str], expected: list[str], what: str = "dump.log") -> None:
        """Each expected message occurs, in this order (others may lie between);
        an expected text ending in "..." matches as a prefix."""
        pos = 0
        for want in expected:
            prefix = want[:-3] if want.endswith("...") else None
            while pos < len(messages) and not (messages[pos].startswith(prefix) if prefix is not None
                                               else messages[pos] == want):
                pos += 1
            if pos == len(messages):
                self.fail(f"{what}: {want!r} missing or out of order in:\n" + "\n".join(messages))
            pos += 1

    def assertNoInternalError(self, messages: list[str]) -> None:
        self.assertEqual([m for m in messages if m.startswith("INTERNAL ERROR")], [])

    def assertCleanEnd(self, messages: list[str], run) -> None:
        """No internal error was logged, and the run stops with exit code 0."""
        self.assertNoInternalError(messages)
        self.assertEqual(run.stop(), 0, run.describe())

    def assertClientLeft(self, msgs: list[str], run, chat, first: list[str]) -> None:
        """The session whose log begins with `first` ended when the client left:
        the proxy hung up on the chat server, its login listener open all
        along; then the run stops cleanly."""
        self.assertInOrder(msgs, first + ["Client-chat connected", f"Connected to server-chat {chat.address}",
                                          "Client-chat disconnected"])
        self.assertNotIn("Server-chat disconnected", msgs)
        self.assertListenedOnce(msgs)
        self.assertCleanEnd(msgs, run)

    def assertListenedOnce(self, msgs: list[str]) -> None:
        """The login listener opened once and stayed open for every sign-on."""
        self.assertEqual(sum(m.startswith("Await client-login connect at ") for m in msgs), 1, msgs)

    def assertTwoSessions(self, msgs: list[str], run, chat, login) -> None:
        """Two whole sign-ons in one run, the first ended by the client and the
        second by the server, on the one login listener."""
        listen = f"Await client-login connect at 127.0.0.1:{run.login_port}"
        session = ["Client-login connected, connecting to server...",
                   f"Connected to server-login 127.0.0.1:{login.port}", "SNAC 17-06 (UIN) detected",
                   run.plugin_line, "SNAC 17-03 (URL) detected", f"Found and removed redirect to {chat.address}",
                   f"Await client-chat connect at 127.0.0.1:{run.chat_port}", "Client-chat connected",
                   f"Connected to server-chat {chat.address}"]
        self.assertEqual(msgs[0], "Started")
        self.assertRegex(msgs[1], r"^Date: \d{4}-\d\d-\d\d$")
        self.assertInOrder(msgs, [listen] + session + ["Client-chat disconnected"] + session
                           + ["Server-chat disconnected"])
        self.assertListenedOnce(msgs)
        self.assertNoInternalError(msgs)
        self.assertEqual(chat.errors() + login.errors(), [])

    def assertStopWritesSettings(self, run, *stop) -> None:
        """The run stops cleanly (run.stop(*stop)), writes its six endpoints and
        its window's place to skelvane.ini and leaves every line of dump.log in the dump format."""
        self.assertEqual(run.stop(*stop), 0, run.describe())
        expected = "".join(f"{k} = {run.settings[k]}\r\n" for k in INI_KEYS)
        self.assertEqual(run.read_endpoints().decode("latin-1"), expected)
        run.dump()
