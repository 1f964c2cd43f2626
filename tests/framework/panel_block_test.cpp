// The base class's "Panel" block through both stand-in state forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "framework/texture_instance.h"
#include "host/standin_host.h"
#include "host/states.h"
#include "support/state_support.h"

using ostrevin::TextureInstance;
using standin::LoadState;
using standin::SaveState;
using standin::StandInHost;
using standin::StateForm;

namespace {

struct PanelHooks : TextureInstance {
    PanelHooks() : TextureInstance(StandInHost::globalFunc(), nullptr) {}
    bool queryPanel(int *x, int *y) noexcept override
    {
        if (open) {
            *x = px;
            *y = py;
        }
        return open;
    }
    void restorePanel(int x, int y) noexcept override { restored.emplace_back(x, y); }

    bool open = false;
    int px = 0, py = 0;
    std::vector<std::pair<int, int>> restored;
};

using Restores = std::vector<std::pair<int, int>>;

Restores loadText(const std::string &text)
{
    PanelHooks hooks;
    LoadState load(StateForm::Text, text);
    EXPECT_EQ(hooks.load(load.state()), nullptr);
    return hooks.restored;
}

} // namespace

class PanelBlock : public ::testing::Test {
protected:
    StandInHost host;
};

TEST_F(PanelBlock, ClosedPanelSavesOnlyTheEndLine)
{
    PanelHooks hooks;
    SaveState save(StateForm::Binary);
    EXPECT_EQ(hooks.save(save.state()), nullptr);
    EXPECT_EQ(save.bytes(), settings_test::record("End All"));

    // The base hooks: nothing written, and a load of a full block changes nothing.
    TextureInstance base(StandInHost::globalFunc(), nullptr);
    SaveState text(StateForm::Text);
    base.save(text.state());
    EXPECT_EQ(text.bytes(), "End All\n");
    LoadState load(StateForm::Text, settings_test::textLines(settings_test::panelExample()));
    EXPECT_EQ(base.load(load.state()), nullptr);
}

TEST_F(PanelBlock, OpenPanelRoundTripsThroughFilesInBothForms)
{
    for (StateForm form : {StateForm::Binary, StateForm::Text}) {
        const std::string path = testing::TempDir() + (form == StateForm::Binary ? "panel.lwo" : "panel.lws");
        PanelHooks saved;
        saved.open = true;
        saved.px = 120;
        saved.py = -40;
        {
            SaveState save(form, path);
            ASSERT_TRUE(save.fileOpen());
            saved.save(save.state());
            const std::string expected = form == StateForm::Binary
                                             ? settings_test::records(settings_test::panelExample())
                                             : settings_test::textLines(settings_test::panelExample());
            EXPECT_EQ(save.bytes(), expected);
        }
        auto load = LoadState::fromFile(form, path);
        ASSERT_TRUE(load);
        PanelHooks restored;
        restored.load(load->state());
        EXPECT_EQ(restored.restored, (Restores{{120, -40}}));
        std::remove(path.c_str());
    }
}

TEST_F(PanelBlock, TextDataWithoutTheEndLineEndsAtTheEndOfTheData)
{
    // An unclosed block, an empty line inside it, and no "End All": the load still finishes.
    EXPECT_EQ(loadText("{ Panel\n  open : 1\n\n  x : 5\n"), (Restores{{5, 0}}));
    EXPECT_EQ(loadText(""), Restores{});
}

TEST_F(PanelBlock, ReadsOnlyWhatTheBlockSays)
{
    EXPECT_EQ(loadText("{ Panel\nopen : 0\nx : 3\n}\n"), Restores{});
    EXPECT_EQ(loadText("{ Panel\nopen : -1\n}\n"), (Restores{{0, 0}})) << "only 0 counts as closed";
    EXPECT_EQ(loadText("open : 1\nx : 4\nPanel : 1\nopen : 1\n"), Restores{}) << "entries outside a block";
    EXPECT_EQ(loadText("{ Panel\nopen : 1\nx : 1\n}\n{ Panel\nx : 2\ny : 3\n}\nEnd All\n"), (Restores{{2, 3}}));
    EXPECT_EQ(loadText("{ Panel\nopen : 1\n{ Inner\n}\nx : 9\n}\n"), (Restores{{0, 0}}))
        << "a nested block's close ends the Panel scan";
    EXPECT_EQ(loadText("{ Panel\nopen : 1\n# x : 5\n} y : 6\ny : 7\n}\n"), (Restores{{5, 7}}))
        << "keys are matched whatever the kind, before the close";
    EXPECT_EQ(loadText("{ Panel\nopen : 1\nx : 12px\ny : abc\n}\n"), (Restores{{12, 0}}));
}
