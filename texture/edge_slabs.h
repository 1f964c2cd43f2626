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

#include <cmath>
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
// table per slab than it has, so these fit it with about four edges per slab. Fewer with wide
// numbers, which keeps the table under the records' bytes for the same vertices.
constexpr bool wideFor(size_t count) noexcept
{
    return 2 * count + 1 > 0xFFFF;
}
constexpr size_t entryBudget(size_t count) noexcept
{
    return wideFor(count) ? count + count / 4 : 2 * count;
}
constexpr size_t slabLimit(size_t count) noexcept
{
    const size_t s = wideFor(count) ? count / 8 : count / 2;
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

template <class Number>
inline uint32_t load(const unsigned char *numbers, size_t k) noexcept
{
    Number n;
    std::memcpy(&n, numbers + sizeof n * k, sizeof n);
    return n;
}

template <class Number>
inline void store(unsigned char *numbers, size_t k, size_t n) noexcept
{
    const Number narrow = static_cast<Number>(n);
    std::memcpy(numbers + sizeof narrow * k, &narrow, sizeof narrow);
}

inline uint32_t numberAt(const unsigned char *numbers, size_t k, bool wide) noexcept
{
    return wide ? load<uint32_t>(numbers, k) : load<uint16_t>(numbers, k);
}

// The ends of edge (prev, j) along v, lower first; false for an edge that can never straddle a
// line: level, or an end whose v is not a number (the rule's side is then not a number, which
// never counts).
inline bool straddlingRange(const unsigned char *corners, size_t prev, size_t j, int v, double &lower,
                            double &upper) noexcept
{
    const double av = cornerAt(corners, prev, v), bv = cornerAt(corners, j, v);
    lower = av < bv ? av : bv;
    upper = av < bv ? bv : av;
    return av != bv && av == av && bv == bv;
}

// The slabs edge (prev, j) spans, from its lower end's to its upper end's; false as above.
inline bool slabsOfEdge(const unsigned char *corners, size_t prev, size_t j, int v, const Head &head,
                        uint32_t &first, uint32_t &last) noexcept
{
    double lower, upper;
    if (!straddlingRange(corners, prev, j, v, lower, upper))
        return false;
    first = slabOf(lower, head.low, head.scale, head.slabs);
    last = slabOf(upper, head.low, head.scale, head.slabs);
    return true;
}

// The layout with numbers of one width: `head` holds the slab function's low end and the
// corners' extent along v.
template <class Number>
void layOut(unsigned char *table, const unsigned char *corners, size_t n, int v, Head head, double extent) noexcept
{
    unsigned char *const starts = table + headBytes;
    unsigned char *const edges = starts + (slabLimit(n) + 1) * sizeof(Number);
    const size_t budget = entryBudget(n);

    // Each slab's count (in the start of the slab after it), with fewer slabs until the edges fit;
    // one slab holds each edge once.
    size_t slabs = extent > 0.0 ? slabLimit(n) : 1;
    for (;;) {
        head.slabs = static_cast<uint32_t>(slabs);
        head.scale = slabs > 1 ? static_cast<double>(slabs) / extent : 0.0;
        for (size_t s = 0; s <= slabs; ++s)
            store<Number>(starts, s, 0);
        size_t total = 0;
        for (size_t j = 0, prev = n - 1; j < n && total <= budget; prev = j++) {
            uint32_t first, last;
            if (!slabsOfEdge(corners, prev, j, v, head, first, last))
                continue;
            total += last - first + 1;
            for (uint32_t s = first; s <= last && total <= budget; ++s)
                store<Number>(starts, s + 1, load<Number>(starts, s + 1) + 1);
        }
        if (total <= budget || slabs == 1)
            break;
        slabs /= 2;
    }
    std::memcpy(table, &head, sizeof head);

    // Where each slab starts; then the edges, each slab's start serving as its cursor, which ends
    // where the next slab starts: shifted back by one slab afterwards.
    for (size_t s = 1; s <= slabs; ++s)
        store<Number>(starts, s, load<Number>(starts, s) + load<Number>(starts, s - 1));
    for (size_t j = 0, prev = n - 1; j < n; prev = j++) {
        uint32_t first, last;
        if (!slabsOfEdge(corners, prev, j, v, head, first, last))
            continue;
        for (uint32_t s = first; s <= last; ++s) {
            const uint32_t at = load<Number>(starts, s);
            store<Number>(edges, at, j);
            store<Number>(starts, s, at + 1);
        }
    }
    for (size_t s = slabs; s > 0; --s)
        store<Number>(starts, s, load<Number>(starts, s - 1));
    store<Number>(starts, 0, 0);
}

template <class Number>
bool contain(const unsigned char *table, const Head &head, const unsigned char *corners, size_t n, int u, int v,
             double pu, double pv) noexcept
{
    const unsigned char *const starts = table + headBytes;
    const unsigned char *const edges = starts + (slabLimit(n) + 1) * sizeof(Number);
    const uint32_t s = slabOf(pv, head.low, head.scale, head.slabs);
    const uint32_t end = load<Number>(starts, s + 1);
    bool inside = false;
    for (uint32_t k = load<Number>(starts, s); k < end; ++k) {
        const size_t j = load<Number>(edges, k);
        const size_t prev = j == 0 ? n - 1 : j - 1;
        const double av = cornerAt(corners, prev, v), bv = cornerAt(corners, j, v);
        if ((av > pv) != (bv > pv))
            inside ^= edgeCrossesPositiveU(cornerAt(corners, prev, u), av, cornerAt(corners, j, u), bv, pu, pv);
    }
    return inside;
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
    if (count < 1)
        return;
    const size_t n = static_cast<size_t>(count);
    // The slab function over the finite extent of the corners along v.
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (size_t j = 0; j < n; ++j) {
        const double x = cornerAt(corners, j, v);
        if (x - x == 0.0) {
            low = x < low ? x : low;
            high = x > high ? x : high;
        }
    }
    const Head head{low <= high ? low : 0.0, 0.0, 1, wideFor(n) ? 1u : 0u};
    const double extent = low < high ? high - low : 0.0;
    if (head.wide)
        layOut<uint32_t>(table, corners, n, v, head, extent);
    else
        layOut<uint16_t>(table, corners, n, v, head, extent);
}

// The crossing rule (projectionContainsBy) for (pu, pv) on the polygon of the table: the same
// answer to the bit.
inline bool edgeSlabsContain(const unsigned char *table, const unsigned char *corners, int count, int u, int v,
                             double pu, double pv) noexcept
{
    using namespace edge_slabs;
    Head head;
    std::memcpy(&head, table, sizeof head);
    const size_t n = static_cast<size_t>(count);
    return head.wide ? contain<uint32_t>(table, head, corners, n, u, v, pu, pv)
                     : contain<uint16_t>(table, head, corners, n, u, v, pu, pv);
}

// The first invariant a laid-out table breaks, described; null when it keeps them all: slabs
// within the storage, their starts in order and within the entries, and every edge that can
// straddle a line in each slab from its lower end's to its upper end's. For tests.
inline const char *checkEdgeSlabs(const unsigned char *table, const unsigned char *corners, int count, int v) noexcept
{
    using namespace edge_slabs;
    Head head;
    std::memcpy(&head, table, sizeof head);
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    if (head.wide != (wideFor(n) ? 1u : 0u) || head.slabs < 1 || head.slabs > slabLimit(n))
        return "the slab count or the numbers' width does not fit the storage";
    const bool wide = head.wide != 0;
    const unsigned char *const starts = table + headBytes;
    const unsigned char *const edges = starts + (slabLimit(n) + 1) * (wide ? 4 : 2);
    if (numberAt(starts, 0, wide) != 0 || numberAt(starts, head.slabs, wide) > entryBudget(n))
        return "the slabs' entries do not start at 0 or run past the storage";
    for (uint32_t s = 0; s < head.slabs; ++s)
        if (numberAt(starts, s + 1, wide) < numberAt(starts, s, wide))
            return "a slab ends before it starts";
    for (size_t j = 0, prev = n - 1; j < n; prev = j++) {
        uint32_t first, last;
        if (!slabsOfEdge(corners, prev, j, v, head, first, last))
            continue;
        for (uint32_t s = first; s <= last; ++s) {
            bool found = false;
            for (uint32_t k = numberAt(starts, s, wide); k < numberAt(starts, s + 1, wide) && !found; ++k)
                found = numberAt(edges, k, wide) == j;
            if (!found)
                return "an edge is missing from a slab it spans";
        }
    }
    return nullptr;
}

} // namespace ostrevin

#endif
