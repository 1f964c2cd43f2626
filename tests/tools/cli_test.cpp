// The whole command: each bad input gives exactly one "ostrevin-render: ..." line and a non-zero
// status, in process and as a real process; with no scene it renders the built-in example.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "tests/tools/tool_support.h"
#include "host/module_loader.h"
#include "tools/ostrevin-render/cli.h"

using tooltest::TempDir;

namespace {

using Outcome = tooltest::CommandOutcome;
using tooltest::runInProcess;

// Runs the program itself from `cwd`, its output captured in files there.
Outcome spawn(const std::string &cwd, const std::string &args)
{
    const std::string command = "cd '" + cwd + "' && '" OSTREVIN_RENDER_EXE "' " + args + " >stdout.txt 2>stderr.txt";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return {status, tooltest::readFile(cwd + "/stdout.txt"), tooltest::readFile(cwd + "/stderr.txt")};
}

bool oneErrorLine(const std::string &err, const std::string &message)
{
    return err == "ostrevin-render: " + message + "\n";
}

} // namespace

TEST(Command, EachBadInputGivesOneLineAndAFailureStatus)
{
    TempDir dir;
    tooltest::writeFile(dir / "noise.qqq", "\x01\x02 not a model");
    // Settings files that are not: empty, cut short before the Out setting, another kind of file.
    const std::string settings = "13\nversion : 1.100000\nF\nitemID : 65537\nF\nitemName : Ell\nC\nflipFlg : 1\n8\nEnd All\n";
    tooltest::writeFile(dir / "empty.txt", "");
    tooltest::writeFile(dir / "cut.txt", settings.substr(0, settings.find("C\nflipFlg")));
    tooltest::writeFile(dir / "picture.txt", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR");
    tooltest::writeFile(dir / "wire.obj", "o Wire\nv 0 0 0\nv 1 0 0\nl 1 2\n");
    const std::string small = "--resolution=8";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string messageStart;
    } cases[] = {
        {{"--bogus"}, render::exitUsage, "unknown option --bogus"},
        {{"--threads", "lots"}, render::exitUsage, "--threads wants a whole number"},
        {{dir / "missing.lws"}, render::exitFailure, "cannot read " + dir / "missing.lws" + ": no such file"},
        {{dir.str()}, render::exitFailure, "cannot read " + dir.str() + ": it is a directory"},
        {{dir / "noise.qqq"}, render::exitFailure, "cannot import " + dir / "noise.qqq" + ": "},
        {{dir / "wire.obj"}, render::exitFailure, ""},
        {{"--target", "Nobody", small, "--out", dir / "o"}, render::exitFailure,
         "no object named \"Nobody\" in examples/ostrevin-demo.lws (built in) (objects: Star, Ell, Wall)"},
        {{"--module", dir / "none.p", small, "--out", dir / "o"}, render::exitFailure, "cannot load " + dir / "none.p"},
        {{"--load-settings", dir / "none.txt", small, "--out", dir / "o"}, render::exitFailure,
         "cannot read settings from " + dir / "none.txt"},
        {{"--load-settings", dir / "empty.txt", small, "--out", dir / "o"}, render::exitFailure,
         dir / "empty.txt" + " is empty, not a settings file"},
        {{"--load-settings", dir / "cut.txt", small, "--out", dir / "o"}, render::exitFailure,
         dir / "cut.txt" + " is cut short: it ends before \"End All\""},
        {{"--load-settings", dir / "picture.txt", small, "--out", dir / "o"}, render::exitFailure,
         dir / "picture.txt" + " is not a settings file: line 1 should give a record's length"},
        {{"--load-settings", dir.str(), small, "--out", dir / "o"}, render::exitFailure,
         "cannot read settings from " + dir.str() + ": it is a directory"},
        {{"--view", "front", "--resolution", "16384", "--out", dir / "o"}, render::exitFailure, "images of 16384x"},
        {{"--size", "16384x16384", "--out", dir / "o"}, render::exitFailure, "images of 16384x16384 pixels"},
    };
    for (const auto &c : cases) {
        const Outcome r = runInProcess(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.front();
        EXPECT_EQ(r.err.rfind("ostrevin-render: " + c.messageStart, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "") << c.args.front();
    }
    // A file with no polygons is refused whether Assimp reads it or not.
    const Outcome wire = runInProcess({dir / "wire.obj"});
    EXPECT_TRUE(oneErrorLine(wire.err, dir / "wire.obj" + " has no polygons") ||
                wire.err.rfind("ostrevin-render: cannot import ", 0) == 0)
        << wire.err;
}

TEST(Command, HelpAndListAnswerWithoutRendering)
{
    const Outcome help = runInProcess({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: ostrevin-render", 0), 0u);
    const Outcome version = runInProcess({"--version"});
    EXPECT_EQ(version.out, render::versionText());
    // Points are positions, not polygon corners (the star has 20, in 60 corners); each says
    // whether it closes; one object is one.
    const Outcome list = runInProcess({"--list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("Star                         20 points     12 polygons  closed\n"), std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("Ell"), std::string::npos);
    const Outcome one = runInProcess({"--list", "--", std::string(OSTREVIN_SOURCE_DIR "/examples/ell.lwo")});
    EXPECT_NE(one.out.find(": 1 object\n"), std::string::npos) << one.out;
    EXPECT_NE(list.out.find("animated: frames 0-5 at 30 fps"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("closed\n      file examples/star.lwo\n"), std::string::npos) << list.out;
    // Each object's file as found, and the object it hangs under; a repeated one numbered as the host does.
    const Outcome fill = runInProcess({"--list", OSTREVIN_SOURCE_DIR "/examples/ostrevin-fill.lws"});
    EXPECT_NE(fill.out.find("  Spoke (2)   "), std::string::npos) << fill.out;
    EXPECT_NE(fill.out.find("      file " OSTREVIN_SOURCE_DIR "/examples/spoke.lwo, parent \"Hub\"\n"),
              std::string::npos)
        << fill.out;
}

TEST(Command, RendersAndSummarisesWithProgressLinesOffATerminal)
{
    TempDir dir;
    const Outcome r = runInProcess({"--view", "front", "--resolution", "12", "--depth", "2", "--sheet", "2", "--frames", "1-2",
                                    "--threads", "2", "--out", dir / "o"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("target \"Star\" (In)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("points per second"), std::string::npos);
    EXPECT_NE(r.out.find("cache builds       2 (meshInfo calls)"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("] wrote " + dir / "o/slice_0001.png\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("[100%] wrote " + dir / "o/volume_0002.png\n"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "o/sheet_0001.png"));
}

TEST(Process, BadInputsExitNonZeroWithOneLine)
{
    TempDir dir;
    Outcome r = spawn(dir.str(), "--frames 9-1");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(oneErrorLine(r.err, "--frames 9-1 ends before it starts")) << r.err;
    r = spawn(dir.str(), "nothing-here.lwo");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(oneErrorLine(r.err, "cannot read nothing-here.lwo: no such file")) << r.err;
    r = spawn(dir.str(), "--target Square --resolution 8");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("ostrevin-render: no object named \"Square\"", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(Process, ABareModuleNameIsFoundInTheCurrentDirectory)
{
    TempDir dir;
    std::filesystem::copy_file(standin::defaultModulePath(), dir / "Ostrevin.p");
    const Outcome r = spawn(dir.str(), "--module Ostrevin.p --resolution 8 --depth 1 --sheet 0 --threads 1 --frames 0");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 thread\n"), std::string::npos) << r.out;
}

TEST(Process, WithoutASceneItRendersTheExampleIntoOut)
{
    TempDir dir;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(NDEBUG)
    // Instrumented builds are too slow for the full-size example: the same path, smaller.
    const Outcome r = spawn(dir.str(), "--size 160x90");
#else
    const Outcome r = spawn(dir.str(), "");
#endif
    ASSERT_EQ(r.status, 0) << r.err;
    // Through the example's camera, frame by frame, and the animation of them.
    for (const char *name : {"camera_0000.png", "camera_0005.png"})
        EXPECT_GT(tooltest::readPng(dir / "out/" + name).width, 0) << name;
    EXPECT_TRUE(std::filesystem::exists(dir / "out/camera.gif"));
    EXPECT_NE(r.out.find("examples/ostrevin-demo.lws (built in), target \"Star\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cache builds       6 (meshInfo calls)"), std::string::npos) << r.out;
}

TEST(Process, TheExampleFilesAreWhatTheirGeneratorWrites)
{
    TempDir dir;
    const std::string command = "'" OSTREVIN_MAKE_EXAMPLE_EXE "' '" + dir.str() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const char *name : {"star.lwo", "ell.lwo", "ostrevin-demo.lws", "cross.lwo", "ostrevin-parts.lws"})
        EXPECT_EQ(tooltest::readFile(dir / name), tooltest::readFile(std::string(OSTREVIN_SOURCE_DIR "/examples/") + name))
            << name << " differs: run ostrevin-make-example examples";
}
