#!/usr/bin/env python3
"""End-to-end bench of the running program.

Starts the real skelvane program (headless, offscreen window, with the
plug-in built beside it), signs a fake client on through it to a fake chat
server, and measures on the chat connection, once through the program and
once with the same client connected to the same server directly:

  - round trip: the client sends a 100-byte frame, the server answers it at
    once with another, the client times the answer (median and 95th
    percentile over N samples; through the program a random pause of up to
    one timer period separates the samples, so that they land at every
    phase of the program's 100 ms tick);
  - downstream and upstream throughput: one side sends 100-byte frames as
    fast as the other side takes them (at most a fixed window ahead of
    what has arrived) while the other side stays silent; the rate is what
    arrives over a measuring window after a warm-up.

It also measures the program's CPU use while it listens with nothing to do
(/proc/<pid>/stat utime + stime) and its resident memory (/proc/<pid>/status
VmRSS and VmHWM). The figures are printed with their budgets; nothing here
fails on a figure, only on a relay that loses data or a program that ends.

    python3 bench/e2e_bench.py [--bin build/bin/skelvane] [--samples 200]
    python3 bench/e2e_bench.py --smoke     # a few seconds, figures meaningless
"""

from __future__ import annotations

import argparse
import json
import os
import random
import socket
import statistics
import struct
import sys
import threading
import time
from dataclasses import dataclass, field
from typing import Callable, Optional

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "support"))

from oscar import FLAP_HEADER, Client, LoginServer, flap, snac, tlv  # noqa: E402
import skelvane_run  # noqa: E402

FRAME_BYTES = 100
TICK_S = 0.100  # the program's timer period
WAIT = 10.0  # bound of every wait for the peers
UIN = "123456789"

# Budgets of the relay at the limits of its design.
BUDGET_RTT_MEDIAN_MS = 60.0
BUDGET_RTT_P95_MS = 115.0
BUDGET_DOWN_BPS = 0.9 * 1000 / 0.010  # one 1000-byte receive per 10 ms pass
BUDGET_UP_BPS = 0.9 * 1000 / 0.110  # one receive per tick
BUDGET_IDLE_CPU_PCT = 0.5
BUDGET_RSS_MIB = 60.0

KIND_PING = 0x02
KIND_PONG = 0x03
KIND_BULK = 0x04


def frame(kind: int, number: int) -> bytes:
    """A 100-byte channel-2 frame: SNAC 0x15/`kind`, a number, padding."""
    head = struct.pack(">I", number)
    pad = FRAME_BYTES - FLAP_HEADER - 10 - 4 - len(head)
    return flap(2, number & 0xFFFF, snac(0x15, kind, tlv(1, head + b"\x5a" * pad)))


def frame_kind_and_number(data: bytearray, at: int) -> tuple[int, int]:
    """SNAC subtype and number of a frame built by `frame` found at `at`."""
    subtype = struct.unpack_from(">H", data, at + FLAP_HEADER + 2)[0]
    number = struct.unpack_from(">I", data, at + FLAP_HEADER + 10 + 4)[0]
    return subtype, number


class ChatEnd:
    """One end of a chat connection. A reader thread counts the bytes that
    arrive and cuts them into frames; the server end answers pings while
    `echo` is on, the client end notes when each answer arrived."""

    def __init__(self, sock: socket.socket, name: str) -> None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        sock.settimeout(None)
        self.sock = sock
        self.name = name
        self.echo = False
        self.received = 0
        self.sent = 0
        self.closed = False
        self.error: Optional[BaseException] = None
        self.pongs: dict[int, float] = {}
        self.cond = threading.Condition()
        self._send_lock = threading.Lock()
        self._thread = threading.Thread(target=self._read_loop, name=name, daemon=True)
        self._thread.start()

    def send(self, data: bytes) -> None:
        with self._send_lock:
            self.sock.sendall(data)
            self.sent += len(data)

    def _read_loop(self) -> None:
        buf = bytearray()
        try:
            while True:
                data = self.sock.recv(65536)
                now = time.perf_counter()
                if not data:
                    break
                buf += data
                at = 0
                while len(buf) - at >= FLAP_HEADER:
                    total = FLAP_HEADER + (buf[at + 4] << 8 | buf[at + 5])
                    if len(buf) - at < total:
                        break
                    if total == FRAME_BYTES:
                        self._on_frame(buf, at, now)
                    at += total
                del buf[:at]
                with self.cond:
                    self.received += len(data)
                    self.cond.notify_all()
        except OSError as exc:
            self.error = exc
        finally:
            with self.cond:
                self.closed = True
                self.cond.notify_all()

    def _on_frame(self, buf: bytearray, at: int, now: float) -> None:
        kind, number = frame_kind_and_number(buf, at)
        if kind == KIND_PING and self.echo:
            self.send(frame(KIND_PONG, number))
        elif kind == KIND_PONG:
            with self.cond:
                self.pongs[number] = now
                self.cond.notify_all()

    def wait(self, ready: Callable[[], bool], timeout: float, what: str) -> None:
        deadline = time.monotonic() + timeout
        with self.cond:
            while not ready():
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    raise RuntimeError(f"{self.name}: {what} did not happen within {timeout:g} s")
                self.cond.wait(left)

    def close(self) -> None:
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self._thread.join(timeout=WAIT)


class ChatServer:
    """The fake chat server: accepts connections and wraps each in a ChatEnd."""

    def __init__(self) -> None:
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.bind(("127.0.0.1", 0))
        self._sock.listen(4)
        self.port = self._sock.getsockname()[1]

    def accept(self, name: str) -> ChatEnd:
        self._sock.settimeout(WAIT)
        sock, _ = self._sock.accept()
        return ChatEnd(sock, name)

    def close(self) -> None:
        self._sock.close()


@dataclass
class Pair:
    """A chat connection: the client's end and the server's end."""
    client: ChatEnd
    server: ChatEnd

    def close(self) -> None:
        self.client.close()
        self.server.close()


def round_trips(pair: Pair, samples: int, max_gap: float) -> list[float]:
    """Round-trip times in seconds of `samples` ping frames answered at once."""
    pair.server.echo = True
    times = []
    try:
        for i in range(samples):
            start = time.perf_counter()
            pair.client.send(frame(KIND_PING, i))
            pair.client.wait(lambda: i in pair.client.pongs, WAIT, f"answer {i}")
            times.append(pair.client.pongs[i] - start)
            time.sleep(random.uniform(0, max_gap))
    finally:
        pair.server.echo = False
    return times


def throughput(sender: ChatEnd, receiver: ChatEnd, seconds: float, warmup: float, window: int) -> float:
    """Bytes per second arriving at `receiver` while `sender` keeps at most
    `window` bytes ahead of what has arrived."""
    chunk = b"".join(frame(KIND_BULK, i) for i in range(10))
    stop = threading.Event()
    failure: list[BaseException] = []
    base_sent = sender.sent
    base_received = receiver.received

    def feed() -> None:
        try:
            while not stop.is_set():
                receiver.wait(lambda: (sender.sent - base_sent) - (receiver.received - base_received) < window
                              or stop.is_set(), WAIT, "room in the window")
                if not stop.is_set():
                    sender.send(chunk)
        except BaseException as exc:  # reported below
            failure.append(exc)

    feeder = threading.Thread(target=feed, name="feeder", daemon=True)
    feeder.start()
    time.sleep(warmup)
    with receiver.cond:
        t0, b0 = time.perf_counter(), receiver.received
    time.sleep(seconds)
    with receiver.cond:
        t1, b1 = time.perf_counter(), receiver.received
    stop.set()
    with receiver.cond:
        receiver.cond.notify_all()
    feeder.join(timeout=WAIT)
    if failure:
        raise RuntimeError(f"feeding {receiver.name} failed: {failure[0]!r}")
    # Everything sent must arrive: the relay may be slow, never lossy.
    total = sender.sent - base_sent
    receiver.wait(lambda: receiver.received - base_received >= total, 3 * WAIT, "the backlog to drain")
    if receiver.received - base_received != total:
        raise RuntimeError(f"{receiver.name} got {receiver.received - base_received} of {total} bytes")
    return (b1 - b0) / (t1 - t0)


def cpu_seconds(pid: int) -> float:
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_cpu_percent(pid: int, seconds: float) -> float:
    c0, t0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    c1, t1 = cpu_seconds(pid), time.monotonic()
    return 100.0 * (c1 - c0) / (t1 - t0)


def memory_kib(pid: int) -> dict[str, int]:
    out = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                out[key] = int(value.split()[0])
    return out


def percentile(values: list[float], q: float) -> float:
    ordered = sorted(values)
    k = (len(ordered) - 1) * q
    lo = int(k)
    hi = min(lo + 1, len(ordered) - 1)
    return ordered[lo] + (ordered[hi] - ordered[lo]) * (k - lo)


@dataclass
class Results:
    plugin: bool
    samples: int
    seconds: float
    rtt_proxy: list[float] = field(default_factory=list)
    rtt_direct: list[float] = field(default_factory=list)
    down_proxy: float = 0.0
    down_direct: float = 0.0
    up_proxy: float = 0.0
    up_direct: float = 0.0
    idle_listen_cpu: float = 0.0
    idle_session_cpu: float = 0.0
    rss_listen_kib: int = 0
    rss_end_kib: int = 0
    hwm_kib: int = 0


def open_proxied(run: skelvane_run.SkelvaneRun, chat: ChatServer) -> tuple[Pair, Client]:
    """Signs the client on through the program and follows its redirect."""
    signer = Client(UIN)
    redirect = signer.sign_on("127.0.0.1", run.login_port)
    client = ChatEnd(socket.create_connection((redirect.host, redirect.port), timeout=WAIT), "client(proxy)")
    server = chat.accept("server(proxy)")
    run.wait_log("Connected to server-chat ")
    return Pair(client, server), signer


def open_direct(chat: ChatServer) -> Pair:
    client = ChatEnd(socket.create_connection(("127.0.0.1", chat.port), timeout=WAIT), "client(direct)")
    return Pair(client, chat.accept("server(direct)"))


def measure(args: argparse.Namespace) -> Results:
    os.environ["SKELVANE_BIN"] = os.path.abspath(args.bin)
    plugin = not args.no_plugin and os.path.exists(os.path.join(os.path.dirname(args.bin), "plugin.so"))
    res = Results(plugin=plugin, samples=args.samples, seconds=args.seconds)
    chat = ChatServer()
    login = LoginServer(chat_address=f"127.0.0.1:{chat.port}")
    run = skelvane_run.SkelvaneRun(server_login_port=login.port, with_plugin=plugin)
    pairs: list[Pair] = []
    signer: Optional[Client] = None
    failed = True
    try:
        run.start()
        pid = run.proc.pid
        time.sleep(args.settle)
        res.idle_listen_cpu = idle_cpu_percent(pid, args.idle_seconds)
        res.rss_listen_kib = memory_kib(pid)["VmRSS"]

        proxied, signer = open_proxied(run, chat)
        direct = open_direct(chat)
        pairs += [proxied, direct]
        res.idle_session_cpu = idle_cpu_percent(pid, args.idle_seconds / 2)

        res.rtt_proxy = round_trips(proxied, args.samples, TICK_S)
        res.rtt_direct = round_trips(direct, args.samples, args.direct_gap)
        warm = args.warmup
        res.down_proxy = throughput(proxied.server, proxied.client, args.seconds, warm, 32 * 1024)
        res.down_direct = throughput(direct.server, direct.client, args.seconds, warm, 256 * 1024)
        res.up_proxy = throughput(proxied.client, proxied.server, args.seconds, warm, 8 * 1024)
        res.up_direct = throughput(direct.client, direct.server, args.seconds, warm, 256 * 1024)

        mem = memory_kib(pid)
        res.rss_end_kib, res.hwm_kib = mem["VmRSS"], mem["VmHWM"]
        if not run.running:
            raise RuntimeError("skelvane ended during the bench")
        failed = False
    finally:
        for p in pairs:
            p.close()
        if signer is not None:
            signer.close()
        if run.proc is not None and run.exit_code is None and run.running:
            run.stop()
        run.close(failed=failed)
        login.close()
        chat.close()
    return res


def report(res: Results, smoke: bool) -> list[str]:
    def ms(v: float) -> str:
        return f"{v * 1000:.2f}"

    def kib(v: float) -> str:
        return f"{v / 1024:.1f}"

    def verdict(ok: bool) -> str:
        return "met" if ok else "MISSED"

    rp_med, rp_95 = statistics.median(res.rtt_proxy), percentile(res.rtt_proxy, 0.95)
    rd_med, rd_95 = statistics.median(res.rtt_direct), percentile(res.rtt_direct, 0.95)
    rows = [
        ("round trip median, ms", ms(rp_med), ms(rd_med), f"{rp_med / rd_med:.0f}x", f"<= {BUDGET_RTT_MEDIAN_MS:g}",
         verdict(rp_med * 1000 <= BUDGET_RTT_MEDIAN_MS)),
        ("round trip p95, ms", ms(rp_95), ms(rd_95), f"{rp_95 / rd_95:.0f}x", f"<= {BUDGET_RTT_P95_MS:g}",
         verdict(rp_95 * 1000 <= BUDGET_RTT_P95_MS)),
        ("added round trip median, ms", ms(rp_med - rd_med), "", "", "", ""),
        ("downstream, KiB/s", kib(res.down_proxy), kib(res.down_direct), f"{res.down_proxy / res.down_direct:.4f}",
         f">= {kib(BUDGET_DOWN_BPS)}", verdict(res.down_proxy >= BUDGET_DOWN_BPS)),
        ("upstream, KiB/s", kib(res.up_proxy), kib(res.up_direct), f"{res.up_proxy / res.up_direct:.5f}",
         f">= {kib(BUDGET_UP_BPS)}", verdict(res.up_proxy >= BUDGET_UP_BPS)),
        ("idle CPU listening, % core", f"{res.idle_listen_cpu:.2f}", "", "", f"<= {BUDGET_IDLE_CPU_PCT:g}",
         verdict(res.idle_listen_cpu <= BUDGET_IDLE_CPU_PCT)),
        ("idle CPU, open chat session, % core", f"{res.idle_session_cpu:.2f}", "", "", "", ""),
        ("RSS listening / end / peak, MiB",
         f"{res.rss_listen_kib / 1024:.1f} / {res.rss_end_kib / 1024:.1f} / {res.hwm_kib / 1024:.1f}", "", "",
         f"<= {BUDGET_RSS_MIB:g}", verdict(res.hwm_kib / 1024 <= BUDGET_RSS_MIB)),
    ]
    head = ("", "through skelvane", "direct", "ratio", "budget", "")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    lines = [
        f"Skelvane end-to-end bench: {res.samples} round trips, {res.seconds:g} s per throughput run, "
        f"plug-in {'loaded' if res.plugin else 'absent'}, {FRAME_BYTES}-byte frames"
    ]
    if smoke:
        lines.append("(smoke run: too short for the figures to mean anything)")
    for r in [head] + rows:
        lines.append("  ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))))
    return lines


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--bin", default=os.environ.get("SKELVANE_BIN", os.path.join(REPO, "build", "bin", "skelvane")),
                    help="the skelvane program (plugin.so beside it is loaded)")
    ap.add_argument("--samples", type=int, default=200, help="round trips per connection")
    ap.add_argument("--seconds", type=float, default=5.0, help="measuring window of each throughput run")
    ap.add_argument("--warmup", type=float, default=1.0, help="seconds before each throughput window")
    ap.add_argument("--idle-seconds", type=float, default=20.0, help="idle CPU window while listening")
    ap.add_argument("--settle", type=float, default=2.0, help="seconds after start-up before measuring")
    ap.add_argument("--direct-gap", type=float, default=0.005, help="longest pause between direct round trips")
    ap.add_argument("--no-plugin", action="store_true", help="run the program without its plug-in")
    ap.add_argument("--json", help="also write the figures to this file")
    ap.add_argument("--smoke", action="store_true", help="a run of a few seconds that only checks the bench works")
    args = ap.parse_args()
    if args.smoke:
        args.samples, args.seconds, args.warmup, args.idle_seconds, args.settle = 5, 0.5, 0.2, 0.5, 0.2
    res = measure(args)
    print("\n".join(report(res, args.smoke)))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(res.__dict__, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
