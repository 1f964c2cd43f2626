#include "tools/ostrevin-render/mask_objects.h"

#include <utility>

namespace render {

MaskObjects maskObjects(const ImportedScene &scene, std::size_t target, bool includeChildren)
{
    MaskObjects mask;
    mask.members.push_back(target);
    if (!includeChildren)
        return mask;
    const std::size_t count = scene.objects.size();
    std::vector<std::vector<std::size_t>> children(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int parent = scene.objects[i].parent;
        if (parent >= 0 && static_cast<std::size_t>(parent) < count && static_cast<std::size_t>(parent) != i)
            children[static_cast<std::size_t>(parent)].push_back(i);
    }
    // Depth first, each object before the objects below it, as the module walks the host's items;
    // every object is met once, so a hierarchy that loops cannot hold the walk.
    std::vector<bool> met(count, false);
    met[target] = true;
    std::vector<std::pair<std::size_t, std::size_t>> stack;   // object, its level below the target
    for (auto it = children[target].rbegin(); it != children[target].rend(); ++it)
        stack.emplace_back(*it, 1);
    while (!stack.empty()) {
        const auto [object, level] = stack.back();
        stack.pop_back();
        if (met[object])
            continue;
        met[object] = true;
        if (level > maskLevelLimit)
            ++mask.pastLevelLimit;
        else if (mask.members.size() - 1 >= maskChildLimit)
            ++mask.pastChildLimit;
        else
            mask.members.push_back(object);
        for (auto it = children[object].rbegin(); it != children[object].rend(); ++it)
            stack.emplace_back(*it, level + 1);
    }
    return mask;
}

Box maskBounds(const ImportedScene &scene, const MaskObjects &mask, double seconds)
{
    Box all;
    for (const std::size_t m : mask.members) {
        const Box b = scene.objects[m].worldBounds(seconds);
        if (!b.empty()) {
            all.add(b.min);
            all.add(b.max);
        }
    }
    return all;
}

} // namespace render
