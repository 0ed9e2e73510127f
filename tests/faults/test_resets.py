"""Resets (a close with SO_LINGER 0) from each of the four peers after every
step of the login and of the chat session, and in the middle of a frame. The
proxy must end that side of the session, hang up on the other peer, listen
again, and carry the next session whole; one program run takes every fault
of a test in turn."""

import unittest

from relay import RelayAssertions
from rawpeer import Listener
from session import CHAT_STEPS, LOGIN_STEPS, Session, log_count
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

    def resets_after_every_step(self, side: str, steps: tuple[str, ...], half_at: int, reach, ends,
                                after=None) -> None:
        """One run: for the client and for the server of the `side` ("login" or
        "chat") connections, after every step (the server is there from step
        1 on) and once more with half a frame sent at step `half_at`, a session
        is taken there by `reach`, that peer resets and the proxy must end the
        other's connection (`ends` gives the client's and the server's) and
        listen again; `after` may go on with the session. Then a whole one."""
        with Listener("login") as login, Listener("chat") as chat, SkelvaneRun(login.port) as run:
            cases = [(who, step, False) for who in ("client", "server") for step in range(len(steps))
                     if not (who == "server" and step == 0)]
            cases += [(who, half_at, True) for who in ("client", "server")]  # half a frame, then the reset
            for who, step, half in cases:
                with self.subTest(peer=who, after=steps[step], half_frame=half):
                    s = Session(run, login, chat)
                    try:
                        reach(s, step)
                        client, server = ends(s)
                        victim, other = (client, server) if who == "client" else (server, client)
                        if half:
                            victim.send(HALF_HEADER)
                        gone = f"{who.capitalize()}-{side} disconnected"
                        self.reset_and_check(run, victim, other, login if side == "login" else chat, gone)
                        if after is not None:
                            after(s, step)
                        if half:
                            self.assertEqual(other.pending, b"", "a cut frame reached the other side")
                    finally:
                        s.close_all()
            Session(run, login, chat, uin="424242").whole()
            msgs = run.messages()
            self.assertCleanEnd(msgs, run)

    def test_login_peer_resets_after_every_step(self):
        def after(s: Session, step: int) -> None:
            if step == len(LOGIN_STEPS) - 1:
                # The rewritten reply got through: the chat session is still
                # awaited, and the client can still come.
                s.chat_steps(len(CHAT_STEPS) - 1)
                s.end_chat()

        self.resets_after_every_step("login", LOGIN_STEPS, 3, Session.login_steps, lambda s: (s.client, s.server),
                                     after)

    def test_chat_peer_resets_after_every_step(self):
        def reach(s: Session, step: int) -> None:
            s.sign_on()
            s.chat_steps(step)

        self.resets_after_every_step("chat", CHAT_STEPS, len(CHAT_STEPS) - 1, reach,
                                     lambda s: (s.chat_client, s.chat_server))


if __name__ == "__main__":
    unittest.main()
