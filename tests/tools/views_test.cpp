// The views' geometry and output, checked against analytic shapes without the module: framing,
// slices, X-rays, section outlines, colours, PNG files, the thread pool and progress.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <set>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "tests/tools/tool_support.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/image.h"
#include "tools/ostrevin-render/parallel.h"
#include "tools/ostrevin-render/png_writer.h"
#include "tools/ostrevin-render/progress.h"
#include "tools/ostrevin-render/views.h"

using namespace render;

namespace {

Box cubeBox(double h = 1.0)
{
    Box b;
    b.add({-h, -h, -h});
    b.add({h, h, h});
    return b;
}

struct CubeSampler : Sampler {
    double sample(const Vec3 &p) const override
    {
        return std::fabs(p[0]) <= 1 && std::fabs(p[1]) <= 1 && std::fabs(p[2]) <= 1 ? 1.0 : 0.0;
    }
};

struct SphereSampler : Sampler {
    double sample(const Vec3 &p) const override { return p[0] * p[0] + p[1] * p[1] + p[2] * p[2] <= 1.0 ? 1.0 : 0.0; }
};

struct Throwing : Sampler {
    double sample(const Vec3 &p) const override
    {
        if (p[1] < 0)
            throw std::runtime_error("row below zero");
        return 0.0;
    }
};

} // namespace

TEST(Framing, FitsTheWidenedBoxAndMapsPixelCentres)
{
    // A 2-unit cube widened by a quarter of its side on each side is 3 units: 0.05 per pixel.
    const Framing f = frameBox(cubeBox(), 2, 60, 60, 0.25);
    EXPECT_DOUBLE_EQ(f.pixel, 0.05);
    EXPECT_EQ(f.across, 0);
    EXPECT_EQ(f.up, 1);
    const Vec3 topLeft = f.at(0.5, 0.5, 0.25);
    EXPECT_DOUBLE_EQ(topLeft[0], 1.475);
    EXPECT_DOUBLE_EQ(topLeft[1], 1.475);
    EXPECT_DOUBLE_EQ(topLeft[2], 0.25);
    EXPECT_NEAR(f.imageX(1.5), 0.0, 1e-9);
    EXPECT_NEAR(f.imageY(-1.5), 60.0, 1e-9);
    EXPECT_DOUBLE_EQ(f.depthMin, -1.0);
    EXPECT_DOUBLE_EQ(f.depthMax, 1.0);

    // As the host's viewports: right shows its +Z (the scene's -z) to the right and +Y up; top
    // shows +X to the right and its +Z up; front, seen from +Z, +X to the left and +Y up; left,
    // bottom and back are their mirror images across. The top left pixel is where those run
    // lowest and highest.
    const struct {
        int view;
        Vec3 topLeft;
    } views[] = {{0, {7, 0.9, 0.9}},   {1, {-0.9, 7, -0.9}}, {2, {0.9, 0.9, 7}},
                 {3, {7, 0.9, -0.9}},  {4, {-0.9, 7, 0.9}},  {5, {-0.9, 0.9, 7}}};
    for (const auto &v : views) {
        const Framing small = frameBox(cubeBox(), v.view, 10, 10, 0.0);
        const Vec3 p = small.at(0.5, 0.5, 7);
        for (std::size_t c = 0; c < 3; ++c)
            EXPECT_NEAR(p[c], v.topLeft[c], 1e-12) << "view " << v.view << ", axis " << c;
        EXPECT_NEAR(small.imageX(p[static_cast<std::size_t>(small.across)]), 0.5, 1e-9) << v.view;
        EXPECT_NEAR(small.imageY(p[static_cast<std::size_t>(small.up)]), 0.5, 1e-9) << v.view;
    }
}

TEST(Framing, WideBoxesLetterboxAndResolutionKeepsTheAspect)
{
    Box b;
    b.add({0, 0, 0});
    b.add({4, 1, 1});
    int w = 0, h = 0;
    sizeFor(b, 2, 100, 0.0, w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 25);
    // Forced into a square, the wider side decides the scale and the box is centred.
    const Framing f = frameBox(b, 2, 100, 100, 0.0);
    EXPECT_DOUBLE_EQ(f.pixel, 0.04);
    EXPECT_NEAR(f.imageY(0.5), 50.0, 1e-9);
    // A flat target still frames a visible region.
    Box flat;
    flat.add({1, 1, 1});
    const Framing p = frameBox(flat, 2, 8, 8, 0.1);
    EXPECT_GT(p.pixel, 0.0);
    EXPECT_TRUE(std::isfinite(p.pixel));
}

TEST(Views, CubeSliceIsAnExactSquare)
{
    const Framing f = frameBox(cubeBox(), 2, 60, 60, 0.25);
    PassStats stats;
    const Field slice = sampleSlice(CubeSampler{}, f, 0.0, 3, stats);
    EXPECT_EQ(stats.points, 3600);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool inside = x >= 10 && x < 50 && y >= 10 && y < 50;
            ASSERT_EQ(slice(x, y), inside ? 1.0 : 0.0) << x << "," << y;
        }
}

TEST(Views, SphereXrayFollowsTheChordLength)
{
    const Framing f = frameBox(cubeBox(), 2, 48, 48, 0.1);
    PassStats stats;
    const int samples = 200;
    const Field xray = sampleVolume(SphereSampler{}, f, samples, 2, stats);
    EXPECT_EQ(stats.points, 48LL * 48 * samples);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            const Vec3 c = f.at(x + 0.5, y + 0.5, 0);
            const double r2 = c[0] * c[0] + c[1] * c[1];
            const double chord = r2 < 1 ? std::sqrt(1 - r2) : 0.0;   // share of the 2-unit depth
            ASSERT_NEAR(xray(x, y), chord, 1.0 / samples + 1e-12) << x << "," << y;
        }
}

TEST(Views, SectionOutlineOfACubeIsItsSquare)
{
    standin::Scene scratch;
    standin::SceneObject &o = scratch.addObject("c");
    standin::appendBox(o, {-1, -1, -1}, {1, 1, 1});
    std::vector<Vec3> points;
    for (const auto &p : o.points)
        points.push_back({p[0], p[1], p[2]});
    const Framing front = frameBox(cubeBox(), 2, 8, 8, 0.0), right = frameBox(cubeBox(), 0, 8, 8, 0.0);
    const std::vector<Segment> s = sectionOutline(points, o.polygons, front, 0.25);
    ASSERT_EQ(s.size(), 4u);
    for (const Segment &seg : s) {
        // Each lies on one side of the square and spans it.
        const bool vertical = seg.a0 == seg.a1;
        EXPECT_TRUE(vertical || seg.u0 == seg.u1);
        EXPECT_DOUBLE_EQ(std::fabs(vertical ? seg.a0 : seg.u0), 1.0);
        EXPECT_DOUBLE_EQ(std::fabs(vertical ? seg.u1 - seg.u0 : seg.a1 - seg.a0), 2.0);
    }
    // Outside the cube, nothing; looking along X, the other four faces.
    EXPECT_TRUE(sectionOutline(points, o.polygons, front, 1.5).empty());
    EXPECT_FALSE(sectionOutline(points, o.polygons, right, 0.0).empty());
}

TEST(Views, SectionOfAConcavePolygonPairsItsCuts)
{
    // A U standing in the XZ plane (y = 0): the plane z = 1.5 crosses both arms.
    const std::vector<Vec3> points{{0, 0, 0}, {3, 0, 0}, {3, 0, 2}, {2, 0, 2}, {2, 0, 1}, {1, 0, 1}, {1, 0, 2}, {0, 0, 2}};
    const std::vector<std::vector<int>> u{{0, 1, 2, 3, 4, 5, 6, 7}};
    const Framing front = frameBox(cubeBox(), 2, 8, 8, 0.0);
    const std::vector<Segment> s = sectionOutline(points, u, front, 1.5);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_DOUBLE_EQ(s[0].a0, 0.0);
    EXPECT_DOUBLE_EQ(s[0].a1, 1.0);
    EXPECT_DOUBLE_EQ(s[1].a0, 2.0);
    EXPECT_DOUBLE_EQ(s[1].a1, 3.0);
    // Lower down the base is one piece.
    EXPECT_EQ(sectionOutline(points, u, front, 0.5).size(), 1u);
    // A polygon lying in the plane gives its edges; bad indices are skipped.
    const std::vector<Vec3> flat{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    EXPECT_EQ(sectionOutline(flat, {{0, 1, 2}}, front, 0.0).size(), 3u);
    EXPECT_TRUE(sectionOutline(flat, {{0, 1, 9}}, front, 0.0).empty());
}

TEST(Images, ColoursAndOutlines)
{
    Field f{2, 1, {0.0, 1.0}};
    const Image slice = colourSlice(f);
    EXPECT_EQ(slice.at(1, 0), (Rgb{255, 255, 255}));
    EXPECT_LT(slice.at(0, 0).r + slice.at(0, 0).g + slice.at(0, 0).b, 100);

    // The X-ray ramp brightens all the way.
    int last = -1;
    for (int i = 0; i <= 20; ++i) {
        const Rgb c = xrayRamp(i / 20.0);
        const int luma = 3 * c.r + 6 * c.g + c.b;
        EXPECT_GT(luma, last) << i;
        last = luma;
    }
    EXPECT_EQ(xrayRamp(-1.0), xrayRamp(0.0));
    EXPECT_EQ(xrayRamp(std::nan("")), xrayRamp(0.0));

    // A line far outside is clipped to nothing; one across the image touches each column once.
    Image img(10, 10);
    img.line(-1e9, -1e9, -1e8, 5e8, Rgb{255, 0, 0}, 1.0);
    img.line(std::nan(""), 0, 5, 5, Rgb{255, 0, 0}, 1.0);
    for (const Rgb &p : img.pixels())
        EXPECT_EQ(p, Rgb{});
    img.line(-5, 4.5, 15, 4.5, Rgb{200, 0, 0}, 0.5);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(img.at(x, 4), (Rgb{100, 0, 0}));
        EXPECT_EQ(img.at(x, 5), Rgb{});
    }
}

TEST(Images, PngFilesReadBackExactly)
{
    tooltest::TempDir dir;
    Image img(5, 3, Rgb{1, 2, 3});
    img.set(4, 2, Rgb{250, 128, 7});
    writePng(dir / "a.png", img);
    const tooltest::Png png = tooltest::readPng(dir / "a.png");
    ASSERT_EQ(png.width, 5);
    ASSERT_EQ(png.height, 3);
    EXPECT_EQ(png.rgb[0], 1);
    EXPECT_EQ(png.rgb[2], 3);
    EXPECT_EQ(png.rgb[(2 * 5 + 4) * 3 + 0], 250);
    EXPECT_EQ(png.rgb[(2 * 5 + 4) * 3 + 2], 7);

    try {
        writePng(dir / "no/such/dir/b.png", img);
        FAIL() << "wrote into a missing directory";
    } catch (const RenderError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot write " + dir / "no/such/dir/b.png" + ": ", 0), 0u);
    }
}

TEST(Parallel, EveryRowOnceAcrossThreadsAndFailuresComeBack)
{
    CubeSampler cube;
    std::vector<std::atomic<int>> visits(97);
    std::set<std::thread::id> threads;
    std::mutex m;
    std::vector<long long> ticks;
    const PassStats stats = runRows(
        cube, 97, 4,
        [&](int row, WorkerContext &eval) {
            ++visits[static_cast<std::size_t>(row)];
            for (int i = 0; i < 3; ++i)
                eval({0, 0, 0});
            std::lock_guard<std::mutex> lock(m);
            threads.insert(std::this_thread::get_id());
        },
        [&](long long done) { ticks.push_back(done); });
    for (const auto &v : visits)
        EXPECT_EQ(v.load(), 1);
    EXPECT_EQ(stats.points, 97 * 3);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.back(), 97 * 3);
    EXPECT_GE(stats.slowestFirst, 0.0);
    EXPECT_FALSE(threads.count(std::this_thread::get_id())) << "rows run on worker threads";

    Throwing bad;
    EXPECT_THROW(runRows(bad, 50, 3, [&](int row, WorkerContext &eval) { eval({0, 25.0 - row, 0}); }),
                 std::runtime_error);
    EXPECT_EQ(runRows(bad, 0, 3, [](int, WorkerContext &) {}).points, 0);
}

TEST(ProgressOutput, LinesOffATerminalAndABarOnOne)
{
    std::FILE *lines = std::tmpfile();
    ASSERT_NE(lines, nullptr);
    Progress p(lines, Progress::Style::Lines);
    p.start(200);
    p.update(50, "frame 0 slice");
    p.note("wrote out/slice_0000.png");
    p.update(200, "frame 0 x-ray");
    p.note("wrote out/volume_0000.png");
    p.finish();
    EXPECT_EQ(tooltest::writtenTo(lines), "[ 25%] wrote out/slice_0000.png\n[100%] wrote out/volume_0000.png\n");
    std::fclose(lines);

    std::FILE *bar = std::tmpfile();
    ASSERT_NE(bar, nullptr);
    Progress b(bar, Progress::Style::Bar);
    b.start(100);
    b.update(50, "frame 3 slice");
    b.finish();
    const std::string drawn = tooltest::writtenTo(bar);
    EXPECT_EQ(drawn.front(), '\r');
    EXPECT_NE(drawn.find(" 50%  frame 3 slice"), std::string::npos);
    EXPECT_NE(drawn.find("100%  done"), std::string::npos);
    EXPECT_EQ(drawn.back(), '\n');
    std::fclose(bar);

    // Files are not terminals; quiet is quiet.
    std::FILE *file = std::tmpfile();
    EXPECT_EQ(Progress::styleFor(file, false), Progress::Style::Lines);
    EXPECT_EQ(Progress::styleFor(file, true), Progress::Style::Quiet);
    std::fclose(file);
}
