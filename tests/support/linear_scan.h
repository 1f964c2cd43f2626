// The reference the accelerated inside test is held against: the cache's own plain scan of every
// record (MeshCache::scanRecords), which never reads the index.
#ifndef OSTREVIN_TESTS_SUPPORT_LINEAR_SCAN_H
#define OSTREVIN_TESTS_SUPPORT_LINEAR_SCAN_H

#include "texture/geometry/axes.h"
#include "texture/geometry/bounds.h"
#include "texture/mesh/mesh_cache.h"

namespace reference {

// Crossing parity along +axis over every record. What MeshCache::isInside must answer, for any point.
inline bool scanInside(const ostrevin::MeshCache &cache, const double p[3], int axis) noexcept
{
    if (!cache.polygons || axis < 0 || axis > 2)
        return false;
    return cache.scanRecords(p, axis, ostrevin::crossFirstAxis[axis], ostrevin::crossSecondAxis[axis]);
}

// What the texture answers for In: the overall bounds first, then the scan.
inline bool linearInside(const ostrevin::MeshCache &cache, const double p[3], int axis) noexcept
{
    return cache.polygons && ostrevin::withinInclusive(p, cache.bounds) &&
           scanInside(cache, p, axis);
}

} // namespace reference

#endif
