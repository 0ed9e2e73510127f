"""The program with no plugin.so beside it: a plain relay between the
scripted client and the sandbox service. Messages, acks and errors pass both
ways and nothing is injected, not even for the message that is never
acknowledged."""

import os
import unittest

from sandbox_run import SandboxRun
from session import (ABSENT, ACKED, SENDER, WITHHELD, AcceptanceCase, message_text, run_sender,
                     sign_on_at, write_dorrimel_ini)
from skelvane_run import PLUGIN_FILES, SkelvaneRun


class PlainRelayTest(AcceptanceCase):
    def test_messages_and_acks_pass_and_nothing_is_injected(self):
        with SandboxRun(no_ack_for=(WITHHELD,)) as sandbox, SkelvaneRun(sandbox.login_port) as run:
            self.assertFalse(any(os.path.exists(os.path.join(run.dir, n)) for n in PLUGIN_FILES))
            write_dorrimel_ini(run, 1)  # what would make Dorrimel notify after 1.5 s
            acked, withheld = sign_on_at(sandbox, ACKED), sign_on_at(sandbox, WITHHELD)
            try:
                # Listens twice as long as Dorrimel would wait.
                outcome = run_sender(run.login_port, "--ack", "--send", f"{ACKED}:one", "--send",
                                     f"{WITHHELD}:two", "--send", f"{ABSENT}:three", "--wait-ms", "3000")
                self.assertSignedOn(outcome)
                log = "\n".join(outcome.lines)
                self.assertEqual([line.split(" (cookie")[0] for line in outcome.starting("ack: ")],
                                 [f"ack: server ack for the message to {ACKED}"], log)
                self.assertEqual(outcome.starting("error: "), ["error: 4/01 code 4"], log)
                self.assertEqual(outcome.starting("message from ") + outcome.starting("offline message "), [], log)
                self.assertIn("done: ", outcome.lines[-1])
                for receiver, text in ((acked, "one"), (withheld, "two")):
                    frame = receiver.chat.wait_snac(0x04, 0x07)
                    self.assertEqual(message_text(frame.snac.body), (SENDER, text))
            finally:
                acked.close()
                withheld.close()
            run.wait_log("Client-chat disconnected")
            self.assertFalse(os.path.exists(os.path.join(run.dir, "msgack.log")))
            self.assertEqual(run.stop(), 0)


if __name__ == "__main__":
    unittest.main()
