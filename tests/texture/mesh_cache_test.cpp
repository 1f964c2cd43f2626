// The mesh cache against the stand-in scene: what a build keeps, what it reuses, and how it holds
// up when the host's mesh is missing, lies about its counts, or holds no finite position.
#include <gtest/gtest.h>

#include <cmath>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "texture/mesh/mesh_cache.h"

using ostrevin::PolygonRecord;
using ostrevin::MeshCache;
using standin::SceneObject;

namespace {

class MeshCacheTest : public ::testing::Test {
protected:
    SceneObject &object(std::vector<standin::Point3> points, std::vector<std::vector<int>> polygons)
    {
        SceneObject &o = host.scene().addObject("Object");
        o.points = std::move(points);
        o.polygons = std::move(polygons);
        return o;
    }
    standin::MeshCounters &counters() { return host.scene().counters; }
    bool inside(const double (&p)[3]) const { return cache.isInside(p, 2, 0, 1); }

    standin::StandInHost host;
    ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    MeshCache cache{services};
};

void expectTriple(const double (&actual)[3], double x, double y, double z, const char *what)
{
    EXPECT_EQ(actual[0], x) << what;
    EXPECT_EQ(actual[1], y) << what;
    EXPECT_EQ(actual[2], z) << what;
}

} // namespace

TEST_F(MeshCacheTest, RecordsHoldVerticesBoundsUnitNormalAndPlane)
{
    SceneObject &o = object({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}, {2, 0, 2}, {2, 2, 2}, {0, 2, 2}, {2, 0, 0}, {2, 1, 0}},
                            {{0, 1, 2}, {0, 2, 1}, {3, 4, 5, 6}, {0, 1, 7, 8}});
    cache.build(o.id);
    ASSERT_EQ(cache.polygonCount, 4);
    const PolygonRecord *r = cache.polygons;
    expectTriple(r[0].normal, 0, 0, 1, "counter-clockwise triangle");
    EXPECT_EQ(r[0].planeD, 0.0);
    expectTriple(r[0].bounds.low, 0, 0, 0, "triangle min");
    expectTriple(r[0].bounds.high, 1, 1, 0, "triangle max");
    expectTriple(r[1].normal, 0, 0, -1, "clockwise triangle");
    expectTriple(r[2].normal, 0, 0, 1, "quad");
    EXPECT_EQ(r[2].planeD, 2.0);
    expectTriple(r[3].normal, 0, 0, 0, "first three vertices on a line");
    EXPECT_EQ(r[3].planeD, 0.0);
    EXPECT_EQ(r[3].vertexCount, 4);
    expectTriple(r[2].vertices[1], 2, 0, 2, "vertex in the host's order");
    expectTriple(cache.bounds.low, 0, 0, 0, "mesh min");
    expectTriple(cache.bounds.high, 2, 2, 2, "mesh max");
    EXPECT_EQ(counters().meshInfo.load(), 1);
    EXPECT_EQ(counters().destroy.load(), 1) << "the mesh record is released at the end of the build";
    EXPECT_EQ(cache.mesh, nullptr);
}

TEST_F(MeshCacheTest, StorageIsReusedWhileCountsDoNotGrow)
{
    SceneObject &o = host.scene().addObject("Pair");
    standin::appendBox(o, {-3, -1, -1}, {-1, 1, 1});
    standin::appendBox(o, {1, -1, -1}, {3, 1, 1});
    o.polygons.push_back({0, 1, 2, 3, 4});
    cache.build(o.id);
    ASSERT_EQ(cache.polygonCount, 13);
    const PolygonRecord *array = cache.polygons;
    const auto *pentagonBuffer = array[12].vertices;
    EXPECT_TRUE(inside({2, 0, 0}));

    o.polygons.resize(6);   // the first cube only
    cache.build(o.id);
    EXPECT_EQ(cache.polygons, array);
    EXPECT_EQ(cache.polygonCount, 6);
    EXPECT_FALSE(inside({2, 0, 0})) << "records beyond the count are not read";
    EXPECT_TRUE(inside({-2, 0, 0}));

    // 13 -> 6 -> 10 still fits; the pentagon's record now holds a triangle in its old buffer.
    for (int i = 0; i < 3; ++i)
        o.polygons.push_back({0, 1, 2});
    o.polygons.push_back({3, 2, 1});
    counters().reset();
    cache.build(o.id);
    EXPECT_EQ(cache.polygons, array);
    EXPECT_EQ(cache.polygonCount, 10);
    o.polygons.resize(13, {0, 1, 2});
    cache.build(o.id);
    EXPECT_EQ(array[12].vertices, pentagonBuffer);
    EXPECT_EQ(array[12].vertexCount, 3);
    EXPECT_EQ(counters().vertexOutOfRange.load(), 0) << "no vertex asked beyond a polygon's size";
}

// Below the index's threshold the scan itself compares the positions: a still target keeps its
// records (and what was built over them), a float step anywhere redoes them.
TEST_F(MeshCacheTest, ASmallStillTargetKeepsItsRecordsAndAMovedOneRedoesThem)
{
    SceneObject &o = host.scene().addObject("Box");
    standin::appendBox(o, {-1, -1, -1}, {1, 1, 1});
    cache.build(o.id);
    ASSERT_FALSE(cache.index.usable());
    const unsigned int version = cache.recordsVersion;
    cache.build(o.id);
    EXPECT_EQ(cache.recordsVersion, version) << "the same positions";
    o.points[6][2] = std::nextafter(1.0f, 2.0f);
    cache.build(o.id);
    EXPECT_NE(cache.recordsVersion, version) << "one coordinate a float step on";
    EXPECT_EQ(cache.bounds.high[2], static_cast<double>(std::nextafter(1.0f, 2.0f)));
}

TEST_F(MeshCacheTest, NoTargetNoObjectInfoOrNoMeshLeaveTheCacheAsItWas)
{
    SceneObject &o = object({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    cache.build(nullptr);
    EXPECT_EQ(counters().meshInfo.load(), 0);
    cache.build(o.id);
    const PolygonRecord *array = cache.polygons;

    o.noMeshInfo = true;
    o.points[1] = {5, 0, 0};
    cache.build(o.id);
    EXPECT_EQ(cache.polygons, array);
    EXPECT_EQ(cache.polygonCount, 1);
    EXPECT_EQ(cache.bounds.high[0], 1.0);

    ostrevin::HostServices bare{standin::StandInHost::globalFunc()};
    bare.objectInfo = nullptr;
    MeshCache orphan(bare);
    orphan.build(o.id);
    EXPECT_EQ(orphan.polygons, nullptr);
    EXPECT_EQ(orphan.bounds.low[0], HUGE_VAL) << "never built: the empty bounds";
}

TEST_F(MeshCacheTest, EmptyMeshFirstKeepsNoArrayAndLaterEmptiesTheBounds)
{
    SceneObject &o = object({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {});
    cache.build(o.id);
    EXPECT_EQ(cache.polygons, nullptr);
    EXPECT_EQ(cache.bounds.low[0], HUGE_VAL) << "untouched: the empty bounds";
    o.polygons = {{0, 1, 2}};
    cache.build(o.id);
    o.polygons.clear();
    cache.build(o.id);
    EXPECT_NE(cache.polygons, nullptr);
    EXPECT_EQ(cache.polygonCount, 0);
    EXPECT_EQ(cache.bounds.low[0], HUGE_VAL);
    EXPECT_EQ(cache.bounds.high[0], -HUGE_VAL);
}

// A host that lies: more or fewer polygons than announced, negative counts, no destroy entry,
// positions that are not numbers. Under AddressSanitizer these also prove nothing is overrun.
TEST_F(MeshCacheTest, HostileMeshesNeitherOverrunNorLeaveStaleRecords)
{
    SceneObject &o = host.scene().addObject("Cube");
    standin::appendBox(o, {-1, -1, -1}, {1, 1, 1});
    o.scanExtra = 4;
    cache.build(o.id);
    EXPECT_EQ(cache.polygonCount, 6);
    EXPECT_EQ(counters().polSize.load(), 6) << "the scan stops at the first polygon too many";
    EXPECT_TRUE(inside({0, 0, 0}));

    o.scanExtra = 0;
    o.scanShort = 2;
    cache.build(o.id);
    EXPECT_EQ(cache.polygonCount, 4);

    o.scanShort = 0;
    o.reportCount = true;
    o.reportedCount = -7;
    cache.build(o.id);
    EXPECT_EQ(cache.polygonCount, 0);
    o.reportedCount = 40;
    cache.build(o.id);
    EXPECT_EQ(cache.polygonCount, 6) << "only what the scan visited";

    o.reportCount = false;
    o.reportSize = true;
    o.reportedSize = -3;
    cache.build(o.id);
    EXPECT_EQ(cache.polygons[0].vertexCount, 0);
    EXPECT_FALSE(inside({0, 0, 0}));

    o.reportSize = false;
    o.nullDestroy = true;
    cache.build(o.id);
    EXPECT_TRUE(inside({0, 0, 0}));

    o.nullDestroy = false;
    o.nonFinite = true;
    cache.build(o.id);
    for (double p : {0.0, double(NAN), HUGE_VAL})
        EXPECT_FALSE(inside({p, 0, 0}));
    EXPECT_EQ(cache.bounds.low[0], HUGE_VAL) << "NaN widens nothing";
    EXPECT_EQ(counters().liveRecords.load(), 1) << "only the record without a destroy entry remains";
}
