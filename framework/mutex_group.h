// One host mutex group per instance, and the scoped lock on one of its mutexes.
#ifndef OSTREVIN_FRAMEWORK_MUTEX_GROUP_H
#define OSTREVIN_FRAMEWORK_MUTEX_GROUP_H

#include "framework/host_api.h"

namespace ostrevin {

class MutexGroup {
public:
    static constexpr int mutexCount = 10;

    explicit MutexGroup(GlobalFunc *lookup) noexcept;
    ~MutexGroup();
    MutexGroup(const MutexGroup &) = delete;
    MutexGroup &operator=(const MutexGroup &) = delete;

    bool usable() const noexcept { return mtUtil != nullptr && mtGroup != nullptr; }

    const LWMTUtilFuncs *mtUtil = nullptr;
    LWMTGroupID mtGroup = nullptr;
};

// Takes the mutex when it can; when it cannot (no group, a number outside the group, or a lock
// call that fails) the guarded work runs unlocked and nothing is unlocked at the end.
class MutexGuard {
public:
    MutexGuard(MutexGroup *group, int index) noexcept;
    ~MutexGuard();
    MutexGuard(const MutexGuard &) = delete;
    MutexGuard &operator=(const MutexGuard &) = delete;

    bool holds() const noexcept { return held; }

private:
    MutexGroup *group;
    int index;
    bool held = false;
};

} // namespace ostrevin

#endif
