// What OK in the options window may take: every edit a number of seconds in
// its setting's range, and a notification form chosen. Toolkit-free, so both
// windows refuse the same texts.
#pragma once

#include <optional>
#include <string>

#include "plugin/PluginWindows.h"
#include "plugin/Settings.h"

struct OptionsRefusal {
    OptionsField field;
    std::string text;  // short, for the window's caption
};

// The first field that cannot be taken, in the window's order; when there is
// none, taken holds the new settings.
std::optional<OptionsRefusal> checkOptions(const OptionsResult& result, PluginSettings& taken);
