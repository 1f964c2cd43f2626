#include "host/instance_update.h"

#include "host/standin_host.h"

namespace standin {

void InstanceUpdates::notify(const char *className, LWInstance instance)
{
    StandInHost::current()->updates().calls.push_back({className ? className : "", instance});
}

} // namespace standin
