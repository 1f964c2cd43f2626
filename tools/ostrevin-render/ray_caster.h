// The scene's surfaces for camera rays, through Embree: every object's polygons, placed at one
// time and cut into triangles for the rays alone (the texture still sees whole polygons). A hit
// names the object and its polygon, so that the polygon's surface can be found.
#ifndef OSTREVIN_TOOLS_RENDER_RAY_CASTER_H
#define OSTREVIN_TOOLS_RENDER_RAY_CASTER_H

#include <memory>
#include <vector>

#include "tools/ostrevin-render/geometry.h"

namespace render {

// A polygon's corners as triangles, each three indices into `corners`; concave polygons are
// cut by their ears, in the plane the polygon faces most.
std::vector<int> triangulate(const std::vector<Vec3> &points, const std::vector<int> &corners);

struct RayHit {
    int object = -1;         // -1: the ray hit nothing
    int polygon = -1;
    double distance = 0.0;   // along the ray, in units of its direction's length
    Vec3 normal{0.0, 0.0, 0.0};   // the hit triangle's, of unit length, facing the ray
};

class RayCaster {
public:
    RayCaster();
    ~RayCaster();
    RayCaster(const RayCaster &) = delete;
    RayCaster &operator=(const RayCaster &) = delete;

    // Adds an object's polygons at their world positions; the object's number is its order.
    void addObject(const std::vector<Vec3> &points, const std::vector<std::vector<int>> &polygons);
    // Builds the scene; needed once after the objects are added and before the first ray.
    void commit();
    // Safe from several threads at once after commit().
    RayHit cast(const Vec3 &origin, const Vec3 &direction) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace render

#endif
