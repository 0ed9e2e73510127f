"""One chat session through the running proxy: every frame reaches the other
side with all its bytes, renumbered from 0x4000 toward the server and 0x2000
toward the client, across the 0x7FFF wrap, whole 64 KiB frames and frames
that arrive in pieces."""

import threading
import unittest

from oscar import CHANNEL_DATA, CHANNEL_KEEPALIVE, ChatServer, Client, LoginServer, flap, parse_message, snac, tlv
from relay import COOKIE, RelayAssertions
from skelvane_run import SkelvaneRun

WRAP_FRAMES = 16400  # more than the 0x4000 numbers from 0x4000 to 0x7FFF
BATCH = 400  # frames per send during the wrap run
LONG_WAIT = 120.0


def pattern(n: int, salt: int) -> bytes:
    return bytes((i * 7 + salt + (i >> 8)) & 0xFF for i in range(n))


class ChatTest(RelayAssertions):
    def test_chat_session_relays_every_byte_renumbered(self):
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port) as run, Client("123456789") as client:
            client.sign_on("127.0.0.1", run.login_port)
            client.connect_chat()  # hello, cookie and 01-03 through the proxy
            server = chat.wait_connection()
            to_server, to_client = client.chat, server  # senders of each direction

            # A message asking for the server's ack, one that does not.
            asked = client.send_message("987654321", "hello", b"COOKIE01", want_ack=True)
            client.send_message("987654321", "no ack please", b"COOKIE02", want_ack=False)
            ack = client.chat.wait_snac(0x04, 0x0C)
            head = parse_message(ack.snac.body)
            self.assertEqual((head.cookie, head.channel, head.uin), (b"COOKIE01", 1, b"987654321"))
            self.assertEqual(ack.snac.request_id, asked.snac.request_id)

            # Server traffic of its own: an incoming message, a keep-alive.
            server.send_frame(CHANNEL_DATA, snac(0x04, 0x07, b"INCOMING" + b"\x00\x01\x0511111" + tlv(2, "hi")))
            server.send_frame(CHANNEL_KEEPALIVE)

            # A 64 KiB frame (data length 0xFFFF) each way.
            to_server.send_frame(CHANNEL_DATA, pattern(0xFFFF, 1))
            to_client.send_frame(CHANNEL_DATA, pattern(0xFFFF, 2))

            # A frame in pieces: part of the header, the rest of it, most of
            # the data, the last byte; then two and a half frames at once.
            split = flap(CHANNEL_DATA, to_server.next_seq(), snac(0x01, 0x1E, tlv(6, b"\x00\x00\x00\x00") * 40))
            to_server.send_pieces(split, [3, 6, len(split) - 1], pause=0.25)
            split = flap(CHANNEL_DATA, to_client.next_seq(), snac(0x03, 0x0B, b"\x0911111" + tlv(1, b"\x00\x00")))
            to_client.send_pieces(split, [5, 12], pause=0.25)
            frames = [flap(CHANNEL_DATA, to_server.next_seq(), snac(0x02, 0x04, tlv(5, pattern(n, n))))
                      for n in (10, 300, 50)]
            burst = b"".join(frames)
            to_server.send_pieces(burst, [len(burst) - 30], pause=0.25)

            server.wait_frames(len(to_server.sent), timeout=LONG_WAIT)
            client.chat.wait_frames(len(to_client.sent), timeout=LONG_WAIT)

            # Past the 0x7FFF wrap: empty frames both ways at once.
            empties = {side: [flap(CHANNEL_KEEPALIVE, side.next_seq()) for _ in range(WRAP_FRAMES)]
                       for side in (to_server, to_client)}
            errors = []

            def blast(side):
                try:
                    for i in range(0, WRAP_FRAMES, BATCH):
                        side.send_frames(empties[side][i : i + BATCH])
                except Exception as exc:  # reported below, in the test's thread
                    errors.append(exc)

            senders = [threading.Thread(target=blast, args=(side,)) for side in (to_server, to_client)]
            for t in senders:
                t.start()
            for t in senders:
                t.join(timeout=LONG_WAIT)
            self.assertEqual(errors, [])
            server.wait_frames(len(to_server.sent), timeout=LONG_WAIT)
            client.chat.wait_frames(len(to_client.sent), timeout=LONG_WAIT)

            self.assertRelayed(to_server.sent, server.received, 0x4000, "client to server")
            self.assertRelayed(to_client.sent, client.chat.received, 0x2000, "server to client")
            self.assertGreater(len(to_server.sent), 0x8000 - 0x4000)
            self.assertEqual(chat.errors(), [])

            # The client leaves: the proxy hangs up on the server and listens
            # for the next sign-on.
            client.chat.close()
            server.wait_closed()
            msgs = run.wait_log("Client-chat disconnected")
            self.assertClientLeft(msgs, run, chat, [f"Await client-chat connect at 127.0.0.1:{run.chat_port}"])


if __name__ == "__main__":
    unittest.main()
