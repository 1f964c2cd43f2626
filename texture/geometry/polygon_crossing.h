// Even-odd point-in-polygon arithmetic in the plane of the two axes across the ray.
//
// Every caller that asks "does this polygon's projection contain the point" must use these two
// functions, so that any two tests of one shared edge agree to the last bit: the texture's inside
// test, an acceleration structure over it, and the reference it is measured against.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_POLYGON_CROSSING_H
#define OSTREVIN_TEXTURE_GEOMETRY_POLYGON_CROSSING_H

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ostrevin {

// Two doubles side by side, and the mask a comparison of them gives.
typedef double EdgePair __attribute__((vector_size(2 * sizeof(double))));
typedef long long EdgePairMask __attribute__((vector_size(2 * sizeof(long long))));

// Whether edge (a, b) crosses the half-line from p towards +u.
//
// Half-open in v: an endpoint exactly at p.v counts as below, so a ray through a shared vertex
// meets exactly one of the two edges there. The endpoints are ordered by v before the side is
// computed, so the two polygons sharing an edge evaluate the same expression on the same operands
// whichever way each of them walks it. A crossing exactly at p.u (side 0) is not counted. Together
// this answers as for p nudged a hair towards +u and +v, the same nudge for every edge, so a point
// on a shared edge or vertex belongs to exactly one of the polygons around it.
inline bool edgeCrossesPositiveU(double au, double av, double bu, double bv, double pu, double pv) noexcept
{
    // The endpoints are put in canonical order by selects rather than a branch: whether an edge
    // straddles the point is a coin toss from edge to edge, and a mispredicted branch costs more
    // than this whole test.
    const bool straddles = (av > pv) != (bv > pv);
    const EdgePair a = {au, av}, b = {bu, bv};
    const EdgePairMask aLower = EdgePair{av, av} < EdgePair{bv, bv};
    const EdgePair low = aLower ? a : b, high = aLower ? b : a;
    const double side = (high[0] - low[0]) * (pv - low[1]) - (high[1] - low[1]) * (pu - low[0]);
    return straddles & (side > 0.0);
}

// The same test on two edges at once, lane by lane: (au[k], av[k]) to (bu[k], bv[k]). Each lane
// makes exactly the operations above, in the same order, so its answer is the same to the bit.

inline EdgePairMask edgesCrossPositiveU(EdgePair au, EdgePair av, EdgePair bu, EdgePair bv, double pu,
                                        double pv) noexcept
{
    const EdgePair u = {pu, pu}, v = {pv, pv};
    const EdgePairMask straddles = (av > v) ^ (bv > v);
    // The selects by bits: t holds the bits in which au and bu differ, where a is the lower end.
    // Along v they are a minimum and a maximum, with the same operands for NaN.
    const EdgePairMask aLower = av < bv;
    const EdgePairMask t = aLower & (reinterpret_cast<EdgePairMask>(au) ^ reinterpret_cast<EdgePairMask>(bu));
    const EdgePair lowU = reinterpret_cast<EdgePair>(reinterpret_cast<EdgePairMask>(bu) ^ t);
    const EdgePair highU = reinterpret_cast<EdgePair>(reinterpret_cast<EdgePairMask>(au) ^ t);
#ifdef __SSE2__
    // The instructions' own rule: the first operand when it is the lesser (greater), else the
    // second, which is the selects' to the bit, NaN and signed zeros included.
    const EdgePair lowV = _mm_min_pd(av, bv), highV = _mm_max_pd(bv, av);
#else
    const EdgePair lowV = av < bv ? av : bv, highV = bv > av ? bv : av;
#endif
    const EdgePair side = (highU - lowU) * (v - lowV) - (highV - lowV) * (u - lowU);
    return straddles & (side > EdgePair{0.0, 0.0});
}

// Whether a polygon's projection contains (pu, pv) by the rule above. `uOf(j)` and `vOf(j)` give
// corner j's two in-plane coordinates, for `count` corners; each stored form of a polygon (the
// cache's records, the index's copies) reads its own way through this one rule.
template <class UOf, class VOf>
__attribute__((always_inline)) inline bool projectionContainsBy(int count, double pu, double pv, const UOf &uOf,
                                                                const VOf &vOf) noexcept
{
    // Triangles and quads, the common polygons, unrolled: each corner read once and every edge
    // tested, without a branch (which of them straddle the point's line varies from polygon to
    // polygon).
    if (count == 3) {
        // Edges 2-0 and 0-1 in one pair, 1-2 in both lanes of the other.
        const double u0 = uOf(0), v0 = vOf(0), u1 = uOf(1), v1 = vOf(1), u2 = uOf(2), v2 = vOf(2);
        const EdgePairMask first = edgesCrossPositiveU(EdgePair{u2, u0}, EdgePair{v2, v0}, EdgePair{u0, u1},
                                                       EdgePair{v0, v1}, pu, pv);
        const EdgePairMask last = edgesCrossPositiveU(EdgePair{u1, u1}, EdgePair{v1, v1}, EdgePair{u2, u2},
                                                      EdgePair{v2, v2}, pu, pv);
        return ((first[0] ^ first[1] ^ last[0]) & 1) != 0;
    }
    if (count == 4) {
        const double u0 = uOf(0), v0 = vOf(0), u1 = uOf(1), v1 = vOf(1), u2 = uOf(2), v2 = vOf(2);
        const double u3 = uOf(3), v3 = vOf(3);
        const EdgePairMask crossings =
            edgesCrossPositiveU(EdgePair{u3, u0}, EdgePair{v3, v0}, EdgePair{u0, u1}, EdgePair{v0, v1}, pu, pv) ^
            edgesCrossPositiveU(EdgePair{u1, u2}, EdgePair{v1, v2}, EdgePair{u2, u3}, EdgePair{v2, v3}, pu, pv);
        return ((crossings[0] ^ crossings[1]) & 1) != 0;
    }
    // Many edges, few of them across the point's line: only those are worth reading along u and
    // the side test (an edge that does not straddle the line never counts).
    bool inside = false;
    for (int j = 0, prev = count - 1; j < count; prev = j++) {
        const double av = vOf(prev), bv = vOf(j);
        if ((av > pv) != (bv > pv))
            inside ^= edgeCrossesPositiveU(uOf(prev), av, uOf(j), bv, pu, pv);
    }
    return inside;
}

// The same for positions of three doubles; u and v select the in-plane coordinates (each 0, 1 or
// 2). Always inline: a scan that knows u and v when compiled then reads the corners at fixed
// offsets.
__attribute__((always_inline)) inline bool projectionContains(const double (*vertices)[3], int count, int u, int v, double pu, double pv) noexcept
{
    return projectionContainsBy(
        count, pu, pv, [&](int j) noexcept { return vertices[j][u]; }, [&](int j) noexcept { return vertices[j][v]; });
}

} // namespace ostrevin

#endif
