"""The fake peers against each other, without the proxy: a failure in the
end-to-end tests then points at the program, not at its stand-ins."""

import unittest

from oscar import (CHANNEL_DATA, ChatServer, Client, FrameReader, LoginServer, Redirect, flap, parse_message,
                   parse_tlvs, snac, tlv, tlv_value)


class FramingTest(unittest.TestCase):
    def test_reader_cuts_a_stream_split_anywhere_into_the_same_frames(self):
        frames = [flap(1, 7, b"\x00\x00\x00\x01"), flap(2, 0xFFFF, snac(0x17, 0x06, tlv(1, "12345"))),
                  flap(5, 0, b""), flap(2, 1, bytes(range(256)) * 3)]
        stream = b"".join(frames)
        for cut in range(len(stream) + 1):
            reader = FrameReader()
            got = reader.feed(stream[:cut]) + reader.feed(stream[cut:])
            self.assertEqual([f.raw for f in got], frames, f"cut at {cut}")
            self.assertEqual(reader.pending, b"")


class PeersTest(unittest.TestCase):
    def test_client_signs_on_and_chats_with_the_servers_directly(self):
        cookie = b"\x01\x02cookie\xff" * 8
        with ChatServer(cookie) as chat, LoginServer(cookie=cookie) as login, Client("123456789") as client:
            login.chat_address = chat.address
            redirect = client.sign_on("127.0.0.1", login.port)
            self.assertEqual((redirect.host, redirect.port, redirect.cookie), ("127.0.0.1", chat.port, cookie))
            conn = login.wait_connection()
            self.assertEqual([f.raw for f in conn.received], [f.raw for f in client.login.sent])
            self.assertEqual([f.raw for f in client.login.received], [f.raw for f in conn.sent])
            reply = client.login.received[-1].snac
            self.assertEqual(tlv_value(parse_tlvs(reply.body), 1), b"123456789")

            client.connect_chat()
            sent = client.send_message("987654321", "hello", b"ABCDEFGH", want_ack=True)
            client.send_message("987654321", "no ack", b"IJKLMNOP", want_ack=False)
            client.chat.send_frame(CHANNEL_DATA, snac(0x01, 0x06))
            server_side = chat.wait_connection()
            server_side.wait_frames(4)
            ack = client.chat.wait_snac(0x04, 0x0C)
            self.assertEqual(ack.snac.request_id, sent.snac.request_id)
            head = parse_message(ack.snac.body)
            self.assertEqual((head.cookie, head.channel, head.uin), (b"ABCDEFGH", 1, b"987654321"))
            self.assertEqual(sum(f.is_snac(0x04, 0x0C) for f in client.chat.received), 1)
            self.assertEqual([f.raw for f in server_side.received], [f.raw for f in client.chat.sent])
            self.assertEqual(chat.errors() + login.errors(), [])

    def test_chat_server_refuses_a_wrong_cookie(self):
        with ChatServer(b"right") as chat, Client("1") as client:
            client.redirect = Redirect("127.0.0.1", chat.port, b"wrong")
            with self.assertRaises(AssertionError):
                client.connect_chat()
            self.assertIn("cookie", " ".join(chat.errors()))


if __name__ == "__main__":
    unittest.main()
