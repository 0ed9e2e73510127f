"""The recorded chat session from the service: where it lies and what is in
it. It was recorded on TCP port 443 (plain OSCAR, no TLS) and holds no
sign-on part; a stretch in the middle was not recorded."""

from __future__ import annotations

import os
import unittest
from typing import Optional

import pcapng
from oscar import Frame, parse_flap, parse_message

SERVER_PORT = 443
RECIPIENT = b"461758769"  # the one message that asks for a server ack goes here


def path() -> str:
    return os.environ.get("OSCAR_CAPTURE", "")


def load() -> pcapng.Conversation:
    """The capture's frames; skips the test when the file is not there."""
    if not path() or not os.path.isfile(path()):
        raise unittest.SkipTest(f"the recorded session is not there: {path()!r} "
                                "(tests/replay/data holds oscar-bos-session.pcapng)")
    return pcapng.conversation(path(), SERVER_PORT)


def find_snac(frames: list[pcapng.CapturedFrame], family: int, subtype: int,
              recipient: Optional[bytes] = None) -> list[Frame]:
    """The frames of one SNAC, for instant messages only those naming
    `recipient`."""
    out = []
    for captured in frames:
        frame = parse_flap(captured.raw)
        if frame.is_snac(family, subtype) and (recipient is None or parse_message(frame.snac.body).uin == recipient):
            out.append(frame)
    return out
