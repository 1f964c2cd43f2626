#include "texture/target_set.h"

#include <new>

#include "texture/geometry.h"
#include "texture/mesh_cache.h"

namespace ostrevin {

TargetSet::~TargetSet()
{
    for (MeshCache *cache : caches)
        delete cache;
}

void TargetSet::add(LWItemID item, LWItemID target, bool tolerant) noexcept
{
    if (item == target || found >= maxChildren)
        return;
    for (int i = 0; i < found; ++i)
        if (items[i] == item)
            return;
    // A slot's cache is made once and reused for whichever object comes to that slot later.
    if (!caches[found])
        caches[found] = new (std::nothrow) MeshCache(services);
    if (!caches[found])
        return;
    items[found] = item;
    caches[found]->tolerant = tolerant;
    caches[found]->build(item);
    ++found;
}

void TargetSet::build(LWItemID target, bool tolerant) noexcept
{
    found = 0;
    const LWItemInfo *info = services.itemInfo;
    if (!target || !info || !info->firstChild || !info->nextChild || !info->type)
        return;
    // Depth first without recursion: each level keeps its parent and the child it is at.
    struct Level {
        LWItemID parent, child;
    };
    Level levels[maxDepth];
    int depth = 0;
    levels[0] = {target, info->firstChild(target)};
    for (int visits = 0; depth >= 0 && found < maxChildren && visits < maxVisits; ++visits) {
        Level &level = levels[depth];
        const LWItemID item = level.child;
        if (!item) {
            --depth;
            continue;
        }
        level.child = info->nextChild(level.parent, item);
        // Children come in every type; only objects have meshes, but any item may hold objects.
        if (info->type(item) == LWI_OBJECT)
            add(item, target, tolerant);
        if (depth + 1 < maxDepth)
            levels[++depth] = {item, info->firstChild(item)};
    }
}

bool TargetSet::containsAny(const double p[3], int axis, int rule) const noexcept
{
    for (int i = 0; i < found; ++i) {
        const MeshCache &cache = *caches[i];
        if (cache.polygons && withinBoundsInclusive(p, cache.boundsMin, cache.boundsMax) &&
            cache.contains(p, axis, rule))
            return true;
    }
    return false;
}

bool TargetSet::anyPolygons() const noexcept
{
    for (int i = 0; i < found; ++i)
        if (caches[i]->polygons)
            return true;
    return false;
}

} // namespace ostrevin
