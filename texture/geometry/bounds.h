// An axis-aligned box with an honest empty: by default low is +infinity and high -infinity, so a
// union with it changes nothing and no point lies within it.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_BOUNDS_H
#define OSTREVIN_TEXTURE_GEOMETRY_BOUNDS_H

#include <cmath>

namespace ostrevin {

// The lesser and greater of two values, with `x` first: when it is NaN the other comes back, so
// NaN widens no bounds.
template <class T>
constexpr T lesserOf(T x, T y) noexcept
{
    return x < y ? x : y;
}
template <class T>
constexpr T greaterOf(T x, T y) noexcept
{
    return x > y ? x : y;
}

struct Bounds {
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    double high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};

    // Back to empty.
    void clear() noexcept { *this = Bounds{}; }
    // Widened to hold p; a NaN coordinate widens nothing.
    void include(const double p[3]) noexcept
    {
        for (int c = 0; c < 3; ++c) {
            low[c] = lesserOf(p[c], low[c]);
            high[c] = greaterOf(p[c], high[c]);
        }
    }
    // Widened to hold b; an empty b changes nothing.
    void include(const Bounds &b) noexcept
    {
        for (int c = 0; c < 3; ++c) {
            low[c] = lesserOf(b.low[c], low[c]);
            high[c] = greaterOf(b.high[c], high[c]);
        }
    }
};

// p within the bounds along all three axes, boundaries included. NaN is never within, nor is
// anything within the empty bounds. With early exits: the evaluation asks it of every point first,
// and there they measure faster.
inline bool withinInclusive(const double p[3], const Bounds &b) noexcept
{
    return b.low[0] <= p[0] && p[0] <= b.high[0] && b.low[1] <= p[1] && p[1] <= b.high[1] && b.low[2] <= p[2] &&
           p[2] <= b.high[2];
}

// (pu, pv) within the bounds' rectangle across the ray (axes u and v), boundaries included.
inline bool withinRectangleInclusive(double pu, double pv, const Bounds &b, int u, int v) noexcept
{
    return (b.low[u] <= pu) & (b.low[v] <= pv) & (pu <= b.high[u]) & (pv <= b.high[v]);
}

} // namespace ostrevin

#endif
