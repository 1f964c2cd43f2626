// The index's query: the point's cell in each used level, the entries there whose steps and top
// let the polygon cross the ray, and the scan's tests on their copies.
#include "texture/inside/crossing_index.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#ifdef __SSE2__
#include <xmmintrin.h>
#endif

#include "texture/geometry/axes.h"
#include "texture/geometry/quantiser.h"
#include "texture/geometry/bounds.h"
#include "texture/geometry/plane_test.h"
#include "texture/geometry/polygon_crossing.h"
#include "texture/inside/crossing_index_storage.h"
#include "texture/inside/height_key.h"
#include "texture/inside/winding.h"

namespace ostrevin {

using namespace indexstorage;

namespace {

// Copies beyond this many bytes are not expected to stay in the caches between queries: a query
// fetches them ahead (copyFetchFor).
constexpr size_t farCopies = size_t{1} << 19;

// The rectangle test on an entry's four ends at once, a byte each (every value below 128): for a
// point at steps (qu, qv) of the entry's cell, byte by byte `above` must be at least `below`:
//   above = qu, high u, qv, high v      below = low u, qu, low v, qv
// Setting each byte's high bit before subtracting keeps borrows inside the byte, and leaves the
// high bit set exactly where the byte is not below. A byte of exactly 0x80 is an equality: the
// point on the step of one of the rectangle's edges.
constexpr uint32_t byteHighBits = 0x80808080u;
constexpr uint32_t highEnds = 0xFF00FF00u;
constexpr uint32_t lowEnds = 0x00FF00FFu;

// An entry's end differences for a point whose bytes in the entry's cell are `above` and
// `below`; for one entry, or for a group of them as a vector.
template <class Ends>
inline Ends endDifferences(Ends ends, uint32_t above, uint32_t below) noexcept
{
    return ((ends & highEnds) | above | byteHighBits) - ((ends & lowEnds) | below);
}

inline bool onEdgeStep(uint32_t differences) noexcept
{
    const uint32_t x = differences ^ byteHighBits;   // a byte of 0x80 becomes 0
    return ((x - 0x01010101u) & ~x & byteHighBits) != 0;
}

// The tests below on a polygon of many vertices: its stored rectangle, its plane, then only the
// edges in the point's slab across v, each with the scan's operations.
// Signed and Backwards as polygonCrosses below.
template <bool Signed, bool Backwards, int Axis>
__attribute__((noinline)) int manyVertexPolygonCrosses(const unsigned char *copy, int count, bool onEdge,
                                                       const double p[3]) noexcept
{
    constexpr int axis = Axis, u = crossFirstAxis[Axis], v = crossSecondAxis[Axis];
    const double pu = p[u], pv = p[v];
    bool inRect = true;
    if (onEdge) {
        float e[6];
        std::memcpy(e, copy + outlineOffset(static_cast<size_t>(count)), sizeof e);
        inRect = (e[u] <= pu) & (e[v] <= pv) & (pu <= e[3 + u]) & (pv <= e[3 + v]);
    }
    // Double by double: a copy of the three at once goes through the stack, and each test then
    // waits on a store's forwarding.
    const double normal[3] = {loadDouble(copy + normalOffset), loadDouble(copy + normalOffset + sizeof(double)),
                              loadDouble(copy + normalOffset + 2 * sizeof(double))};
    const double d = loadDouble(copy + planeOffset);
    const bool ahead = Backwards ? planeBehindPoint(normal, d, p, axis) : planeAheadOfPoint(normal, d, p, axis);
    if (!(inRect & ahead) ||
        !edgeSlabsContain(copy + edgeSlabsOffset(static_cast<size_t>(count), v), copy + vertexOffset, count, u, v, pu, pv))
        return 0;
    if (!Signed)
        return 1;
    return crossingSign(normal[axis], false, Backwards);
}

// The linear scan's tests on a polygon whose rectangle's steps hold the point. With the point
// strictly inside the steps the rectangle holds it (the step function never decreases), so the
// exact comparison is made only for a point on an edge's step. Otherwise without early exits, so
// that outcomes that vary from polygon to polygon cost no mispredicted branches; the operations
// and their order are the scan's. Kept out of line: inlined, it makes every query slower (the
// gathering loop around it then spills).
// Signed, it gives the crossing's sign (0 for none): the copy's plane faces the polygon's front.
template <bool Signed, bool Backwards, int Axis>
__attribute__((noinline)) int polygonCrosses(const unsigned char *copy, bool onEdge, const double p[3]) noexcept
{
    constexpr int axis = Axis, u = crossFirstAxis[Axis], v = crossSecondAxis[Axis];
    const double pu = p[u], pv = p[v];
    const int count = loadVertexCount(copy);
    if (count >= manyVertices)
        return manyVertexPolygonCrosses<Signed, Backwards, Axis>(copy, count, onEdge, p);
    bool inRect = true;
    if (onEdge) {
        // The record's rectangle, from the same floats: NaN widens nothing.
        float uLow = HUGE_VALF, uHigh = -HUGE_VALF, vLow = HUGE_VALF, vHigh = -HUGE_VALF;
        for (int j = 0; j < count; ++j) {
            const float a = coordinate(copy, j, u), b = coordinate(copy, j, v);
            uLow = lesserOf(a, uLow);
            uHigh = greaterOf(a, uHigh);
            vLow = lesserOf(b, vLow);
            vHigh = greaterOf(b, vHigh);
        }
        inRect = (uLow <= pu) & (vLow <= pv) & (pu <= uHigh) & (pv <= vHigh);
    }
    // Double by double: a copy of the three at once goes through the stack, and each test then
    // waits on a store's forwarding.
    const double normal[3] = {loadDouble(copy + normalOffset), loadDouble(copy + normalOffset + sizeof(double)),
                              loadDouble(copy + normalOffset + 2 * sizeof(double))};
    const double d = loadDouble(copy + planeOffset);
    const bool ahead = Backwards ? planeBehindPoint(normal, d, p, axis) : planeAheadOfPoint(normal, d, p, axis);
    const bool contains = projectionContainsBy(
        count, pu, pv, [&](int j) noexcept { return static_cast<double>(coordinate(copy, j, u)); },
        [&](int j) noexcept { return static_cast<double>(coordinate(copy, j, v)); });
    const int crosses = inRect & ahead & contains;
    if (!Signed)
        return crosses;
    return crosses * crossingSign(normal[axis], false, Backwards);
}

constexpr int foundCapacity = 32;

// The crossing parity of the gathered entries of one cell (their numbers in `words`; `above` and
// `below` the point's end bytes in that cell), or the sum of their signs, the copies first fetched
// together when asked. Always inlined: a call here costs a tenth of a query.
template <bool Signed, bool Backwards, int Axis>
__attribute__((always_inline)) inline int countFound(const unsigned char *copies, const uint32_t *words,
                                                      const uint32_t *found, uint32_t n, uint32_t above,
                                                      uint32_t below, bool prefetch, const double p[3]) noexcept
{
    if (prefetch)
        for (uint32_t j = 0; j < n; ++j) {
            const unsigned char *copy = copyAt(copies, copyOf(words, found[j]));
            __builtin_prefetch(copy);
            __builtin_prefetch(copy + 63);
        }
    int tally = 0;
    for (uint32_t j = 0; j < n; ++j) {
        const uint32_t differences = endDifferences(endsOf(words, found[j]), above, below);
        const int crossing =
            polygonCrosses<Signed, Backwards, Axis>(copyAt(copies, copyOf(words, found[j])), onEdgeStep(differences), p);
        if (Signed)
            tally += crossing;
        else
            tally ^= crossing;
    }
    return tally;
}

// Entries tested at once, a group, as a vector the compiler maps to the target's (or to plain
// integers).
constexpr uint32_t lanes = CrossingIndex::groupEntries;

// For each set of passing lanes (bit k: lane k): what to add to the lanes' own entry numbers so
// that the passing lanes' numbers come first, in order, then the others'; and how many pass.
// Storing all four numbers so gathers the passing ones without a branch.
struct LaneOrders {
    uint32_t shift[1u << lanes][lanes];
    uint32_t count[1u << lanes];
};
constexpr LaneOrders makeLaneOrders() noexcept
{
    LaneOrders o{};
    for (uint32_t set = 0; set < (1u << lanes); ++set) {
        uint32_t k = 0;
        for (uint32_t passes : {1u, 0u})   // the passing lanes, then the others
            for (uint32_t lane = 0; lane < lanes; ++lane)
                if ((set >> lane & 1u) == passes) {
                    o.shift[set][k] = lane - k;
                    ++k;
                }
        for (uint32_t lane = 0; lane < lanes; ++lane)
            o.count[set] += set >> lane & 1u;
    }
    return o;
}
alignas(16) constexpr LaneOrders passingFirst = makeLaneOrders();
typedef int32_t SignedLanes __attribute__((vector_size(lanes * sizeof(int32_t))));
typedef uint32_t UnsignedLanes __attribute__((vector_size(lanes * sizeof(uint32_t))));
static_assert(lanes <= CrossingIndex::entryPadding, "the padding covers a last group of lanes");

// The lanes of a group (bit k: lane k) whose steps hold the point and whose top is above its
// height: three loads and a handful of vector operations, no branch.
inline uint32_t passingLanes(const uint32_t *group, uint32_t above, uint32_t below, int32_t height) noexcept
{
    UnsignedLanes ends;
    SignedLanes tops;
    std::memcpy(&ends, group + CrossingIndex::groupEndsWord, sizeof ends);
    std::memcpy(&tops, group + CrossingIndex::groupTopsWord, sizeof tops);
    const UnsignedLanes d = endDifferences(ends, above, below);
    const SignedLanes pass = ((d & byteHighBits) == byteHighBits) & (tops > height);
#ifdef __SSE2__
    return static_cast<uint32_t>(_mm_movemask_ps(reinterpret_cast<__m128>(pass)));
#else
    SignedLanes flags = pass & SignedLanes{1, 2, 4, 8};
    flags |= __builtin_shufflevector(flags, flags, 2, 3, 0, 1);
    flags |= __builtin_shufflevector(flags, flags, 1, 0, 3, 2);
    return static_cast<uint32_t>(flags[0]);
#endif
}

// A run of entries to read: those of the point's cell in one used level (each polygon is in every
// cell its rectangle overlaps at its level), and the point's end bytes in that cell.
struct Run {
    uint32_t begin, end;
    uint32_t above, below;
};

// The point's run in each used level of the grid, for a point at steps su and sv whose height key's
// upper half is `coarse`; how many. A cell none of whose polygons can be ahead of the point is
// left out.
__attribute__((always_inline)) inline int pointRuns(const CrossingIndex::Grid &g, double pu, double pv, int32_t coarse,
                                                    Run runs[]) noexcept
{
    const uint32_t su = quantise(pu, g.low[0], g.scale[0], g.steps[0]);
    const uint32_t sv = quantise(pv, g.low[1], g.scale[1], g.steps[1]);
    int runCount = 0;
    for (uint32_t used = g.usedLevels; used != 0; used &= used - 1) {
        const uint32_t level = static_cast<uint32_t>(__builtin_ctz(used));
        const CrossingIndex::Level &l = g.levels[level];
        const uint32_t lu = su >> level, lv = sv >> level;
        const uint32_t cu = lu >> cellShift, cv = lv >> cellShift;
        const uint32_t qu = lu - (cu << cellShift), qv = lv - (cv << cellShift);
        const CrossingIndex::Cell *own = g.cells + l.firstCell + static_cast<size_t>(cv) * l.acrossU + cu;
        Run &r = runs[runCount];
        r.begin = own->start;
        // Chosen by a mask rather than a branch (whether the point is above the pivot is a coin
        // toss) or an array (whose load would wait on its stores).
        const uint32_t abovePivot = 0u - static_cast<uint32_t>(coarse >= own->pivot);
        r.end = (own->split & abovePivot) | (own[1].start & ~abovePivot);
        r.above = qu | qv << 16;
        r.below = qu << 8 | qv << 24;
        // Written all the same: whether it is kept is as much a coin toss as an entry's test.
        runCount += own->top > coarse;
        const uint32_t *first = groupOf(g.entries.words, r.begin);   // a cell starts a group
        __builtin_prefetch(first);
        __builtin_prefetch(first + lanes * CrossingIndex::entryWords);
    }
    return runCount;
}

// How a query fetches the copies of the entries that pass, by the copies' bytes: within the
// caches' reach not at all; beyond it all of a gathering together, before any is tested; far
// beyond (farGatherBytes) each the moment its entry passes, which is worth a branch per entry.
enum class CopyFetch { none, together, onPass };
inline CopyFetch copyFetchFor(size_t copyBytes, size_t farGatherBytes) noexcept
{
    return copyBytes > farGatherBytes ? CopyFetch::onPass : copyBytes > farCopies ? CopyFetch::together : CopyFetch::none;
}

// A run's crossings. Its entries are read a group at a time; lanes read past the run's end never
// pass: past a cell's entries lies padding, and past its split only entries whose tops are at or
// under the pivot, which a point reading up to the split is at or above (check() holds both). The
// entries that pass are gathered in `found`, and counted (countFound) whenever it may not hold
// another group. Gathered one of two ways:
//   FetchOnPass: each passing entry's copy fetched the moment it passes (a branch per entry).
//   otherwise: without a branch on which of them pass (from entry to entry that is a coin toss,
//     and a mispredicted branch costs more than a group's test): every lane's number is written,
//     the passing lanes first, and the count moves on only past them; with `fetchTogether` a
//     gathering's copies are fetched before any is tested.
template <bool Signed, bool Backwards, int Axis, bool FetchOnPass>
__attribute__((always_inline)) inline int runCrossings(const unsigned char *copies, const uint32_t *words, const Run &r,
                                                      int32_t height, bool fetchTogether, const double p[3]) noexcept
{
    const bool fetchFound = !FetchOnPass && fetchTogether;
    uint32_t found[foundCapacity + lanes];
    uint32_t n = 0;
    int tally = 0;
    const uint32_t *group = groupOf(words, r.begin);   // a cell starts a group
    const uint32_t *const last = groupOf(words, static_cast<size_t>(r.end) + lanes - 1);
    UnsignedLanes at = UnsignedLanes{0, 1, 2, 3} + r.begin;
    for (; group != last; at += lanes, group += CrossingIndex::entryWords * lanes) {
        const uint32_t passing = passingLanes(group, r.above, r.below, height);
        if (FetchOnPass) {
            for (uint32_t rest = passing; rest != 0; rest &= rest - 1) {
                const uint32_t lane = static_cast<uint32_t>(__builtin_ctz(rest));
                const unsigned char *copy = copyAt(copies, group[CrossingIndex::groupCopiesWord + lane]);
                __builtin_prefetch(copy);
                __builtin_prefetch(copy + 63);
                found[n++] = at[0] + lane;
            }
        } else {
            UnsignedLanes shift;
            std::memcpy(&shift, passingFirst.shift[passing], sizeof shift);
            const UnsignedLanes numbers = at + shift;
            std::memcpy(found + n, &numbers, sizeof numbers);
            n += passingFirst.count[passing];
        }
        if (n > foundCapacity - lanes) {
            const int part = countFound<Signed, Backwards, Axis>(copies, words, found, n, r.above, r.below, fetchFound, p);
            tally = Signed ? tally + part : tally ^ part;
            n = 0;
        }
    }
    const int part = countFound<Signed, Backwards, Axis>(copies, words, found, n, r.above, r.below, fetchFound, p);
    return Signed ? tally + part : tally ^ part;
}

} // namespace

// Each axis its own query, its two axes across the ray known when compiled: the copies' corners
// are then read at fixed offsets.
bool CrossingIndex::isInside(const double p[3], int axis) const noexcept
{
    switch (axis) {
    case 0:
        return crossings<false, false, 0>(p) != 0;
    case 1:
        return crossings<false, false, 1>(p) != 0;
    default:
        return crossings<false, false, 2>(p) != 0;
    }
}

int CrossingIndex::winding(const double p[3], int axis, bool backwards) const noexcept
{
    switch (axis) {
    case 0:
        return backwards ? crossings<true, true, 0>(p) : crossings<true, false, 0>(p);
    case 1:
        return backwards ? crossings<true, true, 1>(p) : crossings<true, false, 1>(p);
    default:
        return backwards ? crossings<true, true, 2>(p) : crossings<true, false, 2>(p);
    }
}

template <bool Signed, bool Backwards, int Axis>
int CrossingIndex::crossings(const double p[3]) const noexcept
{
    constexpr int axis = Axis, u = crossFirstAxis[Axis], v = crossSecondAxis[Axis];
    if (!prepared(axis))
        prepare(axis);
    const Grid &g = grids[axis];
    // Polygons whose plane cannot be ahead are passed over by height, for a point within the
    // mesh's bounds (the bound on the test's rounding holds there). Elsewhere the point is lower
    // than every key, so no entry is passed over by height (only the padding and empty cells,
    // whose key is the lowest there is).
    // Looking backwards, every polygon in the point's cells may be behind it: none is passed over.
    const bool within = !Backwards && withinInclusive(p, meshBounds);
    const int32_t height = within ? heightKey(p[axis]) : INT32_MIN;

    // On a large mesh every step below is a trip to memory; they are ordered so that each trip
    // fetches everything it can at once. First the runs of entries to read, then each run's
    // entries whose steps hold the point, their copies fetched as the copies' size asks.
    Run runs[maxLevels];
    const int runCount = pointRuns(g, p[u], p[v], coarseHeight(height), runs);
    const CopyFetch fetch = copyFetchFor(copiesUsed, farGatherBytes);
    int tally = 0;
    for (int k = 0; k < runCount; ++k) {
        const int part =
            fetch == CopyFetch::onPass
                ? runCrossings<Signed, Backwards, Axis, true>(copies, g.entries.words, runs[k], height, false, p)
                : runCrossings<Signed, Backwards, Axis, false>(copies, g.entries.words, runs[k], height,
                                                               fetch == CopyFetch::together, p);
        tally = Signed ? tally + part : tally ^ part;
    }
    return tally;
}

} // namespace ostrevin
