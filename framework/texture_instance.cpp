#include "framework/texture_instance.h"

namespace ostrevin {

TextureInstance::TextureInstance(GlobalFunc *lookup, void *context) noexcept
    : hostGlobal(lookup), context(context)
{
    if (lookup)
        instUpdate = reinterpret_cast<LWInstUpdate *>(lookup("Instance Update", GFUSE_TRANSIENT));
}

TextureInstance::~TextureInstance() = default;

LWError TextureInstance::copy(const TextureInstance *) noexcept { return nullptr; }
const char *TextureInstance::descln() noexcept { return description; }
const LWItemID *TextureInstance::useItems() noexcept { return nullptr; }
void TextureInstance::changeID(const LWItemID *) noexcept {}
LWError TextureInstance::init(int) noexcept { return nullptr; }
void TextureInstance::cleanup() noexcept {}

LWError TextureInstance::newTime(LWFrame frame, LWTime time) noexcept
{
    currentFrame = frame;
    currentTime = time;
    onNewTime(frame, time);
    return nullptr;
}

void TextureInstance::notifyUpdate() noexcept
{
    if (instUpdate)
        instUpdate(TEXTURE_HANDLER_CLASS, this);
}

void TextureInstance::restorePanel(int, int) noexcept {}
void TextureInstance::spareHook() noexcept {}
bool TextureInstance::queryPanel(int *, int *) noexcept { return false; }
void TextureInstance::onNewTime(LWFrame, LWTime) noexcept {}

LWXPanelID TextureInstance::createPanel(GlobalFunc *lookup, LWXPanelGetFunc *get, LWXPanelSetFunc *set) noexcept
{
    static LWXPanelControl noControls[] = {{0, nullptr, nullptr}};
    static LWXPanelDataDesc noData[] = {{0, nullptr, nullptr}};

    const auto *xpanel = lookup ? static_cast<const LWXPanelFuncs *>(lookup("LWXPanel", GFUSE_TRANSIENT)) : nullptr;
    if (!xpanel || !xpanel->create)
        return nullptr;
    LWXPanelID panel = xpanel->create(LWXP_VIEW, noControls);
    if (!panel)
        return nullptr;
    if (xpanel->describe)
        xpanel->describe(panel, noData, get, set);
    if (xpanel->setData)
        xpanel->setData(panel, 0, this);
    return panel;
}

void *TextureInstance::panelGet(unsigned int) noexcept { return nullptr; }
int TextureInstance::panelSet(unsigned int, void *) noexcept { return 1; }
double TextureInstance::evaluate(LWTextureAccess *) noexcept { return 0.0; }
unsigned int TextureInstance::flags() noexcept { return textureFlags; }

} // namespace ostrevin
