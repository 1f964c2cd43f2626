#include <gtest/gtest.h>

#include "framework/host_services.h"
#include "host/standin_host.h"

using ostrevin::HostServices;
using standin::StandInHost;

TEST(HostServices, LooksUpTwentyEightServicesInOrderWithModeZero)
{
    StandInHost host;
    HostServices services(StandInHost::globalFunc());
    const auto calls = host.lookups();
    ASSERT_EQ(calls.size(), 28u);
    // The instance asks for "Instance Update" before these; the table's own order follows.
    const auto &names = StandInHost::serviceNames();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].name, names[i + 1]) << i;
        EXPECT_EQ(calls[i].use, 0);
    }
    EXPECT_EQ(services.global, StandInHost::globalFunc());
    EXPECT_EQ(services.itemInfo, host.scene().itemInfoTable());
    EXPECT_EQ(services.objectInfo, host.scene().objectInfoTable());
    EXPECT_EQ(services.instanceUpdate, host.updates().function());
    EXPECT_NE(services.imageList, services.boneInfo) << "stored by name, not by call position";
    EXPECT_NE(services.command.commandInterface, nullptr);
}

TEST(HostServices, AHostOfferingNothingLeavesEveryServiceNull)
{
    StandInHost host;
    host.withholdAll();
    HostServices services(StandInHost::globalFunc());
    EXPECT_EQ(services.global, StandInHost::globalFunc());
    EXPECT_EQ(services.command.global, StandInHost::globalFunc());
    EXPECT_EQ(services.command.commandInterface, nullptr);
    const void *fields[] = {services.sceneInfo, services.interfaceInfo, services.sceneObjects, services.objectInfo,
                            services.itemInfo, services.surfaceFuncs, services.imageList, services.imageUtil,
                            services.boneInfo, services.lightInfo, services.cameraInfo, services.dirInfo,
                            services.messageFuncs, services.envelopeFuncs, services.channelInfo,
                            services.textureFuncs, services.textureEditor, services.fileIO, services.fileRequest,
                            services.fileRequest2, services.globalMemory, services.vparmFuncs,
                            reinterpret_cast<const void *>(services.instanceUpdate), services.panelServices,
                            services.rasterServices, services.viewportInfo, services.backdropInfo};
    for (const void *f : fields)
        EXPECT_EQ(f, nullptr);
}

TEST(HostServices, MissingCommandInterfaceLeavesOnlyThatNull)
{
    StandInHost host;
    host.withhold("LW Command Interface");
    HostServices services(StandInHost::globalFunc());
    EXPECT_EQ(services.command.commandInterface, nullptr);
    EXPECT_NE(services.backdropInfo, nullptr);
    EXPECT_NE(services.sceneInfo, nullptr);
}

TEST(HostServices, ANullLookupMakesNoCallAndFillsNothing)
{
    StandInHost host;
    HostServices services(nullptr);
    EXPECT_TRUE(host.lookups().empty());
    EXPECT_EQ(services.global, nullptr);
    EXPECT_EQ(services.itemInfo, nullptr);
    EXPECT_EQ(services.command.global, nullptr);
}
