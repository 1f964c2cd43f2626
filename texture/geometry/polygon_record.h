// One cached polygon of the target, in world coordinates: what every inside test reads.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_POLYGON_RECORD_H
#define OSTREVIN_TEXTURE_GEOMETRY_POLYGON_RECORD_H

namespace ostrevin {

// One polygon as the host's scan visits it. Owns its vertex buffer; never copied.
struct CachedPolygon {
    CachedPolygon() noexcept = default;
    ~CachedPolygon() { delete[] vertices; }
    CachedPolygon(const CachedPolygon &) = delete;
    CachedPolygon &operator=(const CachedPolygon &) = delete;

    int vertexCount = 0;
    double (*vertices)[3] = nullptr;
    double boundsMin[3] = {0.0, 0.0, 0.0};
    double boundsMax[3] = {0.0, 0.0, 0.0};
    double normal[3] = {0.0, 0.0, 0.0};
    double planeD = 0.0;
    // +1 when `normal` points to the polygon's front (its corners turn counter-clockwise seen from
    // there), -1 when a concave start turns it the other way (texture/winding.h).
    int orientation = 1;
    // Positions the buffer holds; it is replaced only when a polygon needs more.
    int vertexCapacity = 0;
};

} // namespace ostrevin

#endif
