// The stand-in's generated meshes are closed, consistently turned outward, and as large as asked.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>

#include "host/shapes.h"
#include "host/standin_host.h"

using standin::SceneObject;

namespace {

// Every directed edge once and its reverse once: closed, with neighbours agreeing on the turn.
::testing::AssertionResult closedAndOriented(const SceneObject &o)
{
    std::map<std::pair<int, int>, int> edges;
    for (const auto &poly : o.polygons)
        for (std::size_t i = 0; i < poly.size(); ++i)
            ++edges[{poly[i], poly[(i + 1) % poly.size()]}];
    for (const auto &[edge, count] : edges) {
        const auto reverse = edges.find({edge.second, edge.first});
        if (count != 1 || reverse == edges.end() || reverse->second != 1)
            return ::testing::AssertionFailure() << o.name << ": edge " << edge.first << "-" << edge.second;
    }
    return ::testing::AssertionSuccess();
}

// By the divergence theorem, over polygons fanned from their first vertex.
double volume(const SceneObject &o)
{
    double sum = 0.0;
    for (const auto &poly : o.polygons)
        for (std::size_t i = 1; i + 1 < poly.size(); ++i) {
            const auto &a = o.points[poly[0]], &b = o.points[poly[i]], &c = o.points[poly[i + 1]];
            sum += double(a[0]) * (double(b[1]) * c[2] - double(b[2]) * c[1]) -
                   double(a[1]) * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
                   double(a[2]) * (double(b[0]) * c[1] - double(b[1]) * c[0]);
        }
    return sum / 6.0;
}

} // namespace

TEST(Shapes, AreClosedOutwardAndOfTheirVolume)
{
    standin::StandInHost host;
    standin::Scene &scene = host.scene();
    const double pi = 3.14159265358979323846;
    struct Expect {
        SceneObject *object;
        double volume, tolerance;
    };
    std::vector<Expect> shapes;
    auto add = [&](const char *name, double v, double tolerance) -> SceneObject & {
        SceneObject &o = scene.addObject(name);
        shapes.push_back({&o, v, tolerance});
        return o;
    };
    standin::appendBox(add("Box", 24, 1e-9), {-1, -2, -1.5f}, {1, 2, 1.5f}, 3);
    standin::appendTriangulatedBox(add("Tri", 64, 1e-9), {0, 0, 0}, {4, 4, 4}, 5);
    standin::appendIcosphere(add("Ico", 4.0 / 3 * pi * 8, 0.01), {1, 2, 3}, 2.0, 4);
    standin::appendUVSphere(add("UV", 4.0 / 3 * pi, 0.03), {0, 0, 0}, 1.0, 32, 16);
    standin::appendTorus(add("Torus", 2 * pi * pi * 2 * 0.25, 0.03), {0, 0, 0}, 2.0, 0.5, 48, 24);
    standin::appendPrism(add("Star", 5 * 2.0 * 0.5 * std::sin(pi / 5), 1e-6),
                         standin::starOutline({0, 0}, 2.0, 0.5, 5), -0.5, 0.5, 0);
    standin::appendPrism(add("L", 12, 1e-9), standin::lOutline({0, 0}, 4, 4, 2), 0, 1, 1);
    SceneObject &pair = add("Pair", 16, 1e-9);
    standin::appendBox(pair, {0, 0, 0}, {2, 2, 2});
    standin::appendBox(pair, {3, 0, 0}, {5, 2, 2});
    for (const Expect &e : shapes) {
        EXPECT_TRUE(closedAndOriented(*e.object));
        EXPECT_NEAR(volume(*e.object), e.volume, e.volume * e.tolerance) << e.object->name;
    }
    EXPECT_EQ(shapes[1].object->polygons.size(), 6u * 25 * 2);
    EXPECT_EQ(shapes[1].object->points.size(), 6u * 25 + 2);
    EXPECT_EQ(shapes[2].object->polygons.size(), 20u * 256);
    EXPECT_EQ(shapes[2].object->points.size(), 10u * 256 + 2);
}

TEST(Shapes, IcosphereReachesOverAMillionTriangles)
{
    standin::StandInHost host;
    SceneObject &o = host.scene().addObject("Big");
    standin::appendIcosphere(o, {0, 0, 0}, 1.0, 8);
    EXPECT_EQ(o.polygons.size(), 1310720u);
    EXPECT_EQ(o.points.size(), 655362u);
}
