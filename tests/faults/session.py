"""One sign-on and chat session through the running proxy, taken one step at
a time, so that a fault test can break it after any step. The test plays all
four peers with the plain sockets of rawpeer.

Login steps: the client connects (and the proxy has reached the login
server), the test accepts that connection, the server's hello, the client's
hello and key request (17-06), the server's key (17-07), the client's login
request (17-02), the server's reply (17-03) with the rewritten redirect.
Chat steps: the client follows the redirect (and the proxy has reached the
chat server), the test accepts that connection, the server's hello, the
client's sign-on with the cookie, the server's 01-03, then traffic both ways.
"""

from __future__ import annotations

import random
from typing import Optional

from oscar import CHANNEL_DATA, CHANNEL_SIGNON, HELLO, Frame, snac, tlv
from rawpeer import (COOKIE, Listener, Peer, connect, key_reply, key_request, login_reply, login_request,
                     redirect_of)
from skelvane_run import SkelvaneRun, unprefixed

LOGIN_STEPS = ("client connects", "proxy reaches the server", "server hello", "client 17-06", "server 17-07",
               "client 17-02", "server 17-03")
CHAT_STEPS = ("client connects", "proxy reaches the server", "server hello", "client sign-on", "server 01-03",
              "traffic")
LISTENING = "Await client-login connect at "


def log_count(run: SkelvaneRun, text: str) -> int:
    return sum(1 for m in run.messages() if unprefixed(m).startswith(text))


def same_but_seq(sent: list[bytes], received: list[Frame]) -> bool:
    return [s[:2] + s[4:] for s in sent] == [f.raw[:2] + f.raw[4:] for f in received]


class Session:
    def __init__(self, run: SkelvaneRun, login: Listener, chat: Listener, uin: str = "123456789") -> None:
        self.run = run
        self.login = login
        self.chat = chat
        self.uin = uin
        self.client: Optional[Peer] = None  # client-login, as the client holds it
        self.server: Optional[Peer] = None  # server-login, as the login server holds it
        self.chat_client: Optional[Peer] = None
        self.chat_server: Optional[Peer] = None
        self.rng = random.Random(uin)

    # -- login
    def login_step(self, step: int) -> None:
        if step == 0:
            before = log_count(self.run, "Connected to server-login ")
            self.client = connect(self.run.login_port, "client-login")
            self.run.wait_log("Connected to server-login ", count=before + 1, any_session=True)
        elif step == 1:
            self.server = self.login.accept()
        elif step == 2:
            self._pass(self.server, self.client, [(CHANNEL_SIGNON, HELLO)])
        elif step == 3:
            self._pass(self.client, self.server, [(CHANNEL_SIGNON, HELLO), (CHANNEL_DATA, key_request(self.uin))])
        elif step == 4:
            self._pass(self.server, self.client, [(CHANNEL_DATA, key_reply())])
        elif step == 5:
            self._pass(self.client, self.server, [(CHANNEL_DATA, login_request(self.uin))])
        elif step == 6:
            self.server.send_frame(CHANNEL_DATA, login_reply(self.uin, self.chat.address))
            reply = self.client.take(1)[0]
            if redirect_of(reply) != f"127.0.0.1:{self.run.chat_port}":
                raise AssertionError(f"redirect not rewritten: {redirect_of(reply)!r}")

    def login_steps(self, upto: int) -> None:
        for step in range(upto + 1):
            self.login_step(step)

    def sign_on(self) -> None:
        """The whole login; the server hangs up after its reply, as it does."""
        self.login_steps(len(LOGIN_STEPS) - 1)
        self.server.close()
        self.client.wait_ended()

    # -- chat
    def chat_step(self, step: int) -> None:
        if step == 0:
            before = log_count(self.run, "Connected to server-chat ")
            self.chat_client = connect(self.run.chat_port, "client-chat")
            self.run.wait_log("Connected to server-chat ", count=before + 1, any_session=True)
        elif step == 1:
            self.chat_server = self.chat.accept()
        elif step == 2:
            self._pass(self.chat_server, self.chat_client, [(CHANNEL_SIGNON, HELLO)])
        elif step == 3:
            self._pass(self.chat_client, self.chat_server, [(CHANNEL_SIGNON, HELLO + tlv(6, COOKIE))])
        elif step == 4:
            self._pass(self.chat_server, self.chat_client, [(CHANNEL_DATA, snac(0x01, 0x03, b"\x00\x01\x00\x04"))])
        elif step == 5:
            self.traffic(3)

    def chat_steps(self, upto: int) -> None:
        for step in range(upto + 1):
            self.chat_step(step)

    def traffic(self, count: int) -> None:
        """`count` frames of random size each way, one direction after the other."""
        def frames():
            return [(CHANNEL_DATA, snac(0x04, 0x06, self.rng.randbytes(self.rng.randrange(0, 600))))
                    for _ in range(count)]

        self._pass(self.chat_client, self.chat_server, frames())
        self._pass(self.chat_server, self.chat_client, frames())

    def end_chat(self) -> None:
        """The client leaves; the proxy hangs up on the server."""
        self.chat_client.close()
        self.chat_server.wait_ended()

    def whole(self, traffic: int = 20) -> None:
        """A complete session that ends with the client leaving."""
        self.sign_on()
        self.chat_steps(len(CHAT_STEPS) - 1)
        self.traffic(traffic)
        self.end_chat()

    # -- helpers
    @staticmethod
    def _pass(sender: Peer, receiver: Peer, frames: list[tuple[int, bytes]]) -> None:
        """Sends the frames and checks that they arrive whole and in order
        (the chat side renumbers them, so sequence fields are not compared)."""
        sent = [sender.send_frame(channel, data) for channel, data in frames]
        got = receiver.take(len(sent))
        if not same_but_seq(sent, got):
            raise AssertionError(f"{sender.name} -> {receiver.name}: frames changed on the way")

    def close_all(self) -> None:
        for peer in (self.client, self.server, self.chat_client, self.chat_server):
            if peer is not None:
                peer.sock.close()
