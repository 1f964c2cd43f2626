// The texture's panel, driven through the stand-in XPanel as the host drives it.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/standin_host.h"
#include "host/states.h"
#include "plugin/entries.h"
#include "texture/instance/ostrevin_instance.h"
#include "support/published_names.h"
#include "texture_support.h"

using ostrevin::inOutControl;
using ostrevin::OstrevinInstance;
using ostrevin::targetItemControl;
using standin::StandInHost;
using Entries = std::vector<std::string>;

class SettingsPanel : public ::testing::Test {
protected:
    OstrevinInstance &make()
    {
        instance = std::make_unique<OstrevinInstance>(StandInHost::globalFunc(), nullptr, modulePublishedNames());
        host.clearLookups();
        panel = instance->createPanel(StandInHost::globalFunc(), panelGetEntry, panelSetEntry);
        return *instance;
    }
    void addObjects()
    {
        host.scene().addObject("Cube");
        host.scene().addObject("Ball");
        host.scene().addObject("Cone");
    }
    LWItemID idOf(const std::string &name) { return host.scene().findByName(name)->id; }
    Entries popup() { return host.xpanel().popupEntries(panel, targetItemControl); }
    int get(unsigned int vid) { return host.xpanel().getInt(panel, vid); }
    int set(unsigned int vid, int v) { return host.xpanel().setInt(panel, vid, v); }

    StandInHost host;
    std::unique_ptr<OstrevinInstance> instance;
    LWXPanelID panel = nullptr;
};

TEST_F(SettingsPanel, DescribesControlsDataAndHintsToTheHost)
{
    OstrevinInstance &inst = make();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(inst.panelID, panel);
    EXPECT_EQ(ostrevin::xpanelFuncs, host.xpanel().table());
    std::vector<int> positions;
    for (const auto &c : host.xpanel().calls)
        positions.push_back(c.position);
    EXPECT_EQ(positions, (std::vector<int>{2, 4, 5, 10, 7}));

    const standin::XPanelRecord *p = host.xpanel().panel(panel);
    EXPECT_EQ(p->type, LWXP_VIEW);
    ASSERT_EQ(p->controls.size(), 5u);   // the fill settings' two: fill_settings_test.cpp
    EXPECT_EQ(p->controls[0].label, "Target Item");
    EXPECT_EQ(p->controls[0].controlClass, "iPopChoice");
    EXPECT_EQ(p->controls[1].label, "In / Out");
    EXPECT_EQ(p->controls[1].controlClass, "iChoice");
    EXPECT_EQ(p->controls[4].id, ostrevin::softEdgeControl);
    EXPECT_EQ(p->controls[4].label, "Soft Edge");
    EXPECT_EQ(p->controls[4].controlClass, "distance");
    ASSERT_EQ(p->data.size(), 5u);
    EXPECT_EQ(p->data[1].label, "Boolean Mode");
    EXPECT_EQ(p->data[1].controlClass, "integer");
    EXPECT_EQ(p->data[4].id, ostrevin::softEdgeControl);
    EXPECT_EQ(p->data[4].controlClass, "distance");
    ASSERT_EQ(p->hints.size(), 4u);
    EXPECT_EQ(p->hints[0].tag, XPTAG_LABEL);
    EXPECT_STREQ(static_cast<const char *>(p->hints[0].args[0]), "Ostrevin");
    EXPECT_EQ(host.xpanel().stringList(panel, inOutControl), (Entries{"In", "Out"}));
    EXPECT_EQ(p->viewInstance, static_cast<ostrevin::TextureInstance *>(&inst));
    EXPECT_EQ(p->userData.at(targetItemControl), p->viewInstance);
}

TEST_F(SettingsPanel, PopupListsTheSceneAndPickingSetsTheTarget)
{
    addObjects();
    OstrevinInstance &inst = make();
    EXPECT_EQ(popup(), (Entries{"(none)", "Cube", "Ball", "Cone"}));
    auto *self = static_cast<ostrevin::TextureInstance *>(&inst);
    EXPECT_EQ(OstrevinInstance::popupName(self, 4), nullptr);
    EXPECT_STREQ(OstrevinInstance::popupName(self, 0), "(none)");

    EXPECT_EQ(get(targetItemControl), 0);
    EXPECT_EQ(set(targetItemControl, 2), 1);
    const LWItemID ball = idOf("Ball");
    EXPECT_EQ(inst.itemID, ball);
    EXPECT_EQ(get(targetItemControl), 2);
    // Filling the popup again leaves the layer's description and saved bytes naming the target.
    standin::SaveState before(standin::StateForm::Binary);
    ASSERT_EQ(inst.save(before.state()), nullptr);
    EXPECT_EQ(popup().back(), "Cone");
    EXPECT_STREQ(inst.descln(), "Ostrevin : Ball");
    standin::SaveState after(standin::StateForm::Binary);
    ASSERT_EQ(inst.save(after.state()), nullptr);
    EXPECT_EQ(after.bytes(), before.bytes());

    host.scene().clear();   // the target leaves the scene: shown as (none), kept as the target
    EXPECT_EQ(get(targetItemControl), 0);
    EXPECT_EQ(inst.itemID, ball);

    addObjects();
    EXPECT_EQ(set(targetItemControl, 9), 1);
    EXPECT_EQ(inst.itemID, nullptr) << "a position past the list is no target";
    EXPECT_EQ(inst.popupIndex, 9);
    EXPECT_EQ(set(targetItemControl, -3), 1);
    EXPECT_EQ(inst.itemID, nullptr);
}

TEST_F(SettingsPanel, EmptySceneOffersOnlyNone)
{
    OstrevinInstance &inst = make();
    EXPECT_EQ(popup(), (Entries{"(none)"}));
    EXPECT_EQ(OstrevinInstance::popupName(static_cast<ostrevin::TextureInstance *>(&inst), 1), nullptr);
    EXPECT_EQ(get(targetItemControl), 0);
    EXPECT_EQ(set(targetItemControl, 1), 1);
    EXPECT_EQ(inst.itemID, nullptr);
}

TEST_F(SettingsPanel, InOutStoresTheValueAndRefreshes)
{
    OstrevinInstance &inst = make();
    EXPECT_EQ(set(inOutControl, 5), 1);
    EXPECT_EQ(inst.flipFlg, 5);
    EXPECT_EQ(get(inOutControl), 5);
    EXPECT_EQ(host.xpanel().panel(panel)->refreshes, 1);
    EXPECT_EQ(inst.panelGet(0x8009), nullptr);
    EXPECT_EQ(set(0x8009, 1), 0);
    EXPECT_EQ(inst.panelSet(inOutControl, nullptr), 0);
}

TEST_F(SettingsPanel, ModelerOffersNoTargetButKeepsInOut)
{
    host.systemID = StandInHost::modelerSystemID;
    addObjects();
    OstrevinInstance &inst = make();
    EXPECT_TRUE(popup().empty());
    auto *self = static_cast<ostrevin::TextureInstance *>(&inst);
    for (int i : {0, 1, 7})
        EXPECT_STREQ(OstrevinInstance::popupName(self, i), "");
    inst.popupIndex = 3;
    EXPECT_EQ(inst.panelGet(targetItemControl), nullptr);
    EXPECT_EQ(set(targetItemControl, 1), 0);
    EXPECT_EQ(inst.itemID, nullptr);
    EXPECT_EQ(inst.popupIndex, 3);
    EXPECT_EQ(set(inOutControl, 1), 1);
    EXPECT_EQ(inst.flipFlg, 1);
}

TEST_F(SettingsPanel, CreationFailureAndMissingServicesAreHandled)
{
    host.xpanel().createFails = true;
    OstrevinInstance &inst = make();
    EXPECT_EQ(panel, nullptr);
    EXPECT_EQ(inst.panelID, nullptr);
    EXPECT_EQ(host.lookups().size(), 1u);
    EXPECT_EQ(host.xpanel().calls.size(), 1u);

    host.xpanel().calls.clear();
    host.withhold("LWXPanel");
    EXPECT_EQ(inst.createPanel(StandInHost::globalFunc(), panelGetEntry, panelSetEntry), nullptr);
    EXPECT_TRUE(host.xpanel().calls.empty());
    EXPECT_EQ(inst.createPanel(nullptr, panelGetEntry, panelSetEntry), nullptr);
    EXPECT_EQ(inst.panelSet(inOutControl, &inst.flipFlg), 1) << "no table: nothing to refresh";

    // Without item info the object list is empty.
    host.offer("LWXPanel");
    host.xpanel().createFails = false;
    host.withhold("LW Item Info 3");
    addObjects();
    make();
    EXPECT_EQ(popup(), (Entries{"(none)"}));
    EXPECT_EQ(set(targetItemControl, 1), 1);
    EXPECT_EQ(instance->itemID, nullptr);
    EXPECT_EQ(OstrevinInstance::popupCount(nullptr), 0);
    EXPECT_EQ(OstrevinInstance::popupName(nullptr, 1), nullptr);
}

TEST_F(SettingsPanel, LongAndMissingNamesAreHeldSafely)
{
    host.scene().addObject(std::string(400, 'n'));
    host.scene().addObject("ghost").nameIsNull = true;
    OstrevinInstance &inst = make();
    EXPECT_EQ(popup(), (Entries{"(none)", std::string(255, 'n'), "(none)"}));
    EXPECT_STREQ(inst.itemName, "") << "the popup's texts are its own";
}

TEST_F(SettingsPanel, SoftEdgeIsAWidthHeldFiniteAndNotNegative)
{
    OstrevinInstance &inst = make();
    const auto width = [&] { return *static_cast<const double *>(host.xpanel().get(panel, ostrevin::softEdgeControl)); };
    EXPECT_EQ(width(), 0.0);
    const standin::XPanelRecord *p = host.xpanel().panel(panel);
    const struct {
        double given, held;
        int refreshes;   // a width changed on the way in is shown as held
    } cases[] = {{0.25, 0.25, 0}, {-1.0, 0.0, 1}, {NAN, 0.0, 1}, {HUGE_VAL, DBL_MAX, 1}, {1e-300, 1e-300, 0}};
    for (const auto &c : cases) {
        const int before = p->refreshes;
        double value = c.given;
        EXPECT_EQ(p->set(p->viewInstance, ostrevin::softEdgeControl, &value), 1);
        EXPECT_EQ(inst.softEdge, c.held) << c.given;
        EXPECT_EQ(width(), c.held) << c.given;
        EXPECT_EQ(p->refreshes - before, c.refreshes) << c.given;
    }
}

// "Fill Rule" and "Include Children" through the shipped module.
TEST_F(FillControls, PanelOffersBothControlsAfterTheWrittenTwo)
{
    standin::TextureLayer layer(host, module);
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

TEST_F(FillControls, SetClampsAndRefreshesAsInOutDoes)
{
    standin::TextureLayer layer(host, module);
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
