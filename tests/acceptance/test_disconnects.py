"""Either side hangs up at every stage of a session through the real program
(Dorrimel installed) against the sandbox service: during login before the
key request (17-06), after it, after the sign-on reply (17-03) when the chat
connection comes, and during the chat session. Each time the program logs
the side that left first, keeps running and listens again: a whole session
with an acknowledged message follows every hang-up in the same run."""

import unittest

from oscar import Client, PeerError, Redirect
from sandbox_run import SandboxRun
from session import SENDER, AcceptanceCase, run_sender, wait_message
from skelvane_run import SkelvaneRun

LEAVER = "55555"


def chat_connection(client: Client):
    """A raw chat connection to the redirect (nothing sent on it)."""
    return Client._connect(client.redirect.host, client.redirect.port, "client-chat-raw")


# Each stage brings a client that far and names the side (login or chat) on
# which the hang-up then happens.
def before_key(c: Client, run: SkelvaneRun) -> str:
    c.open_login("127.0.0.1", run.login_port)
    return "login"


def after_key(c: Client, run: SkelvaneRun) -> str:
    c.open_login("127.0.0.1", run.login_port)
    c.request_key()
    return "login"


def after_reply(c: Client, run: SkelvaneRun) -> str:
    c.sign_on("127.0.0.1", run.login_port)
    c.chat = chat_connection(c)
    c.chat.wait_frames(1)  # the chat server's hello, relayed
    return "chat"


def during_chat(c: Client, run: SkelvaneRun) -> str:
    c.sign_on("127.0.0.1", run.login_port)
    c.connect_chat()
    return "chat"


STAGES = (before_key, after_key, after_reply, during_chat)


class DisconnectTest(AcceptanceCase):
    def test_client_hangs_up_at_every_stage(self):
        self.each_stage("Client", leave=lambda c, sandbox: c.close())

    def test_sandbox_hangs_up_at_every_stage(self):
        def drop(c: Client, sandbox: SandboxRun) -> None:
            sandbox.command("drop")
            sandbox.wait_line("control: dropped ")
            for conn in (c.login, c.chat):
                if conn is not None:
                    conn.wait_closed()  # the program passed the hang-up on
            c.close()

        self.each_stage("Server", leave=drop)

    def test_sandbox_refuses_a_wrong_cookie(self):
        with SandboxRun() as sandbox, SkelvaneRun(sandbox.login_port, with_plugin=True) as run:
            with Client(LEAVER) as c:
                c.sign_on("127.0.0.1", run.login_port)
                mark = len(run.messages())
                c.redirect = Redirect(c.redirect.host, c.redirect.port, b"not the cookie")
                with self.assertRaises(PeerError):
                    c.connect_chat()
            sandbox.wait_line("chat: ", contains="signed on with an unknown cookie, closed")
            self.assertEqual(self.hang_up(run, mark, "chat"), "Server-chat disconnected")
            self.recovers(run, 2)
            self.assertEqual(run.stop(), 0)

    def each_stage(self, first: str, leave) -> None:
        with SandboxRun() as sandbox, SkelvaneRun(sandbox.login_port, with_plugin=True) as run:
            listens = 1
            for stage in STAGES:
                with self.subTest(stage=stage.__name__):
                    with Client(LEAVER) as c:
                        mark = len(run.messages())
                        side = stage(c, run)
                        leave(c, sandbox)
                    self.assertEqual(self.hang_up(run, mark, side), f"{first}-{side} disconnected")
                    listens = self.recovers(run, listens + 1)
            self.assertEqual(run.stop(), 0)

    def hang_up(self, run: SkelvaneRun, mark: int, side: str) -> str:
        return wait_message(run, lambda m: m.endswith(f"-{side} disconnected"), mark)

    def recovers(self, run: SkelvaneRun, listens: int) -> int:
        """Runs a whole session on the login listener, open all along, and
        waits for its end; the listen count stays."""
        mark = len(run.messages())
        outcome = run_sender(run.login_port, "--ack", "--send", f"{SENDER}:ping", "--until-messages", "1",
                             "--wait-ms", "15000")
        self.assertSignedOn(outcome)
        self.assertIn(f"message from {SENDER} on channel 1: ping", outcome.lines)
        self.assertEqual(len(outcome.starting(f"ack: server ack for the message to {SENDER} ")), 1,
                         "\n".join(outcome.lines))
        wait_message(run, lambda m: m.endswith("-chat disconnected"), mark)
        return listens


if __name__ == "__main__":
    unittest.main()
