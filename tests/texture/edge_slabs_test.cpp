// Slabs of a many-vertex polygon's edges against walking every edge: the same answer to the bit,
// on convex, concave and self-crossing outlines, with level edges, repeated corners, infinities
// and NaN, huge and tiny coordinates, along all three axes, for points on corners and edges, a
// float step off them, at and around the ends of the slabs' clear intervals, and at random.
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
#include "texture/inside/edge_slabs.h"
#include "texture/geometry/polygon_crossing.h"

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

// A convex outline whose corners lie on every slab boundary: N + 1 rows one apart along v, half
// as many slabs as corners.
std::vector<Point2> latticeRound(int rows)
{
    std::vector<Point2> outline;
    for (int i = 0; i <= rows; ++i)
        outline.push_back({std::sqrt(double(i) * (rows - i)) + 0.5, double(i)});
    for (int i = rows - 1; i > 0; --i)
        outline.push_back({-std::sqrt(double(i) * (rows - i)) - 0.5, double(i)});
    return outline;
}

// Two turns inwards, then back out along a parallel track: concave slabs with many edges.
std::vector<Point2> spiral(int n)
{
    std::vector<Point2> outline;
    for (int i = 0; i < n / 2; ++i) {
        const double a = 4 * 3.14159265358979323846 * i / (n / 2), r = 1.0 + 0.8 * i / (n / 2);
        outline.push_back({r * std::cos(a), r * std::sin(a)});
    }
    for (int i = n / 2 - 1; i >= 0; --i) {
        const double a = 4 * 3.14159265358979323846 * i / (n / 2), r = 1.1 + 0.8 * i / (n / 2);
        outline.push_back({r * std::cos(a), r * std::sin(a)});
    }
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
        {"round outline with corners on the slab boundaries", latticeRound(200), {}},
        {"spiral of 1200", spiral(1200), {}},
        {"huge circle", circle(3000, 1e37), {}},
        {"tiny circle off the origin", [] {
             std::vector<Point2> outline = circle(3000, 1e-30);
             for (Point2 &p : outline)
                 p[0] += 1e-28;
             return outline;
         }(), {}},
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

// Points at the ends of the slabs' clear intervals along u and a double step either side, on the
// slabs' middle lines, on their boundaries and a step off them; and at the gap's edges, within the
// margin.
std::vector<Point2> intervalEnds(const std::vector<unsigned char> &table, int count, int u, int v)
{
    using namespace ostrevin::edge_slabs;
    ostrevin::edge_slabs::Head head;
    std::memcpy(&head, table.data(), sizeof head);
    Steps steps;
    std::memcpy(&steps, table.data() + headBytes + sizeof steps * static_cast<std::size_t>(u), sizeof steps);
    const unsigned char *clear = table.data() + clearOffset(static_cast<std::size_t>(count), v, u);
    std::vector<Point2> points;
    if (!(steps.scale > 0.0))
        return points;
    for (std::uint32_t s = 0; s < head.slabs; s += 1 + head.slabs / 97) {
        const double width = head.slabs > 1 ? 1.0 / head.scale : 1.0;
        const double lines[] = {head.low + (s + 0.5) * width, head.low + s * width,
                                std::nextafter(head.low + s * width, -HUGE_VAL)};
        for (int end = 0; end < 2; ++end) {
            const double at = steps.low + (end == 0 ? clear[2 * s] & 0x7F : clear[2 * s + 1]) / steps.scale;
            for (double pu : {at, std::nextafter(at, -HUGE_VAL), std::nextafter(at, HUGE_VAL),
                              at + (end == 0 ? -1.0 : 1.0) * 0.5 / steps.scale})
                for (double pv : lines)
                    points.push_back({pu, pv});
        }
    }
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
            std::vector<unsigned char> table(ostrevin::edgeSlabsBytes(count, v), 0xA5);
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
                std::vector<Point2> points = probes(corners, u, v, static_cast<unsigned>(axis + 1));
                if (u < v) {
                    const std::vector<Point2> ends = intervalEnds(table, count, u, v);
                    points.insert(points.end(), ends.begin(), ends.end());
                }
                for (const Point2 &p : points) {
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
// hold its flatter edges, more of them), nearly all with their inside as a clear interval; a comb
// whose every edge spans the whole height falls back to fewer; both within the storage sized by
// the vertex count.
TEST(EdgeSlabs, SlabsFitTheStorageAndStayFewEdgesDeepOnAConvexOutline)
{
    for (const auto &[outline, convex] : {std::pair{circle(5000, 1.0), true}, std::pair{comb(300), false}}) {
        const std::vector<float> corners = place(outline, 2);
        const int count = static_cast<int>(outline.size());
        std::vector<unsigned char> table(ostrevin::edgeSlabsBytes(count, 1) + 8, 0x5A);
        ostrevin::layOutEdgeSlabs(table.data(), reinterpret_cast<const unsigned char *>(corners.data()), count, 1);
        ostrevin::edge_slabs::Head head;
        std::memcpy(&head, table.data(), sizeof head);
        const unsigned char *starts = table.data() + ostrevin::edge_slabs::startsOffset(1);
        const std::uint32_t entries = ostrevin::edge_slabs::numberAt(starts, head.slabs, false);
        if (convex) {
            EXPECT_EQ(head.slabs, static_cast<std::uint32_t>(count / 2));
            EXPECT_LE(entries, 4 * head.slabs);
            const unsigned char *clear = table.data() + ostrevin::edge_slabs::clearOffset(outline.size(), 1, 0);
            std::uint32_t odd = 0;
            for (std::uint32_t s = 0; s < head.slabs; ++s)
                odd += clear[2 * s] >> 7 && (clear[2 * s] & 0x7F) < clear[2 * s + 1];
            EXPECT_GE(odd, head.slabs - head.slabs / 50);
        } else {
            EXPECT_LT(head.slabs, static_cast<std::uint32_t>(count / 2));
        }
        for (std::size_t k = ostrevin::edgeSlabsBytes(count, 1); k < table.size(); ++k)
            EXPECT_EQ(table[k], 0x5A) << "written past the table";
    }

    // Sides standing exactly on the first and last steps: every clear interval stops a step short
    // of them, the margin's side of each (a point on a side must walk its edges).
    std::vector<Point2> box;
    for (int i = 0; i < 16; ++i)
        box.push_back({127.0, double(i)});
    for (int i = 15; i >= 0; --i)
        box.push_back({0.0, double(i)});
    const std::vector<float> corners = place(box, 2);
    std::vector<unsigned char> table(ostrevin::edgeSlabsBytes(32, 1));
    ostrevin::layOutEdgeSlabs(table.data(), reinterpret_cast<const unsigned char *>(corners.data()), 32, 1);
    ostrevin::edge_slabs::Head head;
    std::memcpy(&head, table.data(), sizeof head);
    const unsigned char *clear = table.data() + ostrevin::edge_slabs::clearOffset(32, 1, 0);
    for (std::uint32_t s = 0; s < head.slabs; ++s)
        if ((clear[2 * s] & 0x7F) < clear[2 * s + 1]) {
            EXPECT_GE(clear[2 * s] & 0x7F, 1) << "slab " << s;
            EXPECT_LE(clear[2 * s + 1], 126) << "slab " << s;
        }
}
