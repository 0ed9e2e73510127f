// Micro-benchmarks of Dorrimel's outgoing-message tracker with many messages
// waiting: addMessage, timerTick per entry (scan, notify, remove) and
// ackMessage (newest, oldest, unknown). The tracker runs without windows
// and with its log file off, on a clock the benchmark sets, so the figures
// are the list's own work and the texts it formats; the frame-path
// benchmark measures a tracked message with the log file and window on.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "bench/AllocCounter.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/Tracker.h"
#include "tests/support/FakePluginPlatform.h"

// No windowing layer: no log window, no timer (the benchmark ticks itself).
std::unique_ptr<PluginPlatform> makePluginPlatform() {
    return nullptr;
}

namespace {

constexpr std::int32_t kMessageSize = 102;  // a 100-byte frame plus two
constexpr std::int32_t kWaitTimeout = 5000;
constexpr std::int32_t kRemoveTimeout = 10000;
constexpr std::uint32_t kSendTick = 1000000;

FakePluginClock pluginTime;

const std::uint8_t* PLUG_CALL acceptingHost(const std::uint8_t* /*record*/) {
    static const std::uint8_t ack[PLUG_REPLY_SIZE]{2, 0, 0, 0, HOST_ACK, ACK_OK};
    return ack;
}

Cookie cookieFor(std::uint32_t key) {
    return Cookie{0xC0,
                  0x0C,
                  0x1E,
                  0x00,
                  static_cast<std::uint8_t>(key >> 24),
                  static_cast<std::uint8_t>(key >> 16),
                  static_cast<std::uint8_t>(key >> 8),
                  static_cast<std::uint8_t>(key)};
}

// Several messages go to each recipient, as in a real session.
std::int32_t uinFor(std::uint32_t key) {
    return 100000000 + static_cast<std::int32_t>(key % 997);
}

void track(std::uint32_t key) {
    addMessage(uinFor(key), key, cookieFor(key), kMessageSize);
}

bool ack(const TrackedMessage& entry) {
    return ackMessage(entry.recipientUin, 0x22, entry.cookie, AckSource::Server);
}

// A fresh tracker holding `waiting` messages, all sent at kSendTick; returns
// a copy of its entries to restore it from.
std::vector<TrackedMessage> fillTracker(std::int32_t waiting) {
    setPluginClock(&pluginTime);
    pluginTime.tick = kSendTick;
    pluginSettings() = PluginSettings{1000, kWaitTimeout, kRemoveTimeout, 1, 0};
    currentSession().hostCallback = acceptingHost;
    currentSession().ownUin = 123456;
    setUpMessageList();
    for (std::int32_t i = 0; i < waiting; ++i) {
        track(static_cast<std::uint32_t>(i));
    }
    const MessageList& list = messageList();
    return std::vector<TrackedMessage>(list.entries.get(), list.entries.get() + list.count);
}

void restore(const std::vector<TrackedMessage>& saved) {
    MessageList& list = messageList();
    std::copy(saved.begin(), saved.end(), list.entries.get());
    list.count = static_cast<std::int32_t>(saved.size());
}

void report(benchmark::State& state, std::int64_t operations, std::uint64_t allocations,
            const char* perWhat) {
    state.SetItemsProcessed(operations);
    state.counters[std::string("s_per_") + perWhat] = benchmark::Counter(
        static_cast<double>(operations), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (allocationsCounted() && operations > 0) {
        state.counters[std::string("allocs_per_") + perWhat] =
            static_cast<double>(allocations) / static_cast<double>(operations);
    }
}

// addMessage with N waiting; every 1000 additions the list is cut back to N.
void BM_AddMessage(benchmark::State& state) {
    const auto waiting = static_cast<std::int32_t>(state.range(0));
    fillTracker(waiting);
    auto key = static_cast<std::uint32_t>(waiting);
    int batch = 0;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t before = allocationCount();
        track(key++);
        allocations += allocationCount() - before;
        if (++batch == 1000) {
            state.PauseTiming();
            messageList().count = waiting;
            batch = 0;
            state.ResumeTiming();
        }
    }
    report(state, state.iterations(), allocations, "add");
    state.SetComplexityN(waiting);
}
BENCHMARK(BM_AddMessage)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::o1);

// timerTick over N entries of which none is due: the periodic scan.
void BM_TimerTickScan(benchmark::State& state) {
    const auto waiting = static_cast<std::int32_t>(state.range(0));
    fillTracker(waiting);
    pluginTime.tick = kSendTick + kWaitTimeout;  // equality is not yet due
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t before = allocationCount();
        timerTick();
        allocations += allocationCount() - before;
    }
    if (messageList().count != waiting) {
        state.SkipWithError("the scan changed the list");
    }
    report(state, state.iterations() * waiting, allocations, "entry");
}
BENCHMARK(BM_TimerTickScan)->RangeMultiplier(10)->Range(1000, 100000);

// timerTick in which all N entries are overdue: one notification each,
// built and handed to the host's callback.
void BM_TimerTickNotify(benchmark::State& state) {
    const auto waiting = static_cast<std::int32_t>(state.range(0));
    const std::vector<TrackedMessage> saved = fillTracker(waiting);
    pluginTime.tick = kSendTick + kWaitTimeout + 1;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        restore(saved);
        state.ResumeTiming();
        const std::uint64_t before = allocationCount();
        timerTick();
        allocations += allocationCount() - before;
    }
    report(state, state.iterations() * waiting, allocations, "entry");
}
BENCHMARK(BM_TimerTickNotify)->RangeMultiplier(10)->Range(1000, 100000);

// timerTick in which all N entries were notified and are past their
// removal time: each is logged (log file off) and removed.
void BM_TimerTickRemove(benchmark::State& state) {
    const auto waiting = static_cast<std::int32_t>(state.range(0));
    std::vector<TrackedMessage> saved = fillTracker(waiting);
    for (TrackedMessage& entry : saved) {
        entry.notified = 1;
    }
    pluginTime.tick = kSendTick + kRemoveTimeout + 1;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        restore(saved);
        state.ResumeTiming();
        const std::uint64_t before = allocationCount();
        timerTick();
        allocations += allocationCount() - before;
    }
    if (messageList().count != 0) {
        state.SkipWithError("entries were left");
    }
    report(state, state.iterations() * waiting, allocations, "entry");
}
BENCHMARK(BM_TimerTickRemove)->RangeMultiplier(10)->Range(1000, 100000);

// ackMessage of the entry at `pick` (the newest at the list's end, found at
// once, or the oldest at index 0, found after a scan of the whole list);
// the list is restored to N entries every 100 acknowledgements.
template <bool kOldest>
void BM_AckMessage(benchmark::State& state) {
    const auto waiting = static_cast<std::int32_t>(state.range(0));
    const std::vector<TrackedMessage> saved = fillTracker(waiting);
    const MessageList& list = messageList();
    int batch = 0;
    bool found = true;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const TrackedMessage entry = list.entries[kOldest ? 0 : list.count - 1];
        const std::uint64_t before = allocationCount();
        found = ack(entry) && found;
        allocations += allocationCount() - before;
        if (++batch == 100) {
            state.PauseTiming();
            restore(saved);
            batch = 0;
            state.ResumeTiming();
        }
    }
    if (!found) {
        state.SkipWithError("an acknowledgement matched nothing");
    }
    report(state, state.iterations(), allocations, "ack");
    state.SetComplexityN(waiting);
}
BENCHMARK(BM_AckMessage<false>)
    ->Name("BM_AckNewest")
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Complexity(benchmark::o1);
BENCHMARK(BM_AckMessage<true>)
    ->Name("BM_AckOldest")
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Complexity(benchmark::oN);

// ackMessage that matches nothing: the whole list is searched, then the
// " not found" line is formatted. The list does not change.
void BM_AckUnknown(benchmark::State& state) {
    const auto waiting = static_cast<std::int32_t>(state.range(0));
    fillTracker(waiting);
    TrackedMessage stranger{};
    stranger.recipientUin = 42;
    stranger.cookie = cookieFor(0xFFFFFFFF);
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t before = allocationCount();
        benchmark::DoNotOptimize(ack(stranger));
        allocations += allocationCount() - before;
    }
    report(state, state.iterations(), allocations, "ack");
    state.SetComplexityN(waiting);
}
BENCHMARK(BM_AckUnknown)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
