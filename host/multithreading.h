// "MultiThreading Utilities" over real mutexes: groups of ten, with counters and failure modes.
#ifndef OSTREVIN_HOST_MULTITHREADING_H
#define OSTREVIN_HOST_MULTITHREADING_H

#include <atomic>

#include "framework/host_api.h"

namespace standin {

class MultiThreading {
public:
    static constexpr int mutexesPerGroup = 10;

    const LWMTUtilFuncs *table() const { return &funcs; }

    // Failure modes.
    bool createFails = false;    // create gives no group
    bool lockFails = false;      // lock returns 0 without taking the mutex

    std::atomic<int> creates{0}, destroys{0}, locks{0}, unlocks{0}, liveGroups{0};
    // Lock and unlock calls by mutex number, failed ones included.
    std::atomic<int> locksOf[mutexesPerGroup] = {}, unlocksOf[mutexesPerGroup] = {};
    LWMTGroupID lastDestroyed = nullptr;

private:
    static LWMTGroupID create();
    static void destroy(LWMTGroupID group);
    static int lock(LWMTGroupID group, int mutex);
    static int unlock(LWMTGroupID group, int mutex);

    LWMTUtilFuncs funcs{create, destroy, lock, unlock};
};

} // namespace standin

#endif
