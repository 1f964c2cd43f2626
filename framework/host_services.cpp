#include "framework/host_services.h"

namespace ostrevin {

CommandAccess::CommandAccess(GlobalFunc *lookup) noexcept : global(lookup)
{
    if (lookup)
        commandInterface = lookup("LW Command Interface", GFUSE_TRANSIENT);
}

void HostServices::fill(GlobalFunc *lookup) noexcept
{
    global = lookup;
    if (!lookup)
        return;

    // The host sees the lookups in this order; the image services come after the bone, light
    // and camera info although their fields come before them.
    sceneInfo = lookup("LW Scene Info 3", GFUSE_TRANSIENT);
    interfaceInfo = lookup("LW Interface Info 3", GFUSE_TRANSIENT);
    sceneObjects = lookup("Scene Objects 4", GFUSE_TRANSIENT);
    objectInfo = static_cast<const LWObjectInfo *>(lookup("LW Object Info 4", GFUSE_TRANSIENT));
    itemInfo = static_cast<const LWItemInfo *>(lookup("LW Item Info 3", GFUSE_TRANSIENT));
    surfaceFuncs = lookup("Surface Functions 2", GFUSE_TRANSIENT);
    boneInfo = lookup("LW Bone Info 3", GFUSE_TRANSIENT);
    lightInfo = lookup("LW Light Info 3", GFUSE_TRANSIENT);
    cameraInfo = lookup("LW Camera Info 2", GFUSE_TRANSIENT);
    imageList = lookup("LW Image List 3", GFUSE_TRANSIENT);
    imageUtil = lookup("Image Utility", GFUSE_TRANSIENT);
    dirInfo = lookup("Directory Info", GFUSE_TRANSIENT);
    messageFuncs = lookup("Info Messages 2", GFUSE_TRANSIENT);
    envelopeFuncs = lookup("Animation Envelopes", GFUSE_TRANSIENT);
    channelInfo = lookup("Channel Info 2", GFUSE_TRANSIENT);
    textureFuncs = lookup("Texture Functions 3", GFUSE_TRANSIENT);
    textureEditor = lookup("Texture Editor 2", GFUSE_TRANSIENT);
    fileIO = lookup("File IO", GFUSE_TRANSIENT);
    fileRequest = lookup("File Request", GFUSE_TRANSIENT);
    fileRequest2 = lookup("File Request 2", GFUSE_TRANSIENT);
    globalMemory = lookup("Global Memory", GFUSE_TRANSIENT);
    vparmFuncs = lookup("LWVParmFuncs 2", GFUSE_TRANSIENT);
    instanceUpdate = reinterpret_cast<LWInstUpdate *>(lookup("Instance Update", GFUSE_TRANSIENT));
    panelServices = lookup("LWPanelServices", GFUSE_TRANSIENT);
    rasterServices = lookup("RasterServices", GFUSE_TRANSIENT);
    viewportInfo = lookup("LW Viewport Info", GFUSE_TRANSIENT);
    backdropInfo = lookup("LW Backdrop Info 2", GFUSE_TRANSIENT);

    command = CommandAccess(lookup);
}

} // namespace ostrevin
