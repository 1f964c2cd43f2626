// The boundary of what is filled, kept from frame to frame while the target only moves as a whole:
// the kept decision is the one made afresh, and anything else (a part pushed into another, a ray
// meeting an open mesh from another side) decides again. The corners' frame that tells the shape
// is the same, on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "framework/host_services.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "texture/geometry/polygon_record.h"
#include "texture/geometry/shape_frame.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/target/filled_boundary.h"

using standin::Transform;

namespace {

Transform turnedAboutX(double angle, double shift)
{
    Transform t = Transform::translation(shift, -shift, 0.5 * shift);
    t.m[1][1] = std::cos(angle), t.m[1][2] = -std::sin(angle);
    t.m[2][1] = std::sin(angle), t.m[2][2] = std::cos(angle);
    return t;
}

Transform scaled(double x, double y, double z)
{
    Transform t;
    t.m[0][0] = x, t.m[1][1] = y, t.m[2][2] = z;
    return t;
}

// Two boxes of 4 x 4 quads a face crossing each other, as one object; `open` leaves the second
// box's last face out.
void appendParts(standin::SceneObject &o, bool open)
{
    standin::appendBox(o, {-1, -1, -1}, {1, 1, 1}, 4);
    standin::appendBox(o, {0.25f, 0.25f, 0.25f}, {2.25f, 2.25f, 2.25f}, 4);
    if (open)
        o.polygons.resize(o.polygons.size() - 16);
}

} // namespace

TEST(FilledBoundary, AMoveAsAWholeKeepsTheDecisionAnythingElseDecidesAgain)
{
    struct Case {
        const char *what;
        bool open;
        std::function<void(standin::SceneObject &)> change;
        bool kept;
    };
    const auto moved = [](Transform t) { return [t](standin::SceneObject &o) { o.motion = [t](double) { return t; }; }; };
    const Case cases[] = {
        {"moved", false, moved(Transform::translation(3.5, -1.25, 0.125)), true},
        {"turned off the ray", false, moved(turnedAboutX(0.7, 2.0)), true},
        {"mirrored and scaled", false, moved(scaled(-2.0, 0.5, 3.0)), true},
        {"part pushed into the other", false,
         [](standin::SceneObject &o) {
             for (size_t i = o.points.size() / 2; i < o.points.size(); ++i)
                 o.points[i][0] -= 0.5f;
         },
         false},
        {"a point nudged", false, [](standin::SceneObject &o) { o.points[3][1] += 1e-3f; }, false},
        {"open, moved", true, moved(Transform::translation(3.5, -1.25, 0.125)), true},
        {"open, turned off the ray", true, moved(turnedAboutX(0.7, 0.0)), false},
    };
    for (const Case &c : cases) {
        standin::StandInHost host;
        standin::SceneObject &parts = host.scene().addObject("Parts");
        appendParts(parts, c.open);
        ostrevin::HostServices services(standin::StandInHost::globalFunc());
        ostrevin::MeshCache cache(services);
        ostrevin::FilledBoundary boundary;
        const auto build = [&] {
            cache.build(parts.id, ostrevin::nonZeroRule);
            cache.index.prepare(2);
        };
        build();
        const int first = boundary.decide(cache, 2);
        EXPECT_FALSE(boundary.reusedLast()) << c.what;
        EXPECT_EQ(cache.corners.oriented(), !c.open) << c.what;
        EXPECT_TRUE(c.open || first > 0) << c.what;

        c.change(parts);
        build();
        const int left = boundary.decide(cache, 2);
        EXPECT_EQ(boundary.reusedLast(), c.kept) << c.what;
        ostrevin::FilledBoundary fresh;
        ASSERT_EQ(left, fresh.decide(cache, 2)) << c.what;
        for (int i = 0; i < cache.polygonCount && left > 0; ++i)
            ASSERT_EQ(boundary.kept[i], fresh.kept[i]) << c.what << ", polygon " << i;
    }
}

TEST(ShapeFrame, TellsAnAffineImageFromAnotherShape)
{
    // A square pyramid's five faces, then its corners mapped.
    const double corners[5][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.4, 0.5, 1}};
    const std::vector<std::vector<int>> faces = {{0, 3, 2, 1}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}};
    const auto records = [&](const std::function<void(const double *, double *)> &map) {
        std::vector<ostrevin::PolygonRecord> out(faces.size());
        for (size_t f = 0; f < faces.size(); ++f) {
            out[f].vertexCount = static_cast<int>(faces[f].size());
            out[f].vertices = new double[faces[f].size()][3];
            for (size_t k = 0; k < faces[f].size(); ++k)
                map(corners[faces[f][k]], out[f].vertices[k]);
        }
        return out;
    };
    const auto boundsOf = [](const std::vector<ostrevin::PolygonRecord> &r) {
        ostrevin::Bounds b;
        for (const auto &p : r)
            for (int k = 0; k < p.vertexCount; ++k)
                b.include(p.vertices[k]);
        return b;
    };
    ostrevin::ShapeFrame frame;
    const auto original = records([](const double *p, double *q) { q[0] = p[0], q[1] = p[1], q[2] = p[2]; });
    ASSERT_TRUE(frame.remember(original.data(), 5));
    const struct {
        const char *what;
        std::function<void(const double *, double *)> map;
        bool same, sameAlongZ;
    } cases[] = {
        {"moved far off", [](const double *p, double *q) { q[0] = p[0] + 1e4, q[1] = p[1] - 7, q[2] = p[2]; }, true, true},
        {"turned about z", [](const double *p, double *q) { q[0] = -p[1], q[1] = p[0], q[2] = p[2]; }, true, true},
        {"turned about x", [](const double *p, double *q) { q[0] = p[0], q[1] = -p[2], q[2] = p[1]; }, true, false},
        {"sheared", [](const double *p, double *q) { q[0] = p[0] + 0.5 * p[1], q[1] = p[1], q[2] = 2 * p[2]; }, true, true},
        {"z reversed", [](const double *p, double *q) { q[0] = p[0], q[1] = p[1], q[2] = -p[2]; }, true, false},
        {"a corner of the base lifted",
         [](const double *p, double *q) { q[0] = p[0], q[1] = p[1], q[2] = p[2] + (p[0] == 1 && p[1] == 1 ? 1e-3 : 0); }, false,
         false},
    };
    for (const auto &c : cases) {
        const auto image = records(c.map);
        EXPECT_EQ(frame.sameShape(image.data(), 5, boundsOf(image), -1), c.same) << c.what;
        EXPECT_EQ(frame.sameShape(image.data(), 5, boundsOf(image), 2), c.sameAlongZ) << c.what;
    }
    EXPECT_FALSE(frame.sameShape(original.data(), 4, boundsOf(original), -1)) << "a polygon fewer";
    const auto flat = records([](const double *p, double *q) { q[0] = p[0], q[1] = p[1], q[2] = 0; });
    EXPECT_FALSE(frame.remember(flat.data(), 5)) << "flat";
    EXPECT_FALSE(frame.sameShape(original.data(), 5, boundsOf(original), -1)) << "nothing remembered";
}
