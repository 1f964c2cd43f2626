// The picture an artist checks first: the scene through its camera, surfaces grey under a light
// at the camera, the texture's value blending the effect colour in where each surface's layers
// say, several samples a pixel; the target's outline drawn faintly over it, and a legend.
#ifndef OSTREVIN_TOOLS_RENDER_CAMERA_VIEW_H
#define OSTREVIN_TOOLS_RENDER_CAMERA_VIEW_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/texture_layer.h"
#include "tools/ostrevin-render/camera.h"
#include "tools/ostrevin-render/image.h"
#include "tools/ostrevin-render/ray_caster.h"
#include "tools/ostrevin-render/surface_layers.h"
#include "tools/ostrevin-render/views.h"

namespace render {

// One texture layer as a surface uses it.
struct LayerUse {
    standin::TextureLayer *layer = nullptr;
    int axis = 2;
    const TextureMapping *mapping = nullptr;   // null: the world position is the texture position
    standin::Transform texture;                // the mapping's transform, made once
    int referenceObject = -1;                  // the object the mapping follows, or -1
    double opacity = 1.0;
    bool negative = false;
};

struct ObjectTexturing {
    const std::vector<std::uint16_t> *polygonSurfaces = nullptr;   // each polygon's surface
    std::vector<std::vector<LayerUse>> bySurface;   // by the polygon's surface
    std::vector<LayerUse> everywhere;               // on every polygon of the object
    bool any() const;
};

struct CameraFrame {
    const CameraView *camera = nullptr;
    const RayCaster *rays = nullptr;
    std::vector<standin::Transform> placements;     // each object's at this time
    std::vector<ObjectTexturing> texturing;         // each object's
    Rgb effect{255, 140, 0};
    int samplesPerSide = 2;                         // samples a pixel: the square of this
    int threads = 1;
};

struct CameraPassStats {
    long long points = 0;          // texture evaluations
    double seconds = 0.0;          // the pass, wall clock
    double raySeconds = 0.0;       // summed over threads
    double textureSeconds = 0.0;   // summed over threads
    double slowestFirst = 0.0;     // the longest first evaluation of any thread
};

// The access record the host fills for a shaded point under the layer's mapping.
LWTextureAccess accessFor(const LayerUse &use, const Vec3 &world, const standin::Transform &objectInverse,
                          const std::vector<standin::Transform> &inverses);

standin::Transform inverse(const standin::Transform &m);

Image renderCameraFrame(const CameraFrame &frame, CameraPassStats &stats, const Tick &tick = {});

// The edges where the mesh turns away from the camera, and its open edges, drawn faintly.
void drawTargetOutline(Image &image, const CameraView &camera, const std::vector<Vec3> &points,
                       const std::vector<std::vector<int>> &polygons);

// The image with a band below it: the effect's colour and a line per entry ("Color: inside Star").
Image withCameraLegend(const Image &image, const std::vector<std::string> &entries, Rgb effect);

} // namespace render

#endif
