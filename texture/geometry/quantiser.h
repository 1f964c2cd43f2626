// The one quantiser: a coordinate to its step along one axis of a grid, for every grid of the
// texture (the crossing index's cells, the edge slabs' slabs, the distance index's cells and its
// curve). Both the stored things and the query points go through it, so what a proof needs of
// it holds everywhere: it never decreases as x grows, so a point within a range of coordinates
// gets a step within that range's steps.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_QUANTISER_H
#define OSTREVIN_TEXTURE_GEOMETRY_QUANTISER_H

#include <stdint.h>

namespace ostrevin {

// (x - low) * scale, rounded down, clamped to [0, steps - 1]: NaN and everything below the grid go
// to step 0, everything above to the last. The clamps are selects the compiler makes minimum and
// maximum instructions (no branch); the last step is exactly representable, as is every count.
inline uint32_t quantise(double x, double low, double scale, uint32_t steps) noexcept
{
    const double t = (x - low) * scale;
    const double last = static_cast<double>(steps - 1);
    const double above = t > 0.0 ? t : 0.0;
    return static_cast<uint32_t>(above < last ? above : last);
}

} // namespace ostrevin

#endif
