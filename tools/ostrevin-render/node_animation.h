// The node hierarchy of an imported scene with its keyed animation, kept after the importer is
// gone, so that an object's world placement can be asked for at any time.
#ifndef OSTREVIN_TOOLS_RENDER_NODE_ANIMATION_H
#define OSTREVIN_TOOLS_RENDER_NODE_ANIMATION_H

#include <string>
#include <vector>

#include <assimp/anim.h>
#include <assimp/matrix4x4.h>
#include <assimp/scene.h>

#include "host/scene.h"

namespace render {

struct NodeChannel {
    std::vector<aiVectorKey> position;
    std::vector<aiQuatKey> rotation;
    std::vector<aiVectorKey> scaling;
};

// Between keys: linear for vectors, spherical for rotations; before the first and after the last
// key the end value holds. Keys must be sorted by time and not empty.
aiVector3D interpolate(const std::vector<aiVectorKey> &keys, double ticks);
aiQuaternion interpolate(const std::vector<aiQuatKey> &keys, double ticks);

class NodeTree {
public:
    struct Node {
        std::string name;
        int parent = -1;
        aiMatrix4x4 local;        // the rest placement relative to the parent
        int channel = -1;         // index into channels, or -1 when not animated
    };

    // Every node, parents before children (depth first, in file order), and the channels of the
    // scene's first animation. `order`, when given, receives the Assimp node of each entry.
    static NodeTree fromScene(const aiScene &scene, std::vector<const aiNode *> *order = nullptr);

    int add(const std::string &name, int parent, const aiMatrix4x4 &local);
    // A channel's missing parts come from the node's rest placement; keys are sorted here.
    void animate(int node, NodeChannel channel);

    const std::vector<Node> &nodes() const { return list; }
    bool animated() const { return !channels.empty(); }
    // Ticks per second of the animation; Assimp's customary 25 when the file gives none.
    double ticksPerSecond = 25.0;
    // The earliest and latest key time, in ticks; both 0 without animation.
    double firstKey() const;
    double lastKey() const;

    aiMatrix4x4 localAt(int node, double ticks) const;
    aiMatrix4x4 worldAt(int node, double ticks) const;
    standin::Transform placement(int node, double seconds) const;

private:
    std::vector<Node> list;
    std::vector<NodeChannel> channels;
};

} // namespace render

#endif
