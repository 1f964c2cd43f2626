#include "texture/mesh/corner_list.h"

#include "texture/geometry/polygon_record.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace ostrevin {

namespace {

struct Edge {
    uintptr_t low, high;
    int direction;   // +1 from low to high, -1 back
    bool operator<(const Edge &other) const noexcept
    {
        return low != other.low ? low < other.low : high < other.high;
    }
    bool operator==(const Edge &other) const noexcept { return low == other.low && high == other.high; }
};

} // namespace

void CornerList::begin() noexcept
{
    cursor = 0;
    changed = failed || used == 0;
    failed = false;
}

void CornerList::write(uintptr_t value) noexcept
{
    if (failed)
        return;
    if (cursor == capacity) {
        const size_t grown = std::max(2 * capacity, size_t{32});
        uintptr_t *larger = grown <= SIZE_MAX / sizeof(uintptr_t) ? new (std::nothrow) uintptr_t[grown] : nullptr;
        if (!larger) {
            failed = true;
            return;
        }
        if (cursor)
            std::memcpy(larger, ids, cursor * sizeof(uintptr_t));
        delete[] ids;
        ids = larger;
        capacity = grown;
    }
    ids[cursor++] = value;
}

void CornerList::end(const PolygonRecord *records, int count, bool countsChanged) noexcept
{
    changedLast = failed || changed || cursor != used || countsChanged;
    if (changedLast)
        ++listVersion;
    if (failed) {
        used = 0;
        closedList = false;
        orientedList = false;
        return;
    }
    if (!changedLast)
        return;
    used = cursor;
    // A list grown by doubling keeps no more than an eighth to spare.
    if (capacity > used + used / 8 + 32) {
        const size_t fittedCapacity = used + used / 16 + 32;
        uintptr_t *fitted = new (std::nothrow) uintptr_t[fittedCapacity];
        if (fitted) {
            std::memcpy(fitted, ids, used * sizeof(uintptr_t));
            delete[] ids;
            ids = fitted;
            capacity = fittedCapacity;
        }
    }
    closedList = countEdges(records, count);
}

// Each polygon's edges, the lesser ID first, sorted: a run of equal edges of odd length is an edge
// the mesh leaves open, and one whose directions do not cancel an edge where two fronts disagree.
// Exact, and only when the list changed.
bool CornerList::countEdges(const PolygonRecord *records, int count) noexcept
{
    orientedList = false;
    const size_t corners = used;
    if (corners == 0 || !records)
        return false;
    Edge *edges = new (std::nothrow) Edge[corners];
    if (!edges) {
        used = 0;   // not counted: the next build counts it afresh
        return false;
    }
    size_t found = 0;
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        const int size = records[i].vertexCount;
        uintptr_t first = 0, before = 0;
        for (int j = 0; j < size && at < used; ++j) {
            const uintptr_t point = ids[at++];
            if (j == 0)
                first = point;
            else if (point != before && found < corners)
                edges[found++] = {std::min(before, point), std::max(before, point), before < point ? 1 : -1};
            before = point;
        }
        if (size > 1 && before != first && found < corners)
            edges[found++] = {std::min(before, first), std::max(before, first), before < first ? 1 : -1};
    }
    std::sort(edges, edges + found);
    bool even = at == used;   // the records and the list agree on the corners
    bool balanced = even;
    for (size_t i = 0; i < found && even;) {
        size_t j = i + 1;
        long directions = edges[i].direction;
        while (j < found && edges[j] == edges[i])
            directions += edges[j++].direction;
        even = ((j - i) & 1) == 0;
        balanced = balanced && directions == 0;
        i = j;
    }
    delete[] edges;
    orientedList = even && balanced;
    return even;
}

} // namespace ostrevin
