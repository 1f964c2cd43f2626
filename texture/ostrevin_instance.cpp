#include "texture/ostrevin_instance.h"

#include "framework/system_id.h"

namespace ostrevin {

OstrevinInstance::OstrevinInstance(GlobalFunc *lookup, void *context) noexcept
    : TextureInstance(lookup, context),
      services(lookup),
      systemID(lookupValue(lookup, "System ID")),
      productInfo(lookupValue(lookup, "Product Info")),
      mutexes(lookup)
{
}

} // namespace ostrevin
