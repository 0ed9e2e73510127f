// The proxy's clock in every test, fuzz target and benchmark: time stands
// where the test puts it, and a tick's sleep only counts, so nothing waits.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>

#include "proxy/core/Clock.h"

class FakeClock : public Clock {
  public:
    std::int32_t ticks = 77;
    LocalTime time{14, 5, 9};
    int sleeps = 0;
    bool failSleep = false;         // the next sleep throws an overflow fault
    std::function<void()> onSleep;  // runs once, during the next sleep

    // Moves the tick count on, wrapping as the system's does.
    void advance(std::uint32_t ms) {
        ticks = static_cast<std::int32_t>(static_cast<std::uint32_t>(ticks) + ms);
    }

    std::int32_t tickCount() override { return ticks; }
    LocalTime localTime() override { return time; }
    void sleepMs(int /*ms*/) override {
        ++sleeps;
        if (failSleep) {
            failSleep = false;
            throw std::overflow_error("test fault");
        }
        if (onSleep) {
            std::exchange(onSleep, nullptr)();
        }
    }
};
