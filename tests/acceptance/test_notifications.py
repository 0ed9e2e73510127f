"""Whole sessions through the real program with Dorrimel installed, against
the sandbox service: one sign-on after another in the same run, one per
notification form, then the first form again with the classic sign-on (a
channel-1 login answered on channel 4). The sender asks for acks on three
messages: one to a receiver that is acknowledged, one whose ack the sandbox
withholds although it delivers the message, one to a UIN that is not signed
on. The two that are never acknowledged come back as notices in the chosen
form. Then two and eight clients at once through one program, each leaving
a message to a UIN of its own unacknowledged: each gets its own notice and
none of another's."""

import unittest
from concurrent.futures import ThreadPoolExecutor

from sandbox_run import SandboxRun
from session import (ABSENT, ACKED, SENDER, WITHHELD, AcceptanceCase, message_text, run_sender,
                     sign_on_at, write_dorrimel_ini)
from skelvane_run import SkelvaneRun

# The line the scripted client prints for a notice, by NotifyType, for a
# message to `uin`: (prefix, sender shown in the 4/7 or offline message).
FORMS = {
    1: lambda uin: f"message from {uin} on channel 4 (type 1, sender {uin}): ",
    2: lambda uin: f"offline message from {uin} dated ",
    3: lambda uin: "message from 1 on channel 4 (type 9, sender 1): ",
    4: lambda uin: "message from 2 on channel 4 (type 1, sender 2): ",
}
# (NotifyType, classic sign-on) of each session in turn.
SESSIONS = [(form, False) for form in FORMS] + [(1, True)]


class NotificationTest(AcceptanceCase):
    def test_every_form_one_sign_on_after_another(self):
        with SandboxRun(no_ack_for=(WITHHELD,)) as sandbox, \
                SkelvaneRun(sandbox.login_port, with_plugin=True) as run:
            acked, withheld = sign_on_at(sandbox, ACKED), sign_on_at(sandbox, WITHHELD)
            try:
                for number, (form, classic) in enumerate(SESSIONS, 1):
                    with self.subTest(form=form, classic=classic):
                        starts = [len(r.chat.received) for r in (acked, withheld)]
                        self.session(sandbox, run, number, form, classic)
                        for receiver, start, text in zip((acked, withheld), starts, ("hello", "withheld")):
                            frame = receiver.chat.wait_snac(0x04, 0x07, start=start)
                            self.assertEqual(message_text(frame.snac.body), (SENDER, f"{text} {number}"))
                    run.wait_log("Client-chat disconnected", count=number)
                messages = run.messages()
                self.assertEqual(messages.count("Plugin initialized"), len(SESSIONS))
                self.assertEqual(messages.count("FLAP channel 1 login (UIN) detected"), 1)
                self.assertEqual(messages.count("FLAP channel 4 reply (URL) detected"), 1)
            finally:
                acked.close()
                withheld.close()
            self.assertEqual(run.stop(), 0)

    def session(self, sandbox: SandboxRun, run: SkelvaneRun, number: int, form: int, classic: bool) -> None:
        write_dorrimel_ini(run, form)  # read again at every sign-on
        outcome = run_sender(run.login_port, *(["--classic"] if classic else []), "--ack",
                             "--send", f"{ACKED}:hello {number}", "--send", f"{WITHHELD}:withheld {number}",
                             "--send", f"{ABSENT}:absent {number}", "--until-messages", "2", "--wait-ms", "20000")
        self.assertSignedOn(outcome)
        if classic:
            sandbox.wait_line(f"login: {SENDER} signed on (classic), ")
        log = "\n".join(outcome.lines) + "\n" + sandbox.describe()
        self.assertEqual(len(outcome.starting(f"ack: server ack for the message to {ACKED} ")), 1, log)
        self.assertEqual(len(outcome.starting("ack: ")), 1, log)
        self.assertEqual(outcome.starting("error: "), ["error: 4/01 code 4"], log)
        sandbox.wait_line(f"chat: 4/6 from {SENDER} to {WITHHELD} (channel 1), delivered, ack withheld", count=number)

        notices = outcome.starting("offline message " if form == 2 else "message from ")
        self.assertEqual(len(notices), 2, log)
        for uin in (WITHHELD, ABSENT):
            prefix = FORMS[form](uin)
            mine = [n for n in notices if n.startswith(prefix) and n.endswith(f" {uin}]]")]
            self.assertEqual(len(mine), 1, f"no notice {prefix!r}... for {uin}\n{log}")
            if form == 2:
                dated, _, text = mine[0][len(prefix):].partition(" UTC (type 1): ")
                self.assertIn(dated, outcome.utc_minutes)
            else:
                text = mine[0][len(prefix):]
            self.assertNotice(text, uin, outcome)


class SessionsAtOnceTest(AcceptanceCase):
    def test_clients_at_once_each_get_their_own_notice(self):
        with SandboxRun() as sandbox, SkelvaneRun(sandbox.login_port, with_plugin=True) as run:
            write_dorrimel_ini(run, 1)
            ended = 0
            for count in (2, 8):
                with self.subTest(clients=count):
                    senders = [str(60000 + 100 * count + i) for i in range(count)]
                    with ThreadPoolExecutor(count) as pool:
                        outcomes = list(pool.map(lambda uin: run_sender(
                            run.login_port, "--ack", "--send", f"{absent_for(uin)}:hello", "--wait-ms", "4000",
                            uin=uin), senders))
                    for uin, outcome in zip(senders, outcomes):
                        self.assertSignedOn(outcome, uin)
                        notices = outcome.starting("message from ")
                        self.assertEqual(len(notices), 1, "\n".join(outcome.lines))
                        self.assertNotice(notices[0][len(FORMS[1](absent_for(uin))):], absent_for(uin), outcome)
                    ended += count
                    run.wait_log("Client-chat disconnected", count=ended, any_session=True)
            self.assertEqual(run.stop(), 0, run.describe())


def absent_for(sender: str) -> str:
    """A UIN never signed on, one for each sender: its notice names it."""
    return "4" + sender


if __name__ == "__main__":
    unittest.main()
