// The soft edge through the shipped module: inside, the smooth step of the depth over the width;
// outside 0; Out the complement; a width of 0 the hard answers; a new width from the next frame.
#include <atomic>
#include <thread>
#include <vector>

#include "texture/ostrevin_instance.h"
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
