// The plug-in's five settings and their file "dorrimel.ini" in the current
// directory. A value outside its range, in the file or in the options
// window, never reaches the settings.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/PluginWindows.h"

inline constexpr char SETTINGS_FILE_NAME[] = "dorrimel.ini";

// All zero until the first EVENT_INIT loads them.
struct PluginSettings {
    std::int32_t timerInterval = 0;  // ms, period of the tracker's timer
    std::int32_t waitTimeout = 0;    // ms after sending until the notification
    std::int32_t removeTimeout = 0;  // ms after sending until a notified entry goes
    std::int32_t notifyType = 0;     // 1 to 4, the notification's form
    std::int32_t logFile = 0;        // non-zero: write "msgack.log"
};

PluginSettings& pluginSettings();

// A setting's key, its place, the values it is taken in and its default.
struct SettingRule {
    const char* key;
    std::int32_t PluginSettings::*value;
    std::int32_t low;
    std::int32_t high;
    std::int32_t fallback;
};

inline constexpr std::int32_t MAX_SETTING_MS = std::numeric_limits<std::int32_t>::max();

// In the order of the file's lines. The timer runs no faster than every
// 10 ms; the times are milliseconds after sending, never negative.
inline constexpr std::array<SettingRule, 5> SETTING_RULES = {{
    {"TimerInterval", &PluginSettings::timerInterval, MIN_TIMER_PERIOD_MS, MAX_SETTING_MS, 1000},
    {"WaitTimeout", &PluginSettings::waitTimeout, 0, MAX_SETTING_MS, 5000},
    {"RemoveTimeout", &PluginSettings::removeTimeout, 0, MAX_SETTING_MS, 10000},
    {"NotifyType", &PluginSettings::notifyType, 1,
     static_cast<std::int32_t>(NOTIFY_TYPE_NAMES.size()), 1},
    {"LogFile", &PluginSettings::logFile, 0, 1, 1},
}};

inline bool inRange(const SettingRule& rule, std::int64_t value) {
    return value >= rule.low && value <= rule.high;
}

// Defaults, then the file; 1 when it could not be opened (defaults stand).
// A value with no number or outside its range keeps the default, and a line
// saying so goes to notes, one per key, when notes is given.
int loadSettings(std::vector<std::string>* notes = nullptr);
// Writes the five lines; 1 when the file could not be created.
int saveSettings();

// Milliseconds (taken as unsigned) as seconds for an edit field: "5" for
// 5000, "1.500" for 1500.
std::string formatSeconds(std::int32_t ms);
