// The host's polygon list as its point IDs, kept from build to build in a few bytes a corner, and
// whether it closes: every edge (a pair of points) used by an even number of polygons.
//
// A deforming mesh keeps its list while every position moves, so the count is made again only when
// the list itself changes, not on every frame. IDs, not positions, decide: two points at one
// position (a seam left unwelded) are two points, and would part on a later frame.
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
    ~CornerList() { delete[] stream; }
    CornerList(const CornerList &) = delete;
    CornerList &operator=(const CornerList &) = delete;

    // During the host's scan, in its order: each polygon's points, as many as its record keeps.
    // Written over the last build's list, and compared with it as it goes.
    void begin() noexcept;
    void corner(LWPntID point) noexcept
    {
        const uintptr_t value = reinterpret_cast<uintptr_t>(point);
        const uintptr_t difference = value - previous;
        previous = value;
        ++corners;
        // The difference's sign into the lowest bit, so that a small step back is a small number.
        const uintptr_t negative = difference >> (sizeof(uintptr_t) * 8 - 1);
        put((difference << 1) ^ (uintptr_t{0} - negative));
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
    }

    // Every edge of the last list is used an even number of times (edges of one point repeated
    // never count: they cross nothing). False while no complete list is held.
    bool closed() const noexcept { return closedList; }
    // Whether the last end() found another list than the build before it. For tests.
    bool changedLastBuild() const noexcept { return changedLast; }
    size_t bytes() const noexcept { return capacity; }

private:
    // One unsigned number, seven bits a byte, lowest first; the list is a stream of them (each
    // point's difference from the one before, its sign in the lowest bit), so a mesh whose IDs lie
    // close together takes one to three bytes a corner. The vertex counts are the records' own.
    // Inline while the list is the last one's: the host's scan calls it for every corner.
    void put(uintptr_t value) noexcept
    {
        if (!changed) {
            // The same bytes where the last list had them: the same number, none being a prefix of
            // another.
            uintptr_t left = value;
            for (size_t at = cursor; at < used; ++at) {
                const uintptr_t rest = left >> 7;
                if (stream[at] != static_cast<unsigned char>((left & 0x7F) | (rest ? 0x80 : 0)))
                    break;
                if (!rest) {
                    cursor = at + 1;
                    return;
                }
                left = rest;
            }
            changed = true;
        }
        write(value);
    }
    void write(uintptr_t value) noexcept;
    bool countEdges(const PolygonRecord *records, int count) noexcept;

    unsigned char *stream = nullptr;
    size_t capacity = 0;
    size_t used = 0;     // bytes of the last complete list
    size_t cursor = 0;   // bytes of this build's list so far
    uintptr_t previous = 0;
    size_t corners = 0;
    bool changed = false;
    bool failed = false;   // storage could not be had: the list is unknown
    bool changedLast = false;
    bool closedList = false;
};

} // namespace ostrevin

#endif
