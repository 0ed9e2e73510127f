"""Plain, synchronous stand-ins for the ICQ client and servers, for tests
that must decide exactly when each byte goes out and how a connection ends
(a reset, a half frame, a burst followed by a close).

Every peer is a blocking loopback socket that the test drives step by step;
nothing answers by itself. Every wait is bounded.
"""

from __future__ import annotations

import socket
import struct
import time
from typing import Optional

from oscar import FrameReader, Frame, HELLO, flap, parse_tlvs, snac, tlv, tlv_value

WAIT = 10.0


class PeerClosed(AssertionError):
    """The other side ended the connection while frames were awaited."""


class Peer:
    """One end of a TCP connection. `received` holds every whole frame that
    arrived; `take` hands them out in order."""

    def __init__(self, sock: socket.socket, name: str) -> None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        sock.settimeout(WAIT)
        self.sock = sock
        self.name = name
        self.received: list[Frame] = []
        self.sent: list[bytes] = []
        self._reader = FrameReader()
        self._taken = 0
        self._seq = 0x0100
        self.ended = False  # the other side closed or reset the connection

    # -- sending
    def send(self, raw: bytes) -> None:
        self.sock.sendall(raw)

    def send_frame(self, channel: int, data: bytes = b"") -> bytes:
        raw = flap(channel, self._seq, data)
        self._seq = (self._seq + 1) & 0xFFFF
        self.sent.append(raw)
        self.send(raw)
        return raw

    # -- receiving
    def _read(self, timeout: float) -> bool:
        """Reads once; False when the connection ended."""
        self.sock.settimeout(max(timeout, 0.01))
        try:
            data = self.sock.recv(65536)
        except socket.timeout:
            return True
        except (ConnectionResetError, ConnectionAbortedError):
            data = b""
        if not data:
            self.ended = True
            return False
        self.received.extend(self._reader.feed(data))
        return True

    def take(self, count: int = 1, timeout: float = WAIT) -> list[Frame]:
        """The next `count` frames not handed out yet, once they are there."""
        deadline = time.monotonic() + timeout
        while len(self.received) < self._taken + count:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"{self.name}: timed out waiting for {count} frames, "
                                     f"have {len(self.received) - self._taken}")
            if not self.ended and not self._read(left):
                continue
            if self.ended and len(self.received) < self._taken + count:
                raise PeerClosed(f"{self.name}: closed with {len(self.received) - self._taken} of {count} "
                                 f"frames (pending {self._reader.pending[:16].hex()})")
        frames = self.received[self._taken : self._taken + count]
        self._taken += count
        return frames

    def wait_ended(self, timeout: float = WAIT) -> None:
        """Reads on until the other side ends the connection."""
        deadline = time.monotonic() + timeout
        while not self.ended:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"{self.name}: still open after {timeout:g} s")
            self._read(left)

    def quiet(self, seconds: float) -> list[Frame]:
        """Whatever arrives within `seconds` (the connection may end)."""
        deadline = time.monotonic() + seconds
        while not self.ended and time.monotonic() < deadline:
            self._read(deadline - time.monotonic())
        frames = self.received[self._taken :]
        self._taken = len(self.received)
        return frames

    @property
    def pending(self) -> bytes:
        """Bytes received that do not yet make a whole frame."""
        return self._reader.pending

    # -- ending
    def reset(self) -> None:
        """Ends the connection with a reset (SO_LINGER 0), not a close."""
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.sock.close()

    def close(self) -> None:
        try:
            self.sock.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        self.sock.close()


class Listener:
    """A loopback listener whose connections the test accepts by hand."""

    def __init__(self, name: str, backlog: int = 8) -> None:
        self.name = name
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(backlog)
        self.port = self.sock.getsockname()[1]
        self.count = 0

    @property
    def address(self) -> str:
        return f"127.0.0.1:{self.port}"

    def accept(self, timeout: float = WAIT) -> Peer:
        peer = self.poll(timeout)
        if peer is None:
            raise AssertionError(f"{self.name}: no connection within {timeout:g} s")
        return peer

    def poll(self, timeout: float) -> Optional[Peer]:
        """A connection if one comes within `timeout`, else None."""
        self.sock.settimeout(timeout)
        try:
            sock, _ = self.sock.accept()
        except socket.timeout:
            return None
        self.count += 1
        return Peer(sock, f"{self.name}#{self.count}")

    def close(self) -> None:
        self.sock.close()

    def __enter__(self) -> "Listener":
        return self

    def __exit__(self, *exc) -> None:
        self.close()


def connect(port: int, name: str) -> Peer:
    return Peer(socket.create_connection(("127.0.0.1", port), timeout=WAIT), name)


# ---------------------------------------------------------------- the frames of one session

COOKIE = bytes(range(0x30, 0x30 + 32))


def hello() -> bytes:
    return HELLO


def key_request(uin: str) -> bytes:
    return snac(0x17, 0x06, tlv(1, uin) + tlv(0x4B) + tlv(0x5A), request_id=1)


def key_reply() -> bytes:
    return snac(0x17, 0x07, struct.pack(">H", 4) + b"KEY!", request_id=1)


def login_request(uin: str) -> bytes:
    return snac(0x17, 0x02, tlv(1, uin) + tlv(0x25, bytes(16)) + tlv(3, "rawpeer"), request_id=2)


def login_reply(uin: str, chat_address: str) -> bytes:
    return snac(0x17, 0x03, tlv(1, uin) + tlv(5, chat_address) + tlv(6, COOKIE), request_id=2)


def redirect_of(frame: Frame) -> str:
    """The chat address that a 17-03 names."""
    return (tlv_value(parse_tlvs(frame.data[10:]), 5) or b"").decode("latin-1")
