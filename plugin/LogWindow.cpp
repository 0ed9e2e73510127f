#include "plugin/LogWindow.h"

#include "plugin/PluginState.h"
#include "plugin/Tracker.h"

namespace {

// The window's close button hides it; its lines survive until release.
void hideLogWindow() {
    PluginState& s = pluginState();
    if (s.logWindow) {
        s.logWindow->show(false);
    }
    s.logShown = false;
}

}  // namespace

void createLogWindow() {
    PluginState& s = pluginState();
    s.logWindow.reset();
    s.logShown = false;
    if (PluginPlatform* platform = pluginPlatform()) {
        s.logWindow =
            platform->createLogWindow(std::string(PLUGIN_TITLE) + " - Log", hideLogWindow);
    }
}

int appendLogLine(const std::string& text) {
    LogView* window = pluginState().logWindow.get();
    if (window == nullptr) {
        return -1;
    }
    const int index = window->appendLine(text);
    if (index >= 0) {
        window->selectLine(index);
    }
    return index < 0 ? -1 : index;
}

void extendLogLine(int index, const std::string& suffix) {
    LogView* window = pluginState().logWindow.get();
    std::string text;
    if (window == nullptr || index < 0 || !window->lineText(index, text)) {
        return;
    }
    window->replaceLine(index, text + suffix);
}

void updateCounters() {
    if (LogView* window = pluginState().logWindow.get()) {
        std::uint32_t processed = 0;
        std::uint32_t waiting = 0;
        for (const std::shared_ptr<Session>& session : pluginState().sessions) {
            processed += session->list.processed;
            waiting += static_cast<std::uint32_t>(session->list.count);
        }
        window->setCounters(processed, waiting);
    }
}

void toggleLogWindow() {
    PluginState& s = pluginState();
    s.logShown = !s.logShown;
    if (s.logWindow) {
        s.logWindow->show(s.logShown);
    }
}
