// The solid cells (texture/inside/solid_cells.h) against the records' scan: every answer the
// same, at points placed in every kind of cell (their corners and faces, next to warped polygons
// and to corners a hair away), on closed, non-manifold and almost closed meshes, along all three
// axes; and which builds lay them out.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "texture/geometry/axes.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/target/masked_object.h"

using ostrevin::MeshCache;
using standin::SceneObject;

namespace {

// One point per position: boxes laid side by side then share the corners they meet at.
void weld(SceneObject &o)
{
    std::map<std::array<float, 3>, int> first;
    std::vector<int> to(o.points.size());
    std::vector<standin::Point3> kept;
    for (size_t i = 0; i < o.points.size(); ++i) {
        const std::array<float, 3> key{o.points[i][0], o.points[i][1], o.points[i][2]};
        const auto found = first.emplace(key, static_cast<int>(kept.size()));
        if (found.second)
            kept.push_back(o.points[i]);
        to[i] = found.first->second;
    }
    for (auto &polygon : o.polygons)
        for (int &k : polygon)
            k = to[static_cast<size_t>(k)];
    o.points = kept;
}

class SolidCellsTest : public ::testing::Test {
protected:
    SceneObject &object() { return host.scene().addObject("Target"); }

    // Builds for Even-Odd (which follows the corners) and lays the cells out for `axis`.
    void build(const SceneObject &o, int axis)
    {
        cache.build(o.id, ostrevin::evenOddRule);
        cache.prepareCells(axis);
    }

    // Every point answered as the scan answers it; the count of those a cell answered.
    long expectScanAnswers(const std::vector<std::array<double, 3>> &points, int axis, const char *what)
    {
        const int u = ostrevin::crossFirstAxis[axis], v = ostrevin::crossSecondAxis[axis];
        long looked = 0, wrong = 0;
        for (const auto &p : points) {
            looked += cache.cells.lookup(p.data(), axis) >= 0;
            if (cache.isInside(p.data(), axis, u, v) != cache.scanRecords(p.data(), axis, u, v) && ++wrong <= 3)
                ADD_FAILURE() << what << ", axis " << axis << ": (" << p[0] << ", " << p[1] << ", " << p[2] << ")";
        }
        EXPECT_EQ(wrong, 0) << what << ", axis " << axis;
        return looked;
    }

    // Points on every grid plane and a float step either side, at the centres of the cells across
    // it, and on the grid's lines where three planes meet; with random points across the box.
    std::vector<std::array<double, 3>> gridPoints(unsigned seed)
    {
        double origin[3], width[3];
        int across[3];
        cache.cells.grid(origin, width, across);
        std::vector<std::array<double, 3>> points;
        std::mt19937 random(seed);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i <= across[c]; ++i)
                for (int step = -1; step <= 1; ++step)
                    for (int k = 0; k < 24; ++k) {
                        std::array<double, 3> p;
                        for (int a = 0; a < 3; ++a) {
                            const int cell = static_cast<int>(random() % static_cast<unsigned>(across[a]));
                            p[a] = origin[a] + (cell + (k < 12 ? 0.5 : 0.0)) * width[a];
                        }
                        p[c] = origin[c] + i * width[c];
                        if (step)
                            p[c] = std::nextafter(p[c], step * HUGE_VAL);
                        points.push_back(p);
                    }
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        for (int k = 0; k < 10000; ++k) {
            std::array<double, 3> p;
            for (int a = 0; a < 3; ++a)
                p[a] = cache.bounds.low[a] + unit(random) * (cache.bounds.high[a] - cache.bounds.low[a]);
            points.push_back(p);
        }
        return points;
    }

    // Around every corner, below and left of it along u and v by a few float steps up to a few
    // 2^-50 of its size, at heights through the whole box along the ray: where a side test can round.
    std::vector<std::array<double, 3>> nearCorners(const SceneObject &o, int axis)
    {
        const int u = ostrevin::crossFirstAxis[axis], v = ostrevin::crossSecondAxis[axis];
        std::vector<std::array<double, 3>> points;
        const double offsets[] = {0.0, 0x1p-60, 0x1p-52, 0x1p-50, 0x1p-46, 0x1p-30};
        for (const auto &corner : o.points)
            for (double du : offsets)
                for (double dv : offsets)
                    for (int h = 0; h <= 8; ++h) {
                        std::array<double, 3> p;
                        p[u] = corner[u] - du * (1.0 + std::fabs(corner[u]));
                        p[v] = corner[v] - dv * (1.0 + std::fabs(corner[v]));
                        p[axis] = cache.bounds.low[axis] + h * (cache.bounds.high[axis] - cache.bounds.low[axis]) / 8;
                        points.push_back(p);
                    }
        return points;
    }

    void expectCellsAgreeOnEveryAxis(const SceneObject &o, const char *what, bool cellsExpected = true)
    {
        long looked = 0;
        for (int axis = 0; axis < 3; ++axis) {
            build(o, axis);
            EXPECT_EQ(cache.cells.axis() == axis, cellsExpected) << what << ", axis " << axis;
            if (cache.cells.axis() == axis)
                looked += expectScanAnswers(gridPoints(static_cast<unsigned>(axis)), axis, what);
            looked += expectScanAnswers(nearCorners(o, axis), axis, what);
        }
        if (cellsExpected)
            EXPECT_GT(looked, 0) << what << ": no point was looked up";
        else
            EXPECT_EQ(looked, 0) << what;
    }

    standin::StandInHost host;
    ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    MeshCache cache{services};
};

} // namespace

TEST_F(SolidCellsTest, ClosedMeshesAnswerAsTheScan)
{
    SceneObject &sphere = object();
    standin::appendIcosphere(sphere, {0.1f, -0.2f, 0.3f}, 1.0, 2);
    expectCellsAgreeOnEveryAxis(sphere, "icosphere");

    SceneObject &box = host.scene().addObject("Box");
    standin::appendBox(box, {-1, -2, -3}, {3, 2, 1}, 3);
    weld(box);
    expectCellsAgreeOnEveryAxis(box, "divided box, its faces parallel to every ray");
}

TEST_F(SolidCellsTest, WarpedQuadsAnswerAsTheScan)
{
    // A torus of quads, every point moved off its quads' planes: the planes leave the corners by
    // up to a tenth of a quad.
    SceneObject &torus = object();
    standin::appendTorus(torus, {0, 0, 0}, 1.0, 0.4, 16, 12);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> jitter(-0.04f, 0.04f);
    for (auto &p : torus.points)
        for (int c = 0; c < 3; ++c)
            p[c] += jitter(random);
    expectCellsAgreeOnEveryAxis(torus, "warped torus");

    // A tall box roofed by a pyramid whose faces B-C-E and C-D-E are one warped quad, its corners
    // listed from B so that the first three (B, E, D) stand on one line seen along Z: the scan
    // passes it over there, and below it, inside, the answer steps where it would cross the quad.
    SceneObject &house = host.scene().addObject("House");
    house.points = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 2},
                    {0, 0, -6}, {2, 0, -6}, {2, 2, -6}, {0, 2, -6}};
    house.polygons = {{0, 1, 4}, {1, 4, 3, 2}, {3, 0, 4}, {5, 8, 7, 6},
                      {0, 5, 6, 1}, {1, 6, 7, 2}, {2, 7, 8, 3}, {3, 8, 5, 0}};
    cache.cells.cellsPerPolygon = 4000.0;
    expectCellsAgreeOnEveryAxis(house, "a quad the scan passes over");
}

TEST_F(SolidCellsTest, TiltedFacesMarkOnlyTheCellsTheirPlanesPass)
{
    // A cube turned off every axis: each face's box fills much of the grid, its plane only a
    // sheet of it. Most cells are then looked up, and answer as the scan does.
    SceneObject &cube = object();
    standin::appendBox(cube, {-1, -1, -1}, {1, 1, 1}, 2);
    const double a = 0.6, b = 0.45;
    for (auto &p : cube.points) {
        const double x = p[0], y = std::cos(a) * p[1] - std::sin(a) * p[2], z = std::sin(a) * p[1] + std::cos(a) * p[2];
        p = {static_cast<float>(std::cos(b) * x + std::sin(b) * z), static_cast<float>(y),
             static_cast<float>(-std::sin(b) * x + std::cos(b) * z)};
    }
    weld(cube);
    cache.cells.cellsPerPolygon = 1000.0;
    for (int axis = 0; axis < 3; ++axis) {
        build(cube, axis);
        size_t surface = 0, outside = 0, inside = 0;
        cache.cells.census(surface, outside, inside);
        EXPECT_LT(surface, (outside + inside) / 2) << "axis " << axis;
    }
    expectCellsAgreeOnEveryAxis(cube, "a tilted cube");
}

TEST_F(SolidCellsTest, NonManifoldClosedMeshesAnswerAsTheScan)
{
    // Two boxes meeting along one edge (four polygons there) and a third sharing a face with one
    // of them (that face used twice): closed in the even sense.
    SceneObject &o = object();
    standin::appendBox(o, {-1, -1, -1}, {0, 0, 1});
    standin::appendBox(o, {0, 0, -1}, {1, 1, 1});
    standin::appendBox(o, {0, -1, -1}, {1, 0, 0}, 2);
    weld(o);
    expectCellsAgreeOnEveryAxis(o, "boxes meeting at an edge");
}

TEST_F(SolidCellsTest, MeshesOpenAtOneEdgeGetNoCells)
{
    struct Case {
        const char *what;
        void (*change)(SceneObject &);
    };
    const Case cases[] = {
        // One corner of one triangle is a point of its own at the same position: positions close,
        // the point list does not, and a later frame may part them.
        {"an unwelded corner", [](SceneObject &o) {
             o.points.push_back(o.points[static_cast<size_t>(o.polygons[0][0])]);
             o.polygons[0][0] = static_cast<int>(o.points.size()) - 1;
         }},
        // A fin on an edge: that edge used three times.
        {"a fin", [](SceneObject &o) {
             o.points.push_back({2.0f, 2.0f, 2.0f});
             o.polygons.push_back({o.polygons[0][0], o.polygons[0][1], static_cast<int>(o.points.size()) - 1});
         }},
        {"a missing triangle", [](SceneObject &o) { o.polygons.pop_back(); }},
    };
    for (const Case &c : cases) {
        SceneObject &o = host.scene().addObject(c.what);
        standin::appendIcosphere(o, {0, 0, 0}, 1.0, 2);
        c.change(o);
        expectCellsAgreeOnEveryAxis(o, c.what, false);
    }
}

TEST_F(SolidCellsTest, TheListIsCountedAgainOnlyWhenItChanges)
{
    SceneObject &o = object();
    standin::appendIcosphere(o, {0, 0, 0}, 1.0, 2);
    build(o, 2);
    EXPECT_TRUE(cache.corners.changedLastBuild());
    EXPECT_TRUE(cache.corners.oriented());
    EXPECT_EQ(cache.cells.axis(), 2);
    // A deformation moves every point and keeps the list.
    o.motion = [](double time) { return standin::Transform::translation(time, 0.5 * time, 0.0); };
    host.scene().time = 1.0;
    build(o, 2);
    EXPECT_FALSE(cache.corners.changedLastBuild());
    EXPECT_EQ(cache.cells.axis(), 2) << "laid out again over the moved records";
    expectScanAnswers(gridPoints(3), 2, "moved");
    // Another list: one triangle's corners in another order is the same edges, its front turned.
    std::swap(o.polygons[0][1], o.polygons[0][2]);
    build(o, 2);
    EXPECT_TRUE(cache.corners.changedLastBuild());
    EXPECT_TRUE(cache.corners.closed());
    EXPECT_FALSE(cache.corners.oriented());
    // The same points in the same order, split into polygons otherwise: the vertex counts tell.
    o.polygons[0].push_back(o.polygons[1][0]);
    o.polygons[1].erase(o.polygons[1].begin());
    build(o, 2);
    EXPECT_TRUE(cache.corners.changedLastBuild());
    EXPECT_FALSE(cache.corners.closed());
    EXPECT_EQ(cache.cells.axis(), -1);
}

TEST_F(SolidCellsTest, PointsWhereASideTestRoundsAreLeftToTheIndex)
{
    // A prism five units deep; on top, four triangles around b = (0, 1). Just below and left of b,
    // at (-2^-60, 1 - 2^-53), the triangle a-b-d holds the point, but its side test on edge a-b
    // rounds to 0, and the triangle a-b-c, whose own test would cancel that, starts at x = 0: the
    // scan finds no crossing on top, a pinhole among points it finds inside.
    SceneObject &prism = object();
    const std::vector<std::array<float, 2>> ring = {{1, -1}, {1, 2}, {-1, 3}, {-1, 0}};   // a, c, e, d
    for (float z : {0.0f, -10.0f}) {
        for (const auto &xy : ring)
            prism.points.push_back({xy[0], xy[1], z});
        prism.points.push_back({0, 1, z});   // b
    }
    const int b = 4;
    for (int base : {0, 5})
        for (int k = 0; k < 4; ++k)
            prism.polygons.push_back({base + k, base + b, base + (k + 1) % 4});
    for (int k = 0; k < 4; ++k)
        prism.polygons.push_back({k, (k + 1) % 4, 5 + (k + 1) % 4, 5 + k});
    cache.cells.cellsPerPolygon = 4000.0;
    build(prism, 2);
    ASSERT_EQ(cache.cells.axis(), 2);
    const double pinhole[3] = {-0x1p-60, 1.0 - 0x1p-53, -5.0}, beside[3] = {-0.01, 1.0 - 0x1p-53, -5.0};
    EXPECT_FALSE(cache.scanRecords(pinhole, 2, 0, 1)) << "the scan's pinhole";
    EXPECT_TRUE(cache.scanRecords(beside, 2, 0, 1));
    EXPECT_EQ(cache.cells.lookup(beside, 2), 1);
    EXPECT_EQ(cache.cells.lookup(pinhole, 2), -1);
    expectCellsAgreeOnEveryAxis(prism, "a prism with a pinhole");
}

TEST_F(SolidCellsTest, EveryRuleLaysCellsOutForTheTargetAndEachChild)
{
    // The target set builds the target and every child through one masked object's build.
    SceneObject &sphere = object();
    standin::appendIcosphere(sphere, {0, 0, 0}, 1.0, 2);
    ostrevin::MaskedObject masked(services);
    for (const int rule : {ostrevin::evenOddRule, ostrevin::tolerantRule, ostrevin::nonZeroRule})
        for (int axis = 0; axis < 3; ++axis) {
            masked.build(sphere.id, rule, 0.0, axis);
            EXPECT_EQ(masked.cache.cells.axis(), axis) << "rule " << rule;
            const double centre[3] = {0.0, 0.0, 0.0};
            EXPECT_EQ(masked.valueAt(centre, axis, rule), 1.0);
        }
}

TEST_F(SolidCellsTest, NonZeroTakesOnlyTheInsideCellsAnswer)
{
    // Two shells wound the same way, one in the other: the inner one's inside has an even count
    // (outside by the parity) and a winding of 2 (inside by Non-Zero); so has a cell there.
    SceneObject &nested = object();
    standin::appendIcosphere(nested, {0, 0, 0}, 1.0, 2);
    standin::appendIcosphere(nested, {0.05f, 0, 0}, 0.5, 2);
    cache.cells.cellsPerPolygon = 200.0;
    std::mt19937 random(5);
    std::uniform_real_distribution<double> across(-1.05, 1.05);
    for (int axis = 0; axis < 3; ++axis) {
        cache.build(nested.id, ostrevin::nonZeroRule);
        cache.prepareCells(axis);
        ASSERT_EQ(cache.cells.axis(), axis);
        const int u = ostrevin::crossFirstAxis[axis], v = ostrevin::crossSecondAxis[axis];
        long wrong = 0, evenInside = 0;
        for (int k = 0; k < 20000; ++k) {
            const double p[3] = {across(random), across(random), across(random)};
            const bool scan = cache.scanWinding(p, axis, u, v, false) != 0;
            wrong += cache.contains(p, axis, ostrevin::nonZeroRule) != scan;
            evenInside += scan && cache.cells.lookup(p, axis) == 0;
        }
        EXPECT_EQ(wrong, 0) << "axis " << axis;
        EXPECT_GT(evenInside, 0) << "axis " << axis << ": no point inside the inner shell was in an even cell";
    }
}
