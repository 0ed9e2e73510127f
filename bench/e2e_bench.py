#!/usr/bin/env python3
"""End-to-end bench of the running program.

Starts the real skelvane program headless (offscreen window, Dorrimel
installed beside it), signs a fake client on through it to a fake chat
server and measures on the chat connection. In the same run the same client
and server also talk directly and through a plain relay (socat when it is
installed, else a two-thread Python relay in a process of its own), and
every figure is printed beside theirs and beside its budget:

  - round trip of sporadic 100-byte frames (a random pause before each; the
    three paths take turns in random order): median and 99th percentile, and
    what each adds to the direct connection's;
  - throughput each way with 100-byte and with 8 KiB frames: one side streams
    as fast as the path takes it, the other counts what arrives;
  - idle CPU while listening and with a silent chat session open, from the
    scheduler's run time of every thread (/proc/<pid>/task/*/schedstat, ns),
    beside /proc/<pid>/stat (10 ms steps) and `perf stat` when installed;
  - three stalls, each in a run of its own: a client that reads nothing
    while the server sends 200 MiB, a server-login connect that never
    completes, and steady server traffic (a 100-byte frame every 2 ms). In
    each: peak resident memory (VmHWM), then the time SIGTERM takes to end
    the program, and whether skelvane.ini was written;
  - under the steady traffic, how long Dorrimel's notice for a message that
    the server never acknowledges takes, against WaitTimeout plus two timer
    periods;
  - eight sessions at once through one program, in a run of their own: the
    round trip on one session while the seven others are silent, while six
    carry steady traffic both ways (a 100-byte frame every 2 ms each way),
    and while the eighth's client also reads nothing as its server floods;
    then the peak resident memory, and the frames of the busy sessions all
    delivered in order.

Nothing here fails on a figure ("met" or "MISSED"), only on lost or
reordered data or a program that ends by itself.

    python3 bench/e2e_bench.py [--bin build/bin/skelvane] [--samples 1000]
    python3 bench/e2e_bench.py --wine 64 [--bin build-win64/bin/skelvane.exe]
    python3 bench/e2e_bench.py --smoke     # a few seconds, figures meaningless

With --wine the stall cases (and the notice) run against the Windows program
under Wine; its close request is Wine's taskkill (WM_CLOSE), not SIGTERM.
"""

from __future__ import annotations

import argparse
import glob
import json
import os
import random
import select
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from typing import Callable, Optional

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "support"))

from oscar import FLAP_HEADER, Client, LoginServer, build_message, flap, snac, tlv  # noqa: E402

SMALL = 100  # bytes of a typical frame
BIG = 8192  # bytes of a large frame
WAIT = 10.0  # bound of every wait for a peer
UIN = "123456789"
MIB = 1 << 20

BUDGET_ADDED_RTT_MEDIAN_MS = 0.5
BUDGET_ADDED_RTT_P99_MS = 2.0
BUDGET_MIBS = {SMALL: 40.0, BIG: 200.0}
BUDGET_IDLE_PCT = 0.1
BUDGET_HWM_MIB = 100.0
BUDGET_STOP_S = 0.5
SESSIONS = 8
BUDGET_SESSIONS_HWM_MIB = 60.0
STALL_BYTES = 200 * MIB
STEADY_PERIOD = 0.002
# Dorrimel's settings for the notice: a message waits WaitTimeout for its ack.
TIMER_INTERVAL_MS = 100
NOTICE_RECIPIENTS = ("90000001", "90000002", "90000003")

KIND_PING = 0x02
KIND_PONG = 0x03
KIND_BULK = 0x04
KIND_STEADY = 0x05


def frame(kind: int, number: int, size: int = SMALL) -> bytes:
    """A channel-2 frame of `size` bytes: SNAC 0x15/`kind` (which Dorrimel
    inspects and lets pass), a number, padding."""
    head = struct.pack(">I", number)
    pad = size - FLAP_HEADER - 10 - 4 - len(head)
    return flap(2, number & 0xFFFF, snac(0x15, kind, tlv(1, head + b"\x5a" * pad)))


def kind_and_number(raw: bytes) -> tuple[int, int, int]:
    """SNAC family, subtype and (for frames built by `frame`) number."""
    if len(raw) < FLAP_HEADER + 10:
        return -1, -1, -1
    family, subtype = struct.unpack_from(">HH", raw, FLAP_HEADER)
    number = struct.unpack_from(">I", raw, FLAP_HEADER + 14)[0] if len(raw) >= FLAP_HEADER + 18 else -1
    return family, subtype, number


class LostData(RuntimeError):
    """The relay lost, reordered or held back data, or a peer gave up."""


# ---------------------------------------------------------------- peers


def nodelay(sock: socket.socket) -> socket.socket:
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    sock.settimeout(None)
    return sock


def cut_frames(buf: bytearray) -> list[bytes]:
    """Takes the whole frames off the front of `buf`."""
    frames, at = [], 0
    while len(buf) - at >= FLAP_HEADER:
        total = FLAP_HEADER + (buf[at + 4] << 8 | buf[at + 5])
        if len(buf) - at < total:
            break
        frames.append(bytes(buf[at:at + total]))
        at += total
    del buf[:at]
    return frames


class Reader(threading.Thread):
    """Reads one socket until its peer closes: counts the bytes and, with
    `on_frame`, cuts them into frames and hands each over (on this thread)."""

    def __init__(self, sock: socket.socket, name: str, on_frame: Optional[Callable[[bytes, float], None]] = None):
        super().__init__(name=name, daemon=True)
        self.sock = sock
        self.on_frame = on_frame
        self.bytes = 0
        self.closed = False
        self.error: Optional[BaseException] = None
        self.cond = threading.Condition()
        self.start()

    def run(self) -> None:
        buf = bytearray(MIB)
        view = memoryview(buf)
        pending = bytearray()
        try:
            while True:
                n = self.sock.recv_into(buf)
                if n == 0:
                    break
                if self.on_frame is not None:
                    now = time.perf_counter()
                    pending += view[:n]
                    for f in cut_frames(pending):
                        self.on_frame(f, now)
                with self.cond:
                    self.bytes += n
                    self.cond.notify_all()
        except BaseException as exc:  # a socket's or a handler's fault, reported by wait
            self.error = exc
        finally:
            with self.cond:
                self.closed = True
                self.cond.notify_all()

    def wait(self, done: Callable[[], bool], timeout: float, what: str) -> None:
        deadline = time.monotonic() + timeout
        with self.cond:
            while not done():
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    raise LostData(f"{self.name}: {what} did not arrive ({self.bytes} bytes did"
                                   f"{', then it closed' if self.closed else ''}) {self.error or ''}")
                self.cond.wait(left)


class Streamer(threading.Thread):
    """Sends `chunk` over and over until stopped, as fast as the socket takes it."""

    def __init__(self, sock: socket.socket, chunk: bytes, name: str) -> None:
        super().__init__(name=name, daemon=True)
        self.sock = sock
        self.chunk = chunk
        self.sent = 0
        self.stop = threading.Event()
        self.error: Optional[BaseException] = None
        self.start()

    def run(self) -> None:
        try:
            while not self.stop.is_set():
                self.sock.sendall(self.chunk)
                self.sent += len(self.chunk)
        except OSError as exc:
            self.error = exc


class Ticker(threading.Thread):
    """Sends a numbered frame every `period` seconds until stopped."""

    def __init__(self, sock: socket.socket, period: float, name: str) -> None:
        super().__init__(name=name, daemon=True)
        self.sock = sock
        self.period = period
        self.sent = 0  # frames
        self.stop = threading.Event()
        self.error: Optional[BaseException] = None
        self.start()

    def run(self) -> None:
        due = time.perf_counter()
        try:
            while not self.stop.is_set():
                self.sock.sendall(frame(KIND_STEADY, self.sent))
                self.sent += 1
                due += self.period
                pause = due - time.perf_counter()
                if pause > 0:
                    time.sleep(pause)
        except OSError as exc:
            self.error = exc


class Path:
    """One chat connection from the client to the server, by one path:
    `client` and `server` are the sockets at its two ends."""

    def __init__(self, name: str, client: socket.socket, server: socket.socket,
                 relay: Optional["PlainRelay"] = None) -> None:
        self.name = name
        self.client = nodelay(client)
        self.server = nodelay(server)
        self.relay = relay
        self._pending = bytearray()
        self._echo: Optional[Reader] = None

    def start_echo(self) -> None:
        """The server answers every ping with a pong of the same number."""
        def answer(raw: bytes, _: float) -> None:
            family, subtype, number = kind_and_number(raw)
            if (family, subtype) == (0x15, KIND_PING):
                self.server.sendall(frame(KIND_PONG, number))
        self._echo = Reader(self.server, f"echo({self.name})", answer)
        self.client.settimeout(WAIT)

    def ping(self, number: int) -> float:
        """The client sends a ping and reads until its pong: seconds. The
        client's socket has a time-out (start_echo sets it)."""
        start = time.perf_counter()
        self.client.sendall(frame(KIND_PING, number))
        while True:
            for f in cut_frames(self._pending):
                family, subtype, got = kind_and_number(f)
                if (family, subtype, got) == (0x15, KIND_PONG, number):
                    return time.perf_counter() - start
                raise LostData(f"{self.name}: pong {number} expected, got {f[:24].hex()}")
            try:
                data = self.client.recv(65536)
            except socket.timeout:
                raise LostData(f"{self.name}: no pong {number} within {WAIT:g} s") from None
            if not data:
                raise LostData(f"{self.name}: closed while waiting for pong {number}")
            self._pending += data

    def close(self) -> None:
        for sock in (self.client, self.server):
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()
        if self._echo is not None:
            self._echo.join(WAIT)
        if self.relay is not None:
            self.relay.wait_end()


class ChatListener:
    """The fake chat server's listener; each path's server end is accepted here."""

    def __init__(self) -> None:
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(16)
        self.port = self.sock.getsockname()[1]

    def accept(self) -> socket.socket:
        self.sock.settimeout(WAIT)
        conn, _ = self.sock.accept()
        return conn

    def close(self) -> None:
        self.sock.close()


class PendingListener:
    """A listener that never accepts, its backlog filled: further connects to
    it stay under way (the system drops their SYNs)."""

    def __init__(self) -> None:
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(0)
        self.port = self.sock.getsockname()[1]
        self.fillers = []
        for _ in range(8):
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", self.port))
            self.fillers.append(s)
        time.sleep(0.1)

    def close(self) -> None:
        for s in self.fillers + [self.sock]:
            s.close()


# ---------------------------------------------------------------- the plain relay


def listening(port: int) -> bool:
    """Whether something listens on 127.0.0.1:`port` (from /proc/net/tcp,
    without connecting: a plain relay serves one connection only)."""
    want = f"0100007F:{port:04X}"
    with open("/proc/net/tcp") as f:
        return any(line.split()[1] == want and line.split()[3] == "0A" for line in list(f)[1:])


def python_relay(listen_port: int, target_port: int) -> None:
    """The Python plain relay: accepts one connection, connects to the
    target, and copies each direction on a thread of its own (blocking
    reads of up to 64 KiB, each written whole) until either side closes."""
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", listen_port))
    srv.listen(1)
    a, _ = srv.accept()
    srv.close()
    b = socket.create_connection(("127.0.0.1", target_port))
    for s in (a, b):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def copy(src: socket.socket, dst: socket.socket) -> None:
        buf = bytearray(65536)
        view = memoryview(buf)
        try:
            while n := src.recv_into(buf):
                dst.sendall(view[:n])
        except OSError:
            pass
        for s in (src, dst):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    back = threading.Thread(target=copy, args=(b, a), daemon=True)
    back.start()
    copy(a, b)
    back.join()


class PlainRelay:
    """A plain byte relay in a process of its own: socat, or the Python
    relay above; it serves one connection from `port` to `target`."""

    def __init__(self, kind: str, target: int) -> None:
        from skelvane_run import free_port
        self.port = free_port()
        if kind == "socat":
            cmd = ["socat", "-b", "65536", f"TCP4-LISTEN:{self.port},bind=127.0.0.1,reuseaddr,nodelay",
                   f"TCP4:127.0.0.1:{target},nodelay"]
        else:
            cmd = [sys.executable, os.path.abspath(__file__), "--serve-plain-relay", str(self.port), str(target)]
        self.proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + WAIT
        while not listening(self.port):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"the plain relay ({kind}) did not listen on {self.port}")
            time.sleep(0.01)

    @property
    def pid(self) -> int:
        return self.proc.pid

    def wait_end(self) -> None:
        try:
            self.proc.wait(WAIT)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(WAIT)


def plain_kind(choice: str) -> str:
    if choice == "auto":
        return "socat" if shutil.which("socat") else "python"
    if choice == "socat" and not shutil.which("socat"):
        raise RuntimeError("--plain socat: socat is not installed (scripts/bench.sh installs it)")
    return choice


def plain_description(kind: str) -> str:
    if kind == "socat":
        out = subprocess.run(["socat", "-V"], capture_output=True, text=True, check=False).stdout
        version = next((line.split()[2] for line in out.splitlines() if line.startswith("socat version")), "?")
        return f"socat {version} (-b 65536, nodelay)"
    return "Python relay (a thread per direction, 64 KiB reads)"


# ---------------------------------------------------------------- the program


class Program:
    """One run of skelvane with Dorrimel, its login server and the chat
    listener: opens chat sessions through it, one at a time."""

    def __init__(self, chat: ChatListener, server_login_port: Optional[int] = None,
                 dorrimel_ini: Optional[str] = None) -> None:
        import skelvane_run
        self.chat = chat
        self.login = LoginServer(chat_address=f"127.0.0.1:{chat.port}")
        self.run = skelvane_run.SkelvaneRun(server_login_port=server_login_port or self.login.port,
                                            with_plugin=True)
        self._opened = 0  # chat sessions opened; each ends before the next opens
        self._signers: list[Client] = []
        self.run.start()
        if dorrimel_ini is not None:
            with open(os.path.join(self.run.dir, "dorrimel.ini"), "w", newline="") as f:
                f.write(dorrimel_ini)  # read at every sign-on

    @property
    def pid(self) -> int:
        return self.run.proc.pid

    def open_path(self, uin: str = UIN, alone: bool = True) -> Path:
        """Signs a client on and follows its redirect into a chat session;
        `alone`: once the sessions opened before have ended."""
        if alone:
            self._wait_ended(self._opened)
        signer = Client(uin)
        self._signers.append(signer)
        redirect = signer.sign_on("127.0.0.1", self.run.login_port)
        client = socket.create_connection((redirect.host, redirect.port), timeout=WAIT)
        server = self.chat.accept()
        self._opened += 1
        return Path("skelvane", client, server)

    def _wait_ended(self, count: int) -> None:
        """Waits until `count` chat sessions have ended, so the plug-in,
        which serves one session at a time, is free for the next."""
        deadline = time.monotonic() + WAIT
        while sum(m.endswith("-chat disconnected") for m in self.run.messages()) < count:
            if time.monotonic() > deadline:
                raise AssertionError(f"timed out waiting for {count} chat sessions to end")
            time.sleep(0.02)

    def check_running(self, what: str) -> None:
        if not self.run.running:
            raise LostData(f"skelvane ended during {what}\n{self.run.describe()}")

    def close(self, failed: bool) -> None:
        for signer in self._signers:
            signer.close()
        self.run.close(failed=failed)
        self.login.close()


def open_direct(chat: ChatListener) -> Path:
    client = socket.create_connection(("127.0.0.1", chat.port), timeout=WAIT)
    return Path("direct", client, chat.accept())


def open_plain(chat: ChatListener, kind: str, relay: Optional[PlainRelay] = None) -> Path:
    relay = relay or PlainRelay(kind, chat.port)
    client = socket.create_connection(("127.0.0.1", relay.port), timeout=WAIT)
    return Path("plain", client, chat.accept(), relay)


# ---------------------------------------------------------------- measures


def schedstat_seconds(pid: int) -> float:
    """Run time of every thread of `pid` so far, from the scheduler (ns)."""
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(path) as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass  # a thread that just ended
    return total / 1e9


def wakeups(pid: int) -> int:
    """Context switches of every thread of `pid` so far: an idle thread
    switches once each time it wakes."""
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/status"):
        try:
            with open(path) as f:
                total += sum(int(line.split()[1]) for line in f if "ctxt_switches:" in line)
        except (OSError, ValueError, IndexError):
            pass  # a thread that just ended
    return total


def stat_seconds(pid: int) -> float:
    """utime + stime of /proc/<pid>/stat: whole clock ticks (10 ms)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


@dataclass
class Idle:
    """CPU use of one process over a window, as % of one core, three ways."""
    seconds: float
    sched_pct: float
    stat_pct: float
    perf_pct: Optional[float]
    wakeups_per_s: float

    @property
    def stat_step_pct(self) -> float:
        """The resolution of the /proc/<pid>/stat figure over this window."""
        return 100.0 / os.sysconf("SC_CLK_TCK") / self.seconds


def idle_cpu(pids: dict[str, int], seconds: float) -> dict[str, Idle]:
    """Measures every process of `pids` over the same window."""
    perf = {}
    if shutil.which("perf"):
        for name, pid in pids.items():
            perf[name] = subprocess.Popen(["perf", "stat", "-x", ",", "-e", "task-clock", "-p", str(pid), "--",
                                           "sleep", f"{seconds:g}"], stdin=subprocess.DEVNULL,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    s0 = {n: schedstat_seconds(p) for n, p in pids.items()}
    c0 = {n: stat_seconds(p) for n, p in pids.items()}
    w0 = {n: wakeups(p) for n, p in pids.items()}
    t0 = time.monotonic()
    time.sleep(seconds)
    t1 = time.monotonic()
    s1 = {n: schedstat_seconds(p) for n, p in pids.items()}
    c1 = {n: stat_seconds(p) for n, p in pids.items()}
    w1 = {n: wakeups(p) for n, p in pids.items()}
    out = {}
    for name in pids:
        perf_pct = None
        if name in perf:
            _, err = perf[name].communicate(timeout=seconds + WAIT)
            for line in err.splitlines():
                parts = line.split(",")
                if len(parts) > 2 and parts[2].startswith("task-clock"):
                    # "<not counted>": the process never ran in the window.
                    ms = 0.0 if parts[0] == "<not counted>" else float(parts[0])
                    perf_pct = ms / 1000.0 / seconds * 100.0
        out[name] = Idle(t1 - t0, 100.0 * (s1[name] - s0[name]) / (t1 - t0),
                         100.0 * (c1[name] - c0[name]) / (t1 - t0), perf_pct, (w1[name] - w0[name]) / (t1 - t0))
    return out


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


def round_trips(paths: list[Path], samples: int, max_gap: float) -> dict[str, list[float]]:
    """`samples` round trips on each path, the paths taking turns in random
    order, each after a random pause of up to `max_gap`."""
    for p in paths:
        p.start_echo()
    times: dict[str, list[float]] = {p.name: [] for p in paths}
    for i in range(samples):
        for p in random.sample(paths, len(paths)):
            time.sleep(random.uniform(0, max_gap))
            times[p.name].append(p.ping(i))
    return times


def throughput(path: Path, to_client: bool, size: int, seconds: float, warmup: float) -> float:
    """Bytes per second arriving at one end while the other streams frames
    of `size` bytes; afterwards every byte sent must have arrived."""
    sender, receiver = (path.server, path.client) if to_client else (path.client, path.server)
    direction = "to client" if to_client else "to server"
    reader = Reader(receiver, f"count({path.name}, {direction})")
    chunk = b"".join(frame(KIND_BULK, i, size) for i in range(max(1, 256 * 1024 // size)))
    streamer = Streamer(sender, chunk, f"stream({path.name}, {direction})")
    time.sleep(warmup)
    t0, b0 = time.perf_counter(), reader.bytes
    time.sleep(seconds)
    t1, b1 = time.perf_counter(), reader.bytes
    streamer.stop.set()
    streamer.join(3 * WAIT)
    if streamer.is_alive() or streamer.error is not None:
        raise LostData(f"{path.name}: the stream {direction} stalled: {streamer.error or 'still sending'}")
    reader.wait(lambda: reader.bytes >= streamer.sent, 3 * WAIT, f"all of the stream {direction}")
    if reader.bytes != streamer.sent:
        raise LostData(f"{path.name}: {reader.bytes} bytes arrived {direction}, {streamer.sent} were sent")
    return (b1 - b0) / (t1 - t0)


def wait_process(pid: int, timeout: float) -> bool:
    """Waits until `pid` has ended (not reaped); false when it is still there."""
    fd = os.pidfd_open(pid)
    try:
        return bool(select.select([fd], [], [], timeout)[0])
    finally:
        os.close(fd)


@dataclass
class Stop:
    seconds: Optional[float]  # None: it did not end within the bound
    code: Optional[int]
    ini_written: Optional[bool]  # None: not a program that writes it


def stop_program(program: Program) -> Stop:
    """SIGTERM, timed to the process's end; then whether skelvane.ini holds
    the six endpoints in the program's order. Under Wine the request is
    taskkill's WM_CLOSE, timed from taskkill's start: taskkill's own start-up
    under Wine is in the figure, which is so an upper bound."""
    import skelvane_run
    run = program.run
    pid = run.proc.pid
    start = time.perf_counter()
    if skelvane_run.WINE:
        run.close_windows()
    else:
        os.kill(pid, signal.SIGTERM)
    ended = wait_process(pid, WAIT)
    seconds = time.perf_counter() - start
    if not ended:
        run.proc.kill()
    run.exit_code = run.proc.wait(WAIT)
    expected = "".join(f"{k} = {run.settings[k]}\r\n" for k in skelvane_run.INI_KEYS)
    try:
        written = run.read_endpoints().decode("latin-1") == expected
    except (OSError, AssertionError):  # missing, or not in the program's order
        written = False
    return Stop(seconds if ended else None, run.exit_code, written)


def stop_relay(relay: PlainRelay) -> Stop:
    t0 = time.perf_counter()
    relay.proc.send_signal(signal.SIGTERM)
    ended = wait_process(relay.pid, WAIT)
    t1 = time.perf_counter()
    relay.wait_end()
    return Stop(t1 - t0 if ended else None, relay.proc.returncode, None)


# ---------------------------------------------------------------- the runs


@dataclass
class Stall:
    """One stall case of one relay: peak memory, the stop, and what flowed."""
    hwm_kib: int = 0
    stop: Optional[Stop] = None
    bytes_in: int = 0  # what the server got rid of before the flow stopped
    frames: int = 0  # steady traffic: frames that arrived, all in order
    notices_ms: list[float] = field(default_factory=list)
    notice_budget_ms: float = 0.0


@dataclass
class Results:
    plain: str = ""
    wine: str = ""
    load_before: str = ""
    load_after: str = ""
    rtt: dict[str, list[float]] = field(default_factory=dict)
    rate: dict[str, float] = field(default_factory=dict)  # "skelvane/to client/100" -> bytes/s
    idle_listen: dict[str, Idle] = field(default_factory=dict)
    idle_session: dict[str, Idle] = field(default_factory=dict)
    rss_listen_kib: int = 0
    hwm_traffic_kib: int = 0
    sessions_rtt: dict[str, list[float]] = field(default_factory=dict)  # phase -> round trips
    sessions_hwm_kib: int = 0
    sessions_frames: int = 0  # steady frames the busy sessions delivered, all in order
    stalls: dict[str, Stall] = field(default_factory=dict)  # "skelvane/reads nothing" -> Stall


def measure_relay(args: argparse.Namespace, res: Results) -> None:
    """Round trips, throughput and idle CPU: skelvane, the plain relay and
    the direct connection over one fake chat server."""
    chat = ChatListener()
    program = Program(chat)
    failed = True
    paths: list[Path] = []
    reference = None
    if args.idle_reference and os.access(args.idle_reference, os.X_OK):
        reference = subprocess.Popen([args.idle_reference], env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        relay = PlainRelay(res.plain, chat.port)  # listening, like skelvane
        idlers = {"skelvane": program.pid, "plain": relay.pid}
        if reference is not None:
            idlers["reference"] = reference.pid
        time.sleep(args.settle)
        res.rss_listen_kib = memory_kib(program.pid)["VmRSS"]
        res.idle_listen = idle_cpu(idlers, args.idle_seconds)

        paths = [open_direct(chat), open_plain(chat, res.plain, relay), program.open_path()]
        time.sleep(args.settle)
        res.idle_session = idle_cpu({"skelvane": program.pid, "plain": relay.pid}, args.idle_seconds)
        res.rtt = round_trips(paths, args.samples, args.max_gap)
        program.check_running("the round trips")
        for p in paths:
            p.close()
        paths = []

        for size in (SMALL, BIG):
            for to_client in (True, False):
                for name, opener in (("direct", lambda: open_direct(chat)),
                                     ("plain", lambda: open_plain(chat, res.plain)),
                                     ("skelvane", program.open_path)):
                    path = opener()
                    paths = [path]
                    rate = throughput(path, to_client, size, args.seconds, args.warmup)
                    res.rate[f"{name}/{'to client' if to_client else 'to server'}/{size}"] = rate
                    path.close()
                    paths = []
                program.check_running("the throughput runs")
        res.hwm_traffic_kib = memory_kib(program.pid)["VmHWM"]
        failed = False
    finally:
        for p in paths:
            p.close()
        if reference is not None:
            reference.kill()
            reference.wait(WAIT)
        program.close(failed)
        chat.close()


def settle_flow(counter: Callable[[], int], quiet: float, bound: float) -> int:
    """Waits until `counter` has not moved for `quiet` seconds; its value."""
    deadline = time.monotonic() + bound
    last, since = counter(), time.monotonic()
    while time.monotonic() < deadline:
        time.sleep(0.05)
        now = counter()
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            break
    return last


class Flood(threading.Thread):
    """The server sends up to `total` bytes of large frames to a client that
    reads nothing, as much as the path takes."""

    def __init__(self, sock: socket.socket, total: int) -> None:
        super().__init__(name="flood", daemon=True)
        self.sock = sock
        self.total = total
        self.sent = 0
        self.stop = threading.Event()
        self.start()

    def run(self) -> None:
        chunk = memoryview(b"".join(frame(KIND_BULK, i, BIG) for i in range(32)))
        self.sock.setblocking(False)
        try:
            while self.sent < self.total and not self.stop.is_set():
                select.select([], [self.sock], [], 0.1)
                try:
                    self.sent += self.sock.send(chunk[self.sent % len(chunk):])
                except BlockingIOError:
                    pass
        except (OSError, ValueError):
            pass  # the other side went away, or the socket was closed


def stall_steady(path: Path, pid: int, args: argparse.Namespace, notices: bool) -> tuple[Stall, Ticker]:
    """A 100-byte frame from the server every 2 ms; the client reads them
    all and checks their order; with `notices` it sends messages that ask
    for an ack the server never gives, and times Dorrimel's notices."""
    stall = Stall()
    notice_at: dict[str, float] = {}
    got = {"frames": 0, "next": 0, "fault": ""}

    def on_frame(raw: bytes, now: float) -> None:
        family, subtype, number = kind_and_number(raw)
        if (family, subtype) == (0x15, KIND_STEADY):
            if number != got["next"] and not got["fault"]:
                got["fault"] = f"steady frame {number} arrived where {got['next']} was due"
            got["next"] = number + 1
            got["frames"] += 1
        elif (family, subtype) == (0x04, 0x07):
            text = raw.decode("latin-1")
            for uin in NOTICE_RECIPIENTS:
                if f"not delivered to {uin}]]" in text:
                    notice_at.setdefault(uin, now)

    reader = Reader(path.client, f"client({path.name}, steady)", on_frame)
    ticker = Ticker(path.server, STEADY_PERIOD, f"server({path.name}, steady)")
    time.sleep(args.quiet)
    if notices:
        sent_at = {}
        for i, uin in enumerate(NOTICE_RECIPIENTS[:args.notices]):
            body = build_message(b"BENCH%03d" % i, uin, "are you there?", want_ack=True)
            sent_at[uin] = time.perf_counter()
            path.client.sendall(flap(2, 0x0C20 + i, snac(0x04, 0x06, body)))
            time.sleep(0.3)
        deadline = time.monotonic() + args.wait_timeout_ms / 1000.0 + WAIT
        while len(notice_at) < len(sent_at) and time.monotonic() < deadline:
            time.sleep(0.05)
        stall.notices_ms = [(notice_at[u] - sent_at[u]) * 1000.0 if u in notice_at else float("inf")
                            for u in sent_at]
        stall.notice_budget_ms = args.wait_timeout_ms + 2 * TIMER_INTERVAL_MS
    # Everything sent so far must arrive, in order, while the traffic goes on.
    sent = ticker.sent
    reader.wait(lambda: got["frames"] >= sent, WAIT, f"every one of {sent} steady frames")
    if got["fault"]:
        raise LostData(f"{path.name}: {got['fault']}")
    stall.frames = got["frames"]
    stall.hwm_kib = memory_kib(pid)["VmHWM"]
    return stall, ticker


def stall_case(case: str, who: str, args: argparse.Namespace, plain: str, dorrimel_ini: str) -> Stall:
    """One stall of skelvane (`who` "skelvane") or of the plain relay, in a
    run of its own that the stop ends."""
    chat = ChatListener()
    pending = PendingListener() if case == "pending connect" else None
    upstream = pending.port if pending else None
    program: Optional[Program] = None
    relay: Optional[PlainRelay] = None
    path: Optional[Path] = None
    stoppers: list[threading.Event] = []
    socks: list[socket.socket] = []
    failed = True
    try:
        if who == "skelvane":
            program = Program(chat, upstream, dorrimel_ini)
            pid = program.pid
        else:
            relay = PlainRelay(plain, upstream or chat.port)
            pid = relay.pid
        if case == "pending connect":
            port = program.run.login_port if program else relay.port
            socks.append(socket.create_connection(("127.0.0.1", port), timeout=WAIT))
            if program:
                program.run.wait_log("Client-login connected, connecting to server...")
            time.sleep(args.quiet)
            stall = Stall(hwm_kib=memory_kib(pid)["VmHWM"])
            if program and any(m.startswith("Sok_connect server-login") for m in program.run.messages()):
                raise LostData("the connect to the full listener ended before the stop")
        else:
            path = program.open_path() if program else open_plain(chat, plain, relay)
            if case == "reads nothing":
                flood = Flood(path.server, STALL_BYTES)
                stoppers.append(flood.stop)
                stall = Stall(bytes_in=settle_flow(lambda: flood.sent, args.quiet, 60.0))
                stall.hwm_kib = memory_kib(pid)["VmHWM"]
            else:
                stall, ticker = stall_steady(path, pid, args, notices=program is not None)
                stoppers.append(ticker.stop)
        if program:
            program.check_running(case)
            stall.stop = stop_program(program)
        else:
            stall.stop = stop_relay(relay)
        failed = False
        return stall
    finally:
        for stop in stoppers:
            stop.set()
        for sock in socks:
            sock.close()
        if path is not None:
            path.close()
        if program is not None:
            program.close(failed)
        if relay is not None:
            relay.wait_end()
        if pending is not None:
            pending.close()
        chat.close()


def measure_stalls(args: argparse.Namespace, res: Results) -> None:
    """The three stalls of skelvane and of the plain relay."""
    dorrimel_ini = (f"TimerInterval = {TIMER_INTERVAL_MS}\r\nWaitTimeout = {args.wait_timeout_ms}\r\n"
                    f"RemoveTimeout = {args.wait_timeout_ms + 5000}\r\nNotifyType = 1\r\nLogFile = 1\r\n")
    for case in ("reads nothing", "pending connect", "steady traffic"):
        for who in ("skelvane", "plain"):
            res.stalls[f"{who}/{case}"] = stall_case(case, who, args, res.plain, dorrimel_ini)


class SteadyCheck:
    """Steady traffic both ways on one session: each end sends a numbered
    frame every 2 ms and the other end checks that they arrive in order."""

    def __init__(self, path: Path, index: int) -> None:
        self.path = path
        self.got = [0, 0]  # frames that arrived at the client, at the server
        self.fault = ""
        self.readers = [Reader(path.client, f"client({index}, steady)", self._counter(0)),
                        Reader(path.server, f"server({index}, steady)", self._counter(1))]
        self.tickers = [Ticker(path.server, STEADY_PERIOD, f"server({index}, ticks)"),
                        Ticker(path.client, STEADY_PERIOD, f"client({index}, ticks)")]

    def _counter(self, side: int) -> Callable[[bytes, float], None]:
        def count(raw: bytes, _: float) -> None:
            family, subtype, number = kind_and_number(raw)
            if (family, subtype) == (0x15, KIND_STEADY):
                if number != self.got[side] and not self.fault:
                    self.fault = f"steady frame {number} arrived where {self.got[side]} was due"
                self.got[side] += 1
        return count

    def finish(self) -> int:
        """Stops sending; every frame sent must arrive, in order: how many did."""
        for ticker in self.tickers:
            ticker.stop.set()
            ticker.join(WAIT)
        for side, (reader, ticker) in enumerate(zip(self.readers, self.tickers)):
            reader.wait(lambda: self.got[side] >= ticker.sent, WAIT, f"every one of {ticker.sent} steady frames")
        if self.fault:
            raise LostData(f"{self.path.name}: {self.fault}")
        return sum(self.got)


def measure_sessions(args: argparse.Namespace, res: Results) -> None:
    """SESSIONS sessions at once through one program with Dorrimel: round
    trips on the first while the others are silent, then while all but the
    last carry steady traffic, then while the last one's client reads
    nothing as its server floods; peak memory after."""
    chat = ChatListener()
    program = Program(chat)
    failed = True
    paths: list[Path] = []
    steady: list[SteadyCheck] = []
    flood: Optional[Flood] = None
    try:
        paths = [program.open_path(str(90000100 + i), alone=False) for i in range(SESSIONS)]
        time.sleep(args.settle)
        measured, busy, stalled = paths[0], paths[1:-1], paths[-1]
        res.sessions_rtt["others silent"] = round_trips([measured], args.samples, args.max_gap)["skelvane"]
        steady = [SteadyCheck(p, i) for i, p in enumerate(busy, 1)]
        res.sessions_rtt["six busy"] = round_trips([measured], args.samples, args.max_gap)["skelvane"]
        flood = Flood(stalled.server, STALL_BYTES)
        settle_flow(lambda: flood.sent, args.quiet, 60.0)
        res.sessions_rtt["six busy, one stalled"] = round_trips([measured], args.samples, args.max_gap)["skelvane"]
        program.check_running("the sessions")
        res.sessions_hwm_kib = memory_kib(program.pid)["VmHWM"]
        res.sessions_frames = sum(check.finish() for check in steady)
        failed = False
    finally:
        if flood is not None:
            flood.stop.set()
        for check in steady:
            for ticker in check.tickers:
                ticker.stop.set()
        for p in paths:
            p.close()
        program.close(failed)
        chat.close()


# ---------------------------------------------------------------- report


def per_wake_us(idle: Idle) -> str:
    if idle.wakeups_per_s <= 0:
        return "-"
    return f"{idle.sched_pct / 100.0 / idle.wakeups_per_s * 1e6:.0f}"


def report(res: Results, args: argparse.Namespace) -> list[str]:
    rows: list[tuple[str, ...]] = []

    def verdict(ok: Optional[bool]) -> str:
        return "" if ok is None else ("met" if ok else "MISSED")

    def ms(v: Optional[float]) -> str:
        return "-" if v is None else f"{v * 1000:.3f}"

    if res.rtt:
        q = {name: (statistics.median(v), percentile(v, 0.99)) for name, v in res.rtt.items()}
        d_med, d_99 = q["direct"]
        for label, i in (("median", 0), ("p99", 1)):
            rows.append((f"round trip {label}, ms", ms(q["skelvane"][i]), ms(q["plain"][i]), ms(q["direct"][i]),
                         "", ""))
        added_med = q["skelvane"][0] - d_med
        added_99 = q["skelvane"][1] - d_99
        rows.append(("added round trip median, ms", ms(added_med), ms(q["plain"][0] - d_med), "",
                     f"<= {BUDGET_ADDED_RTT_MEDIAN_MS:g}", verdict(added_med * 1000 <= BUDGET_ADDED_RTT_MEDIAN_MS)))
        rows.append(("added round trip p99, ms", ms(added_99), ms(q["plain"][1] - d_99), "",
                     f"<= {BUDGET_ADDED_RTT_P99_MS:g}", verdict(added_99 * 1000 <= BUDGET_ADDED_RTT_P99_MS)))
    for size in (SMALL, BIG):
        for way in ("to client", "to server"):
            key = f"{way}/{size}"
            if f"skelvane/{key}" not in res.rate:
                continue
            r = {n: res.rate[f"{n}/{key}"] / MIB for n in ("skelvane", "plain", "direct")}
            label = f"throughput {way}, {'100-byte' if size == SMALL else '8 KiB'} frames, MiB/s"
            rows.append((label, f"{r['skelvane']:.1f}", f"{r['plain']:.1f}", f"{r['direct']:.1f}",
                         f">= {BUDGET_MIBS[size]:g}", verdict(r["skelvane"] >= BUDGET_MIBS[size])))
    for label, idle in (("idle CPU listening, % of a core", res.idle_listen),
                        ("idle CPU, silent chat session, % of a core", res.idle_session)):
        if idle:
            rows.append((label, f"{idle['skelvane'].sched_pct:.3f}", f"{idle['plain'].sched_pct:.3f}", "",
                         f"<= {BUDGET_IDLE_PCT:g}", verdict(idle["skelvane"].sched_pct <= BUDGET_IDLE_PCT)))
            i, p = idle["skelvane"], idle["plain"]
            rows.append(("  wake-ups per second; CPU per wake-up, us", f"{i.wakeups_per_s:.1f}; "
                         f"{per_wake_us(i)}", f"{p.wakeups_per_s:.1f}; {per_wake_us(p)}", "", "", ""))
            if "reference" in idle:
                r = idle["reference"]
                rows.append(("  reference: empty Qt window, 100 ms timer: %; per wake-up, us",
                             f"{r.sched_pct:.3f}; {per_wake_us(r)}", "", "", "", ""))
            steps = f"  /proc/<pid>/stat (in steps of {idle['skelvane'].stat_step_pct:.3f})"
            for how, get in (("  perf stat task-clock", lambda i: i.perf_pct), (steps, lambda i: i.stat_pct)):
                s, p = get(idle["skelvane"]), get(idle["plain"])
                if s is not None:
                    rows.append((how, f"{s:.3f}", f"{p:.3f}" if p is not None else "-", "", "", ""))
    if res.rss_listen_kib:
        rows.append(("RSS listening / peak after the traffic, MiB",
                     f"{res.rss_listen_kib / 1024:.1f} / {res.hwm_traffic_kib / 1024:.1f}", "", "", "", ""))
    cases = {"reads nothing": f"client reads nothing, server sends {STALL_BYTES // MIB} MiB",
             "pending connect": "server-login connect never completes",
             "steady traffic": "steady server traffic, 100 B every 2 ms"}
    for case, title in cases.items():
        s, p = res.stalls.get(f"skelvane/{case}"), res.stalls.get(f"plain/{case}")
        if s is None:
            continue
        rows.append((f"{title}:", "", "", "", "", ""))
        rows.append(("  peak RSS (VmHWM), MiB", f"{s.hwm_kib / 1024:.1f}", f"{p.hwm_kib / 1024:.1f}" if p else "",
                     "", f"<= {BUDGET_HWM_MIB:g}", verdict(s.hwm_kib / 1024 <= BUDGET_HWM_MIB)))

        def stop_text(stop: Optional[Stop]) -> str:
            if stop is None:
                return ""
            return f"> {WAIT:g}" if stop.seconds is None else f"{stop.seconds:.3f}"
        ask = "taskkill's start (WM_CLOSE)" if res.wine else "SIGTERM"
        rows.append((f"  {ask} to exit, s", stop_text(s.stop), stop_text(p.stop if p else None), "",
                     f"<= {BUDGET_STOP_S:g}",
                     verdict(s.stop.seconds is not None and s.stop.seconds <= BUDGET_STOP_S)))
        rows.append(("  exit code, skelvane.ini written", f"{s.stop.code}, {'yes' if s.stop.ini_written else 'NO'}",
                     "", "", "0, yes", verdict(s.stop.code == 0 and bool(s.stop.ini_written))))
        if case == "reads nothing":
            rows.append(("  server's bytes taken before the flow stopped, MiB", f"{s.bytes_in / MIB:.1f}",
                         f"{p.bytes_in / MIB:.1f}" if p else "", "", "", ""))
        if case == "steady traffic":
            rows.append(("  frames delivered in order", f"{s.frames}", f"{p.frames}" if p else "", "", "", ""))
            if s.notices_ms:
                worst = max(s.notices_ms)
                rows.append(("  Dorrimel's notice after the message, ms",
                             " / ".join("none" if v == float("inf") else f"{v:.0f}" for v in s.notices_ms),
                             "", "", f"<= {s.notice_budget_ms:g}", verdict(worst <= s.notice_budget_ms)))
    if res.sessions_rtt:
        rows.append((f"{SESSIONS} sessions at once, round trip on one of them:", "", "", "", "", ""))
        lone = statistics.median(res.sessions_rtt["others silent"])
        for phase, times in res.sessions_rtt.items():
            med = statistics.median(times)
            alone = phase == "others silent"
            rows.append((f"  {phase}: median / p99, ms", f"{ms(med)} / {ms(percentile(times, 0.99))}", "", "",
                         "" if alone else f"<= +{BUDGET_ADDED_RTT_MEDIAN_MS:g}",
                         verdict(None if alone else (med - lone) * 1000 <= BUDGET_ADDED_RTT_MEDIAN_MS)))
        hwm = res.sessions_hwm_kib / 1024
        rows.append(("  peak RSS (VmHWM), MiB", f"{hwm:.1f}", "", "", f"<= {BUDGET_SESSIONS_HWM_MIB:g}",
                     verdict(hwm <= BUDGET_SESSIONS_HWM_MIB)))
        rows.append(("  steady frames of the busy sessions delivered in order", f"{res.sessions_frames}",
                     "", "", "", ""))
    head = ("", res.wine or "skelvane", "plain relay", "direct", "budget", "")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    lines = [f"Skelvane end-to-end bench, {time.strftime('%Y-%m-%d %H:%M')}, Dorrimel loaded, "
             f"{SMALL}-byte frames unless named",
             f"plain relay: {plain_description(res.plain)}",
             f"load average before: {res.load_before}; after: {res.load_after} ({os.cpu_count()} cores)"]
    if res.rtt:
        lines.append(f"{args.samples} round trips per path, pauses of 0 to {args.max_gap * 1000:g} ms; "
                     f"throughput over {args.seconds:g} s after {args.warmup:g} s; idle over {args.idle_seconds:g} s")
    if args.smoke:
        lines.append("(smoke run: too short for the figures to mean anything)")
    for r in [head] + rows:
        lines.append("  ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))))
    return lines


def load_average() -> str:
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--bin", help="the skelvane program (plugin.so beside it is loaded); "
                                  "default build/bin/skelvane, with --wine build-win64/bin/skelvane.exe")
    ap.add_argument("--wine", choices=("64", "32"), help="run the stall cases against the Windows program under Wine")
    ap.add_argument("--plain", choices=("auto", "socat", "python"), default="auto",
                    help="the plain relay: socat (auto: when installed) or the Python relay")
    ap.add_argument("--samples", type=int, default=1000, help="round trips per path")
    ap.add_argument("--max-gap", type=float, default=0.010, help="longest pause before a round trip, s")
    ap.add_argument("--seconds", type=float, default=3.0, help="measuring window of each throughput run")
    ap.add_argument("--warmup", type=float, default=1.0, help="seconds before each throughput window")
    ap.add_argument("--idle-seconds", type=float, default=30.0, help="each idle CPU window")
    ap.add_argument("--settle", type=float, default=2.0, help="seconds after start-up before measuring")
    ap.add_argument("--quiet", type=float, default=1.0, help="a stalled flow has not moved for this long, s")
    ap.add_argument("--wait-timeout-ms", type=int, default=1000, help="Dorrimel's WaitTimeout for the notice")
    ap.add_argument("--notices", type=int, default=3, help="messages left without an ack, at most 3")
    ap.add_argument("--idle-reference", help="the idle reference program (bench/TimerIdle.cpp); "
                                             "default: bench/timer_idle of the build that holds --bin")
    ap.add_argument("--json", help="also write the figures to this file")
    ap.add_argument("--smoke", action="store_true", help="a run of a few seconds that only checks the bench works")
    ap.add_argument("--serve-plain-relay", nargs=2, type=int, metavar=("PORT", "TARGET"), help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.serve_plain_relay:
        python_relay(*args.serve_plain_relay)
        return 0
    if args.smoke:
        args.samples, args.max_gap, args.seconds, args.warmup = 5, 0.002, 0.3, 0.1
        args.idle_seconds, args.settle, args.quiet, args.wait_timeout_ms, args.notices = 0.3, 0.2, 0.3, 300, 1
    if args.wine:
        os.environ["SKELVANE_WINE"] = args.wine  # read by skelvane_run when it is imported
    default_bin = os.path.join(REPO, "build-win64", "bin", "skelvane.exe") if args.wine else \
        os.environ.get("SKELVANE_BIN", os.path.join(REPO, "build", "bin", "skelvane"))
    os.environ["SKELVANE_BIN"] = os.path.abspath(args.bin or default_bin)
    if args.idle_reference is None:
        build = os.path.dirname(os.path.dirname(os.environ["SKELVANE_BIN"]))
        args.idle_reference = os.path.join(build, "bench", "timer_idle")
    res = Results(plain=plain_kind(args.plain), load_before=load_average(),
                  wine="skelvane.exe (Wine)" if args.wine else "")
    if not args.wine:
        measure_relay(args, res)
    measure_stalls(args, res)
    measure_sessions(args, res)
    res.load_after = load_average()
    print("\n".join(report(res, args)))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(res, f, indent=1, default=lambda o: o.__dict__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
