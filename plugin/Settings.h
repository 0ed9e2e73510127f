// The plug-in's five settings and their file "dorrimel.ini" in the current
// directory. Values are used as stored, never range-checked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// Defaults, then the file; 1 when it could not be opened (defaults stand).
int loadSettings();
// Writes the five lines; 1 when the file could not be created.
int saveSettings();

// Milliseconds (taken as unsigned) as seconds for an edit field: "5" for
// 5000, "1.500" for 1500.
std::string formatSeconds(std::int32_t ms);

// An edit field's seconds as whole milliseconds: decimal number (0 when it is
// none) times 1000, cut toward zero and held within 32 bits.
std::int32_t secondsTextToMs(std::string_view text);
