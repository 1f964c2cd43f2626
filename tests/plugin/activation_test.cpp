// Activation and creation, linked in: the module's entries called directly.
#include <gtest/gtest.h>

#include "framework/texture_instance.h"
#include "host/standin_host.h"
#include "plugin/entries.h"

TEST(Activation, CreateHandsBackAnInstanceAndLeavesTheErrorSlotAlone)
{
    standin::StandInHost host;
    LWError error = "untouched";
    LWInstance instance = createInstance(reinterpret_cast<void *>(standin::StandInHost::globalFunc()), nullptr, &error);
    ASSERT_NE(instance, nullptr);
    EXPECT_STREQ(error, "untouched");
    EXPECT_EQ(static_cast<ostrevin::TextureInstance *>(instance)->hostGlobal, standin::StandInHost::globalFunc());
    destroyInstance(instance);
}

TEST(Activation, InterfaceActivationWithoutInstanceGivesNoPanel)
{
    standin::StandInHost host;
    LWInterface iface{nullptr, reinterpret_cast<LWXPanelID>(0x1), nullptr, nullptr};
    EXPECT_EQ(TextureInterfaceActivate(4, standin::StandInHost::globalFunc(), &iface, nullptr), 0);
    EXPECT_EQ(iface.panel, nullptr);
    EXPECT_TRUE(host.xpanel().calls.empty());
}

TEST(Activation, NullTablesAreRefusedWithoutAWrite)
{
    EXPECT_EQ(TextureHandlerActivate(5, nullptr, nullptr, nullptr), AFUNC_BADLOCAL);
    EXPECT_EQ(TextureInterfaceActivate(4, nullptr, nullptr, nullptr), AFUNC_BADLOCAL);
}

TEST(Activation, ACreationContextIsKept)
{
    standin::StandInHost host;
    int context = 0;
    LWInstance instance = createInstance(reinterpret_cast<void *>(standin::StandInHost::globalFunc()), &context, nullptr);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(static_cast<ostrevin::TextureInstance *>(instance)->context, &context);
    destroyInstance(instance);
}
