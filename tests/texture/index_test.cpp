// The cache's index against the plain scan over its records: the same answer for every point, on
// meshes with shared edges and vertices, concave and non-planar faces, degenerate polygons and
// polygons of very different sizes, along all three axes, for points on the lattice of the mesh's
// own coordinates as well as at random; and storage that is reused from frame to frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "support/linear_scan.h"
#include "support/module_fixture.h"
#include "texture/geometry/axes.h"
#include "texture/geometry/plane_test.h"
#include "texture/mesh/mesh_cache.h"

using ostrevin::MeshCache;
using standin::Point3;
using standin::SceneObject;

namespace {

using Point = std::array<double, 3>;

struct Target {
    std::string name;
    std::function<void(SceneObject &)> make;
};

// Polygons that stress the rules: a first corner on one line (zero normal), two-vertex and
// repeated-vertex polygons, faces parallel to each axis, a non-planar quad, and a polygon with
// NaN in one coordinate.
void appendOddities(SceneObject &o)
{
    const auto add = [&o](std::vector<Point3> corners) {
        std::vector<int> indices;
        for (const Point3 &c : corners) {
            indices.push_back(static_cast<int>(o.points.size()));
            o.points.push_back(c);
        }
        o.addPolygon(indices);
    };
    add({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0.5f}});   // first three on a line
    add({{0, 0, 0}, {1, 1, 1}});                            // two vertices
    add({{0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {1, 0.25f, 0.5f}});
    add({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}});  // parallel to Z's plane
    add({{0, -1, -1}, {0, 1, -1}, {0, 1, 1}, {0, -1, 1}});  // parallel to X's plane
    add({{-0.75f, 0.25f, -0.5f}, {0.75f, 0.25f, -0.5f}, {0.75f, 0.75f, 0.5f}, {-0.75f, 0.5f, 0.75f}});   // non-planar
    const float nan = std::numeric_limits<float>::quiet_NaN();
    add({{0.25f, nan, 0.25f}, {0.5f, 0.25f, 0.75f}, {0.75f, 0.5f, 0.25f}});
}

// Long slivers across the whole mesh and tiny triangles: several levels of the grid in use.
void appendSizes(SceneObject &o)
{
    standin::appendIcosphere(o, {0, 0, 0}, 0.25, 3);
    for (int i = 0; i < 40; ++i) {
        const float y = -1.0f + 0.05f * static_cast<float>(i);
        const int base = static_cast<int>(o.points.size());
        o.points.push_back({-1.0f, y, -0.5f});
        o.points.push_back({1.0f, y + 0.01f, 0.5f});
        o.points.push_back({0.0f, y + 0.5f, 0.25f});
        o.addPolygon({base, base + 1, base + 2});
    }
}

// Outlines of many vertices in tilted planes, one concave and one bent out of its plane with a
// corner not a number: polygons whose edges the index keeps in slabs, crossed along every axis.
void appendTiltedOutlines(SceneObject &o)
{
    const auto add = [&o](const std::vector<standin::Point2> &outline, float bend) {
        std::vector<int> indices;
        for (std::size_t j = 0; j < outline.size(); ++j) {
            const float x = static_cast<float>(outline[j][0]), y = static_cast<float>(outline[j][1]);
            indices.push_back(static_cast<int>(o.points.size()));
            o.points.push_back({x, y, 0.3f * x - 0.2f * y + (j % 3 == 0 ? bend : 0.0f)});
        }
        o.addPolygon(indices);
    };
    add(standin::starOutline({0, 0}, 1.5, 0.6, 48), 0.0f);
    add(standin::starOutline({0.5, 0.25}, 1.0, 0.9, 20), 0.05f);
    o.points[static_cast<std::size_t>(o.polygons.back()[7])][1] = std::numeric_limits<float>::quiet_NaN();
}

// A prism whose caps are circles of `sides` corners.
void appendCylinder(SceneObject &o, int sides)
{
    std::vector<standin::Point2> ring;
    for (int i = 0; i < sides; ++i)
        ring.push_back({std::cos(6.283185307179586 * i / sides), std::sin(6.283185307179586 * i / sides)});
    standin::appendPrism(o, ring, -1, 1, 2);
}

std::vector<Target> targets()
{
    return {
        {"cube", [](SceneObject &o) { standin::appendBox(o, {-1, -1, -1}, {1, 1, 1}); }},
        // Faces at heights off every power-of-two grid: the cells' coarse heights must not round past them.
        {"box at off-grid heights",
         [](SceneObject &o) { standin::appendBox(o, {-1.1f, -0.9f, -1.3f}, {0.7f, 1.3f, 0.9f}); }},
        {"triangulated grid box", [](SceneObject &o) { standin::appendTriangulatedBox(o, {-2, -1, 0}, {2, 1, 1}, 4); }},
        {"icosphere", [](SceneObject &o) { standin::appendIcosphere(o, {0.5, -0.25, 0}, 1.5, 3); }},
        {"uv sphere", [](SceneObject &o) { standin::appendUVSphere(o, {0, 0, 0}, 1.0, 24, 12); }},
        {"torus", [](SceneObject &o) { standin::appendTorus(o, {0, 0, 0}, 1.0, 0.4, 24, 16); }},
        {"star prism",
         [](SceneObject &o) { standin::appendPrism(o, standin::starOutline({0, 0}, 2.0, 0.7, 5), -1, 1, 2); }},
        {"L prism along X",
         [](SceneObject &o) { standin::appendPrism(o, standin::lOutline({0, 0}, 4, 4, 1), -1, 1, 0); }},
        {"boxes and a sphere",
         [](SceneObject &o) {
             standin::appendBox(o, {-3, -1, -1}, {-1, 1, 1}, 2);
             standin::appendBox(o, {1, -1, -1}, {3, 1, 1});
             standin::appendIcosphere(o, {0, 0, 0}, 0.5, 2);
         }},
        {"odd polygons",
         [](SceneObject &o) {
             standin::appendBox(o, {-1, -1, -1}, {1, 1, 1});
             appendOddities(o);
         }},
        {"slivers and small triangles", appendSizes},
        {"cylinder of 400 sides", [](SceneObject &o) { appendCylinder(o, 400); }},
        {"star prisms of 60 corners along each axis",
         [](SceneObject &o) {
             for (int axis = 0; axis < 3; ++axis)
                 standin::appendPrism(o, standin::starOutline({0.5 * axis, 0}, 2.0, 0.8, 30), -1, 1, axis);
         }},
        {"tilted outlines of many vertices", appendTiltedOutlines},
    };
}

// Points on the mesh's own coordinates (vertices, edges and faces seen along any axis), next to
// them by one float step, half-way between them, and at random over the bounds grown by a tenth.
std::vector<Point> probePoints(const SceneObject &o, std::size_t count, unsigned seed)
{
    std::vector<double> values[3];
    for (const Point3 &p : o.points)
        for (int c = 0; c < 3; ++c)
            if (std::isfinite(p[c]))
                values[c].push_back(p[c]);
    double low[3], high[3];
    for (int c = 0; c < 3; ++c) {
        std::sort(values[c].begin(), values[c].end());
        values[c].erase(std::unique(values[c].begin(), values[c].end()), values[c].end());
        low[c] = values[c].front();
        high[c] = values[c].back();
        const double margin = 0.1 * (high[c] - low[c]) + 1e-3;
        low[c] -= margin;
        high[c] += margin;
    }
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto coordinate = [&](int c) {
        const std::vector<double> &v = values[c];
        const std::size_t i = static_cast<std::size_t>(unit(random) * static_cast<double>(v.size())) % v.size();
        switch (random() % 6) {
        case 0:
        case 1:
            return v[i];
        case 2:
            return static_cast<double>(std::nextafter(static_cast<float>(v[i]), HUGE_VALF));
        case 3:
            return static_cast<double>(std::nextafter(static_cast<float>(v[i]), -HUGE_VALF));
        case 4:
            return i + 1 < v.size() ? 0.5 * (v[i] + v[i + 1]) : v[i];
        default:
            return low[c] + (high[c] - low[c]) * unit(random);
        }
    };
    std::vector<Point> points(count);
    for (Point &p : points)
        for (int c = 0; c < 3; ++c)
            p[c] = coordinate(c);
    return points;
}

class IndexAgainstScan : public ::testing::Test {
protected:
    // Every mesh indexed, however small.
    void SetUp() override { cache.indexThreshold = 0; }

    // Builds `o` into the cache at the scene's current time.
    void build(const SceneObject &o) { cache.build(o.id, rule); }

    // The first invariant each axis's grid breaks, and points where the index and the scan
    // disagree, over all three axes: on the parity, and on the signed crossings either way.
    std::vector<std::string> disagreements(const std::vector<Point> &points)
    {
        std::vector<std::string> found;
        for (int axis = 0; axis < 3; ++axis) {
            cache.index.prepare(axis);
            if (const char *broken = cache.index.check(axis))
                found.push_back("axis " + std::to_string(axis) + ": " + broken);
            for (const Point &p : points) {
                const int u = ostrevin::crossFirstAxis[axis], v = ostrevin::crossSecondAxis[axis];
                bool agree = cache.isInside(p.data(), axis, u, v) == reference::scanInside(cache, p.data(), axis);
                for (bool backwards : {false, true})
                    agree &= cache.windingAlong(p.data(), axis, backwards) ==
                             cache.scanWinding(p.data(), axis, u, v, backwards);
                if (!agree && found.size() < 5)
                    found.push_back("axis " + std::to_string(axis) + " at (" + std::to_string(p[0]) + ", " +
                                    std::to_string(p[1]) + ", " + std::to_string(p[2]) + ")");
            }
        }
        return found;
    }

    // Each target added to the scene and built in turn, then `count` probe points on it; the seeds
    // run on from `seed`.
    void expectAgreementOnEveryTarget(std::size_t count, unsigned seed)
    {
        for (const Target &t : targets()) {
            SceneObject &o = host.scene().addObject(t.name);
            t.make(o);
            build(o);
            ASSERT_TRUE(cache.index.usable()) << t.name;
            const auto found = disagreements(probePoints(o, count, seed++));
            EXPECT_TRUE(found.empty()) << t.name << ": " << found.size() << " or more, first " << found.front();
        }
    }

    standin::StandInHost host;
    ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    MeshCache cache{services};
    int rule = ostrevin::evenOddRule;   // the fill rule every build serves
};

} // namespace

TEST_F(IndexAgainstScan, AgreesOnEveryTargetAxisAndPoint)
{
    expectAgreementOnEveryTarget(2000, 1);
}

// Built for Tolerant: open meshes (the odd polygons leave edges unpaired) get room for a grid on
// every axis, and every grid still answers as the scan.
TEST_F(IndexAgainstScan, AgreesWithRoomForAGridOnEveryAxis)
{
    rule = ostrevin::tolerantRule;
    expectAgreementOnEveryTarget(500, 101);
}

TEST_F(IndexAgainstScan, AgreesForPointsOutsideTheBoundsAndOnThem)
{
    SceneObject &o = host.scene().addObject("Cube");
    standin::appendBox(o, {-1, -1, -1}, {1, 1, 1}, 3);
    build(o);
    std::vector<Point> points;
    for (double x : {-5.0, -1.0, -1.0 / 3, 0.0, 1.0 / 3, 1.0, 5.0})
        for (double y : {-1e30, -1.0, 0.0, 1.0, 1e30})
            for (double z : {-2.0, -1.0, 0.0, 1.0, 2.0})
                points.push_back({x, y, z});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    points.push_back({nan, 0, 0});
    points.push_back({0, HUGE_VAL, 0});
    const auto found = disagreements(points);
    EXPECT_TRUE(found.empty()) << found.front();
}

// Every frame moves the target by an amount that is no round number: new rectangles, new cells,
// new slabs for the outlines of many vertices.
TEST_F(IndexAgainstScan, AgreesFrameAfterFrameAsTheTargetMovesAndKeepsItsStorage)
{
    SceneObject &o = host.scene().addObject("Torus");
    standin::appendTorus(o, {0, 0, 0}, 1.0, 0.3, 32, 12);
    appendTiltedOutlines(o);
    o.motion = [](double time) { return standin::Transform::translation(0.37 * time, -0.11 * time, 0.05 * time); };
    build(o);
    const std::size_t bytes = cache.index.bytes();
    // The grids share one block of entries; the first laid out starts it.
    cache.index.prepare(0);
    const std::uint32_t *pool = cache.index.grid(0).entries.words;
    const auto inPool = [&](int axis) {
        const std::uint32_t *at = cache.index.grid(axis).entries.words;
        return at >= pool && at < pool + bytes / sizeof(std::uint32_t);
    };
    for (int frame = 1; frame <= 4; ++frame) {
        host.scene().time = frame;
        build(o);
        // The grids the last frame asked for are refitted by the build, not laid out again.
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_EQ(cache.index.refittedByBuild(axis), frame > 1 || axis == 0) << "frame " << frame << ", axis " << axis;
        // The probes on the moved vertices, placed as the host places them.
        SceneObject moved;
        for (const Point3 &p : o.points)
            moved.points.push_back(o.motion(frame).apply(p));
        const auto found = disagreements(probePoints(moved, 300, static_cast<unsigned>(frame)));
        EXPECT_TRUE(found.empty()) << "frame " << frame << ": " << found.front();
        EXPECT_EQ(cache.index.bytes(), bytes) << "frame " << frame;
        for (int axis = 0; axis < 3; ++axis) {
            cache.index.prepare(axis);
            EXPECT_TRUE(inPool(axis)) << "frame " << frame << ", axis " << axis;
        }
        EXPECT_EQ(cache.index.grid(0).entries.words, pool) << "frame " << frame;
    }
}

// Only the grids asked for since the last build are refitted; when one that holds a part of the
// pool was not, every grid starts afresh from the pool's start.
TEST_F(IndexAgainstScan, RefitsOnlyTheGridsAskedForSinceTheLastBuild)
{
    SceneObject &o = host.scene().addObject("Torus");
    standin::appendTorus(o, {0, 0, 0}, 1.0, 0.3, 32, 12);
    o.motion = [](double time) { return standin::Transform::translation(0.21 * time, 0.0, -0.13 * time); };
    const auto refitted = [&] {
        std::string axes;
        for (int axis = 0; axis < 3; ++axis)
            axes += cache.index.refittedByBuild(axis) ? static_cast<char>('0' + axis) : '-';
        return axes;
    };
    build(o);
    cache.index.prepare(0);
    cache.index.prepare(2);
    const std::vector<std::pair<std::vector<int>, std::string>> frames = {
        {{2}, "0-2"},   // both asked for at the start; only 2 asked for now
        {{0, 1, 2}, "---"},
        {{}, "012"},
    };
    for (std::size_t f = 0; f < frames.size(); ++f) {
        host.scene().time = static_cast<double>(f + 1);
        build(o);
        EXPECT_EQ(refitted(), frames[f].second) << "frame " << f + 1;
        for (int axis : frames[f].first)
            cache.index.prepare(axis);
    }
    SceneObject moved;
    for (const Point3 &p : o.points)
        moved.points.push_back(o.motion(3.0).apply(p));
    const auto found = disagreements(probePoints(moved, 300, 41));
    EXPECT_TRUE(found.empty()) << found.front();
}

// A target deformed between frames: its grids are refitted while the extent holds, the entries fit
// the grid's part of the pool and no cell fills up far beyond the fullest of the full layout's;
// they are laid out afresh otherwise. Then moved a little, which refits them. Every grid keeps its invariants and answers as the scan, whether the pool holds
// room for all three (Tolerant on an open mesh) or not.
TEST_F(IndexAgainstScan, AgreesWhenTheTargetDeformsWhetherItsGridsAreRefittedOrLaidOutAgain)
{
    struct Deformation {
        std::string name;
        std::function<Point3(const Point3 &)> move;
        bool refitted;
        bool torusAlone = false;   // whose grid on Z uses level 0 alone
    };
    const std::vector<Deformation> deformations = {
        // Polygons into other cells, some of them fuller than their rooms: the rooms are made anew.
        {"turned a little about Z",
         [](const Point3 &p) {
             const float c = 0.9993908f, s = 0.0348995f;   // two degrees
             return Point3{c * p[0] - s * p[1], s * p[0] + c * p[1], p[2]};
         },
         true},
        // The far corners stay; everything else crowds into one cell, which a query would read whole.
        {"gathered into a corner",
         [](const Point3 &p) {
             return std::fabs(p[0]) >= 2.0f ? p : Point3{0.01f * p[0] + 1.5f, 0.01f * p[1] + 1.5f, 0.01f * p[2] + 1.5f};
         },
         false},
        {"grown by a half", [](const Point3 &p) { return Point3{1.5f * p[0], 1.5f * p[1], 1.5f * p[2]}; }, false},
        // The polygons around one corner across the hole: at levels the grid does not use.
        {"one corner across the hole",
         [](const Point3 &p) { return p[0] > 1.29f && std::fabs(p[1]) < 0.01f ? Point3{-0.8f * p[0], p[1], p[2]} : p; },
         true, true},
        // Every other corner through the centre: polygons across the mesh, in more cells than the
        // grid's entries hold.
        {"turned inside out by halves",
         [](const Point3 &p) {
             const bool odd = static_cast<int>(std::floor(8.0f * (p[0] + p[1] + p[2]))) % 2 != 0;
             return odd ? Point3{-p[0], -p[1], -p[2]} : p;
         },
         false},
    };
    for (bool tolerant : {false, true})
        for (const Deformation &d : deformations) {
            const std::string name = d.name + (tolerant ? ", every axis" : "");
            rule = tolerant ? ostrevin::tolerantRule : ostrevin::evenOddRule;
            SceneObject &o = host.scene().addObject(name);
            standin::appendTorus(o, {0, 0, 0}, 1.0, 0.3, 32, 12);
            if (!d.torusAlone) {
                appendOddities(o);
                standin::appendBox(o, {-2.5f, -2.5f, -2.5f}, {-2.0f, -2.0f, -2.0f});
                standin::appendBox(o, {2.0f, 2.0f, 2.0f}, {2.5f, 2.5f, 2.5f});
            }
            build(o);
            EXPECT_TRUE(disagreements(probePoints(o, 100, 21)).empty()) << name;
            for (Point3 &p : o.points)
                p = d.move(p);
            for (int frame = 1; frame <= 2; ++frame) {
                if (frame == 2)
                    for (Point3 &p : o.points)
                        p = {p[0] + 0.013f, p[1] - 0.007f, p[2] + 0.003f};
                build(o);
                for (int axis = 0; axis < 3; ++axis)
                    EXPECT_EQ(cache.index.refittedByBuild(axis), d.refitted || frame == 2)
                        << name << ", frame " << frame << ", axis " << axis;
                const auto found = disagreements(probePoints(o, 300, static_cast<unsigned>(30 + frame)));
                EXPECT_TRUE(found.empty()) << name << ", frame " << frame << ": " << found.front();
            }
        }
}

TEST_F(IndexAgainstScan, StorageGrowsOnlyWithTheCounts)
{
    SceneObject &o = host.scene().addObject("Sphere");
    standin::appendIcosphere(o, {0, 0, 0}, 1.0, 2);
    build(o);
    const std::size_t first = cache.index.bytes();

    o.polygons.resize(o.polygons.size() / 2);
    build(o);
    EXPECT_EQ(cache.index.bytes(), first) << "fewer polygons";
    EXPECT_TRUE(disagreements(probePoints(o, 300, 7)).empty());

    standin::appendIcosphere(o, {3, 0, 0}, 1.0, 2);
    build(o);
    EXPECT_GT(cache.index.bytes(), first) << "more polygons than ever";
    EXPECT_TRUE(disagreements(probePoints(o, 300, 8)).empty());
}

TEST_F(IndexAgainstScan, AnEmptyMeshAfterAFullOneAnswersOutsideEverywhere)
{
    SceneObject &o = host.scene().addObject("Sphere");
    standin::appendIcosphere(o, {0, 0, 0}, 1.0, 1);
    build(o);
    o.polygons.clear();
    build(o);
    const double p[3] = {0, 0, 0};
    for (int axis = 0; axis < 3; ++axis)
        EXPECT_FALSE(cache.isInside(p, axis, ostrevin::crossFirstAxis[axis], ostrevin::crossSecondAxis[axis]));
}

// The index holds no more bytes than half again the records it indexes (each record with its
// vertex buffer), with all three grids laid out, from a few dozen polygons up to 100,000 (from
// there on it must stay within the records: the bench's memory row measures that, too slow here).
TEST_F(IndexAgainstScan, HoldsNoMoreThanItsShareOfTheRecords)
{
    cache.indexThreshold = 32;
    const std::vector<std::pair<std::string, std::function<void(SceneObject &)>>> meshes = {
        {"icosphere 2", [](SceneObject &o) { standin::appendIcosphere(o, {0, 0, 0}, 1.0, 2); }},
        {"icosphere 5", [](SceneObject &o) { standin::appendIcosphere(o, {0, 0, 0}, 1.0, 5); }},
        {"torus of quads", [](SceneObject &o) { standin::appendTorus(o, {0, 0, 0}, 1.0, 0.3, 64, 24); }},
        {"divided box", [](SceneObject &o) { standin::appendBox(o, {-1, -1, -1}, {1, 1, 1}, 3); }},
        {"star prisms",
         [](SceneObject &o) {
             for (int i = 0; i < 8; ++i)
                 standin::appendPrism(o, standin::starOutline({3.0 * i, 0}, 1.0, 0.4, 12), -1, 1, 2);
         }},
        {"slivers and small triangles", appendSizes},
        {"cylinder of 2000 sides", [](SceneObject &o) { appendCylinder(o, 2000); }},
    };
    for (const auto &[name, make] : meshes) {
        SceneObject &o = host.scene().addObject(name);
        make(o);
        build(o);
        ASSERT_TRUE(cache.index.usable()) << name;
        for (int axis = 0; axis < 3; ++axis)
            cache.index.prepare(axis);
        std::size_t records = static_cast<std::size_t>(cache.polygonCapacity) * sizeof(ostrevin::PolygonRecord);
        for (int i = 0; i < cache.polygonCapacity; ++i)
            records += static_cast<std::size_t>(cache.polygons[i].vertexCapacity) * sizeof(double[3]);
        EXPECT_LE(static_cast<double>(cache.index.bytes()), 1.5 * static_cast<double>(records))
            << name << ", " << o.polygons.size() << " polygons";
        EXPECT_TRUE(disagreements(probePoints(o, 200, 3)).empty()) << name;
    }
}

// The three grids share one block of entries, taken as each axis is first asked: in any order,
// each gets its own part of the block (none overlapping another, none past the block), and each
// answers as the scan. Polygons of a size that makes them cross cell edges ask for more entries
// than the first grid may take, so it widens its cells until they fit.
TEST_F(IndexAgainstScan, GridsTakeDisjointPartsOfTheEntriesInAnyOrder)
{
    SceneObject &o = host.scene().addObject("Mixed");
    appendSizes(o);
    standin::appendTorus(o, {0.5, 0.5, 0}, 1.0, 0.3, 24, 10);
    const std::vector<std::vector<int>> orders = {{0, 1, 2}, {2, 1, 0}, {1, 2, 0}};
    for (const std::vector<int> &order : orders) {
        const std::string name = std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]);
        cache.index.clear();
        build(o);
        for (int axis : order)
            cache.index.prepare(axis);
        struct Part {
            const std::uint32_t *begin, *end;
        };
        std::vector<Part> parts;
        for (int axis = 0; axis < 3; ++axis) {
            const auto &grid = cache.index.grid(axis);
            const auto &last = grid.levels[grid.levelCount - 1];
            const std::uint32_t entries = grid.cells[last.firstCell + last.cellCount()].start;
            // The entries, then a padding group.
            const std::size_t room = entries + ostrevin::CrossingIndex::entryPadding;
            EXPECT_EQ(entries % ostrevin::CrossingIndex::groupEntries, 0u) << name << ", axis " << axis;
            EXPECT_LE(entries, 5 * o.polygons.size() / 2 + 24) << name << ", axis " << axis;
            parts.push_back({grid.entries.words, grid.entries.words + ostrevin::CrossingIndex::entryWords * room});
        }
        const std::uint32_t *first = std::min({parts[0].begin, parts[1].begin, parts[2].begin});
        for (std::size_t a = 0; a < parts.size(); ++a) {
            EXPECT_LE(reinterpret_cast<const unsigned char *>(parts[a].end) - reinterpret_cast<const unsigned char *>(first),
                      static_cast<std::ptrdiff_t>(cache.index.bytes()))
                << name;
            for (std::size_t b = a + 1; b < parts.size(); ++b)
                EXPECT_TRUE(parts[a].end <= parts[b].begin || parts[b].end <= parts[a].begin) << name << ": " << a << ", " << b;
        }
        const auto found = disagreements(probePoints(o, 400, 11));
        EXPECT_TRUE(found.empty()) << name << ": " << found.front();
    }
}

// Laying a grid out asks for a completed build: before any, for a mesh too small to index, and
// for an axis that does not exist, nothing happens (no storage to lay it out in).
TEST_F(IndexAgainstScan, PreparingWithoutACompletedBuildDoesNothing)
{
    ostrevin::CrossingIndex unbuilt;
    for (int axis : {-1, 0, 2, 3})
        unbuilt.prepare(axis);
    EXPECT_FALSE(unbuilt.prepared(0));

    SceneObject &o = host.scene().addObject("Cube");
    standin::appendBox(o, {-1, -1, -1}, {1, 1, 1});
    cache.indexThreshold = 32;
    build(o);
    ASSERT_FALSE(cache.index.usable()) << "a few polygons are scanned";
    cache.index.prepare(2);
    EXPECT_FALSE(cache.index.prepared(2));
}

// A few polygons are scanned faster than an index is searched, unless one of them has many
// vertices: a 24-sided prism (26 polygons) is indexed, and answers as the scan.
TEST_F(IndexAgainstScan, AFewPolygonsAreIndexedWhenOneHasManyVertices)
{
    SceneObject &o = host.scene().addObject("Prism");
    appendCylinder(o, 24);
    cache.indexThreshold = 32;
    build(o);
    ASSERT_TRUE(cache.index.usable());
    const auto found = disagreements(probePoints(o, 1000, 41));
    EXPECT_TRUE(found.empty()) << found.front();
}

// The index passes over a polygon whose plane cannot be ahead of the point by the point's height
// alone; right where the plane test's computed sign flips (found by bisection on the doubles
// themselves), on steep and non-planar polygons, it must still agree with the scan.
TEST_F(IndexAgainstScan, AgreesWhereThePlaneTestFlips)
{
    SceneObject &o = host.scene().addObject("Shards");
    std::mt19937_64 random(99);
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
    std::uniform_real_distribution<float> tiny(-1e-5f, 1e-5f);
    for (int i = 0; i < 300; ++i) {
        const int base = static_cast<int>(o.points.size());
        Point3 a{coordinate(random), coordinate(random), coordinate(random)};
        Point3 b{coordinate(random), coordinate(random), coordinate(random)};
        Point3 c{coordinate(random), coordinate(random), coordinate(random)};
        if (i % 3 == 0)
            c[2] = a[2] + tiny(random), b[2] = a[2] + tiny(random);   // nearly parallel to X and Y rays
        if (i % 3 == 1)
            c[0] = a[0] + tiny(random), b[0] = a[0] + tiny(random);   // nearly parallel to Y and Z rays
        o.points.insert(o.points.end(), {a, b, c});
        if (i % 5 == 0) {
            o.points.push_back({0.5f * (a[0] + c[0]), 0.5f * (a[1] + c[1]), c[2] + 0.1f});   // off the plane
            o.addPolygon({base, base + 1, base + 2, base + 3});
        } else {
            o.addPolygon({base, base + 1, base + 2});
        }
    }
    build(o);
    std::vector<Point> points;
    for (int axis = 0; axis < 3; ++axis) {
        const int u = ostrevin::crossFirstAxis[axis], v = ostrevin::crossSecondAxis[axis];
        for (int i = 0; i < cache.polygonCount; i += 2) {
            const ostrevin::PolygonRecord &r = cache.polygons[i];
            if (r.vertexCount < 3 || r.normal[axis] == 0.0)
                continue;
            Point p{};
            p[u] = 0.5 * (r.bounds.low[u] + r.bounds.high[u]);
            p[v] = 0.5 * (r.bounds.low[v] + r.bounds.high[v]);
            const auto ahead = [&](double height) {
                p[axis] = height;
                return ostrevin::planeAheadOfPoint(r.normal, r.planeD, p.data(), axis);
            };
            // The computed test is monotone in the height: bisect between an ahead and a behind.
            double low = cache.bounds.low[axis], high = cache.bounds.high[axis];
            if (!ahead(low) || ahead(high))
                continue;
            for (int step = 0; step < 200 && std::nextafter(low, high) < high; ++step) {
                const double mid = 0.5 * (low + high);
                (ahead(mid) ? low : high) = mid;
            }
            for (double h : {low, high, std::nextafter(low, -HUGE_VAL), std::nextafter(high, HUGE_VAL)}) {
                p[axis] = h;
                points.push_back(p);
            }
        }
    }
    ASSERT_GT(points.size(), 200u);
    const auto found = disagreements(points);
    EXPECT_TRUE(found.empty()) << found.size() << " or more, first " << found.front();
}

// A level of the grid holding only a few polygons hands them to the coarsest level, and a
// coarsest level then holding only a few hands them down to level 0's cells; they must still be
// found there, from every cell.
TEST_F(IndexAgainstScan, AgreesWhenAFewMidSizedPolygonsMoveToTheCoarsestLevelOrBelow)
{
    const struct {
        int largeBoxes;   // each with two faces across the Z ray, at the coarsest level
        bool handedDown;
    } cases[] = {{0, true}, {5, false}};
    for (const auto &k : cases) {
        SceneObject &o = host.scene().addObject("Many small, a few large, " + std::to_string(k.largeBoxes) + " larger");
        standin::appendIcosphere(o, {0, 0, 0}, 1.0, 4);
        standin::appendBox(o, {-0.3f, -0.3f, -0.3f}, {0.3f, 0.3f, 0.3f});   // six mid-sized faces
        standin::appendBox(o, {0.5f, 0.5f, -0.1f}, {0.95f, 0.7f, 0.1f});
        for (int b = 0; b < k.largeBoxes; ++b) {
            const float r = 0.9f - 0.05f * static_cast<float>(b);
            standin::appendBox(o, {-r, -r, -0.5f - 0.05f * static_cast<float>(b)}, {r, r, 0.5f});
        }
        build(o);
        cache.index.prepare(2);
        // Between the first level and the coarsest, no level in use holds only a few polygons.
        const auto &grid = cache.index.grid(2);
        const int coarsest = grid.levelCount - 1;
        const auto held = [&](int level) {
            const auto &l = grid.levels[level];
            return grid.cells[l.firstCell + l.cellCount()].start - grid.cells[l.firstCell].start;
        };
        for (int level = 1; level < coarsest; ++level)
            EXPECT_TRUE(held(level) == 0 || held(level) > 8) << "level " << level << " holds " << held(level);
        EXPECT_EQ(held(coarsest) == 0, k.handedDown) << k.largeBoxes;
        EXPECT_EQ((grid.usedLevels >> coarsest & 1u) == 0, k.handedDown) << k.largeBoxes;
        const auto found = disagreements(probePoints(o, 3000, 77));
        EXPECT_TRUE(found.empty()) << found.size() << " or more, first " << found.front();
    }
}

// Entries are tested a few at a time: cells holding many more than that, with the point's own
// cell and the one before it meeting inside a group, and groups running past a row's last entry.
TEST_F(IndexAgainstScan, AgreesWhereCellsHoldManyEntries)
{
    SceneObject &o = host.scene().addObject("Stacked spheres");
    for (float k = 0; k < 9; ++k)
        standin::appendIcosphere(o, {0.013f * k, -0.007f * k, 0.011f * k}, 1.0 + 0.003 * k, 2);
    standin::appendUVSphere(o, {0.4f, 0.1f, -0.2f}, 0.6, 48, 7);   // fans of thin triangles at its poles
    build(o);
    for (int axis = 0; axis < 3; ++axis) {
        cache.index.prepare(axis);
        const auto &grid = cache.index.grid(axis);
        std::uint32_t crowded = 0;
        const auto &last = grid.levels[grid.levelCount - 1];
        for (std::uint32_t c = 0; c < last.firstCell + last.cellCount(); ++c)
            crowded = std::max(crowded, grid.cells[c + 1].start - grid.cells[c].start);
        EXPECT_GT(crowded, 12u) << "axis " << axis << ": no cell holds several groups";
    }
    const auto found = disagreements(probePoints(o, 4000, 91));
    EXPECT_TRUE(found.empty()) << found.size() << " or more, first " << found.front();
}

// Entries that pass are gathered a few dozen at a time before their copies are tested: a ray
// through forty nested spheres meets up to eighty polygons ahead, several gatherings' worth.
TEST_F(IndexAgainstScan, AgreesWhenMoreEntriesPassThanOneGatheringHolds)
{
    SceneObject &o = host.scene().addObject("Nested spheres");
    for (int k = 0; k < 40; ++k)
        standin::appendIcosphere(o, {0.001f * static_cast<float>(k), 0.0f, -0.002f * static_cast<float>(k)},
                                 1.0 - 0.02 * k, 1);
    build(o);
    std::vector<Point> points = probePoints(o, 3000, 23);
    for (double z = -1.05; z <= 1.05; z += 0.01)
        for (double x : {-0.013, 0.0, 0.0021, 0.05})
            points.push_back({x, 0.003 - x, z});
    const auto found = disagreements(points);
    EXPECT_TRUE(found.empty()) << found.size() << " or more, first " << found.front();
}

// Copies spread wider than the caches are fetched entry by entry as the entries pass: that path,
// on every target and on a ray through many polygons.
TEST_F(IndexAgainstScan, AgreesWhenEachPassingCopyIsFetchedAtOnce)
{
    cache.index.farGatherBytes = 0;
    expectAgreementOnEveryTarget(1000, 101);
    if (HasFatalFailure())
        return;
    SceneObject &o = host.scene().addObject("Nested spheres");
    for (int k = 0; k < 40; ++k)
        standin::appendIcosphere(o, {0.001f * static_cast<float>(k), 0.0f, -0.002f * static_cast<float>(k)},
                                 1.0 - 0.02 * k, 1);
    build(o);
    const auto found = disagreements(probePoints(o, 2000, 29));
    EXPECT_TRUE(found.empty()) << found.size() << " or more, first " << found.front();
}

// A build whose positions, counts and order are those of the last build, bit for bit, keeps its
// records and index (an axis stays laid out); any change anywhere rebuilds them, to the bits a
// fresh cache would hold.
TEST_F(IndexAgainstScan, RebuildsWhenAnythingChangesAndOnlyThen)
{
    SceneObject &o = host.scene().addObject("Sphere");
    standin::appendIcosphere(o, {0, 0, 0}, 1.0, 2);
    const std::vector<Point> points = probePoints(o, 300, 5);
    const auto sameAsFresh = [&] {
        MeshCache fresh(services);
        fresh.indexThreshold = 0;
        fresh.build(o.id);
        if (fresh.polygonCount != cache.polygonCount ||
            std::memcmp(fresh.bounds.low, cache.bounds.low, sizeof fresh.bounds.low) != 0 ||
            std::memcmp(fresh.bounds.high, cache.bounds.high, sizeof fresh.bounds.high) != 0)
            return false;
        for (int i = 0; i < fresh.polygonCount; ++i) {
            const ostrevin::PolygonRecord &a = fresh.polygons[i], &b = cache.polygons[i];
            if (a.vertexCount != b.vertexCount || std::memcmp(a.bounds.low, b.bounds.low, sizeof a.bounds.low) != 0 ||
                std::memcmp(a.bounds.high, b.bounds.high, sizeof a.bounds.high) != 0 ||
                std::memcmp(a.vertices, b.vertices, sizeof(double[3]) * static_cast<std::size_t>(a.vertexCount)) != 0)
                return false;
            // Fewer than three vertices leave the plane as the record held it before.
            if (a.vertexCount >= 3 && (std::memcmp(a.normal, b.normal, sizeof a.normal) != 0 ||
                                       std::memcmp(&a.planeD, &b.planeD, sizeof a.planeD) != 0))
                return false;
        }
        return disagreements(points).empty();
    };

    build(o);
    cache.index.prepare(2);
    build(o);
    EXPECT_TRUE(cache.index.prepared(2)) << "nothing changed: the index stays as it was";
    EXPECT_TRUE(sameAsFresh());

    const std::vector<std::pair<std::string, std::function<void()>>> changes = {
        {"one coordinate one float step on", [&] { o.points[7][1] = std::nextafter(o.points[7][1], 2.0f); }},
        {"a coordinate turned NaN", [&] { o.points[3][2] = std::numeric_limits<float>::quiet_NaN(); }},
        {"two polygons swapped", [&] { std::swap(o.polygons[4], o.polygons[40]); }},
        {"a corner moved to another polygon", [&] {
             o.polygons[10].push_back(o.polygons[11].back());
             o.polygons[11].pop_back();
         }},
        {"the last polygon gone", [&] { o.polygons.pop_back(); }},
    };
    for (const auto &[what, change] : changes) {
        build(o);
        cache.index.prepare(2);
        const unsigned int version = cache.recordsVersion;
        change();
        build(o);
        EXPECT_NE(cache.recordsVersion, version) << what;
        EXPECT_TRUE(sameAsFresh()) << what;
    }
}

// The first queries of an axis lay its grid out; from two threads at once, both get the scan's
// answers (and the thread sanitizer sees the hand-over). Along Y from both threads, then along X
// from one and Y from the other, which share the slabs of the many-vertex outlines.
TEST_F(IndexAgainstScan, TwoThreadsLayingOutAnAxisTogetherBothAnswerRight)
{
    SceneObject &o = host.scene().addObject("Sphere and outlines");
    standin::appendIcosphere(o, {0, 0, 0}, 1.0, 3);
    appendTiltedOutlines(o);
    const std::vector<Point> points = probePoints(o, 400, 11);
    for (int round = 0; round < 4; ++round) {
        build(o);
        int wrong[2] = {0, 0};
        const auto work = [&](int t) {
            const int axis = round < 2 ? 1 : t;
            for (std::size_t i = static_cast<std::size_t>(t); i < points.size(); i += 2)
                wrong[t] += cache.isInside(points[i].data(), axis, ostrevin::crossFirstAxis[axis],
                                           ostrevin::crossSecondAxis[axis]) !=
                            reference::scanInside(cache, points[i].data(), axis);
        };
        std::thread other(work, 1);
        work(0);
        other.join();
        EXPECT_EQ(wrong[0] + wrong[1], 0) << "round " << round;
    }
}

// Through the shipped module, as the host drives it: the texture's answer is the bounds test and
// the scan, along every axis.
TEST_F(ModuleTest, LayerAnswersAsTheScanAlongEveryAxis)
{
    SceneObject &o = host.scene().addObject("Star");
    standin::appendPrism(o, standin::starOutline({0, 0}, 2.0, 0.7, 6), -1, 1, 1);
    standin::appendIcosphere(o, {0, 3, 0}, 0.75, 2);
    standin::TextureLayer layer(host, module);
    ASSERT_TRUE(layer.create()) << layer.error();
    layer.openPanel();
    ASSERT_TRUE(layer.pickTarget("Star"));
    layer.init(LWINIT_RENDER);
    layer.newTime(0, 0.0);

    ostrevin::HostServices services(standin::StandInHost::globalFunc());
    MeshCache cache(services);
    cache.build(o.id);
    int wrong = 0;
    for (int axis = 0; axis < 3; ++axis)
        for (const Point &p : probePoints(o, 1000, 21 + static_cast<unsigned>(axis))) {
            const bool expected = reference::linearInside(cache, p.data(), axis);
            wrong += (layer.evaluate(p[0], p[1], p[2], axis) == 1.0) != expected;
        }
    EXPECT_EQ(wrong, 0);
}
