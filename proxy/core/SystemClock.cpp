// The machine's clock: milliseconds since boot and the local date and time.
#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include <ctime>

#include "proxy/core/Clock.h"

#if defined(_WIN32)

std::int32_t SystemClock::tickCount() {
    return static_cast<std::int32_t>(GetTickCount());
}

LocalTime SystemClock::localTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalTime{now.wHour, now.wMinute, now.wSecond, now.wYear, now.wMonth, now.wDay};
}

#else

std::int32_t SystemClock::tickCount() {
    timespec ts{};
#ifdef CLOCK_BOOTTIME
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) {
        clock_gettime(CLOCK_MONOTONIC, &ts);
    }
#else
    clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000U +
                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000U;
    // Truncated to 32 bits, read as signed: it wraps like the platform tick count.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

LocalTime SystemClock::localTime() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return LocalTime{parts.tm_hour,        parts.tm_min,     parts.tm_sec,
                     parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

#endif
