// --render-node: the host of a render farm node, without an interface, renders the layer a
// workstation saved with the scene exactly as the workstation does.
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/tool_support.h"
#include "tools/ostrevin-render/errors.h"

using namespace render;
using tooltest::TempDir;

TEST(RenderNode, RendersTheWorkstationsSavedLayerToTheSameValues)
{
    const ImportedScene scene = importScene(std::string(OSTREVIN_SOURCE_DIR) + "/examples/ostrevin-fill.lws");
    TempDir dir;
    Options workstation = tooltest::smallOptions(dir.str(), 40);
    workstation.target = "Hub";
    workstation.invert = true;
    workstation.fillRule = 1;
    workstation.children = true;
    workstation.softEdge = 0.05;
    workstation.saveSettings = dir / "layer.txt";
    const RenderStats expected = tooltest::render(workstation, scene);

    Options node = tooltest::smallOptions(dir.str(), 40);
    node.renderNode = true;
    node.loadSettings = dir / "layer.txt";
    const RenderStats actual = tooltest::render(node, scene);
    EXPECT_EQ(actual.target, "Hub");
    EXPECT_TRUE(actual.inverted);
    EXPECT_EQ(actual.builds, expected.builds) << "the children's caches too";
    ASSERT_EQ(actual.frames.size(), expected.frames.size());
    for (std::size_t f = 0; f < expected.frames.size(); ++f) {
        EXPECT_EQ(actual.frames[f].slice.values, expected.frames[f].slice.values) << "frame " << f;
        EXPECT_EQ(actual.frames[f].volume.values, expected.frames[f].volume.values) << "frame " << f;
    }

    // A node has no panel: the layer is the saved one or nothing.
    node.loadSettings.clear();
    EXPECT_THROW(tooltest::render(node, scene), UsageError);
    node.loadSettings = dir / "layer.txt";
    node.target = "Cup";
    EXPECT_THROW(tooltest::render(node, scene), UsageError);
}
