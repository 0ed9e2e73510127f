"""The example plug-ins in the real program. The typing shield keeps the
client's typing notifications (SNAC 4/0x14) from the server and lets every
other frame through byte for byte, typing notifications from the server
included; the template lets everything through, and serves one session
while two run. The Windows programs' test under Wine runs the same session
with the shield's plugin.dll."""

from __future__ import annotations

import os
import struct
import unittest

from oscar import CHANNEL_DATA, CHANNEL_KEEPALIVE, ChatServer, Client, LoginServer, snac
from relay import COOKIE, RelayAssertions
from skelvane_run import SkelvaneRun

UIN = "123456789"
TYPING = (0x04, 0x14)


def example_plugin(variable: str) -> str:
    path = os.environ.get(variable, "")
    if not path or not os.path.isfile(path):
        raise RuntimeError(f"{variable} does not name an example plug-in library: {path!r}")
    return path


def typing_notification(uin: str, state: int) -> bytes:
    """SNAC 4/0x14: cookie, message channel 1, the contact, typing state."""
    return snac(*TYPING, bytes(8) + struct.pack(">H", 1) + bytes([len(uin)]) + uin.encode() + struct.pack(">H", state))


class ExampleSession:
    """One chat session through the plug-in `library`; `shields` says whether
    it should withhold the client's typing notifications."""

    def example_session(self, library: str, shields: bool) -> None:
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port, plugin=library) as run, Client(UIN) as client:
            client.sign_on("127.0.0.1", run.login_port)
            client.connect_chat()
            server = chat.wait_connection()
            up = client.chat

            up.send_frame(CHANNEL_DATA, typing_notification("55566677", 2))  # begun
            client.send_message("55566677", "hello", b"COOKIE01", want_ack=False)
            up.send_frame(CHANNEL_DATA, typing_notification("55566677", 0))  # stopped
            # Not SNAC 4/0x14 as a whole: a header one byte short, and the
            # same bytes on a channel that carries no SNAC.
            up.send_frame(CHANNEL_DATA, snac(*TYPING)[:9])
            up.send_frame(CHANNEL_KEEPALIVE, snac(*TYPING))
            up.send_frame(CHANNEL_DATA, typing_notification("55566677", 1))  # paused
            up.send_frame(CHANNEL_DATA, snac(0x01, 0x0E))  # last: all before it are through
            expected = [f for f in up.sent if not (shields and f.is_snac(*TYPING))]
            self.assertEqual(len(up.sent) - len(expected), 3 if shields else 0)
            server.wait_frames(len(expected))

            # A contact's typing notification reaches the client.
            server.send_frame(CHANNEL_DATA, typing_notification("55566677", 2))
            up.wait_frames(len(server.sent))

            up.close()
            server.wait_closed()
            msgs = run.wait_log("Client-chat disconnected")
            self.assertCleanEnd(msgs, run)
            self.assertRelayed(expected, server.received, 0x4000, "client to server")
            self.assertRelayed(server.sent, up.received, 0x2000, "server to client")
            self.assertEqual(chat.errors(), [])


class ExamplesTest(ExampleSession, RelayAssertions):
    def test_typing_shield_withholds_only_the_clients_typing_notifications(self):
        self.example_session(example_plugin("TYPING_SHIELD_PLUGIN"), shields=True)

    def test_template_lets_every_frame_pass(self):
        self.example_session(example_plugin("PLUGIN_TEMPLATE_PLUGIN"), shields=False)

    def test_template_serves_one_session_while_two_run(self):
        """The template says nothing of sessions: it serves the first, and the
        second is relayed without it, byte for byte all the same."""
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port, plugin=example_plugin("PLUGIN_TEMPLATE_PLUGIN")) as run, \
                Client(UIN) as first, Client("222333444") as second:
            ends = []
            for index, client in enumerate((first, second)):
                client.sign_on("127.0.0.1", run.login_port)
                client.connect_chat()
                ends.append((client.chat, chat.wait_connection(index)))
            for up, server in ends:
                up.send_frame(CHANNEL_DATA, typing_notification("55566677", 2))
                server.send_frame(CHANNEL_DATA, typing_notification(UIN, 1))
            for up, server in ends:
                server.wait_frames(len(up.sent))
                up.wait_frames(len(server.sent))
                self.assertRelayed(up.sent, server.received, 0x4000, "client to server")
                self.assertRelayed(server.sent, up.received, 0x2000, "server to client")
            msgs = run.wait_log("[222333444] The plug-in serves another session; "
                                "UIN 222333444 is relayed without it", exact=True)
            self.assertEqual(msgs.count("Plugin initialized"), 1)
            self.assertCleanEnd(msgs, run)
            self.assertEqual(chat.errors() + login.errors(), [])


if __name__ == "__main__":
    unittest.main()
