// Micro-benchmarks of the chat frame path inside the host, with the real
// Dorrimel (plugin.so) loaded and initialised: what one frame costs between
// its receive and its send, with and without the send, and through whole
// pump ticks; plus the core's own memory.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/AllocCounter.h"
#include "bench/BenchHost.h"
#include "bench/Frames.h"

#if SKELVANE_BENCH_QT
#include <QApplication>
#endif

namespace {

using Stopwatch = std::chrono::steady_clock;

constexpr int kDrainEvery = 64;  // frames between two reads of the server's end
constexpr int kTickFrames = 10;  // frames in one 1000-byte receive
constexpr int kAwaitMs = 1000;   // bound on loopback delivery, never reached
constexpr std::size_t kMaxSamples = std::size_t{1} << 21;

// Allocations per iteration; -1 when this build cannot count them.
benchmark::Counter allocationsPerIteration(std::uint64_t total) {
    return benchmark::Counter(
        allocationsCounted() ? static_cast<double>(total) : -1.0,
        allocationsCounted() ? benchmark::Counter::kAvgIterations : benchmark::Counter::kDefaults);
}

void perFrame(benchmark::State& state, std::size_t frameBytes) {
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frameBytes));
}

// One typical frame in process: collection, event record, Dorrimel's
// dispatch and inspection, stamp, removal. No kernel call. Argument 0: a
// frame from the client (PACKET_TO_SERVER); 1: from the server
// (PACKET_TO_CLIENT).
void BM_FramePath(benchmark::State& state) {
    Form1& form = benchHost().form();
    const bool fromClient = state.range(0) == 0;
    FrameCollector& side =
        fromClient ? form.links[SLOT_CLIENT_CHAT].in : form.links[SLOT_SERVER_CHAT].in;
    const ByteVec frame = typicalFrame();
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t before = allocationCount();
        benchmark::DoNotOptimize(relayInProcess(form, side, frame, fromClient, false));
        allocations += allocationCount() - before;
        benchmark::ClobberMemory();
    }
    state.counters["allocs_per_frame"] = allocationsPerIteration(allocations);
    perFrame(state, frame.size());
}
BENCHMARK(BM_FramePath)->ArgName("from_server")->Arg(0)->Arg(1);

// The same path with every frame timed on its own, for the median and the
// 99th percentile of single frames (each sample includes one clock read).
void BM_FramePathSampled(benchmark::State& state) {
    Form1& form = benchHost().form();
    const ByteVec frame = typicalFrame();
    std::vector<std::uint32_t> samples;
    samples.reserve(kMaxSamples);
    for (auto _ : state) {
        const auto start = Stopwatch::now();
        benchmark::DoNotOptimize(
            relayInProcess(form, form.links[SLOT_CLIENT_CHAT].in, frame, true, false));
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Stopwatch::now() - start);
        if (samples.size() < kMaxSamples) {
            samples.push_back(static_cast<std::uint32_t>(ns.count()));
        }
    }
    if (!samples.empty()) {
        const auto at = [&samples](double q) {
            const auto k = static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1));
            std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(k),
                             samples.end());
            return static_cast<double>(samples[k]);
        };
        state.counters["median_ns"] = at(0.5);
        state.counters["p99_ns"] = at(0.99);
    }
    perFrame(state, frame.size());
}
BENCHMARK(BM_FramePathSampled);

// The in-process path and the kernel send to server-chat (a loopback socket
// whose far end the benchmark reads every 64 frames, inside the timing).
void BM_FramePathAndSend(benchmark::State& state) {
    BenchHost& host = benchHost();
    Form1& form = host.form();
    const ByteVec frame = typicalFrame();
    std::uint64_t allocations = 0;
    std::int64_t sent = 0;
    int pending = 0;
    for (auto _ : state) {
        const std::uint64_t before = allocationCount();
        sent += relayInProcess(form, form.links[SLOT_CLIENT_CHAT].in, frame, true, true);
        allocations += allocationCount() - before;
        if (++pending == kDrainEvery) {
            host.server().poll();
            host.server().received.clear();
            pending = 0;
        }
    }
    if (sent != state.iterations()) {
        state.SkipWithError("a send to server-chat failed");
    }
    host.server().poll();
    host.server().received.clear();
    state.counters["allocs_per_frame"] = allocationsPerIteration(allocations);
    perFrame(state, frame.size());
}
BENCHMARK(BM_FramePathAndSend);

struct TickCost {
    double seconds = 0;
    std::uint64_t allocations = 0;
};

// One whole pump tick (Timer1_Timer) in which client-chat delivers `bytes`.
// Only the tick is timed; the client's send and the server's read are not.
TickCost timedTick(BenchHost& host, const ByteVec& bytes, bool& ok) {
    Form1& form = host.form();
    host.client().send(bytes);
    awaitReadable(form.sockets[SLOT_CLIENT_CHAT], kAwaitMs);
    const std::uint64_t before = allocationCount();
    const auto start = Stopwatch::now();
    form.Timer1_Timer();
    const auto end = Stopwatch::now();
    TickCost cost{std::chrono::duration<double>(end - start).count(), allocationCount() - before};
    while (host.server().received.size() < bytes.size() && host.server().awaitAndPoll(kAwaitMs)) {
    }
    ok = ok && host.server().received.size() == bytes.size() && form.chatMode == CHAT_RELAY;
    host.server().received.clear();
    return cost;
}

// Whole pump ticks, the product's own relay code end to end: a tick whose
// receive holds 10 typical frames against one whose receive holds one. The
// difference, divided by 9, is what one more frame costs inside a tick,
// kernel send included. The tick's 10 ms sleep is skipped (FakeClock) and
// server-chat's receive does not wait (no event object); the reported time
// is that of the 10-frame tick.
void BM_RelayTick(benchmark::State& state) {
    BenchHost& host = benchHost();
    const ByteVec one = typicalFrames(1);
    const ByteVec many = typicalFrames(kTickFrames);
    TickCost base;
    TickCost loaded;
    bool ok = true;
    for (auto _ : state) {
        const TickCost b = timedTick(host, one, ok);
        const TickCost l = timedTick(host, many, ok);
        base.seconds += b.seconds;
        base.allocations += b.allocations;
        loaded.seconds += l.seconds;
        loaded.allocations += l.allocations;
        state.SetIterationTime(l.seconds);
    }
    if (!ok) {
        state.SkipWithError("the relay lost frames or ended the session");
        return;
    }
    const auto iterations = static_cast<double>(state.iterations());
    const double extra = kTickFrames - 1;
    state.counters["tick_1frame_us"] = base.seconds / iterations * 1e6;
    state.counters["per_frame_ns"] = (loaded.seconds - base.seconds) / iterations / extra * 1e9;
    state.counters["allocs_per_tick"] = allocationsPerIteration(base.allocations);
    state.counters["allocs_per_frame"] =
        allocationsCounted()
            ? (static_cast<double>(loaded.allocations) - static_cast<double>(base.allocations)) /
                  iterations / extra
            : -1.0;
}
BENCHMARK(BM_RelayTick)->UseManualTime();

// Writes a tag into the last four cookie bytes of a message or ack frame.
void tagCookie(ByteVec& frame, std::uint32_t tag) {
    constexpr std::size_t kTagAt = 6 + 10 + 4;
    for (std::size_t i = 0; i < 4; ++i) {
        frame[kTagAt + i] = static_cast<std::uint8_t>(tag >> (24 - 8 * i));
    }
}

// An outgoing message (4/6, 100 bytes) and the server's acknowledgement
// (4/0C) through the in-process path: Dorrimel tracks the message, writes
// msgack.log and a line of its (hidden) log window, then matches the ack and
// extends that line. Per pair, after the plug-in was initialised afresh and
// its log window given `lines` lines by as many earlier pairs.
void BM_MessageAndAck(benchmark::State& state) {
    Form1& form = benchHost().form();
    form.PlugEvent(EVENT_FINISH, nullptr, 0);
    form.PlugInit();
    ByteVec message = messageFrame(0);
    ByteVec ack = serverAckFrame(0);
    const auto pair = [&](std::uint32_t tag) {
        tagCookie(message, tag);
        tagCookie(ack, tag);
        relayInProcess(form, form.links[SLOT_CLIENT_CHAT].in, message, true, false);
        relayInProcess(form, form.links[SLOT_SERVER_CHAT].in, ack, false, false);
    };
    std::uint32_t tag = 0;
    while (tag < static_cast<std::uint32_t>(state.range(0))) {
        pair(++tag);
    }
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t before = allocationCount();
        pair(++tag);
        allocations += allocationCount() - before;
    }
    state.counters["allocs_per_pair"] = allocationsPerIteration(allocations);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MessageAndAck)->ArgName("lines")->Arg(0)->Arg(5000)->Iterations(500);

// The core's own memory: sizeof(Form1) (socket table, collectors, working
// and plug-in buffers, counters) and the heap its control texts hold once
// the log box has reached its trim limit. Measured once.
void BM_CoreFootprint(benchmark::State& state) {
    Form1& form = benchHost().form();
    const std::string line(60, 'x');
    for (auto _ : state) {
        for (int i = 0; i < 2000; ++i) {
            form.LogLine(line);
        }
    }
    const Controls& c = form.ctl;
    std::size_t texts = 0;
    for (const std::string* s :
         {&c.caption, &c.Text1,   &c.Text2,   &c.Text3,  &c.Text4,   &c.Text5,   &c.Text6,
          &c.Text7,   &c.Text8,   &c.Label1,  &c.Label3, &c.Label14, &c.Label13, &c.Label15,
          &c.Label16, &c.Label18, &c.Label11, &c.txtLOG, &c.txtUIN,  &c.labPlug}) {
        texts += s->capacity() + 1;
    }
    state.counters["form1_bytes"] = static_cast<double>(sizeof(Form1));
    state.counters["texts_bytes"] = static_cast<double>(texts);
    state.counters["total_KiB"] = static_cast<double>(sizeof(Form1) + texts) / 1024.0;
}
BENCHMARK(BM_CoreFootprint)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
#if SKELVANE_BENCH_QT
    // Dorrimel opens its (hidden) log window as in the program; no display needed.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
#endif
    benchmark::AddCustomContext("allocations_counted", allocationsCounted() ? "yes" : "no");
    benchmark::AddCustomContext("frame_bytes", std::to_string(typicalFrame().size()));
    benchmark::RunSpecifiedBenchmarks();
    endBenchHost();
    benchmark::Shutdown();
    return 0;
}
