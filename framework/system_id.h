// What the host's "System ID" value says about the program running the module.
#ifndef OSTREVIN_FRAMEWORK_SYSTEM_ID_H
#define OSTREVIN_FRAMEWORK_SYSTEM_ID_H

#include <cstdint>

#include "framework/host_api.h"

namespace ostrevin {

constexpr bool inModeler(std::uint32_t systemID) noexcept
{
    return (systemID & LWSYS_TYPEBITS) == LWSYS_MODELER;
}

// Plain values come back from the lookup in place of a pointer; only the low 32 bits count.
inline std::uint32_t lookupValue(GlobalFunc *lookup, const char *name) noexcept
{
    return lookup ? static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(lookup(name, GFUSE_TRANSIENT)))
                  : 0u;
}

} // namespace ostrevin

#endif
