// Every LightWave object and scene of Debian's assimp-testmodels renders at a small size. A file
// that cannot be rendered must fail with the tool's own error, never a crash; today every one of
// them renders (LWOB objects through the tool's own reader, since Assimp turns them all down).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/tools/tool_support.h"
#include "tools/ostrevin-render/errors.h"

namespace fs = std::filesystem;
using tooltest::TempDir;

namespace {

std::vector<std::string> lightWaveFiles()
{
    std::vector<std::string> files;
    for (const char *folder : {"LWO", "LWS"}) {
        const fs::path root = fs::path(OSTREVIN_ASSIMP_MODELS) / folder;
        std::error_code ec;
        if (!fs::is_directory(root, ec))
            continue;
        for (const auto &entry : fs::recursive_directory_iterator(root, ec)) {
            if (!entry.is_regular_file())
                continue;
            std::string ext = entry.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            // Files named formatDetection are LightWave objects without an extension.
            if (ext == ".lwo" || ext == ".lws" || ext == ".lxo" || entry.path().filename() == "formatDetection")
                files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(TestModels, EveryLightWaveFileRendersAtASmallSize)
{
    const std::vector<std::string> files = lightWaveFiles();
    if (files.empty())
        GTEST_SKIP() << "assimp-testmodels is not installed under " << OSTREVIN_ASSIMP_MODELS;
    EXPECT_GE(files.size(), 50u);
    TempDir dir;
    int rendered = 0;
    for (const std::string &file : files) {
        SCOPED_TRACE(file);
        try {
            const render::ImportedScene scene = render::importScene(file);
            render::Options o = tooltest::smallOptions(dir.str(), 12);
            o.depthSamples = 2;
            o.sheetSlices = 2;
            // Two frames: the animation's ends when there is one.
            o.framesGiven = true;
            o.firstFrame = scene.firstFrame;
            o.lastFrame = scene.lastFrame;
            const render::RenderStats stats = tooltest::render(o, scene);
            EXPECT_EQ(stats.files.size(), 2 * stats.frames.size() + 1);
            EXPECT_EQ(stats.builds, static_cast<long>(stats.frames.size()));
            ++rendered;
        } catch (const render::RenderError &e) {
            ADD_FAILURE() << "refused: " << e.what();
        }
    }
    EXPECT_EQ(rendered, static_cast<int>(files.size()));
}
