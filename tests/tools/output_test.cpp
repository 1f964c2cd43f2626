// What the tool tells the user besides the texture: whether meshes close, image names, the labels
// and legend drawn on the images, the progress bar's timing and the memory a render needs.
#include <gtest/gtest.h>

#include "tests/tools/tool_support.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/labels.h"
#include "tools/ostrevin-render/mesh_report.h"
#include "tools/ostrevin-render/output_names.h"
#include "tools/ostrevin-render/progress.h"
#include "tools/ostrevin-render/render_job.h"

using namespace render;

namespace {

// A unit cube's six quads; with `split`, each quad has its own four corners, as an importer that
// keeps per-polygon normals gives them.
ImportedObject unitCube(bool split, int dropFaces = 0)
{
    const standin::Point3 corner[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                       {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    ImportedObject o;
    if (!split)
        o.points.assign(corner, corner + 8);
    for (int f = 0; f < 6 - dropFaces; ++f) {
        std::vector<int> polygon;
        for (int k : faces[f]) {
            if (split)
                o.points.push_back(corner[k]);
            polygon.push_back(split ? static_cast<int>(o.points.size()) - 1 : k);
        }
        o.polygons.push_back(polygon);
    }
    return o;
}

} // namespace

TEST(MeshReport, CountsPositionsAndTheEdgesThatDoNotClose)
{
    ImportedObject fin = unitCube(false);
    fin.polygons.push_back({0, 1, 6});   // a third polygon on edge 0-1, and two open edges
    ImportedObject broken = unitCube(true);
    broken.polygons.push_back({0, 1, 99, -1});   // indices out of range are skipped
    const struct {
        const char *name;
        ImportedObject object;
        std::size_t points, open, overShared;
        const char *text;
    } cases[] = {
        {"shared corners", unitCube(false), 8, 0, 0, "closed"},
        {"split corners", unitCube(true), 8, 0, 0, "closed"},
        {"no top", unitCube(true, 1), 8, 4, 0, "open: 4 open edges"},
        {"fin", fin, 8, 2, 1, "open: 2 open edges, 1 edge shared by more than two polygons"},
        {"out of range", broken, 8, 0, 1, "open: 1 edge shared by more than two polygons"},
    };
    for (const auto &c : cases) {
        const MeshReport r = reportMesh(c.object.points, c.object.polygons);
        EXPECT_EQ(r.points, c.points) << c.name;
        EXPECT_EQ(r.openEdges, c.open) << c.name;
        EXPECT_EQ(r.overSharedEdges, c.overShared) << c.name;
        EXPECT_EQ(closednessText(r), c.text) << c.name;
    }
}

TEST(ImageNames, PatternsNameSortAndRecogniseImages)
{
    const struct {
        const char *pattern;
        const char *kind;
        int frame, index;
        const char *name;
    } cases[] = {
        {"{kind}_{frame:04}", "slice", 7, 7, "slice_0007.png"},
        {"{kind}_{index:04}_f{frame}", "volume", -240, 0, "volume_0000_f-240.png"},
        {"shot-{frame:3}-{kind}.png", "sheet", 12, 3, "shot-012-sheet.png"},
        {"{kind}{frame}", "slice", -3, 0, "slice-3.png"},
    };
    for (const auto &c : cases) {
        const NamePattern p(c.pattern);
        EXPECT_EQ(p.name(c.kind, c.frame, c.index), c.name) << c.pattern;
        EXPECT_TRUE(p.matches(c.name)) << c.pattern;
    }
    const NamePattern p("{kind}_{frame:04}");
    for (const char *other : {"slice_0007.jpg", "notes.png", "slice_.png", "slices_0001.png", "slice_00a1.png"})
        EXPECT_FALSE(p.matches(other)) << other;

    // The default names of a run through negative frames sort as the frames do.
    const NamePattern sorted(defaultNamePattern(-12));
    std::vector<std::string> names;
    for (int f = -12; f <= 3; ++f)
        names.push_back(sorted.name("slice", f, f + 12));
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(defaultNamePattern(0), "{kind}_{frame:04}");

    for (const char *bad : {"{frame}", "{kind}_{frame", "{kind}_{when}", "{kind}/{frame}", "{kind}_{frame:x}", "a}{kind}"})
        EXPECT_THROW(NamePattern{bad}, UsageError) << bad;
}

TEST(Labels, AxesAsTheHostNamesThemAndAnXrayLegend)
{
    Box box;
    box.add({-1, -1, -1});
    box.add({1, 1, 1});
    const struct {
        int view;
        const char *right, *up;
    } cases[] = {{0, "+Z", "+Y"}, {1, "+X", "+Z"}, {2, "-X", "+Y"}, {3, "-Z", "+Y"}, {4, "+X", "-Z"}, {5, "+X", "+Y"}};
    for (const auto &c : cases) {
        const Framing f = frameBox(box, c.view, 60, 60, 0.0);
        EXPECT_EQ(acrossLabel(f), c.right) << c.view;
        EXPECT_EQ(upLabel(f), c.up) << c.view;
        // The labels are drawn in the lower left corner, nowhere else.
        Image image(60, 60);
        drawAxisLabels(image, f);
        int lit = 0, litOutside = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x)
                if (image.at(x, y).r > 128) {
                    ++lit;
                    litOutside += x > 30 || y < 30;
                }
        EXPECT_GT(lit, 20) << c.view;
        EXPECT_EQ(litOutside, 0) << c.view;
    }

    // The legend: a band below the X-ray whose bar runs the ramp from left to right.
    const Image legend = withXrayLegend(Image(100, 50, Rgb{1, 2, 3}));
    ASSERT_EQ(legend.width(), 100);
    ASSERT_GT(legend.height(), 60);
    EXPECT_EQ(legend.at(50, 10), (Rgb{1, 2, 3}));
    EXPECT_EQ(legend.at(2, 52), xrayRamp(0.0));
    EXPECT_EQ(legend.at(97, 52), xrayRamp(1.0));
}

TEST(Labels, ASlicesPlaceAsTheHostsCoordinateInTheUpperLeftCorner)
{
    Box box;
    box.add({-1, -1, -1});
    box.add({1, 1, 1});
    const struct {
        int view;
        double depth;
        const char *label;
    } cases[] = {{2, -0.25, "Z=0.25"}, {5, 0.0, "Z=0"},         {0, 1.5, "X=1.5"},
                 {4, -2.0, "Y=-2"},     {1, 1234567.0, "Y=1.235e+06"}};
    for (const auto &c : cases) {
        const Framing f = frameBox(box, c.view, 60, 60, 0.0);
        EXPECT_EQ(depthLabel(f, c.depth), c.label);
        Image image(60, 60);
        drawDepthLabel(image, f, c.depth);
        int lit = 0, litOutside = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x)
                if (image.at(x, y).r > 128) {
                    ++lit;
                    litOutside += y > 12;
                }
        EXPECT_GT(lit, 10) << c.label;
        EXPECT_EQ(litOutside, 0) << c.label;
    }
}

TEST(ProgressTiming, ElapsedAndAnEstimateOnceThereIsSomethingToGoBy)
{
    const struct {
        double elapsed, share;
        const char *text;
    } cases[] = {
        {0.0, 0.0, "0:00 elapsed"},
        {12.4, 0.004, "0:12 elapsed"},
        {12.0, 0.25, "0:12 elapsed, about 0:36 left"},
        {3700.0, 0.5, "1:01:40 elapsed, about 1:01:40 left"},
        {5.0, 1.0, "0:05 elapsed"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(timingText(c.elapsed, c.share), c.text) << c.elapsed;

    std::FILE *bar = std::tmpfile();
    ASSERT_NE(bar, nullptr);
    Progress b(bar, Progress::Style::Bar);
    b.start(100);
    b.update(50, "frame 3 slice");
    b.warn("something to know");
    b.finish();
    const std::string drawn = tooltest::writtenTo(bar);
    std::fclose(bar);
    EXPECT_NE(drawn.find("frame 3 slice"), std::string::npos);
    EXPECT_NE(drawn.find(" elapsed"), std::string::npos);
    // A warning starts on a line of its own, below the bar.
    EXPECT_NE(drawn.find("\nostrevin-render: warning: something to know\n"), std::string::npos) << drawn;
}

TEST(MemoryCap, TheIssuesLargeRenderIsPastItAndTheDefaultFarBelow)
{
    EXPECT_GT(memoryEstimate(16384, 16384, 9), memoryCap());
    EXPECT_GT(memoryEstimate(16384, 16384, 9), 5e9);
    EXPECT_LT(memoryEstimate(384, 384, 9), memoryCap() / 100);
}
