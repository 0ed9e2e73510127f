#include "plugin/Settings.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "plugin/TextNumbers.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr PluginSettings kDefaults{1000, 5000, 10000, 1, 1};

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::int32_t* settingNamed(PluginSettings& s, std::string_view key) {
    if (key == "TimerInterval") {
        return &s.timerInterval;
    }
    if (key == "WaitTimeout") {
        return &s.waitTimeout;
    }
    if (key == "RemoveTimeout") {
        return &s.removeTimeout;
    }
    if (key == "NotifyType") {
        return &s.notifyType;
    }
    if (key == "LogFile") {
        return &s.logFile;
    }
    return nullptr;
}

// One line of the file: key = value; lines without "=" and unknown keys are
// skipped.
void applyLine(PluginSettings& s, std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
        return;
    }
    if (std::int32_t* setting = settingNamed(s, trimBlanks(line.substr(0, equals)))) {
        *setting = parseDecimalInt(trimBlanks(line.substr(equals + 1)));
    }
}

}  // namespace

int loadSettings() {
    PluginSettings& s = pluginSettings();
    s = kDefaults;
    const File file(std::fopen(SETTINGS_FILE_NAME, "r"));
    if (!file) {
        return 1;
    }
    // At most 99 characters per read: the rest of a longer line reads as a
    // line of its own.
    std::array<char, 100> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), file.get()) != nullptr) {
        applyLine(s, std::string_view(line.data()));
    }
    return 0;
}

int saveSettings() {
    const PluginSettings& s = pluginSettings();
    const File file(std::fopen(SETTINGS_FILE_NAME, "w"));
    if (!file) {
        return 1;
    }
    std::fprintf(file.get(),
                 "TimerInterval = %i\nWaitTimeout = %i\nRemoveTimeout = %i\nNotifyType = %i\n"
                 "LogFile = %i",
                 s.timerInterval, s.waitTimeout, s.removeTimeout, s.notifyType, s.logFile);
    return 0;
}

std::string formatSeconds(std::int32_t ms) {
    const auto value = static_cast<std::uint32_t>(ms);
    if (value % 1000 == 0) {
        return std::to_string(static_cast<std::int32_t>(value / 1000));
    }
    // to_chars rather than printf: the point stays a point in every locale.
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value * 0.001,
                                      std::chars_format::fixed, 3);
    return std::string(text.data(), result.ptr);
}

std::int32_t secondsTextToMs(std::string_view text) {
    const double ms = std::trunc(parseDecimalDouble(text) * 1000.0);
    if (std::isnan(ms)) {
        return 0;
    }
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(ms < low ? low : (ms > high ? high : ms));
}
