// The target object's polygons for the frame being rendered, in world coordinates.
#ifndef OSTREVIN_TEXTURE_MESH_CACHE_H
#define OSTREVIN_TEXTURE_MESH_CACHE_H

#include "framework/host_api.h"
#include "framework/host_services.h"

namespace ostrevin {

struct CachedPolygon {
    int vertexCount = 0;
    double (*vertices)[3] = nullptr;
    double boundsMin[3] = {0.0, 0.0, 0.0};
    double boundsMax[3] = {0.0, 0.0, 0.0};
    double normal[3] = {0.0, 0.0, 0.0};
    double planeD = 0.0;
};

class MeshCache {
public:
    explicit MeshCache(const HostServices &services) noexcept : services(services) {}
    MeshCache(const MeshCache &) = delete;
    MeshCache &operator=(const MeshCache &) = delete;

    const HostServices &services;
    int polygonCount = 0;
    CachedPolygon *polygons = nullptr;
    double boundsMin[3] = {0.0, 0.0, 0.0};
    double boundsMax[3] = {0.0, 0.0, 0.0};
    LWMeshInfo *mesh = nullptr;
    CachedPolygon *fillCursor = nullptr;
};

} // namespace ostrevin

#endif
