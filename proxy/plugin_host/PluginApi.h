// The host's binding to its plug-in library. It knows nothing of the main
// window: events go out and the callback comes back through proxy/core.
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

#if defined(_WIN32)
inline constexpr const char* PLUGIN_FILE_NAME = "plugin.dll";
#else
inline constexpr const char* PLUGIN_FILE_NAME = "plugin.so";
#endif
inline constexpr const char* PLUGIN_ENTRY_NAME = "pluginFun";

// The host's record buffers: an event record (6-byte head and at most
// PLUG_MAX_EVENT_DATA data bytes) and PlugCallback's copy of a plug-in record.
inline constexpr std::size_t EVENT_RECORD_SIZE = PLUG_EVENT_HEAD_SIZE + PLUG_MAX_EVENT_DATA;
inline constexpr std::size_t CALLBACK_RECORD_SIZE = PLUG_MAX_RECORD_LENGTH + 1;

// The plug-in's entry for the program folder `programDir`, binding it if it
// is not bound yet; null while the file, the library or its export is
// missing. The program has one folder, so in practice one binding per run; a
// different folder (only tests have one) binds the plug-in found there, and
// the library bound before stays loaded as well. While it is null, `failure`
// gets the loader's own reason (dlerror, or the system's message on
// Windows), else it is emptied.
PluginFunction pluginEntry(const std::string& programDir, std::string& failure);
// The path of the plug-in file in the program folder `programDir`.
std::string pluginPath(const std::string& programDir);
