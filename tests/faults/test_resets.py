"""Resets (a close with SO_LINGER 0) from each of the four peers after every
step of the login and of the chat session, and in the middle of a frame. The
proxy must end that side of the session, hang up on the other peer, listen
again, and carry the next session whole; one program run takes every fault
of a test in turn."""

import unittest

from relay import RelayAssertions
from rawpeer import Listener
from session import CHAT_STEPS, LISTENING, LOGIN_STEPS, Session, log_count
from skelvane_run import SkelvaneRun

HALF_HEADER = b"\x2a\x02\x7f"


class ResetTest(RelayAssertions):
    def reset_and_check(self, run, victim, other, accept_other, gone: str) -> None:
        """Resets `victim`; the proxy logs `gone` and ends the connection of
        `other` (accepted from `accept_other` first when the test has not
        taken it yet)."""
        before = log_count(run, gone)
        victim.reset()
        if other is None:
            other = accept_other.accept()
        other.wait_ended()
        run.wait_log(gone, count=before + 1)

    def test_login_peer_resets_after_every_step(self):
        with Listener("login") as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            listening = 1
            cases = [(who, step, False) for who in ("client", "server") for step in range(len(LOGIN_STEPS))
                     if not (who == "server" and step == 0)]
            cases += [(who, 3, True) for who in ("client", "server")]  # half a frame, then the reset
            for who, step, half in cases:
                with self.subTest(peer=who, after=LOGIN_STEPS[step], half_frame=half):
                    s = Session(run, login, chat)
                    try:
                        s.login_steps(step)
                        victim, other = (s.client, s.server) if who == "client" else (s.server, s.client)
                        if half:
                            victim.send(HALF_HEADER)
                        gone = "Client-login disconnected" if who == "client" else "Server-login disconnected"
                        self.reset_and_check(run, victim, other, login, gone)
                        if step == len(LOGIN_STEPS) - 1:
                            # The rewritten reply got through: the chat session
                            # is still awaited, and the client can still come.
                            s.chat_steps(len(CHAT_STEPS) - 1)
                            s.end_chat()
                        listening += 1
                        run.wait_log(LISTENING, count=listening)
                        if half:
                            self.assertEqual(other.pending, b"", "a cut frame reached the other side")
                    finally:
                        s.close_all()
            Session(run, login, chat, uin="424242").whole()
            listening += 1
            msgs = run.wait_log(LISTENING, count=listening)
            self.assertNoInternalError(msgs)
            self.assertEqual(run.stop(), 0, run.describe())

    def test_chat_peer_resets_after_every_step(self):
        with Listener("login") as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            listening = 1
            cases = [(who, step, False) for who in ("client", "server") for step in range(len(CHAT_STEPS))
                     if not (who == "server" and step == 0)]
            cases += [(who, len(CHAT_STEPS) - 1, True) for who in ("client", "server")]
            for who, step, half in cases:
                with self.subTest(peer=who, after=CHAT_STEPS[step], half_frame=half):
                    s = Session(run, login, chat)
                    try:
                        s.sign_on()
                        s.chat_steps(step)
                        victim, other = ((s.chat_client, s.chat_server) if who == "client"
                                         else (s.chat_server, s.chat_client))
                        if half:
                            victim.send(HALF_HEADER)
                        gone = "Client-chat disconnected" if who == "client" else "Server-chat disconnected"
                        self.reset_and_check(run, victim, other, chat, gone)
                        listening += 1
                        run.wait_log(LISTENING, count=listening)
                        if half:
                            self.assertEqual(other.pending, b"", "a cut frame reached the other side")
                    finally:
                        s.close_all()
            Session(run, login, chat, uin="424242").whole()
            listening += 1
            msgs = run.wait_log(LISTENING, count=listening)
            self.assertNoInternalError(msgs)
            self.assertEqual(run.stop(), 0, run.describe())


if __name__ == "__main__":
    unittest.main()
