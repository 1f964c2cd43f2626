// The distance index against the plain scan of every polygon: the same distance (to 1e-12
// relative) on random, lattice and near-surface points, for a width of 5% of the mesh's diagonal
// and for one wider than the mesh, with all its storage within the records' bytes; and a few
// cells inside a face at a width of a few cells, where the grid's far cells begin.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "texture/distance/distance_index.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/distance/polygon_distance.h"

using ostrevin::DistanceIndex;
using standin::Point3;
using standin::SceneObject;

namespace {

using Vec = std::array<double, 3>;

struct Target {
    std::string name;
    std::function<void(SceneObject &)> make;
};

const std::vector<Target> &targets()
{
    static const std::vector<Target> list = {
        {"divided triangulated box", [](SceneObject &o) { standin::appendTriangulatedBox(o, {-1, -1, -1}, {1, 1, 1}, 7); }},
        {"icosphere", [](SceneObject &o) { standin::appendIcosphere(o, {0.1f, 0.2f, 0.3f}, 1.0, 4); }},
        {"torus", [](SceneObject &o) { standin::appendTorus(o, {0, 0, 0}, 1.0, 0.3, 48, 24); }},
        {"star prism alone, few enough polygons to be searched leaf by leaf", [](SceneObject &o) {
             standin::appendPrism(o, standin::starOutline({0, 0}, 1.0, 0.35, 7), -0.3, 0.4);
         }},
        {"star prism and L, concave n-gons", [](SceneObject &o) {
             standin::appendPrism(o, standin::starOutline({0, 0}, 1.0, 0.35, 7), -0.3, 0.4);
             standin::appendPrism(o, standin::lOutline({1.2, -1}, 1.5, 2, 0.4), -1, 1, 0);
         }},
        {"boxes of very different sizes, one warped; a pentagon without a first plane", [](SceneObject &o) {
             standin::appendBox(o, {-3, -3, -3}, {3, 3, 3}, 2);
             for (int i = 0; i < 40; ++i) {
                 const float x = -2.5f + 0.125f * static_cast<float>(i);
                 standin::appendBox(o, {x, -0.05f, -0.02f}, {x + 0.04f, 0.05f, 0.02f});
             }
             o.points[5][2] += 0.7f;
             // A pentagon whose first three vertices lie on one line, off its plane at the fourth.
             const int first = static_cast<int>(o.points.size());
             o.points.insert(o.points.end(), {{-2, -2, 2.5f}, {-1, -2, 2.5f}, {0, -2, 2.5f}, {0, -1, 2.7f}, {-2, -1, 2.5f}});
             o.addPolygon({first, first + 1, first + 2, first + 3, first + 4});
         }},
    };
    return list;
}

// Points where the index has most to get wrong: at random through the box around the mesh, on a
// lattice through it, and just off the surface (the lattice's spacing and a few units in the last
// place away from polygons, where the nearest polygon changes most often).
std::vector<Vec> probes(const SceneObject &o, const ostrevin::MeshCache &cache)
{
    std::vector<Vec> out;
    Vec low, high;
    for (int c = 0; c < 3; ++c) {
        const double margin = 0.1 * (cache.bounds.high[c] - cache.bounds.low[c]);
        low[c] = cache.bounds.low[c] - margin;
        high[c] = cache.bounds.high[c] + margin;
    }
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 1500; ++i)
        out.push_back({low[0] + (high[0] - low[0]) * unit(random), low[1] + (high[1] - low[1]) * unit(random),
                       low[2] + (high[2] - low[2]) * unit(random)});
    constexpr int steps = 12;
    for (int i = 0; i <= steps; ++i)
        for (int j = 0; j <= steps; ++j)
            for (int k = 0; k <= steps; ++k)
                out.push_back({low[0] + (high[0] - low[0]) * i / steps, low[1] + (high[1] - low[1]) * j / steps,
                               low[2] + (high[2] - low[2]) * k / steps});
    for (int i = 0; i < 1500; ++i) {
        const auto &polygon = o.polygons[static_cast<std::size_t>(random() % o.polygons.size())];
        const Point3 &a = o.points[polygon[0]], &b = o.points[polygon[1]], &c = o.points[polygon[2]];
        double s = unit(random), t = unit(random);
        if (s + t > 1) {
            s = 1 - s;
            t = 1 - t;
        }
        const double offset = (i % 3 == 0 ? 1e-12 : i % 3 == 1 ? 1e-6 : 1e-3) * (unit(random) - 0.5);
        Vec p;
        for (int k = 0; k < 3; ++k)
            p[k] = a[k] + s * (b[k] - a[k]) + t * (c[k] - a[k]) + offset;
        out.push_back(p);
        out.push_back({a[0] + offset, a[1] - offset, a[2] + offset});
    }
    return out;
}

// The index's distance at each point against the scan's (`scan`, point by point).
void expectScanDistances(const DistanceIndex &index, const std::vector<Vec> &points, const std::vector<double> &scan,
                         double width, const std::string &what)
{
    int wrong = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Vec &p = points[i];
        const double expected = std::min(scan[i], width);
        const double found = index.distanceWithinWidth(p.data());
        if (!(std::fabs(found - expected) <= 1e-12 * expected) && wrong++ < 5)
            ADD_FAILURE() << what << ": at " << p[0] << " " << p[1] << " " << p[2] << " the index finds " << found
                          << ", the scan " << expected;
    }
    EXPECT_EQ(wrong, 0) << what;
}

double recordBytes(const ostrevin::MeshCache &cache)
{
    double bytes = static_cast<double>(cache.polygonCapacity) * sizeof(ostrevin::PolygonRecord);
    for (int i = 0; i < cache.polygonCapacity; ++i)
        bytes += static_cast<double>(cache.polygons[i].vertexCapacity) * sizeof(double[3]);
    return bytes;
}

} // namespace

TEST(DistanceIndex, FindsTheScansDistanceWithinTheWidthOnEveryTarget)
{
    for (const Target &target : targets()) {
        standin::StandInHost host;
        SceneObject &o = host.scene().addObject(target.name);
        target.make(o);
        ostrevin::HostServices services(standin::StandInHost::globalFunc());
        ostrevin::MeshCache cache(services);
        cache.build(o.id);
        const std::vector<Vec> points = probes(o, cache);
        std::vector<double> scan;
        for (const Vec &p : points)
            scan.push_back(std::sqrt(ostrevin::nearestDistanceSquared(cache.polygons, cache.polygonCount, p.data())));
        double diagonal = 0;
        for (int c = 0; c < 3; ++c)
            diagonal += (cache.bounds.high[c] - cache.bounds.low[c]) * (cache.bounds.high[c] - cache.bounds.low[c]);
        diagonal = std::sqrt(diagonal);

        DistanceIndex index;
        long far = 0;
        for (const double width : {0.05 * diagonal, 0.003 * diagonal, 10 * diagonal}) {
            ASSERT_TRUE(index.build(cache.polygons, cache.polygonCount, cache.bounds, width));
            const std::string what = target.name + ", width " + std::to_string(width);
            EXPECT_EQ(index.check(), nullptr) << what;
            expectScanDistances(index, points, scan, width, what);
            EXPECT_LE(static_cast<double>(index.bytes()), recordBytes(cache)) << what;
            for (const Vec &p : points)
                far += index.inFarCell(p.data());
        }
        // A few polygons get too few cells for any to be far.
        if (cache.polygonCount > 16) {
            EXPECT_GT(far, 0) << target.name << ": the grid never spared a search";
        }
    }
}

TEST(DistanceIndex, ConcurrentSearchesAgreeAndRebuildsOfTheSameCountKeepTheStorage)
{
    standin::StandInHost host;
    SceneObject &o = host.scene().addObject("Torus");
    standin::appendTorus(o, {0, 0, 0}, 1.0, 0.3, 32, 16);
    ostrevin::HostServices services(standin::StandInHost::globalFunc());
    ostrevin::MeshCache cache(services);
    cache.build(o.id);
    DistanceIndex index;
    ASSERT_TRUE(index.build(cache.polygons, cache.polygonCount, cache.bounds, 0.2));
    EXPECT_EQ(index.check(), nullptr);
    const std::size_t bytes = index.bytes();
    ASSERT_TRUE(index.build(cache.polygons, cache.polygonCount, cache.bounds, 0.01));
    EXPECT_EQ(index.check(), nullptr);
    EXPECT_EQ(index.bytes(), bytes);

    const std::vector<Vec> points = probes(o, cache);
    std::vector<double> alone(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        alone[i] = index.distanceWithinWidth(points[i].data());
    std::vector<double> a(points.size()), b(points.size());
    std::thread first([&] {
        for (std::size_t i = 0; i < points.size(); ++i)
            a[i] = index.distanceWithinWidth(points[i].data());
    });
    std::thread second([&] {
        for (std::size_t i = points.size(); i-- > 0;)
            b[i] = index.distanceWithinWidth(points[i].data());
    });
    first.join();
    second.join();
    EXPECT_EQ(a, alone);
    EXPECT_EQ(b, alone);

    // Within one record's bytes even over a single polygon.
    DistanceIndex single;
    ASSERT_TRUE(single.build(cache.polygons, 1, cache.bounds, 0.2));
    EXPECT_EQ(single.check(), nullptr);
    EXPECT_LE(single.bytes(), sizeof(ostrevin::PolygonRecord) + 4 * sizeof(double[3]));

    // A width that is not a finite positive number builds nothing.
    for (const double width : {0.0, -1.0, HUGE_VAL, static_cast<double>(NAN)})
        EXPECT_FALSE(index.build(cache.polygons, cache.polygonCount, cache.bounds, width));
    EXPECT_FALSE(index.usable());
}

// A width of a few cells: the grid's distances reach the face's own cells across just a few
// others, so a cell two to four cells in is near the face, the far test's boundary case.
TEST(DistanceIndex, FindsTheScansDistanceAFewCellsInsideAFaceAtAWidthOfAFewCells)
{
    standin::StandInHost host;
    SceneObject &o = host.scene().addObject("Box");
    standin::appendTriangulatedBox(o, {-1, -1, -1}, {1, 1, 1}, 7);
    ostrevin::HostServices services(standin::StandInHost::globalFunc());
    ostrevin::MeshCache cache(services);
    cache.build(o.id);
    const double width = 0.12 * 2 * std::sqrt(3.0);
    DistanceIndex index;
    ASSERT_TRUE(index.build(cache.polygons, cache.polygonCount, cache.bounds, width));
    EXPECT_EQ(index.check(), nullptr);
    // Cells are a quarter of the width: depths of half the width to all of it below the face x = -1.
    std::vector<Vec> points;
    std::vector<double> scan;
    for (int depth = 0; depth < 13; ++depth)
        for (const double y : {-0.3, 0.1, 0.45})
            for (const double z : {-0.2, 0.35}) {
                points.push_back({-1 + (0.45 + 0.05 * depth) * width, y, z});
                scan.push_back(std::sqrt(ostrevin::nearestDistanceSquared(cache.polygons, cache.polygonCount,
                                                                          points.back().data())));
            }
    expectScanDistances(index, points, scan, width, "a few cells inside the face");
}
