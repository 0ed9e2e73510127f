// The host's binding to its plug-in and the callback entry the plug-in
// calls back through.
//
// The plug-in is the file "plugin.so" ("plugin.dll" on Windows) in the
// program's own folder, loaded by its full path at the first event (never
// a same-named library from elsewhere on the search path) and resolved by
// the plain C name "pluginFun". Once bound, the library stays loaded until the process ends:
// the plug-in keeps windows, timers and the host's callback address, so
// unloading it under its own feet is never safe. While binding fails, every
// call tries again; meanwhile events go nowhere and count as unanswered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "proxy/plugin_host/PluginInterface.h"

class Form1;

#if defined(_WIN32)
inline constexpr const char* PLUGIN_FILE_NAME = "plugin.dll";
#else
inline constexpr const char* PLUGIN_FILE_NAME = "plugin.so";
#endif
inline constexpr const char* PLUGIN_ENTRY_NAME = "pluginFun";

// The host's record buffers: an event record (6-byte head and at most
// PLUG_MAX_EVENT_DATA data bytes) and PlugCallback's copy of a plug-in record.
inline constexpr std::size_t EVENT_RECORD_SIZE = PLUG_EVENT_HEAD_SIZE + PLUG_MAX_EVENT_DATA;
inline constexpr std::size_t CALLBACK_RECORD_SIZE = 70001;

// The plug-in's entry for the program folder `programDir`, binding it if it
// is not bound yet; null while the file, the library or its export is
// missing. The program has one folder, so in practice one binding per run; a
// different folder (only tests have one) binds the plug-in found there, and
// the library bound before stays loaded as well.
PluginFunction pluginEntry(const std::string& programDir);

// The window whose PlugCallback `hostCallback` reaches. One window is
// registered at a time: the latest registration wins, and ending it leaves
// the callback answering null.
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
// The callback entry whose address EVENT_INIT carries: hands `record` to the
// registered window's PlugCallback (origin 0) and returns its reply, or null
// for a null record, no window or no reply.
const std::uint8_t* PLUG_CALL hostCallback(const std::uint8_t* record);
}
