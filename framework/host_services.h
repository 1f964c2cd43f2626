// The host services an instance keeps: looked up by name once, at construction.
#ifndef OSTREVIN_FRAMEWORK_HOST_SERVICES_H
#define OSTREVIN_FRAMEWORK_HOST_SERVICES_H

#include "framework/host_api.h"

namespace ostrevin {

// The command interface is reached through a lookup function of its own.
struct CommandAccess {
    GlobalFunc *global = nullptr;
    void *commandInterface = nullptr;

    CommandAccess() = default;
    explicit CommandAccess(GlobalFunc *lookup) noexcept;
};

// Every field holds exactly what the host returned for its name, or null when not offered.
struct HostServices {
    GlobalFunc *global = nullptr;
    void *sceneInfo = nullptr;
    void *interfaceInfo = nullptr;
    void *sceneObjects = nullptr;
    const LWObjectInfo *objectInfo = nullptr;
    const LWItemInfo *itemInfo = nullptr;
    void *surfaceFuncs = nullptr;
    void *imageList = nullptr;
    void *imageUtil = nullptr;
    void *boneInfo = nullptr;
    void *lightInfo = nullptr;
    void *cameraInfo = nullptr;
    void *dirInfo = nullptr;
    void *messageFuncs = nullptr;
    void *envelopeFuncs = nullptr;
    void *channelInfo = nullptr;
    void *textureFuncs = nullptr;
    void *textureEditor = nullptr;
    void *fileIO = nullptr;
    void *fileRequest = nullptr;
    void *fileRequest2 = nullptr;
    void *globalMemory = nullptr;
    void *vparmFuncs = nullptr;
    LWInstUpdate *instanceUpdate = nullptr;
    void *panelServices = nullptr;
    void *rasterServices = nullptr;
    void *viewportInfo = nullptr;
    void *backdropInfo = nullptr;
    CommandAccess command;

    explicit HostServices(GlobalFunc *lookup) noexcept { fill(lookup); }
    HostServices(const HostServices &) = delete;
    HostServices &operator=(const HostServices &) = delete;

    void fill(GlobalFunc *lookup) noexcept;
};

} // namespace ostrevin

#endif
