// Activation of both server classes, and creation and destruction of instances.
#include <new>

#include "plugin/entries.h"
#include "plugin/plugin_definition.h"
#include "texture/instance/ostrevin_instance.h"

extern "C" {

int TextureHandlerActivate(int version, GlobalFunc *lookup, void *local, void *) noexcept
{
    if (version != TEXTURE_HANDLER_VERSION)
        return AFUNC_BADVERSION;
    auto *handler = static_cast<LWTextureHandler *>(local);
    if (!handler)
        return AFUNC_BADLOCAL;

    if (LWInstanceFuncs *inst = handler->inst) {
        inst->priv = reinterpret_cast<void *>(lookup);
        inst->create = createInstance;
        inst->destroy = destroyInstance;
        inst->copy = copyEntry;
        inst->load = loadEntry;
        inst->save = saveEntry;
        inst->descln = desclnEntry;
    }
    if (LWItemFuncs *item = handler->item) {
        item->useItems = useItemsEntry;
        item->changeID = changeIDEntry;
    }
    if (LWRenderFuncs *rend = handler->rend) {
        rend->init = initEntry;
        rend->cleanup = cleanupEntry;
        rend->newTime = newTimeEntry;
    }
    handler->evaluate = evaluateEntry;
    handler->flags = flagsEntry;
    return AFUNC_OK;
}

int TextureInterfaceActivate(int version, GlobalFunc *lookup, void *local, void *) noexcept
{
    if (version != TEXTURE_INTERFACE_VERSION)
        return AFUNC_BADVERSION;
    auto *iface = static_cast<LWInterface *>(local);
    if (!iface)
        return AFUNC_BADLOCAL;

    auto *instance = static_cast<ostrevin::TextureInstance *>(iface->inst);
    iface->panel = instance ? instance->createPanel(lookup, panelGetEntry, panelSetEntry) : nullptr;
    iface->options = nullptr;
    iface->command = nullptr;
    return AFUNC_OK;
}

LWInstance createInstance(void *lookup, void *context, LWError *errorOut) noexcept
{
    auto *instance = new (std::nothrow) ostrevin::OstrevinInstance(
        reinterpret_cast<GlobalFunc *>(lookup), context,
        ostrevin::PublishedNames{ostrevin::pluginDefinition.pluginName, ostrevin::pluginDefinition.dataVersion});
    if (!instance) {
        if (errorOut)
            *errorOut = "memory allocation error.";
        return nullptr;
    }
    return static_cast<ostrevin::TextureInstance *>(instance);
}

void destroyInstance(LWInstance instance) noexcept
{
    delete static_cast<ostrevin::TextureInstance *>(instance);
}

} // extern "C"
