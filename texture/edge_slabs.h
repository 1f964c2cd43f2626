// The crossing rule on a polygon of many vertices, at a cost that does not grow with them.
//
// Only an edge that straddles the point's line along v can count (polygon_crossing.h), so the
// edges are sorted into slabs across v: an edge goes into every slab from the one of its lower
// end to the one of its upper end, by one slab function that never decreases as v grows. A point
// then tests only the edges of its own slab, with the rule's own operations on the same
// operands; every edge that straddles its line is among them, and the parity is the same to the
// bit. Edges that can never straddle a line (level ones, and those with an end whose v is not a
// number) are left out; which edges a table holds depends on v alone, so the two texture axes
// that share v share its table.
//
// A table lives in storage its owner sizes by the vertex count alone: the number of slabs falls
// until the edges fit, which they always do with one slab.
#ifndef OSTREVIN_TEXTURE_EDGE_SLABS_H
#define OSTREVIN_TEXTURE_EDGE_SLABS_H

#include <stddef.h>
#include <stdint.h>

#include <cstring>

#include "texture/polygon_crossing.h"

namespace ostrevin {

// From this many vertices a polygon's edges are worth slabs: below it, walking them all costs
// less than finding the slab.
constexpr int manyVertices = 16;

namespace edge_slabs {

// A table, from an 8-byte boundary: the slab function (low end and slabs per unit of v), the
// slab count, the width of its numbers; then the slabs' starts (one more than slabs) and the
// edges (the number of each edge's second corner), as 16-bit numbers when every number fits,
// else 32-bit.
struct Head {
    double low;
    double scale;
    uint32_t slabs;
    uint32_t wide;
};
constexpr size_t headBytes = sizeof(Head);
static_assert(headBytes == 24, "the head keeps the numbers on a 4-byte boundary");

// Entries a table may hold, and slabs at most: a convex outline puts about two more edges in the
// table per slab than it has, so these fit it with a few edges per slab. Fewer with wide numbers,
// which keeps the table under the records' bytes for the same vertices.
constexpr bool wideFor(size_t count) noexcept
{
    return count + count / 2 + 1 > 0xFFFF;
}
constexpr size_t entryBudget(size_t count) noexcept
{
    return wideFor(count) ? count + count / 4 : count + count / 2;
}
constexpr size_t slabLimit(size_t count) noexcept
{
    const size_t s = wideFor(count) ? count / 8 : count / 4;
    return s > 0 ? s : 1;
}

// The one slab function, for the edges' ends and the point alike: never decreasing as v grows;
// NaN and everything below to slab 0, everything above to the last.
inline uint32_t slabOf(double x, double low, double scale, uint32_t slabs) noexcept
{
    const double t = (x - low) * scale;
    const double last = static_cast<double>(slabs - 1);
    const double above = t > 0.0 ? t : 0.0;
    return static_cast<uint32_t>(above < last ? above : last);
}

inline double cornerAt(const unsigned char *corners, size_t j, int c) noexcept
{
    float x;
    std::memcpy(&x, corners + (3 * j + static_cast<size_t>(c)) * sizeof(float), sizeof x);
    return static_cast<double>(x);
}

inline uint32_t numberAt(const unsigned char *numbers, size_t k, bool wide) noexcept
{
    if (wide) {
        uint32_t n;
        std::memcpy(&n, numbers + 4 * k, sizeof n);
        return n;
    }
    uint16_t n;
    std::memcpy(&n, numbers + 2 * k, sizeof n);
    return n;
}

inline void setNumber(unsigned char *numbers, size_t k, bool wide, uint32_t n) noexcept
{
    if (wide) {
        std::memcpy(numbers + 4 * k, &n, sizeof n);
        return;
    }
    const uint16_t narrow = static_cast<uint16_t>(n);
    std::memcpy(numbers + 2 * k, &narrow, sizeof narrow);
}

} // namespace edge_slabs

// Bytes of one table for a polygon of `count` vertices, a multiple of 8.
constexpr size_t edgeSlabsBytes(int count) noexcept
{
    using namespace edge_slabs;
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    const size_t numbers = slabLimit(n) + 1 + entryBudget(n);
    return (headBytes + numbers * (wideFor(n) ? 4 : 2) + 7) & ~size_t{7};
}

// Lays out in `table` (edgeSlabsBytes(count) bytes) the slabs across v of the polygon whose
// `count` corners are packed floats x, y, z at `corners`.
inline void layOutEdgeSlabs(unsigned char *table, const unsigned char *corners, int count, int v) noexcept
{
    using namespace edge_slabs;
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    const bool wide = wideFor(n);
    // An edge that can straddle a line: not level, and both ends' v a number (the rule's side is
    // not a number otherwise, which never counts).
    const auto counted = [&](size_t j) noexcept {
        const size_t prev = j == 0 ? n - 1 : j - 1;
        const double av = cornerAt(corners, prev, v), bv = cornerAt(corners, j, v);
        return av != bv && av == av && bv == bv;
    };

    // The slab function over the finite extent of the corners along v.
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (size_t j = 0; j < n; ++j) {
        const double x = cornerAt(corners, j, v);
        if (x - x == 0.0) {
            low = x < low ? x : low;
            high = x > high ? x : high;
        }
    }
    Head head{low <= high ? low : 0.0, 0.0, 1, wide ? 1u : 0u};
    const double extent = high - low;
    size_t slabs = low < high ? slabLimit(n) : 1;
    unsigned char *const starts = table + headBytes;
    const size_t budget = entryBudget(n);
    unsigned char *const edges = starts + (slabLimit(n) + 1) * (wide ? 4 : 2);

    // Fewer slabs until the edges fit; one slab holds each edge once.
    for (;;) {
        head.slabs = static_cast<uint32_t>(slabs);
        head.scale = slabs > 1 ? static_cast<double>(slabs) / extent : 0.0;
        size_t total = 0;
        for (size_t j = 0; j < n; ++j) {
            if (!counted(j))
                continue;
            const size_t prev = j == 0 ? n - 1 : j - 1;
            const double av = cornerAt(corners, prev, v), bv = cornerAt(corners, j, v);
            const uint32_t first = slabOf(av < bv ? av : bv, head.low, head.scale, head.slabs);
            const uint32_t last = slabOf(av < bv ? bv : av, head.low, head.scale, head.slabs);
            total += last - first + 1;
        }
        if (total <= budget || slabs == 1)
            break;
        slabs /= 2;
    }
    std::memcpy(table, &head, sizeof head);

    // Each slab's count, then where each starts, then the edges (each slab's cursor in its start).
    for (size_t s = 0; s <= slabs; ++s)
        setNumber(starts, s, wide, 0);
    const auto forEachSlab = [&](size_t j, auto &&visit) noexcept {
        const size_t prev = j == 0 ? n - 1 : j - 1;
        const double av = cornerAt(corners, prev, v), bv = cornerAt(corners, j, v);
        const uint32_t first = slabOf(av < bv ? av : bv, head.low, head.scale, head.slabs);
        const uint32_t last = slabOf(av < bv ? bv : av, head.low, head.scale, head.slabs);
        for (uint32_t s = first; s <= last; ++s)
            visit(s);
    };
    for (size_t j = 0; j < n; ++j)
        if (counted(j))
            forEachSlab(j, [&](uint32_t s) noexcept { setNumber(starts, s + 1, wide, numberAt(starts, s + 1, wide) + 1); });
    for (size_t s = 1; s <= slabs; ++s)
        setNumber(starts, s, wide, numberAt(starts, s, wide) + numberAt(starts, s - 1, wide));
    for (size_t j = 0; j < n; ++j)
        if (counted(j))
            forEachSlab(j, [&](uint32_t s) noexcept {
                const uint32_t at = numberAt(starts, s, wide);
                setNumber(edges, at, wide, static_cast<uint32_t>(j));
                setNumber(starts, s, wide, at + 1);
            });
    // The cursors ended where the next slab starts: shift them back by one slab.
    for (size_t s = slabs; s > 0; --s)
        setNumber(starts, s, wide, numberAt(starts, s - 1, wide));
    setNumber(starts, 0, wide, 0);
}

// The crossing rule (projectionContainsBy) for (pu, pv) on the polygon of the table: the same
// answer to the bit.
inline bool edgeSlabsContain(const unsigned char *table, const unsigned char *corners, int count, int u, int v,
                             double pu, double pv) noexcept
{
    using namespace edge_slabs;
    Head head;
    std::memcpy(&head, table, sizeof head);
    const bool wide = head.wide != 0;
    const size_t n = static_cast<size_t>(count);
    const unsigned char *const starts = table + headBytes;
    const unsigned char *const edges = starts + (slabLimit(n) + 1) * (wide ? 4 : 2);
    const uint32_t s = slabOf(pv, head.low, head.scale, head.slabs);
    const uint32_t end = numberAt(starts, s + 1, wide);
    bool inside = false;
    for (uint32_t k = numberAt(starts, s, wide); k < end; ++k) {
        const size_t j = numberAt(edges, k, wide);
        const size_t prev = j == 0 ? n - 1 : j - 1;
        const double av = cornerAt(corners, prev, v), bv = cornerAt(corners, j, v);
        if ((av > pv) != (bv > pv))
            inside ^= edgeCrossesPositiveU(cornerAt(corners, prev, u), av, cornerAt(corners, j, u), bv, pu, pv);
    }
    return inside;
}

} // namespace ostrevin

#endif
