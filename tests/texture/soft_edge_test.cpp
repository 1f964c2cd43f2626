// The soft edge through the shipped module: inside, the smooth step of the depth over the width;
// outside 0; Out the complement; a width of 0 the hard answers; a new width from the next frame;
// each object of a target with its children ramping from its own surface; inside by the fill rule.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "texture/instance/ostrevin_instance.h"
#include "texture/texture_support.h"

namespace {

class SoftEdge : public LayerTest {
protected:
    void SetUp() override
    {
        LayerTest::SetUp();
        standin::appendBox(scene().addObject("Cube"), {-1, -1, -1}, {1, 1, 1});
    }
    void setWidth(double width)
    {
        const standin::XPanelRecord *p = host.xpanel().panel(layer().panel());
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->set(p->viewInstance, ostrevin::softEdgeControl, &width), 1);
    }
};

double ramp(double x) { return x >= 1 ? 1 : x * x * (3 - 2 * x); }

} // namespace

TEST_F(SoftEdge, InsideRampsByDepthOutsideIsZeroOutIsTheComplement)
{
    ASSERT_TRUE(layer().create());
    layer().openPanel();
    choose("Cube");
    setWidth(0.4);
    ASSERT_EQ(layer().init(LWINIT_RENDER), nullptr);
    ASSERT_EQ(layer().newTime(0, 0.0), nullptr);
    const struct {
        Vec3 p;
        double depth;   // to the cube's nearest face; -1 outside
    } cases[] = {{{0, 0, 0}, 1},          {{0.9, 0, 0}, 0.1},       {{0.8, -0.3, 0.7}, 0.2},   {{0.25, 0.5, -0.95}, 0.05},
                 {{0.7, 0.7, 0.7}, 0.3},  {{0, 0, -1}, 0},          {{0, 0, 1.5}, -1},        {{1.2, 0, 0}, -1}};
    for (const bool out : {false, true}) {
        setOut(out);
        for (int axis = 0; axis < 3; ++axis)
            for (const auto &c : cases) {
                // The bottom face is inside along Z only (the crossing rule), at depth 0.
                if (c.depth == 0 && axis != 2)
                    continue;
                const double value = c.depth < 0 ? 0.0 : ramp(c.depth / 0.4);
                EXPECT_NEAR(at(c.p, axis), out ? 1.0 - value : value, 1e-15)
                    << c.p[0] << " " << c.p[1] << " " << c.p[2] << ", axis " << axis << (out ? ", Out" : "");
            }
    }
}

TEST_F(SoftEdge, ZeroIsTheHardEdgeAndANewWidthWaitsForTheNextFrame)
{
    start("Cube");
    EXPECT_EQ(at({0.9, 0, 0}), 1.0);
    setWidth(0.4);
    EXPECT_EQ(at({0.9, 0, 0}), 1.0) << "this frame's build took width 0";
    ASSERT_EQ(layer().newTime(1, 1.0), nullptr);
    EXPECT_DOUBLE_EQ(at({0.9, 0, 0}), ramp(0.25));
    setWidth(0.0);
    ASSERT_EQ(layer().newTime(2, 2.0), nullptr);
    EXPECT_EQ(at({0.9, 0, 0}), 1.0);
    EXPECT_EQ(at({0, 0, 1}), 0.0);
}

TEST_F(SoftEdge, ConcurrentEvaluationsAtTheStartOfAFrameAgree)
{
    standin::appendIcosphere(scene().addObject("Ball"), {0, 0, 0}, 1.0, 3);
    ASSERT_TRUE(layer().create());
    layer().openPanel();
    choose("Ball");
    setWidth(0.3);
    ASSERT_EQ(layer().init(LWINIT_RENDER), nullptr);
    std::vector<Vec3> points;
    for (int i = 0; i < 400; ++i)
        points.push_back({-1.0 + 0.005 * i, 0.3 - 0.001 * i, 0.002 * i - 0.4});
    std::vector<double> alone;
    ASSERT_EQ(layer().newTime(0, 0.0), nullptr);
    for (const Vec3 &p : points)
        alone.push_back(at(p));
    for (int frame = 1; frame <= 3; ++frame) {
        ASSERT_EQ(layer().newTime(frame, 0.0), nullptr);
        std::vector<double> a(points.size()), b(points.size());
        std::thread first([&] {
            for (std::size_t i = 0; i < points.size(); ++i)
                a[i] = at(points[i]);
        });
        for (std::size_t i = points.size(); i-- > 0;)
            b[i] = at(points[i]);
        first.join();
        EXPECT_EQ(a, alone);
        EXPECT_EQ(b, alone);
    }
    long between = 0;
    for (double v : alone)
        between += v > 0.0 && v < 1.0;
    EXPECT_GT(between, 50);
}

TEST_F(SoftEdge, EachObjectOfTheUnionRampsFromItsOwnSurfaceTheDeepestAnswering)
{
    // Cube [-1, 1]^3 with a child beside it and a grandchild through both's faces.
    standin::SceneObject &arm = scene().addObject("Arm");
    arm.parent = scene().findByName("Cube")->id;
    standin::appendBox(arm, {2, -1, -1}, {4, 1, 1});
    standin::SceneObject &sleeve = scene().addObject("Sleeve");
    sleeve.parent = arm.id;
    standin::appendBox(sleeve, {0.5, -0.5, -0.5}, {2.5, 0.5, 0.5}, 3);
    const struct {
        Vec3 p;
        double depth;   // the deepest of the objects holding it; -1 outside them all
    } cases[] = {{{3.9, 0, 0}, 0.1},         {{3, 0.2, 0}, 0.8},     {{1.5, 0.3, 0.1}, 0.2},
                 {{0.95, 0.3, 0}, 0.2},      {{0.95, 0.45, 0}, 0.05}, {{2.1, 0, 0.45}, 0.1},
                 {{0.9, 0, 0}, 0.4},         {{1.5, 0.7, 0}, -1},    {{4.5, 0, 0}, -1}};
    for (const double width : {0.0, 0.4})
        for (int rule = 0; rule < 3; ++rule) {
            layerSlot.emplace(host, module);
            start("Cube");
            ASSERT_EQ(layer().setValue(ostrevin::fillRuleControl, rule), 1);
            ASSERT_EQ(layer().setValue(ostrevin::childrenControl, 1), 1);
            setWidth(width);
            ASSERT_EQ(layer().newTime(1, 0.0), nullptr);
            for (const auto &c : cases) {
                const double value = c.depth < 0 ? 0.0 : width == 0 ? 1.0 : ramp(c.depth / width);
                EXPECT_NEAR(at(c.p), value, 1e-15) << c.p[0] << " " << c.p[1] << " " << c.p[2] << ", rule " << rule;
            }
            // No step anywhere along a line through all three: the ramp's slope is at most 1.5 / w.
            double last = 0.0;
            for (int i = 0; i <= 600; ++i) {
                const double value = at({-1.2 + 0.009 * i, 0.3, 0.2});
                EXPECT_LE(std::fabs(value - last), width == 0 ? 1.0 : 1.5 * 0.009 / width + 1e-12) << "step " << i;
                last = value;
            }
        }
}

TEST_F(SoftEdge, InsideByTheFillRuleDepthToTheNearestPolygon)
{
    // Two overlapping boxes as one object (their inner faces are polygons too), and a box without
    // its top: the rule says which points are inside, the polygons how deep (under Non-Zero only
    // those bounding what is filled).
    standin::SceneObject &overlapping = scene().addObject("Overlapping");
    standin::appendBox(overlapping, {-2, -1, -1}, {1, 1, 1});
    standin::appendBox(overlapping, {-1, -1, -1}, {2, 1, 1});
    standin::SceneObject &open = scene().addObject("Open");
    standin::appendBox(open, {-1, -1, -1}, {1, 1, 1}, 4);
    const auto onTop = [&](const std::vector<int> &polygon) {
        return std::all_of(polygon.begin(), polygon.end(),
                           [&](int k) { return open.points[static_cast<size_t>(k)][2] == 1.0f; });
    };
    open.polygons.erase(std::remove_if(open.polygons.begin(), open.polygons.end(), onTop), open.polygons.end());
    const struct {
        const char *target;
        Vec3 p;
        double evenOdd, nonZero, tolerant;   // depths; -1 outside
    } cases[] = {
        {"Overlapping", {0.8, 0.1, 0}, -1, 0.9, -1},   // in both boxes: not the first's face at x = 1
        {"Overlapping", {1.5, 0.2, 0}, 0.5, 0.5, 0.5},
        {"Open", {0.2, 0.3, 0.9}, -1, -1, 0.7},       // below the hole: its sides, not the hole
        {"Open", {0.2, 0.3, 0.2}, -1, -1, 0.7},
    };
    for (const auto &c : cases)
        for (int rule = 0; rule < 3; ++rule) {
            layerSlot.emplace(host, module);
            start(c.target);
            ASSERT_EQ(layer().setValue(ostrevin::fillRuleControl, rule), 1);
            setWidth(1.0);
            ASSERT_EQ(layer().newTime(1, 0.0), nullptr);
            const double depth = rule == 0 ? c.evenOdd : rule == 1 ? c.nonZero : c.tolerant;
            EXPECT_NEAR(at(c.p), depth < 0 ? 0.0 : ramp(depth), 1e-15) << c.target << ", rule " << rule;
        }
}

namespace {

struct Box {
    Vec3 low, high;
};

// The distance from p to the boundary of the union of two boxes: each face of one, less the open
// cross-section of the other where its plane passes through it (up to four rectangles).
double unionDepth(const Box &a, const Box &b, const Vec3 &p)
{
    const auto toRectangle = [&p](int c, double at, int c1, double lo1, double hi1, int c2, double lo2, double hi2) {
        if (!(lo1 <= hi1 && lo2 <= hi2))
            return HUGE_VAL;
        const double g1 = std::max({lo1 - p[c1], p[c1] - hi1, 0.0}), g2 = std::max({lo2 - p[c2], p[c2] - hi2, 0.0});
        return std::sqrt((p[c] - at) * (p[c] - at) + g1 * g1 + g2 * g2);
    };
    double best = HUGE_VAL;
    for (const auto &[x, y] : {std::pair{a, b}, std::pair{b, a}})
        for (int c = 0; c < 3; ++c)
            for (const double at : {x.low[c], x.high[c]}) {
                const int c1 = (c + 1) % 3, c2 = (c + 2) % 3;
                const double lo1 = x.low[c1], hi1 = x.high[c1], lo2 = x.low[c2], hi2 = x.high[c2];
                if (!(y.low[c] < at && at < y.high[c])) {
                    best = std::min(best, toRectangle(c, at, c1, lo1, hi1, c2, lo2, hi2));
                    continue;
                }
                const double in1 = std::max(lo1, y.low[c1]), out1 = std::min(hi1, y.high[c1]);
                best = std::min({best, toRectangle(c, at, c1, lo1, std::min(hi1, y.low[c1]), c2, lo2, hi2),
                                 toRectangle(c, at, c1, std::max(lo1, y.high[c1]), hi1, c2, lo2, hi2),
                                 toRectangle(c, at, c1, in1, out1, c2, lo2, std::min(hi2, y.low[c2])),
                                 toRectangle(c, at, c1, in1, out1, c2, std::max(lo2, y.high[c2]), hi2)});
            }
    return best;
}

bool within(const Box &box, const Vec3 &p)
{
    for (int c = 0; c < 3; ++c)
        if (!(box.low[c] < p[c] && p[c] < box.high[c]))
            return false;
    return true;
}

} // namespace

// Two overlapping cubes of 4 x 4 quads a face as one object, under Non-Zero: the depth is the
// distance to their union's boundary, exactly where the parts meet along polygon edges, and where
// polygons cross the other part no more than a polygon's size too small.
TEST_F(SoftEdge, UnderNonZeroOverlappingPartsRampFromTheBoundaryOfTheirUnion)
{
    const Box a{{-1, -1, -1}, {1, 1, 1}};
    const struct {
        const char *name;
        Box b;
        double bound;
    } cases[] = {
        {"meeting along polygon edges", {{0, 0, 0}, {2, 2, 2}}, 0.0},
        {"polygons crossing the other part", {{0.25, 0.25, 0.25}, {2.25, 2.25, 2.25}}, 0.5 * std::sqrt(2.0)},
    };
    const double width = 1.5;
    for (const auto &c : cases) {
        scene().clear();
        standin::SceneObject &parts = scene().addObject("Parts");
        for (const Box &box : {a, c.b})
            standin::appendBox(parts, {float(box.low[0]), float(box.low[1]), float(box.low[2])},
                               {float(box.high[0]), float(box.high[1]), float(box.high[2])}, 4);
        layerSlot.emplace(host, module);
        start("Parts");
        ASSERT_EQ(layer().setValue(ostrevin::fillRuleControl, 1), 1);
        setWidth(width);
        ASSERT_EQ(layer().newTime(1, 0.0), nullptr);
        int inside = 0;
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < 12; ++j)
                for (int k = 0; k < 12; ++k) {
                    const Vec3 p{-0.99 + 0.2731 * i, -0.98 + 0.2713 * j, -0.97 + 0.2697 * k};
                    if (!within(a, p) && !within(c.b, p))
                        continue;
                    ++inside;
                    const double depth = unionDepth(a, c.b, p), value = at(p);
                    if (c.bound == 0.0) {
                        EXPECT_NEAR(value, ramp(depth / width), 1e-12 * value) << c.name << " at " << p[0] << " " << p[1] << " " << p[2];
                    } else {
                        EXPECT_LE(value, ramp(depth / width) + 1e-12) << c.name << " at " << p[0] << " " << p[1] << " " << p[2];
                        EXPECT_GE(value, ramp(std::max(depth - c.bound, 0.0) / width) - 1e-12) << c.name;
                    }
                }
        EXPECT_GT(inside, 300) << c.name;
    }
}
