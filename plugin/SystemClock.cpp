// The machine's own clock: the millisecond tick counter since start-up and
// the local and UTC calendar time.
#include <chrono>
#include <ctime>

#include "plugin/PluginWindows.h"

namespace {

PluginDateTime fromCalendar(const std::tm& tm, int millisecond) {
    return PluginDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                          tm.tm_min,         tm.tm_sec,     millisecond};
}

class SystemPluginClock : public PluginClock {
  public:
    std::uint32_t tickCount() override {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
    PluginDateTime localDateTime() override { return calendar(true); }
    PluginDateTime utcDateTime() override { return calendar(false); }

  private:
    static PluginDateTime calendar(bool local) {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
        std::tm tm{};
#if defined(_WIN32)
        local ? localtime_s(&tm, &seconds) : gmtime_s(&tm, &seconds);
#else
        local ? localtime_r(&seconds, &tm) : gmtime_r(&seconds, &tm);
#endif
        return fromCalendar(tm, static_cast<int>(ms.count()));
    }
};

}  // namespace

PluginClock& systemPluginClock() {
    static SystemPluginClock clock;
    return clock;
}
