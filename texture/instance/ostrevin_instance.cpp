#include "texture/instance/ostrevin_instance.h"

#include "framework/spin_lock.h"
#include "framework/system_id.h"
#include "texture/inside/fill_rule.h"
#include "texture/geometry/plane_test.h"
#include "texture/mesh/mesh_cache.h"

namespace ostrevin {

OstrevinInstance::OstrevinInstance(GlobalFunc *lookup, void *context, const PublishedNames &published) noexcept
    : TextureInstance(lookup, context),
      services(lookup),
      systemID(lookupValue(lookup, "System ID")),
      productInfo(lookupValue(lookup, "Product Info")),
      mutexes(lookup),
      published(published),
      meshCache(services),
      childCaches(services)
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
        const bool tolerant = fillRule == tolerantRule;
        meshCache.tolerant = tolerant;
        meshCache.build(itemID);
        softEdgeFrame.prepare(meshCache, softEdge, fillRule, axis);
        if (includeChildren) {
            childCaches.build(itemID, tolerant);
            childCaches.prepareSoftEdges(softEdge, fillRule, axis);
        }
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
    if (!meshCache.polygons && !(includeChildren && childCaches.anyPolygons()))
        return 0.0;

    const double *p = access->wPos;
    const int axis = access->axis;
    double result = 0.0;
    // Another axis value than 0, 1, 2 answers as for a point outside.
    if (axis >= 0 && axis <= 2) {
        const bool inBounds = withinBoundsInclusive(p, meshCache.boundsMin, meshCache.boundsMax);
        const bool inTarget = inBounds && meshCache.contains(p, axis, fillRule);
        // Inside an object, the soft edge (when on) ramps the answer up from that object's own
        // surface; where objects overlap, the deepest answers, so the union's value stays
        // continuous and never reaches beyond it.
        if (inTarget)
            result = softEdgeFrame.on() ? softEdgeFrame.insideValue(meshCache, p) : 1.0;
        if (includeChildren && result < 1.0)
            result = childCaches.largestValue(p, axis, fillRule, result);
    }
    if (flipFlg != 0)
        result = 1.0 - result;
    return result;
}

} // namespace ostrevin
