// Instance creation when no memory can be had. This binary replaces the non-throwing operator new,
// so a failure can be switched on for the module's code linked into it.
#include <atomic>
#include <new>

#include <gtest/gtest.h>

#include "host/standin_host.h"
#include "plugin/entries.h"

namespace {
std::atomic<bool> failAllocations{false};
}

void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    if (failAllocations)
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void *p, const std::nothrow_t &) noexcept { ::operator delete(p); }

TEST(AllocationFailure, CreateReportsMemoryAllocationError)
{
    standin::StandInHost host;
    LWError error = nullptr;
    failAllocations = true;
    LWInstance instance = createInstance(reinterpret_cast<void *>(standin::StandInHost::globalFunc()), nullptr, &error);
    failAllocations = false;
    EXPECT_EQ(instance, nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_STREQ(error, "memory allocation error.");
    EXPECT_TRUE(host.lookups().empty()) << "nothing is constructed when the memory is not there";
}
