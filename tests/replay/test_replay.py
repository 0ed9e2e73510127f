"""The recorded chat session replayed through the real program with Dorrimel
installed: a fake client signs on through the proxy and follows the redirect
to a server that only records; then each side sends its recorded frames in
the recorded order. Both ends must receive every frame with all its bytes,
renumbered, and Dorrimel must match the server's ack to the message that
asked for it."""

import os
import re
import socket
import time
import unittest

import capture
from oscar import Client, Connection, LoginServer, QuietServer, parse_flap, parse_message, parse_tlvs, tlv_value
from relay import RelayAssertions
from skelvane_run import WAIT, SkelvaneRun

UIN = "123456789"


def open_chat(client: Client) -> Connection:
    """The client's chat connection, to the address of the redirect; what it
    sends is the recording's, its own sign-on included."""
    sock = socket.create_connection((client.redirect.host, client.redirect.port), timeout=WAIT)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return Connection(sock, f"client-{client.uin}-chat")


def replay(frames, to_server: Connection, to_client: Connection) -> None:
    """Sends each recorded frame from its side, once that side has received
    every frame the other side sent before it, as in the recording."""
    sent = {to_server: 0, to_client: 0}
    for f in frames:
        sender, other = (to_server, to_client) if f.dst[1] == capture.SERVER_PORT else (to_client, to_server)
        sender.wait_frames(sent[other])
        sender.send_raw(f.raw)
        sent[sender] += 1


def msgack_lines(run: SkelvaneRun) -> list[str]:
    """msgack.log's whole lines without their time stamps."""
    try:
        with open(os.path.join(run.dir, "msgack.log"), encoding="latin-1") as f:
            text = f.read()
    except FileNotFoundError:
        return []
    return [line[24:] for line in text[: text.rfind("\n") + 1].splitlines()]


def wait_msgack(run: SkelvaneRun, pattern: str) -> list[str]:
    deadline = time.monotonic() + WAIT
    while not any(re.fullmatch(pattern, line) for line in msgack_lines(run)):
        if time.monotonic() > deadline:
            raise AssertionError(f"msgack.log has no line like {pattern!r}:\n" + "\n".join(msgack_lines(run))
                                 + "\n" + run.describe())
        time.sleep(0.02)
    return msgack_lines(run)


class ReplayTest(RelayAssertions):
    def test_recorded_session_through_the_proxy_and_dorrimel(self):
        conv = capture.load()
        sign_on = parse_flap(conv.to_server[0].raw)
        cookie = tlv_value(parse_tlvs(sign_on.data[4:]), 6)  # the recorded client's own
        message = capture.find_snac(conv.to_server, 0x04, 0x06, capture.RECIPIENT)[0]
        key = f"{message.snac.request_id:08X}-{parse_message(message.snac.body).cookie.hex().upper()}"

        with QuietServer() as chat, LoginServer(chat.address, cookie) as login, \
                SkelvaneRun(login.port, with_plugin=True) as run, Client(UIN) as client:
            # Dorrimel reads its settings at sign-on: no notification may
            # slip into the replay, however slow the run.
            with open(os.path.join(run.dir, "dorrimel.ini"), "w", encoding="ascii") as f:
                f.write("WaitTimeout = 3600000\n")

            client.sign_on("127.0.0.1", run.login_port)
            # The senders of each direction: the client's chat connection and
            # the server's end of the proxy's.
            client.chat = to_server = open_chat(client)
            to_client = chat.wait_connection()
            replay(conv.in_order, to_server, to_client)
            to_client.wait_frames(len(conv.to_server))
            to_server.wait_frames(len(conv.to_client))

            self.assertEqual([f.raw for f in to_server.sent], [f.raw for f in conv.to_server])
            self.assertEqual([f.raw for f in to_client.sent], [f.raw for f in conv.to_client])
            self.assertRelayed(to_server.sent, to_client.received, 0x4000, "client to server")
            self.assertRelayed(to_client.sent, to_server.received, 0x2000, "server to client")

            lines = wait_msgack(run, rf"Srv ack from  461758769 {key} \d+ ms")
            self.assertInOrder(lines, ["Starting", f"Out msg  to   461758769 {key} ({len(message.raw) + 2} b) added",
                                       f"Srv ack from  461758769 {key} ..."], "msgack.log")
            self.assertEqual([line for line in lines if "not found" in line], [])

            to_server.close()
            to_client.wait_closed()
            run.wait_log("Client-chat disconnected")
            wait_msgack(run, "Stopping")
            self.assertEqual(chat.errors(), [])
            self.assertNoInternalError(run.messages())
            self.assertEqual(run.stop(), 0, run.describe())


if __name__ == "__main__":
    unittest.main()
