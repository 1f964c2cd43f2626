// Distance from a point to a cached polygon, taken as a planar region.
//
// What is measured. A polygon of three or more vertices with a plane (a non-zero normal) is the
// region its outline encloses in its plane, the plane through its first three vertices that the
// inside test uses: the plane's distance where the point's foot on the plane lies inside the
// outline, by the crossing rule of polygon_crossing.h (even-odd, so concave n-gons are measured as
// they are, and a foot exactly on an edge is decided as the inside test decides it), and the
// nearest point of the outline otherwise. A polygon whose vertices leave that plane is measured
// with its outline dropped straight onto the plane: a region of the plane all the same, so the
// distance stays exact and continuous, and it lies within the polygon's own warp of its vertices.
// A triangle lies in its plane, so its vertices are used as they are. A polygon whose first three
// vertices lie on one line (so that the inside test has no plane for it) is measured the same way
// on the plane its whole outline spans; one whose vertices all lie on one line by its edges alone;
// one of fewer than three vertices, which the inside test never counts, is not measured at all.
//
// Each polygon's distance is the exact distance to a closed set, up to rounding, so the nearest of
// them is continuous everywhere: across shared edges and vertices there is no seam.
#ifndef OSTREVIN_TEXTURE_DISTANCE_POLYGON_DISTANCE_H
#define OSTREVIN_TEXTURE_DISTANCE_POLYGON_DISTANCE_H

#include <cfloat>
#include <cmath>

#include "texture/geometry/axes.h"
#include "texture/geometry/polygon_crossing.h"
#include "texture/geometry/polygon_record.h"
#include "texture/geometry/vector.h"

namespace ostrevin {

// Squared distance from p to the segment from a to b; a point when they coincide.
inline double segmentDistanceSquared(const double a[3], const double b[3], const double p[3]) noexcept
{
    const double e[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double f[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
    const double along = f[0] * e[0] + f[1] * e[1] + f[2] * e[2];
    const double length2 = e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
    // Beyond either end the end itself, computed from it rather than from the other end, so that
    // both polygons sharing a vertex measure it alike.
    if (!(along > 0.0))
        return f[0] * f[0] + f[1] * f[1] + f[2] * f[2];
    if (!(along < length2)) {
        const double g[3] = {p[0] - b[0], p[1] - b[1], p[2] - b[2]};
        return g[0] * g[0] + g[1] * g[1] + g[2] * g[2];
    }
    const double t = along / length2;
    const double g[3] = {f[0] - t * e[0], f[1] - t * e[1], f[2] - t * e[2]};
    return g[0] * g[0] + g[1] * g[1] + g[2] * g[2];
}

// The axis a plane faces most (the lowest of equals): its region is projected on the other two,
// where it keeps its shape's topology whatever the plane's tilt.
inline int facingAxis(const double n[3]) noexcept
{
    const double x = __builtin_fabs(n[0]), y = __builtin_fabs(n[1]), z = __builtin_fabs(n[2]);
    return z > x && z > y ? 2 : y > x ? 1 : 0;
}

// The outline of a polygon with a plane: inside it (by the crossing rule in the axes across the
// facing one) the plane's distance h^2, else its nearest edge. `corner(j)` gives corner j.
template <class Corner>
inline double outlineDistanceSquared(int k, const Corner &corner, const double p[3], double h, int u, int v, double fu,
                                     double fv) noexcept
{
    if (projectionContainsBy(
            k, fu, fv, [&](int j) noexcept { return corner(j)[u]; }, [&](int j) noexcept { return corner(j)[v]; }))
        return h * h;
    double best = HUGE_VAL;
    for (int j = 0, prev = k - 1; j < k; prev = j++) {
        const double d = segmentDistanceSquared(corner(prev), corner(j), p);
        best = d < best ? d : best;
    }
    return best;
}

// The plane a polygon is measured on: the inside test's (its normal and constant) when it has one;
// otherwise, for a polygon whose first three vertices lie on one line, the plane its whole outline
// spans (Newell's normal, through the vertices' mean). False when the outline spans none (all
// its vertices on one line), which is then measured by its edges alone. `drops`: whether the
// vertices are dropped onto the plane (all but the inside test's triangles, which lie in theirs).
inline bool measuredPlane(const PolygonRecord &r, double n[3], double &d, bool &drops) noexcept
{
    const int k = r.vertexCount;
    const double(*w)[3] = r.vertices;
    if (!(r.normal[0] == 0.0 && r.normal[1] == 0.0 && r.normal[2] == 0.0)) {
        n[0] = r.normal[0];
        n[1] = r.normal[1];
        n[2] = r.normal[2];
        d = r.planeD;
        drops = k > 3;
        return true;
    }
    double sum[3] = {0.0, 0.0, 0.0}, mean[3] = {0.0, 0.0, 0.0};
    for (int j = 0, prev = k - 1; j < k; prev = j++) {
        sum[0] += (w[prev][1] - w[j][1]) * (w[prev][2] + w[j][2]);
        sum[1] += (w[prev][2] - w[j][2]) * (w[prev][0] + w[j][0]);
        sum[2] += (w[prev][0] - w[j][0]) * (w[prev][1] + w[j][1]);
        for (int c = 0; c < 3; ++c)
            mean[c] += w[j][c];
    }
    const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    if (!(length > 0.0 && length <= DBL_MAX))
        return false;
    for (int c = 0; c < 3; ++c) {
        n[c] = sum[c] / length;
        mean[c] /= k;
    }
    d = n[0] * mean[0] + n[1] * mean[1] + n[2] * mean[2];
    drops = true;
    return true;
}

// Vertex j dropped straight onto the plane (n, d).
inline void dropOntoPlane(const double w[3], const double n[3], double d, double out[3]) noexcept
{
    const double offset = n[0] * w[0] + n[1] * w[1] + n[2] * w[2] - d;
    out[0] = w[0] - offset * n[0];
    out[1] = w[1] - offset * n[1];
    out[2] = w[2] - offset * n[2];
}

// Squared distance from p to a polygon as described above; +infinity for a polygon not measured.
// A caller with no use for anything at or beyond `limit` may get, for such a polygon, the plane's
// distance alone (never nearer than the polygon: its region lies in the plane) instead.
inline double polygonDistanceSquared(const PolygonRecord &r, const double p[3], double limit = HUGE_VAL) noexcept
{
    const int k = r.vertexCount;
    if (k < 3 || !r.vertices)
        return HUGE_VAL;
    const double(*vertices)[3] = r.vertices;
    double n[3], planeD;
    bool drops;

    // No plane at all: the outline alone.
    if (!measuredPlane(r, n, planeD, drops)) {
        double best = HUGE_VAL;
        for (int j = 0, prev = k - 1; j < k; prev = j++) {
            const double d = segmentDistanceSquared(vertices[prev], vertices[j], p);
            best = d < best ? d : best;
        }
        return best;
    }

    // The point's height over the plane, and its foot on it in the two axes across the facing one.
    const double h = n[0] * p[0] + n[1] * p[1] + n[2] * p[2] - planeD;
    if (h * h > limit)
        return h * h;
    const int a = facingAxis(n);
    const int u = crossFirstAxis[a], v = crossSecondAxis[a];
    const double fu = p[u] - h * n[u], fv = p[v] - h * n[v];

    if (!drops)
        return outlineDistanceSquared(
            k, [&](int j) noexcept { return vertices[j]; }, p, h, u, v, fu, fv);

    // Each vertex dropped onto the plane first, so the region is planar even when the polygon is
    // not; the common few held while the outline is walked.
    constexpr int held = 16;
    if (k <= held) {
        double dropped[held][3];
        for (int j = 0; j < k; ++j)
            dropOntoPlane(vertices[j], n, planeD, dropped[j]);
        return outlineDistanceSquared(
            k, [&](int j) noexcept { return static_cast<const double *>(dropped[j]); }, p, h, u, v, fu, fv);
    }
    struct Corner {
        double x[3];
        operator const double *() const noexcept { return x; }
    };
    return outlineDistanceSquared(
        k,
        [&](int j) noexcept {
            Corner c;
            dropOntoPlane(vertices[j], n, planeD, c.x);
            return c;
        },
        p, h, u, v, fu, fv);
}

// A box holding everything a polygon is measured to: its vertices' bounds, and when they are
// dropped onto its plane also the dropped ones (the same arithmetic as the distance's, so the same
// bits), which leave those bounds when the polygon leaves its plane.
inline Bounds measuredBounds(const PolygonRecord &r) noexcept
{
    Bounds bounds = r.bounds;
    double n[3], d;
    bool drops;
    if (r.vertexCount < 3 || !r.vertices || !measuredPlane(r, n, d, drops) || !drops)
        return bounds;
    for (int j = 0; j < r.vertexCount; ++j) {
        double x[3];
        dropOntoPlane(r.vertices[j], n, d, x);
        bounds.include(x);
    }
    return bounds;
}

// The nearest of `count` records by a plain scan of every one: for targets of a few polygons, and
// the reference the distance index is held to. +infinity when none is measured. With `kept`,
// only the records whose byte there is not 0.
inline double nearestDistanceSquared(const PolygonRecord *records, int count, const double p[3],
                                     const unsigned char *kept = nullptr) noexcept
{
    double best = HUGE_VAL;
    for (int i = 0; i < count; ++i) {
        if (kept && !kept[i])
            continue;
        const double d = polygonDistanceSquared(records[i], p);
        best = d < best ? d : best;
    }
    return best;
}

} // namespace ostrevin

#endif
