#include "host/texture_layer.h"

namespace standin {

namespace {
constexpr unsigned int targetItemControl = 0x8001;
constexpr unsigned int inOutControl = 0x8002;
} // namespace

TextureLayer::TextureLayer(StandInHost &host, const LoadedModule &module, const std::string &serverName)
    : host(host),
      handlerActivate(module.find(TEXTURE_HANDLER_CLASS, serverName)),
      interfaceActivate(module.find(TEXTURE_INTERFACE_CLASS, serverName))
{
}

TextureLayer::TextureLayer(StandInHost &host, ActivateFunc *handlerActivate, ActivateFunc *interfaceActivate)
    : host(host), handlerActivate(handlerActivate), interfaceActivate(interfaceActivate)
{
}

TextureLayer::~TextureLayer() { destroy(); }

bool TextureLayer::create(void *context)
{
    destroy();
    if (!handlerActivate) {
        lastError = "the module has no TextureHandler server";
        return false;
    }
    handlerOffered.clear();
    handlerAccepted = 0;
    instFuncs = {};
    itemFuncs = {};
    renderFuncs = {};
    handlerTable = {};
    handlerTable.inst = &instFuncs;
    handlerTable.item = &itemFuncs;
    handlerTable.rend = &renderFuncs;
    // The same tables at every offer: a module that refuses one must leave them as they were.
    int result = AFUNC_BADVERSION;
    for (int version = newestHandlerVersion; version >= 1; --version) {
        handlerOffered.push_back(version);
        result = handlerActivate(version, StandInHost::globalFunc(), &handlerTable, nullptr);
        if (result != AFUNC_BADVERSION) {
            handlerAccepted = result == AFUNC_OK ? version : 0;
            break;
        }
    }
    if (result != AFUNC_OK || !instFuncs.create) {
        lastError = "TextureHandler activation failed with " + std::to_string(result);
        return false;
    }
    LWError error = nullptr;
    inst = instFuncs.create(instFuncs.priv, context, &error);
    if (!inst) {
        lastError = error ? error : "instance creation failed";
        return false;
    }
    return true;
}

LWXPanelID TextureLayer::openPanel()
{
    interfaceOffered.clear();
    interfaceAccepted = 0;
    if (!interfaceActivate || !inst)
        return nullptr;
    iface = {};
    iface.inst = inst;
    for (int version = 1; version <= newestInterfaceVersion; ++version) {
        interfaceOffered.push_back(version);
        const int result = interfaceActivate(version, StandInHost::globalFunc(), &iface, nullptr);
        if (result == AFUNC_OK) {
            interfaceAccepted = version;
            return iface.panel;
        }
        if (result != AFUNC_BADVERSION)
            break;
    }
    iface = {};
    return nullptr;
}

void TextureLayer::destroy()
{
    if (inst && instFuncs.destroy)
        instFuncs.destroy(inst);
    inst = nullptr;
}

LWError TextureLayer::init(int mode) { return renderFuncs.init(inst, mode); }
void TextureLayer::cleanup() { renderFuncs.cleanup(inst); }

LWError TextureLayer::newTime(int frame, double time)
{
    host.scene().frame = frame;
    host.scene().time = time;
    return renderFuncs.newTime(inst, frame, time);
}

double TextureLayer::evaluate(double x, double y, double z, int axis)
{
    LWTextureAccess access{};
    access.wPos[0] = x;
    access.wPos[1] = y;
    access.wPos[2] = z;
    access.axis = axis;
    return handlerTable.evaluate(inst, &access);
}

unsigned int TextureLayer::flags() { return handlerTable.flags(inst); }

std::string TextureLayer::descln()
{
    const char *text = instFuncs.descln(inst);
    return text ? text : "";
}

LWError TextureLayer::copyFrom(const TextureLayer &source) { return instFuncs.copy(inst, source.inst); }
const LWItemID *TextureLayer::useItems() { return itemFuncs.useItems(inst); }
void TextureLayer::changeID(const LWItemID *pairs) { itemFuncs.changeID(inst, pairs); }
LWError TextureLayer::load(const LWLoadState *state) { return instFuncs.load(inst, state); }
LWError TextureLayer::save(const LWSaveState *state) { return instFuncs.save(inst, state); }

bool TextureLayer::pickTarget(const std::string &objectName)
{
    const int index = host.xpanel().popupIndexOf(panel(), targetItemControl, objectName);
    if (index < 0)
        return false;
    return host.xpanel().setInt(panel(), targetItemControl, index) != 0;
}

bool TextureLayer::setInvert(bool invert)
{
    return host.xpanel().setInt(panel(), inOutControl, invert ? 1 : 0) != 0;
}

int TextureLayer::setValue(unsigned int valueID, int value) { return host.xpanel().setInt(panel(), valueID, value); }

int TextureLayer::value(unsigned int valueID, int fallback) { return host.xpanel().getInt(panel(), valueID, fallback); }

} // namespace standin
