// The index's storage, counted and made to fail: nothing is allocated in a frame whose counts do
// not grow nor by any query, and an index that cannot get its storage leaves the scan answering.
// The module allocates only through the non-throwing operator new, which this binary replaces.

#include <gtest/gtest.h>

#include <climits>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "support/linear_scan.h"
#include "support/module_allocations.h"
#include "texture/geometry/axes.h"
#include "texture/mesh/mesh_cache.h"

namespace {

class IndexStorage : public ::testing::Test {
protected:
    void SetUp() override
    {
        standin::appendTorus(target, {0, 0, 0}, 1.0, 0.3, 16, 8);
        target.motion = [](double time) { return standin::Transform::translation(0.3 * time, 0.1 * time, 0.0); };
        moduleAllocations = 0;
        failAt = -1;
    }

    // The scan's answer and the cache's on a spread of points, along every axis: how many differ.
    int wrongAnswers() const
    {
        int wrong = 0;
        for (int axis = 0; axis < 3; ++axis)
            for (int i = 0; i < 200; ++i) {
                const double p[3] = {-1.5 + 0.015 * i, 0.3 - 0.003 * i, 0.1 + 0.001 * i};
                wrong += cache.isInside(p, axis, ostrevin::crossFirstAxis[axis], ostrevin::crossSecondAxis[axis]) !=
                         reference::scanInside(cache, p, axis);
            }
        return wrong;
    }

    standin::StandInHost host;
    standin::SceneObject &target = host.scene().addObject("Torus");
    ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    ostrevin::MeshCache cache{services};
};

} // namespace

TEST_F(IndexStorage, MovingFramesAndTheirQueriesAllocateNothing)
{
    cache.build(target.id);
    EXPECT_EQ(wrongAnswers(), 0);   // every axis laid out once
    const long afterFirst = moduleAllocations;
    for (int frame = 1; frame <= 3; ++frame) {
        host.scene().time = frame;
        cache.build(target.id);
        EXPECT_EQ(wrongAnswers(), 0) << "frame " << frame;
    }
    EXPECT_EQ(moduleAllocations - afterFirst, 0);
}

TEST_F(IndexStorage, EachFailedBlockLeavesTheScanAnsweringUntilABuildGetsIt)
{
    // Before the index's blocks: the array, its buffers, the polygon list and its count's scratch.
    ostrevin::MeshCache unindexed(services);
    unindexed.indexThreshold = INT_MAX;
    moduleAllocations = 0;
    unindexed.build(target.id, ostrevin::nonZeroRule);
    const long records = moduleAllocations;
    for (long block = 0; block < 4; ++block) {
        SCOPED_TRACE("index block " + std::to_string(block));
        ostrevin::MeshCache fresh(services);
        fresh.indexThreshold = 0;
        moduleAllocations = 0;
        failAt = records + block;
        fresh.build(target.id, ostrevin::nonZeroRule);
        EXPECT_FALSE(fresh.index.usable());
        for (int axis = 0; axis < 3; ++axis)
            for (int i = 0; i < 50; ++i) {
                const double p[3] = {-1.2 + 0.05 * i, 0.05 * i - 1.0, 0.0};
                EXPECT_EQ(fresh.isInside(p, axis, ostrevin::crossFirstAxis[axis], ostrevin::crossSecondAxis[axis]),
                          reference::scanInside(fresh, p, axis));
            }
        failAt = -1;
        fresh.build(target.id);
        EXPECT_TRUE(fresh.index.usable());
    }
}
