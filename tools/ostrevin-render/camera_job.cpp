#include "tools/ostrevin-render/camera_job.h"

#include <algorithm>
#include <set>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/object_settings.h"
#include "tools/ostrevin-render/ray_caster.h"

namespace render {

namespace {

constexpr unsigned inOutValue = 0x8002;
constexpr unsigned childrenValue = 0x8004;

int indexOf(const ImportedScene &scene, const std::string &name)
{
    for (std::size_t i = 0; i < scene.objects.size(); ++i)
        if (scene.objects[i].name == name)
            return static_cast<int>(i);
    return -1;
}

bool below(const ImportedScene &scene, int object, int ancestor)
{
    int up = scene.objects[static_cast<std::size_t>(object)].parent;
    for (std::size_t steps = 0; up >= 0 && steps <= scene.objects.size(); ++steps) {
        if (up == ancestor)
            return true;
        up = scene.objects[static_cast<std::size_t>(up)].parent;
    }
    return false;
}

std::string legendEntry(const std::string &channel, bool inverted, const std::string &target)
{
    return channelName(channel) + ": " + (inverted ? "outside " : "inside ") + target;
}

// One surface layer into a layer of its own, its target found by its saved item ID or, when
// that is another object here, by its saved name, as settings files are.
LayerUse loadSurfaceLayer(Session &session, const ImportedScene &scene, const ProceduralLayer &layer, int &target,
                          bool &children)
{
    const SavedSettings saved = parseObjectSettings(layer.data, "its saved data");
    const std::size_t index = session.addObjectLayer(layer.data, "its saved data");
    target = session.targetPosition(index) - 1;
    if (target < 0 || static_cast<std::size_t>(target) >= scene.objects.size() ||
        scene.objects[static_cast<std::size_t>(target)].name != saved.itemName) {
        target = indexOf(scene, saved.itemName);
        if (target < 0)
            throw RenderError("its target \"" + saved.itemName + "\" is not in the scene");
        session.pickTarget(saved.itemName, index);
    }
    children = session.layerAt(index).value(childrenValue, 0) != 0;
    LayerUse use;
    use.layer = &session.layerAt(index);
    use.axis = layer.axis;
    use.mapping = &layer.mapping;
    use.texture = layer.mapping.transform();
    use.referenceObject = layer.mapping.referenceObject.empty() ? -1 : indexOf(scene, layer.mapping.referenceObject);
    use.opacity = layer.opacity;
    use.negative = layer.negative;
    return use;
}

} // namespace

CameraTexturing setUpTexturing(Session &session, const ImportedScene &scene, const Options &o,
                               const MaskObjects &mask, Progress &progress)
{
    const int target = static_cast<int>(mask.members.front());
    for (const std::string &w : scene.surfaceWarnings)
        progress.warn(w + "; the layer is left out");
    CameraTexturing t;
    t.objects.resize(scene.objects.size());
    std::set<std::string> entries;
    std::set<int> targets;
    // Surfaces that carry the texture, read or not: the command line's layer then stays off them.
    bool carried = !scene.surfaceWarnings.empty();
    for (std::size_t i = 0; i < scene.objects.size(); ++i) {
        const ImportedObject &object = scene.objects[i];
        if (object.surfaces.empty())
            continue;
        ObjectTexturing &texturing = t.objects[i];
        texturing.polygonSurfaces = &object.polygonSurfaces;
        texturing.bySurface.resize(object.surfaces.size());
        for (std::size_t s = 0; s < object.surfaces.size(); ++s)
            for (const ProceduralLayer &layer : object.surfaces[s].layers) {
                carried = true;
                if (!layer.enabled)
                    continue;
                try {
                    int layerTarget = -1;
                    bool children = false;
                    const LayerUse use = loadSurfaceLayer(session, scene, layer, layerTarget, children);
                    texturing.bySurface[s].push_back(use);
                    ++t.surfaceLayers;
                    for (const std::size_t m :
                         maskObjects(scene, static_cast<std::size_t>(layerTarget), children).members)
                        targets.insert(static_cast<int>(m));
                    const std::string entry = legendEntry(layer.channel, use.layer->value(inOutValue, 0) != 0,
                                                          scene.objects[static_cast<std::size_t>(layerTarget)].name);
                    if (entries.insert(entry).second)
                        t.legend.push_back(entry);
                } catch (const RenderError &e) {
                    progress.warn("object \"" + object.name + "\", surface \"" + layer.surface +
                                  "\": the texture layer is left out: " + e.what());
                }
            }
    }

    std::vector<int> applied;
    for (const std::string &name : o.applyTo) {
        // As --target: the name exactly, or in any case when only one object has it so.
        const std::vector<const ImportedObject *> matches = scene.findAnyCase(name);
        if (matches.size() != 1)
            throw RenderError("--apply-to names \"" + name + "\", which " + scene.source +
                              (matches.empty() ? " does not have" : " has in several cases") + " (objects: " +
                              scene.objectNames() + ")");
        applied.push_back(static_cast<int>(matches.front() - scene.objects.data()));
    }
    if (o.applyTo.empty() && !carried)
        for (std::size_t i = 0; i < scene.objects.size(); ++i)
            if (static_cast<int>(i) != target && !below(scene, static_cast<int>(i), target))
                applied.push_back(static_cast<int>(i));
    for (int i : applied) {
        LayerUse use;
        use.layer = &session.layerAt(0);
        use.axis = o.axis;
        t.objects[static_cast<std::size_t>(i)].everywhere.push_back(use);
    }
    if (!applied.empty()) {
        for (const std::size_t m : mask.members)
            targets.insert(static_cast<int>(m));
        const std::string entry = legendEntry("COLR", session.inverted(), scene.objects[static_cast<std::size_t>(target)].name);
        if (entries.insert(entry).second)
            t.legend.push_back(entry);
    }
    t.targets.assign(targets.begin(), targets.end());
    return t;
}

CameraView cameraFor(const ImportedScene &scene, const Options &o, const Box &all, double seconds)
{
    if (scene.camera)
        return sceneCameraAt(*scene.camera, seconds, o.width, o.height);
    return framingCamera(all, o.width > 0 ? o.width : 640, o.height > 0 ? o.height : 480);
}

Image renderCameraImage(const ImportedScene &scene, const CameraTexturing &texturing, const CameraView &camera,
                        const Options &o, double seconds, CameraPassStats &stats, const Tick &tick)
{
    CameraFrame frame;
    RayCaster rays;
    std::vector<std::vector<Vec3>> world(scene.objects.size());
    const std::set<int> targets(texturing.targets.begin(), texturing.targets.end());
    for (std::size_t i = 0; i < scene.objects.size(); ++i) {
        const ImportedObject &object = scene.objects[i];
        world[i] = object.worldPoints(seconds);
        // A target is a helper volume: outlined, not shaded, so that the effect it makes shows.
        rays.addObject(world[i], targets.count(static_cast<int>(i)) ? std::vector<std::vector<int>>{} : object.polygons);
        frame.placements.push_back(object.motion ? object.motion(seconds) : standin::Transform{});
    }
    rays.commit();
    frame.camera = &camera;
    frame.rays = &rays;
    frame.texturing = texturing.objects;
    frame.effect = {static_cast<unsigned char>(o.effectColour[0]), static_cast<unsigned char>(o.effectColour[1]),
                    static_cast<unsigned char>(o.effectColour[2])};
    frame.samplesPerSide = o.samplesPerSide;
    frame.threads = o.threads;
    Image image = renderCameraFrame(frame, stats, tick);
    for (int target : texturing.targets)
        if (target >= 0 && static_cast<std::size_t>(target) < scene.objects.size())
            drawTargetOutline(image, camera, world[static_cast<std::size_t>(target)],
                              scene.objects[static_cast<std::size_t>(target)].polygons);
    return withCameraLegend(image, texturing.legend, frame.effect);
}

} // namespace render
