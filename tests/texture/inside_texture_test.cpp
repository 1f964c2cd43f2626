// The inside texture through the shipped module: the host's render protocol, targets, and the
// parity test on meshes whose rays pass exactly through edges and vertices.
#include <atomic>
#include <thread>
#include <vector>

#include "texture/texture_support.h"

using standin::SceneObject;
using standin::StandInHost;
using standin::TextureLayer;

namespace {
void addCube(SceneObject &o, float half = 1.0f) { standin::appendBox(o, {-half, -half, -half}, {half, half, half}); }
} // namespace

TEST_F(LayerTest, CubeAnswersInsideOutsideAndOnItsFacesAlongZ)
{
    addCube(scene().addObject("Cube"));
    start("Cube");
    EXPECT_EQ(at({0, 0, 0}), 1.0);
    EXPECT_EQ(at({0, 0, 2}), 0.0) << "outside the bounds";
    EXPECT_EQ(at({0, 0, 1}), 0.0) << "on the top face: its plane passes through the point";
    EXPECT_EQ(at({0, 0, -1}), 1.0) << "on the bottom face: only the top face is ahead";
    EXPECT_EQ(at({0.5, -0.25, 0.9}, 0), 1.0);
    EXPECT_EQ(at({0.5, -0.25, 0.9}, 1), 1.0);
    setOut(true);
    EXPECT_EQ(at({0, 0, 0}), 0.0);
    EXPECT_EQ(at({0, 0, 2}), 1.0);
}

TEST_F(LayerTest, AxisOutsideTheThreeAnswersAsOutside)
{
    addCube(scene().addObject("Cube"));
    start("Cube");
    for (int axis : {-1, 3, 1000, -2147483647 - 1})
        EXPECT_EQ(at({0, 0, 0}, axis), 0.0) << axis;
    setOut(true);
    EXPECT_EQ(at({0, 0, 0}, 3), 1.0);
}

TEST_F(LayerTest, TwoCubesInOneObjectLeaveTheGapBetweenOutside)
{
    SceneObject &o = scene().addObject("Pair");
    standin::appendBox(o, {-3, -1, -1}, {-1, 1, 1});
    standin::appendBox(o, {1, -1, -1}, {3, 1, 1});
    start("Pair");
    EXPECT_EQ(at({0, 0, 0}), 0.0);
    EXPECT_EQ(at({-2, 0, 0}), 1.0);
    EXPECT_EQ(at({2, 0, 0}, 0), 1.0);
    EXPECT_EQ(at({0, 0, 0}, 0), 0.0);
}

TEST_F(LayerTest, AnswersZeroWithoutARenderInModelerAndWithoutATarget)
{
    addCube(scene().addObject("Cube"));
    ASSERT_TRUE(layer().create());
    layer().openPanel();
    choose("Cube");
    setOut(true);
    EXPECT_EQ(at({0, 0, 0}), 0.0) << "before init";
    layer().init(LWINIT_PREVIEW);
    EXPECT_EQ(at({0, 0, 0}), 0.0) << "preview";
    layer().init(LWINIT_RENDER);
    layer().newTime(0, 0.0);
    EXPECT_EQ(at({0, 0, 2}), 1.0) << "rendering, Out";
    layer().cleanup();
    EXPECT_EQ(at({0, 0, 2}), 0.0) << "after cleanup";

    TextureLayer none{host, module};
    ASSERT_TRUE(none.create());
    none.init(LWINIT_RENDER);
    none.newTime(0, 0.0);
    EXPECT_EQ(none.evaluate(0, 0, 0), 0.0) << "no target";
    EXPECT_EQ(host.scene().counters.meshInfo.load(), 1) << "only the rendering layer with a target read a mesh";
}

TEST_F(LayerTest, InertInModeler)
{
    addCube(scene().addObject("Cube"));
    start("Cube", true);   // settings made in Layout, copied into a Modeler layer
    host.systemID = StandInHost::modelerSystemID;
    TextureLayer modeler{host, module};
    ASSERT_TRUE(modeler.create());
    ASSERT_EQ(modeler.copyFrom(layer()), nullptr);
    modeler.init(LWINIT_RENDER);
    modeler.newTime(0, 0.0);
    EXPECT_EQ(modeler.evaluate(0, 0, 0), 0.0);
    EXPECT_EQ(modeler.evaluate(0, 0, 5), 0.0);
    EXPECT_EQ(scene().counters.meshInfo.load(), 0);
}

TEST_F(LayerTest, TargetWithoutPolygonsNeverAnswersAndOneThatLosesThemIsOutside)
{
    scene().addObject("Empty").points = {{0, 0, 0}, {1, 1, 1}};
    SceneObject &cube = scene().addObject("Cube");
    addCube(cube);
    start("Empty", true);
    EXPECT_EQ(at({0.5, 0.5, 0.5}), 0.0) << "no polygon array: not even Out answers";

    choose("Cube");
    layer().newTime(1, 0.0);
    EXPECT_EQ(at({0, 0, 0}), 0.0);
    cube.polygons.clear();
    layer().newTime(2, 0.0);
    EXPECT_EQ(at({0, 0, 0}), 1.0) << "empty bounds: outside, inverted";
}

TEST_F(LayerTest, NewTargetWithinAFrameWaitsForTheNextFrame)
{
    addCube(scene().addObject("Near"));
    standin::appendBox(scene().addObject("Far"), {9, 9, 9}, {11, 11, 11});
    start("Near");
    EXPECT_EQ(at({0, 0, 0}), 1.0);
    choose("Far");
    EXPECT_EQ(at({0, 0, 0}), 1.0) << "this frame's cache is still Near's";
    EXPECT_EQ(at({10, 10, 10}), 0.0);
    layer().newTime(1, 0.0);
    choose("Near");
    choose("Far");
    EXPECT_EQ(at({10, 10, 10}), 1.0);
    EXPECT_EQ(at({0, 0, 0}), 0.0);
}

TEST_F(LayerTest, MeshIsReadOncePerFrameAndAMissingMeshKeepsTheLastOne)
{
    SceneObject &cube = scene().addObject("Cube");
    addCube(cube);
    cube.motion = [](double t) { return standin::Transform::translation(t, 0, 0); };
    start("Cube");
    for (int frame = 0; frame < 4; ++frame) {
        layer().newTime(frame, 1.5 * frame);
        const double x = 1.5 * frame;
        EXPECT_EQ(at({x, 0, 0}), 1.0) << frame;
        EXPECT_EQ(at({x - 1.2, 0, 0}), 0.0) << frame;
        EXPECT_EQ(at({x + 0.9, 0, 0}, 0), 1.0) << frame;
    }
    EXPECT_EQ(scene().counters.meshInfo.load(), 4);
    EXPECT_EQ(scene().counters.liveRecords.load(), 0) << "every mesh record released";

    cube.noMeshInfo = true;
    layer().newTime(9, 100.0);
    EXPECT_EQ(at({4.5, 0, 0}), 1.0) << "frame 3's cache answers";
    EXPECT_EQ(at({100, 0, 0}), 0.0);
    EXPECT_EQ(scene().counters.meshInfo.load(), 5) << "a frame without a mesh asks once, not at every point";
    EXPECT_EQ(scene().counters.meshInfoFrozen.load(), 5) << "every read asks for the mesh as rendered";
}

TEST_F(LayerTest, TargetWithoutAMeshAnswersOutsideNotWithThePreviousTarget)
{
    addCube(scene().addObject("Cube"));
    scene().addObject("Null").noMeshInfo = true;
    start("Cube");
    EXPECT_EQ(at({0, 0, 0}), 1.0);

    choose("Null");
    layer().newTime(1, 1.0);
    EXPECT_EQ(at({0, 0, 0}), 0.0) << "the cube's polygons are not the null's";
    setOut(true);
    EXPECT_EQ(at({0, 0, 0}), 1.0);
    setOut(false);

    layer().newTime(2, 2.0);
    EXPECT_EQ(at({0, 0, 0}), 0.0) << "still no mesh: asked again, still empty";
    choose("Cube");
    layer().newTime(3, 3.0);
    EXPECT_EQ(at({0, 0, 0}), 1.0);
    EXPECT_EQ(scene().counters.meshInfo.load(), 4) << "one mesh read per frame";
}

// Many threads at the start of every frame: one reads the mesh, the rest wait and then read the
// finished cache. With the host's mutexes, without them, and with a lock call that fails.
TEST_F(LayerTest, ThreadsShareOneBuildPerFrame)
{
    for (int mode = 0; mode < 3; ++mode) {
        host.threads().createFails = mode == 1;
        host.threads().lockFails = mode == 2;
        scene().clear();
        scene().counters.reset();
        SceneObject &ball = scene().addObject("Ball");
        standin::appendIcosphere(ball, {0, 0, 0}, 1.0, 3);
        ball.motion = [](double t) { return standin::Transform::translation(0, 0, t); };
        start("Ball");
        constexpr int threads = 8, frames = 6, points = 200;
        for (int frame = 0; frame < frames; ++frame) {
            layer().newTime(frame, 0.25 * frame);
            const int locksBefore = host.threads().locksOf[0], unlocksBefore = host.threads().unlocksOf[0];
            std::atomic<int> ready{0}, wrong{0};
            std::vector<std::thread> pool;
            for (int t = 0; t < threads; ++t)
                pool.emplace_back([&, t] {
                    ++ready;
                    while (ready < threads)
                        std::this_thread::yield();
                    for (int i = 0; i < points; ++i) {
                        const double z = 0.25 * frame + (i % 2 ? 0.5 : 1.5) + 0.001 * t;
                        wrong += layer().evaluate(0.01 * (i % 7), 0.02 * (i % 5), z, i % 3) != (i % 2 ? 1.0 : 0.0);
                    }
                });
            for (auto &th : pool)
                th.join();
            EXPECT_EQ(wrong.load(), 0) << "mode " << mode << " frame " << frame;
            // The build asks for mutex 0 whenever the host offers a group, and releases only what
            // it was given.
            const int locked = host.threads().locksOf[0] - locksBefore;
            const int unlocked = host.threads().unlocksOf[0] - unlocksBefore;
            EXPECT_EQ(locked > 0, mode != 1) << "mode " << mode << " frame " << frame;
            EXPECT_EQ(unlocked, mode == 0 ? locked : 0) << "mode " << mode << " frame " << frame;
        }
        EXPECT_EQ(scene().counters.meshInfo.load(), frames) << "mode " << mode;
        layer().destroy();
    }
}

// Rays along every axis through the lattice of a triangulated box cross edges and vertices
// exactly; the box [-2, 2]^3 answers by its coordinates alone.
TEST_F(LayerTest, TriangulatedBoxLatticeMatchesTheBox)
{
    standin::appendTriangulatedBox(scene().addObject("Box"), {-2, -2, -2}, {2, 2, 2}, 4);
    start("Box");
    for (int i = -6; i <= 6; ++i)
        for (int j = -6; j <= 6; ++j)
            for (int k = -6; k <= 6; ++k) {
                const Vec3 p{0.5 * i, 0.5 * j, 0.5 * k};
                const int most = std::max({std::abs(i), std::abs(j), std::abs(k)});
                if (most == 4)
                    continue;   // on the surface
                for (int axis = 0; axis < 3; ++axis)
                    ASSERT_EQ(at(p, axis), most < 4 ? 1.0 : 0.0) << p[0] << " " << p[1] << " " << p[2] << " axis " << axis;
            }
}

// Points straight below and above every vertex and every edge midpoint, along each axis.
TEST_F(LayerTest, ConvexMeshesThroughTheirVerticesAndEdgesMatchTheirFaces)
{
    SceneObject &ico = scene().addObject("Ico");
    standin::appendIcosphere(ico, {0.25f, -0.5f, 0.125f}, 1.5, 2);
    SceneObject &uv = scene().addObject("UV");
    standin::appendUVSphere(uv, {0, 0, 0}, 1.0, 12, 8);
    start("Ico");
    for (SceneObject *o : {&ico, &uv}) {
        choose(o->name);
        layer().newTime(1, 0.0);
        int checked = 0;
        for (const auto &poly : o->polygons)
            for (std::size_t e = 0; e < poly.size(); ++e) {
                const auto &a = o->points[poly[e]], &b = o->points[poly[(e + 1) % poly.size()]];
                for (double w : {0.0, 0.5}) {
                    const Vec3 base{a[0] + w * (double(b[0]) - a[0]), a[1] + w * (double(b[1]) - a[1]),
                                    a[2] + w * (double(b[2]) - a[2])};
                    for (int axis = 0; axis < 3; ++axis)
                        for (double h : {-3.1, -1.7, -0.6, -0.05, 0.05, 0.6}) {
                            Vec3 p = base;
                            p[axis] += h;
                            const int side = convexSide(*o, p, 1e-6);
                            if (side == 0)
                                continue;
                            ++checked;
                            ASSERT_EQ(at(p, axis), side > 0 ? 1.0 : 0.0)
                                << o->name << " " << p[0] << " " << p[1] << " " << p[2] << " axis " << axis;
                        }
                }
            }
        EXPECT_GT(checked, 1000) << o->name;
    }
}

// Concave caps: an L and a star, with rays through the reflex corners and along the caps' axis.
TEST_F(LayerTest, ConcavePrismsAnswerInsideTheirArmsAndOutsideTheirNotches)
{
    standin::appendPrism(scene().addObject("L"), standin::lOutline({0, 0}, 4, 4, 2), 0, 1);
    start("L");
    for (int i = -1; i <= 9; ++i)
        for (int j = -1; j <= 9; ++j)
            for (double z : {-0.5, 0.5}) {
                const double x = 0.5 * i, y = 0.5 * j;
                const bool interior = (0 < x && x < 4 && 0 < y && y < 2) || (0 < x && x < 2 && 0 < y && y < 4);
                const bool closure = (0 <= x && x <= 4 && 0 <= y && y <= 2) || (0 <= x && x <= 2 && 0 <= y && y <= 4);
                if (closure && !interior)
                    continue;   // on the side walls
                const double expected = interior && z > 0 ? 1.0 : 0.0;
                for (int axis = 0; axis < 3; ++axis)
                    ASSERT_EQ(at({x, y, z}, axis), expected) << x << " " << y << " " << z << " axis " << axis;
            }

    const auto star = standin::starOutline({0, 0}, 2.0, 0.7, 5);
    standin::appendPrism(scene().addObject("Star"), star, -1, 1);
    choose("Star");
    layer().newTime(1, 0.0);
    // Towards each tip (inside the spike short of it) and each notch (outside past its inner
    // corner), along the caps' axis and across it.
    for (std::size_t k = 0; k < star.size(); ++k)
        for (double f : {0.5, 0.9, 1.1})
            for (int axis = 0; axis < 3; ++axis)
                EXPECT_EQ(at({star[k][0] * f, star[k][1] * f, 0.25}, axis), f < 1.0 ? 1.0 : 0.0)
                    << "vertex " << k << " scaled " << f << " axis " << axis;
}
