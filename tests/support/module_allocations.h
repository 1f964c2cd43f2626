// The module allocates only through the non-throwing operator new; a test binary that includes
// this header (from exactly one of its source files) counts those allocations and can make the
// one numbered failAt fail. The stand-in host and the tests use the ordinary operator new.
#ifndef OSTREVIN_TESTS_SUPPORT_MODULE_ALLOCATIONS_H
#define OSTREVIN_TESTS_SUPPORT_MODULE_ALLOCATIONS_H

#include <atomic>
#include <new>

namespace {
std::atomic<long> moduleAllocations{0};
std::atomic<long> failAt{-1};   // the allocation number that fails; -1: none

void *allocate(std::size_t size, bool array) noexcept
{
    if (moduleAllocations++ == failAt)
        return nullptr;
    try {
        return array ? ::operator new[](size) : ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
} // namespace

void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return allocate(size, false); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return allocate(size, true); }
void operator delete(void *p, const std::nothrow_t &) noexcept { ::operator delete(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { ::operator delete[](p); }

#endif
