// The target object's polygons for the frame being rendered, in world coordinates.
#ifndef OSTREVIN_TEXTURE_MESH_MESH_CACHE_H
#define OSTREVIN_TEXTURE_MESH_MESH_CACHE_H

#include <stddef.h>

#include "framework/host_api.h"
#include "framework/host_services.h"
#include "texture/geometry/axes.h"
#include "texture/geometry/bounds.h"
#include "texture/geometry/polygon_record.h"
#include "texture/inside/crossing_index.h"
#include "texture/inside/fill_rule.h"
#include "texture/inside/record_scan.h"
#include "texture/inside/solid_cells.h"
#include "texture/mesh/corner_list.h"

namespace ostrevin {

class MeshCache {
public:
    explicit MeshCache(const HostServices &services) noexcept : services(services) {}
    ~MeshCache() { delete[] polygons; }
    MeshCache(const MeshCache &) = delete;
    MeshCache &operator=(const MeshCache &) = delete;

    // Rebuilds from the object's current mesh. Item 0 changes nothing. No mesh from the host (no
    // object info, a null or incomplete record): the item of the last build keeps its content,
    // another item empties the cache. When the host gives the very positions of the last build
    // (a target standing still), bounds, planes and index are kept as they are. The fill rule the
    // records serve: Tolerant's index keeps room for a grid on every axis, as its rays need, and
    // its build finds whether the mesh is closed. Every build also keeps the host's polygon list,
    // to know whether the cells may answer (prepareCells).
    void build(LWItemID item, int rule = evenOddRule) noexcept;
    // After a build: lays out the solid cells for rays along `axis` when the last build kept the
    // polygon list and it closes, unless they already stand over these records for that axis.
    // Otherwise there are none, and the parity goes to the index as before.
    void prepareCells(int axis) noexcept;
    // Caches one scanned polygon's vertices at the cursor (build() completes the record once the
    // scan is over); nonzero stops the scan once every announced record is filled.
    int fillPolygon(LWPolID polygon) noexcept;
    // Whether the ray from p towards +axis crosses the cached polygons an odd number of times;
    // u and v are the two other axes. Through the index when the last build completed it,
    // otherwise by scanning every record; the answer is the same either way.
    // Inline: the evaluation path then goes from the instance straight to the test.
    bool isInside(const double p[3], int axis, int u, int v) const noexcept
    {
        if (!polygons || axis < 0 || axis > 2 || u < 0 || u > 2 || v < 0 || v > 2)
            return false;
        // The index pairs each axis with the texture's two in-plane axes; any other pairing scans.
        if (u == crossFirstAxis[axis] && v == crossSecondAxis[axis])
            return parityAlong(p, axis);
        return scanRecords(p, axis, u, v);
    }
    // The same parity by the plain scan of every record, never through the index: the reference
    // the index is held against by the tests and the benchmarks.
    bool scanRecords(const double p[3], int axis, int u, int v) const noexcept
    {
        if (u == crossFirstAxis[axis] && v == crossSecondAxis[axis])
            return scanCrossingsAlong<false, false>(polygons, polygonCount, p, axis) != 0;
        return scanCrossings<false, false>(polygons, polygonCount, p, RayAxes{axis, u, v}) != 0;
    }

    // The crossings along +axis, or -axis when `backwards`, each +1 or -1 by the side the ray
    // passes the polygon from (texture/inside/winding.h); the polygons counted are the parity test's
    // (ahead of p; behind it when backwards). Through the index or the scan, as isInside.
    int windingAlong(const double p[3], int axis, bool backwards) const noexcept
    {
        if (!polygons || axis < 0 || axis > 2)
            return 0;
        return index.usable() ? index.winding(p, axis, backwards) : scanWindingAlong(p, axis, backwards);
    }
    int scanWinding(const double p[3], int axis, int u, int v, bool backwards) const noexcept
    {
        if (u == crossFirstAxis[axis] && v == crossSecondAxis[axis])
            return scanWindingAlong(p, axis, backwards);
        const RayAxes axes{axis, u, v};
        return backwards ? scanCrossings<true, true>(polygons, polygonCount, p, axes)
                         : scanCrossings<true, false>(polygons, polygonCount, p, axes);
    }
    // Whether p is inside by a fill rule (texture/inside/fill_rule.h), the ray along `axis`. Always
    // inline: the evaluation asks it of every point, and on a small mesh a call is a tenth of it.
    __attribute__((always_inline)) bool contains(const double p[3], int axis, int rule) const noexcept
    {
        if (!polygons || axis < 0 || axis > 2)
            return false;
        // A cell's odd parity is an odd sum of crossings of +1 and -1, never 0: inside by
        // Non-Zero too. An even one may be a winding of 2, so the index answers there.
        if (rule == nonZeroRule)
            return cells.lookup(p, axis) == 1 || windingAlong(p, axis, false) != 0;
        if (rule == tolerantRule)
            return tolerantContains(p, axis);
        return parityAlong(p, axis);
    }

    const HostServices &services;
    int polygonCount = 0;
    PolygonRecord *polygons = nullptr;
    Bounds bounds;
    LWMeshInfo *mesh = nullptr;
    PolygonRecord *fillCursor = nullptr;
    // Records in `polygons`; the array is replaced only when a mesh needs more.
    int polygonCapacity = 0;
    // The records' acceleration structure, rebuilt with them for meshes of at least
    // indexThreshold polygons or with a polygon of many vertices.
    CrossingIndex index;
    int indexThreshold = 32;
    // Counts the builds that changed the records (positions, bounds, planes or count): while it
    // stands still, so do they, and whatever was built over them holds.
    unsigned int recordsVersion = 0;
    // Every edge of the last Tolerant build is shared by an even number of polygons (edges matched by
    // their corners' positions, bit for bit): every ray then agrees off the surface.
    bool closed = false;
    // The host's polygon list as point IDs, and whether it closes.
    CornerList corners;
    // Cells away from the surface that answer the parity by a lookup (texture/inside/solid_cells.h).
    SolidCells cells;

private:
    // isInside with the texture's own pairing, once the caller has checked the records and the
    // axis: the evaluation asks it of every point, so it checks nothing twice.
    bool parityAlong(const double p[3], int axis) const noexcept
    {
        const int known = cells.lookup(p, axis);
        if (known >= 0)
            return known != 0;
        return index.usable() ? index.isInside(p, axis)
                              : scanCrossingsAlong<false, false>(polygons, polygonCount, p, axis) != 0;
    }
    // scanWinding with the texture's own pairing.
    int scanWindingAlong(const double p[3], int axis, bool backwards) const noexcept
    {
        return backwards ? scanCrossingsAlong<true, true>(polygons, polygonCount, p, axis)
                         : scanCrossingsAlong<true, false>(polygons, polygonCount, p, axis);
    }
    // Tolerant's answer (contains, once it has checked the records and the axis).
    bool tolerantContains(const double p[3], int axis) const noexcept;
    // No polygons, nothing inside; storage is kept for the next build.
    void forget() noexcept;
    // Bounds, normals and plane constants of the scanned records, and their index entries.
    void completeRecords(bool tolerant) noexcept;

    // Whether the mesh's edges pair up, from a sum of their hashes: see completeRecords.
    bool edgesPairUp() const noexcept;

    PolygonRecord *fillEnd = nullptr;
    bool completedTolerant = false;   // whether the records were last completed for Tolerant
    size_t copyTotal = 0;   // bytes the index's copies of the scanned polygons take
    int widest = 0;         // the most vertices of a scanned polygon
    // The scan found a position, a vertex count or a buffer other than the records held.
    bool changed = false;
    // Records, bounds and index describe the records' positions (a build has completed them).
    bool complete = false;
    // This build's scan compares the positions with the records' (there is no index to), and
    // found one that differs.
    bool comparePositions = false, moved = false;
    // The records' version the cells were laid out over.
    unsigned int cellsVersion = 0;
    // The item the last build was asked for, whether or not the host gave its mesh.
    LWItemID builtItem = nullptr;
};

// Handed to the host's scanPolys with the cache as its data.
extern "C" size_t scanPolygon(void *cache, LWPolID polygon) noexcept;

} // namespace ostrevin

#endif
