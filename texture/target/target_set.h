// "Include Children": the objects below the target in the scene's hierarchy, each with a mesh
// cache and a soft edge of its own, so that a point is inside when it is inside the target or any
// of them, and ramps up from the surface of whichever holds it deepest.
#ifndef OSTREVIN_TEXTURE_TARGET_TARGET_SET_H
#define OSTREVIN_TEXTURE_TARGET_TARGET_SET_H

#include "framework/host_api.h"
#include "framework/host_services.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/target/soft_edge.h"

namespace ostrevin {

class TargetSet {
public:
    // The target and at most this many objects below it, the first found depth first in the
    // host's child order; the rest are left out. It bounds the caches an instance keeps, and
    // the per-point work, which grows with the objects whose bounds hold the point.
    static constexpr int maxChildren = 63;
    // How deep the walk goes, and how many items (of any type) it visits, whatever the host says:
    // a hierarchy that loops back on itself must not hang a render.
    static constexpr int maxDepth = 32;
    static constexpr int maxVisits = 4096;

    explicit TargetSet(const HostServices &services) noexcept : services(services) {}
    ~TargetSet();
    TargetSet(const TargetSet &) = delete;
    TargetSet &operator=(const TargetSet &) = delete;

    // Finds the objects below `target` and builds a cache for each, reading each mesh once: an
    // object met twice is read the first time only, and the target itself (whose cache is the
    // instance's) never. Caches are kept from build to build, slot by slot, with their storage.
    // `tolerant` as MeshCache's.
    void build(LWItemID target, bool tolerant) noexcept;
    // After build, under the same lock: each object's soft edge for the width, as the target's.
    void prepareSoftEdges(double width, int rule, int axis) noexcept;
    // The largest of `value` and what each object found by the last build answers at p, by
    // `rule`: 0 outside it; inside, 1 with a hard edge, or the ramp from its own surface. An object
    // without a mesh has nothing inside (its slot's cache is emptied when it held another object).
    double largestValue(const double p[3], int axis, int rule, double value) const noexcept;
    // Whether any of them has ever held a polygon array.
    bool anyPolygons() const noexcept;

    int count() const noexcept { return found; }

private:
    void add(LWItemID item, LWItemID target, bool tolerant) noexcept;

    struct Object {
        explicit Object(const HostServices &services) noexcept : cache(services) {}
        MeshCache cache;
        SoftEdgeFrame softEdge;
    };

    const HostServices &services;
    Object *objects[maxChildren] = {};
    LWItemID items[maxChildren] = {};
    int found = 0;
};

} // namespace ostrevin

#endif
