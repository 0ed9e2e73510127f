// The plug-in's global state: one instance for the whole library, zeroed at
// load. All of the plug-in's globals (this state, the settings, the message
// list and the reply buffer) are defined in PluginState.cpp so that they are
// created and destroyed in one known order around the unload hook.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "plugin/PluginWindows.h"
#include "proxy/plugin_host/PluginInterface.h"

inline constexpr std::uint32_t PLUGIN_API_VERSION = 4;

// Holds the answer to EVENT_INIT and every command handed to the host.
inline constexpr std::size_t REPLY_BUFFER_SIZE = 5000;
using ReplyBuffer = std::array<std::uint8_t, REPLY_BUFFER_SIZE>;

struct PluginState {
    bool inited = false;
    HostCallbackFunction hostCallback = nullptr;  // survives releasePlugin
    std::uint32_t ownUin = 0;                     // survives releasePlugin
    TimerId timerId = 0;
    std::unique_ptr<LogView> logWindow;          // null when not created
    std::unique_ptr<OptionsView> optionsWindow;  // null when not open
    bool logShown = false;
};

PluginState& pluginState();
ReplyBuffer& replyBuffer();

// The windowing platform, made on first use; null when there is none.
PluginPlatform* pluginPlatform();
PluginClock& pluginClock();

// Kills the timer (when inited), destroys both windows, clears inited and
// frees the message list. The list's counters stay as they are.
void releasePlugin();

// Everything back to the state at library load: released, settings zero, no
// callback, no own UIN, counters zero, no platform (the next use makes one).
void resetPluginState();
