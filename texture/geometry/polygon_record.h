// One polygon of the target as the mesh cache holds it, in world coordinates: the record every
// inside test and every distance reads. It lives here, below its owner, so that the layers reading
// it need not include the cache.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_POLYGON_RECORD_H
#define OSTREVIN_TEXTURE_GEOMETRY_POLYGON_RECORD_H

#include "texture/geometry/bounds.h"

namespace ostrevin {

// One polygon as the host's scan visits it. Owns its vertex buffer; never copied.
struct PolygonRecord {
    PolygonRecord() noexcept = default;
    ~PolygonRecord() { delete[] vertices; }
    PolygonRecord(const PolygonRecord &) = delete;
    PolygonRecord &operator=(const PolygonRecord &) = delete;

    int vertexCount = 0;
    double (*vertices)[3] = nullptr;
    Bounds bounds;
    double normal[3] = {0.0, 0.0, 0.0};
    double planeD = 0.0;
    // +1 when `normal` points to the polygon's front (its corners turn counter-clockwise seen from
    // there), -1 when a concave start turns it the other way (texture/inside/winding.h).
    int orientation = 1;
    // Positions the buffer holds; it is replaced only when a polygon needs more.
    int vertexCapacity = 0;
};

} // namespace ostrevin

#endif
