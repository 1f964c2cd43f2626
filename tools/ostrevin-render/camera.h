// A camera as the host projects through it: a frame of width by height pixels of the given
// pixel aspect (a pixel's width over its height), and a zoom factor whose reciprocal is the
// tangent of half the vertical field of view; the horizontal field follows from the frame's
// shape. In the tool's axes the camera looks down -z of its own frame, +x right and +y up.
#ifndef OSTREVIN_TOOLS_RENDER_CAMERA_H
#define OSTREVIN_TOOLS_RENDER_CAMERA_H

#include <memory>
#include <optional>

#include "host/scene.h"
#include "tools/ostrevin-render/geometry.h"
#include "tools/ostrevin-render/lws_scene.h"
#include "tools/ostrevin-render/scene_import.h"

namespace render {

struct CameraView {
    Vec3 eye{0.0, 0.0, 0.0};
    Vec3 right{1.0, 0.0, 0.0}, up{0.0, 1.0, 0.0}, forward{0.0, 0.0, -1.0};   // unit length
    double zoom = 3.2;
    int width = 640, height = 480;
    double pixelAspect = 1.0;

    // The image position, in pixels from the top left corner, of a world point; false when the
    // point is not in front of the camera.
    bool project(const Vec3 &p, double &x, double &y) const;
    // The direction, not of unit length, of the ray through image position (x, y).
    Vec3 ray(double x, double y) const;
};

// The camera a scene renders through: its current camera, or its first; none without cameras.
std::optional<SceneCamera> lwsCamera(const std::shared_ptr<const LwsScene> &scene);

// The scene's camera at a time; a width and height above 0 replace its frame size.
CameraView sceneCameraAt(const SceneCamera &camera, double seconds, int width, int height);
// A camera looking the way the front view does (from the host's +Z, +X to the left) at the box,
// with the host's default zoom, far enough back that the whole box is in the frame.
CameraView framingCamera(const Box &box, int width, int height);

} // namespace render

#endif
