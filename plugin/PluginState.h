// The plug-in's global state: one instance for the whole library, zeroed at
// load, serving every session the host hands it. All of the plug-in's globals (this state, the
// settings, the message list and the reply buffer) are defined in PluginState.cpp so that they are
// created and destroyed in one known order around the unload hook.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin/PluginWindows.h"
#include "plugin/Tracker.h"
#include "proxy/plugin_host/PluginInterface.h"

inline constexpr std::uint32_t PLUGIN_API_VERSION = 4;

// Holds the answer to EVENT_INIT and every command handed to the host.
inline constexpr std::size_t REPLY_BUFFER_SIZE = 5000;
using ReplyBuffer = std::array<std::uint8_t, REPLY_BUFFER_SIZE>;

// One client's session, named by the address of its host callback: its
// callback, own UIN and message list.
struct Session {
    std::uint64_t address = 0;  // as the host names it: the full address where given
    HostCallbackFunction hostCallback = nullptr;
    std::uint32_t ownUin = 0;
    MessageList list;
};

struct PluginState {
    bool inited = false;
    // The sessions served while inited. Otherwise at most one, the last
    // served, whose callback and own UIN survive releasePlugin.
    std::vector<std::shared_ptr<Session>> sessions;
    std::shared_ptr<Session> current;  // the session events belong to
    bool sessionUnknown = false;       // the host named a session not served
    TimerId timerId = 0;
    std::unique_ptr<LogView> logWindow;          // null when not created
    std::unique_ptr<OptionsView> optionsWindow;  // null when not open
    bool logShown = false;
};

PluginState& pluginState();
ReplyBuffer& replyBuffer();

// The session events belong to (made, empty, when there is none yet).
Session& currentSession();
// The served session named by this address, or null.
std::shared_ptr<Session> findSession(std::uint64_t address);
// A new session served beside the others, made current.
Session& addSession();
// Drops the current session and its list; another becomes current, but
// its events wait until the host names it.
void dropCurrentSession();
// "[<own UIN>] " while more than one session is served, else nothing: the
// start of each log line of the current session.
std::string sessionPrefix();

// The windowing platform, made on first use; null when there is none.
PluginPlatform* pluginPlatform();
PluginClock& pluginClock();

// Kills the timer (when inited), destroys both windows, clears inited and
// frees the message lists; only the current session stays, its list's
// counters as they are.
void releasePlugin();

// Everything back to the state at library load: released, settings zero, no
// callback, no own UIN, counters zero, no platform (the next use makes one).
void resetPluginState();
