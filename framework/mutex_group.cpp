#include "framework/mutex_group.h"

namespace ostrevin {

MutexGroup::MutexGroup(GlobalFunc *lookup) noexcept
{
    if (!lookup)
        return;
    mtUtil = static_cast<const LWMTUtilFuncs *>(lookup("MultiThreading Utilities", GFUSE_TRANSIENT));
    if (mtUtil && mtUtil->create)
        mtGroup = mtUtil->create();
}

MutexGroup::~MutexGroup()
{
    if (usable() && mtUtil->destroy)
        mtUtil->destroy(mtGroup);
}

MutexGuard::MutexGuard(MutexGroup *group, int index) noexcept : group(group), index(index)
{
    if (group && group->usable() && index >= 0 && index < MutexGroup::mutexCount && group->mtUtil->lock)
        held = group->mtUtil->lock(group->mtGroup, index) != 0;
}

MutexGuard::~MutexGuard()
{
    if (held && group->usable() && group->mtUtil->unlock)
        group->mtUtil->unlock(group->mtGroup, index);
    held = false;
}

} // namespace ostrevin
