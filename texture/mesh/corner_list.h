// The host's polygon list as its point IDs, kept from build to build, and whether it closes: every
// edge (a pair of points) used by an even number of polygons.
//
// A deforming mesh keeps its list while every position moves, so the count is made again only when
// the list itself changes, not on every frame. IDs, not positions, decide: two points at one
// position (a seam left unwelded) are two points, and would part on a later frame. The IDs are kept
// whole, a word a corner: the host's scan compares each with last build's at the cost of a load,
// where a packed list cost a still target's build a third more.
#ifndef OSTREVIN_TEXTURE_MESH_CORNER_LIST_H
#define OSTREVIN_TEXTURE_MESH_CORNER_LIST_H

#include <stddef.h>
#include <stdint.h>

#include "framework/host_api.h"

namespace ostrevin {

struct PolygonRecord;

class CornerList {
public:
    CornerList() noexcept = default;
    ~CornerList() { delete[] ids; }
    CornerList(const CornerList &) = delete;
    CornerList &operator=(const CornerList &) = delete;

    // During the host's scan, in its order: each polygon's points, as many as its record keeps.
    // Written over the last build's list, and compared with it as it goes.
    void begin() noexcept;
    void corner(LWPntID point) noexcept
    {
        const uintptr_t value = reinterpret_cast<uintptr_t>(point);
        if (!changed) {
            if (cursor < used && ids[cursor] == value) {
                ++cursor;
                return;
            }
            changed = true;
        }
        write(value);
    }
    // After the scan, with the records that split the points into polygons, and whether any
    // record's vertex count (or their number) differs from the last build's: counts the edges
    // again if the list changed.
    void end(const PolygonRecord *records, int count, bool countsChanged) noexcept;
    // No list known (a build that did not follow it, or found no mesh).
    void forget() noexcept
    {
        used = 0;
        closedList = false;
        orientedList = false;
        ++listVersion;
    }

    // Every edge of the last list is used an even number of times (edges of one point repeated
    // never count: they cross nothing). False while no complete list is held.
    bool closed() const noexcept { return closedList; }
    // Closed, and every edge used as often in one direction as in the other: the polygons' fronts
    // agree, and the winding number off the surface is the same whichever way a ray leaves.
    bool oriented() const noexcept { return orientedList; }
    // A complete list is held, and the number of lists seen: two builds that give the same number
    // followed the same list.
    bool known() const noexcept { return used > 0; }
    unsigned int version() const noexcept { return listVersion; }
    // Whether the last end() found another list than the build before it. For tests.
    bool changedLastBuild() const noexcept { return changedLast; }
    size_t bytes() const noexcept { return capacity * sizeof(uintptr_t); }

private:
    // Stores the ID at the cursor, the list growing when full (its first `cursor` IDs kept).
    void write(uintptr_t value) noexcept;
    bool countEdges(const PolygonRecord *records, int count) noexcept;

    uintptr_t *ids = nullptr;
    size_t capacity = 0;
    size_t used = 0;     // IDs of the last complete list
    size_t cursor = 0;   // IDs of this build's list so far
    bool changed = false;
    bool failed = false;   // storage could not be had: the list is unknown
    bool changedLast = false;
    bool closedList = false;
    bool orientedList = false;
    unsigned int listVersion = 0;
};

} // namespace ostrevin

#endif
