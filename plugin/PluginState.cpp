#include "plugin/PluginState.h"

#include <algorithm>

#include "plugin/Settings.h"
#include "plugin/TextFormat.h"
#include "plugin/Tracker.h"

namespace {

// Order matters: the unload hook below is destroyed first and still finds
// everything else alive.
PluginState state;
PluginSettings settings;
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
    return currentSession().list;
}

Session& currentSession() {
    if (!state.current) {
        state.current = std::make_shared<Session>();
        state.sessions.push_back(state.current);
    }
    return *state.current;
}

std::shared_ptr<Session> findSession(std::uint64_t address) {
    for (const std::shared_ptr<Session>& session : state.sessions) {
        if (session->address == address) {
            return session;
        }
    }
    return nullptr;
}

Session& addSession() {
    state.current = std::make_shared<Session>();
    state.sessions.push_back(state.current);
    return *state.current;
}

void dropCurrentSession() {
    const std::shared_ptr<Session> dropped = state.current;
    std::erase(state.sessions, dropped);
    dropped->list.entries.reset();
    state.current = state.sessions.empty() ? nullptr : state.sessions.front();
    state.sessionUnknown = true;
}

std::string sessionPrefix() {
    if (state.sessions.size() < 2) {
        return {};
    }
    return formatText("[%i] ", static_cast<std::int32_t>(currentSession().ownUin));
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
    for (const std::shared_ptr<Session>& session : state.sessions) {
        session->list.entries.reset();
    }
    if (state.current) {
        state.sessions = {state.current};
    }
    state.sessionUnknown = false;
}

void resetPluginState() {
    releasePlugin();
    state = PluginState{};
    settings = PluginSettings{};
    reply.fill(0);
    platform.reset();
    platformMade = false;
}
