// The geometry the cache, the index, the instance and the tests share. Each test here is written
// once because every place that uses it must agree with the others to the bit: the index answers
// as the records' scan only if both run the very same operations in the same order.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_PLANE_TEST_H
#define OSTREVIN_TEXTURE_GEOMETRY_PLANE_TEST_H

namespace ostrevin {

// The two axes across the ray, by texture axis (the ray runs along the third).
constexpr int crossFirstAxis[3] = {1, 0, 0};
constexpr int crossSecondAxis[3] = {2, 2, 1};

// p within [low, high] along all three axes, boundaries included. NaN is never within. With early
// exits: the evaluation asks it of every point first, and there they measure faster.
inline bool withinBoundsInclusive(const double p[3], const double low[3], const double high[3]) noexcept
{
    return low[0] <= p[0] && p[0] <= high[0] && low[1] <= p[1] && p[1] <= high[1] && low[2] <= p[2] &&
           p[2] <= high[2];
}

// (pu, pv) within a rectangle across the ray, its low corner at (low[u], low[v]) and its high
// one at (high[u], high[v]), boundaries included.
inline bool withinRectangleInclusive(double pu, double pv, const double low[3], const double high[3], int u,
                                     int v) noexcept
{
    return (low[u] <= pu) & (low[v] <= pv) & (pu <= high[u]) & (pv <= high[v]);
}

// The plane n·x = d meets the ray from p towards +axis strictly ahead of p: (n·p − d)·n[axis] < 0.
// False for a plane parallel to the ray (n[axis] zero) and for NaN.
inline bool planeAheadOfPoint(const double n[3], double d, const double p[3], int axis) noexcept
{
    return (n[0] * p[0] + n[1] * p[1] + n[2] * p[2] - d) * n[axis] < 0.0;
}

// The same plane meets the ray strictly behind p: the ray from p towards -axis.
inline bool planeBehindPoint(const double n[3], double d, const double p[3], int axis) noexcept
{
    return (n[0] * p[0] + n[1] * p[1] + n[2] * p[2] - d) * n[axis] > 0.0;
}

} // namespace ostrevin

#endif
