// The base class's own settings: the state of its panel, kept in a "Panel" block.
#include "framework/state_stream.h"
#include "framework/texture_instance.h"

namespace ostrevin {

LWError TextureInstance::save(const LWSaveState *state) noexcept
{
    StateStream stream(Save, const_cast<LWSaveState *>(state));
    int x = 0, y = 0;
    const int openFlag = queryPanel(&x, &y) ? 1 : 0;
    if (openFlag != 0) {
        stream.writeLine(BlockOpen, "Panel", nullptr);
        stream.writeEntry("open", "%d", openFlag);
        stream.writeEntry("x", "%d", x);
        stream.writeEntry("y", "%d", y);
        stream.writeLine(BlockClose, nullptr, nullptr);
    }
    stream.writeEnd();
    return nullptr;
}

LWError TextureInstance::load(const LWLoadState *state) noexcept
{
    StateStream stream(Load, const_cast<LWLoadState *>(state));
    int openFlag = 0, x = 0, y = 0;
    while (stream.next()) {
        if (!stream.matches("Panel", BlockOpen))
            continue;
        // Keys are tested before the close, so "} x : 5" sets x and keeps the block open.
        while (stream.next()) {
            if (stream.getInt("open", openFlag) || stream.getInt("x", x) || stream.getInt("y", y))
                continue;
            if (stream.matches(nullptr, BlockClose))
                break;
        }
    }
    // Restored once, after all the data, so a later block overrides an earlier one.
    if (openFlag != 0)
        restorePanel(x, y);
    return nullptr;
}

} // namespace ostrevin
