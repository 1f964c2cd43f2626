// Even-odd point-in-polygon arithmetic in the plane of the two axes across the ray.
//
// Every caller that asks "does this polygon's projection contain the point" must use these two
// functions, so that any two tests of one shared edge agree to the last bit: the texture's inside
// test, an acceleration structure over it, and the reference it is measured against.
#ifndef OSTREVIN_TEXTURE_POLYGON_CROSSING_H
#define OSTREVIN_TEXTURE_POLYGON_CROSSING_H

namespace ostrevin {

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
    typedef double Pair __attribute__((vector_size(2 * sizeof(double))));
    typedef long long PairMask __attribute__((vector_size(2 * sizeof(long long))));
    const bool straddles = (av > pv) != (bv > pv);
    const Pair a = {au, av}, b = {bu, bv};
    const PairMask aLower = Pair{av, av} < Pair{bv, bv};
    const Pair low = aLower ? a : b, high = aLower ? b : a;
    const double side = (high[0] - low[0]) * (pv - low[1]) - (high[1] - low[1]) * (pu - low[0]);
    return straddles & (side > 0.0);
}

// Whether the polygon's projection contains (pu, pv) by the rule above. `vertices` holds `count`
// positions of three doubles; u and v select the in-plane coordinates (each 0, 1 or 2).
inline bool projectionContains(const double (*vertices)[3], int count, int u, int v, double pu, double pv) noexcept
{
    const auto crosses = [&](int a, int b) noexcept {
        return edgeCrossesPositiveU(vertices[a][u], vertices[a][v], vertices[b][u], vertices[b][v], pu, pv);
    };
    // Triangles and quads, the common polygons, unrolled; the same edges either way.
    if (count == 3)
        return crosses(2, 0) ^ crosses(0, 1) ^ crosses(1, 2);
    if (count == 4)
        return crosses(3, 0) ^ crosses(0, 1) ^ crosses(1, 2) ^ crosses(2, 3);
    // Many edges, few of them across the point's line: only those are worth the side test (an
    // edge that does not straddle the line never counts).
    bool inside = false;
    for (int j = 0, prev = count - 1; j < count; prev = j++)
        if ((vertices[prev][v] > pv) != (vertices[j][v] > pv))
            inside ^= crosses(prev, j);
    return inside;
}

} // namespace ostrevin

#endif
