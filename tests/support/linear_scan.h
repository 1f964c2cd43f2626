// The reference the accelerated inside test is held against: the plain scan over every cached
// record, in the cache's order, with the shared crossing arithmetic. Not part of the module.
#ifndef OSTREVIN_TESTS_SUPPORT_LINEAR_SCAN_H
#define OSTREVIN_TESTS_SUPPORT_LINEAR_SCAN_H

#include "texture/mesh_cache.h"
#include "texture/polygon_crossing.h"

namespace reference {

constexpr int firstPlaneAxis[3] = {1, 0, 0};
constexpr int secondPlaneAxis[3] = {2, 2, 1};

// Crossing parity along +axis over every record: its rectangle across the ray, its plane ahead of
// p, and its projection's crossing rule. What MeshCache::isInside must answer, for any point.
inline bool scanInside(const ostrevin::MeshCache &cache, const double p[3], int axis) noexcept
{
    if (!cache.polygons || axis < 0 || axis > 2)
        return false;
    const int u = firstPlaneAxis[axis], v = secondPlaneAxis[axis];
    const double pu = p[u], pv = p[v];
    bool inside = false;
    for (int i = 0; i < cache.polygonCount; ++i) {
        const ostrevin::CachedPolygon &r = cache.polygons[i];
        if (!(r.boundsMin[u] <= pu && r.boundsMin[v] <= pv && pu <= r.boundsMax[u] && pv <= r.boundsMax[v]))
            continue;
        if (r.vertexCount < 3 || r.normal[axis] == 0.0)
            continue;
        const double t = (r.normal[0] * p[0] + r.normal[1] * p[1] + r.normal[2] * p[2] - r.planeD) * r.normal[axis];
        if (t < 0.0 && ostrevin::projectionContains(r.vertices, r.vertexCount, u, v, pu, pv))
            inside = !inside;
    }
    return inside;
}

// What the texture answers for In: the overall bounds first, then the scan.
inline bool linearInside(const ostrevin::MeshCache &cache, const double p[3], int axis) noexcept
{
    if (!cache.polygons)
        return false;
    for (int c = 0; c < 3; ++c)
        if (!(cache.boundsMin[c] <= p[c] && p[c] <= cache.boundsMax[c]))
            return false;
    return scanInside(cache, p, axis);
}

} // namespace reference

#endif
