// Slabs of a many-vertex polygon's edges against walking every edge: the same answer to the bit,
// on convex, concave and self-crossing outlines, with level edges, repeated corners, infinities
// and NaN, along all three axes, for points on corners and edges, a float step off them and at
// random.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "host/shapes.h"
#include "texture/edge_slabs.h"
#include "texture/polygon_crossing.h"

using standin::Point2;

namespace {

constexpr int firstAxis[3] = {1, 0, 0};
constexpr int secondAxis[3] = {2, 2, 1};

std::vector<Point2> circle(int n, double radius)
{
    std::vector<Point2> outline;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * 3.14159265358979323846 * i / n;
        outline.push_back({radius * std::cos(a), radius * std::sin(a)});
    }
    return outline;
}

// Teeth running the whole height, one after another: every edge spans nearly every slab, so the
// table must fall back to fewer slabs.
std::vector<Point2> comb(int teeth)
{
    std::vector<Point2> outline;
    for (int i = 0; i < teeth; ++i)
        outline.insert(outline.end(), {{2.0 * i, 0.0}, {2.0 * i + 1, 10.0}});
    outline.push_back({2.0 * teeth, -1.0});
    return outline;
}

std::vector<Point2> randomWalk(int n, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> step(-1.0, 1.0);
    std::vector<Point2> outline{{0.0, 0.0}};
    for (int i = 1; i < n; ++i)
        outline.push_back({outline.back()[0] + step(random), outline.back()[1] + step(random)});
    return outline;
}

// Level runs, repeated corners, corners on a lattice (points land on them exactly).
std::vector<Point2> staircase(int steps)
{
    std::vector<Point2> outline;
    for (int i = 0; i < steps; ++i)
        outline.insert(outline.end(), {{double(i), double(i)}, {double(i), double(i)}, {i + 1.0, double(i)}});
    outline.insert(outline.end(), {{double(steps), double(steps)}, {0.0, double(steps)}});
    return outline;
}

struct Shape {
    std::string name;
    std::vector<Point2> outline;
    std::function<void(std::vector<float> &)> spoil;   // changes to the corners after placing them
};

std::vector<Shape> shapes()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return {
        {"circle of 5000", circle(5000, 3.0), {}},
        {"star of 400 spikes", standin::starOutline({0.5, -0.25}, 2.0, 0.5, 400), {}},
        {"comb of 300 teeth", comb(300), {}},
        {"random walk of 2000", randomWalk(2000, 5), {}},
        {"staircase with level edges and repeats", staircase(40), {}},
        {"circle with NaN and infinite corners", circle(64, 1.0),
         [nan](std::vector<float> &c) {
             c[3 * 5 + 0] = nan, c[3 * 9 + 1] = nan, c[3 * 13 + 2] = nan;
             c[3 * 20 + 1] = HUGE_VALF, c[3 * 40 + 0] = -HUGE_VALF, c[3 * 50 + 2] = HUGE_VALF;
         }},
        {"circle of 70000, wide numbers", circle(70000, 1.0), {}},
    };
}

// The outline in the plane of (u, v), the third coordinate scattered: the rule reads only u and v.
std::vector<float> place(const std::vector<Point2> &outline, int axis)
{
    std::vector<float> corners(3 * outline.size());
    for (std::size_t j = 0; j < outline.size(); ++j) {
        corners[3 * j + static_cast<std::size_t>(firstAxis[axis])] = static_cast<float>(outline[j][0]);
        corners[3 * j + static_cast<std::size_t>(secondAxis[axis])] = static_cast<float>(outline[j][1]);
        corners[3 * j + static_cast<std::size_t>(axis)] = static_cast<float>(j % 7);
    }
    return corners;
}

// Corners, edge midpoints and their float neighbours, random points over the bounds and beyond,
// and points not a number or infinite.
std::vector<Point2> probes(const std::vector<float> &corners, int u, int v, unsigned seed)
{
    const std::size_t n = corners.size() / 3;
    std::mt19937_64 random(seed);
    std::vector<Point2> points;
    double low[2] = {HUGE_VAL, HUGE_VAL}, high[2] = {-HUGE_VAL, -HUGE_VAL};
    for (int k = 0; k < 300; ++k) {
        const std::size_t j = static_cast<std::size_t>(random() % n), next = (j + 1) % n;
        const float cu = corners[3 * j + static_cast<std::size_t>(u)], cv = corners[3 * j + static_cast<std::size_t>(v)];
        const float nu = corners[3 * next + static_cast<std::size_t>(u)], nv = corners[3 * next + static_cast<std::size_t>(v)];
        if (std::isfinite(cu) && std::isfinite(cv)) {
            low[0] = std::fmin(low[0], cu), high[0] = std::fmax(high[0], cu);
            low[1] = std::fmin(low[1], cv), high[1] = std::fmax(high[1], cv);
        }
        points.push_back({cu, cv});
        points.push_back({0.5 * (cu + nu), 0.5 * (cv + nv)});
        points.push_back({cu, std::nextafter(cv, HUGE_VALF)});
        points.push_back({std::nextafter(cu, -HUGE_VALF), std::nextafter(cv, -HUGE_VALF)});
        points.push_back({0.5 * (cu + nu), cv});
    }
    std::uniform_real_distribution<double> unit(-0.2, 1.2);
    for (int k = 0; k < 800; ++k)
        points.push_back({low[0] + (high[0] - low[0]) * unit(random), low[1] + (high[1] - low[1]) * unit(random)});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    points.insert(points.end(), {{nan, 0.0}, {0.0, nan}, {HUGE_VAL, 0.0}, {0.0, -HUGE_VAL}, {0.0, HUGE_VAL}});
    return points;
}

} // namespace

TEST(EdgeSlabs, AnswerAsWalkingEveryEdgeOnEveryShapeAndAxis)
{
    for (const Shape &shape : shapes())
        for (int placed = 0; placed < 3; ++placed) {
            const int v = secondAxis[placed];
            std::vector<float> corners = place(shape.outline, placed);
            if (shape.spoil)
                shape.spoil(corners);
            const int count = static_cast<int>(corners.size() / 3);
            ASSERT_GE(count, ostrevin::manyVertices) << shape.name;
            const auto *bytes = reinterpret_cast<const unsigned char *>(corners.data());
            // The table's storage filled with junk first: the layout must not rely on zeros.
            std::vector<unsigned char> table(ostrevin::edgeSlabsBytes(count), 0xA5);
            ostrevin::layOutEdgeSlabs(table.data(), bytes, count, v);
            const char *broken = ostrevin::checkEdgeSlabs(table.data(), bytes, count, v);
            EXPECT_EQ(broken, nullptr) << shape.name << ": " << broken;

            // One table serves every axis whose crossings run across the same v.
            for (int axis = 0; axis < 3; ++axis) {
                const int u = firstAxis[axis];
                if (secondAxis[axis] != v)
                    continue;
                int wrong = 0;
                std::string first;
                for (const Point2 &p : probes(corners, u, v, static_cast<unsigned>(axis + 1))) {
                    const bool expected = ostrevin::projectionContainsBy(
                        count, p[0], p[1], [&](int j) noexcept { return static_cast<double>(corners[3 * j + u]); },
                        [&](int j) noexcept { return static_cast<double>(corners[3 * j + v]); });
                    if (ostrevin::edgeSlabsContain(table.data(), bytes, count, u, v, p[0], p[1]) != expected &&
                        wrong++ == 0)
                        first = std::to_string(p[0]) + ", " + std::to_string(p[1]);
                }
                EXPECT_EQ(wrong, 0) << shape.name << ", placed for axis " << placed << ", axis " << axis
                                    << ", first at (" << first << ")";
            }
        }
}

// A convex outline gets many slabs, a few edges each on average (the slabs at its extremes along v
// hold its flatter edges, more of them); a comb whose every edge spans the whole height falls
// back to fewer; both within the storage sized by the vertex count.
TEST(EdgeSlabs, SlabsFitTheStorageAndStayFewEdgesDeepOnAConvexOutline)
{
    for (const auto &[outline, convex] : {std::pair{circle(5000, 1.0), true}, std::pair{comb(300), false}}) {
        const std::vector<float> corners = place(outline, 2);
        const int count = static_cast<int>(outline.size());
        std::vector<unsigned char> table(ostrevin::edgeSlabsBytes(count) + 8, 0x5A);
        ostrevin::layOutEdgeSlabs(table.data(), reinterpret_cast<const unsigned char *>(corners.data()), count, 1);
        ostrevin::edge_slabs::Head head;
        std::memcpy(&head, table.data(), sizeof head);
        const unsigned char *starts = table.data() + ostrevin::edge_slabs::headBytes;
        const std::uint32_t entries = ostrevin::edge_slabs::numberAt(starts, head.slabs, false);
        if (convex) {
            EXPECT_EQ(head.slabs, static_cast<std::uint32_t>(count / 2));
            EXPECT_LE(entries, 4 * head.slabs);
        } else {
            EXPECT_LT(head.slabs, static_cast<std::uint32_t>(count / 2));
        }
        for (std::size_t k = ostrevin::edgeSlabsBytes(count); k < table.size(); ++k)
            EXPECT_EQ(table[k], 0x5A) << "written past the table";
    }
}
