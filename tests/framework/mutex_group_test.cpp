#include <gtest/gtest.h>

#include "framework/mutex_group.h"
#include "host/standin_host.h"

using ostrevin::MutexGroup;
using ostrevin::MutexGuard;
using standin::StandInHost;

TEST(MutexGroup, GuardLocksAndUnlocksOnce)
{
    StandInHost host;
    MutexGroup group(StandInHost::globalFunc());
    ASSERT_TRUE(group.usable());
    {
        MutexGuard guard(&group, 0);
        EXPECT_TRUE(guard.holds());
        EXPECT_EQ(host.threads().locks.load(), 1);
        EXPECT_EQ(host.threads().unlocks.load(), 0);
    }
    EXPECT_EQ(host.threads().unlocks.load(), 1);
}

TEST(MutexGroup, NumbersOutsideTheGroupAreNeverLocked)
{
    StandInHost host;
    MutexGroup group(StandInHost::globalFunc());
    for (int index : {-1, 10, 1000}) {
        MutexGuard guard(&group, index);
        EXPECT_FALSE(guard.holds());
    }
    EXPECT_EQ(host.threads().locks.load(), 0);
    EXPECT_EQ(host.threads().unlocks.load(), 0);
    MutexGuard last(&group, 9);
    EXPECT_TRUE(last.holds());
}

TEST(MutexGroup, AFailedLockIsNotUnlocked)
{
    StandInHost host;
    host.threads().lockFails = true;
    MutexGroup group(StandInHost::globalFunc());
    {
        MutexGuard guard(&group, 0);
        EXPECT_FALSE(guard.holds());
    }
    EXPECT_EQ(host.threads().locks.load(), 1);
    EXPECT_EQ(host.threads().unlocks.load(), 0);
}

TEST(MutexGroup, WithoutUtilitiesNothingIsCalled)
{
    StandInHost host;
    host.withhold("MultiThreading Utilities");
    {
        MutexGroup group(StandInHost::globalFunc());
        EXPECT_FALSE(group.usable());
        MutexGuard guard(&group, 0);
        EXPECT_FALSE(guard.holds());
        MutexGuard noGroup(nullptr, 0);
        EXPECT_FALSE(noGroup.holds());
    }
    EXPECT_EQ(host.threads().creates.load(), 0);
    EXPECT_EQ(host.threads().locks.load(), 0);
    EXPECT_EQ(host.threads().destroys.load(), 0);
}

TEST(MutexGroup, AGroupTheHostCouldNotCreateIsNeitherUsedNorDestroyed)
{
    StandInHost host;
    host.threads().createFails = true;
    {
        MutexGroup group(StandInHost::globalFunc());
        EXPECT_FALSE(group.usable());
        MutexGuard guard(&group, 0);
    }
    EXPECT_EQ(host.threads().creates.load(), 1);
    EXPECT_EQ(host.threads().locks.load(), 0);
    EXPECT_EQ(host.threads().destroys.load(), 0);
}

TEST(MutexGroup, DestructionDestroysItsOwnGroupOnce)
{
    StandInHost host;
    LWMTGroupID created = nullptr;
    {
        MutexGroup group(StandInHost::globalFunc());
        created = group.mtGroup;
    }
    EXPECT_EQ(host.threads().destroys.load(), 1);
    EXPECT_EQ(host.threads().lastDestroyed, created);
}
