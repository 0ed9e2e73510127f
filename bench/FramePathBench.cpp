// Micro-benchmarks of the chat frame path through the proxy core, with the
// real Dorrimel (plugin.so) loaded by a real sign-on: what the core spends
// between a socket's readiness report and the send on the other side
// (receive, collection, the plug-in's event, stamp, queue, flush), per frame,
// for both directions, for single frames and for bursts; its allocations in
// the steady state; a tracked message and its ack; and the core's memory.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "bench/AllocCounter.h"
#include "bench/BenchHost.h"
#include "bench/Frames.h"

#if SKELVANE_BENCH_QT
#include <QApplication>
#endif

namespace {

constexpr int kWarmUp = 16;  // bursts before the timing: the queues have their capacity
constexpr std::size_t kMaxSamples = std::size_t{1} << 20;

// Allocations per item; -1 when this build cannot count them.
double allocationsPer(std::uint64_t total, double items) {
    return allocationsCounted() ? static_cast<double>(total) / items : -1.0;
}

double quantile(std::vector<std::uint32_t>& samples, double q) {
    const auto k = static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1));
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(k),
                     samples.end());
    return static_cast<double>(samples[k]);
}

// One burst of `frames` frames of `bytes` bytes from the client (argument
// 0) or the server (1): the time of the proxy's handler for the readiness
// report of the socket they arrived on, until they have all left on the
// other socket. Frames of one burst arrive together and leave in one send;
// a burst of one frame is sporadic traffic, one of 64 KB a stream. With
// `sessions` above 1, other clients' chat sessions are open beside it.
void BM_Relay(benchmark::State& state) {
    BenchHost& host = benchHost();
    host.useSessions(static_cast<int>(state.range(3)));
    const bool fromClient = state.range(0) == 0;
    const auto frameBytes = static_cast<std::size_t>(state.range(1));
    const auto frames = static_cast<int>(state.range(2));
    const ByteVec burst = typicalFrames(frames, frameBytes);
    for (int i = 0; i < kWarmUp; ++i) {
        host.relay(fromClient, burst);
    }
    std::vector<std::uint32_t> samples;
    samples.reserve(kMaxSamples);
    RelayCost total;
    for (auto _ : state) {
        const RelayCost cost = host.relay(fromClient, burst);
        state.SetIterationTime(cost.seconds);
        total.seconds += cost.seconds;
        total.allocations += cost.allocations;
        total.reports += cost.reports;
        if (samples.size() < kMaxSamples) {
            samples.push_back(static_cast<std::uint32_t>(cost.seconds * 1e9));
        }
    }
    const auto bursts = static_cast<double>(state.iterations());
    const double relayed = bursts * frames;
    state.SetItemsProcessed(state.iterations() * frames);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(burst.size()));
    state.counters["ns_per_frame"] = total.seconds / relayed * 1e9;
    state.counters["allocs_per_frame"] = allocationsPer(total.allocations, relayed);
    state.counters["reports_per_burst"] = total.reports / bursts;
    if (!samples.empty()) {
        state.counters["median_ns"] = quantile(samples, 0.5);
        state.counters["p99_ns"] = quantile(samples, 0.99);
    }
}
BENCHMARK(BM_Relay)
    ->ArgNames({"from_server", "bytes", "frames", "sessions"})
    ->Args({0, 100, 1, 1})
    ->Args({1, 100, 1, 1})
    ->Args({0, 100, 640, 1})
    ->Args({1, 100, 640, 1})
    ->Args({0, 8192, 1, 1})
    ->Args({1, 8192, 1, 1})
    ->Args({0, 8192, 8, 1})
    ->Args({1, 8192, 8, 1})
    ->Args({0, 100, 1, 8})
    ->Args({1, 100, 1, 8})
    ->Args({0, 100, 640, 8})
    ->Args({1, 100, 640, 8})
    ->UseManualTime();

// Writes a tag into the last four cookie bytes of a message or ack frame.
void tagCookie(ByteVec& frame, std::uint32_t tag) {
    constexpr std::size_t kTagAt = 6 + 10 + 4;
    for (std::size_t i = 0; i < 4; ++i) {
        frame[kTagAt + i] = static_cast<std::uint8_t>(tag >> (24 - 8 * i));
    }
}

// An outgoing message (4/6, 100 bytes, ack requested) from the client and
// the server's acknowledgement (4/0C), each through its readiness report:
// Dorrimel tracks the message, writes msgack.log and a line of its (hidden)
// log window, then matches the ack and extends that line. Per pair, after a
// fresh sign-on and `lines` earlier pairs in the log window.
void BM_MessageAndAck(benchmark::State& state) {
    BenchHost& host = benchHost();
    host.useSessions(1);
    host.restartSession();
    ByteVec message = messageFrame(0);
    ByteVec ack = serverAckFrame(0);
    const auto pair = [&](std::uint32_t tag) {
        tagCookie(message, tag);
        tagCookie(ack, tag);
        const RelayCost up = host.relay(true, message);
        const RelayCost down = host.relay(false, ack);
        return RelayCost{up.seconds + down.seconds, up.allocations + down.allocations,
                         up.reports + down.reports};
    };
    std::uint32_t tag = 0;
    while (tag < static_cast<std::uint32_t>(state.range(0))) {
        pair(++tag);
    }
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const RelayCost cost = pair(++tag);
        state.SetIterationTime(cost.seconds);
        allocations += cost.allocations;
    }
    state.counters["allocs_per_pair"] =
        allocationsPer(allocations, static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MessageAndAck)->ArgName("lines")->Arg(0)->Arg(5000)->Iterations(500)->UseManualTime();

// The core's own memory: sizeof(Form1) (the login listener, working and
// plug-in buffers), sizeof(Session) (one client's sockets, the four
// connections' collectors and queues, counters) and the heap
// its control texts hold once the log box has reached its trim limit.
// Measured once.
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
    state.counters["session_bytes"] = static_cast<double>(sizeof(Session));
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
    benchmark::RunSpecifiedBenchmarks();
    endBenchHost();
    benchmark::Shutdown();
    return 0;
}
