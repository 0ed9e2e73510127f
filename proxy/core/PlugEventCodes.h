// Event codes that the proxy core hands to the plug-in; they belong to the
// plug-in interface.
#pragma once

#include "proxy/plugin_host/PluginInterface.h"
