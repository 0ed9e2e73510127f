"""The capture reader on captures built here: block parsing in both byte
orders, Ethernet padding, and TCP reassembly with retransmitted, overlapping,
reordered and missing segments."""

import os
import socket
import struct
import tempfile
import unittest

import pcapng
from oscar import flap

CLIENT, SERVER = ("10.0.0.2", 50000), ("10.0.0.9", 443)
SYN, ACK, PSH = 0x02, 0x10, 0x08


def block(endian: str, kind: int, body: bytes) -> bytes:
    body += b"\x00" * (-len(body) % 4)
    length = 12 + len(body)
    return struct.pack(endian + "II", kind, length) + body + struct.pack(endian + "I", length)


def ethernet(src, dst, seq: int, flags: int, payload: bytes) -> bytes:
    tcp = struct.pack(">HHIIBBHHH", src[1], dst[1], seq & 0xFFFFFFFF, 0, 0x50, flags, 0xFFFF, 0, 0) + payload
    ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(tcp), 1, 0x4000, 64, 6, 0,
                     socket.inet_aton(src[0]), socket.inet_aton(dst[0])) + tcp
    frame = b"\x02" * 6 + b"\x04" * 6 + b"\x08\x00" + ip
    return frame + b"\xEE" * (60 - len(frame))  # Ethernet pads short frames


class Writer:
    """A pcapng file of Ethernet frames, one tick per packet; the interface
    counts its ticks in milliseconds (if_tsresol 3)."""

    def __init__(self, endian: str) -> None:
        self.endian = endian
        self.blocks = [block(endian, pcapng.SHB, struct.pack(endian + "IHHq", pcapng.BYTE_ORDER_MAGIC, 1, 0, -1)),
                       block(endian, pcapng.IDB, struct.pack(endian + "HHI", 1, 0, 0xFFFF)
                             + struct.pack(endian + "HH", 9, 1) + b"\x03\x00\x00\x00" + b"\x00" * 4)]
        self.tick = 1_000_000

    def packet(self, src, dst, seq: int, payload: bytes = b"", flags: int = ACK | PSH) -> None:
        data = ethernet(src, dst, seq, flags, payload)
        self.tick += 1
        head = struct.pack(self.endian + "IIIII", 0, self.tick >> 32, self.tick & 0xFFFFFFFF, len(data), len(data))
        self.blocks.append(block(self.endian, pcapng.EPB, head + data))

    def save(self, folder: str) -> str:
        path = os.path.join(folder, f"capture{len(self.blocks)}.pcapng")
        with open(path, "wb") as f:
            f.write(b"".join(self.blocks))
        return path


class ReaderTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def test_reassembles_each_direction_in_sequence_order(self):
        f1 = flap(2, 1, b"first frame")
        f2 = flap(2, 2, b"second frame, sent out of order and retransmitted")
        f3 = flap(2, 3, b"lost")
        f4 = flap(2, 4, b"after the hole")
        k1, k2 = flap(5, 0x7001), flap(2, 0x7002, b"ok")
        for endian in "<>":
            with self.subTest(byte_order=endian):
                w = Writer(endian)
                isn = 0xFFFFFFF0  # the sequence numbers wrap inside the stream
                w.packet(CLIENT, SERVER, isn, flags=SYN)
                c = isn + 1
                w.packet(CLIENT, SERVER, c, f1)
                w.packet(CLIENT, SERVER, c, f1)  # a retransmission
                w.packet(CLIENT, SERVER, c + len(f1) + 10, f2[10:])  # second half first
                w.packet(SERVER, CLIENT, 777, k1)  # no SYN seen on this side
                w.packet(CLIENT, SERVER, c + len(f1) - 3, f1[-3:] + f2[:10])  # overlaps what came
                w.packet(SERVER, CLIENT, 777 + len(k1), k2[:2])  # padded to 60 bytes
                w.packet(SERVER, CLIENT, 777 + len(k1) + 2, k2[2:])
                w.packet(CLIENT, SERVER, c + len(f1) + len(f2) + len(f3), f4)  # f3 never recorded
                conv = pcapng.conversation(w.save(self.tmp.name), 443)

                self.assertEqual([f.raw for f in conv.to_server], [f1, f2, f4])
                self.assertEqual([f.raw for f in conv.to_client], [k1, k2])
                self.assertEqual(conv.leftover, 0)
                self.assertAlmostEqual(conv.to_server[0].time, 1_000_002 / 1000)
                self.assertTrue(all(f.src == CLIENT and f.dst == SERVER for f in conv.to_server))
                # Dated by their last byte: f2 completes after k1 arrived.
                self.assertEqual([f.raw for f in conv.in_order], [f1, k1, f2, k2, f4])

    def test_counts_a_frame_cut_short_by_the_end_of_the_capture(self):
        w = Writer("<")
        whole, cut = flap(2, 1, b"whole"), flap(2, 2, b"cut short")
        w.packet(CLIENT, SERVER, 100, whole + cut[:8])
        conv = pcapng.conversation(w.save(self.tmp.name), 443)
        self.assertEqual([f.raw for f in conv.to_server], [whole])
        self.assertEqual(conv.leftover, 8)

    def test_rejects_what_it_cannot_read(self):
        w = Writer("<")
        w.packet(CLIENT, SERVER, 100, flap(2, 1))
        path = w.save(self.tmp.name)
        with open(path, "rb") as f:
            data = f.read()
        for name, bad in (("truncated block", data[:-4]),
                          ("no byte-order magic", data[:8] + b"\x00" * 4 + data[12:]),
                          ("packet on an undeclared interface", data[:-(len(w.blocks[-1]))]
                           + w.blocks[-1][:8] + b"\x05" + w.blocks[-1][9:])):
            with self.subTest(name):
                with open(path, "wb") as f:
                    f.write(bad)
                with self.assertRaises(pcapng.CaptureError):
                    pcapng.read_packets(path)


if __name__ == "__main__":
    unittest.main()
