"""A small pcapng reader for the tests: enough to take the OSCAR frames out of
a captured TCP conversation.

Reads the section header, interface description and enhanced packet blocks
(either byte order, any timestamp resolution), decodes Ethernet (or raw IP),
IPv4 and TCP, reassembles each direction's payload in sequence order with
retransmitted bytes dropped, and cuts each direction into FLAP frames. A hole
in the capture (segments that were never recorded) ends one run of bytes and
the next recorded segment starts another, so the frames on either side of it
are kept and nothing is glued across it.
"""

from __future__ import annotations

import socket
import struct
from dataclasses import dataclass, field
from typing import Optional

SHB, IDB, EPB = 0x0A0D0D0A, 0x00000001, 0x00000006
BYTE_ORDER_MAGIC = 0x1A2B3C4D
LINKTYPE_ETHERNET, LINKTYPE_RAW = 1, 101
ETHERTYPE_IPV4, ETHERTYPE_VLAN = 0x0800, 0x8100
IPPROTO_TCP = 6
TCP_SYN = 0x02
FLAP_HEADER = 6


class CaptureError(ValueError):
    """The file is not a capture this reader understands."""


@dataclass(frozen=True)
class Packet:
    time: float  # seconds since the epoch
    link_type: int
    data: bytes


@dataclass(frozen=True)
class Segment:
    time: float
    src: tuple[str, int]
    dst: tuple[str, int]
    seq: int
    flags: int
    payload: bytes


@dataclass
class Run:
    """Contiguous bytes of one direction; `pieces` holds (end offset, time)
    of each stretch as it was first seen, for dating the frames."""

    data: bytearray = field(default_factory=bytearray)
    pieces: list[tuple[int, float]] = field(default_factory=list)

    def complete_at(self, start: int, end: int) -> float:
        """When the last of the bytes from `start` to `end` arrived."""
        times, begin = [], 0
        for stop, time in self.pieces:
            if begin < end and stop > start:
                times.append(time)
            begin = stop
        return max(times)


@dataclass(frozen=True)
class CapturedFrame:
    time: float  # when its last byte arrived
    src: tuple[str, int]
    dst: tuple[str, int]
    raw: bytes


@dataclass(frozen=True)
class Conversation:
    """The FLAP frames of one TCP conversation, per direction and together in
    the order in which they were complete. `leftover` counts the bytes at the
    end of a run that did not make a whole frame."""

    to_server: list[CapturedFrame]
    to_client: list[CapturedFrame]
    in_order: list[CapturedFrame]
    leftover: int


# ---------------------------------------------------------------- blocks


def read_packets(path: str) -> list[Packet]:
    with open(path, "rb") as f:
        data = f.read()
    packets: list[Packet] = []
    endian = "<"
    interfaces: list[tuple[int, float]] = []  # (link type, seconds per tick)
    off = 0
    while off + 12 <= len(data):
        if struct.unpack_from("<I", data, off)[0] == SHB:
            endian = _section_endian(data, off)
            interfaces = []
        kind, length = struct.unpack_from(endian + "II", data, off)
        if length < 12 or length % 4 or off + length > len(data):
            raise CaptureError(f"block at {off} has a bad length {length}")
        body = data[off + 8 : off + length - 4]
        if kind == IDB:
            interfaces.append(_interface(body, endian))
        elif kind == EPB:
            packets.append(_enhanced_packet(body, endian, interfaces))
        off += length
    if off != len(data):
        raise CaptureError(f"{len(data) - off} stray bytes at the end")
    return packets


def _section_endian(data: bytes, off: int) -> str:
    if off + 12 > len(data):
        raise CaptureError("truncated section header")
    for endian in "<>":
        if struct.unpack_from(endian + "I", data, off + 8)[0] == BYTE_ORDER_MAGIC:
            return endian
    raise CaptureError("section header without the byte-order magic")


def _interface(body: bytes, endian: str) -> tuple[int, float]:
    link_type = struct.unpack_from(endian + "H", body, 0)[0]
    resolution = 1e-6
    for code, value in _options(body[8:], endian):
        if code == 9 and value:  # if_tsresol
            r = value[0]
            resolution = 2.0 ** -(r & 0x7F) if r & 0x80 else 10.0**-r
    return link_type, resolution


def _options(data: bytes, endian: str) -> list[tuple[int, bytes]]:
    out, off = [], 0
    while off + 4 <= len(data):
        code, length = struct.unpack_from(endian + "HH", data, off)
        if code == 0:
            break
        out.append((code, data[off + 4 : off + 4 + length]))
        off += 4 + (length + 3) // 4 * 4
    return out


def _enhanced_packet(body: bytes, endian: str, interfaces: list[tuple[int, float]]) -> Packet:
    if len(body) < 20:
        raise CaptureError("truncated enhanced packet block")
    iface, high, low, captured, _ = struct.unpack_from(endian + "IIIII", body, 0)
    if iface >= len(interfaces) or 20 + captured > len(body):
        raise CaptureError("enhanced packet block names no interface or runs past its end")
    link_type, resolution = interfaces[iface]
    return Packet(((high << 32) | low) * resolution, link_type, bytes(body[20 : 20 + captured]))


# ---------------------------------------------------------------- Ethernet, IPv4, TCP


def tcp_segment(packet: Packet) -> Optional[Segment]:
    """The TCP segment in a packet, or None for anything else."""
    data = packet.data
    if packet.link_type == LINKTYPE_ETHERNET:
        if len(data) < 14:
            return None
        ethertype, off = struct.unpack_from(">H", data, 12)[0], 14
        if ethertype == ETHERTYPE_VLAN and len(data) >= 18:
            ethertype, off = struct.unpack_from(">H", data, 16)[0], 18
        if ethertype != ETHERTYPE_IPV4:
            return None
        data = data[off:]
    elif packet.link_type != LINKTYPE_RAW:
        raise CaptureError(f"link type {packet.link_type} is not read")
    if len(data) < 20 or data[0] >> 4 != 4 or data[9] != IPPROTO_TCP:
        return None
    ihl = (data[0] & 0x0F) * 4
    total = struct.unpack_from(">H", data, 2)[0]  # the Ethernet padding lies past it
    src, dst = socket.inet_ntoa(data[12:16]), socket.inet_ntoa(data[16:20])
    tcp = data[ihl:total]
    if len(tcp) < 20:
        return None
    sport, dport, seq = struct.unpack_from(">HHI", tcp, 0)
    doff = (tcp[12] >> 4) * 4
    return Segment(packet.time, (src, sport), (dst, dport), seq, tcp[13], bytes(tcp[doff:]))


def reassemble(segments: list[Segment]) -> list[Run]:
    """One direction's payload in sequence order: retransmitted bytes are
    dropped, segments that came out of order are put in place, and a hole
    that no segment fills starts a new run."""
    base: Optional[int] = None
    spans = []  # (start offset from base, time, payload)
    for s in segments:
        if s.flags & TCP_SYN:
            base = (s.seq + 1) & 0xFFFFFFFF
        if not s.payload:
            continue
        if base is None:
            base = s.seq
        spans.append(((s.seq - base) & 0xFFFFFFFF, s.time, s.payload))
    spans.sort(key=lambda span: span[0])  # stable: the first copy of a byte comes first
    runs: list[Run] = []
    end = None
    for start, time, payload in spans:
        if end is None or start > end:
            runs.append(Run())
            end = start
        new = payload[end - start :]
        if new:
            run = runs[-1]
            run.data += new
            end += len(new)
            run.pieces.append((len(run.data), time))
    return runs


def cut_frames(run: Run) -> tuple[list[tuple[float, bytes]], int]:
    """The FLAP frames of a run (by their length fields) with the time of each
    one's last byte, and the count of bytes left over at its end."""
    frames, off, data = [], 0, bytes(run.data)
    while off + FLAP_HEADER <= len(data):
        end = off + FLAP_HEADER + struct.unpack_from(">H", data, off + 4)[0]
        if end > len(data):
            break
        frames.append((run.complete_at(off, end), data[off:end]))
        off = end
    return frames, len(data) - off


def conversation(path: str, server_port: int) -> Conversation:
    """The frames of the one TCP conversation with `server_port` in a capture."""
    segments = [s for s in map(tcp_segment, read_packets(path)) if s is not None]
    segments = [s for s in segments if server_port in (s.src[1], s.dst[1])]
    pairs = {(s.src, s.dst) for s in segments}
    ends = {(a, b) for a, b in pairs if b[1] == server_port}
    if len(ends) != 1:
        raise CaptureError(f"expected one conversation with port {server_port}, found {sorted(ends)}")
    client, server = next(iter(ends))
    sides, leftover = {}, 0
    for src, dst in ((client, server), (server, client)):
        frames = []
        for run in reassemble([s for s in segments if (s.src, s.dst) == (src, dst)]):
            cut, rest = cut_frames(run)
            frames += [CapturedFrame(t, src, dst, raw) for t, raw in cut]
            leftover += rest
        sides[src] = frames
    in_order = sorted(sides[client] + sides[server], key=lambda f: f.time)  # stable within a direction
    return Conversation(sides[client], sides[server], in_order, leftover)
