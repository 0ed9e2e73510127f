// The plug-in's one export. Everything else in the library stays hidden.
#include <cstdint>

#include "plugin/Dispatch.h"
#include "proxy/plugin_host/PluginInterface.h"

#if defined(_WIN32)
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" PLUGIN_EXPORT const std::uint8_t* PLUG_CALL pluginFun(const std::uint8_t* eventRecord);

// The host's one door in. No fault may cross back into the host: anything
// unexpected ends the event without an answer.
extern "C" PLUGIN_EXPORT const std::uint8_t* PLUG_CALL pluginFun(const std::uint8_t* eventRecord) {
    try {
        return dispatchEvent(eventRecord);
    } catch (...) {
        return nullptr;
    }
}

// Checked here so that a change of the interface's typedef shows at once.
static_assert(sizeof(PluginFunction) == sizeof(&pluginFun));
