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

#include "texture/geometry/vector.h"

namespace ostrevin {

// +1 when the polygon's area vector points the way `normal` does, -1 when it points the other way.
// The area vector sums the corners' cross products about corner 0, which counts every part of a
// concave polygon with its own sign; a polygon without area (or a zero normal) keeps +1.
inline int areaOrientation(const double (*vertices)[3], int count, const double normal[3]) noexcept
{
    double area[3] = {0.0, 0.0, 0.0};
    for (int j = 1; j + 1 < count; ++j) {
        double corner[3];
        cornerNormal(vertices[0], vertices[j], vertices[j + 1], corner);
        area[0] += corner[0];
        area[1] += corner[1];
        area[2] += corner[2];
    }
    return dot(area, normal) < 0.0 ? -1 : 1;
}

// The one crossing sign: +1 when the ray leaves through the polygon's front, -1 when it enters.
// From a normal's component along the ray's axis (not 0 for a polygon the ray crosses), whether
// that normal faces the polygon's back (an orientation of -1; the index's copies face the front),
// and whether the ray runs towards -axis.
inline int crossingSign(double normalOnAxis, bool normalFacesBack, bool backwards) noexcept
{
    return (normalOnAxis > 0.0) != (normalFacesBack != backwards) ? 1 : -1;
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
