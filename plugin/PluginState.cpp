#include "plugin/PluginState.h"

#include "plugin/Settings.h"
#include "plugin/Tracker.h"

namespace {

// Order matters: the unload hook below is destroyed first and still finds
// everything else alive.
PluginState state;
PluginSettings settings;
MessageList list;
ReplyBuffer reply{};
std::unique_ptr<PluginPlatform> platform;
bool platformMade = false;
PluginClock* installedClock = nullptr;

// The library's unload: release everything, without a "Stopping" line.
struct UnloadHook {
    UnloadHook() = default;
    UnloadHook(const UnloadHook&) = delete;
    UnloadHook& operator=(const UnloadHook&) = delete;
    ~UnloadHook() {
        releasePlugin();
        platform.reset();
    }
};
UnloadHook unloadHook;

}  // namespace

PluginState& pluginState() {
    return state;
}

PluginSettings& pluginSettings() {
    return settings;
}

MessageList& messageList() {
    return list;
}

ReplyBuffer& replyBuffer() {
    return reply;
}

PluginPlatform* pluginPlatform() {
    if (!platformMade) {
        platformMade = true;
        platform = makePluginPlatform();
    }
    return platform.get();
}

void setPluginPlatform(std::unique_ptr<PluginPlatform> replacement) {
    releasePlugin();
    platform = std::move(replacement);
    platformMade = true;
}

PluginClock& pluginClock() {
    return installedClock != nullptr ? *installedClock : systemPluginClock();
}

void setPluginClock(PluginClock* replacement) {
    installedClock = replacement;
}

void releasePlugin() {
    if (state.inited && state.timerId != 0 && platform) {
        platform->killTimer(state.timerId);
    }
    state.timerId = 0;
    state.logWindow.reset();
    state.optionsWindow.reset();
    state.inited = false;
    list.entries.reset();
}

void resetPluginState() {
    releasePlugin();
    state = PluginState{};
    settings = PluginSettings{};
    list = MessageList{};
    reply.fill(0);
    platform.reset();
    platformMade = false;
}
