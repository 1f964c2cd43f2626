// The projected point-in-polygon rule on its own: tilings count every point once, concave outlines
// agree with a winding-number oracle, and an edge answers the same whichever way it is walked.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "host/shapes.h"
#include "texture/geometry/polygon_crossing.h"

using ostrevin::edgeCrossesPositiveU;
using standin::Point2;

namespace {

bool contains(const std::vector<Point2> &outline, double x, double y)
{
    std::vector<double> v;
    for (const Point2 &p : outline)
        v.insert(v.end(), {p[0], p[1], 0.0});
    return ostrevin::projectionContains(reinterpret_cast<const double(*)[3]>(v.data()), static_cast<int>(outline.size()),
                                        0, 1, x, y);
}

constexpr int nearOutline = 1000;

// Winding number by summed angles, or nearOutline within `margin` of the outline.
int winding(const std::vector<Point2> &outline, double x, double y, double margin)
{
    double turn = 0.0;
    for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
        const double ax = outline[j][0] - x, ay = outline[j][1] - y, bx = outline[i][0] - x, by = outline[i][1] - y;
        const double ex = bx - ax, ey = by - ay;
        const double t = std::fmax(0.0, std::fmin(1.0, -(ax * ex + ay * ey) / (ex * ex + ey * ey)));
        if (std::hypot(ax + t * ex, ay + t * ey) < margin)
            return nearOutline;
        turn += std::atan2(ax * by - ay * bx, ax * bx + ay * by);
    }
    return static_cast<int>(std::lround(turn / (2 * 3.14159265358979323846)));
}

} // namespace

// A 4 x 4 square of unit cells, split into triangles with alternating diagonals or kept as quads:
// every lattice point strictly inside belongs to exactly one tile, on edges and corners too.
TEST(PolygonCrossing, TilingsCountEveryInteriorPointOnce)
{
    for (bool triangles : {true, false}) {
        std::vector<std::vector<Point2>> tiles;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                const Point2 a{double(i), double(j)}, b{i + 1.0, double(j)}, c{i + 1.0, j + 1.0}, d{double(i), j + 1.0};
                if (!triangles)
                    tiles.push_back({a, b, c, d});
                else if ((i + j) % 2)
                    tiles.insert(tiles.end(), {{a, b, c}, {a, c, d}});
                else
                    tiles.insert(tiles.end(), {{a, b, d}, {d, c, b}});   // one walked clockwise
            }
        for (int i = -4; i <= 20; ++i)
            for (int j = -4; j <= 20; ++j) {
                const double x = 0.25 * i, y = 0.25 * j;
                int count = 0;
                for (const auto &tile : tiles)
                    count += contains(tile, x, y);
                const bool interior = 0 < x && x < 4 && 0 < y && y < 4, exterior = x < 0 || x > 4 || y < 0 || y > 4;
                if (interior || exterior)
                    ASSERT_EQ(count, interior ? 1 : 0) << x << ", " << y << (triangles ? " triangles" : " quads");
                else
                    ASSERT_LE(count, 1) << x << ", " << y;
            }
    }
}

TEST(PolygonCrossing, ConcaveOutlinesAgreeWithTheWindingNumber)
{
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> coordinate(-2.5, 4.5);
    std::vector<std::vector<Point2>> outlines = {standin::starOutline({0.5, 0.25}, 2.0, 0.6, 7),
                                                 standin::lOutline({-1, -1}, 4, 3, 1.5)};
    outlines.push_back({outlines[0].rbegin(), outlines[0].rend()});
    int checked = 0;
    for (const auto &outline : outlines)
        for (int k = 0; k < 4000; ++k) {
            const double x = coordinate(random), y = coordinate(random);
            const int w = winding(outline, x, y, 1e-9);
            if (w == nearOutline)
                continue;
            ++checked;
            ASSERT_EQ(contains(outline, x, y), w != 0) << x << ", " << y;
        }
    EXPECT_GT(checked, 11000);
}

TEST(PolygonCrossing, AnEdgeAnswersTheSameInEitherDirection)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> small(-3, 3);
    auto value = [&] { return small(random) * 0.5; };
    for (int k = 0; k < 20000; ++k) {
        const double au = value(), av = value(), bu = value(), bv = value(), pu = value(), pv = value();
        ASSERT_EQ(edgeCrossesPositiveU(au, av, bu, bv, pu, pv), edgeCrossesPositiveU(bu, bv, au, av, pu, pv));
    }
}

// Triangles and quads take the edges two at a time; each lane must answer as the one-edge test on
// the same operands, ties, signed zeros, infinities and NaN included, and the polygon as the
// parity of its edges.
TEST(PolygonCrossing, EdgesTakenInPairsAnswerAsOneAtATime)
{
    const double awkward[] = {0.0, -0.0, 0.5, -0.5, 1.0, 1e-300, -1e300, HUGE_VAL, -HUGE_VAL, std::nan("")};
    std::mt19937 random(99);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(awkward)) - 1);
    std::uniform_int_distribution<int> small(-2, 2);
    for (int k = 0; k < 40000; ++k) {
        // Mostly small values with many ties; one draw in four from the awkward ones.
        auto value = [&] { return small(random) % 4 == 0 ? awkward[pick(random)] : small(random) * 0.5; };
        double u[4], v[4];
        for (int j = 0; j < 4; ++j) {
            u[j] = value();
            v[j] = value();
        }
        const double pu = value(), pv = value();
        const ostrevin::EdgePairMask pair = ostrevin::edgesCrossPositiveU(
            ostrevin::EdgePair{u[0], u[1]}, ostrevin::EdgePair{v[0], v[1]}, ostrevin::EdgePair{u[2], u[3]},
            ostrevin::EdgePair{v[2], v[3]}, pu, pv);
        ASSERT_EQ(pair[0] != 0, edgeCrossesPositiveU(u[0], v[0], u[2], v[2], pu, pv)) << k;
        ASSERT_EQ(pair[1] != 0, edgeCrossesPositiveU(u[1], v[1], u[3], v[3], pu, pv)) << k;

        for (int count : {3, 4}) {
            bool parity = false;
            for (int j = 0, prev = count - 1; j < count; prev = j++)
                parity ^= edgeCrossesPositiveU(u[prev], v[prev], u[j], v[j], pu, pv);
            const bool byRule = ostrevin::projectionContainsBy(
                count, pu, pv, [&](int j) { return u[j]; }, [&](int j) { return v[j]; });
            ASSERT_EQ(byRule, parity) << k << " with " << count << " corners";
        }
    }
}
