#include "texture/target/filled_boundary.h"

#include <cmath>
#include <initializer_list>

#include "framework/growing_buffer.h"
#include "texture/distance/polygon_distance.h"
#include "texture/geometry/plane_test.h"
#include "texture/geometry/polygon_crossing.h"
#include "texture/mesh/mesh_cache.h"

namespace ostrevin {

// The plane the inside test reads a polygon on, and the axes its region is projected on.
struct BoundaryPlane {
    const double *n;
    double d;
    int a, u, v;
};

namespace {

bool planeOf(const PolygonRecord &r, BoundaryPlane &plane) noexcept
{
    if (r.vertexCount < 3 || !r.vertices || (r.normal[0] == 0.0 && r.normal[1] == 0.0 && r.normal[2] == 0.0))
        return false;
    plane.n = r.normal;
    plane.d = r.planeD;
    plane.a = facingAxis(r.normal);
    plane.u = crossFirstAxis[plane.a];
    plane.v = crossSecondAxis[plane.a];
    return true;
}

void onPlane(const BoundaryPlane &plane, double pu, double pv, double out[3]) noexcept
{
    out[plane.u] = pu;
    out[plane.v] = pv;
    out[plane.a] = (plane.d - plane.n[plane.u] * pu - plane.n[plane.v] * pv) / plane.n[plane.a];
}

// A point well inside the polygon: halfway across the first inside run of the line halfway up its
// extent along v. False when the crossing rule does not confirm it (a sliver, a degenerate outline).
bool middlePoint(const PolygonRecord &r, const BoundaryPlane &plane, double out[3]) noexcept
{
    const int k = r.vertexCount, u = plane.u, v = plane.v;
    const double pv = 0.5 * r.bounds.low[v] + 0.5 * r.bounds.high[v];
    double first = HUGE_VAL, second = HUGE_VAL;
    for (int j = 0, prev = k - 1; j < k; prev = j++) {
        const double *a = r.vertices[prev], *b = r.vertices[j];
        if ((a[v] > pv) == (b[v] > pv))
            continue;
        const double x = a[u] + (pv - a[v]) / (b[v] - a[v]) * (b[u] - a[u]);
        if (x < first) {
            second = first;
            first = x;
        } else if (x < second) {
            second = x;
        }
    }
    if (!(first < second && second < HUGE_VAL))
        return false;
    const double pu = 0.5 * first + 0.5 * second;
    if (!projectionContains(r.vertices, k, u, v, pu, pv))
        return false;
    onPlane(plane, pu, pv, out);
    return std::isfinite(out[plane.a]);
}

// The winding is not 0 just off either side of the point (on the polygon's plane), `offset` along
// the polygon's front; the front first, which on a mesh of separate parts is outside.
bool filledOnBothSides(const MeshCache &cache, const double at[3], const double front[3], double offset,
                       int axis) noexcept
{
    for (const double side : {offset, -offset}) {
        const double q[3] = {at[0] + side * front[0], at[1] + side * front[1], at[2] + side * front[2]};
        if (cache.windingAlong(q, axis, false) == 0)
            return false;
    }
    return true;
}

double segmentDistanceSquared2(double au, double av, double bu, double bv, double pu, double pv) noexcept
{
    const double eu = bu - au, ev = bv - av, fu = pu - au, fv = pv - av;
    const double along = fu * eu + fv * ev, length2 = eu * eu + ev * ev;
    const double t = !(along > 0.0) ? 0.0 : !(along < length2) ? 1.0 : along / length2;
    const double gu = fu - t * eu, gv = fv - t * ev;
    return gu * gu + gv * gv;
}

// (pu, pv) inside the region's projection and farther than `tol` from its outline.
bool wellInside(const PolygonRecord &region, const BoundaryPlane &plane, double pu, double pv, double tol) noexcept
{
    const int k = region.vertexCount, u = plane.u, v = plane.v;
    // Most points tested are corners the two polygons share, on the region's box.
    if (!(region.bounds.low[u] + tol < pu && pu < region.bounds.high[u] - tol && region.bounds.low[v] + tol < pv &&
          pv < region.bounds.high[v] - tol))
        return false;
    if (!projectionContains(region.vertices, k, u, v, pu, pv))
        return false;
    for (int j = 0, prev = k - 1; j < k; prev = j++) {
        const double *a = region.vertices[prev], *b = region.vertices[j];
        if (!(segmentDistanceSquared2(a[u], a[v], b[u], b[v], pu, pv) > tol * tol))
            return false;
    }
    return true;
}

// The corner of `region` at exactly the position p, or -1.
int cornerAt(const PolygonRecord &region, const double p[3]) noexcept
{
    for (int k = 0; k < region.vertexCount; ++k) {
        const double *c = region.vertices[k];
        if (c[0] == p[0] && c[1] == p[1] && c[2] == p[2])
            return k;
    }
    return -1;
}

// The signed distances of a polygon's corners from a plane, each worked out once: on the stack for
// all but polygons of very many corners, which work them out again when asked.
class CornerDistances {
public:
    CornerDistances(const PolygonRecord &of, const double n[3], double d) noexcept : of(of), n(n), d(d)
    {
        if (of.vertexCount <= held)
            for (int j = 0; j < of.vertexCount; ++j)
                distance[j] = worked(j);
    }
    double operator[](int j) const noexcept { return of.vertexCount <= held ? distance[j] : worked(j); }

private:
    double worked(int j) const noexcept
    {
        const double *a = of.vertices[j];
        return n[0] * a[0] + n[1] * a[1] + n[2] * a[2] - d;
    }
    static constexpr int held = 16;
    const PolygonRecord &of;
    const double *n;
    double d;
    double distance[held];
};

// A neighbour across an edge or a corner: every point of `of` on the region's plane is one of the
// region's corners, at most two and then neighbours along its outline, and the rest lie on one
// side. Its edges then reach the plane only on the region's outline, where no point is well
// inside: the loop below would find nothing, and this answers the same at a fraction of the cost
// (most polygons tested are a candidate's own neighbours).
bool meetsOnlyAtSharedEdge(const PolygonRecord &of, const PolygonRecord &region, const CornerDistances &distance,
                           double tol) noexcept
{
    int shared[2] = {-1, -1}, onPlane = 0;
    bool above = false, below = false;
    for (int j = 0; j < of.vertexCount; ++j) {
        const double da = distance[j];
        if (__builtin_fabs(da) <= tol) {
            const int corner = cornerAt(region, of.vertices[j]);
            if (corner < 0 || onPlane == 2)
                return false;
            shared[onPlane++] = corner;
        } else {
            above |= da > 0.0;
            below |= da < 0.0;
        }
    }
    if (above == below)   // both sides, or nothing off the plane
        return false;
    if (onPlane < 2)
        return true;
    const int k = region.vertexCount, step = shared[1] - shared[0];
    return step == 1 || step == -1 || step == k - 1 || step == 1 - k;
}

// An edge of `of` crosses the region's plane, or ends on it, at a point well inside the region;
// or, with `inPlane`, lies in the plane with an end or its middle well inside (`of` rests on the
// region). Whether `of` lies wholly off the plane, in `apart`.
bool edgesMeetInside(const PolygonRecord &of, const PolygonRecord &region, const BoundaryPlane &plane, double tol,
                     bool inPlane, bool &apart) noexcept
{
    const CornerDistances distance(of, plane.n, plane.d);
    bool above = true, below = true;
    for (int j = 0; j < of.vertexCount; ++j) {
        const double da = distance[j];
        above &= da > tol;
        below &= da < -tol;
    }
    apart = above || below;
    if (apart || meetsOnlyAtSharedEdge(of, region, distance, tol))
        return false;
    for (int j = 0, prev = of.vertexCount - 1; j < of.vertexCount; prev = j++) {
        const double *a = of.vertices[prev], *b = of.vertices[j];
        const double da = distance[prev], db = distance[j];
        const bool aOn = __builtin_fabs(da) <= tol, bOn = __builtin_fabs(db) <= tol;
        double x[3];
        if (aOn && bOn) {
            if (!inPlane)
                continue;
            for (int c = 0; c < 3; ++c)
                x[c] = 0.5 * a[c] + 0.5 * b[c];
            if (wellInside(region, plane, a[plane.u], a[plane.v], tol) ||
                wellInside(region, plane, b[plane.u], b[plane.v], tol))
                return true;
        } else if (aOn != bOn) {
            const double *on = aOn ? a : b;
            x[0] = on[0], x[1] = on[1], x[2] = on[2];
        } else if ((da > 0.0 && db < 0.0) || (da < 0.0 && db > 0.0)) {
            const double t = da / (da - db);
            for (int c = 0; c < 3; ++c)
                x[c] = a[c] + t * (b[c] - a[c]);
        } else {
            continue;
        }
        if (wellInside(region, plane, x[plane.u], x[plane.v], tol))
            return true;
    }
    return false;
}

// A polygon left out unless another crosses it: the search's state.
struct CrossingSearch {
    const PolygonRecord *records;
    const int *candidates;
    const BoundaryPlane *planes;
    unsigned char *crossed;
    int other;
    BoundaryPlane otherPlane;
    bool otherHasPlane;
    double tol;
};

// Whether `other` crosses the candidate `slot`, or touches it inside.
void testCrossing(void *data, int slot) noexcept
{
    CrossingSearch &s = *static_cast<CrossingSearch *>(data);
    const int self = s.candidates[slot];
    if (s.crossed[slot] || self == s.other)
        return;
    const PolygonRecord &region = s.records[self], &other = s.records[s.other];
    for (int c = 0; c < 3; ++c)
        if (!(other.bounds.low[c] <= region.bounds.high[c] + s.tol && region.bounds.low[c] - s.tol <= other.bounds.high[c]))
            return;
    // A polygon wholly off the other's plane meets nothing of it. An edge of this polygon lying in
    // another polygon only touches it along this one's outline: no change of its winding.
    bool apart = false;
    s.crossed[slot] = edgesMeetInside(other, region, s.planes[slot], s.tol, true, apart) ||
                      (!apart && s.otherHasPlane && edgesMeetInside(region, other, s.otherPlane, s.tol, false, apart));
}

} // namespace

FilledBoundary::~FilledBoundary()
{
    delete[] kept;
    delete[] candidates;
    delete[] candidateBoxes;
    delete[] planes;
    delete[] crossed;
}

int FilledBoundary::decide(const MeshCache &cache, int axis) noexcept
{
    const CornerList &list = cache.corners;
    // Without the list known, the same corners might be other polygons.
    const bool listKnown = list.known();
    reused = decidedLeft >= 0 && listKnown && list.version() == decidedList && axis == decidedAxis &&
             shape.sameShape(cache.polygons, cache.polygonCount, cache.bounds, list.oriented() ? -1 : axis);
    if (reused)
        return decidedLeft;
    decidedLeft = -1;
    const int left = decideAfresh(cache, axis);
    if (left >= 0 && listKnown && shape.remember(cache.polygons, cache.polygonCount)) {
        decidedLeft = left;
        decidedList = list.version();
        decidedAxis = axis;
    }
    return left > 0 ? left : 0;
}

int FilledBoundary::decideAfresh(const MeshCache &cache, int axis) noexcept
{
    const int count = cache.polygonCount;
    if (count <= 0 || !cache.polygons || axis < 0 || axis > 2)
        return 0;
    double scale = 0.0;
    for (int c = 0; c < 3; ++c)
        for (const double x : {cache.bounds.low[c], cache.bounds.high[c]})
            scale = __builtin_fabs(x) > scale ? __builtin_fabs(x) : scale;
    if (!(scale < HUGE_VAL))
        return 0;
    if (!growOrFail(kept, held, static_cast<size_t>(count)))
        return -1;
    // On the plane within far more than the rounding of a plane's distance or a crossing point,
    // far less than any feature.
    const double tol = scale * 0x1p-32;

    // Filled on both sides: left out, unless another polygon crosses it.
    int candidateCount = 0;
    for (int i = 0; i < count; ++i) {
        kept[i] = 1;
        const PolygonRecord &r = cache.polygons[i];
        BoundaryPlane plane;
        double middle[3];
        if (!planeOf(r, plane) || !middlePoint(r, plane, middle))
            continue;
        const double sign = r.orientation < 0 ? -1.0 : 1.0;
        const double front[3] = {sign * r.normal[0], sign * r.normal[1], sign * r.normal[2]};
        // Off the plane by a millionth of the polygon's size, above the rounding of the plane tests.
        double size2 = 0.0;
        for (int c = 0; c < 3; ++c)
            size2 += (r.bounds.high[c] - r.bounds.low[c]) * (r.bounds.high[c] - r.bounds.low[c]);
        const double offset = std::sqrt(size2) * 0x1p-20 + tol;
        if (!filledOnBothSides(cache, middle, front, offset, axis))
            continue;
        if (!growOrFail(candidates, candidatesHeld, static_cast<size_t>(count)))
            return -1;   // every polygon kept
        candidates[candidateCount++] = i;
    }
    if (candidateCount == 0)
        return 0;

    // Every polygon is asked which candidates it may cross: the candidates are few on most meshes,
    // and only they go in the grid.
    if (!growOrFail(candidateBoxes, boxesHeld, static_cast<size_t>(candidateCount)) ||
        !growOrFail(planes, planesHeld, static_cast<size_t>(candidateCount)) ||
        !growOrFail(crossed, crossedHeld, static_cast<size_t>(candidateCount)))
        return -1;
    for (int k = 0; k < candidateCount; ++k) {
        const PolygonRecord &r = cache.polygons[candidates[k]];
        candidateBoxes[k] = &r.bounds;
        planeOf(r, planes[k]);
        crossed[k] = 0;
    }
    if (!near.build(candidateBoxes, candidateCount, cache.bounds, tol))
        return -1;
    CrossingSearch search{cache.polygons, candidates, planes, crossed, 0, {}, false, tol};
    for (int j = 0; j < count; ++j) {
        search.other = j;
        search.otherHasPlane = planeOf(cache.polygons[j], search.otherPlane);
        near.visitNear(cache.polygons[j].bounds, testCrossing, &search);
    }
    int left = 0;
    for (int k = 0; k < candidateCount; ++k)
        if (!crossed[k]) {
            kept[candidates[k]] = 0;
            ++left;
        }
    return left;
}

} // namespace ostrevin
