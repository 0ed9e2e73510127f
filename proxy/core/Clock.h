// Time as the proxy sees it. Tests drive their own clock; nothing sleeps.
#pragma once

#include <cstdint>

struct LocalTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since the system started, as a signed 32-bit number.
    virtual std::int32_t tickCount() = 0;
    virtual LocalTime localTime() = 0;
};

// The machine's own clock.
class SystemClock : public Clock {
  public:
    std::int32_t tickCount() override;
    LocalTime localTime() override;
};
