// The soft edge's ramp: 0 at the surface, 1 from the full width on, with a flat start and end so
// the masked effect fades in without a visible crease at either end.
#ifndef OSTREVIN_TEXTURE_TARGET_SMOOTH_STEP_H
#define OSTREVIN_TEXTURE_TARGET_SMOOTH_STEP_H

namespace ostrevin {

// 3x^2 - 2x^3 on [0, 1], 0 below, 1 above (and for NaN, as for a point of unknown depth). Plain
// products and sums, so every target computes the same bits.
inline double smoothStep(double x) noexcept
{
    if (x <= 0.0)
        return 0.0;
    if (!(x < 1.0))
        return 1.0;
    return x * x * (3.0 - 2.0 * x);
}

} // namespace ostrevin

#endif
