"""Peers that stop in the middle of a frame header, peers that send a burst
far larger than one receive and close at once, a client that stops reading,
and a server that never stops sending.

A half header holds back only its own direction: the other one goes on, the
frame goes out whole once it is complete, and a peer that leaves with half a
frame never lets the cut frame reach the other side. A burst followed by an
immediate close reaches the other side to the last byte before the proxy
hangs up. A client that stops reading holds back only the traffic toward it,
loses nothing, keeps another client's session from nothing, and keeps no
one from stopping the program. A server that
sends a frame every few milliseconds leaves the plug-in's timer its turn."""

import os
import random
import threading
import time
import unittest

from oscar import CHANNEL_DATA, ChatServer, Client, LoginServer, flap, snac
from relay import COOKIE, RelayAssertions, renumbered
from rawpeer import Listener, key_reply, login_reply
from session import Session, log_count, same_but_seq
from skelvane_run import SkelvaneRun

HALF_HEADER_LEN = 3


def payloads(rng: random.Random, count: int, largest: int) -> list[bytes]:
    return [snac(0x04, 0x07, rng.randbytes(rng.randrange(0, largest))) for _ in range(count)]


class StallTest(RelayAssertions):
    def stall_one_direction(self, run, s: Session, staller, talker, count: int) -> None:
        """`staller` sends half a header and stops; `talker`'s frames still
        get through; then the staller completes its frame, and finally sends
        another half header and closes."""
        frame = flap(CHANNEL_DATA, 0x1234, snac(0x02, 0x04, b"completed later"))
        staller.send(frame[:HALF_HEADER_LEN])
        sent = [talker.send_frame(CHANNEL_DATA, p) for p in payloads(s.rng, count, 900)]
        self.assertTrue(same_but_seq(sent, staller.take(count)), "frames changed while the other side stalled")
        self.assertEqual(talker.quiet(0.3), [], "the stalled half frame went out")

        staller.send(frame[HALF_HEADER_LEN:])
        self.assertTrue(same_but_seq([frame], talker.take(1)), "completed frame")

        before = log_count(run, "Client-chat disconnected" if staller is s.chat_client else "Server-chat disconnected")
        staller.send(frame[:HALF_HEADER_LEN])
        staller.close()
        talker.wait_ended()
        self.assertEqual(talker.pending, b"", "a cut frame reached the other side")
        run.wait_log("Client-chat disconnected" if staller is s.chat_client else "Server-chat disconnected",
                     count=before + 1)

    def test_half_header_holds_back_only_its_own_direction(self):
        with Listener("login") as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            # During the login: the client stalls, the server's frames still come.
            s = Session(run, login, chat)
            s.login_steps(2)
            s.client.send(b"\x2a\x01")
            sent = [s.server.send_frame(CHANNEL_DATA, key_reply()) for _ in range(5)]
            self.assertTrue(same_but_seq(sent, s.client.take(5)))
            s.client.send(flap(1, 0x0101, b"\x00\x00\x00\x01")[2:])
            self.assertEqual(s.server.take(1)[0].data, b"\x00\x00\x00\x01")
            s.server.send_frame(CHANNEL_DATA, login_reply(s.uin, chat.address))
            s.client.take(1)
            s.server.close()
            s.client.wait_ended()

            # The chat client stalls while the server talks, then the reverse.
            s.chat_steps(4)
            self.stall_one_direction(run, s, staller=s.chat_client, talker=s.chat_server, count=200)
            s = Session(run, login, chat, uin="777")
            s.sign_on()
            s.chat_steps(4)
            self.stall_one_direction(run, s, staller=s.chat_server, talker=s.chat_client, count=20)
            msgs = run.messages()
            self.assertCleanEnd(msgs, run)


class BurstTest(RelayAssertions):
    def test_server_burst_then_close_reaches_the_client_whole(self):
        with Listener("login") as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            # Login: the reply and 60 kB after it in one write, then the close.
            s = Session(run, login, chat)
            s.login_steps(5)
            rng = random.Random(5)
            extra = [flap(CHANNEL_DATA, i, p) for i, p in enumerate(payloads(rng, 60, 2000))]
            reply = flap(CHANNEL_DATA, 0x0FFF, login_reply(s.uin, chat.address))
            s.server.send(b"".join([reply] + extra))
            s.server.close()
            got = s.client.take(1 + len(extra))
            self.assertEqual([f.raw for f in got[1:]], extra)
            s.client.wait_ended()
            self.assertEqual(s.client.pending, b"")

            # Chat: about 400 kB (hundreds of receives) and the close at once.
            s.chat_steps(4)
            burst = [flap(CHANNEL_DATA, i & 0xFFFF, p) for i, p in enumerate(payloads(rng, 800, 1000))]
            writer = threading.Thread(target=lambda: (s.chat_server.send(b"".join(burst)), s.chat_server.close()))
            writer.start()
            got = s.chat_client.take(len(burst), timeout=60)
            writer.join(timeout=60)
            self.assertTrue(same_but_seq(burst, got), "burst changed on the way")
            self.assertEqual([f.seq for f in got], renumbered(0x2002, len(got)))
            s.chat_client.wait_ended()
            self.assertEqual(s.chat_client.pending, b"")
            run.wait_log("Server-chat disconnected")

            # The client does the same toward the server (the upstream pace is
            # slower while the server is silent, so a smaller burst).
            s = Session(run, login, chat, uin="778")
            s.sign_on()
            s.chat_steps(4)
            burst = [flap(CHANNEL_DATA, i, p) for i, p in enumerate(payloads(rng, 60, 600))]
            s.chat_client.send(b"".join(burst))
            s.chat_client.close()
            got = s.chat_server.take(len(burst), timeout=60)
            self.assertTrue(same_but_seq(burst, got), "upstream burst changed on the way")
            s.chat_server.wait_ended()
            msgs = run.messages()
            self.assertCleanEnd(msgs, run)


class BackPressureTest(RelayAssertions):
    def test_client_that_stops_reading_holds_back_only_its_direction(self):
        with Listener("login") as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            s = Session(run, login, chat)
            s.sign_on()
            s.chat_steps(4)
            # Far more than the system's buffers and the proxy's queue hold:
            # the server is held back while the client reads nothing.
            payload = s.rng.randbytes(8000)
            burst = [flap(CHANNEL_DATA, i & 0xFFFF, snac(0x04, 0x07, payload + i.to_bytes(4, "big")))
                     for i in range(6000)]
            writer = threading.Thread(target=s.chat_server.send, args=(b"".join(burst),), daemon=True)
            writer.start()
            up = [s.chat_client.send_frame(CHANNEL_DATA, snac(0x01, 0x02, b"%d" % i)) for i in range(5)]
            self.assertTrue(same_but_seq(up, s.chat_server.take(5)), "the other direction stopped")
            self.assertTrue(writer.is_alive(), "the proxy took everything the server sent")
            # Another client signs on meanwhile, chats both ways and leaves.
            other = Session(run, login, chat, uin="778")
            other.whole(traffic=50)
            self.assertTrue(writer.is_alive(), "the stalled session drained while the other ran")

            got = s.chat_client.take(len(burst), timeout=180)
            writer.join(timeout=60)
            self.assertTrue(same_but_seq(burst, got), "frames lost or changed while the client did not read")
            self.assertEqual([f.seq for f in got], renumbered(0x2002, len(got)))
            self.assertEqual(log_count(run, "Failed to transmit"), 0)
            self.assertEqual(run.stop(), 0, run.describe())
            self.assertIn(b"HostLoginPort = ", run.read_ini())

    def test_steady_server_traffic_leaves_the_plugin_its_turn(self):
        uin, recipient = "123456789", "987654321"
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port, with_plugin=True) as run, Client(uin) as client:
            with open(os.path.join(run.dir, "dorrimel.ini"), "w", encoding="ascii") as f:
                f.write("TimerInterval = 50\nWaitTimeout = 300\nRemoveTimeout = 60000\nNotifyType = 1\n")
            client.sign_on("127.0.0.1", run.login_port)
            client.connect_chat()
            server = chat.wait_connection(0)
            stop = threading.Event()

            def presence_feed() -> None:
                while not stop.is_set():
                    server.send_frame(CHANNEL_DATA, snac(0x03, 0x0B, b"\x09" + recipient.encode()))
                    time.sleep(0.002)

            feeder = threading.Thread(target=presence_feed, daemon=True)
            feeder.start()
            try:
                client.send_message(recipient, "never acknowledged", b"LOST0001", want_ack=False)
                client.chat.wait_snac(0x04, 0x07)
            finally:
                stop.set()
                feeder.join(timeout=10)
            feed = [f for f in client.chat.received if f.is_snac(0x03, 0x0B)]
            self.assertGreater(len(feed), 50, "the feed did not get through meanwhile")
            self.assertEqual(run.stop(), 0, run.describe())


if __name__ == "__main__":
    unittest.main()
