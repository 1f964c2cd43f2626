// The distance to a polygon of many corners, in time that grows with the corners near the point.
//
// polygonDistanceSquared walks every edge twice: once for the crossing rule (is the foot inside?)
// and, outside, once for the nearest edge. On a cap of a few thousand corners that is most of a
// soft edge's cost. Here each such polygon keeps its corners dropped onto its plane (the same
// arithmetic, so the same bits) and its edges listed in slabs across v, the in-plane axis the
// crossing rule's lines run across:
//  - the crossing rule reads only the edges that straddle the foot's line (polygon_crossing.h);
//    an edge straddles it only from the slabs its ends span, so the foot's slab holds them all,
//    and their exclusive or is the walk's;
//  - the nearest edge is sought slab by slab outwards from the point's, and a slab is left once
//    even its nearest possible edge, a full slab short of its own distance along v, lies beyond
//    the best found (with room for rounding): the minimum over those edges is the walk's, each
//    edge measured by the same function.
// So the answer is polygonDistanceSquared's to the bit, whatever the polygon.
#ifndef OSTREVIN_TEXTURE_DISTANCE_OUTLINE_SLABS_H
#define OSTREVIN_TEXTURE_DISTANCE_OUTLINE_SLABS_H

#include <stddef.h>
#include <stdint.h>

#include "texture/geometry/polygon_record.h"

namespace ostrevin {

class OutlineSlabs {
public:
    // Polygons of more corners than this get slabs: below it the walk costs less than the slabs.
    static constexpr int fewestCorners = 33;

    OutlineSlabs() noexcept = default;
    ~OutlineSlabs();
    OutlineSlabs(const OutlineSlabs &) = delete;
    OutlineSlabs &operator=(const OutlineSlabs &) = delete;

    // Lays out the slabs of every record of at least fewestCorners corners that has a plane and is
    // measured (kept[i] not 0, when `kept` is given). False when storage cannot be had: then no
    // polygon has slabs, and every distance walks.
    bool build(const PolygonRecord *records, int count, const unsigned char *kept = nullptr) noexcept;
    void clear() noexcept;

    // polygonDistanceSquared(records[record], p, limit), to the bit.
    double distanceSquared(const PolygonRecord *records, int record, const double p[3], double limit) const noexcept;

    int outlineCount() const noexcept { return outlines; }
    size_t bytes() const noexcept;

private:
    struct Outline {
        double n[3];
        double d;
        int u, v;
        int corners;
        uint32_t slabs;
        size_t firstCorner;   // into dropped
        size_t firstSlab;     // into slabStart, slabs + 1 of them
        double vLow, vScale, slabWidth;
        double reach;   // the largest magnitude of a dropped corner's coordinate
    };
    double slabbedDistance(const Outline &o, const double p[3], double limit) const noexcept;

    int32_t *outlineOf = nullptr;   // by record: its outline, or -1
    size_t outlineOfHeld = 0;
    Outline *outlineList = nullptr;
    size_t outlineListHeld = 0;
    double (*dropped)[3] = nullptr;
    size_t droppedHeld = 0;
    size_t *slabStart = nullptr;     // per outline's slab, its first entry in edges
    size_t slabStartHeld = 0;
    uint32_t *edges = nullptr;       // an edge j joins corners j - 1 and j (0 joins the last)
    size_t edgesHeld = 0;
    int recordCount = 0;
    int outlines = 0;
};

} // namespace ostrevin

#endif
