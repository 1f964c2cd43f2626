#include "tools/ostrevin-render/scene_import.h"

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "tools/ostrevin-render/embedded_files.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/lwob_reader.h"
#include "tools/ostrevin-render/node_animation.h"

namespace render {

namespace {

// Joining identical vertices is harmless to the inside test; triangulating would change the
// polygons the texture sees, so it is never asked for.
constexpr unsigned importFlags = aiProcess_JoinIdenticalVertices;

// The module keeps names in 256-byte buffers, and the popup's first entry is "(none)".
std::string uniqueName(std::string name, std::size_t index, std::set<std::string> &taken)
{
    if (name.size() > 240)
        name.resize(240);
    if (name.empty())
        name = "object " + std::to_string(index + 1);
    std::string candidate = name;
    for (int k = 2; candidate == "(none)" || taken.count(candidate); ++k)
        candidate = name + " #" + std::to_string(k);
    taken.insert(candidate);
    return candidate;
}

void appendMesh(const aiMesh &mesh, ImportedObject &object)
{
    if (!mesh.mVertices || mesh.mNumVertices == 0 || !mesh.mFaces)
        return;
    const std::size_t base = object.points.size();
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        const aiVector3D &p = mesh.mVertices[v];
        object.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace &face = mesh.mFaces[f];
        if (face.mNumIndices < 3 || !face.mIndices)
            continue;   // points and lines bound no volume
        std::vector<int> polygon;
        polygon.reserve(face.mNumIndices);
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
            if (face.mIndices[k] >= mesh.mNumVertices) {
                polygon.clear();
                break;
            }
            polygon.push_back(static_cast<int>(base + face.mIndices[k]));
        }
        if (!polygon.empty())
            object.polygons.push_back(std::move(polygon));
    }
}

void checkReadable(const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status))
        throw RenderError("cannot read " + path + ": no such file");
    if (fs::is_directory(status))
        throw RenderError("cannot read " + path + ": it is a directory");
    std::ifstream probe(path, std::ios::binary);
    if (!probe)
        throw RenderError("cannot read " + path + ": " + std::strerror(errno));
}

// Up to `limit` bytes from the start of the file.
std::string readBytes(const std::string &path, std::size_t limit)
{
    std::string bytes;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        for (std::size_t n; bytes.size() < limit && (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            bytes.append(buf, std::min(n, limit - bytes.size()));
        std::fclose(f);
    }
    return bytes;
}

ImportedScene readWith(Assimp::Importer &importer, const std::string &path, const std::string &source)
{
    const aiScene *scene = importer.ReadFile(path, importFlags);
    if (!scene) {
        std::string why = importer.GetErrorString();
        if (why.empty())
            why = "Assimp cannot read it";
        throw RenderError("cannot import " + source + ": " + why);
    }
    return convertScene(*scene, source);
}

} // namespace

std::vector<Vec3> ImportedObject::worldPoints(double seconds) const
{
    const standin::Transform placement = motion ? motion(seconds) : standin::Transform{};
    std::vector<Vec3> world;
    world.reserve(points.size());
    for (const standin::Point3 &p : points) {
        const standin::Point3 w = placement.apply(p);
        world.push_back({w[0], w[1], w[2]});
    }
    return world;
}

Box ImportedObject::worldBounds(double seconds) const
{
    Box box;
    for (const Vec3 &p : worldPoints(seconds))
        box.add(p);
    return box;
}

const ImportedObject *ImportedScene::find(const std::string &name) const
{
    for (const ImportedObject &o : objects)
        if (o.name == name)
            return &o;
    return nullptr;
}

std::string ImportedScene::objectNames() const
{
    std::string list;
    for (const ImportedObject &o : objects)
        list += (list.empty() ? "" : ", ") + o.name;
    return list;
}

ImportedScene convertScene(const aiScene &scene, const std::string &source)
{
    std::vector<const aiNode *> order;
    auto tree = std::make_shared<const NodeTree>(NodeTree::fromScene(scene, &order));

    ImportedScene out;
    out.source = source;
    std::set<std::string> taken;
    std::map<const aiNode *, int> objectOf;   // nodes that became objects
    for (std::size_t n = 0; n < order.size(); ++n) {
        const aiNode &node = *order[n];
        ImportedObject object;
        for (unsigned m = 0; m < node.mNumMeshes; ++m) {
            const unsigned index = node.mMeshes[m];
            if (index < scene.mNumMeshes && scene.mMeshes[index])
                appendMesh(*scene.mMeshes[index], object);
        }
        if (object.polygons.empty())
            continue;
        object.name = uniqueName(node.mName.C_Str(), out.objects.size(), taken);
        const int nodeIndex = static_cast<int>(n);
        object.motion = [tree, nodeIndex](double seconds) { return tree->placement(nodeIndex, seconds); };
        objectOf[&node] = static_cast<int>(out.objects.size());
        out.objects.push_back(std::move(object));
    }
    // Each object's parent: the nearest node above it that is an object, or that holds one as a
    // leaf of its own (LightWave scenes hang an item's mesh below the item's node); not the node
    // right above it, whose other leaves are the same item's other layers.
    for (const auto &[node, index] : objectOf) {
        int &parent = out.objects[static_cast<std::size_t>(index)].parent;
        for (const aiNode *up = node->mParent; up && parent < 0; up = up->mParent) {
            if (objectOf.count(up)) {
                parent = objectOf[up];
                break;
            }
            for (unsigned c = 0; up != node->mParent && c < up->mNumChildren && parent < 0; ++c) {
                const aiNode *leaf = up->mChildren[c];
                if (leaf && leaf->mNumChildren == 0 && objectOf.count(leaf))
                    parent = objectOf[leaf];
            }
        }
    }
    if (out.objects.empty())
        throw RenderError(source + " has no polygons");

    out.animated = tree->animated();
    if (out.animated) {
        // Keys count in ticks; a tick rate that looks like a frame rate is taken as one.
        const double tps = tree->ticksPerSecond;
        out.fps = tps >= 10.0 && tps <= 1000.0 ? tps : 30.0;
        const double first = tree->firstKey() / tps * out.fps, last = tree->lastKey() / tps * out.fps;
        out.firstFrame = static_cast<int>(std::fmax(-1e6, std::floor(first + 1e-6)));
        out.lastFrame = static_cast<int>(std::fmin(1e6, std::ceil(last - 1e-6)));
        if (out.lastFrame < out.firstFrame)
            out.lastFrame = out.firstFrame;
    }
    return out;
}

ImportedScene importScene(const std::string &path)
{
    checkReadable(path);
    // Assimp's LWOB reader turns every such file down (and leaks on the way), so ours reads them.
    if (isLwob(readBytes(path, 12)))
        return readLwob(readBytes(path, std::string::npos), std::filesystem::path(path).stem().string(), path);
    Assimp::Importer importer;
    return readWith(importer, path, path);
}

ImportedScene importExample()
{
    Assimp::Importer importer;
    importer.SetIOHandler(new EmbeddedIOSystem);   // the importer owns it
    return readWith(importer, embeddedSceneName, std::string("examples/") + embeddedSceneName + " (built in)");
}

void addToHost(const ImportedScene &scene, standin::Scene &host)
{
    std::vector<standin::SceneObject *> added;
    for (const ImportedObject &o : scene.objects) {
        standin::SceneObject &object = host.addObject(o.name);
        object.points = o.points;
        object.polygons = o.polygons;
        object.motion = o.motion;
        added.push_back(&object);
    }
    // A parent may come after its children.
    for (std::size_t i = 0; i < added.size(); ++i) {
        const int parent = scene.objects[i].parent;
        if (parent >= 0 && static_cast<std::size_t>(parent) < added.size())
            added[i]->parent = added[static_cast<std::size_t>(parent)]->id;
    }
}

} // namespace render
