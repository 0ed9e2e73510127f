"""The Windows programs under Wine between the Linux test peers: skelvane.exe
with the real plugin.dll beside it carries whole sessions over loopback. The
client signs on through the proxy, the login reply's redirect is rewritten
to the proxy's chat listener, the chat is relayed both ways renumbered, and
Dorrimel injects a notice into the client's traffic for a message that is
not acknowledged in time and reports it in msgack.log. The login listener
stays open: sessions follow one another, and two at once each get the
notice of their own message; closing the window writes skelvane.ini. The typing shield's plugin.dll carries the session of the
example plug-ins' test. A client that stops reading holds back only the
server's direction and loses nothing; a login server that never answers the
connect keeps nothing waiting: the close is answered at once, and the
connect is given up after 5 s. And skelvane.exe's command line, answered
through the standard handles that Wine passes on."""

from __future__ import annotations

import os
import re
import socket
import struct
import subprocess
import threading
import time
import unittest

from oscar import CHANNEL_DATA, ChatServer, Client, Frame, LoginServer, flap, parse_tlvs, snac, tlv_value
from rawpeer import Listener, connect
from relay import COOKIE, RelayAssertions, renumbered, rewritten_redirect
from session import Session, log_count, same_but_seq
from skelvane_run import START_WAIT, WAIT, WINE, CommandLineChecks, SkelvaneRun
from test_examples import ExampleSession, example_plugin

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
# The tracker's timer ticks every 100 ms; a message waits 3 s for its
# acknowledgement and is dropped 4 s after it was sent.
DORRIMEL_INI = "TimerInterval = 100\nWaitTimeout = 3000\nRemoveTimeout = 4000\nNotifyType = {type}\nLogFile = 1"
NOTICE = re.compile(r"\[\[Dorrimel: The message sent on (\d\d:\d\d:\d\d) was not delivered to (\d+)\]\]\x00")
MSGACK_LINE = re.compile(r"\d\d\.\d\d\.\d{4} (\d\d:\d\d:\d\d)\.\d{3} (.*)")
# A notice lags its message by WaitTimeout; slow Wine gets more on top.
NOTICE_WAIT = 3.0 + WAIT
DATE_AT = 10 + 18  # the offline notice's date, after the SNAC header and 18 bytes
# Frames of 60 kB for the stalled client: 24 MiB, well over what the sockets
# on both sides and the proxy's queue toward the client hold together (about
# 9 MiB on loopback).
BURST_FRAMES = 400
STALL_WAIT = 6 * WAIT
CONNECT_TIMEOUT = 5  # s, the proxy's limit for a connect to a server


def setUpModule() -> None:
    if WINE not in ("32", "64"):
        raise RuntimeError(f"SKELVANE_WINE must be 32 or 64, not {WINE!r}")
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}  # the headless prefix, as the runs use
    setup = subprocess.run(["bash", os.path.join(SCRIPTS, "wine-setup.sh"), WINE], env=env, stdin=subprocess.DEVNULL,
                           capture_output=True, text=True, timeout=START_WAIT + 300, check=False)
    if setup.returncode == 77:
        raise unittest.SkipTest(f"{WINE}-bit Windows programs cannot run here: {setup.stderr.strip()}")
    if setup.returncode != 0:
        raise RuntimeError(f"wine-setup.sh {WINE} failed ({setup.returncode}): {setup.stderr}")


def recipient_notice(recipient: str, text: bytes, seq: int) -> bytes:
    """Dorrimel's "Message from recipient": an incoming message on message
    channel 4 from the recipient carrying `text` (with its zero byte)."""
    t = len(text)
    body = (bytes(8) + struct.pack(">H", 4) + bytes([len(recipient)]) + recipient.encode() + struct.pack(">HH", 0, 0)
            + struct.pack(">HH", 5, t + 10) + struct.pack("<IBBH", int(recipient), 1, 0, t) + text + b"\x00\x00")
    return flap(CHANNEL_DATA, seq, snac(0x04, 0x07, body))


def offline_notice(own_uin: str, recipient: str, text: bytes, date: bytes) -> bytes:
    """The SNAC data of Dorrimel's "Offline message from recipient" dated
    `date` (year, month, day, hour, minute as sent)."""
    t = len(text)
    head = struct.pack(">HH", 1, t + 24) + struct.pack("<HIHHI", t + 22, int(own_uin), 0x41, 0, int(recipient))
    return snac(0x15, 0x03, head + date + struct.pack("<BBH", 1, 0, t) + text, flags=1, request_id=3)


def notice_text(notice: Frame) -> tuple[bytes, str, str]:
    """The notice text with its zero byte, the time it names and the UIN."""
    m = NOTICE.search(notice.data.decode("latin-1"))
    if m is None:
        raise AssertionError(f"no Dorrimel notice text in {notice.raw!r}")
    return m.group(0).encode("latin-1"), m.group(1), m.group(2)


def seconds(hh_mm_ss: str) -> int:
    h, m, s = (int(x) for x in hh_mm_ss.split(":"))
    return h * 3600 + m * 60 + s


class WineSessionTest(ExampleSession, RelayAssertions):
    def msgack(self, run: SkelvaneRun) -> list[tuple[str, str]]:
        """The whole lines of msgack.log as (time of day, text); a Windows
        text file, so every line ends in CR LF."""
        try:
            with open(os.path.join(run.dir, "msgack.log"), "rb") as f:
                data = f.read()
        except FileNotFoundError:
            return []
        lines = []
        for raw in data[: data.rfind(b"\n") + 1].split(b"\n")[:-1]:
            self.assertTrue(raw.endswith(b"\r"), f"msgack.log line without CR LF: {raw!r}")
            m = MSGACK_LINE.fullmatch(raw[:-1].decode("latin-1"))
            self.assertIsNotNone(m, f"msgack.log line without a time stamp: {raw!r}")
            lines.append((m.group(1), m.group(2)))
        return lines

    def wait_msgack(self, run: SkelvaneRun, text: str, count: int = 1) -> list[tuple[str, str]]:
        """Waits until `count` msgack.log lines start with `text`."""
        deadline = time.monotonic() + NOTICE_WAIT
        while True:
            lines = self.msgack(run)
            if sum(1 for _, t in lines if t.startswith(text)) >= count:
                return lines
            if not run.running or time.monotonic() > deadline:
                self.fail(f"msgack.log has no {count} x {text!r}: {lines}\n{run.describe()}")
            time.sleep(0.05)

    def sign_on(self, run, chat, login, uin: str, index: int, notify_type: int):
        """Signs on as the index-th session of the run with Dorrimel set to
        `notify_type`; checks the login conversation and returns the client
        and the chat server's connection."""
        with open(os.path.join(run.dir, "dorrimel.ini"), "w", encoding="ascii") as f:
            f.write(DORRIMEL_INI.format(type=notify_type))
        client = Client(uin)
        self.addCleanup(client.close)
        redirect = client.sign_on("127.0.0.1", run.login_port)
        self.assertEqual((redirect.host, redirect.port, redirect.cookie), ("127.0.0.1", run.chat_port, COOKIE))
        upstream = login.wait_connection(index)
        upstream.wait_closed()
        self.assertSameBytes(client.login.sent, upstream.received, "frames reaching the login server")
        self.assertEqual(tlv_value(parse_tlvs(upstream.received[1].snac.body), 1), uin.encode())
        self.assertSameBytes(upstream.sent[:-1], client.login.received[:-1], "login frames reaching the client")
        expected = rewritten_redirect(upstream.sent[-1].raw, f"127.0.0.1:{run.chat_port}")
        self.assertEqual(client.login.received[-1].raw.hex(), expected.hex(), "the rewritten 17-03")
        client.connect_chat()
        return client, chat.wait_connection(index)

    def notice(self, client: Client, start: int) -> Frame:
        return client.chat.wait_for(lambda f: f.is_snac(0x04, 0x07) or f.is_snac(0x15, 0x03), NOTICE_WAIT,
                                    "Dorrimel's notice", start)

    def assertNumbered(self, frames: list[Frame], first: int, what: str) -> None:
        self.assertEqual([f.seq for f in frames], renumbered(first, len(frames)), what)

    def first_session(self, run, chat, login) -> None:
        """Acknowledged and unacknowledged messages; the client leaves."""
        client, server = self.sign_on(run, chat, login, "123456789", 0, notify_type=1)
        self.wait_msgack(run, "Starting")
        server.send_frame(CHANNEL_DATA, snac(0x01, 0x0F, b"123456789"))
        client.send_message("55566677", "acknowledged", b"ACKED-01", want_ack=True)
        client.chat.wait_snac(0x04, 0x0C)
        lines = self.wait_msgack(run, "Srv ack from   55566677 ")
        self.assertRegex(lines[-1][1], r"^Srv ack from   55566677 0000000\d-41434B45442D3031 \d+ ms$")

        before = len(client.chat.received)
        sent = client.send_message("987654321", "never acknowledged", b"LOST-001", want_ack=False)
        notice = self.notice(client, before)
        self.assertEqual(len(client.chat.received), before + 1, "only the notice comes back")
        text, sent_at, uin = notice_text(notice)
        self.assertEqual(uin, "987654321")
        self.assertEqual(notice.raw, recipient_notice("987654321", text, notice.seq))
        # The notice names the time at which the message was seen, which is
        # when its line was logged (or, across a second's turn, just before).
        added = [(at, t) for at, t in self.msgack(run) if t.startswith("Out msg  to   987654321 ")]
        size = len(sent.raw) + 2
        self.assertEqual([t for _, t in added], [f"Out msg  to   987654321 {sent.snac.request_id:08X}-"
                                                 f"4C4F53542D303031 ({size} b) added"])
        self.assertIn((seconds(added[0][0]) - seconds(sent_at)) % 86400, (0, 1), (added, sent_at))
        # A relayed frame after the notice takes the number after it.
        server.send_frame(CHANNEL_DATA, snac(0x01, 0x0F, b"after"))
        client.chat.wait_frames(len(server.sent) + 1)
        self.assertNumbered(client.chat.received, 0x2000, "frames reaching the client")
        server.wait_frames(len(client.chat.sent))
        self.assertRelayed(client.chat.sent, server.received, 0x4000, "client to server")
        relayed = [f for f in client.chat.received if f is not notice]
        self.assertEqual([f.without_seq() for f in relayed], [f.without_seq() for f in server.sent],
                         "server to client, apart from the notice")
        self.wait_msgack(run, "Removed  to   987654321 00000000-4C4F53542D303031")

        client.chat.close()
        server.wait_closed()
        run.wait_log("Client-chat disconnected")
        self.assertEqual(self.wait_msgack(run, "Stopping")[-1][1], "Stopping")

    def second_session(self, run, chat, login) -> None:
        """Another user with the offline form, which carries the own UIN
        that Dorrimel got at sign-on; the server leaves."""
        client, server = self.sign_on(run, chat, login, "222333444", 1, notify_type=2)
        self.wait_msgack(run, "Starting", count=2)
        client.send_message("777888999", "offline", b"LOST-002", want_ack=False)
        notice = self.notice(client, 2)
        text, _, uin = notice_text(notice)
        self.assertEqual(uin, "777888999")
        date = notice.data[DATE_AT : DATE_AT + 6]  # today's date and time in UTC
        year, month, day, hour, minute = struct.unpack("<HBBBB", date)
        self.assertIn(year, (time.gmtime().tm_year - 1, time.gmtime().tm_year))
        self.assertTrue(1 <= month <= 12 and 1 <= day <= 31 and hour < 24 and minute < 60, date.hex())
        self.assertEqual(notice.data, offline_notice("222333444", "777888999", text, date))
        self.assertNumbered(client.chat.received, 0x2000, "frames reaching the client")
        server.close()
        client.chat.wait_closed()
        run.wait_log("Server-chat disconnected")

    def test_sessions_with_dorrimel_then_settings_written_on_close(self):
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port, with_plugin=True) as run:
            self.first_session(run, chat, login)
            self.second_session(run, chat, login)

            self.assertTwoSessions(run.messages(), run, chat, login)
            self.assertStopWritesSettings(run)

    def test_two_sessions_at_once_each_get_their_own_notice(self):
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port, with_plugin=True) as run:
            sessions = [self.sign_on(run, chat, login, uin, i, notify_type=1)
                        for i, uin in enumerate(("111222333", "444555666"))]
            starts = []
            for i, (client, _) in enumerate(sessions):
                starts.append(len(client.chat.received))
                client.send_message(f"98765432{i}", "never acknowledged", b"LOST-00%d" % i, want_ack=False)
            for i, ((client, _), start) in enumerate(zip(sessions, starts)):
                self.assertEqual(notice_text(self.notice(client, start))[2], f"98765432{i}")
            # Both messages are dropped after their notice: none comes twice
            # or reaches the other client.
            for i in range(2):
                self.wait_msgack(run, f"[{sessions[i][0].uin}] Removed  to   98765432{i} ")
            for (client, _), start in zip(sessions, starts):
                self.assertEqual(len(client.chat.received), start + 1, "one notice, and only its own")
            self.assertStopWritesSettings(run)

    def test_typing_shield_withholds_only_the_clients_typing_notifications(self):
        self.example_session(example_plugin("TYPING_SHIELD_PLUGIN"), shields=True)


class WineFaultTest(RelayAssertions):
    def test_client_that_stops_reading_holds_back_only_the_servers_direction(self):
        with Listener("login") as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            s = Session(run, login, chat)
            self.addCleanup(s.close_all)
            s.sign_on()
            s.chat_steps(4)
            # The server sends far more than the sockets and the proxy's queue
            # hold; the client reads none of it, so the server's writes stop.
            burst = [flap(CHANNEL_DATA, i, struct.pack(">I", i) * 15000) for i in range(BURST_FRAMES)]
            writer_sock = s.chat_server.sock.dup()
            writer_sock.settimeout(STALL_WAIT)
            written = [0]

            def write() -> None:
                for raw in burst:
                    writer_sock.sendall(raw)
                    written[0] += 1

            writer = threading.Thread(target=write, daemon=True)
            writer.start()
            self.addCleanup(writer_sock.close)
            last, deadline = -1, time.monotonic() + STALL_WAIT
            while written[0] != last and time.monotonic() < deadline:
                last = written[0]
                time.sleep(1.0)
            self.assertLess(written[0], len(burst), "the whole burst went into buffers")

            # The client's frames still reach the server meanwhile.
            up = [s.chat_client.send_frame(CHANNEL_DATA, snac(0x04, 0x06, s.rng.randbytes(700))) for _ in range(20)]
            got_up = s.chat_server.take(len(up))
            self.assertTrue(same_but_seq(up, got_up), "client to server")
            self.assertEqual([f.seq for f in got_up], renumbered(0x4001, len(up)))
            self.assertLess(written[0], len(burst), "the proxy read on while the client did not")

            # Once the client reads, every frame comes whole, in order, renumbered.
            got = s.chat_client.take(len(burst), timeout=STALL_WAIT)
            writer.join(timeout=STALL_WAIT)
            self.assertTrue(same_but_seq(burst, got), "the burst changed on the way")
            self.assertEqual([f.seq for f in got], renumbered(0x2002, len(burst)))
            s.end_chat()
            msgs = run.wait_log("Client-chat disconnected")
            self.assertFalse([m for m in msgs if m.startswith("Failed to transmit")])
            self.assertCleanEnd(msgs, run)

    def test_login_connect_that_never_completes_keeps_nothing_waiting(self):
        with Listener("login", backlog=0) as login, SkelvaneRun(login.port) as run:
            # One connection nobody accepts fills the queue: the proxy's
            # connects get no answer at all.
            filler = socket.create_connection(("127.0.0.1", login.port), timeout=5)
            self.addCleanup(filler.close)
            client = connect(run.login_port, "client-login")
            self.addCleanup(client.close)
            client.wait_ended(timeout=CONNECT_TIMEOUT + WAIT)
            run.wait_log("Could not connect to the login server")
            lines = run.dump()
            began = next(l.tick for l in lines if l.message.startswith("Client-login connected"))
            failed = [l.tick for l in lines if l.message == "Sok_connect server-login 127.0.0.1 failed with 4"]
            self.assertEqual(len(failed), 1, run.describe())
            self.assertGreaterEqual(failed[0] - began, CONNECT_TIMEOUT * 1000)
            self.assertLess(failed[0] - began, (CONNECT_TIMEOUT + WAIT) * 1000)

            # Closed while the next connect is under way, the program ends at
            # once, long before that connect would be given up, and saves.
            again = connect(run.login_port, "client-login")
            self.addCleanup(again.close)
            run.wait_log("Client-login connected", count=2)
            self.assertStopWritesSettings(run)
            self.assertEqual(log_count(run, "Sok_connect server-login"), 1, run.describe())


class CommandLineTest(CommandLineChecks, unittest.TestCase):
    pass


if __name__ == "__main__":
    unittest.main()
