// The texture's settings panel: a "Target Item" popup of the scene's objects, an In/Out choice and
// the soft edge's width. The panel is a view: it holds no values, it reads and writes itemID,
// flipFlg and softEdge through the instance.
#include <cstdint>

#include "framework/fixed_text.h"
#include "texture/inside/fill_rule.h"
#include "texture/instance/ostrevin_instance.h"

namespace ostrevin {

const LWXPanelFuncs *xpanelFuncs = nullptr;

namespace {

const LWXPanelControl panelControls[] = {
    {targetItemControl, "Target Item", "iPopChoice"},
    {inOutControl, "In / Out", "iChoice"},
    {fillRuleControl, "Fill Rule", "iPopChoice"},
    {childrenControl, "Include Children", "iBoolean"},
    {softEdgeControl, "Soft Edge", "distance"},
    {0, nullptr, nullptr},
};

const LWXPanelDataDesc panelData[] = {
    {targetItemControl, "Target Item", "integer"},
    {inOutControl, "Boolean Mode", "integer"},
    {fillRuleControl, "Fill Rule", "integer"},
    {childrenControl, "Include Children", "integer"},
    {softEdgeControl, "Soft Edge", "distance"},
    {0, nullptr, nullptr},
};

// The choice's value is the index into this list, stored in flipFlg.
const char *const inOutLabels[] = {"In", "Out", nullptr};

const char emptyText[1] = {'\0'};
const char noneText[] = "(none)";

// A host whose object list never ends must not hang the panel; popup positions are ints.
constexpr int maxObjects = 1 << 20;

LWXPanelHint hintWord(std::uintptr_t value) noexcept { return reinterpret_cast<LWXPanelHint>(value); }
LWXPanelHint hintText(const void *text) noexcept { return const_cast<void *>(text); }

// The object list, walked afresh at every use so the popup shows the scene of that moment.
LWItemID firstObject(const LWItemInfo *info) noexcept
{
    return info && info->first && info->next ? info->first(LWI_OBJECT, nullptr) : nullptr;
}

int objectCount(const LWItemInfo *info) noexcept
{
    int n = 0;
    for (LWItemID id = firstObject(info); id && n < maxObjects; id = info->next(id))
        ++n;
    return n;
}

// The object at popup position `position` (1 is the first object), or null.
LWItemID objectAt(const LWItemInfo *info, int position) noexcept
{
    if (position < 1)
        return nullptr;
    int n = 1;
    for (LWItemID id = firstObject(info); id && n <= maxObjects; id = info->next(id), ++n)
        if (n == position)
            return id;
    return nullptr;
}

// Popup position of `wanted`, or 0 ("(none)") when it is not among the objects.
int positionOf(const LWItemInfo *info, LWItemID wanted) noexcept
{
    int n = 1;
    for (LWItemID id = firstObject(info); id && n <= maxObjects; id = info->next(id), ++n)
        if (id == wanted)
            return n;
    return 0;
}

// The host hands popup callbacks the datum bound to the control: the instance, as its base.
OstrevinInstance *fromUserData(void *data) noexcept
{
    return data ? dynamic_cast<OstrevinInstance *>(static_cast<TextureInstance *>(data)) : nullptr;
}

} // namespace

LWXPanelID OstrevinInstance::createPanel(GlobalFunc *lookup, LWXPanelGetFunc *get, LWXPanelSetFunc *set) noexcept
{
    LWXPanelHint hints[] = {
        hintWord(XPTAG_LABEL), hintWord(0), hintText(published.pluginName), hintWord(0),
        hintWord(XPTAG_POPFUNCS), hintWord(targetItemControl),
        reinterpret_cast<LWXPanelHint>(&OstrevinInstance::popupCount),
        reinterpret_cast<LWXPanelHint>(&OstrevinInstance::popupName),
        hintWord(XPTAG_STRLIST), hintWord(inOutControl), hintText(inOutLabels), hintWord(0),
        hintWord(XPTAG_STRLIST), hintWord(fillRuleControl), hintText(fillRuleLabels), hintWord(0),
        hintWord(0),
    };

    xpanelFuncs = lookup ? static_cast<const LWXPanelFuncs *>(lookup("LWXPanel", GFUSE_TRANSIENT)) : nullptr;
    const LWXPanelFuncs *xpanel = xpanelFuncs;
    panelID = nullptr;
    if (!xpanel || !xpanel->create)
        return nullptr;
    // The host only reads the control and data lists; its declarations just lack the const.
    panelID = xpanel->create(LWXP_VIEW, const_cast<LWXPanelControl *>(panelControls));
    if (!panelID)
        return nullptr;

    void *self = static_cast<TextureInstance *>(this);   // what the forwarding entries expect
    if (xpanel->describe)
        xpanel->describe(panelID, const_cast<LWXPanelDataDesc *>(panelData), get, set);
    if (xpanel->hint)
        xpanel->hint(panelID, 0, hints);
    if (xpanel->viewInst)
        xpanel->viewInst(panelID, self);
    if (xpanel->setData)
        xpanel->setData(panelID, targetItemControl, self);
    return panelID;
}

void *OstrevinInstance::panelGet(unsigned int id) noexcept
{
    if (id == targetItemControl) {
        if (isModeler())
            return nullptr;
        // A target gone from the scene shows as "(none)" but stays the target.
        popupIndex = positionOf(services.itemInfo, itemID);
        return &popupIndex;
    }
    if (id == inOutControl)
        return &flipFlg;
    if (id == fillRuleControl)
        return &fillRule;
    if (id == childrenControl)
        return &includeChildren;
    if (id == softEdgeControl)
        return &softEdge;
    return nullptr;
}

int OstrevinInstance::panelSet(unsigned int id, void *value) noexcept
{
    if (!value)
        return 0;
    if (id == targetItemControl) {
        if (isModeler())
            return 0;
        popupIndex = *static_cast<const int *>(value);
        itemID = objectAt(services.itemInfo, popupIndex);
        nameTarget();
        return 1;
    }
    if (id == softEdgeControl) {
        // A width the texture cannot use is held as the nearest one it can; the panel shows it.
        const double given = *static_cast<const double *>(value);
        softEdge = clampedWidth(given);
        if (!(softEdge == given) && xpanelFuncs && xpanelFuncs->viewRefresh && panelID)
            xpanelFuncs->viewRefresh(panelID);
        return 1;
    }
    const int given = *static_cast<const int *>(value);
    if (id == inOutControl)
        flipFlg = given;
    else if (id == fillRuleControl)
        fillRule = clampedFillRule(given);
    else if (id == childrenControl)
        includeChildren = clampedSwitch(given);
    else
        return 0;
    if (xpanelFuncs && xpanelFuncs->viewRefresh && panelID)
        xpanelFuncs->viewRefresh(panelID);
    return 1;
}

int OstrevinInstance::popupCount(void *instance) noexcept
{
    const OstrevinInstance *self = fromUserData(instance);
    if (!self || self->isModeler())
        return 0;
    return objectCount(self->services.itemInfo) + 1;
}

const char *OstrevinInstance::popupName(void *instance, int index) noexcept
{
    OstrevinInstance *self = fromUserData(instance);
    if (!self)
        return nullptr;
    if (self->isModeler())
        return emptyText;
    if (index == 0)
        return noneText;
    const LWItemInfo *info = self->services.itemInfo;
    if (index < 0 || index >= objectCount(info) + 1)
        return nullptr;
    const LWItemID id = objectAt(info, index);
    const char *name = id && info->name ? info->name(id) : nullptr;
    // The popup's own buffer: itemName keeps naming the target for the layer's description.
    copyText(self->popupText, name ? name : noneText);
    return self->popupText;
}

} // namespace ostrevin
