// The host's callback entry, whose address EVENT_INIT hands the plug-in, and
// the registration that tells it which window's PlugCallback to reach.
#pragma once

#include <cstdint>

#include "proxy/plugin_host/PluginInterface.h"

class Form1;

// One window is registered at a time: the latest registration wins, and
// ending it leaves the callback answering null.
class HostWindowRegistration {
  public:
    explicit HostWindowRegistration(Form1& form);
    HostWindowRegistration(const HostWindowRegistration&) = delete;
    HostWindowRegistration& operator=(const HostWindowRegistration&) = delete;
    ~HostWindowRegistration();

  private:
    Form1& form_;
};

extern "C" {
// Hands `record` to the registered window's PlugCallback (origin 0) and
// returns its reply, or null for a null record, no window or no reply.
const std::uint8_t* PLUG_CALL hostCallback(const std::uint8_t* record);
}
