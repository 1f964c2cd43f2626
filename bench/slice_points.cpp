#include "bench/slice_points.h"

#include <algorithm>
#include <cmath>

namespace bench {

std::vector<std::array<double, 3>> slicePoints(const std::array<double, 3> &low, const std::array<double, 3> &high,
                                               int view, int slices, std::size_t count)
{
    const int across = (view + 1) % 3, up = (view + 2) % 3;
    const double extentAcross = high[across] - low[across], extentUp = high[up] - low[up];
    const double larger = std::max({extentAcross, extentUp, 1e-9});
    const double margin = 0.1 * larger;
    const double wide = extentAcross + 2 * margin, tall = extentUp + 2 * margin;
    // Square pixels, as many as make about `count` over the slices.
    const double pixel = std::sqrt(wide * tall * slices / static_cast<double>(std::max<std::size_t>(count, 1)));
    const int width = std::max(1, static_cast<int>(std::lround(wide / pixel)));
    const int height = std::max(1, static_cast<int>(std::lround(tall / pixel)));
    const double centreAcross = 0.5 * (low[across] + high[across]), centreUp = 0.5 * (low[up] + high[up]);

    std::vector<std::array<double, 3>> points;
    points.reserve(static_cast<std::size_t>(slices) * width * height);
    const auto asFloat = [](double x) { return static_cast<double>(static_cast<float>(x)); };
    for (int s = 0; s < slices; ++s) {
        const double depth = low[view] + (high[view] - low[view]) * (s + 0.5) / slices;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::array<double, 3> p{};
                p[across] = asFloat(centreAcross + (x + 0.5 - width / 2.0) * pixel);
                p[up] = asFloat(centreUp - (y + 0.5 - height / 2.0) * pixel);
                p[view] = asFloat(depth);
                points.push_back(p);
            }
    }
    return points;
}

} // namespace bench
