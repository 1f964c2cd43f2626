// Small double-precision helpers shared by the framing, the views and the import.
#ifndef OSTREVIN_TOOLS_RENDER_GEOMETRY_H
#define OSTREVIN_TOOLS_RENDER_GEOMETRY_H

#include <array>
#include <cmath>
#include <limits>

namespace render {

using Vec3 = std::array<double, 3>;

// Axis-aligned box; starts empty and grows by finite points only.
struct Box {
    Vec3 min{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::infinity()};
    Vec3 max{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity()};

    bool empty() const { return !(min[0] <= max[0] && min[1] <= max[1] && min[2] <= max[2]); }
    void add(const Vec3 &p)
    {
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            return;
        for (int c = 0; c < 3; ++c) {
            min[c] = std::fmin(min[c], p[c]);
            max[c] = std::fmax(max[c], p[c]);
        }
    }
    Vec3 centre() const { return {(min[0] + max[0]) / 2, (min[1] + max[1]) / 2, (min[2] + max[2]) / 2}; }
};

} // namespace render

#endif
