#include <gtest/gtest.h>

#include "framework/system_id.h"
#include "framework/texture_instance.h"
#include "host/standin_host.h"
#include "plugin/entries.h"

using ostrevin::TextureInstance;
using standin::StandInHost;

namespace {
struct RecordingInstance : TextureInstance {
    using TextureInstance::TextureInstance;
    void onNewTime(LWFrame frame, LWTime time) noexcept override
    {
        ++hookCalls;
        hookFrame = frame;
        hookTime = time;
    }
    int hookCalls = 0;
    LWFrame hookFrame = -1;
    LWTime hookTime = -1.0;
};
} // namespace

TEST(TextureInstance, BaseDefaults)
{
    StandInHost host;
    TextureInstance base(StandInHost::globalFunc(), nullptr);
    EXPECT_STREQ(base.descln(), "");
    EXPECT_EQ(base.flags(), 255u);
    LWTextureAccess access{};
    EXPECT_EQ(base.evaluate(&access), 0.0);
    EXPECT_EQ(base.panelGet(0x8001), nullptr);
    EXPECT_EQ(base.panelSet(0x8001, nullptr), 1);
    EXPECT_EQ(base.copy(&base), nullptr);
    EXPECT_EQ(base.init(LWINIT_RENDER), nullptr);
    EXPECT_EQ(base.useItems(), nullptr);
    int x = 7, y = 9;
    EXPECT_FALSE(base.queryPanel(&x, &y));
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 9);
}

TEST(TextureInstance, NewTimeStoresFrameAndTimeAndCallsTheHookOnce)
{
    StandInHost host;
    RecordingInstance instance(StandInHost::globalFunc(), nullptr);
    EXPECT_EQ(instance.newTime(12, 0.5), nullptr);
    EXPECT_EQ(instance.currentFrame, 12);
    EXPECT_EQ(instance.currentTime, 0.5);
    EXPECT_EQ(instance.hookCalls, 1);
    EXPECT_EQ(instance.hookFrame, 12);
    EXPECT_EQ(instance.hookTime, 0.5);
}

TEST(TextureInstance, NotifyUpdateNamesTheHandlerClass)
{
    StandInHost host;
    TextureInstance instance(StandInHost::globalFunc(), nullptr);
    instance.notifyUpdate();
    ASSERT_EQ(host.updates().calls.size(), 1u);
    EXPECT_EQ(host.updates().calls[0].className, "TextureHandler");
    EXPECT_EQ(host.updates().calls[0].instance, &instance);
}

TEST(TextureInstance, NotifyUpdateWithoutTheServiceCallsNothing)
{
    StandInHost host;
    host.withhold("Instance Update");
    TextureInstance instance(StandInHost::globalFunc(), nullptr);
    instance.notifyUpdate();
    EXPECT_TRUE(host.updates().calls.empty());
}

TEST(TextureInstance, ModelerIsTheTopNibbleOne)
{
    using ostrevin::inModeler;
    EXPECT_TRUE(inModeler(0x10000000u));
    EXPECT_TRUE(inModeler(0x1FFFFFFFu));
    EXPECT_FALSE(inModeler(0u));
    EXPECT_FALSE(inModeler(0x0FFFFFFFu));
    EXPECT_FALSE(inModeler(0x20000000u));
    EXPECT_FALSE(inModeler(0xF0000000u));
}

TEST(TextureInstance, BasePanelCreatesDescribesAndAttachesInThatOrder)
{
    StandInHost host;
    TextureInstance instance(StandInHost::globalFunc(), nullptr);
    host.clearLookups();
    LWXPanelID panel = instance.createPanel(StandInHost::globalFunc(), panelGetEntry, panelSetEntry);
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(host.lookups().size(), 1u);
    EXPECT_EQ(host.lookups()[0].name, "LWXPanel");
    const auto &calls = host.xpanel().calls;
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].position, 2);
    EXPECT_EQ(calls[1].position, 4);
    EXPECT_EQ(calls[2].position, 7);
    EXPECT_EQ(calls[2].id, 0u);
    const standin::XPanelRecord *record = host.xpanel().panel(panel);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->type, 1);
    EXPECT_TRUE(record->controls.empty());
    EXPECT_TRUE(record->data.empty());
    EXPECT_EQ(record->get, panelGetEntry);
    EXPECT_EQ(record->set, panelSetEntry);
    EXPECT_EQ(record->userData.at(0), &instance);
}

TEST(TextureInstance, BasePanelStopsWhenCreationFails)
{
    StandInHost host;
    host.xpanel().createFails = true;
    TextureInstance instance(StandInHost::globalFunc(), nullptr);
    EXPECT_EQ(instance.createPanel(StandInHost::globalFunc(), panelGetEntry, panelSetEntry), nullptr);
    ASSERT_EQ(host.xpanel().calls.size(), 1u);
    EXPECT_EQ(host.xpanel().calls[0].position, 2);
}

TEST(TextureInstance, BasePanelWithoutXPanelServiceIsNone)
{
    StandInHost host;
    host.withhold("LWXPanel");
    TextureInstance instance(StandInHost::globalFunc(), nullptr);
    EXPECT_EQ(instance.createPanel(StandInHost::globalFunc(), panelGetEntry, panelSetEntry), nullptr);
    EXPECT_TRUE(host.xpanel().calls.empty());
}
