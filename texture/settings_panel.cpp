// The texture's settings panel: a "Target Item" popup of the scene's objects and an In/Out choice.
#include "texture/ostrevin_instance.h"

namespace ostrevin {

const LWXPanelFuncs *xpanelFuncs = nullptr;

LWXPanelID OstrevinInstance::createPanel(GlobalFunc *lookup, LWXPanelGetFunc *get, LWXPanelSetFunc *set) noexcept
{
    return TextureInstance::createPanel(lookup, get, set);
}

void *OstrevinInstance::panelGet(unsigned int) noexcept { return nullptr; }
int OstrevinInstance::panelSet(unsigned int, void *) noexcept { return 0; }
int OstrevinInstance::popupCount(void *) noexcept { return 0; }
const char *OstrevinInstance::popupName(void *, int) noexcept { return nullptr; }

} // namespace ostrevin
