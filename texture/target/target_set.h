// The target and, with "Include Children", the objects below it in the scene's hierarchy, each a
// masked object of its own: a point is inside when it is inside any of them, and ramps up from
// the surface of whichever holds it deepest.
#ifndef OSTREVIN_TEXTURE_TARGET_TARGET_SET_H
#define OSTREVIN_TEXTURE_TARGET_TARGET_SET_H

#include "framework/host_api.h"
#include "framework/host_services.h"
#include "texture/target/masked_object.h"

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

    explicit TargetSet(const HostServices &services) noexcept : target(services), services(services) {}
    ~TargetSet();
    TargetSet(const TargetSet &) = delete;
    TargetSet &operator=(const TargetSet &) = delete;

    // The frame's build, each object's cache for `rule` and soft edge for `width`: the target's,
    // then with `withChildren` the objects below it, each mesh read once (an object met twice is
    // read the first time only, and the target never again). The children's slots are kept from
    // build to build with their storage. `axis` as SoftEdgeFrame::prepare's.
    void build(LWItemID item, bool withChildren, int rule, double width, int axis = 2) noexcept;

    // Whether the target, or with `withChildren` any object below it, has ever held a polygon
    // array: without one there is no answer at all.
    bool anyPolygons(bool withChildren) const noexcept
    {
        return target.cache.polygons || (withChildren && anyChildPolygons());
    }
    // The value at p: the target's, and with `withChildren` the largest of it and the children's
    // (MaskedObject::valueAt). Inline: the evaluation goes from the instance straight to the test.
    __attribute__((always_inline)) double valueAt(const double p[3], int axis, int rule,
                                                  bool withChildren) const noexcept
    {
        const double value = target.valueAt(p, axis, rule);
        return withChildren && value < 1.0 ? largestChildValue(p, axis, rule, value) : value;
    }

    int childCount() const noexcept { return found; }

    MaskedObject target;

private:
    void findChildren(LWItemID item, int rule, double width, int axis) noexcept;
    void addChild(LWItemID child, LWItemID item, int rule, double width, int axis) noexcept;
    bool anyChildPolygons() const noexcept;
    // The largest of `value` and each child's value at p.
    double largestChildValue(const double p[3], int axis, int rule, double value) const noexcept;

    const HostServices &services;
    // Made once per slot and reused for whichever object comes to it later.
    MaskedObject *children[maxChildren] = {};
    LWItemID childItems[maxChildren] = {};
    int found = 0;
};

} // namespace ostrevin

#endif
