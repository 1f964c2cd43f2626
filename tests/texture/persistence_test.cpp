// The texture's save, load, copy, description and item tracking.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "host/states.h"
#include "support/module_fixture.h"
#include "support/state_support.h"
#include "texture_support.h"
#include "texture/instance/ostrevin_instance.h"
#include "support/published_names.h"

using ostrevin::OstrevinInstance;
using settings_test::load;
using settings_test::records;
using settings_test::saved;
using standin::LoadState;
using standin::SaveState;
using standin::StandInHost;
using standin::StateForm;
using standin::TextureLayer;

namespace {

LWItemID id(std::intptr_t n) { return reinterpret_cast<LWItemID>(n); }

const std::string cubeRecords = records({"version : 1.100000", "itemID : 712", "itemName : Cube", "flipFlg : 0", "End All"});

} // namespace

class Persistence : public ::testing::Test {
protected:
    std::unique_ptr<OstrevinInstance> make()
    {
        return std::make_unique<OstrevinInstance>(StandInHost::globalFunc(), nullptr, modulePublishedNames());
    }

    StandInHost host;
};

TEST_F(Persistence, WorkedCubeSaveIsByteExactInBothForms)
{
    host.scene().addObject("Cube", id(712));
    auto inst = make();
    inst->itemID = id(712);
    EXPECT_EQ(saved(*inst), cubeRecords);
    EXPECT_STREQ(inst->itemName, "Cube");
    // A scene file gets the same framing: each count as a hexadecimal line, then the text.
    EXPECT_EQ(saved(*inst, StateForm::Text),
              "13\nversion : 1.100000\nD\nitemID : 712\n10\nitemName : Cube\nC\nflipFlg : 0\n8\nEnd All\n");
}

TEST_F(Persistence, SaveNamesTheTargetFromTheSceneOutsideModeler)
{
    host.scene().addObject("ghost", id(9)).nameIsNull = true;
    auto inst = make();
    std::strcpy(inst->itemName, "stale");
    EXPECT_NE(saved(*inst).find("itemName : (none)"), std::string::npos) << "no target";
    inst->itemID = id(9);
    EXPECT_NE(saved(*inst).find("itemName : (none)"), std::string::npos) << "no name from the host";
    host.scene().addObject(std::string(300, 'L'), id(10));
    inst->itemID = id(10);
    saved(*inst);
    EXPECT_EQ(std::strlen(inst->itemName), 255u);
    EXPECT_EQ(std::string(inst->descln()), "Ostrevin : " + std::string(244, 'L'));
}

TEST_F(Persistence, ModelerWritesTheLoadedNameBack)
{
    host.systemID = StandInHost::modelerSystemID;
    auto inst = make();
    load(*inst, cubeRecords);
    EXPECT_EQ(saved(*inst), cubeRecords);
}

TEST_F(Persistence, LoadTakesOnlyItsOwnKeys)
{
    auto inst = make();
    EXPECT_STREQ(inst->descln(), "Ostrevin : ");
    load(*inst, records({"itemname : Cube", "version : 2.000000", "itemID : -5", "flipFlg : yes"}));
    EXPECT_STREQ(inst->itemName, "");
    EXPECT_EQ(inst->itemID, id(-5));
    EXPECT_EQ(inst->flipFlg, 0);

    inst->flipFlg = 3;
    load(*inst, records({"itemID : 1", "itemID : 2", "itemName : A:B", "End All", "itemName : C", "flipFlg : 1"}));
    EXPECT_EQ(inst->itemID, id(2));
    EXPECT_STREQ(inst->itemName, "A:B");
    EXPECT_EQ(inst->flipFlg, 3) << "lines after the end line are not read";

    load(*inst, records({"flipFlg : 1"}));
    EXPECT_EQ(inst->flipFlg, 1) << "data without the end line is read to its end";
    EXPECT_EQ(inst->load(nullptr), nullptr);
}

TEST_F(Persistence, SaveThenLoadRestoresTheSameSettingsInBothForms)
{
    host.scene().addObject("Cube");
    host.scene().addObject("Torus knot: big");
    for (StateForm form : {StateForm::Binary, StateForm::Text}) {
        auto a = make();
        a->itemID = host.scene().findByName("Torus knot: big")->id;
        a->flipFlg = 1;
        const std::string first = saved(*a, form);
        auto b = make();
        load(*b, first, form);
        EXPECT_EQ(b->itemID, a->itemID);
        EXPECT_EQ(b->flipFlg, 1);
        EXPECT_STREQ(b->descln(), a->descln());
        EXPECT_EQ(saved(*b, form), first);
    }
}

TEST_F(Persistence, EveryTruncationOfASavedStateLoadsSafely)
{
    host.scene().addObject(std::string(255, 'T'), id(712));
    auto source = make();
    source->itemID = id(712);
    source->flipFlg = 1;
    for (StateForm form : {StateForm::Binary, StateForm::Text}) {
        const std::string whole = saved(*source, form);
        for (std::size_t n = 0; n <= whole.size(); ++n) {
            auto inst = make();
            load(*inst, whole.substr(0, n), form);
            EXPECT_LT(std::strlen(inst->itemName), 256u);
            if (n == whole.size()) {
                EXPECT_EQ(inst->itemID, id(712));
                EXPECT_EQ(inst->flipFlg, 1);
            }
        }
    }
}

TEST_F(Persistence, ChangeIdTakesTheFirstMatchingPair)
{
    auto inst = make();
    inst->itemID = id(0xA);
    const LWItemID chain[] = {id(0xA), id(0xB), id(0xB), id(0xC), nullptr, nullptr};
    inst->changeID(chain);
    EXPECT_EQ(inst->itemID, id(0xB));

    const LWItemID empty[] = {nullptr, id(0xD)};
    inst->changeID(empty);
    inst->changeID(nullptr);
    EXPECT_EQ(inst->itemID, id(0xB));

    const LWItemID removed[] = {id(0x7), id(0x8), id(0xB), nullptr, nullptr, nullptr};
    std::strcpy(inst->itemName, "Kept");
    inst->changeID(removed);
    EXPECT_EQ(inst->itemID, nullptr);
    EXPECT_STREQ(inst->itemName, "Kept");
    EXPECT_EQ(inst->useItems(), nullptr);
}

TEST_F(Persistence, CopyTakesTheFourSettingsFromItsOwnKindOnly)
{
    auto source = make();
    source->itemID = id(712);
    std::strcpy(source->itemName, "Cube");
    source->popupIndex = 3;
    source->flipFlg = 1;
    source->renderMode = LWINIT_RENDER;
    auto dest = make();
    EXPECT_EQ(dest->copy(source.get()), nullptr);
    EXPECT_EQ(dest->itemID, id(712));
    EXPECT_EQ(dest->popupIndex, 3);
    EXPECT_EQ(dest->flipFlg, 1);
    EXPECT_EQ(dest->renderMode, -1);
    EXPECT_STREQ(dest->descln(), source->descln());
    EXPECT_EQ(dest->copy(dest.get()), nullptr);
    EXPECT_STREQ(dest->itemName, "Cube");

    ostrevin::TextureInstance other(StandInHost::globalFunc(), nullptr);
    auto fresh = make();
    EXPECT_EQ(fresh->copy(&other), nullptr);
    EXPECT_EQ(fresh->copy(nullptr), nullptr);
    EXPECT_EQ(fresh->itemID, nullptr);
    EXPECT_EQ(fresh->popupIndex, -1);
}

// The shipped module, as the host drives it: pick a target, flip, save, load into a new layer.
TEST_F(ModuleTest, LayerSettingsSurviveSceneAndObjectFiles)
{
    host.scene().addObject("Cube");
    host.scene().addObject("Ball");
    standin::TextureLayer a(host, module);
    ASSERT_TRUE(a.create()) << a.error();
    ASSERT_NE(a.openPanel(), nullptr);
    ASSERT_TRUE(a.pickTarget("Ball"));
    ASSERT_TRUE(a.setInvert(true));

    for (StateForm form : {StateForm::Text, StateForm::Binary}) {
        const std::string path = testing::TempDir() + (form == StateForm::Text ? "layer.lws" : "layer.lwo");
        std::string first;
        {
            SaveState save(form, path);
            EXPECT_EQ(a.save(save.state()), nullptr);
            first = save.bytes();
        }
        EXPECT_EQ(a.descln(), "Ostrevin : Ball");
        auto state = LoadState::fromFile(form, path);
        ASSERT_TRUE(state);
        standin::TextureLayer b(host, module);
        ASSERT_TRUE(b.create()) << b.error();
        EXPECT_EQ(b.load(state->state()), nullptr);
        EXPECT_EQ(b.descln(), "Ostrevin : Ball");
        ASSERT_NE(b.openPanel(), nullptr);
        EXPECT_EQ(host.xpanel().getInt(b.panel(), ostrevin::targetItemControl), 2);
        EXPECT_EQ(host.xpanel().getInt(b.panel(), ostrevin::inOutControl), 1);
        SaveState again(form);
        b.save(again.state());
        EXPECT_EQ(again.bytes(), first);
        std::remove(path.c_str());
    }
}

TEST_F(Persistence, SoftEdgeIsSavedLastOnlyWhenOnReadBackClampedAndCopied)
{
    host.scene().addObject("Cube", id(712));
    auto inst = make();
    inst->itemID = id(712);
    inst->softEdge = 0.05;
    EXPECT_EQ(saved(*inst), records({"version : 1.100000", "itemID : 712", "itemName : Cube", "flipFlg : 0",
                                      "softEdge : 0.05", "End All"}));
    for (const double width : {0.05, 1.0 / 3.0, 1e-300, 12345.678})
        for (StateForm form : {StateForm::Binary, StateForm::Text}) {
            inst->softEdge = width;
            auto back = make();
            load(*back, saved(*inst, form), form);
            EXPECT_EQ(back->softEdge, width);
        }

    const struct {
        const char *line;
        double held;
    } loads[] = {{"softEdge : 0.5", 0.5}, {"softEdge : -2", 0.0}, {"softEdge : nan", 0.0},
                 {"softEdge : 1e999", DBL_MAX}, {"softEdge : wide", 0.0}, {"softedge : 3", 0.25}};
    for (const auto &c : loads) {
        auto back = make();
        back->softEdge = 0.25;
        load(*back, records({c.line}));
        EXPECT_EQ(back->softEdge, c.held) << c.line;
    }

    auto copy = make();
    inst->softEdge = 0.125;
    EXPECT_EQ(copy->copy(inst.get()), nullptr);
    EXPECT_EQ(copy->softEdge, 0.125);
}

// "Fill Rule" and "Include Children": their keys, written only when they differ from the
// defaults, both forms, copy and hostile values.
TEST_F(FillControls, KeysFollowFlipFlgOnlyWhenTheyDifferFromTheDefaults)
{
    TextureLayer layer(host, module);
    open(layer);
    EXPECT_EQ(saved(layer), cubeRecords({})) << "default settings save today's bytes";
    layer.setValue(fillRuleValue, 2);
    EXPECT_EQ(saved(layer), cubeRecords({"fillRule : 2"}));
    layer.setValue(childrenValue, 1);
    EXPECT_EQ(saved(layer), cubeRecords({"fillRule : 2", "children : 1"}));
    layer.setValue(fillRuleValue, 0);
    EXPECT_EQ(saved(layer), cubeRecords({"children : 1"}));
}

TEST_F(FillControls, SettingsRoundTripInBothFormsAndCopy)
{
    TextureLayer a(host, module);
    open(a);
    a.setValue(fillRuleValue, 1);
    a.setValue(childrenValue, 1);
    for (StateForm form : {StateForm::Binary, StateForm::Text}) {
        const std::string first = saved(a, form);
        TextureLayer b(host, module);
        ASSERT_TRUE(b.create()) << b.error();
        load(b, first, form);
        ASSERT_NE(b.openPanel(), nullptr);
        EXPECT_EQ(b.value(fillRuleValue), 1);
        EXPECT_EQ(b.value(childrenValue), 1);
        EXPECT_EQ(saved(b, form), first);
    }
    TextureLayer c(host, module);
    open(c);
    ASSERT_EQ(c.copyFrom(a), nullptr);
    EXPECT_EQ(c.value(fillRuleValue), 1);
    EXPECT_EQ(c.value(childrenValue), 1);
}

TEST_F(FillControls, HostileValuesLoadClampedAndMissingKeysChangeNothing)
{
    struct Case {
        const char *line;
        int rule, children;
    };
    const Case cases[] = {
        {"fillRule : 7", 2, 0},           {"fillRule : -1", 0, 0},          {"fillRule : Tolerant", 0, 0},
        {"fillRule : 99999999999", 2, 0}, {"children : 5", 0, 1},           {"children : -2147483648", 0, 0},
        {"fillrule : 1", 0, 0},           {"version : 1.100000", 0, 0},
    };
    for (const Case &c : cases) {
        TextureLayer layer(host, module);
        open(layer);
        load(layer, records({c.line, "End All"}));
        EXPECT_EQ(layer.value(fillRuleValue), c.rule) << c.line;
        EXPECT_EQ(layer.value(childrenValue), c.children) << c.line;
    }
    TextureLayer kept(host, module);
    open(kept);
    kept.setValue(fillRuleValue, 1);
    load(kept, records({"itemID : 712", "End All"}));
    EXPECT_EQ(kept.value(fillRuleValue), 1) << "a file without the key leaves the rule as it was";
}
