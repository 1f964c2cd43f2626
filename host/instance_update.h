// "Instance Update": records each notification.
#ifndef OSTREVIN_HOST_INSTANCE_UPDATE_H
#define OSTREVIN_HOST_INSTANCE_UPDATE_H

#include <string>
#include <vector>

#include "framework/host_api.h"

namespace standin {

struct InstanceUpdateCall {
    std::string className;
    LWInstance instance;
};

class InstanceUpdates {
public:
    LWInstUpdate *function() const { return notify; }
    std::vector<InstanceUpdateCall> calls;

private:
    static void notify(const char *className, LWInstance instance);
};

} // namespace standin

#endif
