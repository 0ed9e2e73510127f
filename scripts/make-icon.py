#!/usr/bin/env python3
"""Draws the program's icon, a white two-way arrow (the relay) on a blue
rounded square, and writes proxy/ui/icon/skelvane.png (48 px, for Qt) and
proxy/ui/icon/skelvane.ico (16, 32 and 48 px, for the .exe). Run it again
only to change the icon; both files are kept in the repository."""

import os
import struct
import zlib

BLUE = (0x1F, 0x5F, 0xA8, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
CLEAR = (0, 0, 0, 0)


def pixel(x: float, y: float) -> tuple:
    """The colour at (x, y) of the unit square."""
    corner = 0.2
    cx = min(max(x, corner), 1 - corner)
    cy = min(max(y, corner), 1 - corner)
    if (x - cx) ** 2 + (y - cy) ** 2 > corner**2:
        return CLEAR
    dy = abs(y - 0.5)
    if 0.3 <= x <= 0.7 and dy <= 0.07:  # the shaft
        return WHITE
    for tip, direction in ((0.12, 1), (0.88, -1)):  # the two heads
        depth = (x - tip) * direction
        if 0 <= depth <= 0.22 and dy <= depth * 0.95:
            return WHITE
    return BLUE


def image(size: int) -> list:
    """Rows top to bottom of RGBA pixels, sampled four times per pixel."""
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            samples = [pixel((i + a) / size, (j + b) / size) for a in (0.25, 0.75) for b in (0.25, 0.75)]
            row.append(tuple(sum(s[k] for s in samples) // 4 for k in range(4)))
        rows.append(row)
    return rows


def png(rows: list) -> bytes:
    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def dib(rows: list) -> bytes:
    """A 32-bit icon image: header, BGRA rows bottom up, then the AND mask."""
    size = len(rows)
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for i, p in enumerate(row):
            if p[3] == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + mask


def ico(sizes: list) -> bytes:
    images = [dib(image(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "proxy", "ui", "icon")
    with open(os.path.join(folder, "skelvane.png"), "wb") as f:
        f.write(png(image(48)))
    with open(os.path.join(folder, "skelvane.ico"), "wb") as f:
        f.write(ico([16, 32, 48]))
