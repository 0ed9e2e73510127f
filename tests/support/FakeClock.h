// The proxy's clock in every test, fuzz target and benchmark: time stands
// where the test puts it.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>

#include "proxy/core/Clock.h"

class FakeClock : public Clock {
  public:
    std::int32_t ticks = 77;
    LocalTime time{14, 5, 9, 2026, 12, 9};
    int reads = 0;                 // tick counts read so far
    bool failRead = false;         // the next read throws an overflow fault
    std::function<void()> onRead;  // runs once, during the next read

    // Moves the tick count on, wrapping as the system's does.
    void advance(std::uint32_t ms) {
        ticks = static_cast<std::int32_t>(static_cast<std::uint32_t>(ticks) + ms);
    }

    std::int32_t tickCount() override {
        ++reads;
        if (std::exchange(failRead, false)) {
            throw std::overflow_error("test fault");
        }
        if (onRead) {
            std::exchange(onRead, nullptr)();
        }
        return ticks;
    }
    LocalTime localTime() override { return time; }
};
