// Points in the order a render shades them: pixel centres row by row, top row first, on slices
// across the target's box, the way the render tool samples its slice views and contact sheet.
#ifndef OSTREVIN_BENCH_SLICE_POINTS_H
#define OSTREVIN_BENCH_SLICE_POINTS_H

#include <array>
#include <cstddef>
#include <vector>

namespace bench {

// About `count` points on `slices` planes across `view` (0 X, 1 Y, 2 Z) at even depths through
// the box [low, high], each plane framed as the render tool frames it (the box widened by a tenth
// of its larger side, square pixels). Coordinates are floats, so a float-based peer sees the very
// same points.
std::vector<std::array<double, 3>> slicePoints(const std::array<double, 3> &low, const std::array<double, 3> &high,
                                               int view, int slices, std::size_t count);

} // namespace bench

#endif
