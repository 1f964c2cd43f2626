// Scene import: one object per node that carries polygons, its points in object coordinates, its
// polygons whole (never triangulated) and its world placement over time. LightWave scenes are
// read by the tool itself, each object file found in the content directory and loaded on its own;
// other files come through Assimp.
#ifndef OSTREVIN_TOOLS_RENDER_SCENE_IMPORT_H
#define OSTREVIN_TOOLS_RENDER_SCENE_IMPORT_H

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/scene.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/object_errors.h"
#include "tools/ostrevin-render/object_names.h"
#include "tools/ostrevin-render/geometry.h"
#include "tools/ostrevin-render/surface_layers.h"

struct aiScene;

namespace render {

// The scene's camera: its placement over time (looking down -z of its frame, +x right, +y up,
// in the tool's axes), its zoom factor over time, its frame size and pixel aspect.
struct SceneCamera {
    std::string name;
    std::function<standin::Transform(double seconds)> motion;
    std::function<double(double seconds)> zoom;
    int width = 640, height = 480;
    double pixelAspect = 1.0;
};

struct ImportedObject {
    std::string name;
    std::vector<standin::Point3> points;            // object coordinates
    std::vector<std::vector<int>> polygons;         // indices into points, three or more each
    std::function<standin::Transform(double seconds)> motion;
    int parent = -1;                                // the nearest object above it in the scene; -1 none
    std::string file;                               // the file it was loaded from, as found
    // Each polygon's surface, as an index into surfaces (0xFFFF: none), and the surfaces with
    // their layers of this module; both empty unless the object file says.
    std::vector<std::uint16_t> polygonSurfaces;
    std::vector<SurfaceLayers> surfaces;

    // Positions as the host hands them to the texture: placed, then rounded to floats.
    std::vector<Vec3> worldPoints(double seconds) const;
    Box worldBounds(double seconds) const;
};

// A scene's object that could not be loaded.
struct MissingObject {
    std::string pathText;     // the file as the scene writes it
    std::string reason;       // "not found (looked for ...)" or what was wrong with the file
};

struct ImportedScene {
    std::string source;                 // how messages name the scene
    std::vector<ImportedObject> objects;
    bool animated = false;              // whether firstFrame to lastFrame are the frames to play
    double fps = 30.0;                  // the scene's frame rate
    int firstFrame = 0;                 // the frames its animation covers, or the scene declares
    int lastFrame = 0;
    int frameStep = 1;
    std::vector<MissingObject> missing; // kept only when asked to
    std::vector<std::string> surfaceWarnings;   // surface layers left out, each naming its object
    std::optional<SceneCamera> camera;  // the scene's camera, when it has one

    const ImportedObject *find(const std::string &name) const;
    // The object named exactly so, or else every object whose name matches in any case.
    std::vector<const ImportedObject *> findAnyCase(const std::string &name) const;
    std::string objectNames() const;    // "A, B, C" for messages
};

struct ImportSettings {
    std::string contentDirectory;       // empty: the scene's own, as the host picks it
    bool keepMissing = false;           // list missing objects instead of failing
};

// Throws RenderError: a missing or unreadable file, one that cannot be read, no polygons, or a
// scene object that is missing or unreadable (unless kept).
ImportedScene importScene(const std::string &path, const ImportSettings &settings = {});
// The example compiled into the program.
ImportedScene importExample();
// The conversion itself, from a scene Assimp has read.
ImportedScene convertScene(const aiScene &scene, const std::string &source);

// Throws nonFinitePoint for the object's first such point.
void requireFinitePoints(const ImportedObject &object, const std::string &file);


// Puts every object into the stand-in host's scene, in order, each under its parent.
void addToHost(const ImportedScene &scene, standin::Scene &host);

} // namespace render

#endif
