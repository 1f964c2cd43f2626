// Renders through the real module in the stand-in host: known shapes give known masks, motion
// reaches the texture, the work is accounted, settings survive, and bad set-ups are named.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "tests/tools/tool_support.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/labels.h"
#include "tools/ostrevin-render/mask_objects.h"
#include "tools/ostrevin-render/options.h"
#include "tools/ostrevin-render/session.h"

using namespace render;
using tooltest::TempDir;

namespace {

std::string renderError(const Options &o, const ImportedScene &scene)
{
    try {
        tooltest::render(o, scene);
    } catch (const RenderError &e) {
        return e.what();
    }
    return "";
}

// The mean position across the image of the inside pixels, in world units.
double insideCentroidAcross(const FrameResult &r)
{
    double sum = 0.0;
    long n = 0;
    for (int y = 0; y < r.slice.height; ++y)
        for (int x = 0; x < r.slice.width; ++x)
            if (r.slice(x, y) > 0.5) {
                sum += r.framing.at(x + 0.5, y + 0.5, 0)[static_cast<std::size_t>(r.framing.across)];
                ++n;
            }
    return n ? sum / static_cast<double>(n) : NAN;
}

standin::Transform turnAboutZ(double angle)
{
    standin::Transform t;
    t.m[0][0] = std::cos(angle);
    t.m[0][1] = -std::sin(angle);
    t.m[1][0] = std::sin(angle);
    t.m[1][1] = std::cos(angle);
    return t;
}

const char *const testModels = OSTREVIN_ASSIMP_MODELS;

} // namespace

TEST(Render, CubeSliceIsAnExactSquareForEveryTextureAxisAndView)
{
    TempDir dir;
    const ImportedScene scene = tooltest::sceneOf({tooltest::cube()});
    for (int axis = 0; axis < 3; ++axis)
        for (int view = 0; view < 6; ++view) {
            Options o = tooltest::smallOptions(dir.str(), 60);
            o.margin = 0.25;   // 3 units over 60 pixels: the cube covers pixels 10 to 49
            o.depthSamples = 4;
            o.axis = axis;
            o.view = view;
            const RenderStats stats = tooltest::render(o, scene);
            ASSERT_EQ(stats.frames.size(), 1u);
            const FrameResult &r = stats.frames[0];
            ASSERT_EQ(r.slice.width, 60);
            ASSERT_EQ(r.slice.height, 60);
            int wrong = 0;
            for (int y = 0; y < 60; ++y)
                for (int x = 0; x < 60; ++x) {
                    const double expected = x >= 10 && x < 50 && y >= 10 && y < 50 ? 1.0 : 0.0;
                    wrong += r.slice(x, y) != expected;
                    wrong += r.volume(x, y) != expected;
                }
            EXPECT_EQ(wrong, 0) << "texture axis " << axis << ", view " << view;
        }
}

TEST(Render, InvertGivesTheComplement)
{
    TempDir dir;
    Options o = tooltest::smallOptions(dir.str(), 60);
    o.margin = 0.25;
    o.invert = true;
    const RenderStats stats = tooltest::render(o, tooltest::sceneOf({tooltest::cube()}));
    EXPECT_TRUE(stats.inverted);
    const Field &s = stats.frames[0].slice;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(s(x, y), x >= 10 && x < 50 && y >= 10 && y < 50 ? 0.0 : 1.0) << x << "," << y;
}

TEST(Render, SphereXrayFollowsTheChordLength)
{
    TempDir dir;
    // Not turned: pixel centres fall exactly on meridians' projections, where every crossing
    // must still be counted once.
    const ImportedScene scene = tooltest::sceneOf({tooltest::shape(
        "Ball", [](standin::SceneObject &o) { standin::appendUVSphere(o, {0, 0, 0}, 1.0, 48, 24); },
        [](double) { return turnAboutZ(0.0); })});
    for (int view : {2, 1}) {
        Options o = tooltest::smallOptions(dir.str(), 48);
        o.margin = 0.1;
        o.depthSamples = 100;
        o.view = view;
        const RenderStats stats = tooltest::render(o, scene);
        const FrameResult &r = stats.frames[0];
        double worst = 0.0, total = 0.0;
        int counted = 0;
        for (int y = 0; y < r.volume.height; ++y)
            for (int x = 0; x < r.volume.width; ++x) {
                const Vec3 p = r.framing.at(x + 0.5, y + 0.5, 0);
                const double a = p[static_cast<std::size_t>(r.framing.across)],
                             u = p[static_cast<std::size_t>(r.framing.up)];
                const double d2 = a * a + u * u;
                if (d2 > 1.05 * 1.05) {
                    ASSERT_EQ(r.volume(x, y), 0.0) << x << "," << y;
                } else if (d2 < 0.85 * 0.85) {
                    // The box's depth is the diameter: the share inside is half the chord.
                    const double error = std::fabs(r.volume(x, y) - std::sqrt(1.0 - d2));
                    worst = std::max(worst, error);
                    total += error;
                    ++counted;
                }
            }
        EXPECT_LT(worst, 0.03) << "view " << view;
        EXPECT_LT(total / counted, 0.01) << "view " << view;
    }
}

TEST(Render, TheExamplesStarSlidesAcrossBetweenFrames)
{
    TempDir dir;
    Options o = tooltest::smallOptions(dir.str(), 160);
    o.depthSamples = 2;
    const RenderStats stats = tooltest::render(o, importExample());
    EXPECT_EQ(stats.target, "Star");
    ASSERT_EQ(stats.frames.size(), 6u);
    // A fifth of a turn maps the star onto itself, so its slice through its middle is centred
    // on its origin: -0.3 at the first frame, 0.3 at the last.
    EXPECT_NEAR(insideCentroidAcross(stats.frames[0]), -0.3, 0.02);
    EXPECT_NEAR(insideCentroidAcross(stats.frames[5]), 0.3, 0.02);
    EXPECT_NE(stats.frames[2].slice.values, stats.frames[3].slice.values);
    EXPECT_NE(stats.frames[2].volume.values, stats.frames[3].volume.values);
}

TEST(Render, LightWaveSceneFromTheTestModelsMovesItsCube)
{
    const std::string path = std::string(testModels) + "/LWS/move_x.lws";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no " << path;
    TempDir dir;
    Options o = tooltest::smallOptions(dir.str(), 120);
    o.framesGiven = true;
    o.firstFrame = 0;
    o.lastFrame = 20;
    o.depthSamples = 1;
    const RenderStats stats = tooltest::render(o, importScene(path));
    ASSERT_EQ(stats.frames.size(), 21u);
    // The cube's key at frame 20 is 2.069 units along X from where it starts.
    const double moved = insideCentroidAcross(stats.frames[20]) - insideCentroidAcross(stats.frames[0]);
    EXPECT_NEAR(moved, 2.0691, 0.03);
    EXPECT_NEAR(stats.frames[20].targetBounds.centre()[0] - stats.frames[0].targetBounds.centre()[0], 2.0691, 1e-3);
}

TEST(Render, OneCacheBuildPerFrameAndEveryImageWritten)
{
    TempDir dir;
    Options o = tooltest::smallOptions(dir / "images", 20);
    o.framesGiven = true;
    o.firstFrame = 0;
    o.lastFrame = 3;
    o.depthSamples = 3;
    o.sheetSlices = 4;
    o.margin = 0.0;
    const RenderStats stats = tooltest::render(o, tooltest::sceneOf({tooltest::cube()}));
    EXPECT_EQ(stats.builds, 4);
    // Per frame a slice and a three-sample X-ray; four half-size slices on the middle frame's sheet.
    EXPECT_EQ(stats.points, 4 * (400 + 400 * 3) + 4 * 100);
    EXPECT_GT(stats.evaluationSeconds, 0.0);
    EXPECT_EQ(stats.sheetFrame, 1);

    std::vector<std::string> names;
    for (const std::string &f : stats.files)
        names.push_back(std::filesystem::path(f).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"slice_0000.png", "volume_0000.png", "slice_0001.png",
                                               "volume_0001.png", "sheet_0001.png", "slice_0002.png",
                                               "volume_0002.png", "slice_0003.png", "volume_0003.png"}));
    const tooltest::Png slice = tooltest::readPng(dir / "images/slice_0002.png");
    EXPECT_EQ(slice.width, 20);
    EXPECT_EQ(slice.height, 20);
    // The cube fills the slice, so its only dark pixels are the axis labels' shadows; the X-ray
    // has its legend band below.
    EXPECT_NE(std::count(slice.rgb.begin(), slice.rgb.end(), 0), 0);
    EXPECT_EQ(tooltest::readPng(dir / "images/volume_0002.png").height, 35);
    // Two tiles of 10 pixels a side and three 4-pixel gaps each way.
    const tooltest::Png sheet = tooltest::readPng(dir / "images/sheet_0001.png");
    EXPECT_EQ(sheet.width, 32);
    EXPECT_EQ(sheet.height, 32);

    const std::string text = summary(stats);
    EXPECT_NE(text.find("points evaluated   6800\n"), std::string::npos) << text;
    EXPECT_NE(text.find("cache builds       4 (meshInfo calls)"), std::string::npos) << text;
    EXPECT_NE(text.find("9 written to " + dir / "images"), std::string::npos) << text;
}

TEST(Render, TheTargetIsPickedThroughThePanelPopupByName)
{
    TempDir dir;
    ImportedObject ball = tooltest::shape(
        "Ball", [](standin::SceneObject &o) { standin::appendUVSphere(o, {5, 0, 0}, 1.0, 16, 8); });
    const ImportedScene scene = tooltest::sceneOf({tooltest::cube(), ball});
    Options o = tooltest::smallOptions(dir.str(), 40);
    o.target = "Ball";
    const RenderStats stats = tooltest::render(o, scene);
    EXPECT_EQ(stats.target, "Ball");
    EXPECT_NEAR(stats.framing.centreAcross, 5.0, 1e-6);
    // The middle pixel is inside the ball; the corners are not.
    const Field &s = stats.frames[0].slice;
    EXPECT_EQ(s(20, 19), 1.0);
    EXPECT_EQ(s(0, 0), 0.0);

    Session session(standin::defaultModulePath());
    session.addScene(scene);
    EXPECT_EQ(session.targetPosition(), 0);
    session.pickTarget("Ball");
    EXPECT_EQ(session.targetPosition(), 2);
    EXPECT_THROW(session.pickTarget("Nope"), RenderError);
    EXPECT_EQ(session.targetPosition(), 2);
}

TEST(Render, TheTargetIsNamedInAnyCaseWhenOnlyOneObjectHasThatName)
{
    TempDir dir;
    const ImportedScene scene = tooltest::sceneOf({tooltest::cube("Hub"), tooltest::cube("Spoke", 0.5),
                                                   tooltest::cube("SPOKE", 0.25), tooltest::cube("spoke", 0.2)});
    const struct {
        const char *given, *target, *error;
    } cases[] = {
        {"hub", "Hub", ""},
        {"SPOKE", "SPOKE", ""},   // an exact name wins over the others in another case
        {"sPoke", "", "\"sPoke\" matches Spoke, SPOKE, spoke in test; give the name in its own case"},
        {"rim", "", "no object named \"rim\" in test (objects: Hub, Spoke, SPOKE, spoke)"},
    };
    for (const auto &c : cases) {
        Options o = tooltest::smallOptions(dir.str(), 8);
        o.target = c.given;
        if (*c.error)
            EXPECT_EQ(renderError(o, scene), c.error);
        else
            EXPECT_EQ(tooltest::render(o, scene).target, c.target);
    }
}

TEST(Render, AFrameStepRendersEveryStepthFrame)
{
    TempDir dir;
    Options o = tooltest::smallOptions(dir.str(), 8);
    o.framesGiven = true;
    o.firstFrame = -2;
    o.lastFrame = 7;
    o.frameStep = 3;
    const RenderStats stats = tooltest::render(o, tooltest::sceneOf({tooltest::cube()}));
    std::vector<int> frames;
    for (const FrameResult &r : stats.frames)
        frames.push_back(r.frame);
    EXPECT_EQ(frames, (std::vector<int>{-2, 1, 4, 7}));
    EXPECT_NE(summary(stats).find("frames -2-7 step 3 at 30 fps"), std::string::npos) << summary(stats);
}

TEST(Render, ASliceAtAGivenPlaceStaysThereAndSaysSo)
{
    TempDir dir;
    const ImportedScene scene = tooltest::sceneOf({tooltest::cube()});
    Options o = tooltest::smallOptions(dir.str(), 40);
    o.sliceGiven = true;
    const struct {
        double at;
        bool hitsCube;
    } cases[] = {{0.75, true}, {-0.999, true}, {1.5, false}};
    for (const auto &c : cases) {
        o.sliceAt = c.at;
        const RenderStats stats = tooltest::render(o, scene);
        const FrameResult &r = stats.frames.at(0);
        EXPECT_EQ(r.sliceDepth, -c.at) << "the host's Z is the scene's -z";
        const double inside = *std::max_element(r.slice.values.begin(), r.slice.values.end());
        EXPECT_EQ(inside, c.hitsCube ? 1.0 : 0.0) << c.at;
        EXPECT_NE(summary(stats).find(", slice at " + depthLabel(r.framing, r.sliceDepth) + ","), std::string::npos)
            << summary(stats);
    }
    o.sliceGiven = false;
    EXPECT_NE(summary(tooltest::render(o, scene)).find(", slice through the middle,"), std::string::npos);
    EXPECT_EQ(parseOptions({"--slice-at", "-2.5"}, 1).sliceAt, -2.5);
    EXPECT_THROW(parseOptions({"--slice-at", "inf"}, 1), UsageError);
}

TEST(Render, SettingsSurviveASaveAndALoad)
{
    TempDir dir;
    const ImportedScene example = importExample();
    Options save = tooltest::smallOptions(dir.str(), 16);
    save.target = "Ell";
    save.invert = true;
    save.saveSettings = dir / "layer.txt";
    tooltest::render(save, example);
    const std::string saved = tooltest::readFile(dir / "layer.txt");
    EXPECT_NE(saved.find("itemName : Ell"), std::string::npos) << saved;
    EXPECT_NE(saved.find("flipFlg : 1"), std::string::npos) << saved;

    Options load = tooltest::smallOptions(dir.str(), 16);
    load.loadSettings = dir / "layer.txt";
    RenderStats stats = tooltest::render(load, example);
    EXPECT_EQ(stats.target, "Ell");
    EXPECT_TRUE(stats.inverted);

    // The command line has the last word over loaded settings.
    load.target = "Star";
    stats = tooltest::render(load, example);
    EXPECT_EQ(stats.target, "Star");
    EXPECT_TRUE(stats.inverted);

    // Settings naming an object the scene does not have.
    Options elsewhere = tooltest::smallOptions(dir.str(), 16);
    elsewhere.loadSettings = dir / "layer.txt";
    EXPECT_EQ(renderError(elsewhere, tooltest::sceneOf({tooltest::cube()})),
              "the settings in " + dir / "layer.txt" + " name \"Ell\", which test does not have (objects: Cube)");
}

// Through the module's own load: every value it holds otherwise than the file says is warned of,
// and a file as the module writes it loads without a word.
TEST(Render, EveryValueTheModuleChangesOnLoadIsWarnedOf)
{
    TempDir dir;
    auto settingsWith = [](const std::vector<std::string> &lines) {
        std::string file;
        auto record = [&file](const std::string &text) {
            char length[16];
            std::snprintf(length, sizeof length, "%zX\n", text.size() + 1);
            file += length + text + "\n";
        };
        record("itemID : 268435456");
        record("itemName : Cube");
        record("flipFlg : 0");
        for (const std::string &line : lines)
            record(line);
        record("End All");
        return file;
    };
    const std::string path = dir / "layer.txt";
    const struct {
        std::vector<std::string> lines;
        std::vector<std::string> warnings;
    } cases[] = {
        {{"version : 1.100000", "fillRule : 1", "children : 1", "softEdge : 0.25"}, {}},
        {{"fillRule : 99"}, {"fillRule : 99 loads as 2 (Tolerant)"}},
        {{"fillRule : -3", "children : 7"}, {"fillRule : -3 loads as 0 (Even-Odd)", "children : 7 loads as 1"}},
        {{"fillRule : 1.5"}, {"fillRule : 1.5 loads as 1 (Non-Zero)"}},
        {{"softEdge : nan"}, {"softEdge : nan loads as 0"}},
        {{"softEdge : -2"}, {"softEdge : -2 loads as 0"}},
        {{"version : 9.0"},
         {"version : 9.0 is newer than the module's 1.1; it reads the keys it knows and drops the rest"}},
        {{"colour : red"}, {"the module does not read \"colour : red\""}},
        {{"fillRule : 1", "fillRule : 2"}, {"fillRule : 1 is given again; the module keeps the last, 2"}},
    };
    const ImportedScene scene = tooltest::sceneOf({tooltest::cube()});
    for (const auto &c : cases) {
        tooltest::writeFile(path, settingsWith(c.lines));
        Options o = tooltest::smallOptions(dir / "out", 8);
        o.loadSettings = path;
        Progress progress(nullptr, Progress::Style::Quiet);
        runRender(o, scene, progress);
        std::vector<std::string> expected;
        for (const std::string &w : c.warnings)
            expected.push_back(path + ": " + w);
        EXPECT_EQ(progress.warnings(), expected) << c.lines.front();
    }
}

TEST(Render, LoadedSettingsFindTheirTargetByNameInAnotherSceneAndGiveWayToTheCommandLine)
{
    TempDir dir;
    // Saved with Ell, the second object, as Out: its item ID is the second object's.
    Options save = tooltest::smallOptions(dir.str(), 16);
    save.target = "Ell";
    save.invert = true;
    save.saveSettings = dir / "layer.txt";
    tooltest::render(save, importExample());

    // Here the second object is another one; Ell is the third.
    const ImportedScene other = tooltest::sceneOf(
        {tooltest::cube("Star"), tooltest::cube("Box", 0.5), tooltest::cube("Ell", 0.25)}, "other");
    const struct {
        bool in;
        const char *target;
        bool inverted;
        const char *note;
    } cases[] = {
        {false, "", true,
         "target \"Ell\" by its saved name; the saved item ID is \"Box\" in this scene"},
        {true, "", false, "target \"Ell\" by its saved name; the saved item ID is \"Box\" in this scene"},
        {false, "Star", true, ""},
    };
    for (const auto &c : cases) {
        Options load = tooltest::smallOptions(dir.str(), 16);
        load.loadSettings = dir / "layer.txt";
        load.in = c.in;
        load.target = c.target;
        const RenderStats stats = tooltest::render(load, other);
        EXPECT_EQ(stats.target, *c.target ? c.target : "Ell");
        EXPECT_EQ(stats.inverted, c.inverted) << c.target << c.in;
        EXPECT_EQ(stats.settingsNote, *c.note ? dir / "layer.txt" + ": " + c.note : "");
        EXPECT_EQ(summary(stats).find(c.note) != std::string::npos, true);
    }
}

TEST(Render, AnOpenTargetIsReportedAndWarnedOfOnce)
{
    TempDir dir;
    ImportedObject lidless = tooltest::shape("Lidless", [](standin::SceneObject &o) {
        standin::appendBox(o, {-1, -1, -1}, {1, 1, 1});
        o.polygons.pop_back();
    });
    const ImportedScene scene = tooltest::sceneOf({lidless, tooltest::cube()});
    std::FILE *err = std::tmpfile();
    Progress progress(err, Progress::Style::Quiet);
    RenderStats stats = runRender(tooltest::smallOptions(dir.str(), 8), scene, progress);
    ASSERT_EQ(progress.warnings().size(), 1u);
    EXPECT_EQ(progress.warnings()[0], "the target \"Lidless\" is open: 4 open edges; what the texture answers "
                                      "depends on the texture axis");
    const std::string text = summary(stats);
    EXPECT_NE(text.find("target             \"Lidless\", 8 points, open: 4 open edges\n"), std::string::npos) << text;
    EXPECT_NE(text.find("object             \"Cube\", 8 points, closed\n"), std::string::npos) << text;
    std::fclose(err);

    Options closed = tooltest::smallOptions(dir.str(), 8);
    closed.target = "Cube";
    Progress quiet(nullptr, Progress::Style::Quiet);
    runRender(closed, scene, quiet);
    EXPECT_TRUE(quiet.warnings().empty());

    // Tolerant answers the same along every axis: nothing to warn of.
    Options tolerant = tooltest::smallOptions(dir.str(), 8);
    tolerant.fillRule = 2;
    Progress healed(nullptr, Progress::Style::Quiet);
    runRender(tolerant, scene, healed);
    EXPECT_TRUE(healed.warnings().empty());
}

namespace {

// A cube moved along x.
ImportedObject cubeAt(const std::string &name, double x, int parent)
{
    ImportedObject o = tooltest::cube(name, 0.5);
    o.motion = [x](double) {
        standin::Transform t;
        t.m[0][3] = x;
        return t;
    };
    o.parent = parent;
    return o;
}

} // namespace

TEST(Render, WithChildrenTheImagesFrameTheUnionAndTheSummaryNamesThem)
{
    TempDir dir;
    const ImportedScene scene = tooltest::sceneOf({cubeAt("Hub", 0, -1), cubeAt("Spoke", 4, 0), cubeAt("Rim", -9, -1)});
    Options o = tooltest::smallOptions(dir.str(), 40);
    o.margin = 0.0;
    RenderStats alone = tooltest::render(o, scene);
    EXPECT_NEAR(alone.framing.centreAcross, 0.0, 1e-9);
    o.children = true;
    RenderStats both = tooltest::render(o, scene);
    EXPECT_NEAR(both.framing.centreAcross, 2.0, 1e-9);
    EXPECT_NEAR(both.framing.pixel * both.framing.width, 5.0, 1e-9);
    EXPECT_EQ(both.children, (std::vector<std::string>{"Spoke"}));
    const std::string text = summary(both);
    EXPECT_NE(text.find("  settings           Fill Rule Even-Odd, Soft Edge 0 (hard), Include Children on "
                        "(1 object below the target)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  child              \"Spoke\""), std::string::npos) << text;
    EXPECT_NE(summary(alone).find("Include Children off\n"), std::string::npos);
}

// The module's limits below the target, 63 objects and 32 levels, and a loop that cannot hang.
TEST(Render, ChildrenPastTheModulesLimitsAreCountedAndWarnedOf)
{
    auto chain = [](int count, bool fan) {
        std::vector<ImportedObject> objects;
        for (int i = 0; i < count; ++i)
            objects.push_back(cubeAt("C" + std::to_string(i), 0, i == 0 ? -1 : fan ? 0 : i - 1));
        return tooltest::sceneOf(objects);
    };
    ImportedScene loop = chain(3, false);
    loop.objects[1].parent = 2;
    const struct {
        ImportedScene scene;
        std::size_t members, pastChildren, pastLevels;
    } cases[] = {
        {chain(64, true), 64, 0, 0},
        {chain(70, true), 64, 6, 0},
        {chain(33, false), 33, 0, 0},
        {chain(40, false), 33, 0, 7},
        {loop, 1, 0, 0},
    };
    for (const auto &c : cases) {
        const MaskObjects mask = maskObjects(c.scene, 0, true);
        EXPECT_EQ(mask.members.size(), c.members) << c.scene.objects.size();
        EXPECT_EQ(mask.pastChildLimit, c.pastChildren) << c.scene.objects.size();
        EXPECT_EQ(mask.pastLevelLimit, c.pastLevels) << c.scene.objects.size();
        EXPECT_EQ(maskObjects(c.scene, 0, false).members.size(), 1u);
    }
    TempDir dir;
    Options o = tooltest::smallOptions(dir.str(), 8);
    o.children = true;
    Progress progress(nullptr, Progress::Style::Quiet);
    const RenderStats stats = runRender(o, cases[1].scene, progress);
    EXPECT_EQ(progress.warnings(),
              (std::vector<std::string>{
                  "Include Children takes at most 63 objects below \"C0\"; 6 more are left out"}));
    EXPECT_EQ(stats.builds, 64);
    Progress deep(nullptr, Progress::Style::Quiet);
    runRender(o, cases[3].scene, deep);
    EXPECT_EQ(deep.warnings(), (std::vector<std::string>{"Include Children goes at most 32 levels below \"C0\"; "
                                                         "7 objects further down are left out"}));
}

TEST(Render, ImageNamesSortCleanIsAskedForAndHugeImagesAreRefused)
{
    TempDir dir;
    const ImportedScene scene = tooltest::sceneOf({tooltest::cube()});
    tooltest::writeFile(dir / "slice_0099.png", "an earlier run's");
    tooltest::writeFile(dir / "holiday.png", "not ours");
    Options o = tooltest::smallOptions(dir.str(), 8);
    o.framesGiven = true;
    o.firstFrame = -11;
    o.lastFrame = -10;
    Progress progress(nullptr, Progress::Style::Quiet);
    RenderStats stats = runRender(o, scene, progress);
    std::vector<std::string> names;
    for (const std::string &f : stats.files)
        names.push_back(std::filesystem::path(f).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"slice_0000_f-11.png", "volume_0000_f-11.png", "slice_0001_f-10.png",
                                               "volume_0001_f-10.png"}));
    ASSERT_EQ(progress.warnings().size(), 1u);
    EXPECT_EQ(progress.warnings()[0], dir.str() + " also holds 2 images this run did not write, such as holiday.png "
                                                  "(--clean removes earlier images its --name pattern matches)");

    // --clean removes what the pattern names, and only that.
    o.clean = true;
    o.namePattern = "{kind}_{frame:04}";
    o.framesGiven = false;
    Progress cleaning(nullptr, Progress::Style::Quiet);
    runRender(o, scene, cleaning);
    EXPECT_FALSE(std::filesystem::exists(dir / "slice_0099.png"));
    EXPECT_TRUE(std::filesystem::exists(dir / "slice_0001_f-10.png"));
    EXPECT_TRUE(std::filesystem::exists(dir / "holiday.png"));
    EXPECT_TRUE(std::filesystem::exists(dir / "slice_0000.png"));

    // Past the memory cap only with --force; a pattern must number frames when there are several.
    Options huge = tooltest::smallOptions(dir.str(), 16384);
    EXPECT_EQ(renderError(huge, scene).rfind("images of 16384x16384 pixels need about 7.", 0), 0u)
        << renderError(huge, scene);
    Options unnumbered = tooltest::smallOptions(dir.str(), 8);
    unnumbered.namePattern = "{kind}";
    unnumbered.framesGiven = true;
    unnumbered.lastFrame = 1;
    EXPECT_THROW(tooltest::render(unnumbered, scene), UsageError);
}

TEST(Render, BadSetUpsAreNamed)
{
    TempDir dir;
    const ImportedScene scene = tooltest::sceneOf({tooltest::cube("A"), tooltest::cube("B", 0.5)});
    Options o = tooltest::smallOptions(dir.str(), 8);
    o.target = "C";
    EXPECT_EQ(renderError(o, scene), "no object named \"C\" in test (objects: A, B)");

    o = tooltest::smallOptions(dir.str(), 8);
    o.modulePath = dir / "Missing.p";
    EXPECT_EQ(renderError(o, scene).rfind("cannot load " + dir / "Missing.p", 0), 0u);

    tooltest::writeFile(dir / "file", "x");
    o = tooltest::smallOptions(dir / "file", 8);
    EXPECT_EQ(renderError(o, scene).rfind("cannot create the output directory " + dir / "file", 0), 0u);

    o = tooltest::smallOptions(dir.str(), 8);
    o.saveSettings = dir / "no/dir/s.txt";
    EXPECT_EQ(renderError(o, scene), "cannot write settings to " + dir / "no/dir/s.txt");
    o = tooltest::smallOptions(dir.str(), 8);
    o.loadSettings = dir / "none.txt";
    EXPECT_EQ(renderError(o, scene), "cannot read settings from " + dir / "none.txt" + ": no such file");

    EXPECT_EQ(renderError(tooltest::smallOptions(dir.str(), 8), tooltest::sceneOf({})), "test has no polygons");
}

TEST(Render, SoftEdgeSliceFollowsTheRampWithinAGreyLevel)
{
    EXPECT_EQ(parseOptions({"--soft-edge", "0.5"}, 1).softEdge, 0.5);
    EXPECT_THROW(parseOptions({"--soft-edge", "-1"}, 1), UsageError);
    TempDir dir;
    Options o = tooltest::smallOptions(dir.str(), 60);
    o.margin = 0.25;
    o.softEdge = 0.5;
    const RenderStats stats = tooltest::render(o, tooltest::sceneOf({tooltest::cube()}));
    const FrameResult &r = stats.frames[0];
    int ramped = 0;
    for (int y = 0; y < r.slice.height; ++y)
        for (int x = 0; x < r.slice.width; ++x) {
            // Depth below the cube's nearest face at the pixel's centre; negative outside.
            const Vec3 p = r.framing.at(x + 0.5, y + 0.5, r.sliceDepth);
            double depth = 1.0;
            for (double c : p)
                depth = std::min(depth, 1.0 - std::fabs(c));
            const double t = std::min(depth / 0.5, 1.0);
            const double expected = depth <= 0.0 ? 0.0 : t * t * (3 - 2 * t);
            EXPECT_NEAR(r.slice(x, y), expected, 1.0 / 255) << x << "," << y;
            ramped += expected > 0.0 && expected < 1.0;
        }
    EXPECT_GT(ramped, 500);
}

// The fill example through the tool's options: Tolerant heals the cup's missing lid, and
// --children brings the hub's two spokes in, each read once.
TEST(Render, TheFillExampleHealsTheCupAndGathersTheHubsSpokes)
{
    const ImportedScene scene = importScene(std::string(OSTREVIN_SOURCE_DIR) + "/examples/ostrevin-fill.lws");
    TempDir dir;
    auto insideShare = [](const RenderStats &stats) {
        const std::vector<double> &v = stats.frames.at(0).slice.values;
        return static_cast<double>(std::count_if(v.begin(), v.end(), [](double x) { return x > 0.5; })) / static_cast<double>(v.size());
    };
    Options o = tooltest::smallOptions(dir.str(), 48);
    o.target = "Cup";
    EXPECT_EQ(insideShare(tooltest::render(o, scene)), 0.0) << "Even-Odd: every ray leaves through the open top";
    o.fillRule = 2;
    EXPECT_GT(insideShare(tooltest::render(o, scene)), 0.3);

    o = tooltest::smallOptions(dir.str(), 48);
    o.target = "Hub";
    EXPECT_EQ(tooltest::render(o, scene).builds, 1);
    o.children = true;
    EXPECT_EQ(tooltest::render(o, scene).builds, 3);
}
