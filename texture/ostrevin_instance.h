// The texture's instance: one per texture layer of this kind.
#ifndef OSTREVIN_TEXTURE_OSTREVIN_INSTANCE_H
#define OSTREVIN_TEXTURE_OSTREVIN_INSTANCE_H

#include <cstdint>

#include "framework/host_services.h"
#include "framework/mutex_group.h"
#include "framework/texture_instance.h"

namespace ostrevin {

class OstrevinInstance : public TextureInstance {
public:
    OstrevinInstance(GlobalFunc *lookup, void *context) noexcept;

    // Framework members: first, in this order.
    HostServices services;
    std::uint32_t systemID;
    std::uint32_t productInfo;
    MutexGroup mutexes;
};

} // namespace ostrevin

#endif
