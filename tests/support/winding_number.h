// The generalized winding number of a stand-in object at a point: the signed solid angle of its
// polygons seen from the point, over 4 pi. 1 inside a closed mesh whose polygons face out, 0
// outside it; for a mesh with holes it falls off smoothly across each hole. The reference the
// Tolerant rule is measured against, in double precision with the library's atan2 (so it is not
// itself part of any value the module gives).
#ifndef OSTREVIN_TESTS_SUPPORT_WINDING_NUMBER_H
#define OSTREVIN_TESTS_SUPPORT_WINDING_NUMBER_H

#include <cmath>

#include "host/scene.h"

inline double windingNumber(const standin::SceneObject &o, const double p[3])
{
    double angle = 0.0;
    for (const auto &polygon : o.polygons) {
        if (polygon.size() < 3)
            continue;
        double a[3], b[3], c[3];
        auto from = [&](int index, double out[3]) {
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<double>(o.points[static_cast<size_t>(index)][static_cast<size_t>(k)]) - p[k];
        };
        auto length = [](const double x[3]) { return std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]); };
        auto dot = [](const double x[3], const double y[3]) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
        from(polygon[0], a);
        const double la = length(a);
        // A fan from corner 0; each triangle's solid angle by Van Oosterom and Strackee's formula.
        for (size_t j = 1; j + 1 < polygon.size(); ++j) {
            from(polygon[j], b);
            from(polygon[j + 1], c);
            const double lb = length(b), lc = length(c);
            const double det = a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                               a[2] * (b[0] * c[1] - b[1] * c[0]);
            const double den = la * lb * lc + dot(a, b) * lc + dot(a, c) * lb + dot(b, c) * la;
            angle += 2.0 * std::atan2(det, den);
        }
    }
    const double pi = std::acos(-1.0);   // M_PI is not standard C++
    return angle / (4.0 * pi);
}

#endif
