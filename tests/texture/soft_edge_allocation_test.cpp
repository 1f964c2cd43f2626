// The soft edge's storage, counted and made to fail: frames whose counts do not grow and every
// search allocate nothing, whatever the width, nor do the children's edges after their first
// frame; an index that cannot get its storage leaves the scan of every record answering, with the
// same values. The module allocates only through the non-throwing operator new, which this binary
// replaces.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "support/module_allocations.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/instance/ostrevin_instance.h"
#include "support/published_names.h"
#include "texture/distance/polygon_distance.h"
#include "texture/target/smooth_step.h"
#include "texture/target/soft_edge.h"

namespace {

class SoftEdgeStorage : public ::testing::Test {
protected:
    void SetUp() override
    {
        standin::appendTorus(target, {0, 0, 0}, 1.0, 0.3, 24, 12);
        target.motion = [](double time) { return standin::Transform::translation(0.2 * time, 0.0, 0.1 * time); };
        moduleAllocations = 0;
        failAt = -1;
    }
    // Values along a line through the tube, one end to the other.
    std::vector<double> values() const
    {
        std::vector<double> out;
        for (int i = 0; i <= 100; ++i) {
            const double p[3] = {0.7 + 0.006 * i + 0.2 * frame, 0.01, 0.1 * frame + 0.001 * i};
            out.push_back(soft.insideValue(cache, p));
        }
        return out;
    }
    // The same values from the plain scan of every record.
    std::vector<double> scanned() const
    {
        std::vector<double> out;
        const double width = soft.width();
        for (int i = 0; i <= 100; ++i) {
            const double p[3] = {0.7 + 0.006 * i + 0.2 * frame, 0.01, 0.1 * frame + 0.001 * i};
            const double d = std::sqrt(ostrevin::nearestDistanceSquared(cache.polygons, cache.polygonCount, p));
            out.push_back(ostrevin::smoothStep((d < width ? d : width) / width));
        }
        return out;
    }
    void frameAt(int f, double width)
    {
        frame = f;
        host.scene().time = f;
        cache.build(target.id);
        soft.prepare(cache, width);
    }

    standin::StandInHost host;
    standin::SceneObject &target = host.scene().addObject("Torus");
    ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    ostrevin::MeshCache cache{services};
    ostrevin::SoftEdgeFrame soft;
    int frame = 0;
};

} // namespace

TEST_F(SoftEdgeStorage, MovingFramesWidthChangesAndSearchesAllocateNothing)
{
    frameAt(0, 0.1);
    ASSERT_TRUE(soft.index.usable());
    const long before = moduleAllocations;
    // Moving, then standing still (the index kept), then a new width on the same records.
    for (const auto &[f, width] : {std::pair{1, 0.05}, {2, 0.1}, {2, 0.1}, {2, 0.15}, {3, 0.15}}) {
        frameAt(f, width);
        EXPECT_TRUE(soft.index.usable());
        EXPECT_EQ(values(), scanned()) << "frame " << f << ", width " << width;
    }
    frameAt(4, 0.0);
    EXPECT_FALSE(soft.on());
    EXPECT_EQ(moduleAllocations - before, 0);
}

TEST_F(SoftEdgeStorage, AnIndexWithoutStorageLeavesTheScanAnsweringTheSame)
{
    frameAt(0, 0.15);
    const std::vector<double> indexed = values();
    ostrevin::MeshCache fresh(services);
    ostrevin::SoftEdgeFrame failing;
    fresh.build(target.id);
    failAt = moduleAllocations.load();
    failing.prepare(fresh, 0.15);
    EXPECT_FALSE(failing.index.usable());
    std::vector<double> scanned;
    for (int i = 0; i <= 100; ++i) {
        const double p[3] = {0.7 + 0.006 * i, 0.01, 0.001 * i};
        scanned.push_back(failing.insideValue(fresh, p));
    }
    EXPECT_EQ(scanned, indexed);
}

TEST_F(SoftEdgeStorage, ChildrensEdgesAllocateOnlyAtTheirFirstFrame)
{
    standin::SceneObject &child = host.scene().addObject("Child");
    child.parent = target.id;
    child.motion = target.motion;
    standin::appendIcosphere(child, {0, 0, 2}, 0.5, 2);
    ostrevin::OstrevinInstance instance(standin::StandInHost::globalFunc(), nullptr, modulePublishedNames());
    instance.itemID = target.id;
    instance.includeChildren = 1;
    instance.softEdge = 0.1;
    instance.init(LWINIT_RENDER);
    LWTextureAccess access{};
    access.axis = 2;
    long before = 0;
    for (int f = 0; f < 4; ++f) {
        host.scene().time = f;
        instance.newTime(f, f);
        instance.evaluate(&access);
        if (f == 0)
            before = moduleAllocations;
        // Into the child's skin from its centre: its own ramp, from 1 down to 0.
        access.wPos[0] = 0.2 * f;
        access.wPos[1] = 0.0;
        double last = 2.0;
        for (int i = 0; i <= 10; ++i) {
            access.wPos[2] = 2.0 + 0.1 * f + 0.04 * i;
            const double value = instance.evaluate(&access);
            EXPECT_LE(value, last) << "frame " << f << ", step " << i;
            last = value;
        }
        EXPECT_TRUE(last > 0.0 && last < 1.0) << "frame " << f;
    }
    EXPECT_EQ(moduleAllocations - before, 0);
}
