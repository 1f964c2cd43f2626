// Signed crossings, for the fill rules that tell the two sides of a polygon apart.
//
// A polygon's front is the side its corners turn counter-clockwise around. A ray that leaves
// through a front counts +1, one that enters through it -1, so on a closed mesh whose polygons all
// face out the sum is the number of shells around the point. The plane test reads the normal of
// the first three corners, whose sign is the front's only when those corners turn as the whole
// polygon does; a concave polygon that starts at a reflex corner turns the other way there, so
// each polygon also keeps its orientation: whether that normal points to its front.
#ifndef OSTREVIN_TEXTURE_INSIDE_WINDING_H
#define OSTREVIN_TEXTURE_INSIDE_WINDING_H

namespace ostrevin {

// +1 when the polygon's area vector points the way `normal` does, -1 when it points the other way.
// The area vector sums the corners' cross products about corner 0, which counts every part of a
// concave polygon with its own sign; a polygon without area (or a zero normal) keeps +1.
inline int areaOrientation(const double (*vertices)[3], int count, const double normal[3]) noexcept
{
    double area[3] = {0.0, 0.0, 0.0};
    for (int j = 1; j + 1 < count; ++j) {
        const double *o = vertices[0], *a = vertices[j], *b = vertices[j + 1];
        const double e1[3] = {a[0] - o[0], a[1] - o[1], a[2] - o[2]};
        const double e2[3] = {b[0] - o[0], b[1] - o[1], b[2] - o[2]};
        area[0] += e1[1] * e2[2] - e1[2] * e2[1];
        area[1] += e1[2] * e2[0] - e1[0] * e2[2];
        area[2] += e1[0] * e2[1] - e1[1] * e2[0];
    }
    return area[0] * normal[0] + area[1] * normal[1] + area[2] * normal[2] < 0.0 ? -1 : 1;
}

// The sign a crossing counts with along +axis, from the normal's component on that axis (not 0
// for a polygon the ray crosses) and the polygon's orientation; along -axis it is the opposite.
inline int crossingSign(double normalOnAxis, int orientation) noexcept
{
    return (normalOnAxis > 0.0) == (orientation > 0) ? 1 : -1;
}

// Tolerant: rays along the texture axis and the first axis across it each say inside when their
// signed crossings do not sum to 0; when the two agree, that is the answer (on a closed mesh they
// always do off its surface, and it is then Non-Zero's). When they differ, one of them passed
// through a hole, and the other four rays along the axes join the vote: inside with three of the
// six. `windingAlong(axis, backwards)` gives the sum along +axis, or -axis when backwards.
template <class WindingAlong>
bool tolerantInside(int axis, int u, int v, const WindingAlong &windingAlong) noexcept
{
    const bool first = windingAlong(axis, false) != 0;
    if (first == (windingAlong(u, false) != 0))
        return first;
    const int votes = 1 + (windingAlong(v, false) != 0) + (windingAlong(axis, true) != 0) +
                      (windingAlong(u, true) != 0) + (windingAlong(v, true) != 0);
    return votes >= 3;
}

} // namespace ostrevin

#endif
