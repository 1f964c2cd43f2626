#include "texture/distance/outline_slabs.h"

#include <cmath>

#include "framework/growing_buffer.h"
#include "texture/distance/polygon_distance.h"
#include "texture/geometry/bounds.h"
#include "texture/geometry/polygon_crossing.h"
#include "texture/geometry/quantiser.h"

namespace ostrevin {

namespace {

// Slabs a polygon gets: about one for every four corners, and fewer when its edges would be
// listed more than about twice each (long edges across many slabs).
constexpr uint32_t mostSlabs = 4096;

uint32_t slabSpan(const double (*corner)[3], int k, int j, int v, double vLow, double vScale, uint32_t slabs,
                  uint32_t &first) noexcept
{
    const double a = corner[j == 0 ? k - 1 : j - 1][v], b = corner[j][v];
    if (!(a == a) || !(b == b)) {   // NaN: in every slab
        first = 0;
        return slabs;
    }
    first = quantise(lesserOf(a, b), vLow, vScale, slabs);
    return quantise(greaterOf(a, b), vLow, vScale, slabs) - first + 1;
}

} // namespace

OutlineSlabs::~OutlineSlabs()
{
    delete[] outlineOf;
    delete[] outlineList;
    delete[] dropped;
    delete[] slabStart;
    delete[] edges;
}

void OutlineSlabs::clear() noexcept
{
    recordCount = 0;
    outlines = 0;
}

size_t OutlineSlabs::bytes() const noexcept
{
    return outlineOfHeld * sizeof(int32_t) + outlineListHeld * sizeof(Outline) + droppedHeld * sizeof(double[3]) +
           slabStartHeld * sizeof(size_t) + edgesHeld * sizeof(uint32_t);
}

bool OutlineSlabs::build(const PolygonRecord *records, int count, const unsigned char *kept) noexcept
{
    clear();
    size_t many = 0, corners = 0;
    for (int i = 0; i < count; ++i)
        if (records[i].vertexCount >= fewestCorners && records[i].vertices && (!kept || kept[i])) {
            ++many;
            corners += static_cast<size_t>(records[i].vertexCount);
        }
    if (many == 0)
        return true;
    if (!growOrFail(outlineOf, outlineOfHeld, static_cast<size_t>(count)) ||
        !growOrFail(outlineList, outlineListHeld, many) || !growOrFail(dropped, droppedHeld, corners))
        return false;

    // Each outline's plane, dropped corners and slab count; then the entries counted.
    size_t cornerAt = 0, slabTotal = 0, entryTotal = 0;
    for (int i = 0; i < count; ++i) {
        outlineOf[i] = -1;
        const PolygonRecord &r = records[i];
        const int k = r.vertexCount;
        Outline o;
        bool drops = false;
        if (k < fewestCorners || !r.vertices || (kept && !kept[i]) || !measuredPlane(r, o.n, o.d, drops) || !drops)
            continue;
        const int a = facingAxis(o.n);
        o.u = crossFirstAxis[a];
        o.v = crossSecondAxis[a];
        o.corners = k;
        o.firstCorner = cornerAt;
        double (*c)[3] = dropped + cornerAt;
        Bounds extent;
        o.reach = 0.0;
        for (int j = 0; j < k; ++j) {
            dropOntoPlane(r.vertices[j], o.n, o.d, c[j]);
            extent.include(c[j]);
            for (const double x : c[j])
                o.reach = greaterOf(__builtin_fabs(x), o.reach);
        }
        cornerAt += static_cast<size_t>(k);
        o.vLow = extent.low[o.v];
        const double span = extent.high[o.v] - extent.low[o.v];
        uint32_t slabs = static_cast<uint32_t>(k / 4);
        slabs = slabs < mostSlabs ? slabs : mostSlabs;
        if (!(span > 0.0 && span <= 1e300))
            slabs = 1;
        size_t entries = 0;
        for (;; slabs = (slabs + 1) / 2) {
            o.vScale = slabs > 1 ? slabs / span : 0.0;
            entries = 0;
            for (int j = 0; j < k; ++j) {
                uint32_t first;
                entries += slabSpan(c, k, j, o.v, o.vLow, o.vScale, slabs, first);
            }
            if (slabs == 1 || entries <= 2 * static_cast<size_t>(k) + slabs)
                break;
        }
        o.slabs = slabs;
        o.slabWidth = slabs > 1 ? span / slabs : HUGE_VAL;
        o.firstSlab = slabTotal;
        slabTotal += slabs + 1;
        entryTotal += entries;
        outlineOf[i] = outlines;
        outlineList[outlines++] = o;
    }
    if (!growOrFail(slabStart, slabStartHeld, slabTotal > 0 ? slabTotal : 1) ||
        !growOrFail(edges, edgesHeld, entryTotal > 0 ? entryTotal : 1)) {
        outlines = 0;
        return false;
    }
    // Counted into the slab after each, summed, then placed: slabStart[s] is slab s's first entry.
    size_t base = 0;
    for (int n = 0; n < outlines; ++n) {
        const Outline &o = outlineList[n];
        size_t *start = slabStart + o.firstSlab;
        const double (*c)[3] = dropped + o.firstCorner;
        for (uint32_t s = 0; s <= o.slabs; ++s)
            start[s] = 0;
        for (int j = 0; j < o.corners; ++j) {
            uint32_t first;
            const uint32_t span = slabSpan(c, o.corners, j, o.v, o.vLow, o.vScale, o.slabs, first);
            for (uint32_t s = first; s < first + span; ++s)
                ++start[s + 1];
        }
        start[0] = base;
        for (uint32_t s = 0; s < o.slabs; ++s)
            start[s + 1] += start[s];
        for (int j = 0; j < o.corners; ++j) {
            uint32_t first;
            const uint32_t span = slabSpan(c, o.corners, j, o.v, o.vLow, o.vScale, o.slabs, first);
            for (uint32_t s = first; s < first + span; ++s)
                edges[start[s]++] = static_cast<uint32_t>(j);
        }
        // Placing moved each start to the next slab's; step them back.
        for (uint32_t s = o.slabs; s > 0; --s)
            start[s] = start[s - 1];
        start[0] = base;
        base = start[o.slabs];
    }
    recordCount = count;
    return true;
}

double OutlineSlabs::distanceSquared(const PolygonRecord *records, int record, const double p[3],
                                     double limit) const noexcept
{
    if (record < 0 || record >= recordCount || outlineOf[record] < 0)
        return polygonDistanceSquared(records[record], p, limit);
    return slabbedDistance(outlineList[outlineOf[record]], p, limit);
}

double OutlineSlabs::slabbedDistance(const Outline &o, const double p[3], double limit) const noexcept
{
    // polygonDistanceSquared's steps, in its operations: the height, the foot, the crossing rule.
    const double *n = o.n;
    const double h = n[0] * p[0] + n[1] * p[1] + n[2] * p[2] - o.d;
    if (h * h > limit)
        return h * h;
    const int u = o.u, v = o.v, k = o.corners;
    const double fu = p[u] - h * n[u], fv = p[v] - h * n[v];
    const double(*c)[3] = dropped + o.firstCorner;
    const size_t *start = slabStart + o.firstSlab;

    const uint32_t footSlab = quantise(fv, o.vLow, o.vScale, o.slabs);
    bool inside = false;
    for (size_t e = start[footSlab]; e < start[footSlab + 1]; ++e) {
        const int j = static_cast<int>(edges[e]), prev = j == 0 ? k - 1 : j - 1;
        const double av = c[prev][v], bv = c[j][v];
        if ((av > fv) != (bv > fv))
            inside ^= edgeCrossesPositiveU(c[prev][u], av, c[j][u], bv, fu, fv);
    }
    if (inside)
        return h * h;

    // The nearest edge, slabs outwards from the point's. An edge in no slab nearer than ring r lies
    // at least (r - 2) slabs from the point along v (one slab for each end's rounding to its slab),
    // so at least that far in space; `slack` covers the rounding of each edge's measure, a few
    // steps of the coordinates' magnitude.
    const double magnitude = __builtin_fabs(p[0]) + __builtin_fabs(p[1]) + __builtin_fabs(p[2]) + 3.0 * o.reach;
    const double slack = magnitude * 0x1p-40;
    const uint32_t pointSlab = quantise(p[v], o.vLow, o.vScale, o.slabs);
    double best = HUGE_VAL;
    for (uint32_t ring = 0;; ++ring) {
        const double gap = ring >= 2 ? (ring - 2) * o.slabWidth - slack : 0.0;
        if (gap > 0.0 && gap * gap > best)
            break;
        const bool below = ring <= pointSlab, above = pointSlab + ring < o.slabs && ring > 0;
        if (!below && !above)
            break;
        for (int side = 0; side < 2; ++side) {
            if (!(side == 0 ? below : above))
                continue;
            const uint32_t s = side == 0 ? pointSlab - ring : pointSlab + ring;
            for (size_t e = start[s]; e < start[s + 1]; ++e) {
                const int j = static_cast<int>(edges[e]), prev = j == 0 ? k - 1 : j - 1;
                const double d = segmentDistanceSquared(c[prev], c[j], p);
                best = d < best ? d : best;
            }
        }
    }
    return best;
}

} // namespace ostrevin
