// The camera view's part of a render: the texture layers the objects' surfaces carry, loaded
// into layers of their own, the objects the command line's layer goes on, and each frame shaded
// through the camera.
#ifndef OSTREVIN_TOOLS_RENDER_CAMERA_JOB_H
#define OSTREVIN_TOOLS_RENDER_CAMERA_JOB_H

#include <functional>
#include <string>
#include <vector>

#include "tools/ostrevin-render/camera_view.h"
#include "tools/ostrevin-render/mask_objects.h"
#include "tools/ostrevin-render/options.h"
#include "tools/ostrevin-render/progress.h"
#include "tools/ostrevin-render/scene_import.h"
#include "tools/ostrevin-render/session.h"

namespace render {

// What shades the objects: each object's layers by surface, and what the legend and the
// outlines name. Built before rendering starts, since layers are made then.
struct CameraTexturing {
    std::vector<ObjectTexturing> objects;
    std::vector<std::string> legend;       // "Color: inside Star", one per channel and target
    std::vector<int> targets;              // objects drawn as outlines: targets and the children they take
    int surfaceLayers = 0;
};

// Loads every surface layer of this module into a layer of its own; a damaged one, or one whose
// target is not in the scene, is left out with one warning naming the object and surface. The
// session's own layer, whose target and children are `mask`, goes on the --apply-to objects or,
// when no surface carries the texture, on every object that is neither the target nor below it.
CameraTexturing setUpTexturing(Session &session, const ImportedScene &scene, const Options &o,
                               const MaskObjects &mask, Progress &progress);

// The camera at a time: the scene's, or one framing `all`.
CameraView cameraFor(const ImportedScene &scene, const Options &o, const Box &all, double seconds);

// One frame: the objects placed, the rays cast and the image with its outlines and legend.
Image renderCameraImage(const ImportedScene &scene, const CameraTexturing &texturing, const CameraView &camera,
                        const Options &o, double seconds, CameraPassStats &stats, const Tick &tick);

} // namespace render

#endif
