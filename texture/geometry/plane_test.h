// The plane test: whether a polygon's plane meets the ray from a point ahead of it (or behind).
// Written once because every place that uses it must agree with the others to the bit: the index
// answers as the records' scan only if both run the very same operations in the same order.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_PLANE_TEST_H
#define OSTREVIN_TEXTURE_GEOMETRY_PLANE_TEST_H

#include "texture/geometry/vector.h"

namespace ostrevin {

// The plane n·x = d meets the ray from p towards +axis strictly ahead of p: (n·p − d)·n[axis] < 0.
// False for a plane parallel to the ray (n[axis] zero) and for NaN.
inline bool planeAheadOfPoint(const double n[3], double d, const double p[3], int axis) noexcept
{
    return (dot(n, p) - d) * n[axis] < 0.0;
}

// The same plane meets the ray strictly behind p: the ray from p towards -axis.
inline bool planeBehindPoint(const double n[3], double d, const double p[3], int axis) noexcept
{
    return (dot(n, p) - d) * n[axis] > 0.0;
}

} // namespace ostrevin

#endif
