#include "plugin/Options.h"

#include <string_view>

#include "plugin/LogWindow.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/TextFormat.h"
#include "plugin/Tracker.h"

namespace {

constexpr std::size_t kEditTextLimit = 99;

OptionsValues currentValues() {
    const PluginSettings& s = pluginSettings();
    OptionsValues values;
    values.timerInterval = formatSeconds(s.timerInterval);
    values.waitTimeout = formatSeconds(s.waitTimeout);
    values.removeTimeout = formatSeconds(s.removeTimeout);
    values.notifyIndex = s.notifyType >= 1 && s.notifyType <= 4 ? s.notifyType - 1 : -1;
    values.logFile = s.logFile != 0;
    return values;
}

std::int32_t editMs(const std::string& text) {
    return secondsTextToMs(std::string_view(text).substr(0, kEditTextLimit));
}

void openOptionsWindow() {
    PluginPlatform* platform = pluginPlatform();
    if (platform == nullptr) {
        return;
    }
    const std::string caption = formatText("%s - Options - %i", PLUGIN_TITLE,
                                           static_cast<std::int32_t>(pluginState().ownUin));
    OptionsCallbacks callbacks{acceptOptions, cancelOptions, toggleLogWindow};
    pluginState().optionsWindow =
        platform->openOptions(caption, currentValues(), std::move(callbacks));
}

}  // namespace

void preferencesEvent() {
    PluginState& s = pluginState();
    if (!s.inited) {
        if (PluginPlatform* platform = pluginPlatform()) {
            platform->messageBox("Plugin not inited.\nOptions not available.", PLUGIN_TITLE,
                                 BoxIcon::Information);
        }
        return;
    }
    if (s.optionsWindow) {
        s.optionsWindow.reset();
        return;
    }
    openOptionsWindow();
}

void acceptOptions(const OptionsResult& result) {
    PluginSettings& s = pluginSettings();
    const std::int32_t oldInterval = s.timerInterval;
    s.timerInterval = editMs(result.timerInterval);
    s.waitTimeout = editMs(result.waitTimeout);
    s.removeTimeout = editMs(result.removeTimeout);
    s.notifyType = result.notifyIndex + 1;
    s.logFile = result.logFile ? 1 : 0;
    if (s.timerInterval != oldInterval) {
        stopTrackerTimer();
        startTrackerTimer();
    }
    saveSettings();
    pluginState().optionsWindow.reset();
}

void cancelOptions() {
    pluginState().optionsWindow.reset();
}
