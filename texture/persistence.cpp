// The texture's settings in scene and object files, copying, its description and item tracking.
#include "texture/ostrevin_instance.h"

namespace ostrevin {

LWError OstrevinInstance::load(const LWLoadState *) noexcept { return nullptr; }
LWError OstrevinInstance::save(const LWSaveState *) noexcept { return nullptr; }
LWError OstrevinInstance::copy(const TextureInstance *) noexcept { return nullptr; }
const char *OstrevinInstance::descln() noexcept { return description; }
const LWItemID *OstrevinInstance::useItems() noexcept { return nullptr; }
void OstrevinInstance::changeID(const LWItemID *) noexcept {}

} // namespace ostrevin
