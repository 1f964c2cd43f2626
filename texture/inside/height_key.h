// Heights as integers: the index compares a point's height with many polygons' tops at once, as
// signed integers that order as the floats do.
#ifndef OSTREVIN_TEXTURE_INSIDE_HEIGHT_KEY_H
#define OSTREVIN_TEXTURE_INSIDE_HEIGHT_KEY_H

#include <stdint.h>

#include <cfloat>
#include <cmath>
#include <cstring>

namespace ostrevin {

// A float's bits as a signed integer that orders as the float does (NaN aside; -0 just below +0).
// Consecutive floats get consecutive keys.
inline int32_t orderKey(float x) noexcept
{
    int32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits < 0 ? bits ^ INT32_MAX : bits;
}

// The key of the largest float at or below h: a key at or above an entry's top then means h is at
// or above the top. Anything not a number, and anything below the floats, is taken as lower than
// every top. Without a branch on h: the rounding goes either way from point to point.
inline int32_t heightKey(double h) noexcept
{
    const double clamped = h > static_cast<double>(FLT_MAX) ? static_cast<double>(FLT_MAX) : h;
    const float f = static_cast<float>(clamped);
    // Rounded up: the float before it, whose key is one less.
    const int32_t key = orderKey(f) - static_cast<int32_t>(static_cast<double>(f) > clamped);
    return h >= -static_cast<double>(FLT_MAX) ? key : orderKey(-HUGE_VALF);
}

} // namespace ostrevin

#endif
