// The camera view: the projection as the scene format defines the zoom factor, the surface
// layers an object file carries, damaged layer data, the animation, and the effect on a plane
// crossed by a box target where the projection puts it.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/shapes.h"
#include "tests/tools/tool_support.h"
#include "tools/ostrevin-render/camera.h"
#include "tools/ostrevin-render/camera_job.h"
#include "tools/ostrevin-render/lwo2_reader.h"
#include "tools/ostrevin-render/lws_scene.h"
#include "tools/ostrevin-render/object_settings.h"

namespace {

using render::Vec3;

// One channel's envelope with a single key.
std::string channel(int c, double value)
{
    char key[64];
    std::snprintf(key, sizeof key, "%.17g", value);
    return "Channel " + std::to_string(c) + "\n{ Envelope\n  1\n  Key " + key + " 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
}

std::string motion(const char *keyword, const std::array<double, 6> &v)
{
    std::string s = std::string(keyword) + "\nNumChannels 6\n";
    for (int c = 0; c < 6; ++c)
        s += channel(c, v[static_cast<std::size_t>(c)]);
    return s;
}

// Expected positions worked by hand: the zoom factor is 1 / tan(half the vertical field), so a
// point at depth d and height h lands zoom * h / d half-heights above the centre; across, a
// half-height spans (height / 2) / pixel aspect pixels.
TEST(CameraProjection, KnownPointsLandWhereTheZoomFactorPutsThem)
{
    const double quarter = std::acos(-1.0) / 2;
    struct Case {
        const char *what;
        std::array<double, 6> camera;   // position x, y, z; heading, pitch, bank (host axes)
        const char *lens;
        bool parented;                  // under a null at host (1, 0, 0)
        Vec3 hostPoint;
        double x, y;
    };
    const Case cases[] = {
        {"top edge at zoom 2", {0, 0, 0, 0, 0, 0}, "ZoomFactor 2\nFrameSize 200 100\n", false, {0, 0.5, 1}, 100, 0},
        {"right of centre", {0, 0, 0, 0, 0, 0}, "ZoomFactor 2\nFrameSize 200 100\n", false, {1, 0, 2}, 150, 50},
        {"low left", {0, 0, 0, 0, 0, 0}, "ZoomFactor 2\nFrameSize 200 100\n", false, {-0.5, -0.25, 1}, 50, 75},
        {"wide pixels", {0, 0, 0, 0, 0, 0}, "ZoomFactor 2\nFrameSize 200 100\nPixelAspect 2\n", false, {1, 0, 2}, 125, 50},
        {"default frame", {0, 0, 0, 0, 0, 0}, "ZoomFactor 3.2\n", false, {0, 1, 3.2}, 320, 0},
        {"heading a quarter turn", {0, 0, 0, quarter, 0, 0}, "ZoomFactor 2\nFrameSize 200 100\n", false, {2, 0, -1}, 150, 50},
        {"pitched down", {0, 0, 0, 0, quarter / 2, 0}, "ZoomFactor 2\nFrameSize 200 100\n", false, {0, -1, 1}, 100, 50},
        {"under a parent", {0, 0, -1, 0, 0, 0}, "ZoomFactor 2\nFrameSize 200 100\n", true, {1, 0.5, 0}, 100, 0},
    };
    for (const Case &c : cases) {
        std::string text = "LWSC\n5\n\n";
        if (c.parented)
            text += "AddNullObject 10000000 Rig\n" + motion("ObjectMotion", {1, 0, 0, 0, 0, 0});
        text += "AddCamera 30000000\nCameraName Cam\n" + motion("CameraMotion", c.camera);
        if (c.parented)
            text += "ParentItem 10000000\n";
        text += c.lens;
        const auto scene = std::make_shared<const render::LwsScene>(render::parseLws(text, "test.lws"));
        const std::optional<render::SceneCamera> camera = render::lwsCamera(scene);
        ASSERT_TRUE(camera) << c.what;
        const render::CameraView view = render::sceneCameraAt(*camera, 0.0, 0, 0);
        double x = -1, y = -1;
        ASSERT_TRUE(view.project({c.hostPoint[0], c.hostPoint[1], -c.hostPoint[2]}, x, y)) << c.what;
        EXPECT_NEAR(x, c.x, 1e-6) << c.what;
        EXPECT_NEAR(y, c.y, 1e-6) << c.what;
    }
}

TEST(SurfaceLayers, TheExampleWallCarriesTheTextureWithItsMapping)
{
    const std::string bytes = tooltest::readFile(OSTREVIN_SOURCE_DIR "/examples/wall.lwo");
    const render::Lwo2Object wall = render::readLwo2(bytes, "wall.lwo");
    ASSERT_EQ(wall.layers.size(), 1u);
    const render::ImportedObject &object = wall.layers[0].object;
    ASSERT_EQ(object.surfaces.size(), 1u);
    EXPECT_EQ(object.polygonSurfaces, std::vector<std::uint16_t>(object.polygons.size(), 0));
    ASSERT_EQ(object.surfaces[0].layers.size(), 1u);
    const render::ProceduralLayer &layer = object.surfaces[0].layers[0];
    EXPECT_EQ(layer.surface, "Wall");
    EXPECT_EQ(layer.server, "Dabrel_Ostrevin");
    EXPECT_EQ(layer.channel, "COLR");
    EXPECT_EQ(layer.axis, 2);
    EXPECT_TRUE(layer.enabled);
    EXPECT_TRUE(layer.mapping.world);
    EXPECT_EQ(layer.mapping.referenceObject, "");
    EXPECT_EQ(layer.mapping.size, (Vec3{1, 1, 1}));
    EXPECT_EQ(render::parseObjectSettings(layer.data, "wall").itemName, "Star");

    // Texture coordinates: moved to the centre, turned back, divided by the size.
    struct Mapped {
        Vec3 centre, size, rotation, point, expected;   // point and result in the tool's axes
    };
    const double quarter = std::acos(-1.0) / 2;
    const Mapped mapped[] = {
        {{1, 2, 3}, {1, 1, 1}, {0, 0, 0}, {1, 2, -3}, {0, 0, 0}},
        {{1, 2, 3}, {2, 4, 8}, {0, 0, 0}, {3, 6, -11}, {1, 1, -1}},
        {{0, 0, 0}, {1, 1, 1}, {quarter, 0, 0}, {1, 0, 0}, {0, 0, -1}},   // host +X is the turned +Z
    };
    for (const Mapped &m : mapped) {
        render::TextureMapping mapping;
        mapping.centre = m.centre, mapping.size = m.size, mapping.rotation = m.rotation;
        const Vec3 t = mapping.coordinates(m.point);
        for (std::size_t c = 0; c < 3; ++c)
            EXPECT_NEAR(t[c], m.expected[c], 1e-9);
    }
}

// The module's settings in the object-file form.
// An LWO2 file of the given chunks: id and contents, padded to even length.
std::string lwo2Of(const std::vector<std::pair<std::string, std::string>> &chunks)
{
    auto u4 = [](std::size_t n) {
        return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16 & 0xFF), static_cast<char>(n >> 8 & 0xFF),
                           static_cast<char>(n & 0xFF)};
    };
    std::string body = "LWO2";
    for (const auto &[id, contents] : chunks)
        body += id + u4(contents.size()) + contents + (contents.size() % 2 ? std::string(1, '\0') : "");
    return "FORM" + u4(body.size()) + body;
}

// Tag chunks name the polygons of the last polygon chunk of their own layer, and no others.
TEST(SurfaceLayers, PolygonTagsStayWithTheirLayersPolygons)
{
    using namespace std::string_literals;
    const std::string layer0 = "\0\0\0\0"s + std::string(12, '\0') + "\0\0"s;
    const std::string layer1 = "\0\1\0\0"s + std::string(12, '\0') + "\0\0"s;
    const std::string points = std::string(12, '\0') + "\x3f\x80\0\0\0\0\0\0\0\0\0\0"s +
                               "\0\0\0\0\x3f\x80\0\0\0\0\0\0"s;
    const std::string triangle = "FACE\0\3\0\0\0\1\0\2"s;
    const std::string tagFirst = "SURF\0\0\0\0"s;
    struct Case {
        const char *what;
        std::string file;
        std::vector<std::vector<std::uint16_t>> surfaces;   // per layer
    };
    const Case cases[] = {
        {"a tag chunk in a later layer",
         lwo2Of({{"TAGS", "A\0"s}, {"LAYR", layer0}, {"PNTS", points}, {"POLS", triangle}, {"LAYR", layer1}, {"PTAG", tagFirst}}),
         {{}, {}}},
        {"polygons after the tag chunk",
         lwo2Of({{"TAGS", "A\0"s}, {"LAYR", layer0}, {"PNTS", points}, {"POLS", triangle}, {"PTAG", tagFirst}, {"POLS", triangle}}),
         {{0, 0xFFFF}}},
    };
    for (const Case &c : cases) {
        const render::Lwo2Object object = render::readLwo2(c.file, "tags.lwo");
        ASSERT_EQ(object.layers.size(), c.surfaces.size()) << c.what;
        for (std::size_t l = 0; l < c.surfaces.size(); ++l)
            EXPECT_EQ(object.layers[l].object.polygonSurfaces, c.surfaces[l]) << c.what << ", layer " << l;
    }
}

std::string savedSettings(const std::vector<std::string> &lines)
{
    std::string out;
    for (const std::string &line : lines) {
        out += static_cast<char>((line.size() + 1) >> 8);
        out += static_cast<char>((line.size() + 1) & 0xFF);
        out += line;
        out += '\0';
    }
    return out;
}

// A camera at the origin looking along the host's +Z, a square frame of `size` pixels; a plane facing
// it at depth 5 whose surface carries `data`; and a box target from host (-1, -0.5, 4) to
// (1, 0.5, 6), which the plane cuts through its middle.
render::ImportedScene planeAndBox(const std::string &data, int size = 512)
{
    render::ImportedObject box = tooltest::shape("Box", [](standin::SceneObject &o) {
        standin::appendBox(o, {-1.0f, -0.5f, -6.0f}, {1.0f, 0.5f, -4.0f});
    });
    render::ImportedObject plane;
    plane.name = "Plane";
    plane.points = {{-3, -3, -5}, {3, -3, -5}, {3, 3, -5}, {-3, 3, -5}};
    plane.polygons = {{0, 1, 2, 3}};
    plane.polygonSurfaces = {0};
    render::ProceduralLayer layer;
    layer.surface = "Floor";
    layer.server = "Dabrel_Ostrevin";
    layer.axis = 2;
    layer.data = data;
    plane.surfaces = {render::SurfaceLayers{"Floor", {layer}, {}}};
    render::ImportedScene scene = tooltest::sceneOf({box, plane});
    render::SceneCamera camera;
    camera.name = "Cam";
    camera.width = camera.height = size;
    scene.camera = camera;
    return scene;
}

render::Options cameraOptions(const std::string &outDir)
{
    render::Options o = tooltest::smallOptions(outDir);
    o.cameraView = 1;
    o.gif = 0;
    return o;
}

// The effect's share at a pixel: the effect is orange (red without blue), surfaces are grey.
double effectAt(const tooltest::Png &png, int x, int y)
{
    const unsigned char *p = &png.rgb[(static_cast<std::size_t>(y) * png.width + x) * 3];
    return (p[0] - p[2]) / 255.0;
}

TEST(CameraView, TheEffectFillsTheBoxsCrossSectionAsProjected)
{
    // The cross-section at depth 5 spans x from -1 to 1 and y from -0.5 to 0.5: at zoom 3.2 a
    // unit there is 256 * 3.2 / 5 pixels from the centre.
    const double unit = 256 * 3.2 / 5;
    const double left = 256 - unit, right = 256 + unit, top = 256 - unit / 2, bottom = 256 + unit / 2;
    for (int flip : {0, 1}) {
        tooltest::TempDir dir;
        const std::string data = savedSettings({"version : 1.100000", "itemID : 0", "itemName : Box",
                                                "flipFlg : " + std::to_string(flip), "End All"});
        const render::RenderStats stats = tooltest::render(cameraOptions(dir.str()), planeAndBox(data));
        EXPECT_EQ(stats.surfaceLayers, 1);
        const tooltest::Png png = tooltest::readPng(dir / "camera_0000.png");
        ASSERT_GE(png.height, 512);
        // From the centre outwards along its row and column, to where the effect's side changes.
        auto inside = [&](int x, int y) { return (effectAt(png, x, y) >= 0.5) != (flip == 1); };
        ASSERT_TRUE(inside(256, 256));
        int x0 = 256, x1 = 256, y0 = 256, y1 = 256;
        while (x0 > 0 && inside(x0 - 1, 256))
            --x0;
        while (x1 < 511 && inside(x1 + 1, 256))
            ++x1;
        while (y0 > 0 && inside(256, y0 - 1))
            --y0;
        while (y1 < 511 && inside(256, y1 + 1))
            ++y1;
        // Outside the cross-section, the plane has the other answer.
        EXPECT_FALSE(inside(20, 256));
        EXPECT_NEAR(x0, left, 1.0) << "flip " << flip;
        EXPECT_NEAR(x1 + 1, right, 1.0) << "flip " << flip;
        EXPECT_NEAR(y0, top, 1.0) << "flip " << flip;
        EXPECT_NEAR(y1 + 1, bottom, 1.0) << "flip " << flip;
        EXPECT_NEAR((x0 + x1 + 1) / 2.0, 256, 1.0);
        EXPECT_NEAR((y0 + y1 + 1) / 2.0, 256, 1.0);
    }
}

TEST(CameraView, DamagedLayerDataIsLeftOutWithOneWarningAndTheRenderGoesOn)
{
    const std::string good = savedSettings({"version : 1.100000", "itemID : 0", "itemName : Box", "flipFlg : 0", "End All"});
    const std::string cases[] = {
        good.substr(0, good.size() - 10),                              // cut short
        std::string("\x01\x00", 2) + "itemName : Box",                // a count past the end
        savedSettings({"itemName : Box", "flipFlg : 0", "End All"}),   // no itemID
        savedSettings({"version : 1.100000", "itemID : 0", "itemName : Nobody", "flipFlg : 0", "End All"}),
    };
    for (const std::string &data : cases) {
        tooltest::TempDir dir;
        render::Progress progress(nullptr, render::Progress::Style::Quiet);
        const render::RenderStats stats = render::runRender(cameraOptions(dir.str()), planeAndBox(data, 64), progress);
        ASSERT_EQ(progress.warnings().size(), 1u);
        EXPECT_NE(progress.warnings()[0].find("object \"Plane\", surface \"Floor\""), std::string::npos)
            << progress.warnings()[0];
        EXPECT_EQ(stats.surfaceLayers, 0);
        EXPECT_EQ(tooltest::readPng(dir / "camera_0000.png").width, 64);
    }
}

int gifFrames(const std::string &path)
{
    int error = 0;
    GifFileType *gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif)
        return 0;
    const int frames = DGifSlurp(gif) == GIF_OK ? gif->ImageCount : -1;
    DGifCloseFile(gif, &error);
    return frames;
}

TEST(CameraView, TheAnimationHasAFrameForEveryFrameRendered)
{
    struct Case {
        std::vector<std::string> args;
        int frames;   // 0: no animation written
    };
    const Case cases[] = {
        {{"--frames", "0-5"}, 6},
        {{"--frames", "1-5", "--no-gif"}, 0},
        {{"--frames", "2"}, 0},
        {{"--frames", "2", "--gif"}, 1},
    };
    for (const Case &c : cases) {
        tooltest::TempDir dir;
        std::vector<std::string> args{"--out", dir.str(), "--threads", "2", "--size", "64x36", "-q"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const tooltest::CommandOutcome r = tooltest::runInProcess(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(gifFrames(dir / "camera.gif"), c.frames) << c.args[1];
    }
}

// With Include Children the target's children are helper volumes as the target is: outlined, not
// shaded. The command line's layer stays off everything below the target either way.
TEST(CameraView, IncludeChildrenOutlinesTheTargetsChildren)
{
    render::ImportedObject spoke = tooltest::cube("Spoke", 0.5);
    spoke.parent = 0;
    const render::ImportedScene scene = tooltest::sceneOf({tooltest::cube("Hub"), spoke, tooltest::cube("Wall", 0.25)});
    for (const bool children : {false, true}) {
        render::Session session(standin::defaultModulePath());
        session.addScene(scene);
        session.pickTarget("Hub");
        render::Progress progress(nullptr, render::Progress::Style::Quiet);
        const render::CameraTexturing t = render::setUpTexturing(session, scene, tooltest::smallOptions("."),
                                                                 render::maskObjects(scene, 0, children), progress);
        EXPECT_EQ(t.targets, (children ? std::vector<int>{0, 1} : std::vector<int>{0}));
        EXPECT_FALSE(t.objects[1].any());
        EXPECT_TRUE(t.objects[2].any());
    }
}

} // namespace
