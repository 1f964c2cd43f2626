// The texture's settings in scene and object files, copying, its description and item tracking.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "framework/fixed_text.h"
#include "framework/state_stream.h"
#include "texture/inside/fill_rule.h"
#include "texture/instance/ostrevin_instance.h"

namespace ostrevin {

namespace {

// Item IDs travel as signed 32-bit decimals.
LWItemID idFromInt(int number) noexcept { return reinterpret_cast<LWItemID>(static_cast<std::intptr_t>(number)); }
int idToInt(LWItemID id) noexcept { return static_cast<int>(reinterpret_cast<std::intptr_t>(id)); }

// The fewest significant digits that read back as the same double: "0.05", not
// "0.050000000000000003".
void writeWidth(char (&text)[32], double width) noexcept
{
    for (int digits = 1; digits <= 17; ++digits)
        if (std::snprintf(text, sizeof text, "%.*g", digits, width) > 0 && std::strtod(text, nullptr) == width)
            return;
}

} // namespace

LWError OstrevinInstance::load(const LWLoadState *state) noexcept
{
    StateStream stream(Load, const_cast<LWLoadState *>(state));
    stream.binary = true;   // stored files carry this framing in scene and object files alike
    int number = 0;
    char text[StateStream::textLength];
    while (stream.next()) {
        if (stream.getInt("itemID", number))
            itemID = idFromInt(number);
        else if (stream.getString("itemName", itemName))
            continue;
        else if (stream.getInt("flipFlg", flipFlg))
            continue;
        else if (stream.getInt("fillRule", number))
            fillRule = clampedFillRule(number);
        else if (stream.getInt("children", number))
            includeChildren = clampedSwitch(number);
        else if (stream.getString("softEdge", text))
            softEdge = clampedWidth(std::strtod(text, nullptr));
    }
    return nullptr;
}

LWError OstrevinInstance::save(const LWSaveState *state) noexcept
{
    StateStream stream(Save, const_cast<LWSaveState *>(state));
    stream.binary = true;
    stream.writeEntry("version", "%f", published.dataVersion);
    stream.writeEntry("itemID", "%d", idToInt(itemID));
    // Modeler has no scene to ask: the loaded or copied name is written back as it is.
    if (!isModeler())
        nameTarget();
    stream.writeEntry("itemName", "%s", itemName);
    stream.writeEntry("flipFlg", "%d", flipFlg);
    // Only when set: a layer with the defaults saves exactly the bytes it always has.
    if (fillRule != evenOddRule)
        stream.writeEntry("fillRule", "%d", fillRule);
    if (includeChildren)
        stream.writeEntry("children", "%d", includeChildren);
    if (softEdge != 0.0) {
        char width[32];
        writeWidth(width, softEdge);
        stream.writeEntry("softEdge", "%s", width);
    }
    stream.writeEnd();
    return nullptr;
}

LWError OstrevinInstance::copy(const TextureInstance *source) noexcept
{
    const auto *from = dynamic_cast<const OstrevinInstance *>(source);
    if (!from || from == this)
        return nullptr;
    itemID = from->itemID;
    copyText(itemName, from->itemName);
    popupIndex = from->popupIndex;
    flipFlg = from->flipFlg;
    fillRule = from->fillRule;
    includeChildren = from->includeChildren;
    softEdge = from->softEdge;
    return nullptr;
}

void OstrevinInstance::nameTarget() noexcept
{
    const LWItemInfo *info = services.itemInfo;
    const char *name = itemID && info && info->name ? info->name(itemID) : nullptr;
    copyText(itemName, name ? name : "(none)");
}

const char *OstrevinInstance::descln() noexcept
{
    if (std::snprintf(description, sizeof description, "%s : %s", published.pluginName, itemName) < 0)
        description[0] = '\0';
    return description;
}

const LWItemID *OstrevinInstance::useItems() noexcept { return nullptr; }

void OstrevinInstance::changeID(const LWItemID *idList) noexcept
{
    if (!idList)
        return;
    // Pairs of old and new IDs, ended by an old ID of 0; the first match wins.
    for (const LWItemID *pair = idList; pair[0]; pair += 2) {
        if (pair[0] == itemID) {
            itemID = pair[1];
            return;
        }
    }
}

} // namespace ostrevin
