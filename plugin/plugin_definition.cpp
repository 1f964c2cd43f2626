#include "plugin/plugin_definition.h"

#include "plugin/entries.h"

namespace ostrevin {

const PluginDefinition pluginDefinition = {
    "Dabrel_Ostrevin",
    "Ostrevin",
    1.1,
    "TextureHandler",
    TextureHandlerActivate,
    "TextureInterface",
    TextureInterfaceActivate,
};

} // namespace ostrevin
