#include "texture/mesh/corner_list.h"

#include "texture/geometry/polygon_record.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace ostrevin {

namespace {

struct Edge {
    uintptr_t low, high;
    bool operator<(const Edge &other) const noexcept
    {
        return low != other.low ? low < other.low : high < other.high;
    }
    bool operator==(const Edge &other) const noexcept { return low == other.low && high == other.high; }
};

// The next number of the stream at `at`, which moves past it.
uintptr_t taken(const unsigned char *stream, size_t &at) noexcept
{
    uintptr_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
        const unsigned char byte = stream[at++];
        value |= static_cast<uintptr_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return value;
    }
}

} // namespace

void CornerList::begin() noexcept
{
    cursor = 0;
    previous = 0;
    corners = 0;
    changed = failed || used == 0;
    failed = false;
}

void CornerList::write(uintptr_t value) noexcept
{
    if (failed)
        return;
    unsigned char bytes[2 * sizeof(uintptr_t)];
    size_t length = 0;
    do {
        const unsigned char low = static_cast<unsigned char>(value & 0x7F);
        value >>= 7;
        bytes[length++] = static_cast<unsigned char>(low | (value ? 0x80 : 0));
    } while (value);
    if (cursor + length > capacity) {
        // The list so far is kept: it is this build's, up to the cursor.
        const size_t grown = std::max(2 * capacity, cursor + length + 256);
        unsigned char *larger = new (std::nothrow) unsigned char[grown];
        if (!larger) {
            failed = true;
            return;
        }
        if (cursor)
            std::memcpy(larger, stream, cursor);
        delete[] stream;
        stream = larger;
        capacity = grown;
    }
    std::memcpy(stream + cursor, bytes, length);
    cursor += length;
}

void CornerList::end(const PolygonRecord *records, int count, bool countsChanged) noexcept
{
    changedLast = failed || changed || cursor != used || countsChanged;
    if (failed) {
        used = 0;
        closedList = false;
        return;
    }
    if (!changedLast)
        return;
    used = cursor;
    // A list grown by doubling keeps no more than an eighth to spare.
    if (capacity > used + used / 8 + 256) {
        unsigned char *fitted = new (std::nothrow) unsigned char[used + 256];
        if (fitted) {
            std::memcpy(fitted, stream, used);
            delete[] stream;
            stream = fitted;
            capacity = used + 256;
        }
    }
    closedList = countEdges(records, count);
}

// Each polygon's edges, the lesser ID first, sorted: a run of equal edges of odd length is an edge
// the mesh leaves open. Exact, and only when the list changed.
bool CornerList::countEdges(const PolygonRecord *records, int count) noexcept
{
    if (corners == 0 || !records)
        return false;
    Edge *edges = new (std::nothrow) Edge[corners];
    if (!edges) {
        used = 0;   // not counted: the next build counts it afresh
        return false;
    }
    size_t found = 0;
    // Decoded in one pass, the differences running across polygons.
    uintptr_t last = 0;
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        const int size = records[i].vertexCount;
        uintptr_t first = 0, before = 0;
        for (int j = 0; j < size && at < used; ++j) {
            const uintptr_t zigzag = taken(stream, at);
            const uintptr_t difference = (zigzag >> 1) ^ (uintptr_t{0} - (zigzag & 1));
            const uintptr_t point = last + difference;
            last = point;
            if (j == 0)
                first = point;
            else if (point != before && found < corners)
                edges[found++] = {std::min(before, point), std::max(before, point)};
            before = point;
        }
        if (size > 1 && before != first && found < corners)
            edges[found++] = {std::min(before, first), std::max(before, first)};
    }
    std::sort(edges, edges + found);
    bool even = at == used;   // the records and the list agree on the corners
    for (size_t i = 0; i < found && even;) {
        size_t j = i + 1;
        while (j < found && edges[j] == edges[i])
            ++j;
        even = ((j - i) & 1) == 0;
        i = j;
    }
    delete[] edges;
    return even;
}

} // namespace ostrevin
