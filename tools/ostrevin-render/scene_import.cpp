#include "tools/ostrevin-render/scene_import.h"

#include <cerrno>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "tools/ostrevin-render/camera.h"
#include "tools/ostrevin-render/content_directory.h"
#include "tools/ostrevin-render/embedded_files.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/lwo2_reader.h"
#include "tools/ostrevin-render/lwob_reader.h"
#include "tools/ostrevin-render/lws_scene.h"
#include "tools/ostrevin-render/node_animation.h"

namespace render {

namespace {

// Joining identical vertices is harmless to the inside test; triangulating would change the
// polygons the texture sees, so it is never asked for.
constexpr unsigned importFlags = aiProcess_JoinIdenticalVertices;


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

// Up to `limit` bytes from the start of the file; a file that cannot be opened or read is named
// with the system's reason (no permission, say), not taken for an empty one.
std::string readBytes(const std::string &path, std::size_t limit)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw RenderError("cannot read " + path + ": " + std::strerror(errno));
    std::string bytes;
    char buf[65536];
    for (std::size_t n; bytes.size() < limit && (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        bytes.append(buf, std::min(n, limit - bytes.size()));
    const int error = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (error)
        throw RenderError("cannot read " + path + ": " + std::strerror(error));
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
    ImportedScene out = convertScene(*scene, source);
    // Assimp names an unnamed LWO layer "Layer_N"; the host names such an object after its file.
    const std::filesystem::path file(path);
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    if (extension == ".lwo") {
        std::set<std::string> taken;
        for (std::size_t i = 0; i < out.objects.size(); ++i) {
            std::string &name = out.objects[i].name;
            const bool unnamedLayer = name.rfind("Layer_", 0) == 0 && name.size() > 6 &&
                                      name.find_first_not_of("0123456789", 6) == std::string::npos;
            name = uniqueName(unnamedLayer ? file.stem().string() : name, i, taken);
        }
    }
    return out;
}

struct ObjectData {
    std::string name;
    ImportedObject mesh;
    std::array<double, 3> pivot{0.0, 0.0, 0.0};
    std::vector<std::string> warnings;   // surface layers left out
};

void collectLayer(const aiScene &scene, const aiNode *node, const std::string *layerName, ImportedObject &out, int depth)
{
    if (!node || depth > 10000)
        return;
    if (!layerName || *layerName == node->mName.C_Str())
        for (unsigned m = 0; m < node->mNumMeshes; ++m)
            if (node->mMeshes[m] < scene.mNumMeshes && scene.mMeshes[node->mMeshes[m]])
                appendMesh(*scene.mMeshes[node->mMeshes[m]], out);
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        collectLayer(scene, node->mChildren[i], layerName, out, depth + 1);
}

// One layer of one object file, in object coordinates: LWOB by the tool's reader, the rest by
// Assimp. Named after the layer when it has a name, else after the file.
ObjectData loadObject(const std::string &bytes, const std::string &file, int layer)
{
    ObjectData out;
    const std::filesystem::path path(file);
    out.name = path.stem().string();
    const std::string noLayer = file + " has no layer " + std::to_string(layer);
    if (isLwob(bytes)) {
        if (layer != 1)
            throw RenderError(noLayer);
        ImportedScene read = readLwob(bytes, out.name, file);
        out.mesh = std::move(read.objects.front());
        return out;
    }
    if (isLwo2(bytes)) {
        Lwo2Object read = readLwo2(bytes, file, layer - 1);
        for (Lwo2Layer &l : read.layers) {
            if (l.number + 1 != layer)
                continue;
            out.mesh = std::move(l.object);
            // The layer's pivot is written in the host's axes, as the scene's pivots are.
            out.pivot = l.pivot;
            if (!l.name.empty())
                out.name = l.name;
            out.warnings = std::move(read.warnings);
            return out;
        }
        throw RenderError(noLayer);
    }
    Assimp::Importer importer;
    std::string hint = path.extension().string();
    if (!hint.empty())
        hint.erase(0, 1);
    std::transform(hint.begin(), hint.end(), hint.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const aiScene *scene = bytes.empty() ? nullptr
                                         : importer.ReadFileFromMemory(bytes.data(), bytes.size(), importFlags, hint.c_str());
    if (!scene) {
        std::string why = bytes.empty() ? "it is empty" : importer.GetErrorString();
        throw RenderError("cannot import " + file + ": " + (why.empty() ? "Assimp cannot read it" : why));
    }
    if (layer != 1)
        throw RenderError(noLayer);
    collectLayer(*scene, scene->mRootNode, nullptr, out.mesh, 0);
    requireFinitePoints(out.mesh, file);
    return out;
}

// Finds a scene's object file: its bytes and a name for messages, or where it was looked for.
using ObjectFiles = std::function<bool(const std::string &pathText, std::string &bytes, std::string &file,
                                       std::string &lookedFor)>;

ImportedScene assembleLws(const std::string &text, const std::string &source, const ObjectFiles &files,
                          bool keepMissing)
{
    LwsScene lws = parseLws(text, source);
    ImportedScene out;
    out.source = source;
    std::vector<std::pair<std::size_t, ObjectData>> loaded;
    for (std::size_t i = 0; i < lws.items.size(); ++i) {
        LwsItem &item = lws.items[i];
        if (item.kind != LwsItem::Kind::Object)
            continue;
        std::string bytes, file, lookedFor;
        try {
            if (!files(item.pathText, bytes, file, lookedFor)) {
                out.missing.push_back({item.pathText, "not found (looked for " + lookedFor + ")"});
                continue;
            }
            ObjectData data = loadObject(bytes, file, item.layer);
            data.mesh.file = item.layer == 1 ? file : file + " layer " + std::to_string(item.layer);
            if (!item.pivotGiven)
                item.pivot = data.pivot;
            for (const std::string &w : data.warnings)
                out.surfaceWarnings.push_back("object \"" + data.name + "\" (" + file + "), " + w);
            // Objects without polygons (points, nulls saved as files) bound no volume.
            if (!data.mesh.polygons.empty())
                loaded.emplace_back(i, std::move(data));
        } catch (const RenderError &e) {
            out.missing.push_back({item.pathText, std::string("unreadable: ") + e.what()});
        }
    }
    if (!out.missing.empty() && !keepMissing) {
        const MissingObject &m = out.missing.front();
        std::string message = source + ": object " + m.pathText + " " + m.reason;
        if (out.missing.size() > 1)
            message += "; " + std::to_string(out.missing.size() - 1) + " more missing (--list shows them)";
        throw RenderError(message);
    }
    if (loaded.empty() && out.missing.empty())
        throw RenderError(source + " has no polygons");

    const auto scene = std::make_shared<const LwsScene>(std::move(lws));
    std::set<std::string> taken;
    std::vector<int> objectOfItem(scene->items.size(), -1);
    for (auto &[item, data] : loaded) {
        ImportedObject object = std::move(data.mesh);
        object.name = uniqueName(data.name, out.objects.size(), taken);
        const std::size_t index = item;
        object.motion = [scene, index](double seconds) { return scene->placement(index, seconds); };
        objectOfItem[item] = static_cast<int>(out.objects.size());
        out.objects.push_back(std::move(object));
    }
    // Each object hangs under the nearest loaded object above it (nulls and the like passed
    // through); the reader has refused parent loops, and the walk is bounded all the same.
    for (auto &[item, data] : loaded) {
        int up = scene->items[item].parent;
        for (std::size_t steps = 0; up >= 0 && steps < scene->items.size(); ++steps) {
            if (objectOfItem[static_cast<std::size_t>(up)] >= 0) {
                out.objects[static_cast<std::size_t>(objectOfItem[item])].parent = objectOfItem[static_cast<std::size_t>(up)];
                break;
            }
            up = scene->items[static_cast<std::size_t>(up)].parent;
        }
    }

    out.camera = lwsCamera(scene);

    out.fps = scene->fps;
    if (scene->frameRangeGiven) {
        out.animated = true;
        out.firstFrame = scene->firstFrame;
        out.lastFrame = scene->lastFrame;
        out.frameStep = scene->frameStep;
    } else if (scene->animated()) {
        out.animated = true;
        out.firstFrame = static_cast<int>(std::fmax(-1e6, std::floor(scene->firstKey() * out.fps + 1e-6)));
        out.lastFrame = static_cast<int>(std::fmin(1e6, std::ceil(scene->lastKey() * out.fps - 1e-6)));
        out.lastFrame = std::max(out.lastFrame, out.firstFrame);
    }
    return out;
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

std::vector<const ImportedObject *> ImportedScene::findAnyCase(const std::string &name) const
{
    if (const ImportedObject *exact = find(name))
        return {exact};
    auto lower = [](std::string s) {
        for (char &c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::vector<const ImportedObject *> matches;
    for (const ImportedObject &o : objects)
        if (lower(o.name) == lower(name))
            matches.push_back(&o);
    return matches;
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
        object.file = source;
        requireFinitePoints(object, source + ", object \"" + object.name + "\"");
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

ImportedScene importScene(const std::string &path, const ImportSettings &settings)
{
    checkReadable(path);
    const std::string head = readBytes(path, 64);
    // Assimp's LWOB reader turns every such file down (and leaks on the way), so ours reads them.
    if (isLwob(head))
        return readLwob(readBytes(path, std::string::npos), std::filesystem::path(path).stem().string(), path);
    // Assimp's reader held several copies of a large object's geometry; ours holds one.
    if (isLwo2(head))
        return lwo2Scene(readBytes(path, std::string::npos), std::filesystem::path(path).stem().string(), path);
    // Assimp's scene reader finds objects only where the scene's text points on this machine,
    // plays every curve as straight lines and drops what it cannot find, so ours reads scenes.
    if (isLwsText(head)) {
        const std::string content =
            settings.contentDirectory.empty() ? defaultContentDirectory(path) : settings.contentDirectory;
        const ObjectFiles disk = [&content](const std::string &text, std::string &bytes, std::string &file,
                                            std::string &lookedFor) {
            const ObjectLocation where = locateObject(text, content);
            lookedFor = where.lookedFor;
            if (!where.found)
                return false;
            file = where.path;
            bytes = readBytes(file, std::string::npos);
            return true;
        };
        return assembleLws(readBytes(path, std::string::npos), path, disk, settings.keepMissing);
    }
    Assimp::Importer importer;
    return readWith(importer, path, path);
}

ImportedScene importExample()
{
    const EmbeddedFile *scene = EmbeddedIOSystem::find(embeddedSceneName);
    if (!scene)
        throw RenderError("the built-in example is missing from this program");
    const ObjectFiles embedded = [](const std::string &text, std::string &bytes, std::string &file,
                                    std::string &lookedFor) {
        lookedFor = text + " among the built-in files";
        const EmbeddedFile *f = EmbeddedIOSystem::find(text);
        if (!f)
            return false;
        file = std::string("examples/") + f->name;
        bytes.assign(reinterpret_cast<const char *>(f->data), f->size);
        return true;
    };
    return assembleLws(std::string(reinterpret_cast<const char *>(scene->data), scene->size),
                       std::string("examples/") + embeddedSceneName + " (built in)", embedded, false);
}

void requireFinitePoints(const ImportedObject &object, const std::string &file)
{
    for (std::size_t i = 0; i < object.points.size(); ++i)
        for (const float c : object.points[i])
            if (!std::isfinite(c))
                throw nonFinitePoint(file, i, c);
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
