"""OSCAR wire helpers and fake peers for the tests.

FLAP frames (0x2A, channel, 16-bit sequence, 16-bit length, data; all
big-endian), SNAC headers and TLVs, a reader that cuts a byte stream into
frames, and three stand-ins for the outside world: the service's login server,
its chat server and the user's messaging client. Each peer runs on loopback,
serves its connections on threads of its own with blocking sockets, records
every frame it sends and receives (raw bytes included), and bounds every wait
with a time-out so that a test never hangs.
"""

from __future__ import annotations

import hashlib
import socket
import struct
import threading
import time
from dataclasses import dataclass
from typing import Callable, Iterable, Optional

FLAP_MARKER = 0x2A
FLAP_HEADER = 6
SNAC_HEADER = 10
HELLO = b"\x00\x00\x00\x01"
WAIT = 10.0  # default bound of every wait, in seconds

CHANNEL_SIGNON = 1
CHANNEL_DATA = 2
CHANNEL_CLOSE = 4
CHANNEL_KEEPALIVE = 5


class PeerError(AssertionError):
    """A peer saw something it did not expect, or a wait ran out."""


# ---------------------------------------------------------------- framing


@dataclass(frozen=True)
class Frame:
    channel: int
    seq: int
    data: bytes
    raw: bytes

    @property
    def snac(self) -> Optional["Snac"]:
        return parse_snac(self.data) if self.channel == CHANNEL_DATA else None

    def is_snac(self, family: int, subtype: int) -> bool:
        s = self.snac
        return s is not None and s.family == family and s.subtype == subtype

    def without_seq(self) -> bytes:
        """The raw bytes with the sequence field blanked, for comparisons
        across a relay that renumbers frames."""
        return self.raw[:2] + b"\x00\x00" + self.raw[4:]


@dataclass(frozen=True)
class Snac:
    family: int
    subtype: int
    flags: int
    request_id: int
    body: bytes


def flap(channel: int, seq: int, data: bytes = b"") -> bytes:
    if len(data) > 0xFFFF:
        raise ValueError("FLAP data longer than 0xFFFF bytes")
    return struct.pack(">BBHH", FLAP_MARKER, channel, seq & 0xFFFF, len(data)) + data


def parse_flap(raw: bytes) -> Frame:
    if len(raw) < FLAP_HEADER or raw[0] != FLAP_MARKER:
        raise PeerError(f"not a FLAP frame: {raw[:16].hex()}")
    _, channel, seq, length = struct.unpack(">BBHH", raw[:FLAP_HEADER])
    if len(raw) != FLAP_HEADER + length:
        raise PeerError(f"FLAP length {length} but {len(raw) - FLAP_HEADER} data bytes")
    return Frame(channel, seq, bytes(raw[FLAP_HEADER:]), bytes(raw))


def snac(family: int, subtype: int, body: bytes = b"", flags: int = 0, request_id: int = 0) -> bytes:
    return struct.pack(">HHHI", family, subtype, flags, request_id) + body


def parse_snac(data: bytes) -> Optional[Snac]:
    if len(data) < SNAC_HEADER:
        return None
    family, subtype, flags, request_id = struct.unpack(">HHHI", data[:SNAC_HEADER])
    return Snac(family, subtype, flags, request_id, bytes(data[SNAC_HEADER:]))


def tlv(kind: int, value: bytes | str = b"") -> bytes:
    if isinstance(value, str):
        value = value.encode("latin-1")
    return struct.pack(">HH", kind, len(value)) + value


def parse_tlvs(data: bytes) -> list[tuple[int, bytes]]:
    """The TLVs of a block, in order; a truncated last TLV is an error."""
    out, off = [], 0
    while off < len(data):
        if off + 4 > len(data):
            raise PeerError(f"truncated TLV header at {off}")
        kind, length = struct.unpack(">HH", data[off : off + 4])
        if off + 4 + length > len(data):
            raise PeerError(f"TLV {kind} runs past its block")
        out.append((kind, bytes(data[off + 4 : off + 4 + length])))
        off += 4 + length
    return out


def tlv_value(tlvs: Iterable[tuple[int, bytes]], kind: int) -> Optional[bytes]:
    for k, v in tlvs:
        if k == kind:
            return v
    return None


class FrameReader:
    """Cuts a byte stream into FLAP frames, whatever the pieces it comes in."""

    def __init__(self) -> None:
        self._buf = bytearray()

    def feed(self, data: bytes) -> list[Frame]:
        self._buf += data
        frames = []
        while len(self._buf) >= FLAP_HEADER:
            if self._buf[0] != FLAP_MARKER:
                raise PeerError(f"stream lost its framing: {bytes(self._buf[:16]).hex()}")
            total = FLAP_HEADER + struct.unpack(">H", self._buf[4:6])[0]
            if len(self._buf) < total:
                break
            frames.append(parse_flap(bytes(self._buf[:total])))
            del self._buf[:total]
        return frames

    @property
    def pending(self) -> bytes:
        return bytes(self._buf)


# ---------------------------------------------------------------- connections


def _wait(cond: threading.Condition, ready: Callable[[], bool], timeout: float, what: str) -> None:
    deadline = time.monotonic() + timeout
    with cond:
        while not ready():
            left = deadline - time.monotonic()
            if left <= 0:
                raise PeerError(f"timed out after {timeout:g} s waiting for {what}")
            cond.wait(left)


class Connection:
    """One TCP connection of a peer. A thread reads it and records every frame;
    `handler` (when given) runs on that thread for each frame, to answer it.
    Sends are serialised and recorded in wire order."""

    def __init__(self, sock: socket.socket, name: str, handler: Optional[Callable[["Connection", Frame], None]] = None):
        self.name = name
        self.sock = sock
        self.received: list[Frame] = []
        self.sent: list[Frame] = []
        self.error: Optional[BaseException] = None
        self.closed_by_peer = False
        self._handler = handler
        self._cond = threading.Condition()
        self._send_lock = threading.Lock()
        self._done = False
        self._closing = False
        self._seq = 0
        sock.settimeout(30.0)  # bounds a blocked send; reads wake on close
        self._thread = threading.Thread(target=self._read_loop, name=name, daemon=True)
        self._thread.start()

    # -- reading
    def _read_loop(self) -> None:
        reader = FrameReader()
        try:
            while True:
                try:
                    data = self.sock.recv(65536)
                except socket.timeout:
                    continue
                if not data:
                    self.closed_by_peer = True
                    break
                for frame in reader.feed(data):
                    with self._cond:
                        self.received.append(frame)
                        self._cond.notify_all()
                    if self._handler is not None:
                        self._handler(self, frame)
        except OSError as exc:
            if not self._closing:
                self.closed_by_peer = True
                if not isinstance(exc, (ConnectionResetError, ConnectionAbortedError)):
                    self.error = exc
        except BaseException as exc:  # a handler's complaint: keep it for the test
            self.error = exc
            try:  # and hang up, as a real server would
                self.sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        finally:
            with self._cond:
                self._done = True
                self._cond.notify_all()

    def wait_frames(self, count: int, timeout: float = WAIT) -> list[Frame]:
        """The first `count` frames received, once they are all there."""
        _wait(self._cond, lambda: len(self.received) >= count or self._done, timeout, f"{count} frames on {self.name}")
        with self._cond:
            if len(self.received) < count:
                raise PeerError(f"{self.name} closed after {len(self.received)} of {count} frames{self._why()}")
            return list(self.received[:count])

    def wait_for(self, match: Callable[[Frame], bool], timeout: float = WAIT, what: str = "a frame", start: int = 0) -> Frame:
        """The first frame received at index `start` or later that matches."""

        def found() -> Optional[Frame]:
            return next((f for f in self.received[start:] if match(f)), None)

        _wait(self._cond, lambda: found() is not None or self._done, timeout, f"{what} on {self.name}")
        with self._cond:
            frame = found()
        if frame is None:
            raise PeerError(f"{self.name} closed before {what}{self._why()}")
        return frame

    def wait_snac(self, family: int, subtype: int, timeout: float = WAIT, start: int = 0) -> Frame:
        return self.wait_for(lambda f: f.is_snac(family, subtype), timeout, f"SNAC {family:02X}-{subtype:02X}", start)

    def wait_closed(self, timeout: float = WAIT) -> None:
        """Waits until the other side closed the connection (or it broke)."""
        _wait(self._cond, lambda: self._done, timeout, f"{self.name} to close")

    def _why(self) -> str:
        return f" ({self.error!r})" if self.error else ""

    # -- sending
    def next_seq(self) -> int:
        self._seq = (self._seq + 1) & 0xFFFF
        return self._seq

    def start_seq(self, seq: int) -> None:
        """The sequence number the next `send_frame` uses."""
        self._seq = (seq - 1) & 0xFFFF

    def send_frame(self, channel: int, data: bytes = b"") -> Frame:
        """Sends one frame numbered by this side's own counter."""
        with self._send_lock:
            raw = flap(channel, self.next_seq(), data)
            self._send_locked(raw)
        return parse_flap(raw)

    def send_raw(self, raw: bytes) -> None:
        """Sends bytes as they are; whole frames in them are recorded as sent."""
        with self._send_lock:
            self._send_locked(raw)

    def send_frames(self, frames: list[bytes]) -> None:
        """Sends already built frames in one write."""
        with self._send_lock:
            self._send_locked(b"".join(frames))

    def send_pieces(self, raw: bytes, cuts: Iterable[int], pause: float) -> None:
        """Sends `raw` cut at the given offsets, pausing between the pieces so
        that the receiver sees them in separate reads."""
        with self._send_lock:
            for frame in FrameReader().feed(raw):
                self.sent.append(frame)
            last = 0
            for cut in list(cuts) + [len(raw)]:
                self.sock.sendall(raw[last:cut])
                last = cut
                if cut < len(raw):
                    time.sleep(pause)

    def _send_locked(self, raw: bytes) -> None:
        self.sent.extend(FrameReader().feed(raw))
        self.sock.sendall(raw)

    # -- closing
    def close(self) -> None:
        self._closing = True
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self._thread.join(timeout=WAIT)


class _Listener:
    """A loopback listener (any address of 127/8) that answers each accepted
    connection through `_on_connect` and `_on_frame`."""

    def __init__(self, name: str, port: int = 0, host: str = "127.0.0.1") -> None:
        self.name = name
        self.host = host
        self.connections: list[Connection] = []
        self._cond = threading.Condition()
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._sock.bind((host, port))
        self._sock.listen(8)
        self._sock.settimeout(0.2)
        self.port = self._sock.getsockname()[1]
        self._stop = False
        self._thread = threading.Thread(target=self._accept_loop, name=name, daemon=True)
        self._thread.start()

    @property
    def address(self) -> str:
        return f"{self.host}:{self.port}"

    def _accept_loop(self) -> None:
        while not self._stop:
            try:
                sock, _ = self._sock.accept()
            except socket.timeout:
                continue
            except OSError:
                break
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            conn = Connection(sock, f"{self.name}#{len(self.connections)}", self._on_frame)
            self._on_connect(conn)
            with self._cond:
                self.connections.append(conn)
                self._cond.notify_all()

    def _on_connect(self, conn: Connection) -> None:
        raise NotImplementedError

    def _on_frame(self, conn: Connection, frame: Frame) -> None:
        raise NotImplementedError

    def wait_connection(self, index: int = 0, timeout: float = WAIT) -> Connection:
        """The index-th connection accepted, once it is there."""
        _wait(self._cond, lambda: len(self.connections) > index, timeout, f"connection {index} to {self.name}")
        with self._cond:
            return self.connections[index]

    @property
    def received(self) -> list[Frame]:
        """Every frame received, over all connections in order of acceptance."""
        with self._cond:
            return [f for c in self.connections for f in c.received]

    def errors(self) -> list[str]:
        with self._cond:
            return [f"{c.name}: {c.error!r}" for c in self.connections if c.error]

    def close(self) -> None:
        self._stop = True
        self._sock.close()
        self._thread.join(timeout=WAIT)
        with self._cond:
            conns = list(self.connections)
        for c in conns:
            c.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc) -> None:
        self.close()


# ---------------------------------------------------------------- servers


class LoginServer(_Listener):
    """The service's login server: hello on connect; 17-06 is answered by 17-07
    (the auth key), 17-02 by 17-03 (TLV 1 UIN, TLV 5 chat address, TLV 6
    cookie), after which the server closes the connection. A classic login
    (the hello with TLVs on channel 1) gets the same TLVs on channel 4. With
    `redirect` off it closes after the login without answering, like a
    refused sign-on."""

    AUTH_KEY = b"3141592653"

    def __init__(self, chat_address: str = "127.0.0.1:5190", cookie: bytes = b"", redirect: bool = True, port: int = 0,
                 first_seq: int = 0x5A00) -> None:
        self.chat_address = chat_address
        self.cookie = cookie or bytes(range(0x40, 0x40 + 64))
        self.redirect = redirect
        self.first_seq = first_seq
        super().__init__("login-server", port)

    def _on_connect(self, conn: Connection) -> None:
        conn.start_seq(self.first_seq)
        conn.send_frame(CHANNEL_SIGNON, HELLO)

    def _on_frame(self, conn: Connection, frame: Frame) -> None:
        if frame.channel == CHANNEL_SIGNON and len(frame.data) > len(HELLO):
            if self.redirect:
                uin = tlv_value(parse_tlvs(frame.data[len(HELLO):]), 1) or b""
                conn.send_frame(CHANNEL_CLOSE, self.reply_tlvs(uin))
            conn.sock.shutdown(socket.SHUT_WR)
            return
        s = frame.snac
        if s is None or s.family != 0x17:
            return
        if s.subtype == 0x06:
            body = struct.pack(">H", len(self.AUTH_KEY)) + self.AUTH_KEY
            conn.send_frame(CHANNEL_DATA, snac(0x17, 0x07, body, request_id=s.request_id))
        elif s.subtype == 0x02:
            if self.redirect:
                uin = tlv_value(parse_tlvs(s.body), 1) or b""
                conn.send_frame(CHANNEL_DATA, self.reply_17_03(uin, s.request_id))
            conn.sock.shutdown(socket.SHUT_WR)

    def reply_tlvs(self, uin: bytes) -> bytes:
        return tlv(1, uin) + tlv(5, self.chat_address) + tlv(6, self.cookie)

    def reply_17_03(self, uin: bytes, request_id: int) -> bytes:
        return snac(0x17, 0x03, self.reply_tlvs(uin) + tlv(0x8E, b"\x00"), request_id=request_id)


class QuietServer(_Listener):
    """A server that only records: it sends nothing unless the test does, for
    replaying a recorded conversation through the proxy."""

    def __init__(self, port: int = 0) -> None:
        super().__init__("quiet-server", port)

    def _on_connect(self, conn: Connection) -> None:
        pass

    def _on_frame(self, conn: Connection, frame: Frame) -> None:
        pass


class ChatServer(_Listener):
    """The service's chat (session) server: hello on connect; the client's
    channel-1 frame must carry the expected cookie (TLV 6), after which the
    server sends 01-03 (online, families); every 4/6 that carries TLV 3 gets
    a server ack 4/0C with its cookie, channel and UIN."""

    FAMILIES = (0x0001, 0x0002, 0x0003, 0x0004, 0x0009, 0x0013, 0x0015)

    def __init__(self, cookie: bytes, port: int = 0, first_seq: int = 0x1F00, host: str = "127.0.0.1") -> None:
        self.cookie = cookie
        self.first_seq = first_seq
        super().__init__("chat-server", port, host)

    def _on_connect(self, conn: Connection) -> None:
        conn.start_seq(self.first_seq)
        conn.signed_on = False  # type: ignore[attr-defined]
        conn.send_frame(CHANNEL_SIGNON, HELLO)

    def _on_frame(self, conn: Connection, frame: Frame) -> None:
        if frame.channel == CHANNEL_SIGNON and not getattr(conn, "signed_on", False):
            if not frame.data.startswith(HELLO):
                raise PeerError(f"chat sign-on without hello: {frame.raw.hex()}")
            cookie = tlv_value(parse_tlvs(frame.data[4:]), 6)
            if cookie != self.cookie:
                raise PeerError(f"chat sign-on with cookie {cookie!r}, expected {self.cookie!r}")
            conn.signed_on = True  # type: ignore[attr-defined]
            families = b"".join(struct.pack(">H", f) for f in self.FAMILIES)
            conn.send_frame(CHANNEL_DATA, snac(0x01, 0x03, families))
            return
        s = frame.snac
        if s is not None and s.family == 0x04 and s.subtype == 0x06:
            msg = parse_message(s.body)
            if tlv_value(msg.tlvs, 3) is not None:
                body = msg.cookie + struct.pack(">H", msg.channel) + bytes([len(msg.uin)]) + msg.uin
                conn.send_frame(CHANNEL_DATA, snac(0x04, 0x0C, body, request_id=s.request_id))


@dataclass(frozen=True)
class Message:
    cookie: bytes
    channel: int
    uin: bytes
    tlvs: list[tuple[int, bytes]]


def build_message(cookie: bytes, uin: str, text: str, want_ack: bool, channel: int = 1) -> bytes:
    """The body of a 4/6 (send message) on message channel 1."""
    if len(cookie) != 8:
        raise ValueError("message cookie is 8 bytes")
    uin_bytes = uin.encode("ascii")
    text_bytes = text.encode("latin-1")
    # Capabilities fragment, then the text fragment (charset 0, subset 0).
    fragment = (b"\x05\x01\x00\x01\x01" + b"\x01\x01" + struct.pack(">H", 4 + len(text_bytes))
                + b"\x00\x00\x00\x00" + text_bytes)
    body = cookie + struct.pack(">H", channel) + bytes([len(uin_bytes)]) + uin_bytes + tlv(2, fragment)
    if want_ack:
        body += tlv(3)
    return body


def parse_message(body: bytes) -> Message:
    """Cookie, channel, UIN and TLVs of a 4/6 body (also the head of a 4/0C)."""
    if len(body) < 11:
        raise PeerError(f"message body too short: {body.hex()}")
    cookie, channel, n = body[:8], struct.unpack(">H", body[8:10])[0], body[10]
    uin = body[11 : 11 + n]
    return Message(bytes(cookie), channel, bytes(uin), parse_tlvs(body[11 + n :]))


# ---------------------------------------------------------------- client


@dataclass(frozen=True)
class Redirect:
    host: str
    port: int
    cookie: bytes


class Client:
    """The user's messaging client. `sign_on` goes through a login address,
    `connect_chat` follows the redirect it got; `login` and `chat` are the two
    connections with everything they sent and received."""

    CLIENT_ID = "ICQ Inc. - Product of ICQ (TM).2003b.5.56.1.3916.85"
    ROAST = bytes.fromhex("F32681C43986DB9271A3B9E6537A957C")  # the classic login's password XOR

    def __init__(self, uin: str, password: str = "secret", login_seq: int = 0x0A10, chat_seq: int = 0x0C20) -> None:
        self.uin = uin
        self.password = password
        self.login_seq = login_seq
        self.chat_seq = chat_seq
        self.login: Optional[Connection] = None
        self.chat: Optional[Connection] = None
        self.redirect: Optional[Redirect] = None
        self._request_id = 0

    def _req(self) -> int:
        self._request_id += 1
        return self._request_id

    @staticmethod
    def _connect(host: str, port: int, name: str) -> Connection:
        sock = socket.create_connection((host, port), timeout=WAIT)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return Connection(sock, name)

    def open_login(self, host: str, port: int) -> Connection:
        """Connects to a login address and waits for the server's hello."""
        self.login = self._connect(host, port, f"client-{self.uin}-login")
        self.login.start_seq(self.login_seq)
        hello = self.login.wait_frames(1)[0]
        if hello.channel != CHANNEL_SIGNON or hello.data != HELLO:
            raise PeerError(f"login hello expected, got {hello.raw.hex()}")
        return self.login

    def request_key(self) -> bytes:
        """Sends the hello and 17-06 and returns the key of the 17-07."""
        conn = self.login
        conn.send_frame(CHANNEL_SIGNON, HELLO)
        conn.send_frame(CHANNEL_DATA, snac(0x17, 0x06, tlv(1, self.uin) + tlv(0x4B) + tlv(0x5A), request_id=self._req()))
        key_body = conn.wait_snac(0x17, 0x07).snac.body
        (n,) = struct.unpack(">H", key_body[:2])
        return key_body[2 : 2 + n]

    def send_login(self, key: bytes) -> None:
        digest = hashlib.md5(key + hashlib.md5(self.password.encode()).digest() + b"AOL Instant Messenger (SM)").digest()
        body = (tlv(1, self.uin) + tlv(0x25, digest) + tlv(0x4C) + tlv(3, self.CLIENT_ID)
                + tlv(0x16, b"\x01\x0a") + tlv(0x0E, "us") + tlv(0x0F, "en"))
        self.login.send_frame(CHANNEL_DATA, snac(0x17, 0x02, body, request_id=self._req()))

    def send_classic_login(self) -> None:
        password = bytes(b ^ self.ROAST[i % 16] for i, b in enumerate(self.password.encode("latin-1")))
        self.login.send_frame(CHANNEL_SIGNON, HELLO + tlv(1, self.uin) + tlv(2, password) + tlv(3, self.CLIENT_ID)
                              + tlv(0x16, b"\x01\x0a") + tlv(0x0F, "en") + tlv(0x0E, "us"))

    def sign_on(self, host: str, port: int, classic: bool = False) -> Redirect:
        """The whole login conversation, with the MD5 key exchange or the
        classic login: returns the redirect of the reply, after the login
        connection was closed by the other side."""
        self.open_login(host, port)
        if classic:
            self.send_classic_login()
            reply = self.login.wait_for(lambda f: f.channel == CHANNEL_CLOSE, what="the channel-4 reply").data
        else:
            self.send_login(self.request_key())
            reply = self.login.wait_snac(0x17, 0x03).snac.body
        tlvs = parse_tlvs(reply)
        address = (tlv_value(tlvs, 5) or b"").decode("latin-1")
        cookie = tlv_value(tlvs, 6) or b""
        chat_host, _, chat_port = address.rpartition(":")
        self.redirect = Redirect(chat_host, int(chat_port), cookie)
        self.login.wait_closed()
        return self.redirect

    def connect_chat(self, host: Optional[str] = None, port: Optional[int] = None) -> Connection:
        """Follows the redirect (or the given address): hello with the cookie,
        then waits for the server's 01-03."""
        host = host or self.redirect.host
        port = port or self.redirect.port
        self.chat = self._connect(host, port, f"client-{self.uin}-chat")
        self.chat.start_seq(self.chat_seq)
        hello = self.chat.wait_frames(1)[0]
        if hello.channel != CHANNEL_SIGNON or hello.data != HELLO:
            raise PeerError(f"chat hello expected, got {hello.raw.hex()}")
        self.chat.send_frame(CHANNEL_SIGNON, HELLO + tlv(6, self.redirect.cookie))
        self.chat.wait_snac(0x01, 0x03)
        return self.chat

    def send_message(self, to_uin: str, text: str, cookie: bytes, want_ack: bool = True) -> Frame:
        body = build_message(cookie, to_uin, text, want_ack)
        return self.chat.send_frame(CHANNEL_DATA, snac(0x04, 0x06, body, request_id=self._req()))

    def close(self) -> None:
        for conn in (self.login, self.chat):
            if conn is not None:
                conn.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc) -> None:
        self.close()
