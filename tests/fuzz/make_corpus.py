#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/)
from the frames, records and settings files the tests use. Run once after a
change of an input format; the files are kept in the repository.

    python3 tests/fuzz/make_corpus.py
"""

from __future__ import annotations

import hashlib
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

from oscar import HELLO, build_message, flap, snac, tlv  # noqa: E402
from rawpeer import COOKIE, key_reply, key_request, login_reply, login_request  # noqa: E402

UIN = "123456789"
PLUGIN_INFO, PLUGIN_EVENT, PLUGIN_COMMAND = 2, 3, 5
PACKET_TO_CLIENT, PACKET_TO_SERVER, CLOSE_CLIENT_CHAT = 80, 81, 10


def login_frames() -> list[bytes]:
    return [
        flap(1, 0x5A00, HELLO),
        flap(1, 0x0A10, HELLO),
        flap(2, 0x0A11, key_request(UIN)),
        flap(2, 0x5A01, key_reply()),
        flap(2, 0x0A12, login_request(UIN)),
        flap(2, 0x5A02, login_reply(UIN, "192.0.2.10:5190")),
    ]


def chat_frames() -> list[bytes]:
    return [
        flap(1, 0x1F00, HELLO),
        flap(1, 0x0C20, HELLO + tlv(6, COOKIE)),
        flap(2, 0x1F01, snac(0x01, 0x03, b"\x00\x01\x00\x02\x00\x03\x00\x04")),
        flap(2, 0x0C21, snac(0x04, 0x06, build_message(b"COOKIE01", "987654321", "hello", True), request_id=7)),
        flap(2, 0x1F02, snac(0x04, 0x0C, b"COOKIE01\x00\x01\x09987654321", request_id=7)),
        flap(5, 0x0C22),
    ]


def slices(stream: bytes, sizes: list[int]) -> bytes:
    """The collector target's input: (16-bit length, bytes) pieces."""
    out, at, i = b"", 0, 0
    while at < len(stream):
        n = sizes[i % len(sizes)]
        out += struct.pack(">H", n) + stream[at : at + n]
        at, i = at + n, i + 1
    return out


def record(kind: int, payload: bytes = b"") -> bytes:
    return struct.pack("<I", 1 + len(payload)) + bytes([kind]) + payload


def event(code: int, data: bytes = b"") -> bytes:
    return record(PLUGIN_EVENT, bytes([code]) + data)


def collector_seeds() -> list[bytes]:
    login = b"".join(login_frames())
    chat = b"".join(chat_frames())
    big = flap(2, 1, bytes(range(256)) * 255 + bytes(range(255)))  # data length 0xFFFF
    return [
        slices(login, [1000]),
        slices(login, [1, 5, 6, 7]),
        slices(chat, [3, 1000]),
        slices(chat + chat, [37]),
        slices(big, [1000]),
        slices(b"GET / HTTP/1.0\r\n\r\n" + login, [4, 1000]),
        slices(flap(2, 1, b"\x00" * 10)[:5], [2]),
    ]


def uin_seeds() -> list[bytes]:
    return [
        flap(2, 0x0A11, key_request(UIN)),
        flap(2, 0x0A12, login_request(UIN)),
        flap(2, 1, snac(0x17, 0x06, tlv(1, ""))),
        flap(2, 1, snac(0x17, 0x06, tlv(1, "99999999999999999999"))),
        flap(2, 1, snac(0x17, 0x06, struct.pack(">HH", 1, 400) + b"12")),
        flap(2, 1, snac(0x17, 0x06))[:12],
        flap(1, 0x0A10, HELLO + tlv(1, UIN) + tlv(2, b"\xc2\x43") + tlv(3, "ICQ Inc.")),
        flap(1, 0x0A10, HELLO + tlv(3, "x") + struct.pack(">HH", 1, 40) + b"12"),
    ]


def redirect_seeds() -> list[bytes]:
    body = tlv(1, UIN) + tlv(5, "192.0.2.10:5190") + tlv(6, COOKIE)
    return [
        flap(2, 0x5A02, login_reply(UIN, "192.0.2.10:5190")),
        flap(2, 1, snac(0x17, 0x03, body)),
        flap(2, 1, snac(0x17, 0x03, tlv(1, UIN) + tlv(6, COOKIE))),
        flap(2, 1, snac(0x17, 0x03, tlv(5, "chat.example"))),
        flap(2, 1, snac(0x17, 0x03, tlv(5, ":5191"))),
        flap(2, 1, snac(0x17, 0x03, tlv(5, "host:"))),
        flap(2, 1, snac(0x17, 0x03, tlv(5, "host:99999"))),
        flap(2, 1, b"\x00\x8e\x00\x01\x00" + tlv(5, "192.0.2.10:5190")),
        flap(2, 1, snac(0x17, 0x03, struct.pack(">HH", 5, 500) + b"10.0.0.1:1")),
        flap(2, 1, snac(0x17, 0x03, tlv(1, UIN) + tlv(5, "x" * 900) + tlv(6, COOKIE * 30))),
        flap(4, 0x5A01, body),
        flap(4, 0x5A01, tlv(1, UIN) + tlv(4, "http://example/err") + tlv(8, b"\x00\x05")),
        flap(4, 0x5A01, tlv(1, UIN) + struct.pack(">HH", 5, 400) + b"10.0.0.1:1"),
    ]


def callback_seeds() -> list[bytes]:
    frame = flap(2, 0x7777, snac(0x04, 0x07, b"INJECTED" + tlv(2, "from the plug-in")))
    info = record(PLUGIN_INFO, struct.pack("<I", 8) + b"Probe v1" + struct.pack("<I", 4))
    return [
        b"\x01" + info,
        b"\x01" + struct.pack("<I", 12) + info[4:],
        b"\x00" + info,
        b"\x02" + record(PLUGIN_COMMAND, bytes([PACKET_TO_CLIENT]) + frame),
        b"\x02" + record(PLUGIN_COMMAND, bytes([PACKET_TO_SERVER]) + frame),
        b"\x00" + record(PLUGIN_COMMAND, bytes([PACKET_TO_SERVER]) + frame),
        b"\x02" + record(PLUGIN_COMMAND, bytes([CLOSE_CLIENT_CHAT])),
        b"\x02" + record(PLUGIN_COMMAND, b"\x63"),
        b"\x02" + struct.pack("<I", 69999) + bytes([PLUGIN_COMMAND, PACKET_TO_SERVER]) + frame,
        b"\x02" + struct.pack("<I", 70000) + bytes([PLUGIN_COMMAND, PACKET_TO_SERVER]) + frame,
        b"\x02" + record(9, b"\x50"),
    ]


def ini_seeds() -> list[bytes]:
    written = (b"HostLoginIP = localhost\r\nHostLoginPort = 5190\r\nServerLoginIP = login.icq.com\r\n"
               b"ServerLoginPort = 5190\r\nHostChatIP = localhost\r\nHostChatPort = 5191\r\n")
    return [
        b"\x00" + written,
        b"\x00" + b"ServerLoginPort=5191\r\nkey = a = b\r\nHostChatIP = \" lead\"\r\nq = \"x\"\"y\"r\"z\"\r\n",
        b"\x00" + b"".join(b"k%d = v%d\r\n" % (i, i) for i in range(25)),
        b"\x00" + b"hostloginip = nope\r\nHostLoginIP = \"\r\nHostLoginIP = second\r\n",
        b"\x01" + b"\x00".join([b"HostLoginIP", b" 127.0.0.1", b"Quote", b"a\"b", b"Empty", b"", b"CR", b"x\ry"]),
        b"\x01" + b"\x00".join([b"k", b"\"", b" k ", b"v "]),
    ]


def dorrimel_program() -> list[bytes]:
    """Step programs for the Dorrimel target (see DorrimelEventsFuzz.cpp)."""
    init = b"\x00" + struct.pack(">HH", 0x075B, 0xCD15) + b"\x0b" + b"C:\\Skelvane"
    message = b"\x05" + b"\x00\x01" + b"\x00\x00\x00\x11" + b"\x00"  # UIN 0, cookie 1, whole
    server_ack = b"\x06" + b"\x00" + b"\x00\x01" + b"\x00\x00\x00\x11" + b"\x00"
    client_ack = b"\x06" + b"\x01" + b"\x00\x01" + b"\x00\x00\x00\x11" + b"\x00"
    tick = b"\x07" + struct.pack(">H", 400)  # 6.4 s
    long_tick = b"\x07" + struct.pack(">H", 0xFFFF)
    options = b"\x02" + b"\x08\x00" + b"\x03" + b"1.5" + b"\x01" + b"2" + b"\x02" + b"10" + b"\x03" + b"\x01"
    finish = b"\x01"
    raw_message = b"\x04\x01" + struct.pack(">H", 0) + b""
    kind_sweep = b"".join(b"\x09" + bytes([k, 0x50]) + b"\x00\x02ab" + b"\x00\x04" for k in range(0, 256, 17))
    return [
        init + message + server_ack + finish,
        init + message + tick + long_tick + finish,
        init + message + client_ack + message + tick + tick,
        init + options + message + tick + b"\x08\x02" + b"\x08\x03" + finish,
        init + b"".join(message[:2] + bytes([i % 4]) + message[3:] for i in range(40)) + tick + long_tick,
        raw_message + init + kind_sweep + finish + init,
    ]


def dorrimel_settings_seeds() -> list[bytes]:
    return [
        b"TimerInterval = 1000\nWaitTimeout = 5000\nRemoveTimeout = 10000\nNotifyType = 1\nLogFile = 1",
        b" \tWaitTimeout \t=  7000 \nwaittimeout = 1\nno equals sign here\nRemoveTimeout = 20000\r\n"
        b"RemoveTimeout=-30000\nNotifyType = three\nTimerInterval = 1500ms\nUnknown = 5\n" + b"#" * 99 + b"LogFile = 0",
        b"NotifyType = 99999999999\nWaitTimeout = -2147483648\nTimerInterval=+12\n",
    ]


def write(target: str, seeds: list[bytes]) -> None:
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for seed in seeds:
        name = hashlib.sha1(seed).hexdigest()[:16]
        with open(os.path.join(folder, name), "wb") as f:
            f.write(seed)


def main() -> None:
    write("frame_collector", collector_seeds())
    write("uin_capture", uin_seeds())
    write("redirect_rewrite", redirect_seeds())
    write("plug_callback", callback_seeds())
    write("ini_load", ini_seeds())
    write("dorrimel_events", dorrimel_program())
    write("dorrimel_settings", dorrimel_settings_seeds())


if __name__ == "__main__":
    main()
