"""The sandbox service on its own, fed from outside: data that is not FLAP,
a chat connection that does not begin with its sign-on, and every SNAC it
reads cut short at every length. It closes or ignores what it cannot read,
says so, and goes on serving: a message between two clients signed on at the
same time is still delivered and acknowledged afterwards."""

import signal
import socket
import struct
import unittest

from oscar import CHANNEL_DATA, Client, build_message, flap, snac, tlv
from sandbox_run import SandboxRun
from session import message_text, sign_on_at


def cut_bodies(body: bytes):
    return (body[:n] for n in range(len(body)))


class SandboxTest(unittest.TestCase):
    def test_refuses_what_it_cannot_read_and_keeps_serving(self):
        with SandboxRun() as sandbox:
            with socket.create_connection(("127.0.0.1", sandbox.login_port), timeout=10) as s:
                s.sendall(b"GET / HTTP/1.0\r\n\r\n")
                sandbox.wait_line("login: ", contains="sent data that is not a FLAP frame, closed")
            with socket.create_connection(("127.0.0.1", sandbox.chat_port), timeout=10) as s:
                s.sendall(flap(CHANNEL_DATA, 1, snac(0x04, 0x06, b"")))
                sandbox.wait_line("chat: ", contains="did not start with a hello, closed")

            alice, bob = sign_on_at(sandbox, "70001"), sign_on_at(sandbox, "70002")
            try:
                message = build_message(b"COOKIE01", "70002", "hi", want_ack=True)
                meta = tlv(1, struct.pack("<HIHH", 8, 70001, 0x3C, 2))
                frames = [flap(CHANNEL_DATA, 0, b"\x00\x04\x00")]  # shorter than a SNAC header
                for family, subtype, body in ((4, 6, message), (4, 0x0B, message[:16] + b"\x00\x01"),
                                              (4, 0x14, message[:16] + b"\x00\x02"), (0x15, 2, meta),
                                              (1, 0x17, b"\x00\x01\x00\x04\x00")):
                    frames += [flap(CHANNEL_DATA, 0, snac(family, subtype, cut)) for cut in cut_bodies(body)]
                alice.chat.send_frames(frames)
                alice.chat.send_frame(CHANNEL_DATA, snac(0x04, 0x06, message, request_id=77))

                ack = alice.chat.wait_snac(0x04, 0x0C)
                self.assertEqual((ack.snac.request_id, ack.snac.body), (77, message[:16]))
                # (A 4/6 cut right after its text is a whole message without an ack request.)
                bob.chat.wait_for(lambda f: f.is_snac(0x04, 0x07) and message_text(f.snac.body) == ("70001", "hi"))
                sandbox.wait_line("chat: 4/6 from 70001 to 70002 (channel 1), delivered, ack sent")
                self.assertTrue(any(line.startswith("chat: malformed 4/6 from 70001") for line in sandbox.lines))
                self.assertTrue(any(line.startswith("chat: frame without a SNAC header") for line in sandbox.lines))
            finally:
                alice.close()
                bob.close()
            self.assertEqual(sandbox.stop(), 0)
            sandbox.wait_line("sandbox: stopped")

    def test_a_second_sign_on_replaces_the_first_session(self):
        with SandboxRun() as sandbox:
            first = sign_on_at(sandbox, "70003")
            second = Client("70003")
            try:
                second.sign_on("127.0.0.1", sandbox.login_port)
                second.connect_chat()
                first.chat.wait_closed()
                sandbox.wait_line("chat: 70003 signed on again, the older session is closed")
            finally:
                first.close()
                second.close()
            sandbox.proc.send_signal(signal.SIGINT)
            self.assertEqual(sandbox.proc.wait(timeout=15), 0)


if __name__ == "__main__":
    unittest.main()
