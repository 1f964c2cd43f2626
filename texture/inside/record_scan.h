// The plain scan of the cached records: every polygon the ray may cross is tested with the
// crossing rule, one after the other. The reference every faster path is held to, and the path
// of meshes too small for an index; inline, so a small mesh's test runs within the evaluation.
#ifndef OSTREVIN_TEXTURE_INSIDE_RECORD_SCAN_H
#define OSTREVIN_TEXTURE_INSIDE_RECORD_SCAN_H

#include "texture/geometry/axes.h"
#include "texture/geometry/bounds.h"
#include "texture/geometry/plane_test.h"
#include "texture/geometry/polygon_crossing.h"
#include "texture/geometry/polygon_record.h"
#include "texture/inside/winding.h"

namespace ostrevin {

// The ray's axis and the two across it: chosen at run time, for any pairing.
struct RayAxes {
    int axis, u, v;
};
// The same, fixed when compiled, with the texture's own pairing: the records are then read at
// fixed offsets, which is most of the scan's cost on a small mesh.
template <int Axis>
struct FixedRayAxes {
    static constexpr int axis = Axis, u = crossFirstAxis[Axis], v = crossSecondAxis[Axis];
};

// The records' crossings of the ray from p: their parity, or (Signed) the sum of their signs; the
// ray towards +axis, or (Backwards) towards -axis. Template arguments, so that the loop holds no
// test of them.
template <bool Signed, bool Backwards, class Axes>
int scanCrossings(const PolygonRecord *polygons, int count, const double p[3], Axes axes) noexcept
{
    const int axis = axes.axis, u = axes.u, v = axes.v;
    const double pu = p[u], pv = p[v];
    int tally = 0;
    for (int i = 0; i < count; ++i) {
        const PolygonRecord &r = polygons[i];
        // Parallel to the ray, no plane at all, or too few vertices: one comparison each, so
        // before the rectangle.
        const double na = r.normal[axis];
        if (na == 0.0 || r.vertexCount < 3)
            continue;
        // The polygon's rectangle across the ray, boundaries included.
        if (!withinRectangleInclusive(pu, pv, r.bounds, u, v))
            continue;
        // Tested before the edges: it is cheaper.
        if (!(Backwards ? planeBehindPoint(r.normal, r.planeD, p, axis) : planeAheadOfPoint(r.normal, r.planeD, p, axis)))
            continue;
        // Without a branch on the outcome, which varies from polygon to polygon.
        const int crosses = projectionContains(r.vertices, r.vertexCount, u, v, pu, pv);
        if (Signed) {
            tally += crosses * crossingSign(na, r.orientation < 0, Backwards);
        } else {
            tally ^= crosses;
        }
    }
    return tally;
}

// The scan along a texture axis with its own pairing, one copy of the loop per axis.
template <bool Signed, bool Backwards>
int scanCrossingsAlong(const PolygonRecord *polygons, int count, const double p[3], int axis) noexcept
{
    switch (axis) {
    case 0:
        return scanCrossings<Signed, Backwards>(polygons, count, p, FixedRayAxes<0>{});
    case 1:
        return scanCrossings<Signed, Backwards>(polygons, count, p, FixedRayAxes<1>{});
    default:
        return scanCrossings<Signed, Backwards>(polygons, count, p, FixedRayAxes<2>{});
    }
}

} // namespace ostrevin

#endif
