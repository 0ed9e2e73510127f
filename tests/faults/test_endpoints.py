"""Endpoints that cannot be had: the chat listener's port already taken, a
login server that never answers the connect (its accept queue is full, so
the proxy's connect runs into its time-out), and a chat server that refuses.
The proxy logs the failure, keeps running (a connect under way holds up
nothing, not even the program's end), and the next session goes through
once the endpoint is there again. (A refusing login server is one
of the end-to-end login tests.)"""

import socket
import unittest

from oscar import CHANNEL_DATA
from relay import RelayAssertions
from rawpeer import Listener, connect, login_reply, redirect_of
from session import Session
from skelvane_run import SkelvaneRun, free_port

CONNECT_WAIT = 30.0  # the proxy's connect runs to its 5 s deadline first


class EndpointTest(RelayAssertions):
    def test_chat_port_in_use_passes_the_reply_unchanged(self):
        with Listener("login") as login, Listener("chat") as chat:
            run = SkelvaneRun(login.port)
            blocker = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            blocker.bind(("127.0.0.1", run.chat_port))
            blocker.listen(1)
            with run:
                s = Session(run, login, chat)
                s.login_steps(5)
                s.server.send_frame(CHANNEL_DATA, login_reply(s.uin, chat.address))
                reply = s.client.take(1)[0]
                self.assertEqual(reply.raw, s.server.sent[-1], "the reply was not passed unchanged")
                self.assertEqual(redirect_of(reply), chat.address)
                s.server.close()
                s.client.wait_ended()
                msgs = run.wait_log("Client-login disconnected")
                self.assertIn("Sok_bind failed with 4", msgs)

                blocker.close()
                Session(run, login, chat, uin="5150").whole()
                msgs = run.wait_log("Client-chat disconnected")
                self.assertCleanEnd(msgs, run)

    def test_login_server_that_never_answers_times_out(self):
        with Listener("login", backlog=0) as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            # One connection nobody accepts fills the queue; the proxy's
            # connect then gets no answer at all.
            filler = socket.create_connection(("127.0.0.1", login.port), timeout=5)
            s = Session(run, login, chat)
            client = connect(run.login_port, "client-login")
            client.wait_ended(timeout=CONNECT_WAIT)
            msgs = run.wait_log("Could not connect to the login server")
            self.assertIn("Sok_connect server-login 127.0.0.1 failed with 4", msgs)
            self.assertNotIn("Connected to server-login", " ".join(msgs))

            # The queue drains; the next sign-on goes through.
            login.accept().sock.close()
            filler.close()
            s.whole()
            msgs = run.wait_log("Client-chat disconnected")
            self.assertCleanEnd(msgs, run)

    def test_connect_under_way_keeps_no_one_from_stopping_the_program(self):
        with Listener("login", backlog=0) as login, SkelvaneRun(login.port) as run:
            filler = socket.create_connection(("127.0.0.1", login.port), timeout=5)
            client = connect(run.login_port, "client-login")
            run.wait_log("Client-login connected, connecting to server...")
            self.assertEqual(run.stop(), 0, run.describe())
            self.assertIn(b"HostLoginPort = ", run.read_ini())
            self.assertNotIn("Sok_connect server-login", " ".join(run.messages()))
            client.close()
            filler.close()

    def test_refusing_chat_server_ends_the_chat_and_listens_again(self):
        with Listener("login") as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            s = Session(run, login, chat)
            nowhere = f"127.0.0.1:{free_port()}"
            s.login_steps(5)
            s.server.send_frame(CHANNEL_DATA, login_reply(s.uin, nowhere))
            s.client.take(1)
            s.server.close()
            s.client.wait_ended()
            chat_client = connect(run.chat_port, "client-chat")
            chat_client.wait_ended(timeout=CONNECT_WAIT)
            msgs = run.wait_log("Could not connect to the chat server")
            self.assertIn("Sok_connect server-chat 127.0.0.1 failed with 4", msgs)

            Session(run, login, chat, uin="5151").whole()
            msgs = run.wait_log("Client-chat disconnected")
            self.assertCleanEnd(msgs, run)


if __name__ == "__main__":
    unittest.main()
