"""Sign-on through the running proxy: the login conversation passes byte for
byte, the chat redirect is rewritten to the proxy's chat listener, and a
sign-on that goes wrong leaves the proxy listening again."""

import os
import signal
import socket
import unittest

from oscar import ChatServer, Client, Connection, LoginServer, parse_tlvs, tlv_value
from relay import COOKIE, RelayAssertions, rewritten_redirect
from skelvane_run import WINE, SkelvaneRun, free_port

REFUSED_WAIT = 30.0  # the proxy's connect runs to its 5 s deadline first


class LoginTest(RelayAssertions):
    def test_sign_on_passes_login_frames_and_rewrites_the_redirect(self):
        # The chat server's address text is longer than the proxy's own, so
        # that the rewrite changes the reply's length.
        with ChatServer(COOKIE, host="127.10.20.30") as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port) as run, Client("123456789") as client:
            redirect = client.sign_on("127.0.0.1", run.login_port)
            self.assertEqual((redirect.host, redirect.port, redirect.cookie), ("127.0.0.1", run.chat_port, COOKIE))

            server = login.wait_connection()
            server.wait_closed()
            self.assertEqual(len(login.connections), 1)
            # Client to server: every frame untouched (hello, 17-06, 17-02).
            self.assertSameBytes(client.login.sent, server.received, "frames reaching the login server")
            self.assertEqual(tlv_value(parse_tlvs(server.received[1].snac.body), 1), b"123456789")
            # Server to client: hello and 17-07 untouched; the 17-03 differs
            # only in TLV 5 and the FLAP length.
            self.assertEqual(len(client.login.received), len(server.sent))
            self.assertSameBytes(server.sent[:-1], client.login.received[:-1], "frames reaching the client")
            expected = rewritten_redirect(server.sent[-1].raw, f"127.0.0.1:{run.chat_port}")
            self.assertEqual(client.login.received[-1].raw.hex(), expected.hex(), "the rewritten 17-03")
            self.assertEqual(len(expected), len(server.sent[-1].raw) - 3)

            # The chat connection goes to the address the reply named.
            client.connect_chat()
            self.assertRelayed(client.chat.sent, chat.wait_connection().received, 0x4000, "chat sign-on")

            msgs = run.wait_log("Connected to server-chat ")
            self.assertEqual(msgs[0], "Started")
            self.assertInOrder(msgs, [
                "Started",
                f"Await client-login connect at 127.0.0.1:{run.login_port}",
                "Client-login connected, connecting to server...",
                f"Connected to server-login 127.0.0.1:{login.port}",
                "SNAC 17-06 (UIN) detected",
                run.plugin_line,
                "SNAC 17-03 (URL) detected",
                f"Found and removed redirect to {chat.address}",
                f"Await client-chat connect at 127.0.0.1:{run.chat_port}",
                "Server-login disconnected",
                "Client-login disconnected",
                "Client-chat connected",
                f"Connected to server-chat {chat.address}",
            ])
            self.assertNoInternalError(msgs)
            # The program's own folder became current: the dump is there only.
            self.assertFalse(os.path.exists(os.path.join(run.scratch, "dump.log")))
            self.assertEqual(run.stop(), 0, run.describe())

    def test_sign_on_without_redirect_leaves_the_proxy_listening(self):
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE, redirect=False) as login, \
                SkelvaneRun(login.port) as run:
            with Client("123456789") as refused:
                refused.open_login("127.0.0.1", run.login_port)
                refused.send_login(refused.request_key())
                refused.login.wait_closed()  # the login server hung up: the proxy must too
            msgs = run.wait_log("Client-login disconnected")
            self.assertInOrder(msgs, [
                f"Await client-login connect at 127.0.0.1:{run.login_port}",
                "SNAC 17-06 (UIN) detected",
                "Server-login disconnected",
                "Client-login disconnected",
            ])
            self.assertListenedOnce(msgs)
            self.assertNotIn("SNAC 17-03 (URL) detected", msgs)

            login.redirect = True
            with Client("123456789") as client:
                redirect = client.sign_on("127.0.0.1", run.login_port)
                self.assertEqual((redirect.host, redirect.port), ("127.0.0.1", run.chat_port))
            self.assertNoInternalError(run.messages())
            # SIGINT closes the program like SIGTERM: settings written, exit 0.
            self.assertStopWritesSettings(run, signal.SIGINT)

    def test_refused_server_login_closes_the_client_and_listens_again(self):
        dead_port = free_port()
        with SkelvaneRun(dead_port) as run:
            sock = socket.create_connection(("127.0.0.1", run.login_port), timeout=10)
            waiting = Connection(sock, "client-login")
            try:
                waiting.wait_closed(timeout=REFUSED_WAIT)
                self.assertEqual(waiting.received, [])
            finally:
                waiting.close()
            refused = f"Could not connect to the login server 127.0.0.1:{dead_port}: "
            msgs = run.wait_log(refused, timeout=REFUSED_WAIT)
            self.assertInOrder(msgs, [
                "Client-login connected, connecting to server...",
                "Sok_connect server-login 127.0.0.1 failed with 4",
                refused + ("..." if WINE else "connection refused"),
            ])
            self.assertListenedOnce(msgs)
            if not WINE:
                # Headless, the program says where it listens, then each problem.
                self.assertInOrder(run.stdout_lines(), [
                    f"Skelvane is listening for the client on 127.0.0.1:{run.login_port};"
                    " stop it with Ctrl+C or SIGTERM",
                    refused + "connection refused"], "standard output")
            # The login server comes up where the proxy looks for it: the
            # next sign-on goes through.
            with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE, port=dead_port), \
                    Client("123456789") as client:
                redirect = client.sign_on("127.0.0.1", run.login_port)
                self.assertEqual((redirect.host, redirect.port), ("127.0.0.1", run.chat_port))
            self.assertNoInternalError(run.messages())
            self.assertEqual(run.stop(), 0, run.describe())


if __name__ == "__main__":
    unittest.main()
