#include "plugin/Options.h"

#include <string>
#include <vector>

#include "plugin/LogFile.h"
#include "plugin/LogWindow.h"
#include "plugin/OptionsCheck.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/TextFormat.h"
#include "plugin/Tracker.h"

namespace {

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

// The own UIN of each session, in the order they started: the one window
// serves them all.
std::string sessionUins() {
    currentSession();  // before any session: the UIN 0
    std::string text;
    for (const std::shared_ptr<Session>& session : pluginState().sessions) {
        text +=
            (text.empty() ? "" : ", ") + std::to_string(static_cast<std::int32_t>(session->ownUin));
    }
    return text;
}

bool openOptionsWindow() {
    PluginPlatform* platform = pluginPlatform();
    if (platform == nullptr) {
        return false;
    }
    const std::string caption = formatText("%s - Options - ", PLUGIN_TITLE) + sessionUins();
    OptionsCallbacks callbacks{acceptOptions, cancelOptions, toggleLogWindow};
    pluginState().optionsWindow =
        platform->openOptions(caption, currentValues(), std::move(callbacks));
    return pluginState().optionsWindow != nullptr;
}

// Before a session the window edits the file that the next EVENT_INIT reads.
void openBeforeSession() {
    std::vector<std::string> notes;
    loadSettings(&notes);
    for (const std::string& note : notes) {
        logToFile(note);
    }
    if (!openOptionsWindow()) {
        if (PluginPlatform* platform = pluginPlatform()) {
            platform->messageBox("Plugin not inited.\nOptions not available.", PLUGIN_TITLE,
                                 BoxIcon::Information);
        }
    }
}

}  // namespace

void preferencesEvent() {
    PluginState& s = pluginState();
    if (s.optionsWindow) {
        s.optionsWindow.reset();
    } else if (!s.inited) {
        openBeforeSession();
    } else {
        openOptionsWindow();
    }
}

void acceptOptions(const OptionsResult& result) {
    PluginSettings& s = pluginSettings();
    PluginSettings taken = s;
    if (const auto refusal = checkOptions(result, taken)) {
        if (pluginState().optionsWindow) {
            pluginState().optionsWindow->refuse(refusal->field, refusal->text);
        }
        return;
    }
    const std::int32_t oldInterval = s.timerInterval;
    s = taken;
    if (s.timerInterval != oldInterval && pluginState().inited) {
        stopTrackerTimer();
        startTrackerTimer();
    }
    saveSettings();
    pluginState().optionsWindow.reset();
}

void cancelOptions() {
    pluginState().optionsWindow.reset();
}
