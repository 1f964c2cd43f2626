#include "texture/ostrevin_instance.h"

#include "framework/system_id.h"

namespace ostrevin {

OstrevinInstance::OstrevinInstance(GlobalFunc *lookup, void *context) noexcept
    : TextureInstance(lookup, context),
      services(lookup),
      systemID(lookupValue(lookup, "System ID")),
      productInfo(lookupValue(lookup, "Product Info")),
      mutexes(lookup),
      meshCache(services)
{
    textureFlags = 6;
}

OstrevinInstance::~OstrevinInstance() = default;

bool OstrevinInstance::isModeler() const noexcept { return inModeler(systemID); }

LWError OstrevinInstance::init(int mode) noexcept
{
    renderMode = mode;
    return nullptr;
}

void OstrevinInstance::cleanup() noexcept { renderMode = -1; }

LWError OstrevinInstance::newTime(LWFrame, LWTime) noexcept
{
    cacheBuilt = false;
    return nullptr;
}

double OstrevinInstance::evaluate(LWTextureAccess *) noexcept { return 0.0; }

} // namespace ostrevin
