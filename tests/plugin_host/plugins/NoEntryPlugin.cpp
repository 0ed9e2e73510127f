// A library that is not a plug-in: it loads, but has no `pluginFun`.
#include "proxy/plugin_host/PluginInterface.h"

extern "C" __attribute__((visibility("default"))) int notThePluginEntry() {
    return HOST_API_VERSION;
}
