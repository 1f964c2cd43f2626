// "Fill Rule" and "Include Children" through the shipped module: the panel's two controls, the
// keys they save under (only when they differ from the defaults), hostile values on load, copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/states.h"
#include "support/module_fixture.h"
#include "support/state_support.h"

using settings_test::load;
using settings_test::records;
using settings_test::saved;
using standin::StateForm;
using standin::TextureLayer;

namespace {

constexpr unsigned int fillRuleValue = 0x8003;
constexpr unsigned int childrenValue = 0x8004;

} // namespace

class FillSettings : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        host.scene().addObject("Cube", reinterpret_cast<LWItemID>(712));
    }
    // A layer with its panel open and Cube as its target.
    void open(TextureLayer &layer)
    {
        ASSERT_TRUE(layer.create()) << layer.error();
        ASSERT_NE(layer.openPanel(), nullptr);
        ASSERT_TRUE(layer.pickTarget("Cube"));
    }
    static std::string cubeRecords(std::initializer_list<std::string> extra)
    {
        std::string out = records({"version : 1.100000", "itemID : 712", "itemName : Cube", "flipFlg : 0"});
        for (const std::string &line : extra)
            out += settings_test::record(line);
        return out + settings_test::record("End All");
    }
};

TEST_F(FillSettings, PanelOffersBothControlsAfterTheWrittenTwo)
{
    TextureLayer layer(host, module);
    open(layer);
    const standin::XPanelRecord *p = host.xpanel().panel(layer.panel());
    ASSERT_EQ(p->controls.size(), 5u);   // and the soft edge's, last
    const std::vector<std::pair<std::string, std::string>> controls = {
        {"Target Item", "iPopChoice"}, {"In / Out", "iChoice"}, {"Fill Rule", "iPopChoice"}, {"Include Children", "iBoolean"}};
    for (size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(p->controls[i].id, 0x8001 + i);
        EXPECT_EQ(p->controls[i].label, controls[i].first);
        EXPECT_EQ(p->controls[i].controlClass, controls[i].second);
        EXPECT_TRUE(p->controls[i].known) << controls[i].second;
        EXPECT_EQ(p->data[i].id, 0x8001 + i);
        EXPECT_EQ(p->data[i].controlClass, "integer");
    }
    EXPECT_EQ(host.xpanel().stringList(layer.panel(), fillRuleValue),
              (std::vector<std::string>{"Even-Odd", "Non-Zero", "Tolerant"}));
    EXPECT_EQ(layer.value(fillRuleValue), 0);
    EXPECT_EQ(layer.value(childrenValue), 0);
}

TEST_F(FillSettings, SetClampsAndRefreshesAsInOutDoes)
{
    TextureLayer layer(host, module);
    open(layer);
    struct Case {
        unsigned int id;
        int given, kept;
    };
    const Case cases[] = {{fillRuleValue, 1, 1}, {fillRuleValue, 2, 2},  {fillRuleValue, 3, 2}, {fillRuleValue, -5, 0},
                          {childrenValue, 1, 1}, {childrenValue, 0, 0},  {childrenValue, 9, 1}, {childrenValue, -1, 0}};
    int refreshes = host.xpanel().panel(layer.panel())->refreshes;
    for (const Case &c : cases) {
        EXPECT_EQ(layer.setValue(c.id, c.given), 1);
        EXPECT_EQ(layer.value(c.id), c.kept) << c.id << " set to " << c.given;
        EXPECT_EQ(host.xpanel().panel(layer.panel())->refreshes, ++refreshes);
    }
    EXPECT_EQ(layer.setValue(0x8009, 1), 0) << "an unknown value ID is still refused";
    EXPECT_EQ(layer.value(0x8009), -1);
}

TEST_F(FillSettings, KeysFollowFlipFlgOnlyWhenTheyDifferFromTheDefaults)
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

TEST_F(FillSettings, SettingsRoundTripInBothFormsAndCopy)
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

TEST_F(FillSettings, HostileValuesLoadClampedAndMissingKeysChangeNothing)
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
