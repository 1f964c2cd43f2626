// The base class's own settings: the state of its panel, kept in a "Panel" block.
#include "framework/texture_instance.h"

namespace ostrevin {

LWError TextureInstance::save(const LWSaveState *) noexcept { return nullptr; }
LWError TextureInstance::load(const LWLoadState *) noexcept { return nullptr; }

} // namespace ostrevin
