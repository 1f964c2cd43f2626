// The module's one exported symbol and the server records it leads to.
#include "plugin/module_descriptor.h"

#include "plugin/plugin_definition.h"

namespace ostrevin {

ServerTagInfo tagList[tagListLength];
ServerRecord serverList[serverListLength];

namespace {

// Both lists are filled when the library loads, before the host reads the descriptor; they sit
// in this one translation unit so the tags are filled before the servers that point to them.
struct TagListFill {
    TagListFill() noexcept
    {
        const char *name = pluginDefinition.serverName;
        tagList[0] = {name, LANGID_USENGLISH | SRVTAG_USERNAME};
        tagList[1] = {name, LANGID_JAPANESE | SRVTAG_USERNAME};
        tagList[2] = {name, SRVTAG_BUTTONNAME};
        tagList[3] = {name, SRVTAG_DESCRIPTION};
        tagList[4] = {nullptr, 0};
    }
} const tagListFill;

struct ServerListFill {
    ServerListFill() noexcept
    {
        const PluginDefinition &d = pluginDefinition;
        serverList[0] = {d.handlerClass, d.serverName, d.handlerActivate, tagList};
        serverList[1] = {d.interfaceClass, d.serverName, d.interfaceActivate, tagList};
        serverList[2] = {nullptr, nullptr, nullptr, nullptr};
    }
} const serverListFill;

} // namespace

} // namespace ostrevin

extern "C" {

static void *moduleStartup(void) noexcept
{
    return reinterpret_cast<void *>(static_cast<std::uintptr_t>(MODULE_STARTUP_RESULT));
}
static void moduleShutdown(void *) noexcept {}

OSTREVIN_EXPORT ModuleDescriptor _mod_descrip = {
    MODULE_SYNC_WORD,
    MODULE_SYSTEM_VERSION,
    MODULE_MACHINE_WORD,
    moduleStartup,
    moduleShutdown,
    ostrevin::serverList,
};

} // extern "C"
