#include "host/multithreading.h"

#include <mutex>
#include <new>

#include "host/standin_host.h"

namespace standin {

namespace {
struct MutexSet {
    std::mutex mutexes[MultiThreading::mutexesPerGroup];
};
MultiThreading &service() { return StandInHost::current()->threads(); }
} // namespace

LWMTGroupID MultiThreading::create()
{
    MultiThreading &mt = service();
    ++mt.creates;
    if (mt.createFails)
        return nullptr;
    ++mt.liveGroups;
    return new MutexSet;
}

void MultiThreading::destroy(LWMTGroupID group)
{
    MultiThreading &mt = service();
    ++mt.destroys;
    mt.lastDestroyed = group;
    if (group) {
        --mt.liveGroups;
        delete static_cast<MutexSet *>(group);
    }
}

int MultiThreading::lock(LWMTGroupID group, int mutex)
{
    MultiThreading &mt = service();
    ++mt.locks;
    if (mutex >= 0 && mutex < mutexesPerGroup)
        ++mt.locksOf[mutex];
    if (mt.lockFails || !group || mutex < 0 || mutex >= mutexesPerGroup)
        return 0;
    static_cast<MutexSet *>(group)->mutexes[mutex].lock();
    return 1;
}

int MultiThreading::unlock(LWMTGroupID group, int mutex)
{
    MultiThreading &mt = service();
    ++mt.unlocks;
    if (mutex >= 0 && mutex < mutexesPerGroup)
        ++mt.unlocksOf[mutex];
    if (!group || mutex < 0 || mutex >= mutexesPerGroup)
        return 0;
    static_cast<MutexSet *>(group)->mutexes[mutex].unlock();
    return 1;
}

} // namespace standin
