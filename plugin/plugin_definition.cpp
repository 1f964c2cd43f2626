#include "plugin/plugin_definition.h"

#include "plugin/entries.h"

namespace ostrevin {

const PluginDefinition pluginDefinition = {
    "Dabrel_Ostrevin",
    "Ostrevin",
    1.1,
    TEXTURE_HANDLER_CLASS,
    TextureHandlerActivate,
    TEXTURE_INTERFACE_CLASS,
    TextureInterfaceActivate,
};

} // namespace ostrevin
