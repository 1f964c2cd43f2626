#include "texture/target/target_set.h"

#include <new>

#include "texture/geometry/plane_test.h"
#include "texture/mesh/mesh_cache.h"

namespace ostrevin {

TargetSet::~TargetSet()
{
    for (Object *object : objects)
        delete object;
}

void TargetSet::add(LWItemID item, LWItemID target, bool tolerant) noexcept
{
    if (item == target || found >= maxChildren)
        return;
    for (int i = 0; i < found; ++i)
        if (items[i] == item)
            return;
    // A slot's cache and soft edge are made once and reused for whichever object comes to it later.
    if (!objects[found])
        objects[found] = new (std::nothrow) Object(services);
    if (!objects[found])
        return;
    items[found] = item;
    objects[found]->cache.tolerant = tolerant;
    objects[found]->cache.build(item);
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

void TargetSet::prepareSoftEdges(double width, int rule, int axis) noexcept
{
    for (int i = 0; i < found; ++i)
        objects[i]->softEdge.prepare(objects[i]->cache, width, rule, axis);
}

double TargetSet::largestValue(const double p[3], int axis, int rule, double value) const noexcept
{
    for (int i = 0; i < found && value < 1.0; ++i) {
        const MeshCache &cache = objects[i]->cache;
        const SoftEdgeFrame &softEdge = objects[i]->softEdge;
        if (cache.polygons && withinBoundsInclusive(p, cache.boundsMin, cache.boundsMax) &&
            cache.contains(p, axis, rule)) {
            const double own = softEdge.on() ? softEdge.insideValue(cache, p) : 1.0;
            value = own > value ? own : value;
        }
    }
    return value;
}

bool TargetSet::anyPolygons() const noexcept
{
    for (int i = 0; i < found; ++i)
        if (objects[i]->cache.polygons)
            return true;
    return false;
}

} // namespace ostrevin
