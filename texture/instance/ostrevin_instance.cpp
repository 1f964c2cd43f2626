#include "texture/instance/ostrevin_instance.h"

#include "framework/spin_lock.h"
#include "framework/system_id.h"

namespace ostrevin {

OstrevinInstance::OstrevinInstance(GlobalFunc *lookup, void *context, const PublishedNames &published) noexcept
    : TextureInstance(lookup, context),
      services(lookup),
      systemID(lookupValue(lookup, "System ID")),
      productInfo(lookupValue(lookup, "Product Info")),
      mutexes(lookup),
      published(published),
      targets(services)
{
    textureFlags = LWTEXF_SLOWPREVIEW | LWTEXF_AXIS;
}

// Members go in reverse order: the mesh cache and its buffers before the mutex group.
OstrevinInstance::~OstrevinInstance() = default;

bool OstrevinInstance::isModeler() const noexcept { return inModeler(systemID); }

LWError OstrevinInstance::init(int mode) noexcept
{
    renderMode = mode;
    return nullptr;
}

void OstrevinInstance::cleanup() noexcept { renderMode = -1; }

// The frame and time are not kept: only "rebuild at the next evaluation" matters.
LWError OstrevinInstance::newTime(LWFrame, LWTime) noexcept
{
    cacheReady.store(false, std::memory_order_relaxed);
    cacheBuilt.store(false, std::memory_order_relaxed);
    return nullptr;
}

void OstrevinInstance::buildForFrame(int axis) noexcept
{
    MutexGuard hostLock(&mutexes, 0);
    // Also taken under the host's mutex: uncontended there, and it still keeps a caller whose
    // host lock failed from building or reading alongside one whose lock succeeded.
    SpinGuard ownLock(buildLock);
    // The flag goes first, so a build that finds no mesh is not retried within the frame.
    if (!cacheBuilt.load(std::memory_order_relaxed)) {
        cacheBuilt.store(true, std::memory_order_relaxed);
        targets.build(itemID, includeChildren != 0, fillRule, softEdge, axis);
    }
    cacheReady.store(true, std::memory_order_release);
}

double OstrevinInstance::evaluate(LWTextureAccess *access) noexcept
{
    // Inert in Modeler, outside a render, and without a target.
    if (!access || isModeler() || renderMode != LWINIT_RENDER || !itemID)
        return 0.0;

    // The frame's first evaluation builds; the rest see the finished cache.
    if (!cacheReady.load(std::memory_order_acquire))
        buildForFrame(access->axis);

    // No polygon array ever (in the target, nor below it when that counts): no answer, not even
    // inverted.
    const bool withChildren = includeChildren != 0;
    if (!targets.anyPolygons(withChildren))
        return 0.0;

    // Inside an object, the soft edge (when on) ramps the answer up from that object's own
    // surface; where objects overlap, the deepest answers, so the union's value stays continuous
    // and never reaches beyond it. Another axis value than 0, 1, 2 answers as for a point outside.
    const int axis = access->axis;
    double result = axis >= 0 && axis <= 2 ? targets.valueAt(access->wPos, axis, fillRule, withChildren) : 0.0;
    if (flipFlg != 0)
        result = 1.0 - result;
    return result;
}

} // namespace ostrevin
