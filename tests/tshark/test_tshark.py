"""Our frames as Wireshark's own OSCAR dissector reads them. tshark records a
run of the real program with Dorrimel on loopback: four sign-ons through the
proxy (the login reply with its redirect rewritten; the last sign-on is the
classic one, whose reply comes on channel 4), each with a chat session
whose unacknowledged message brings one of the four notification forms. The
recording must decode without a malformed packet or an expert warning, and
every segment that carries data must carry one whole FLAP frame."""

from __future__ import annotations

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

from oscar import ChatServer, Client, LoginServer, parse_message
from relay import COOKIE, RelayAssertions
from skelvane_run import SkelvaneRun

UIN, RECIPIENT = "123456789", "987654321"
START_WAIT = 30.0
EXPERT_WARNING = 0x00600000  # PI_WARN
FIELDS = ("frame.number", "tcp.srcport", "tcp.dstport", "tcp.len", "aim.datalen", "aim.fnac.family",
          "aim.fnac.subtype")
# NotifyType: the SNAC the notification comes in and, for the instant
# message forms, the sender it names.
FORMS = {1: ((0x04, 0x07), RECIPIENT), 2: ((0x15, 0x03), None), 3: ((0x04, 0x07), "1"), 4: ((0x04, 0x07), "2")}
CLASSIC_FORM = 4  # that session signs on the classic way


def tshark() -> str:
    path = shutil.which("tshark")
    if path is None:
        raise unittest.SkipTest("tshark is not installed (Debian package 'tshark')")
    if os.geteuid() != 0:
        raise unittest.SkipTest("capturing on the loopback interface needs root")
    return path


class Recording:
    """tshark capturing loopback traffic of some ports into a file. A probe
    port, also in the filter, shows when the capture really runs: a connection
    to it is the mark that everything before it was recorded."""

    def __init__(self, ports: list[int], path: str) -> None:
        self.path = path
        self._probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._probe.bind(("127.0.0.1", 0))
        self._probe.listen(64)
        self._probe_port = self._probe.getsockname()[1]
        all_ports = [*ports, self._probe_port]
        flt = " or ".join(f"tcp port {p}" for p in all_ports)
        self._out = tempfile.TemporaryFile()
        self._proc = subprocess.Popen([tshark(), "-i", "lo", "-f", flt, "-w", path, "-P", "-l"],
                                      stdin=subprocess.DEVNULL, stdout=self._out, stderr=subprocess.STDOUT)

    def _output(self) -> str:
        self._out.seek(0)
        return self._out.read().decode("utf-8", "replace")

    def mark(self) -> None:
        """Connects to the probe port until tshark shows one of these
        connections (each is known by its own source port)."""
        sources = []
        deadline = time.monotonic() + START_WAIT
        while True:
            with socket.create_connection(("127.0.0.1", self._probe_port)) as c:
                sources.append(c.getsockname()[1])
            self._probe.accept()[0].close()
            shown = self._output()
            if any(f" {src} → {self._probe_port} " in shown for src in sources):
                return
            if self._proc.poll() is not None and re.search("permission|not permitted", shown, re.I):
                raise unittest.SkipTest(f"tshark may not capture here:\n{shown}")
            if self._proc.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"tshark does not record loopback traffic:\n{shown}")
            time.sleep(0.2)

    def stop(self) -> None:
        if self._proc.poll() is None:
            self._proc.send_signal(signal.SIGINT)
            try:
                self._proc.wait(timeout=START_WAIT)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
        self._probe.close()
        self._out.close()

    def __enter__(self) -> "Recording":
        try:
            self.mark()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc) -> None:
        self.stop()


def decode(path: str, ports: list[int], *args: str) -> list[str]:
    bind = [a for p in ports for a in ("-d", f"tcp.port=={p},aim")]
    out = subprocess.run([tshark(), "-r", path, *bind, *args], capture_output=True, timeout=120, check=True)
    return out.stdout.decode("utf-8", "replace").splitlines()


def warnings(path: str, ports: list[int]) -> list[str]:
    """Every expert warning or error, as "frame: message". A duplicate SACK
    is not ours: the kernel's loss probe sends a FIN again while the peer
    still delays its ACK, so the peer reports the FIN twice received."""
    found = []
    for line in decode(path, ports, "-Y", "_ws.expert.severity >= warning", "-T", "fields", "-E", "aggregator=|",
                       "-e", "frame.number", "-e", "_ws.expert.severity", "-e", "_ws.expert.message"):
        number, severities, messages = line.split("\t")
        for severity, message in zip(severities.split("|"), messages.split("|")):
            if int(severity) >= EXPERT_WARNING and message != "D-SACK Sequence":
                found.append(f"{number}: {message}")
    return found


class TsharkTest(RelayAssertions):
    def test_sessions_with_every_notification_form_decode_cleanly(self):
        tshark()
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        path = os.path.join(scratch.name, "session.pcapng")
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login:
            run = SkelvaneRun(login.port, with_plugin=True)
            ports = [login.port, chat.port, run.login_port, run.chat_port]
            with Recording(ports, path) as recording, run:
                for form in FORMS:
                    self.session(run, form, chat)
                self.assertEqual(run.stop(), 0, run.describe())
                recording.mark()

        self.assertEqual(decode(path, ports, "-Y", "_ws.malformed"), [], "malformed packets")
        self.assertEqual(warnings(path, ports), [], "expert warnings")

        rows = [line.split("\t") for line in decode(path, ports, "-Y", "tcp.len > 0", "-T", "fields",
                                                    *(a for f in FIELDS for a in ("-e", f)))]
        # The proxy sends what one pass relays in one piece: a segment holds
        # whole FLAP frames, one or several.
        for number, _, _, tcp_len, datalen, _, _ in rows:
            frames = [int(n) + 6 for n in datalen.split(",") if n]
            self.assertEqual(sum(frames) or -1, int(tcp_len), f"segment {number}: whole FLAP frames")

        def snacs(src: int) -> list[tuple[int, int]]:
            return [(int(f, 0), int(t, 0)) for r in rows if int(r[1]) == src and r[5]
                    for f, t in zip(r[5].split(","), r[6].split(","))]

        # The rewritten replies: 17-03, and the classic one on channel 4 with
        # its TLVs 1, 5 (the proxy's chat listener) and 6 read whole.
        self.assertEqual(snacs(run.login_port).count((0x17, 0x03)), len(FORMS) - 1)
        classic = decode(path, ports, "-Y", f"aim.channel == 4 && tcp.srcport == {run.login_port}", "-T", "fields",
                         "-e", "aim.tlv.value_id", "-e", "aim.tlv.length")
        redirect = f"127.0.0.1:{run.chat_port}"
        self.assertEqual(classic, [f"1,5,6\t{len(UIN)},{len(redirect)},{len(COOKIE)}"])
        to_client = snacs(run.chat_port)
        self.assertEqual(to_client.count((0x04, 0x07)), 3)
        self.assertEqual(to_client.count((0x15, 0x03)), 1)
        self.assertEqual(to_client.count((0x04, 0x0C)), len(FORMS))

    def session(self, run: SkelvaneRun, form: int, chat: ChatServer) -> None:
        """One sign-on through the proxy with Dorrimel set to `form`: a message
        the server acknowledges, one it does not, and the notification."""
        with open(os.path.join(run.dir, "dorrimel.ini"), "w", encoding="ascii") as f:
            f.write(f"TimerInterval = 50\nWaitTimeout = 100\nRemoveTimeout = 60000\nNotifyType = {form}\n")
        (family, subtype), sender = FORMS[form]
        with Client(UIN) as client:
            redirect = client.sign_on("127.0.0.1", run.login_port, classic=form == CLASSIC_FORM)
            self.assertEqual(redirect.port, run.chat_port, "the redirect is not rewritten")
            client.connect_chat()
            server = chat.wait_connection(form - 1)
            client.send_message(RECIPIENT, "acknowledged", b"ACKED%03d" % form, want_ack=True)
            client.chat.wait_snac(0x04, 0x0C)
            client.send_message(RECIPIENT, "never acknowledged", b"LOST%04d" % form, want_ack=False)
            note = client.chat.wait_snac(family, subtype)
            if sender is not None:
                self.assertEqual(parse_message(note.snac.body).uin, sender.encode(), f"NotifyType {form}")
            client.chat.close()
            server.wait_closed()
        run.wait_log("Client-chat disconnected", count=form)


if __name__ == "__main__":
    unittest.main()
