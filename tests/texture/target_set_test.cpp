// The target set (texture/target/target_set.h): the target and the objects below it, through
// the shipped module as a union read once per frame, and on its own within its bounds on count
// and depth and over a hierarchy that loops back on itself.
#include <gtest/gtest.h>

#include <string>

#include "host/shapes.h"
#include "texture/target/target_set.h"
#include "texture_support.h"

using ostrevin::TargetSet;
using standin::SceneObject;

TEST_F(LayerTest, ChildrenJoinTheTargetAsAUnionEachReadOncePerFrame)
{
    SceneObject &rig = scene().addObject("Rig");
    standin::appendBox(rig, {0, 0, 0}, {1, 1, 1});
    auto child = [&](const char *name, LWItemID parent, float x) -> SceneObject & {
        SceneObject &o = scene().addObject(name);
        o.parent = parent;
        standin::appendBox(o, {x, 0, 0}, {x + 1, 1, 1});
        return o;
    };
    SceneObject &arm = child("Arm", rig.id, 2);
    child("Hand", arm.id, 4);                      // a grandchild
    SceneObject &lamp = scene().addObject("Lamp");  // not an object, but objects may hang under it
    lamp.type = LWI_LIGHT;
    lamp.parent = rig.id;
    child("Bulb", lamp.id, 6);
    child("Empty", rig.id, 8).noMeshInfo = true;   // no mesh: left out
    child("Elsewhere", nullptr, 10);               // not below the target

    const double xs[] = {0.5, 2.5, 4.5, 6.5, 8.5, 10.5};
    const double alone[] = {1, 0, 0, 0, 0, 0}, together[] = {1, 1, 1, 1, 0, 0};
    for (int children : {0, 1}) {
        for (int rule = 0; rule < 3; ++rule) {
            layerSlot.emplace(host, module);
            startWith("Rig", rule, children != 0);
            scene().counters.reset();
            for (int frame = 0; frame < 2; ++frame) {
                ASSERT_EQ(layer().newTime(frame, frame), nullptr);
                for (size_t i = 0; i < std::size(xs); ++i)
                    EXPECT_EQ(at({xs[i], 0.5, 0.5}), children ? together[i] : alone[i])
                        << "x " << xs[i] << " rule " << rule << " children " << children;
            }
            // Rig, Arm, Hand, Bulb and the mesh-less Empty: one request each per frame.
            EXPECT_EQ(scene().counters.meshInfo, children ? 10 : 2);
        }
    }
}

TEST_F(LayerTest, ChildrenAreBoundedToTheFirstSixtyThreeBelowTheTarget)
{
    SceneObject &top = scene().addObject("Top");
    standin::appendBox(top, {0, 0, 0}, {1, 1, 1});
    for (int i = 0; i < 70; ++i) {
        SceneObject &o = scene().addObject("Child" + std::to_string(i));
        o.parent = top.id;
        standin::appendBox(o, {float(2 * i + 2), 0, 0}, {float(2 * i + 3), 1, 1});
    }
    startWith("Top", 0, true);
    EXPECT_EQ(at({2 * 62 + 2.5, 0.5, 0.5}), 1.0) << "the 63rd child";
    EXPECT_EQ(at({2 * 63 + 2.5, 0.5, 0.5}), 0.0) << "the 64th is past the bound";
    EXPECT_EQ(scene().counters.meshInfo, 64);
}

// A chain of nested objects below the target: the walk goes maxDepth generations down.
TEST(TargetSet, TheWalkStopsAtItsDepthBound)
{
    standin::StandInHost host;
    const ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    LWItemID parent = nullptr;
    LWItemID target = nullptr;
    for (int generation = 0; generation <= TargetSet::maxDepth + 4; ++generation) {
        SceneObject &o = host.scene().addObject("Generation" + std::to_string(generation));
        o.parent = parent;
        standin::appendBox(o, {float(2 * generation), 0, 0}, {float(2 * generation + 1), 1, 1});
        parent = o.id;
        target = target ? target : o.id;
    }
    TargetSet set(services);
    set.build(target, true, ostrevin::evenOddRule, 0.0);
    EXPECT_EQ(set.childCount(), TargetSet::maxDepth);
    const auto at = [&](int generation) {
        const double p[3] = {2.0 * generation + 0.5, 0.5, 0.5};
        return set.valueAt(p, 2, ostrevin::evenOddRule, true);
    };
    EXPECT_EQ(at(TargetSet::maxDepth), 1.0) << "the deepest generation walked";
    EXPECT_EQ(at(TargetSet::maxDepth + 1), 0.0) << "past the depth bound";
}

// A host whose hierarchy loops (the target hangs under its own child) must not hang the build:
// the child is read once, the target never again.
TEST(TargetSet, AHierarchyThatLoopsBackEndsWithEachObjectReadOnce)
{
    standin::StandInHost host;
    const ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    SceneObject &top = host.scene().addObject("Top");
    standin::appendBox(top, {0, 0, 0}, {1, 1, 1});
    SceneObject &child = host.scene().addObject("Child");
    standin::appendBox(child, {2, 0, 0}, {3, 1, 1});
    child.parent = top.id;
    top.parent = child.id;
    TargetSet set(services);
    host.scene().counters.reset();
    set.build(top.id, true, ostrevin::evenOddRule, 0.0);
    EXPECT_EQ(set.childCount(), 1);
    EXPECT_EQ(host.scene().counters.meshInfo, 2);
    const double inChild[3] = {2.5, 0.5, 0.5};
    EXPECT_EQ(set.valueAt(inChild, 2, ostrevin::evenOddRule, true), 1.0);
    EXPECT_EQ(set.valueAt(inChild, 2, ostrevin::evenOddRule, false), 0.0) << "children asked only when included";
}
