// The side a polygon faces, the Tolerant vote over rays along the axes, and the closed meshes on
// which Tolerant needs no vote.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "texture/inside/fill_rule.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/inside/winding.h"

using ostrevin::areaOrientation;
using ostrevin::crossingSign;
using ostrevin::tolerantInside;

namespace {

// The normal of the first three corners, unnormalised, as the cache takes it.
void firstThreeNormal(const double (*v)[3], double n[3])
{
    const double e1[3] = {v[1][0] - v[0][0], v[1][1] - v[0][1], v[1][2] - v[0][2]};
    const double e2[3] = {v[2][0] - v[0][0], v[2][1] - v[0][1], v[2][2] - v[0][2]};
    n[0] = e1[1] * e2[2] - e1[2] * e2[1];
    n[1] = e1[2] * e2[0] - e1[0] * e2[2];
    n[2] = e1[0] * e2[1] - e1[1] * e2[0];
}

} // namespace

TEST(Winding, CrossingsCountByTheSideTheWholePolygonFaces)
{
    struct Case {
        const char *what;
        std::vector<std::array<double, 3>> corners;   // in z = 0; +1 when they turn counter-clockwise
        int front;                                     // the crossing's sign along +Z
    };
    const Case cases[] = {
        {"counter-clockwise triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 1},
        {"clockwise triangle", {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, -1},
        {"L from a convex corner", {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}, 1},
        {"L whose first three corners turn at the reflex one", {{2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}, {0, 0, 0}, {2, 0, 0}}, 1},
        {"the same L walked the other way", {{2, 0, 0}, {0, 0, 0}, {0, 2, 0}, {1, 2, 0}, {1, 1, 0}, {2, 1, 0}}, -1},
    };
    for (const Case &c : cases) {
        const auto *v = reinterpret_cast<const double(*)[3]>(c.corners.data());
        double n[3];
        firstThreeNormal(v, n);
        const int orientation = areaOrientation(v, static_cast<int>(c.corners.size()), n);
        EXPECT_EQ(crossingSign(n[2], orientation < 0, false), c.front) << c.what;
        EXPECT_EQ(crossingSign(n[2], orientation < 0, true), -c.front) << c.what << ", backwards";
    }
    const double flat[3][3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    const double zero[3] = {0, 0, 0};
    EXPECT_EQ(areaOrientation(flat, 3, zero), 1) << "no area keeps the normal as it is";
}

TEST(Winding, TolerantAsksTheOtherRaysOnlyWhenTheFirstTwoDisagree)
{
    struct Case {
        int windings[6];   // +axis, +u, +v, -axis, -u, -v
        bool inside;
        int rays;          // rays cast
    };
    const Case cases[] = {
        {{1, 1, 0, 0, 0, 0}, true, 2},      // both through the mesh: inside, the others unasked
        {{0, 0, 1, 1, 1, 1}, false, 2},     // both clear of it: outside
        {{2, -1, 0, 0, 0, 0}, true, 2},     // nested or inward shells count as any non-zero sum
        {{0, 1, 1, 1, 0, 0}, true, 6},      // the axis ray left through a hole: three of six
        {{0, 1, 0, 1, 0, 1}, true, 6},
        {{1, 0, 0, 0, 0, 1}, false, 6},     // two of six
        {{0, 1, 0, 0, 0, 0}, false, 6},
    };
    for (const Case &c : cases) {
        // Texture axis Y: its rays go Y, then X and Z across it.
        const int axisSlot[3] = {1, 0, 2};
        int rays = 0;
        const bool inside = tolerantInside(1, 0, 2, [&](int axis, bool backwards) {
            ++rays;
            return c.windings[axisSlot[axis] + (backwards ? 3 : 0)];
        });
        EXPECT_EQ(inside, c.inside) << c.windings[0] << c.windings[1] << c.windings[2];
        EXPECT_EQ(rays, c.rays);
    }
}

TEST(Winding, OutOfRangeRulesClampToTheNearest)
{
    for (auto [given, rule] : {std::pair{-7, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 2}, {1 << 30, 2}})
        EXPECT_EQ(ostrevin::clampedFillRule(given), rule) << given;
}

TEST(Winding, TolerantBuildsFindWhetherTheMeshIsClosedByItsEdges)
{
    using standin::SceneObject;
    const struct {
        const char *what;
        std::function<void(SceneObject &)> make;
        bool closed;
    } cases[] = {
        {"box of quads", [](SceneObject &o) { standin::appendBox(o, {-1, -1, -1}, {1, 1, 1}, 3); }, true},
        {"box of triangles", [](SceneObject &o) { standin::appendTriangulatedBox(o, {-1, -1, -1}, {1, 1, 1}, 2); }, true},
        {"two tori", [](SceneObject &o) {
             standin::appendTorus(o, {0, 0, 0}, 1.0, 0.3, 12, 8);
             standin::appendTorus(o, {0.5f, 0, 0}, 1.0, 0.3, 12, 8);
         }, true},
        {"box without one quad", [](SceneObject &o) {
             standin::appendBox(o, {-1, -1, -1}, {1, 1, 1}, 3);
             o.polygons.pop_back();
         }, false},
        {"a quad beside a box", [](SceneObject &o) {
             standin::appendBox(o, {-1, -1, -1}, {1, 1, 1});
             const int k = static_cast<int>(o.points.size());
             o.points.insert(o.points.end(), {{3, 0, 0}, {4, 0, 0}, {4, 1, 0}, {3, 1, 0}});
             o.addPolygon({k, k + 1, k + 2, k + 3});
         }, false},
    };
    standin::StandInHost host;
    ostrevin::HostServices services{standin::StandInHost::globalFunc()};
    for (const auto &c : cases) {
        SceneObject &o = host.scene().addObject(c.what);
        c.make(o);
        ostrevin::MeshCache cache{services};
        cache.build(o.id);
        EXPECT_FALSE(cache.closed) << c.what << ": only Tolerant asks";
        cache.build(o.id, ostrevin::tolerantRule);
        EXPECT_EQ(cache.closed, c.closed) << c.what;
    }
}
