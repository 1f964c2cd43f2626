// Each polygon's distance against geometry worked out by hand and against an independent closest
// point on a triangle; and the nearest of them continuous (never changing faster than the point
// moves) across shared edges, concave n-gons and polygons that leave their plane.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/distance/outline_slabs.h"
#include "texture/distance/polygon_distance.h"
#include "texture/target/smooth_step.h"

using ostrevin::nearestDistanceSquared;
using ostrevin::polygonDistanceSquared;
using standin::Point3;
using standin::SceneObject;

namespace {

using Vec = std::array<double, 3>;

class PolygonDistance : public ::testing::Test {
protected:
    // One object of the given polygons, each with corners of its own, cached.
    void build(const std::vector<std::vector<Point3>> &polygons)
    {
        SceneObject &o = host.scene().addObject("Object");
        for (const auto &corners : polygons) {
            std::vector<int> indices;
            for (const Point3 &c : corners) {
                indices.push_back(static_cast<int>(o.points.size()));
                o.points.push_back(c);
            }
            o.addPolygon(indices);
        }
        cache.build(o.id);
    }
    void build(SceneObject &o) { cache.build(o.id); }
    double distance(int polygon, const Vec &p) const { return std::sqrt(polygonDistanceSquared(cache.polygons[polygon], p.data())); }
    double nearest(const Vec &p) const { return std::sqrt(nearestDistanceSquared(cache.polygons, cache.polygonCount, p.data())); }

    standin::StandInHost host;
    ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    ostrevin::MeshCache cache{services};
};

// Closest point on triangle abc (the regions of its vertices, edges and face), in long double.
long double triangleDistance(const Vec &p, const Vec &a, const Vec &b, const Vec &c)
{
    using L = long double;
    const auto sub = [](const Vec &x, const Vec &y) { return std::array<L, 3>{L(x[0]) - y[0], L(x[1]) - y[1], L(x[2]) - y[2]}; };
    const auto dot = [](const std::array<L, 3> &x, const std::array<L, 3> &y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
    const auto ab = sub(b, a), ac = sub(c, a), ap = sub(p, a), bp = sub(p, b), cp = sub(p, c);
    const L d1 = dot(ab, ap), d2 = dot(ac, ap), d3 = dot(ab, bp), d4 = dot(ac, bp), d5 = dot(ab, cp), d6 = dot(ac, cp);
    L v = 0, w = 0;
    if (d1 <= 0 && d2 <= 0) {
    } else if (d3 >= 0 && d4 <= d3) {
        v = 1;
    } else if (d6 >= 0 && d5 <= d6) {
        w = 1;
    } else if (d1 * d4 - d3 * d2 <= 0 && d1 >= 0 && d3 <= 0) {
        v = d1 / (d1 - d3);
    } else if (d5 * d2 - d1 * d6 <= 0 && d2 >= 0 && d6 <= 0) {
        w = d2 / (d2 - d6);
    } else if (d3 * d6 - d5 * d4 <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
        w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        v = 1 - w;
    } else {
        const L denominator = 1 / ((d3 * d6 - d5 * d4) + (d5 * d2 - d1 * d6) + (d1 * d4 - d3 * d2));
        v = (d5 * d2 - d1 * d6) * denominator;
        w = (d1 * d4 - d3 * d2) * denominator;
    }
    L sum = 0;
    for (int k = 0; k < 3; ++k) {
        const L q = a[k] + v * ab[k] + w * ac[k];
        sum += (p[k] - q) * (p[k] - q);
    }
    return std::sqrt(sum);
}

} // namespace

TEST_F(PolygonDistance, FaceEdgeVertexNotchAndWhatIsNotMeasured)
{
    build({
        {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}},                  // 0: square
        {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}},   // 1: concave L
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},                             // 2: triangle
        {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}},                  // 3: first three on a line
        {{0, 0, 0}, {1, 1, 1}},                                        // 4: two vertices
        {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 1}},                  // 5: fourth vertex off the plane z = 0
        {{0, 0, 0}, {1, 0, 0}, {3, 0, 0}},                             // 6: all on a line
    });
    struct Case {
        int polygon;
        Vec p;
        double expected;
    } cases[] = {
        {0, {1, 1, 3}, 3},    {0, {1, 1, -0.5}, 0.5},     {0, {3, 1, 0}, 1},          {0, {3, 3, 0}, std::sqrt(2.0)},
        {0, {2, 1, 0}, 0},    {0, {2, 2, 1}, 1},          {0, {1, 0, 0}, 0},
        // In the L's notch the plane is not the answer: its nearest edges are.
        {1, {1.5, 1.5, 1}, std::sqrt(1.25)}, {1, {0.5, 1.5, 1}, 1}, {1, {1.5, 0.5, -2}, 2},
        {2, {1, 1, 0}, std::sqrt(0.5)},      {2, {0.25, 0.25, 2}, 2}, {2, {-1, -1, 1}, std::sqrt(3.0)},
        // The plane the whole outline spans, z = 0, where the first three give none; on a line,
        // only the edges.
        {3, {1, 0.5, 1}, 1},  {3, {1, -1, 0}, 1},  {6, {2, 1, 0}, 1},  {6, {-3, 4, 0}, 5},  {4, {0, 0, 0}, HUGE_VAL},
        // Measured as its outline dropped onto the plane of its first three vertices: the square.
        {5, {0, 2, 1}, 1}, {5, {1, 1, 3}, 3}, {5, {-1, 3, 0}, std::sqrt(2.0)},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(distance(c.polygon, c.p), c.expected)
            << "polygon " << c.polygon << " at " << c.p[0] << " " << c.p[1] << " " << c.p[2];
}

TEST_F(PolygonDistance, TrianglesAgreeWithAnIndependentClosestPoint)
{
    SceneObject &o = host.scene().addObject("Sphere");
    standin::appendIcosphere(o, {0.25, -0.5, 0.125}, 1.5, 1);
    build(o);
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> coordinate(-2.5, 2.5);
    for (int i = 0; i < 2000; ++i) {
        const Vec p{coordinate(random), coordinate(random), coordinate(random)};
        const int k = static_cast<int>(random() % o.polygons.size());
        const auto &t = o.polygons[k];
        const auto corner = [&](int j) {
            const Point3 &q = o.points[t[j]];
            return Vec{q[0], q[1], q[2]};
        };
        const double expected = static_cast<double>(triangleDistance(p, corner(0), corner(1), corner(2)));
        EXPECT_NEAR(distance(k, p), expected, 1e-12 + 1e-12 * expected) << "triangle " << k << ", point " << i;
    }
}

TEST_F(PolygonDistance, NearestIsContinuousAcrossSharedEdgesConcaveAndWarpedFaces)
{
    // A star prism (concave 10-gon caps) beside a cube with one corner lifted, so that its top and
    // two of its sides leave their planes.
    SceneObject &o = host.scene().addObject("Object");
    standin::appendPrism(o, standin::starOutline({0, 0}, 1.0, 0.4, 5), -0.5, 0.5);
    const int first = static_cast<int>(o.points.size());
    standin::appendBox(o, {1.5f, -0.5f, -0.5f}, {2.5f, 0.5f, 0.5f});
    for (std::size_t i = first; i < o.points.size(); ++i)
        if (o.points[i][0] > 2 && o.points[i][1] > 0 && o.points[i][2] > 0)
            o.points[i][2] = 0.9f;
    build(o);

    // Pairs a short step apart, many of them across an edge: the nearest distance is 1-Lipschitz.
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int checked = 0;
    for (const auto &polygon : o.polygons)
        for (std::size_t j = 0; j < polygon.size(); ++j) {
            const Point3 &a = o.points[polygon[j]], &b = o.points[polygon[(j + 1) % polygon.size()]];
            for (int s = 0; s < 8; ++s) {
                const double t = 0.5 * (unit(random) + 1.0);
                Vec p, q;
                for (int c = 0; c < 3; ++c) {
                    p[c] = a[c] + t * (b[c] - a[c]) + 0.02 * unit(random);
                    q[c] = p[c] + 0.01 * unit(random);
                }
                const double step = std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                                              (p[2] - q[2]) * (p[2] - q[2]));
                EXPECT_LE(std::fabs(nearest(p) - nearest(q)), step * (1 + 1e-9) + 1e-12);
                ++checked;
            }
        }
    EXPECT_GT(checked, 500);
}

TEST(SmoothStep, RampFromTheSurfaceToTheWidth)
{
    const struct {
        double x, expected;
    } cases[] = {{-1, 0}, {0, 0}, {0.25, 0.15625}, {0.5, 0.5}, {0.75, 0.84375}, {1, 1}, {7, 1}, {NAN, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(ostrevin::smoothStep(c.x), c.expected) << c.x;
}

// Polygons of many corners measured through their slabs: the plain walk's distance to the bit, for
// every kind of outline and point, with and without a limit.
TEST_F(PolygonDistance, SlabsGiveTheWalksDistanceToTheBit)
{
    const double pi = std::acos(-1.0);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const auto ring = [&](int k, double radius, double offset, double warp, double spikes) {
        std::vector<Point3> corners;
        for (int j = 0; j < k; ++j) {
            const double t = 2 * pi * j / k, r = radius * (1.0 + spikes * (j % 2));
            corners.push_back({float(offset + r * std::cos(t)), float(offset + r * std::sin(t)),
                               float(offset + warp * unit(random))});
        }
        return corners;
    };
    std::vector<Point3> comb;   // teeth across every slab: the slabs thin out
    for (int j = 0; j < 40; ++j)
        for (const float y : {0.0f, 10.0f})
            comb.push_back({float(j) + (y > 0 ? 0.0f : 0.5f), j % 2 ? y : 10.0f - y, 0.0f});
    std::vector<Point3> lined = ring(40, 1.0, 0.0, 0.0, 0.0);   // first three corners on one line
    lined[1] = {0.5f * (lined[0][0] + lined[2][0]), 0.5f * (lined[0][1] + lined[2][1]), 0.0f};
    std::vector<Point3> spiral;   // its projection crosses itself
    for (int j = 0; j < 120; ++j)
        spiral.push_back({float((1 + j / 40.0) * std::cos(0.157 * j)), float((1 + j / 40.0) * std::sin(0.157 * j)), 0.0f});
    const std::vector<std::vector<Point3>> polygons = {
        ring(2000, 1.0, 0.25, 0.0, 0.0),    // a cap
        ring(120, 1.0, 0.0, 0.05, 0.6),     // a warped star
        comb,
        ring(64, 1.0, 1e4, 1e-3, 0.3),      // far from the origin
        lined,
        spiral,
    };
    build(polygons);
    ostrevin::OutlineSlabs slabs;
    ASSERT_TRUE(slabs.build(cache.polygons, cache.polygonCount));
    EXPECT_EQ(slabs.outlineCount(), static_cast<int>(polygons.size()));
    for (int i = 0; i < cache.polygonCount; ++i) {
        const ostrevin::PolygonRecord &r = cache.polygons[i];
        const ostrevin::Bounds &b = r.bounds;
        std::vector<Vec> points;
        for (int j = 0; j < r.vertexCount; j += 7) {   // corners and edge middles, and just off them
            const double *x = r.vertices[j], *y = r.vertices[(j + 1) % r.vertexCount];
            points.push_back({x[0], x[1], x[2]});
            points.push_back({0.5 * (x[0] + y[0]), 0.5 * (x[1] + y[1]), 0.5 * (x[2] + y[2]) + 1e-9});
        }
        for (int n = 0; n < 400; ++n) {
            Vec p;
            for (int c = 0; c < 3; ++c) {
                const double middle = 0.5 * (b.low[c] + b.high[c]), half = 0.5 * (b.high[c] - b.low[c]) + 1e-3 * std::fabs(middle);
                p[static_cast<size_t>(c)] = middle + 1.5 * half * unit(random);
            }
            points.push_back(p);
        }
        for (const Vec &p : points)
            for (const double limit : {HUGE_VAL, 1e-4 * (b.high[0] - b.low[0]) * (b.high[0] - b.low[0])}) {
                const double walked = polygonDistanceSquared(r, p.data(), limit);
                const double slabbed = slabs.distanceSquared(cache.polygons, i, p.data(), limit);
                ASSERT_EQ(std::memcmp(&walked, &slabbed, sizeof walked), 0)
                    << "polygon " << i << " at " << p[0] << " " << p[1] << " " << p[2] << ": " << walked << " vs " << slabbed;
            }
    }
}
