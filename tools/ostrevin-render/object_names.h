// The names objects take in the host's scene.
#ifndef OSTREVIN_TOOLS_RENDER_OBJECT_NAMES_H
#define OSTREVIN_TOOLS_RENDER_OBJECT_NAMES_H

#include <cstddef>
#include <set>
#include <string>

namespace render {

// The name an object takes among those already `taken` (which it joins): one met again is
// numbered as the host numbers it, "Spoke (2)"; the module keeps names in 256-byte buffers, and
// the popup's first entry is "(none)". An empty name becomes "object N", N being index + 1.
std::string uniqueName(std::string name, std::size_t index, std::set<std::string> &taken);

} // namespace render

#endif
