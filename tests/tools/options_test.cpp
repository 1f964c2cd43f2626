// The command line: every option reaches its field, and every bad one is named in its error.
#include <gtest/gtest.h>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/options.h"

using render::Options;
using render::parseOptions;
using render::UsageError;

namespace {

std::string errorOf(const std::vector<std::string> &args)
{
    try {
        parseOptions(args, 4);
    } catch (const UsageError &e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Options, DefaultsRenderTheExampleWithEveryCore)
{
    const Options o = parseOptions({}, 6);
    EXPECT_TRUE(o.scene.empty());
    EXPECT_TRUE(o.target.empty());
    EXPECT_EQ(o.threads, 6);
    EXPECT_EQ(o.axis, 2);
    EXPECT_EQ(o.view, 2);
    EXPECT_EQ(o.outDir, "out");
    EXPECT_FALSE(o.framesGiven);
    EXPECT_FALSE(o.invert);
    EXPECT_EQ(o.fillRule, -1);
    EXPECT_FALSE(o.children);
    // A machine that cannot say how many cores it has still gets a thread.
    EXPECT_EQ(parseOptions({}, 0).threads, 1);
}

TEST(Options, EveryOptionReachesItsField)
{
    const Options o = parseOptions({"scene.lws", "--target", "Star", "--invert", "--axis", "x", "--view=Y", "--threads",
                                    "3", "--out", "images", "--frames", "2-7", "--size", "320x200", "--depth=16",
                                    "--sheet", "4", "--fps", "24", "--module", "m.p", "--save-settings", "a.txt",
                                    "--load-settings", "b.txt", "--quiet", "--name", "{kind}-{index}", "--clean",
                                    "--force", "--fill-rule", "tolerant", "--children"},
                                   8);
    EXPECT_EQ(o.scene, "scene.lws");
    EXPECT_EQ(o.target, "Star");
    EXPECT_TRUE(o.invert);
    EXPECT_EQ(o.axis, 0);
    EXPECT_EQ(o.view, 1);
    EXPECT_EQ(o.threads, 3);
    EXPECT_EQ(o.outDir, "images");
    EXPECT_TRUE(o.framesGiven);
    EXPECT_EQ(o.firstFrame, 2);
    EXPECT_EQ(o.lastFrame, 7);
    EXPECT_EQ(o.width, 320);
    EXPECT_EQ(o.height, 200);
    EXPECT_EQ(o.depthSamples, 16);
    EXPECT_EQ(o.sheetSlices, 4);
    EXPECT_DOUBLE_EQ(o.fps, 24.0);
    EXPECT_EQ(o.modulePath, "m.p");
    EXPECT_EQ(o.saveSettings, "a.txt");
    EXPECT_EQ(o.loadSettings, "b.txt");
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.namePattern, "{kind}-{index}");
    EXPECT_TRUE(o.clean);
    EXPECT_TRUE(o.force);
    EXPECT_EQ(o.fillRule, 2);
    EXPECT_TRUE(o.children);
    EXPECT_EQ(parseOptions({"--fill-rule=non-zero"}, 1).fillRule, 1);
}

TEST(Options, ViewsByTheHostsViewportNamesOrTheirAxes)
{
    const struct {
        const char *text;
        int view;
    } cases[] = {{"right", 0}, {"top", 1}, {"front", 2}, {"Top", 1}, {"x", 0}, {"y", 1}, {"Z", 2},
                 {"left", 3},  {"Bottom", 4}, {"back", 5}};
    for (const auto &c : cases) {
        const Options o = parseOptions({"--view", c.text}, 1);
        EXPECT_EQ(o.view, c.view) << c.text;
        EXPECT_EQ(o.cameraView, 0) << c.text;
    }
    // The camera view, in any case; a later viewport overrides it.
    EXPECT_EQ(parseOptions({"--view", "Camera"}, 1).cameraView, 1);
    EXPECT_EQ(parseOptions({"--view=camera", "--view", "back"}, 1).cameraView, 0);
    EXPECT_EQ(parseOptions({}, 1).cameraView, -1);
    EXPECT_STREQ(render::viewName(1), "top");
    EXPECT_STREQ(render::viewName(5), "back");
}

TEST(Options, VersionInAndTheEndOfOptions)
{
    EXPECT_TRUE(parseOptions({"--version"}, 1).version);
    EXPECT_EQ(render::versionText().rfind("ostrevin-render 1.", 0), 0u);
    // After "--" a name starting with '-' is the scene.
    const Options o = parseOptions({"--frames", "2", "--", "-odd.lws"}, 1);
    EXPECT_EQ(o.scene, "-odd.lws");
    EXPECT_EQ(o.firstFrame, 2);
    EXPECT_EQ(errorOf({"--", "a.lws", "--list"}), "more than one scene given: a.lws and --list");
    EXPECT_TRUE(parseOptions({"--in"}, 1).in);
    EXPECT_EQ(render::counted(1, "object", "objects"), "1 object");
    EXPECT_EQ(render::counted(0, "object", "objects"), "0 objects");
}

TEST(Options, FramesTakeOneNumberOrARangeIncludingNegativeOnes)
{
    Options o = parseOptions({"--frames", "4"}, 1);
    EXPECT_EQ(o.firstFrame, 4);
    EXPECT_EQ(o.lastFrame, 4);
    o = parseOptions({"--frames", "-5--1"}, 1);
    EXPECT_EQ(o.firstFrame, -5);
    EXPECT_EQ(o.lastFrame, -1);
    o = parseOptions({"--frames=-3"}, 1);
    EXPECT_EQ(o.firstFrame, -3);
    EXPECT_EQ(o.lastFrame, -3);
    EXPECT_EQ(o.frameStep, 1);
    o = parseOptions({"--frames", "-4-20/6"}, 1);
    EXPECT_EQ(o.firstFrame, -4);
    EXPECT_EQ(o.lastFrame, 20);
    EXPECT_EQ(o.frameStep, 6);
}

TEST(Options, SizeAndResolutionReplaceEachOther)
{
    Options o = parseOptions({"--size", "10x20", "--resolution", "64"}, 1);
    EXPECT_EQ(o.width, 0);
    EXPECT_EQ(o.resolution, 64);
    o = parseOptions({"--resolution", "64", "--size", "10X20"}, 1);
    EXPECT_EQ(o.width, 10);
    EXPECT_EQ(o.height, 20);
}

TEST(Options, HelpAndListAreFlags)
{
    EXPECT_TRUE(parseOptions({"-h"}, 1).help);
    EXPECT_TRUE(parseOptions({"--help"}, 1).help);
    EXPECT_TRUE(parseOptions({"x.obj", "--list"}, 1).list);
    EXPECT_NE(render::usageText().find("--target NAME"), std::string::npos);
}

TEST(Options, BadArgumentsNameTheProblem)
{
    const struct {
        std::vector<std::string> args;
        const char *expected;
    } cases[] = {
        {{"--bogus"}, "unknown option --bogus (try --help)"},
        {{"-x"}, "unknown option -x (try --help)"},
        {{"--target"}, "--target needs a value"},
        {{"--target="}, "--target needs an object name"},
        {{"--axis", "w"}, "--axis wants x, y or z, not \"w\""},
        {{"--view", "xy"}, "--view wants camera, front, back, top, bottom, right or left (or x, y, z), not \"xy\""},
        {{"--in", "--invert"}, "--in and --invert ask for opposite things"},
        {{"--name="}, "--name needs a pattern"},
        {{"--threads", "0"}, "--threads wants a whole number from 1 to 256, not \"0\""},
        {{"--threads", "2.5"}, "--threads wants a whole number from 1 to 256, not \"2.5\""},
        {{"--threads", ""}, "--threads wants a whole number from 1 to 256, not \"\""},
        {{"--threads", "99999999999999999999"}, "--threads wants a whole number from 1 to 256"},
        {{"--frames", "5-2"}, "--frames 5-2 ends before it starts"},
        {{"--frames", "3-"}, "--frames wants a whole number"},
        {{"--frames", "a-b"}, "--frames wants a whole number"},
        {{"--frames", "0-200000"}, "--frames 0-200000 asks for too many frames"},
        {{"--frames", "0-4/0"}, "--frames step wants a whole number from 1 to 1000000, not \"0\""},
        {{"--frames", "0-4/"}, "--frames step wants a whole number"},
        {{"--size", "320"}, "--size wants WIDTHxHEIGHT, not \"320\""},
        {{"--size", "0x10"}, "--size width wants a whole number from 1 to 16384, not \"0\""},
        {{"--size", "10x99999"}, "--size height wants a whole number from 1 to 16384"},
        {{"--resolution", "-4"}, "--resolution wants a whole number from 1 to 16384"},
        {{"--depth", "0"}, "--depth wants a whole number from 1 to 4096"},
        {{"--sheet", "65"}, "--sheet wants a whole number from 0 to 64"},
        {{"--fps", "0"}, "--fps wants a number above 0 and at most 1,000,000, not \"0\""},
        {{"--fps", "1e9"}, "--fps wants a number above 0 and at most 1,000,000, not \"1e9\""},
        {{"--fps", "nan"}, "--fps wants a number above 0 and at most 1,000,000, not \"nan\""},
        {{"--out", ""}, "--out needs a directory"},
        {{"--invert=yes"}, "--invert takes no value"},
        {{"--fill-rule", "odd"}, "--fill-rule wants even-odd, non-zero or tolerant, not \"odd\""},
        {{"--children=1"}, "--children takes no value"},
        {{"a.lws", "b.lws"}, "more than one scene given: a.lws and b.lws"},
    };
    for (const auto &c : cases) {
        const std::string error = errorOf(c.args);
        EXPECT_EQ(error.rfind(c.expected, 0), 0u) << "args " << c.args.front() << ": got \"" << error << "\"";
    }
}
