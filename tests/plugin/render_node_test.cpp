// A render farm node: the host without an interface. No interface server is activated and the
// panel and message services are absent; the layer's settings come from the scene file alone.
#include <vector>

#include "host/shapes.h"
#include "host/states.h"
#include "support/module_fixture.h"

using standin::TextureLayer;

namespace {

// A hub with a spoke below it, and a block that is neither.
void buildScene(standin::Scene &scene)
{
    standin::SceneObject &hub = scene.addObject("Hub");
    standin::appendBox(hub, {-1, -1, -1}, {1, 1, 1});
    standin::SceneObject &spoke = scene.addObject("Spoke");
    standin::appendBox(spoke, {0.5f, -0.25f, -0.25f}, {3, 0.25f, 0.25f});
    spoke.parent = hub.id;
    standin::appendBox(scene.addObject("Block"), {-3, -3, -3}, {-2, -2, -2});
}

std::vector<double> render(TextureLayer &layer)
{
    std::vector<double> values;
    EXPECT_EQ(layer.init(LWINIT_RENDER), nullptr);
    EXPECT_EQ(layer.newTime(0, 0.0), nullptr);
    for (int i = -14; i <= 14; ++i)
        for (int axis = 0; axis < 3; ++axis)
            values.push_back(layer.evaluate(i * 0.25, i * 0.0625, 0.125, axis));
    layer.cleanup();
    return values;
}

} // namespace

TEST_F(ModuleTest, ARenderNodeRendersTheSavedLayerAsTheWorkstationDoes)
{
    buildScene(host.scene());
    standin::SaveState saved(standin::StateForm::Text);
    std::vector<double> workstation;
    {
        TextureLayer layer(host, module);
        ASSERT_TRUE(layer.create()) << layer.error();
        ASSERT_NE(layer.openPanel(), nullptr);
        ASSERT_TRUE(layer.pickTarget("Hub"));
        ASSERT_TRUE(layer.setInvert(true));
        ASSERT_NE(layer.setValue(0x8003, 1), 0) << "Fill Rule: Non-Zero";
        ASSERT_NE(layer.setValue(0x8004, 1), 0) << "Include Children";
        const standin::XPanelRecord *panel = host.xpanel().panel(layer.panel());
        double width = 0.375;
        ASSERT_NE(panel->set(panel->viewInstance, 0x8005, &width), 0) << "Soft Edge";
        ASSERT_EQ(layer.save(saved.state()), nullptr);
        workstation = render(layer);
    }

    host.becomeRenderNode();
    host.xpanel().calls.clear();
    host.clearLookups();
    TextureLayer node(host, module);
    ASSERT_TRUE(node.create()) << node.error();
    standin::LoadState load(standin::StateForm::Text, saved.bytes());
    ASSERT_EQ(node.load(load.state()), nullptr);
    EXPECT_EQ(render(node), workstation);

    EXPECT_TRUE(node.interfaceOffers().empty());
    EXPECT_TRUE(host.xpanel().calls.empty()) << "the panel service is absent";
    EXPECT_EQ(host.lookupCount("LWXPanel"), 0u);
    // Not a vacuous match: the saved layer inverts, fades and takes the spoke in.
    int fractional = 0, zeros = 0;
    for (double v : workstation) {
        fractional += v > 0.0 && v < 1.0;
        zeros += v == 0.0;
    }
    EXPECT_GT(fractional, 0);
    EXPECT_GT(zeros, 0);
    EXPECT_EQ(node.descln(), "Ostrevin : Hub");
}
