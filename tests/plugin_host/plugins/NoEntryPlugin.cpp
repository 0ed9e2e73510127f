// A library that is not a plug-in: it loads, but has no `pluginFun`.
#include "proxy/plugin_host/PluginInterface.h"

#if defined(_WIN32)
#define TEST_PLUGIN_EXPORT __declspec(dllexport)
#else
#define TEST_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" TEST_PLUGIN_EXPORT int notThePluginEntry() {
    return HOST_API_VERSION;
}
