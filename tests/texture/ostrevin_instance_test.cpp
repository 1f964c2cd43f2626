// The instance's own state, seen from inside: what construction sets, what the render calls
// change, and what destruction gives back to the host.
#include <gtest/gtest.h>

#include "host/standin_host.h"
#include "texture/instance/ostrevin_instance.h"
#include "support/published_names.h"

using ostrevin::OstrevinInstance;
using standin::StandInHost;

TEST(OstrevinInstance, StartsWithoutTargetOrRenderAndFlagsSix)
{
    StandInHost host;
    {
        OstrevinInstance instance(StandInHost::globalFunc(), nullptr, modulePublishedNames());
        EXPECT_EQ(instance.flags(), unsigned{LWTEXF_SLOWPREVIEW | LWTEXF_AXIS});
        EXPECT_STREQ(instance.itemName, "");
        EXPECT_EQ(instance.itemID, nullptr);
        EXPECT_EQ(instance.popupIndex, -1);
        EXPECT_EQ(instance.flipFlg, 0);
        EXPECT_FALSE(instance.cacheBuilt);
        EXPECT_EQ(instance.renderMode, -1);
        EXPECT_EQ(instance.targets.target.cache.polygons, nullptr);

        EXPECT_EQ(instance.init(7), nullptr);
        EXPECT_EQ(instance.renderMode, 7);
        instance.cleanup();
        EXPECT_EQ(instance.renderMode, -1);
        instance.cacheBuilt = true;
        EXPECT_EQ(instance.newTime(12, 0.5), nullptr);
        EXPECT_FALSE(instance.cacheBuilt);
        EXPECT_EQ(instance.currentFrame, 0) << "the base newTime does not run";
        EXPECT_EQ(host.threads().destroys.load(), 0);
    }
    EXPECT_EQ(host.threads().destroys.load(), 1);
    EXPECT_EQ(host.threads().liveGroups.load(), 0);
}

// The flag is raised before the build: a target whose mesh the host withholds is asked once per
// frame, and the first evaluation of the next frame asks again.
TEST(OstrevinInstance, FrameWithoutAMeshIsNotRetried)
{
    StandInHost host;
    standin::SceneObject &target = host.scene().addObject("Withheld");
    target.noMeshInfo = true;
    OstrevinInstance instance(StandInHost::globalFunc(), nullptr, modulePublishedNames());
    instance.itemID = target.id;
    instance.init(LWINIT_RENDER);
    LWTextureAccess access{};
    for (int frame = 0; frame < 2; ++frame) {
        instance.newTime(frame, 0.0);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(instance.evaluate(&access), 0.0);
        EXPECT_TRUE(instance.cacheBuilt);
        EXPECT_EQ(host.scene().counters.meshInfo.load(), frame + 1);
    }
    EXPECT_EQ(instance.evaluate(nullptr), 0.0);
}
