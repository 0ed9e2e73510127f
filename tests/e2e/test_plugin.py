"""The real program with a real plug-in: the scriptable probe library is
installed as "plugin.so" in the program's folder and steered through its
probe.cfg while a client chats through the proxy. The probe's probe.log shows
what the plug-in was handed; the peers show what its answers and callbacks
did to the chat connection."""

import os
import struct
import time
import unittest

from oscar import CHANNEL_DATA, CHANNEL_KEEPALIVE, ChatServer, Client, LoginServer, flap, parse_flap, snac, tlv
from relay import COOKIE, RelayAssertions
from skelvane_run import WAIT, SkelvaneRun

UIN = "123456789"
PLUGIN_EVENT, PLUGIN_COMMAND = 3, 5
EVENT_INIT, EVENT_FINISH, EVENT_CHAT_CONNECTED, EVENT_CHAT_DISCONNECTED = 1, 2, 4, 5
PACKET_TO_CLIENT, PACKET_TO_SERVER, CLOSE_CLIENT_CHAT = 80, 81, 10
ACK_OK_REPLY = "020000000601"


def probe_library() -> str:
    path = os.environ.get("PROBE_PLUGIN", "")
    if not path or not os.path.isfile(path):
        raise RuntimeError(f"PROBE_PLUGIN does not name the probe plug-in library: {path!r}")
    return path


def record(kind: int, payload: bytes = b"") -> bytes:
    """A plug-in record: L (32-bit little-endian), the kind, the payload."""
    return struct.pack("<I", 1 + len(payload)) + bytes([kind]) + payload


def command(code: int, data: bytes = b"") -> bytes:
    return record(PLUGIN_COMMAND, bytes([code]) + data)


def stamped(raw: bytes, seq: int) -> bytes:
    """A frame as the proxy sends it on: its sequence field replaced."""
    return raw[:2] + struct.pack(">H", seq) + raw[4:]


class Probe:
    """The probe plug-in's two files in the program's folder."""

    def __init__(self, folder: str) -> None:
        self.folder = folder

    def script(self, *lines: str) -> None:
        """Replaces probe.cfg at once, so that an event reads either the old
        or the new script, never half of one."""
        path = os.path.join(self.folder, "probe.cfg")
        with open(path + ".new", "w", encoding="ascii") as f:
            f.write("".join(line + "\n" for line in lines))
        os.replace(path + ".new", path)

    def lines(self) -> list[str]:
        try:
            with open(os.path.join(self.folder, "probe.log"), encoding="ascii") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        return text[: text.rfind("\n") + 1].splitlines()  # whole lines only

    def events(self) -> list[bytes]:
        """Every event record the plug-in was handed, in order."""
        return [bytes.fromhex(line[len("event "):]) for line in self.lines() if line.startswith("event ")]

    def calls(self) -> list[str]:
        return [line for line in self.lines() if line.startswith("call ")]

    def wait_calls(self, count: int, run: SkelvaneRun) -> list[str]:
        deadline = time.monotonic() + WAIT
        while len(self.calls()) < count:
            if not run.running or time.monotonic() > deadline:
                raise AssertionError(f"probe.log has no {count} calls:\n" + "\n".join(self.lines()) + "\n"
                                     + run.describe())
            time.sleep(0.02)
        return self.calls()


class PluginTest(RelayAssertions):
    def test_probe_plugin_sees_the_chat_session_and_steers_it(self):
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port, plugin=probe_library()) as run, Client(UIN) as client:
            probe = Probe(run.dir)
            probe.script()  # pass everything
            client.sign_on("127.0.0.1", run.login_port)
            client.connect_chat()  # hello with cookie up, hello and 01-03 down
            server = chat.wait_connection()
            up = client.chat

            # Unanswered: the frame is relayed as it came.
            plain = up.send_frame(CHANNEL_DATA, snac(0x02, 0x04, tlv(5, b"plain")))
            self.assertEqual(server.wait_frames(2)[1].raw, stamped(plain.raw, 0x4001))

            # Answered with a command carrying another frame: only the new
            # frame goes up, with the number the received one would have had.
            new = flap(CHANNEL_DATA, 0x7777, snac(0x02, 0x04, tlv(5, b"the plug-in's own frame")))
            probe.script(f"{PACKET_TO_SERVER} answer {command(PACKET_TO_SERVER, new).hex()}")
            up.send_frame(CHANNEL_DATA, snac(0x02, 0x04, tlv(5, b"replaced")))
            self.assertEqual(server.wait_frames(3)[2].raw, stamped(new, 0x4002))

            # Answered with a record of a kind the host ignores: the frame is
            # withheld and uses no number. The same record sent through the
            # callback first gets no reply, and its logged call shows that the
            # event has read this script before the next one replaces it.
            ignored = record(4, b"\x00")  # L = 2, kind 4
            probe.script(f"{PACKET_TO_SERVER} call {ignored.hex()}", f"{PACKET_TO_SERVER} answer {ignored.hex()}")
            up.send_frame(CHANNEL_DATA, snac(0x02, 0x04, tlv(5, b"withheld")))
            probe.wait_calls(1, run)
            probe.script()
            after = up.send_frame(CHANNEL_DATA, snac(0x02, 0x04, tlv(5, b"after the withheld one")))
            self.assertEqual(server.wait_frames(4)[3].raw, stamped(after.raw, 0x4003))

            # A callback from inside a PACKET_TO_CLIENT event injects toward the
            # client: the injected frame takes the next number, the frame in
            # hand the one after it.
            injected = flap(CHANNEL_DATA, 0x6666, snac(0x04, 0x07, b"INJECTED" + tlv(2, "from the plug-in")))
            probe.script(f"{PACKET_TO_CLIENT} call {command(PACKET_TO_CLIENT, injected).hex()}")
            down = server.send_frame(CHANNEL_KEEPALIVE)
            received = up.wait_frames(4)
            self.assertEqual(received[2].raw, stamped(injected, 0x2002))
            self.assertEqual(received[3].raw, stamped(down.raw, 0x2003))

            # CLOSE_CLIENT_CHAT from inside a PACKET_TO_SERVER event: the client's
            # chat connection is closed, the frame in hand still goes up, the
            # server connection ends and the proxy listens for the next sign-on.
            probe.script(f"{PACKET_TO_SERVER} call {command(CLOSE_CLIENT_CHAT).hex()}")
            last = up.send_frame(CHANNEL_DATA, snac(0x02, 0x04, tlv(5, b"last")))
            up.wait_closed()
            self.assertEqual(server.wait_frames(5)[4].raw, stamped(last.raw, 0x4004))
            server.wait_closed()
            msgs = run.wait_log("Client-chat disconnected")
            self.assertClientLeft(msgs, run, chat, ["SNAC 17-06 (UIN) detected", "Plugin initialized"])

            # Nothing else reached either side.
            self.assertEqual(len(server.received), 5)
            self.assertEqual(len(up.received), 4)
            self.assertEqual(chat.errors(), [])

            # The ignored kind got no reply; both commands were acknowledged
            # through the one reply record.
            calls = probe.calls()
            address = calls[1].split()[-1] if len(calls) > 1 else "?"
            self.assertEqual(calls, [
                f"call {ignored.hex()} reply null 0",
                f"call {command(PACKET_TO_CLIENT, injected)[:6].hex()} reply {ACK_OK_REPLY} {address}",
                f"call {command(CLOSE_CLIENT_CHAT).hex()} reply {ACK_OK_REPLY} {address}",
            ])

            self.assertEventStream(probe.events(), run, client, server)
            # The probe worked in the program's folder, not where it was started.
            self.assertFalse(os.path.exists(os.path.join(run.scratch, "probe.log")))

    def assertEventStream(self, events, run, client, server):
        """INIT, CHAT_CONNECTED, the frames as they came, CHAT_DISCONNECTED,
        FINISH: nothing before, between or after."""
        codes = [event[5] for event in events]
        self.assertEqual(codes[:2], [EVENT_INIT, EVENT_CHAT_CONNECTED], codes)
        self.assertEqual(codes[-2:], [EVENT_CHAT_DISCONNECTED, EVENT_FINISH], codes)
        self.assertEqual(set(codes[2:-2]), {PACKET_TO_CLIENT, PACKET_TO_SERVER}, codes)
        for event in events:
            self.assertEqual(event[4], PLUGIN_EVENT, event.hex())
            self.assertEqual(struct.unpack("<I", event[:4])[0], len(event) - 4, event.hex())
        for event in events[1:2] + events[-2:]:
            self.assertEqual(len(event), 6, event.hex())
        self.assertInit(events[0], run)

        # Each traffic event carries the frame exactly as its sender sent it,
        # its own sequence number included; withheld and replaced ones too.
        frames = [event[6:] for event in events[2:-2]]
        up = [frame for frame, code in zip(frames, codes[2:-2]) if code == PACKET_TO_SERVER]
        down = [frame for frame, code in zip(frames, codes[2:-2]) if code == PACKET_TO_CLIENT]
        self.assertEqual([f.hex() for f in up], [f.raw.hex() for f in client.chat.sent], "PACKET_TO_SERVER frames")
        self.assertEqual([f.hex() for f in down], [f.raw.hex() for f in server.sent], "PACKET_TO_CLIENT frames")
        self.assertEqual(parse_flap(up[0]).seq, client.chat_seq)

    def assertInit(self, event, run):
        """L = 30 + 2n on this 64-bit build: callback (low half), version 8,
        the program folder twice, the UIN, the full callback address."""
        folder = os.path.realpath(run.dir).encode()
        n = len(folder)
        self.assertEqual(struct.unpack("<I", event[:4])[0], 30 + 2 * n, event.hex())
        self.assertEqual(len(event), 34 + 2 * n, event.hex())
        low, version = struct.unpack("<II", event[6:14])
        self.assertEqual(version, 8)
        self.assertEqual(struct.unpack("<I", event[14:18])[0], n)
        self.assertEqual(event[18 : 18 + n], folder)
        self.assertEqual(struct.unpack("<I", event[18 + n : 22 + n])[0], n)
        self.assertEqual(event[22 + n : 22 + 2 * n], folder)
        self.assertEqual(struct.unpack("<I", event[22 + 2 * n : 26 + 2 * n])[0], int(UIN))
        full = struct.unpack("<Q", event[26 + 2 * n :])[0]
        self.assertNotEqual(full, 0)
        self.assertEqual(full & 0xFFFFFFFF, low)


if __name__ == "__main__":
    unittest.main()
