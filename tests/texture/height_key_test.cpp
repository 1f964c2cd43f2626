// The integer keys the index compares heights with: a point's key is at or above a top's key
// exactly when its height is at or above the top, for every double and every float.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "texture/inside/height_key.h"

using ostrevin::heightKey;
using ostrevin::orderKey;

namespace {

// The largest float at or below h, found the slow way; -infinity for NaN and anything below.
float floatAtOrBelow(double h)
{
    if (!(h >= -static_cast<double>(FLT_MAX)))
        return -std::numeric_limits<float>::infinity();
    if (h >= static_cast<double>(FLT_MAX))
        return FLT_MAX;
    float f = static_cast<float>(h);
    while (static_cast<double>(f) > h)
        f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}

std::vector<double> awkwardHeights()
{
    std::vector<double> hs = {0.0, -0.0, 1.0, -1.0, 0.1, -0.1, 1e-45, -1e-45, 1e-300, -1e-300, FLT_MIN, -FLT_MIN,
                              FLT_MAX, -FLT_MAX, 1e39, -1e39, std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    // Each side of floats and of the points halfway between two floats.
    for (float f : {1.0f, -1.0f, 0.3f, -0.3f, 1e-40f, -1e-40f, 123456.7f, -3.0e38f, FLT_MIN, -FLT_MIN}) {
        const double x = f, next = std::nextafter(f, 2.0f * f + 1.0f);
        for (double h : {x, (x + next) / 2.0})
            hs.insert(hs.end(), {h, std::nextafter(h, -1e300), std::nextafter(h, 1e300)});
    }
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> any(-4.0, 4.0);
    std::uniform_int_distribution<int> exponent(-140, 130);
    for (int i = 0; i < 20000; ++i)
        hs.push_back(std::ldexp(any(random), exponent(random)));
    return hs;
}

} // namespace

TEST(HeightKey, IsTheKeyOfTheLargestFloatAtOrBelowTheHeight)
{
    for (double h : awkwardHeights())
        EXPECT_EQ(heightKey(h), orderKey(floatAtOrBelow(h))) << "height " << h;
}

TEST(HeightKey, OrdersAsTheFloatsDoWithNeighboursOneApart)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (float f : {-inf, -FLT_MAX, -1.0f, -FLT_MIN, -1e-45f, 0.0f, 1e-45f, FLT_MIN, 1.0f, FLT_MAX}) {
        if (f != inf && f != FLT_MAX) {
            const float next = std::nextafter(f, inf);
            EXPECT_EQ(orderKey(next), orderKey(f) + 1) << f;
        }
    }
    EXPECT_EQ(orderKey(0.0f), orderKey(-0.0f) + 1);
    EXPECT_LT(orderKey(-inf), orderKey(-FLT_MAX));
}
