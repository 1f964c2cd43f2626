#include "texture/target/soft_edge.h"

#include <cfloat>
#include <cmath>

#include "texture/distance/polygon_distance.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/target/smooth_step.h"

namespace ostrevin {

double clampedWidth(double width) noexcept
{
    if (!(width > 0.0))
        return 0.0;
    return width < DBL_MAX ? width : DBL_MAX;
}

void SoftEdgeFrame::prepare(const MeshCache &cache, double width, int rule, int axis) noexcept
{
    frameWidth = clampedWidth(width);
    if (!on() || !cache.polygons) {
        index.clear();
        return;
    }
    const bool filled = rule == nonZeroRule;
    if (index.usable() && index.width() == frameWidth && builtVersion == cache.recordsVersion &&
        builtRecords == cache.polygons && builtCount == cache.polygonCount && builtFilled == filled)
        return;
    // The boundary is decided first, then measured alone.
    innerPolygons = filled ? boundary.decide(cache, axis >= 0 && axis <= 2 ? axis : 2) : 0;
    index.build(cache.polygons, cache.polygonCount, cache.bounds, frameWidth, innerPolygons > 0 ? boundary.kept : nullptr);
    builtFilled = filled;
    builtVersion = cache.recordsVersion;
    builtRecords = cache.polygons;
    builtCount = cache.polygonCount;
}

double SoftEdgeFrame::insideValue(const MeshCache &cache, const double p[3]) const noexcept
{
    double depth;
    if (index.usable()) {
        depth = index.distanceWithinWidth(p);
    } else {
        const double nearest = std::sqrt(nearestDistanceSquared(cache.polygons, cache.polygonCount, p));
        depth = nearest < frameWidth ? nearest : frameWidth;
    }
    return smoothStep(depth / frameWidth);
}

} // namespace ostrevin
