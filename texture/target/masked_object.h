// One object as a mask: its mesh cache and its soft edge, and its value at a point. "Inside, then
// ramp" is written here once, for the target and for each object below it alike.
#ifndef OSTREVIN_TEXTURE_TARGET_MASKED_OBJECT_H
#define OSTREVIN_TEXTURE_TARGET_MASKED_OBJECT_H

#include "framework/host_api.h"
#include "framework/host_services.h"
#include "texture/geometry/bounds.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/target/soft_edge.h"

namespace ostrevin {

struct MaskedObject {
    explicit MaskedObject(const HostServices &services) noexcept : cache(services) {}

    // The frame's build: the cache from the object's mesh, for `rule`, with its cells for rays
    // along `axis` (the frame's first evaluation's), then its soft edge for `width`
    // (MeshCache::build and prepareCells, SoftEdgeFrame::prepare; `axis` as its).
    void build(LWItemID item, int rule, double width, int axis) noexcept
    {
        cache.build(item, rule);
        cache.prepareCells(axis);
        softEdge.prepare(cache, width, rule, axis);
    }

    // 0 outside the object by `rule`, the ray along `axis`; inside, 1 with a hard edge, otherwise
    // the ramp up from its own surface. Always inline: the evaluation asks it of every point.
    __attribute__((always_inline)) double valueAt(const double p[3], int axis, int rule) const noexcept
    {
        if (!withinInclusive(p, cache.bounds) || !cache.contains(p, axis, rule))
            return 0.0;
        return softEdge.on() ? softEdge.insideValue(cache, p) : 1.0;
    }

    MeshCache cache;
    SoftEdgeFrame softEdge;
};

} // namespace ostrevin

#endif
