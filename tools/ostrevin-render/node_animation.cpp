#include "tools/ostrevin-render/node_animation.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace render {

namespace {

template <typename Key> std::pair<std::size_t, double> span(const std::vector<Key> &keys, double ticks)
{
    if (keys.size() == 1 || !(ticks > keys.front().mTime))
        return {0, 0.0};
    if (ticks >= keys.back().mTime)
        return {keys.size() - 1, 0.0};
    const auto after = std::upper_bound(keys.begin(), keys.end(), ticks,
                                        [](double t, const Key &k) { return t < k.mTime; });
    const std::size_t i = static_cast<std::size_t>(after - keys.begin()) - 1;
    const double length = keys[i + 1].mTime - keys[i].mTime;
    return {i, length > 0 ? (ticks - keys[i].mTime) / length : 0.0};
}

template <typename Key> void sortKeys(std::vector<Key> &keys)
{
    std::stable_sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) { return a.mTime < b.mTime; });
}

void collect(const aiNode *node, int parent, NodeTree &tree, std::vector<const aiNode *> *order, int depth)
{
    // A broken file could nest without end; no real scene comes near this depth.
    if (!node || depth > 10000)
        return;
    const int index = tree.add(node->mName.C_Str(), parent, node->mTransformation);
    if (order)
        order->push_back(node);
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        collect(node->mChildren[i], index, tree, order, depth + 1);
}

} // namespace

aiVector3D interpolate(const std::vector<aiVectorKey> &keys, double ticks)
{
    const auto [i, f] = span(keys, ticks);
    if (f == 0.0)
        return keys[i].mValue;
    const aiVector3D &a = keys[i].mValue, &b = keys[i + 1].mValue;
    const auto w = static_cast<ai_real>(f);
    return a + (b - a) * w;
}

aiQuaternion interpolate(const std::vector<aiQuatKey> &keys, double ticks)
{
    const auto [i, f] = span(keys, ticks);
    if (f == 0.0)
        return keys[i].mValue;
    aiQuaternion out;
    aiQuaternion::Interpolate(out, keys[i].mValue, keys[i + 1].mValue, static_cast<ai_real>(f));
    return out.Normalize();
}

NodeTree NodeTree::fromScene(const aiScene &scene, std::vector<const aiNode *> *order)
{
    NodeTree tree;
    collect(scene.mRootNode, -1, tree, order, 0);
    if (scene.mNumAnimations == 0 || !scene.mAnimations || !scene.mAnimations[0])
        return tree;
    const aiAnimation &anim = *scene.mAnimations[0];
    if (anim.mTicksPerSecond > 0 && std::isfinite(anim.mTicksPerSecond))
        tree.ticksPerSecond = anim.mTicksPerSecond;
    for (unsigned c = 0; c < anim.mNumChannels; ++c) {
        const aiNodeAnim *ch = anim.mChannels[c];
        if (!ch)
            continue;
        NodeChannel channel;
        if (ch->mPositionKeys)
            channel.position.assign(ch->mPositionKeys, ch->mPositionKeys + ch->mNumPositionKeys);
        if (ch->mRotationKeys)
            channel.rotation.assign(ch->mRotationKeys, ch->mRotationKeys + ch->mNumRotationKeys);
        if (ch->mScalingKeys)
            channel.scaling.assign(ch->mScalingKeys, ch->mScalingKeys + ch->mNumScalingKeys);
        if (channel.position.empty() && channel.rotation.empty() && channel.scaling.empty())
            continue;
        for (std::size_t n = 0; n < tree.list.size(); ++n)
            if (tree.list[n].name == ch->mNodeName.C_Str() && tree.list[n].channel < 0) {
                tree.animate(static_cast<int>(n), channel);
                break;
            }
    }
    return tree;
}

int NodeTree::add(const std::string &name, int parent, const aiMatrix4x4 &local)
{
    list.push_back({name, parent, local, -1});
    return static_cast<int>(list.size()) - 1;
}

void NodeTree::animate(int node, NodeChannel channel)
{
    sortKeys(channel.position);
    sortKeys(channel.rotation);
    sortKeys(channel.scaling);
    channels.push_back(std::move(channel));
    list[static_cast<std::size_t>(node)].channel = static_cast<int>(channels.size()) - 1;
}

double NodeTree::firstKey() const
{
    double t = HUGE_VAL;
    for (const NodeChannel &c : channels) {
        if (!c.position.empty())
            t = std::min(t, c.position.front().mTime);
        if (!c.rotation.empty())
            t = std::min(t, c.rotation.front().mTime);
        if (!c.scaling.empty())
            t = std::min(t, c.scaling.front().mTime);
    }
    return std::isfinite(t) ? t : 0.0;
}

double NodeTree::lastKey() const
{
    double t = -HUGE_VAL;
    for (const NodeChannel &c : channels) {
        if (!c.position.empty())
            t = std::max(t, c.position.back().mTime);
        if (!c.rotation.empty())
            t = std::max(t, c.rotation.back().mTime);
        if (!c.scaling.empty())
            t = std::max(t, c.scaling.back().mTime);
    }
    return std::isfinite(t) ? t : 0.0;
}

aiMatrix4x4 NodeTree::localAt(int node, double ticks) const
{
    const Node &n = list[static_cast<std::size_t>(node)];
    if (n.channel < 0)
        return n.local;
    const NodeChannel &c = channels[static_cast<std::size_t>(n.channel)];
    aiVector3D scaling, position;
    aiQuaternion rotation;
    n.local.Decompose(scaling, rotation, position);
    if (!c.position.empty())
        position = interpolate(c.position, ticks);
    if (!c.rotation.empty())
        rotation = interpolate(c.rotation, ticks);
    if (!c.scaling.empty())
        scaling = interpolate(c.scaling, ticks);
    return aiMatrix4x4(scaling, rotation, position);
}

aiMatrix4x4 NodeTree::worldAt(int node, double ticks) const
{
    aiMatrix4x4 world = localAt(node, ticks);
    for (int p = list[static_cast<std::size_t>(node)].parent; p >= 0; p = list[static_cast<std::size_t>(p)].parent)
        world = localAt(p, ticks) * world;
    return world;
}

standin::Transform NodeTree::placement(int node, double seconds) const
{
    const aiMatrix4x4 w = worldAt(node, seconds * ticksPerSecond);
    standin::Transform t;
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 4; ++c)
            t.m[r][c] = static_cast<double>(w[r][c]);
    return t;
}

} // namespace render
