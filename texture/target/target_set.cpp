#include "texture/target/target_set.h"

#include <new>

namespace ostrevin {

TargetSet::~TargetSet()
{
    for (MaskedObject *child : children)
        delete child;
}

void TargetSet::build(LWItemID item, bool withChildren, int rule, double width, int axis) noexcept
{
    target.build(item, rule, width, axis);
    if (withChildren)
        findChildren(item, rule, width, axis);
}

void TargetSet::addChild(LWItemID child, LWItemID item, int rule, double width, int axis) noexcept
{
    if (child == item || found >= maxChildren)
        return;
    for (int i = 0; i < found; ++i)
        if (childItems[i] == child)
            return;
    if (!children[found])
        children[found] = new (std::nothrow) MaskedObject(services);
    if (!children[found])
        return;
    childItems[found] = child;
    children[found]->build(child, rule, width, axis);
    ++found;
}

void TargetSet::findChildren(LWItemID item, int rule, double width, int axis) noexcept
{
    found = 0;
    const LWItemInfo *info = services.itemInfo;
    if (!item || !info || !info->firstChild || !info->nextChild || !info->type)
        return;
    // Depth first without recursion: each depth keeps its parent and the child it is at.
    struct Branch {
        LWItemID parent, child;
    };
    Branch branches[maxDepth];
    int depth = 0;
    branches[0] = {item, info->firstChild(item)};
    for (int visits = 0; depth >= 0 && found < maxChildren && visits < maxVisits; ++visits) {
        Branch &branch = branches[depth];
        const LWItemID child = branch.child;
        if (!child) {
            --depth;
            continue;
        }
        branch.child = info->nextChild(branch.parent, child);
        // Children come in every type; only objects have meshes, but any item may hold objects.
        if (info->type(child) == LWI_OBJECT)
            addChild(child, item, rule, width, axis);
        if (depth + 1 < maxDepth)
            branches[++depth] = {child, info->firstChild(child)};
    }
}

double TargetSet::largestChildValue(const double p[3], int axis, int rule, double value) const noexcept
{
    for (int i = 0; i < found && value < 1.0; ++i) {
        const double own = children[i]->valueAt(p, axis, rule);
        value = own > value ? own : value;
    }
    return value;
}

bool TargetSet::anyChildPolygons() const noexcept
{
    for (int i = 0; i < found; ++i)
        if (children[i]->cache.polygons)
            return true;
    return false;
}

} // namespace ostrevin
