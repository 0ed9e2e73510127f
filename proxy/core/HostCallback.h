// The host's callback entries, one per session index, whose addresses the
// sessions' EVENT_INIT hand the plug-in, and the registration that tells
// them which window's sessions they reach.
#pragma once

#include <cstdint>

#include "proxy/core/SocketWatch.h"
#include "proxy/plugin_host/PluginInterface.h"

class Form1;

// One window is registered at a time: the latest registration wins, and
// ending it leaves every callback answering null.
class HostWindowRegistration {
  public:
    explicit HostWindowRegistration(Form1& form);
    HostWindowRegistration(const HostWindowRegistration&) = delete;
    HostWindowRegistration& operator=(const HostWindowRegistration&) = delete;
    ~HostWindowRegistration();

  private:
    Form1& form_;
};

// Session indices that have a callback: every index a session can hold,
// the waiting session's included.
inline constexpr int SESSION_CALLBACKS = MAX_SESSIONS + 1;

// The callback that reaches the session of `index`, or null outside
// 0 to SESSION_CALLBACKS - 1. Index 0's is `hostCallback`.
HostCallbackFunction sessionCallback(int index);

extern "C" {
// The callback of session index 0: hands `record` to the registered
// window's PlugSessionCallback and returns its reply, or null for a null
// record, no window or no reply.
const std::uint8_t* PLUG_CALL hostCallback(const std::uint8_t* record);
}
