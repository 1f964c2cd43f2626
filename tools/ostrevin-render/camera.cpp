#include "tools/ostrevin-render/camera.h"

#include <algorithm>
#include <cmath>

namespace render {

namespace {

double dot(const Vec3 &a, const Vec3 &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec3 unit(const Vec3 &v)
{
    const double n = std::sqrt(dot(v, v));
    return n > 0 ? Vec3{v[0] / n, v[1] / n, v[2] / n} : v;
}

constexpr double defaultZoom = 3.2;

} // namespace

bool CameraView::project(const Vec3 &p, double &x, double &y) const
{
    const Vec3 d{p[0] - eye[0], p[1] - eye[1], p[2] - eye[2]};
    const double depth = dot(d, forward);
    if (!(depth > 0.0))
        return false;
    const double halfHeight = height / 2.0;
    // In units of half the frame's height on the image plane at distance zoom.
    const double across = zoom * dot(d, right) / depth, above = zoom * dot(d, up) / depth;
    x = width / 2.0 + across * halfHeight / pixelAspect;
    y = halfHeight - above * halfHeight;
    return true;
}

Vec3 CameraView::ray(double x, double y) const
{
    const double halfHeight = height / 2.0;
    const double across = (x - width / 2.0) * pixelAspect / halfHeight / zoom;
    const double above = (halfHeight - y) / halfHeight / zoom;
    return {forward[0] + across * right[0] + above * up[0], forward[1] + across * right[1] + above * up[1],
            forward[2] + across * right[2] + above * up[2]};
}

std::optional<SceneCamera> lwsCamera(const std::shared_ptr<const LwsScene> &scene)
{
    if (!scene || scene->cameras.empty())
        return std::nullopt;
    const std::size_t which = scene->currentCamera >= 0 && static_cast<std::size_t>(scene->currentCamera) < scene->cameras.size()
                                  ? static_cast<std::size_t>(scene->currentCamera)
                                  : 0;
    const LwsCameraLens &lens = scene->cameras[which];
    SceneCamera camera;
    camera.name = scene->items[lens.item].name.empty() ? "Camera" : scene->items[lens.item].name;
    const std::size_t item = lens.item;
    camera.motion = [scene, item](double seconds) { return scene->placement(item, seconds); };
    camera.zoom = [scene, which](double seconds) { return scene->cameras[which].zoom.evaluate(seconds); };
    camera.width = lens.width > 0 ? lens.width : scene->frameWidth;
    camera.height = lens.height > 0 ? lens.height : scene->frameHeight;
    camera.pixelAspect = lens.pixelAspect > 0 ? lens.pixelAspect : scene->pixelAspect;
    return camera;
}

CameraView sceneCameraAt(const SceneCamera &camera, double seconds, int width, int height)
{
    const standin::Transform m = camera.motion ? camera.motion(seconds) : standin::Transform{};
    CameraView view;
    view.eye = {m.m[0][3], m.m[1][3], m.m[2][3]};
    view.right = unit({m.m[0][0], m.m[1][0], m.m[2][0]});
    view.up = unit({m.m[0][1], m.m[1][1], m.m[2][1]});
    view.forward = unit({-m.m[0][2], -m.m[1][2], -m.m[2][2]});
    const double zoom = camera.zoom ? camera.zoom(seconds) : defaultZoom;
    view.zoom = std::isfinite(zoom) && zoom > 1e-6 ? zoom : defaultZoom;
    view.width = width > 0 ? width : camera.width;
    view.height = height > 0 ? height : camera.height;
    view.pixelAspect = camera.pixelAspect > 0 ? camera.pixelAspect : 1.0;
    return view;
}

CameraView framingCamera(const Box &box, int width, int height)
{
    CameraView view;
    view.width = std::max(1, width);
    view.height = std::max(1, height);
    view.zoom = defaultZoom;
    view.right = {-1.0, 0.0, 0.0};
    view.up = {0.0, 1.0, 0.0};
    view.forward = {0.0, 0.0, 1.0};
    const Vec3 c = box.empty() ? Vec3{0, 0, 0} : box.centre();
    const Vec3 half = box.empty() ? Vec3{1, 1, 1}
                                  : Vec3{(box.max[0] - box.min[0]) / 2, (box.max[1] - box.min[1]) / 2,
                                         (box.max[2] - box.min[2]) / 2};
    const double radius = std::max(1e-6, std::sqrt(dot(half, half)));
    // The narrower of the two fields decides; the sphere round the box fits it with a margin.
    const double aspect = static_cast<double>(view.width) / view.height;
    const double tangent = std::min(1.0, aspect) / view.zoom;
    const double distance = 1.1 * radius * std::sqrt(1.0 + 1.0 / (tangent * tangent));
    view.eye = {c[0], c[1], c[2] - distance};
    return view;
}

} // namespace render
