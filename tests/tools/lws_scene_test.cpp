// Scene files read as the host reads them: items, parents, pivots and both formats' motion; a
// damaged file is one error naming its line; and the positions Assimp's move_* scenes give,
// against values computed apart from the tool from the key formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/lws_scene.h"
#include "tools/ostrevin-render/scene_import.h"

using namespace render;

namespace {

const double pi = std::acos(-1.0);

std::array<double, 3> apply(const standin::Transform &t, double x, double y, double z)
{
    std::array<double, 3> out{};
    for (int r = 0; r < 3; ++r)
        out[static_cast<std::size_t>(r)] = t.m[r][0] * x + t.m[r][1] * y + t.m[r][2] * z + t.m[r][3];
    return out;
}

std::string envelope(double value)
{
    char key[64];
    std::snprintf(key, sizeof key, "%.17g", value);
    return std::string("{ Envelope\n  1\n  Key ") + key + " 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
}

// A version 5 item's nine channels, each one constant key.
std::string motion(std::array<double, 9> v)
{
    std::string s = "ObjectMotion\nNumChannels 9\n";
    for (int c = 0; c < 9; ++c)
        s += "Channel " + std::to_string(c) + "\n" + envelope(v[static_cast<std::size_t>(c)]);
    return s;
}

// Every kind of item, explicit item numbers, a parent, a pivot, a plug-in block to skip, and
// one rotation per object.
std::string sampleScene()
{
    const double q = pi / 2;
    return "LWSC\n5\n\nFirstFrame -3\nLastFrame 40\nFrameStep 2\nFramesPerSecond 24\n"
                             "LoadObjectLayer 1 10000000 Objects\\Parent Thing.lwo\n" +
                             motion({1, 0, 0, q, 0, 0, 1, 1, 1}) +
                             "Plugin ItemMotionHandler 1 Whatever\n{ not a block\nEndPlugin\n"
                             "AddNullObject 10000001 Handle\n" + motion({0, 0, 1, 0, 0, 0, 1, 1, 1}) +
                             "ParentItem 10000000\nPivotPosition 0.5 0 0\n"
                             "AddLight 20000000\nLightName Sun\nLightMotion\nNumChannels 9\nChannel 0\n" + envelope(9) +
                             "LoadObjectLayer 2 10000002 C:\\Pitch.lwo\n" + motion({0, 0, 0, 0, q, 0, 2, 2, 2}) +
                             "LoadObjectLayer 1 10000003 Bank.lwo\n" + motion({0, 0, 0, 0, 0, q, 1, 1, 1}) +
                             "AddBone 40000003\nBoneName Arm\nAddBone 40010003\nBoneName Hand\nParentItem 40000003\n";
}

std::string parseError(const std::string &text)
{
    try {
        parseLws(text, "s.lws");
    } catch (const RenderError &e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(LwsScene, ItemsParentsPivotsAndRotationsPlaceAsTheHostDoes)
{
    const std::string text = sampleScene();
    const LwsScene s = parseLws(text, "s.lws");
    ASSERT_EQ(s.items.size(), 7u);
    EXPECT_EQ(s.version, 5);
    EXPECT_TRUE(s.frameRangeGiven);
    EXPECT_EQ(s.firstFrame, -3);
    EXPECT_EQ(s.lastFrame, 40);
    EXPECT_EQ(s.frameStep, 2);
    EXPECT_EQ(s.fps, 24.0);
    EXPECT_EQ(s.items[0].pathText, "Objects\\Parent Thing.lwo");
    EXPECT_EQ(s.items[1].kind, LwsItem::Kind::Null);
    EXPECT_EQ(s.items[1].name, "Handle");
    EXPECT_EQ(s.items[1].parent, 0);
    EXPECT_EQ(s.items[2].kind, LwsItem::Kind::Light);
    EXPECT_EQ(s.items[3].layer, 2);
    EXPECT_EQ(s.items[3].pathText, "C:\\Pitch.lwo");
    EXPECT_EQ(s.items[6].parent, -1) << "bones move no objects";
    EXPECT_FALSE(s.animated());

    // The tool's axes are the host's with Z turned round: a host point (x, y, z) is (x, y, -z).
    const struct {
        const char *name;
        std::size_t item;
        std::array<double, 3> hostPoint, hostWorld;
    } cases[] = {
        // Heading turns +Z towards +X, then the position adds.
        {"heading", 0, {0, 0, 1}, {2, 0, 0}},
        // The child hangs from the parent's pivot; its own pivot sits at its position.
        {"child pivot", 1, {0.5, 0, 0}, {2, 0, 0}},
        {"child point", 1, {0, 0, 0}, {2, 0, 0.5}},
        // Pitch turns +Z towards -Y, after the scale.
        {"pitch", 3, {0, 0, 1}, {0, -2, 0}},
        // Bank turns +X towards +Y.
        {"bank", 4, {1, 0, 0}, {0, 1, 0}},
    };
    for (const auto &c : cases) {
        const auto w = apply(s.placement(c.item, 0.0), c.hostPoint[0], c.hostPoint[1], -c.hostPoint[2]);
        EXPECT_NEAR(w[0], c.hostWorld[0], 1e-12) << c.name;
        EXPECT_NEAR(w[1], c.hostWorld[1], 1e-12) << c.name;
        EXPECT_NEAR(w[2], -c.hostWorld[2], 1e-12) << c.name;
    }
}

TEST(LwsScene, OldFormatsReadTheirMotionWithAnglesInDegrees)
{
    // Version 2: per channel a key count and "value time shape tension continuity bias".
    std::string v2 = "LWSC\n2\nFramesPerSecond 30\nLoadObject a.lwo\nObjectMotion (unnamed)\n  9\n  2\n"
                     "  0 0 2 0 0 0\n  3 1 3 0 0 0\n";
    for (double v : {0.0, 0.0, 90.0, 0.0, 0.0, 1.0, 1.0, 1.0})
        v2 += "  1\n  " + std::to_string(v) + " 0 2 0 0 0\n";
    v2 += "Pre/PostBehavior 1 2 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\nAddNullObject N\nParentObject 1\n";
    const LwsScene s2 = parseLws(v2, "v2.lws");
    ASSERT_EQ(s2.items.size(), 2u);
    EXPECT_EQ(s2.items[0].pathText, "a.lwo");
    EXPECT_EQ(s2.items[1].parent, 0);
    EXPECT_NEAR(s2.items[0].channels[0].evaluate(0.5), 1.5, 1e-12);
    EXPECT_NEAR(s2.items[0].channels[0].evaluate(1.5), 1.5, 1e-12) << "post repeat";
    EXPECT_NEAR(s2.items[0].channels[3].evaluate(0), pi / 2, 1e-12);

    // Version 1: per key a line of the nine values and a line "frame linear tension continuity bias".
    const std::string v1 = "LWSC\n1\nFramesPerSecond 10\nLoadObject b.lwo\nObjectMotion (unnamed)\n  9\n  2\n"
                           "  0 0 0 0 0 0 1 1 1\n  0 1 0 0 0\n  4 0 0 180 0 0 1 1 1\n  20 1 0 0 0\nEndBehavior 2\n";
    const LwsScene s1 = parseLws(v1, "v1.lws");
    EXPECT_NEAR(s1.items[0].channels[0].evaluate(1.0), 2.0, 1e-12) << "frame 20 at 10 fps is 2 s";
    EXPECT_NEAR(s1.items[0].channels[3].evaluate(2.0), pi, 1e-12);
    EXPECT_NEAR(s1.items[0].channels[0].evaluate(3.0), 2.0, 1e-12) << "repeats";
}

TEST(LwsScene, ADamagedFileIsOneErrorNamingItsLine)
{
    const std::string good = "LWSC\n5\nLoadObjectLayer 1 10000000 a.lwo\n" + motion({0, 0, 0, 0, 0, 0, 1, 1, 1});
    const struct {
        std::string text, message;
    } cases[] = {
        {"", "s.lws is not a LightWave scene (no LWSC header)"},
        {"LWOB\n", "s.lws is not a LightWave scene (no LWSC header)"},
        {"LWSC\n", "s.lws line 1: no format version after LWSC"},
        {"LWSC\nfive\n", "s.lws line 2: the format version wants a whole number from 1 to 1000, not \"five\""},
        {"LWSC\n5\nFirstFrame 9\nLastFrame 2\n", "s.lws line 4: LastFrame 2 comes before FirstFrame 9"},
        {"LWSC\n5\nFramesPerSecond nan\n", "s.lws line 3: FramesPerSecond is not a number: \"nan\""},
        {"LWSC\n5\nChannel 0\n", "s.lws line 3: Channel before any item"},
        {"LWSC\n5\nLoadObject a.lwo\nChannel 0\n{ Envelope\n 1\n Key 0 0\n}\n", "s.lws line 7: a Key wants at least"},
        {"LWSC\n5\nLoadObject a.lwo\nChannel 0\n{ Envelope\n 1\n Key 0 0 9\n}\n", "s.lws line 7: a key's shape wants"},
        {"LWSC\n5\nLoadObject a.lwo\nChannel 0\n{ Envelope\n 1\n Key 1e999 0 0\n}\n", "s.lws line 7: a key's value is not"},
        {"LWSC\n5\nLoadObject a.lwo\nChannel 0\n{ Envelope\n 1\n Key 0 0 0\n", "s.lws line 5: an envelope is not closed"},
        {"LWSC\n5\nLoadObject a.lwo\nChannel 0\n{ Envelope\n Behaviors 1 7\n}\n", "s.lws line 6: a behaviour wants"},
        {"LWSC\n5\nLoadObject a.lwo\nChannel 0\n{ Other\n}\n", "s.lws line 5: a channel holds no envelope"},
        {"LWSC\n5\nLoadObject a.lwo\nChannel 0\nKey 0 0 0\n", "s.lws line 4: Channel 0 has no envelope"},
        {"LWSC\n5\n{ Block\n", "s.lws line 3: a { block is not closed"},
        {"LWSC\n5\n}\n", "s.lws line 3: a } closes no block"},
        {"LWSC\n5\nPlugin X 1 Y\n", "s.lws line 3: Plugin has no EndPlugin"},
        {good + "ParentItem 10000007\n", "s.lws line 60: the parent 10000007 is no item of the scene"},
        {good + "ParentItem 10000000\n", "s.lws line 3: the item's parents go round in a loop"},
        {"LWSC\n2\nLoadObject a.lwo\nObjectMotion\n 9\n 3\n 0 0 2 0 0 0\n", "s.lws line 7: the file ends inside a motion"},
        {"LWSC\n1\nLoadObject a.lwo\nObjectMotion\n 9\n 1\n 0 0 0\n", "s.lws line 7: a key's values wants 9 numbers"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseError(c.text).rfind(c.message, 0), 0u) << c.message << "\n got: " << parseError(c.text);

    // Every cut of a whole scene parses or fails with an error, never worse.
    const std::string whole = sampleScene();
    for (std::size_t n = 0; n <= whole.size(); n += 7)
        (void)parseError(whole.substr(0, n));
}

TEST(LwsScene, AssimpsMoveScenesPlaceTheObjectWhereTheKeyFormulasPutIt)
{
    const std::filesystem::path models = std::filesystem::path(OSTREVIN_ASSIMP_MODELS) / "LWS";
    if (!std::filesystem::exists(models / "move_x.lws"))
        GTEST_SKIP() << "assimp-testmodels is not installed under " << OSTREVIN_ASSIMP_MODELS;
    // Host-axis positions from an implementation of the formulas written apart from the tool's.
    const struct {
        const char *scene;
        int frame;
        std::array<double, 3> position;
    } cases[] = {
        {"move_xz_stepped", 10, {0, 0, 0}},
        {"move_xz_stepped", 45, {1.92491848392, 0, -2.65611672401}},
        {"move_xz_stepped", 75, {-0.523003458977, 0, -2.65611672401}},
        {"move_xz_stepped", 120, {-0.523003458977, 0, -0.0958004427591}},
        {"move_xz_bezier", 10, {1.20791422249, 0, -0.79526989929}},
        {"move_xz_bezier", 45, {0.582875427583, 0, -2.61304438517}},
        {"move_xz_bezier", 75, {-0.523003458977, 0, -0.987801973502}},
        {"move_xz_bezier", 120, {-0.523003458977, 0, -0.0958004427591}},
        {"move_xz_hermite", 10, {1.22153496387, 0, -0.787549766099}},
        {"move_xz_hermite", 45, {0.589612147416, 0, -2.60818881493}},
        {"move_xz_hermite", 75, {-0.523003458977, 0, -0.975903472153}},
        {"move_xz_hermite", 120, {-0.523003458977, 0, -0.0958004427591}},
        {"move_xz_spline", 10, {1.2813753436, 0, -0.786132247208}},
        {"move_xz_spline", 45, {0.621324259089, 0, -2.61104533464}},
        {"move_xz_spline", 75, {-0.523003458977, 0, -0.992230666076}},
        {"move_xz_spline", 120, {-0.523003458977, 0, -0.114034168422}},
        {"move_x_post_constant", 10, {1.44137799425, 0, 0}},
        {"move_x_post_constant", 45, {-1.63818323612, 0, 0}},
        {"move_x_post_constant", 75, {-1.63818323612, 0, 0}},
        {"move_x_post_constant", 120, {-1.63818323612, 0, 0}},
        {"move_x_post_linear", 10, {1.44137799425, 0, 0}},
        {"move_x_post_linear", 45, {-2.8307208888, 0, 0}},
        {"move_x_post_linear", 75, {-8.79340915216, 0, 0}},
        {"move_x_post_linear", 120, {-17.7374415472, 0, 0}},
        {"move_x_post_offset_repeat", 10, {1.44137799425, 0, 0}},
        {"move_x_post_offset_repeat", 45, {-0.80909579915, 0, 0}},
        {"move_x_post_offset_repeat", 75, {-2.61757070103, 0, 0}},
        {"move_x_post_offset_repeat", 120, {-4.53686220444, 0, 0}},
        {"move_x_post_repeat", 10, {1.44137799425, 0, 0}},
        {"move_x_post_repeat", 45, {0.829087436972, 0, 0}},
        {"move_x_post_repeat", 75, {-0.97938746491, 0, 0}},
        {"move_x_post_repeat", 120, {0.377687503924, 0, 0}},
        {"move_x_post_reset", 10, {1.44137799425, 0, 0}},
        {"move_x_post_reset", 45, {0, 0, 0}},
        {"move_x_post_reset", 75, {0, 0, 0}},
        {"move_x_post_reset", 120, {0, 0, 0}},
        {"move_y_pre_ofrep_post_osc", -200, {0, -3.96535929144, 0}},
        {"move_y_pre_ofrep_post_osc", -45, {0, -1.0077170567, 0}},
        {"move_y_pre_ofrep_post_osc", 15, {0, -0.0727278476252, 0}},
        {"move_y_pre_ofrep_post_osc", 52, {0, 0.940742287304, 0}},
        {"move_y_pre_ofrep_post_osc", 100, {0, -0.00241348709156, 0}},
    };
    for (const auto &c : cases) {
        const ImportedScene s = importScene((models / (std::string(c.scene) + ".lws")).string());
        ASSERT_EQ(s.objects.size(), 1u) << c.scene;
        const standin::Transform t = s.objects[0].motion(c.frame / s.fps);
        // Tolerance 1e-9 scene units: both sides are double arithmetic on the same keys.
        EXPECT_NEAR(t.m[0][3], c.position[0], 1e-9) << c.scene << " frame " << c.frame;
        EXPECT_NEAR(t.m[1][3], c.position[1], 1e-9) << c.scene << " frame " << c.frame;
        EXPECT_NEAR(t.m[2][3], -c.position[2], 1e-9) << c.scene << " frame " << c.frame;
    }
}
