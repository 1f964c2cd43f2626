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
// Most points lie well inside the outline, away from every edge. So each slab also keeps, for each
// u that crosses v, one clear interval along u that no edge of its strip comes near, with the
// parity every point of the strip there gets: a point strictly inside it answers at once, and any
// other point walks its slab.
//
// A table lives in storage its owner sizes by the vertex count and v alone: the number of slabs
// falls until the edges fit, which they always do with one slab.
#ifndef OSTREVIN_TEXTURE_INSIDE_EDGE_SLABS_H
#define OSTREVIN_TEXTURE_INSIDE_EDGE_SLABS_H

#include <stddef.h>
#include <stdint.h>

#include <cmath>
#include <cstring>
#include <type_traits>

#include "texture/geometry/bounds.h"
#include "texture/geometry/polygon_crossing.h"
#include "texture/geometry/quantiser.h"

namespace ostrevin {

// From this many vertices a polygon's edges are worth slabs: below it, walking them all costs
// less than finding the slab.
constexpr int manyVertices = 16;

namespace edge_slabs {

// A table, from an 8-byte boundary: the slab function (low end and slabs per unit of v), the
// slab count, the width of its numbers; then for each u below v the step function its clear
// intervals are measured in; then the slabs' starts (one more than slabs) and the edges (the
// number of each edge's second corner), as 16-bit numbers when every number fits, else 32-bit;
// then for each u below v a clear interval per slab, two steps of a byte each, the first with the
// interval's parity in its high bit (empty unless the first step is below the second).
struct Head {
    double low;
    double scale;
    uint32_t slabs;
    uint32_t wide;
};
constexpr size_t headBytes = sizeof(Head);
static_assert(headBytes == 24, "the head keeps the numbers on a 4-byte boundary");

// Steps along u: (u - low) * scale, which never decreases as u grows, over 0 to lastStep across
// the corners. A point's step strictly between an interval's two is strictly between the u they
// were rounded from.
struct Steps {
    double low;
    double scale;
};
constexpr double lastStep = 127.0;

// Entries a table may hold, and slabs at most: a convex outline puts about two more edges in the
// table per slab than it has, so these fit it with about four edges per slab. Fewer with wide
// numbers, which keeps the table near the records' bytes for the same vertices.
constexpr bool wideFor(size_t count) noexcept
{
    return 2 * count + 1 > 0xFFFF;
}
constexpr size_t entryBudget(size_t count, bool wide) noexcept
{
    return wide ? count + count / 4 : 2 * count;
}
constexpr size_t entryBudget(size_t count) noexcept
{
    return entryBudget(count, wideFor(count));
}
constexpr size_t slabLimit(size_t count, bool wide) noexcept
{
    const size_t s = wide ? count / 8 : count / 2;
    return s > 0 ? s : 1;
}
constexpr size_t slabLimit(size_t count) noexcept
{
    return slabLimit(count, wideFor(count));
}

// Where the parts of a table across v start (with numbers of the width wideFor gives).
constexpr size_t startsOffset(int v) noexcept
{
    return headBytes + static_cast<size_t>(v) * sizeof(Steps);
}
constexpr size_t edgesOffset(size_t count, int v, bool wide) noexcept
{
    return startsOffset(v) + (slabLimit(count, wide) + 1) * (wide ? 4 : 2);
}
constexpr size_t edgesOffset(size_t count, int v) noexcept
{
    return edgesOffset(count, v, wideFor(count));
}
constexpr size_t clearOffset(size_t count, int v, int u, bool wide) noexcept
{
    return edgesOffset(count, v, wide) + entryBudget(count, wide) * (wide ? 4 : 2) +
           2 * slabLimit(count, wide) * static_cast<size_t>(u);
}
constexpr size_t clearOffset(size_t count, int v, int u) noexcept
{
    return clearOffset(count, v, u, wideFor(count));
}

// The one slab function, for the edges' ends and the point alike: the quantiser over the table's
// slabs, never decreasing as v grows.
inline uint32_t slabOf(double x, const Head &head) noexcept
{
    return quantise(x, head.low, head.scale, head.slabs);
}

inline float floatAt(const unsigned char *corners, size_t j, int c) noexcept
{
    float x;
    std::memcpy(&x, corners + (3 * j + static_cast<size_t>(c)) * sizeof(float), sizeof x);
    return x;
}
inline double cornerAt(const unsigned char *corners, size_t j, int c) noexcept
{
    return static_cast<double>(floatAt(corners, j, c));
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
    first = slabOf(lower, head);
    last = slabOf(upper, head);
    return true;
}

// The edges in order, as slabsOfEdge finds their slabs, with each corner read and mapped to its
// slab once: an edge shares its first corner with the one before it.
struct EdgeWalk {
    double v;
    uint32_t slab;
    uint32_t first = 0, last = 0;
    bool level = false;

    EdgeWalk(const unsigned char *corners, size_t n, int axis, const Head &head) noexcept
        : v(cornerAt(corners, n - 1, axis)), slab(slabOf(v, head))
    {
    }

    // Edge (j - 1, j): true when it can straddle a line, with its slabs in first and last; else
    // whether it is level, with its slab in first.
    bool next(const unsigned char *corners, size_t j, int axis, const Head &head) noexcept
    {
        const double av = v, bv = cornerAt(corners, j, axis);
        const uint32_t aSlab = slab, bSlab = slabOf(bv, head);
        first = aSlab < bSlab ? aSlab : bSlab;
        last = aSlab < bSlab ? bSlab : aSlab;
        level = av == bv;
        v = bv, slab = bSlab;
        return av != bv && av == av && bv == bv;
    }
};

// The rule on the edges of slab s alone. Out of line: the clear interval answers most points
// without it.
template <class Number>
__attribute__((noinline)) bool walkSlab(const unsigned char *table, const unsigned char *corners, size_t n, int u,
                                        int v, uint32_t s, double pu, double pv) noexcept
{
    const unsigned char *const starts = table + startsOffset(v);
    const unsigned char *const edges = table + edgesOffset(n, v, sizeof(Number) == 4);
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

// How far a point's u must stay from every edge of its slab for the rule's computed side to have
// the exact sign, when m bounds |u| of the edge's corners and of the point. With the edge (l, h),
// lower end first, straddling the point's line: side = (hu - lu)(pv - lv) - (hv - lv)(pu - lu).
// For an edge wholly right of the point, (pu - lu) < 0; when hu >= lu both products have signs
// that make side > 0, so only the second must not vanish; else the exact |(hv - lv)(pu - lu)|
// exceeds |(hu - lu)(pv - lv)| by the factor 1 + (hu - pu) / (lu - hu), which the five roundings
// (relative error 2^-53 each) cannot undo once hu - pu >= 2^-49 m (lu - hu <= 2m). Wholly left,
// the same with the signs turned. The absolute term keeps the products clear of underflow: hv - lv
// is at least 2^-149, two floats apart.
inline double clearMargin(double m) noexcept
{
    return m * 0x1p-40 + 0x1p-800;
}

inline double stepOf(double x, const Steps &steps) noexcept
{
    return (x - steps.low) * steps.scale;
}

// The clear intervals along u are gathered while the edges are placed, an edge at a time. The
// edges that rise along v lie right of the inside of a counter-clockwise outline, left of a
// clockwise one's; the gap of a slab is where every edge of one kind lies left of every edge of
// the other (as across a convex outline), which each edge narrows: a falling one (on a
// counter-clockwise outline) raises the gap's low step to its high u, a rising one lowers the
// high step to its low u, each by the margin. Its parity is the count of the edges right of the
// gap that straddle the slab's middle line, pv: with the margin, the rule counts each of those and
// none left of it. The open strip of a slab's v (as slabOf maps it) across the gap meets no edge:
// not one of the slab's, which the gap keeps out, nor a level one, which leaves its slab no gap,
// nor any other, which lies wholly above or below the strip. So the rule's parity, exact there,
// is the same at every point of it. (The first and last strips run on to below and above every
// corner, so theirs is even.)
struct ClearTally {
    Steps steps;
    double margin;
    bool usable;
    bool risingRight;
};
constexpr unsigned char parityBit = 0x80;
static_assert(lastStep < parityBit, "the steps leave the high bit to the parity");

// The step at or above x's, and the one at or below, within 0 to lastStep.
inline unsigned char stepAbove(double x, const Steps &steps) noexcept
{
    const double t = stepOf(x, steps);
    if (!(t < lastStep))
        return static_cast<unsigned char>(lastStep);
    if (!(t > 0.0))
        return 0;
    const int k = static_cast<int>(t);
    return static_cast<unsigned char>(k < t ? k + 1 : k);
}
inline unsigned char stepBelow(double x, const Steps &steps) noexcept
{
    const double t = stepOf(x, steps);
    if (!(t > 0.0))
        return 0;
    return t < lastStep ? static_cast<unsigned char>(t) : static_cast<unsigned char>(lastStep);
}

inline float middleOf(uint32_t s, const Head &head, double width) noexcept
{
    return static_cast<float>(head.low + (s + 0.5) * width);
}

// What the clear intervals along u need of the corners: their extent along u, and twice the area
// the outline turns through in (u, v), positive counter-clockwise.
struct CornerScan {
    float low = HUGE_VALF, high = -HUGE_VALF;
    double area = 0.0;
};

// The steps along u over the corners' extent, the margin for corners and points within it, and
// the outline's turn; every slab's gap opened wide. Nothing is usable unless every corner is a
// finite number in u and v (`finite`): a clear strip keeps one parity only on a closed outline.
template <int u, int v>
ClearTally startClear(unsigned char *table, size_t n, const CornerScan &scan, bool finite, const Head &head) noexcept
{
    const float low = scan.low, high = scan.high;
    ClearTally tally{{0.0, 0.0}, 0.0, false, scan.area > 0.0};
    const double extent = static_cast<double>(high) - low;
    tally.usable = finite && low < high && lastStep / extent < HUGE_VAL;
    if (tally.usable) {
        tally.steps = {low, lastStep / extent};
        tally.margin = clearMargin(-low > high ? -low : high);
    }
    std::memcpy(table + headBytes + static_cast<size_t>(u) * sizeof tally.steps, &tally.steps, sizeof tally.steps);
    // A slab whose middle line (rounded to a float) lies in another gets no gap.
    unsigned char *const clear = table + clearOffset(n, v, u);
    const double width = head.slabs > 1 ? 1.0 / head.scale : 0.0;
    for (uint32_t s = 0; s < head.slabs; ++s) {
        const bool open = tally.usable && slabOf(middleOf(s, head, width), head) == s;
        clear[2 * s] = open ? 0 : static_cast<unsigned char>(lastStep);
        clear[2 * s + 1] = open ? static_cast<unsigned char>(lastStep) : 0;
    }
    return tally;
}

// What edge (prev, j) does to the gap of each slab it spans: the low step it raises it to (0 for
// none), the high step it lowers it to (lastStep for none), and the parity it adds when it
// straddles the slab's middle line (an edge left of the gaps adds none).
struct GapBounds {
    unsigned char low, high, parity;
    float av, bv;
};

template <int u, int v>
inline GapBounds gapBounds(const ClearTally &tally, const unsigned char *corners, size_t prev, size_t j) noexcept
{
    const float a = floatAt(corners, prev, u), b = floatAt(corners, j, u);
    const float av = floatAt(corners, prev, v), bv = floatAt(corners, j, v);
    GapBounds bounds{0, static_cast<unsigned char>(lastStep), 0, av, bv};
    if (!tally.usable)
        return bounds;
    if ((bv > av) == tally.risingRight) {
        bounds.high = stepBelow(static_cast<double>(a < b ? a : b) - tally.margin, tally.steps);
        bounds.parity = parityBit;
    } else {
        bounds.low = stepAbove(static_cast<double>(a < b ? b : a) + tally.margin, tally.steps);
    }
    return bounds;
}

// The gap of a slab whose middle line is pv narrowed by an edge, without a branch (which kind an
// edge is varies along the outline).
inline void narrowGap(unsigned char *c, const GapBounds &bounds, float pv) noexcept
{
    const unsigned low = c[0] & ~parityBit, high = c[1];
    const unsigned straddles = (bounds.av > pv) != (bounds.bv > pv);
    c[0] = static_cast<unsigned char>(((low > bounds.low ? low : bounds.low) | (c[0] & parityBit)) ^
                                      (bounds.parity & (0u - straddles)));
    c[1] = static_cast<unsigned char>(high < bounds.high ? high : bounds.high);
}

// What one pass over the corners finds: their finite extent along v, and what the clear
// intervals need of each u below v; `finite` when every corner is a finite number in u and v.
struct CornerSurvey {
    double low = HUGE_VAL, high = -HUGE_VAL;
    CornerScan scans[2];
    bool finite = true;
};

template <int v>
CornerSurvey surveyCorners(const unsigned char *corners, size_t n) noexcept
{
    CornerSurvey survey;
    for (size_t j = 0, prev = n - 1; j < n; prev = j++) {
        const float y = floatAt(corners, j, v), yPrev = floatAt(corners, prev, v);
        const bool number = y - y == 0.0f;
        if (number) {
            survey.low = lesserOf<double>(y, survey.low);
            survey.high = greaterOf<double>(y, survey.high);
        }
        survey.finite &= number;
        for (int u = 0; u < v; ++u) {
            const float x = floatAt(corners, j, u);
            CornerScan &scan = survey.scans[u];
            scan.low = lesserOf(x, scan.low);
            scan.high = greaterOf(x, scan.high);
            survey.finite &= x - x == 0.0f;
            scan.area += static_cast<double>(floatAt(corners, prev, u)) * y - static_cast<double>(x) * yPrev;
        }
    }
    return survey;
}

// Each slab's count in `starts`, with fewer slabs until the edges fit (one slab holds each edge
// once): as differences first (+1 in the start of an edge's first slab's successor, -1 past its
// last slab's), which takes no loop over an edge's slabs; the numbers' wrap-around cancels out,
// since every count fits. Sets the head's slab count and scale over `extent`.
template <class Number, int v>
void countSlabs(unsigned char *starts, const unsigned char *corners, size_t n, double extent, Head &head) noexcept
{
    const size_t budget = entryBudget(n);
    size_t slabs = extent > 0.0 ? slabLimit(n) : 1;
    for (;;) {
        head.slabs = static_cast<uint32_t>(slabs);
        head.scale = slabs > 1 ? static_cast<double>(slabs) / extent : 0.0;
        for (size_t s = 0; s <= slabs; ++s)
            store<Number>(starts, s, 0);
        size_t total = 0;
        EdgeWalk walk(corners, n, v, head);
        for (size_t j = 0; j < n && total <= budget; ++j) {
            if (!walk.next(corners, j, v, head))
                continue;
            const uint32_t first = walk.first, last = walk.last;
            total += last - first + 1;
            store<Number>(starts, first + 1, load<Number>(starts, first + 1) + 1);
            if (last + 2 <= slabs)
                store<Number>(starts, last + 2, load<Number>(starts, last + 2) - 1);
        }
        if (total <= budget || slabs == 1)
            return;
        slabs /= 2;
    }
}

// The edges into their slabs, each slab's start (from the counts) serving as its cursor, which
// ends where the next slab starts: shifted back by one slab afterwards. The clear intervals' gaps
// are gathered as the edges are placed; a level edge leaves its slab none.
template <class Number, int v>
void placeEdges(unsigned char *table, const unsigned char *corners, size_t n, const CornerSurvey &survey,
                const Head &head) noexcept
{
    unsigned char *const starts = table + startsOffset(v);
    unsigned char *const edges = table + edgesOffset(n, v);
    const size_t slabs = head.slabs;
    for (size_t s = 1, count = 0, start = 0; s <= slabs; ++s) {
        count += load<Number>(starts, s);
        start += static_cast<Number>(count);
        store<Number>(starts, s, static_cast<Number>(start));
    }
    ClearTally tallies[2] = {};
    const double width = slabs > 1 ? 1.0 / head.scale : 0.0;
    if constexpr (v > 0)
        tallies[0] = startClear<0, v>(table, n, survey.scans[0], survey.finite, head);
    if constexpr (v > 1)
        tallies[1] = startClear<1, v>(table, n, survey.scans[1], survey.finite, head);
    EdgeWalk walk(corners, n, v, head);
    for (size_t j = 0, prev = n - 1; j < n; prev = j++) {
        if (!walk.next(corners, j, v, head)) {
            if (v > 0 && walk.level)
                for (int u = 0; u < v; ++u)
                    table[clearOffset(n, v, u) + 2 * walk.first + 1] = 0;
            continue;
        }
        const uint32_t first = walk.first, last = walk.last;
        GapBounds bounds[2] = {};
        if constexpr (v > 0)
            bounds[0] = gapBounds<0, v>(tallies[0], corners, prev, j);
        if constexpr (v > 1)
            bounds[1] = gapBounds<1, v>(tallies[1], corners, prev, j);
        for (uint32_t s = first; s <= last; ++s) {
            const uint32_t at = load<Number>(starts, s);
            store<Number>(edges, at, j);
            store<Number>(starts, s, at + 1);
            const float pv = middleOf(s, head, width);
            for (int u = 0; u < v; ++u)
                narrowGap(table + clearOffset(n, v, u) + 2 * s, bounds[u], pv);
        }
    }
    for (size_t s = slabs; s > 0; --s)
        store<Number>(starts, s, load<Number>(starts, s - 1));
    store<Number>(starts, 0, 0);
}

// The layout with numbers of one width: the slab function over the corners' finite extent along
// v, the slabs' counts, then the edges and clear intervals.
template <class Number, int v>
void layOut(unsigned char *table, const unsigned char *corners, size_t n) noexcept
{
    const CornerSurvey survey = surveyCorners<v>(corners, n);
    Head head{survey.low <= survey.high ? survey.low : 0.0, 0.0, 1, wideFor(n) ? 1u : 0u};
    const double extent = survey.low < survey.high ? survey.high - survey.low : 0.0;
    countSlabs<Number, v>(table + startsOffset(v), corners, n, extent, head);
    std::memcpy(table, &head, sizeof head);
    placeEdges<Number, v>(table, corners, n, survey, head);
}

// The point's slab; its clear interval when the point is strictly inside it; else its edges.
// Inlined, so that the caller's u and v are constants here.
template <class Number>
__attribute__((always_inline)) inline bool contain(const unsigned char *table, const Head &head,
                                                   const unsigned char *corners, size_t n, int u, int v, double pu,
                                                   double pv) noexcept
{
    const uint32_t s = slabOf(pv, head);
    if (u < v) {
        Steps steps;
        const unsigned char *const at = table + headBytes + static_cast<size_t>(u) * sizeof steps;
        std::memcpy(&steps.low, at + offsetof(Steps, low), sizeof steps.low);
        std::memcpy(&steps.scale, at + offsetof(Steps, scale), sizeof steps.scale);
        const double t = stepOf(pu, steps);
        const unsigned char *const c = table + clearOffset(n, v, u, sizeof(Number) == 4) + 2 * s;
        if ((static_cast<double>(c[0] & ~parityBit) < t) & (t < static_cast<double>(c[1])))
            return (c[0] & parityBit) != 0;
    }
    return walkSlab<Number>(table, corners, n, u, v, s, pu, pv);
}

} // namespace edge_slabs

// Bytes of one table across v for a polygon of `count` vertices, a multiple of 8.
constexpr size_t edgeSlabsBytes(int count, int v) noexcept
{
    using namespace edge_slabs;
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    return (clearOffset(n, v, v) + 7) & ~size_t{7};
}

// Lays out in `table` (edgeSlabsBytes(count, v) bytes) the slabs across v of the polygon whose
// `count` corners are packed floats x, y, z at `corners`.
inline void layOutEdgeSlabs(unsigned char *table, const unsigned char *corners, int count, int v) noexcept
{
    using namespace edge_slabs;
    if (count < 1)
        return;
    const size_t n = static_cast<size_t>(count);
    const auto across = [&](auto axis) noexcept {
        if (wideFor(n))
            layOut<uint32_t, decltype(axis)::value>(table, corners, n);
        else
            layOut<uint16_t, decltype(axis)::value>(table, corners, n);
    };
    if (v == 0)
        across(std::integral_constant<int, 0>());
    else if (v == 1)
        across(std::integral_constant<int, 1>());
    else
        across(std::integral_constant<int, 2>());
}

// The crossing rule (projectionContainsBy) for (pu, pv) on the polygon of the table: the same
// answer to the bit.
__attribute__((always_inline)) inline bool edgeSlabsContain(const unsigned char *table, const unsigned char *corners,
                                                             int count, int u, int v, double pu, double pv) noexcept
{
    using namespace edge_slabs;
    // Field by field: a copy of the whole head goes through the stack, and its use then waits on
    // a store's forwarding.
    Head head;
    std::memcpy(&head.low, table + offsetof(Head, low), sizeof head.low);
    std::memcpy(&head.scale, table + offsetof(Head, scale), sizeof head.scale);
    std::memcpy(&head.slabs, table + offsetof(Head, slabs), sizeof head.slabs);
    std::memcpy(&head.wide, table + offsetof(Head, wide), sizeof head.wide);
    const size_t n = static_cast<size_t>(count);
    return head.wide ? contain<uint32_t>(table, head, corners, n, u, v, pu, pv)
                     : contain<uint16_t>(table, head, corners, n, u, v, pu, pv);
}

// The first invariant a laid-out table breaks, described; null when it keeps them all: slabs
// within the storage, their starts in order and within the entries, every edge that can straddle
// a line in each slab from its lower end's to its upper end's, and every edge of a slab's strip
// clear of its intervals (by the margin, for those the slab holds). For tests.
inline const char *checkEdgeSlabs(const unsigned char *table, const unsigned char *corners, int count, int v) noexcept
{
    using namespace edge_slabs;
    Head head;
    std::memcpy(&head, table, sizeof head);
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    if (head.wide != (wideFor(n) ? 1u : 0u) || head.slabs < 1 || head.slabs > slabLimit(n))
        return "the slab count or the numbers' width does not fit the storage";
    const bool wide = head.wide != 0;
    const unsigned char *const starts = table + startsOffset(v);
    const unsigned char *const edges = table + edgesOffset(n, v);
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
    for (int u = 0; u < v; ++u) {
        Steps steps;
        std::memcpy(&steps, table + headBytes + static_cast<size_t>(u) * sizeof steps, sizeof steps);
        const unsigned char *const clear = table + clearOffset(n, v, u);
        bool any = false;
        for (uint32_t s = 0; s < head.slabs; ++s)
            any |= (clear[2 * s] & ~parityBit) < clear[2 * s + 1];
        if (!any)
            continue;
        double m = 0.0;
        for (size_t j = 0; j < n; ++j) {
            const double x = cornerAt(corners, j, u), y = cornerAt(corners, j, v);
            if (!(x - x == 0.0 && y - y == 0.0))
                return "a clear interval on an outline with corners not finite";
            // The builtin: the library's fabs may be made with the x87 unit on 32-bit targets.
            m = __builtin_fabs(x) > m ? __builtin_fabs(x) : m;
        }
        if (!(steps.scale > 0.0))
            return "a clear interval without steps";
        // The slab's own edges by the margin; level edges in its strip by nothing.
        for (size_t j = 0, prev = n - 1; j < n; prev = j++) {
            uint32_t first = 0, last = 0;
            double margin = clearMargin(m);
            if (!slabsOfEdge(corners, prev, j, v, head, first, last)) {
                first = last = slabOf(cornerAt(corners, j, v), head);
                margin = 0.0;
            }
            const double a = cornerAt(corners, prev, u), b = cornerAt(corners, j, u);
            const double after = stepOf((a < b ? b : a) + margin, steps);
            const double before = stepOf((a < b ? a : b) - margin, steps);
            for (uint32_t s = first; s <= last; ++s) {
                const unsigned char *const c = clear + 2 * s;
                const double low = c[0] & ~parityBit, high = c[1];
                if (low < high && after > low && before < high)
                    return "an edge of a slab comes near its clear interval";
            }
        }
    }
    return nullptr;
}

} // namespace ostrevin

#endif
