// The plug-in's names and data version, fixed at build time.
#ifndef OSTREVIN_PLUGIN_PLUGIN_DEFINITION_H
#define OSTREVIN_PLUGIN_PLUGIN_DEFINITION_H

#include "framework/host_api.h"

namespace ostrevin {

struct PluginDefinition {
    const char *serverName;
    const char *pluginName;
    double dataVersion;
    const char *handlerClass;
    ActivateFunc *handlerActivate;
    const char *interfaceClass;
    ActivateFunc *interfaceActivate;
};

extern const PluginDefinition pluginDefinition;

} // namespace ostrevin

#endif
