// The objects the texture masks by: the target and, with "Include Children", the objects below it
// as the module gathers them, depth first in the scene's order, at most 63 of them and 32 levels
// down. The images frame them all, and the tool says how many the module leaves out.
#ifndef OSTREVIN_TOOLS_RENDER_MASK_OBJECTS_H
#define OSTREVIN_TOOLS_RENDER_MASK_OBJECTS_H

#include <cstddef>
#include <vector>

#include "tools/ostrevin-render/geometry.h"
#include "tools/ostrevin-render/scene_import.h"

namespace render {

// The module's own limits on the objects below the target.
constexpr std::size_t maskChildLimit = 63;
constexpr std::size_t maskLevelLimit = 32;

struct MaskObjects {
    std::vector<std::size_t> members;   // indices into the scene's objects, the target first
    std::size_t pastChildLimit = 0;     // objects within the levels that the count leaves out
    std::size_t pastLevelLimit = 0;     // objects further down than the levels go
};

MaskObjects maskObjects(const ImportedScene &scene, std::size_t target, bool includeChildren);

// The members' world box at a time.
Box maskBounds(const ImportedScene &scene, const MaskObjects &mask, double seconds);

} // namespace render

#endif
