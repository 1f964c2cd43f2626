// The cache's allocations, counted and made to fail. The module allocates only through the
// non-throwing operator new, which this binary replaces; the stand-in host uses the ordinary one.

#include <gtest/gtest.h>

#include "host/shapes.h"
#include "host/standin_host.h"
#include "support/module_allocations.h"
#include "texture/instance/ostrevin_instance.h"
#include "support/published_names.h"

class CacheAllocation : public ::testing::Test {
protected:
    void SetUp() override
    {
        standin::appendTriangulatedBox(cube, {-1, -1, -1}, {1, 1, 1});
        moduleAllocations = 0;
        failAt = -1;
    }
    long buildCounting(int rule = ostrevin::nonZeroRule)
    {
        const long before = moduleAllocations;
        cache.build(cube.id, rule);
        return moduleAllocations - before;
    }
    bool inside(double x, double y, double z) const
    {
        const double p[3] = {x, y, z};
        return cache.isInside(p, 2, 0, 1);
    }

    standin::StandInHost host;
    standin::SceneObject &cube = host.scene().addObject("Cube");
    ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    ostrevin::MeshCache cache{services};
};

TEST_F(CacheAllocation, OnlyGrowthAllocates)
{
    // The polygon list: its stream (grown, and fitted when it changes), and a scratch to count
    // its edges, only when it changes.
    EXPECT_EQ(buildCounting(), 16) << "the array, twelve vertex buffers, the list grown once and its scratch";
    EXPECT_EQ(buildCounting(ostrevin::evenOddRule), 0) << "the same mesh again";
    cube.polygons.resize(6);
    cube.polygons[5] = {0, 1, 2};
    EXPECT_EQ(buildCounting(), 2) << "fewer polygons: the list fitted and counted";
    cube.polygons[5] = {0, 1, 2, 3};
    EXPECT_EQ(buildCounting(), 2) << "one polygon with more vertices, and the list counted";
}

TEST_F(CacheAllocation, FailedArrayAnswersNothingAndTheNextBuildRetries)
{
    failAt = 0;
    cache.build(cube.id, ostrevin::nonZeroRule);
    EXPECT_EQ(cache.polygons, nullptr);
    EXPECT_EQ(cache.polygonCount, 0);
    EXPECT_EQ(host.scene().counters.liveRecords.load(), 0);
    cache.build(cube.id);
    ASSERT_NE(cache.polygons, nullptr) << "the same count tries again";
    EXPECT_TRUE(inside(0, 0, 0));
}

TEST_F(CacheAllocation, FailedVertexBufferLeavesAnEmptyRecord)
{
    failAt = 4;   // the third polygon's buffer (after the array, the first's and the list's)
    cache.build(cube.id, ostrevin::nonZeroRule);
    ASSERT_EQ(cache.polygonCount, 12);
    EXPECT_EQ(cache.polygons[2].vertexCount, 0);
    EXPECT_EQ(cache.polygons[2].vertices, nullptr);
    EXPECT_EQ(cache.polygons[3].vertexCount, 3);
    failAt = -1;
    cache.build(cube.id);
    EXPECT_EQ(cache.polygons[2].vertexCount, 3);
}

// Without storage for the polygon list, or for the cells, there are no cells: the parity goes to
// the index, and the next build tries again.
TEST_F(CacheAllocation, ListOrCellsWithoutStorageLeaveTheParityToTheIndex)
{
    // The list at its first corner, its count's scratch after the scan, the cells after the build.
    for (const long failing : {2L, 14L, 15L}) {
        ostrevin::MeshCache fresh{services};
        moduleAllocations = 0;
        failAt = failing;
        fresh.build(cube.id);
        fresh.prepareCells(2);
        EXPECT_EQ(fresh.cells.axis(), -1) << failing;
        const double centre[3] = {0, 0, 0};
        EXPECT_TRUE(fresh.isInside(centre, 2, 0, 1)) << failing;
        failAt = -1;
        fresh.build(cube.id);
        fresh.prepareCells(2);
        EXPECT_EQ(fresh.cells.axis(), 2) << failing;
    }
}

TEST_F(CacheAllocation, EvaluationAllocatesNothing)
{
    ostrevin::OstrevinInstance instance(standin::StandInHost::globalFunc(), nullptr, modulePublishedNames());
    instance.itemID = cube.id;
    instance.init(LWINIT_RENDER);
    instance.newTime(0, 0.0);
    LWTextureAccess access{};
    access.axis = 2;
    instance.evaluate(&access);
    const long before = moduleAllocations;
    for (int i = 0; i < 100; ++i) {
        access.wPos[0] = 0.02 * i - 1.0;
        EXPECT_EQ(instance.evaluate(&access), 1.0);
    }
    EXPECT_EQ(moduleAllocations - before, 0);

    // A failed array: nothing answers, not even Out.
    instance.newTime(1, 0.0);
    cube.polygons.push_back({0, 1, 2});
    failAt = moduleAllocations.load();
    instance.flipFlg = 1;
    EXPECT_EQ(instance.evaluate(&access), 0.0);
}
