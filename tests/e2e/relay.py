"""What the end-to-end tests expect of the relay, stated once."""

from __future__ import annotations

import struct
import unittest

from oscar import SNAC_HEADER, Frame, flap, parse_flap

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
