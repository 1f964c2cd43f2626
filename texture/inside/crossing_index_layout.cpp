// The layout of one grid, in named stages over a plan: sample the polygons' sizes, choose the
// level-0 cells, size the levels, count the entries (handing sparse levels to the coarsest), fill
// the entries, split each cell by height. The refit of a laid-out grid over moved polygons. And
// the check of what a laid-out grid must hold.
#include "texture/inside/crossing_index.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "texture/geometry/axes.h"
#include "texture/geometry/quantiser.h"
#include "texture/inside/crossing_index_storage.h"
#include "texture/inside/height_key.h"

namespace ostrevin {

using namespace indexstorage;

namespace {

// Polygons a level above the first may hold before it is worth its own cells.
constexpr size_t fewPolygons = 8;

// Level-0 cells about as wide as this fraction of the polygons' rectangles (from a sample): most
// polygons then sit at level 0, the wider ones a level or two up.
constexpr double cellQuantile = 0.75;
static_assert(cellQuantile >= 0.0 && cellQuantile < 1.0, "a quantile picks one of the sampled sizes");
constexpr int sampleSize = 512;
// What each pass that widens the level-0 cells keeps of their count along u and v: a little
// when the entries would not fit, half when the cells would not.
constexpr double keepForEntries = 0.85;
constexpr double keepForCells = 0.5;

// A height along the axis at or above which the polygon's plane test (t < 0) cannot pass for any
// point within the mesh's bounds whose projection lies in the polygon's rectangle. In exact
// arithmetic the plane meets the ray at h(pu, pv) = (d - nu pu - nv pv) / na, highest at a corner
// of the rectangle; the computed test may differ from the exact one by a few units in the last
// place of the sum of its terms' magnitudes, which shifts the crossing by at most that over |na|.
// Every term of that error, and of computing the bound itself, is covered many times over, and
// the result is rounded up to a float.
float planeTop(const unsigned char *copy, int axis, int u, int v, const float e[6], const double reach[3]) noexcept
{
    double n[3];
    std::memcpy(n, copy + normalOffset, sizeof n);
    const double d = loadDouble(copy + planeOffset);
    const double inverse = 1.0 / n[axis], nu = n[u], nv = n[v];
    const double cu = 0.5 * (static_cast<double>(e[u]) + e[3 + u]), hu = 0.5 * (static_cast<double>(e[3 + u]) - e[u]);
    const double cv = 0.5 * (static_cast<double>(e[v]) + e[3 + v]), hv = 0.5 * (static_cast<double>(e[3 + v]) - e[v]);
    const double centre = (d - nu * cu - nv * cv) * inverse;
    const double peak = centre + magnitude(nu * inverse) * hu + magnitude(nv * inverse) * hv;
    const double terms = magnitude(d) + magnitude(n[0]) * reach[0] + magnitude(n[1]) * reach[1] +
                         magnitude(n[2]) * reach[2] + magnitude(nu) * (magnitude(cu) + hu) +
                         magnitude(nv) * (magnitude(cv) + hv);
    const double slack = 64.0 * DBL_EPSILON * (terms * magnitude(inverse) + magnitude(peak) + magnitude(centre));
    // Rounded up to a float: two units in a float's last place more than the bound, which nearest
    // rounding cannot undo, and the smallest normal float for bounds near zero.
    const double bound = peak + slack;
    const double above = bound + magnitude(bound) * 0x1p-22 + FLT_MIN;
    if (!(above < static_cast<double>(FLT_MAX)))
        return HUGE_VALF;   // also NaN: never passes a polygon over
    return static_cast<float>(above);
}

// The finest level at which a range of level-0 steps spans at most two cells.
inline uint32_t levelFor(uint32_t low, uint32_t high) noexcept
{
    uint32_t level = 0;
    while ((high >> (cellShift + level)) - (low >> (cellShift + level)) > 1)
        ++level;
    return level;
}

// The natural level of a rectangle given by its level-0 steps (low u, high u, low v, high v).
inline uint32_t naturalLevel(const uint32_t steps[4]) noexcept
{
    return std::max(levelFor(steps[0], steps[1]), levelFor(steps[2], steps[3]));
}

// The level a laid-out grid holds a polygon at: its natural level when the grid uses it, the
// coarsest otherwise (the natural level handed its polygons over), and when the grid does not use
// the coarsest either, its finest used level (the coarsest handed its few polygons down to level
// 0, or a refitted polygon grew to a level no polygon had). A query reads every used level.
inline uint32_t readLevel(const CrossingIndex::Grid &g, const uint32_t steps[4], uint32_t coarsest) noexcept
{
    const uint32_t natural = naturalLevel(steps);
    if (g.usedLevels >> natural & 1u)
        return natural;
    if ((g.usedLevels >> coarsest & 1u) || g.usedLevels == 0)
        return coarsest;
    return static_cast<uint32_t>(__builtin_ctz(g.usedLevels));
}

// Where step 0 of a spread axis begins: a fraction of a step (the golden ratio's) below the mesh's
// low end, so that the round coordinates of a symmetric mesh sit inside steps rather than on
// their edges, where the rounding of a moved copy would tip them from cell to cell.
inline double frameLow(double meshLow, double scale) noexcept
{
    return meshLow - 0.381966 / scale;
}

// Calls `visit(cell, ends, real)` for the four corners of the block of cells the polygon overlaps
// at `level` (one or two along each axis), with its rectangle's ends in that cell's steps (clipped
// to the cell: a low end 0, a high end 63 where it goes on); `real` is 0 for a corner that repeats
// another, whose visit must change nothing. Always four visits: whether a rectangle crosses a
// cell's edge is a coin toss, not worth a mispredicted branch. A polygon handed down to a level
// finer than its own spans more cells: each is visited once.
template <class Visit>
inline void forEachCell(const CrossingIndex::Grid &g, const uint32_t s[4], uint32_t level, Visit &&visit) noexcept
{
    const CrossingIndex::Level &l = g.levels[level];
    const uint32_t shift = cellShift + level;
    const uint32_t lu0 = s[0] >> level, lu1 = s[1] >> level, lv0 = s[2] >> level, lv1 = s[3] >> level;
    const uint32_t cu0 = s[0] >> shift, cu1 = s[1] >> shift, cv0 = s[2] >> shift, cv1 = s[3] >> shift;
    if (cu1 - cu0 > 1 || cv1 - cv0 > 1) {
        for (uint32_t cv = cv0; cv <= cv1; ++cv)
            for (uint32_t cu = cu0; cu <= cu1; ++cu) {
                const uint32_t u = cu << cellShift, v = cv << cellShift;
                const uint32_t ends = (cu == cu0 ? lu0 - u : 0) | std::min<uint32_t>(lu1 - u, lastStepInCell) << 8 |
                                      (cv == cv0 ? lv0 - v : 0) << 16 | std::min<uint32_t>(lv1 - v, lastStepInCell) << 24;
                visit(static_cast<size_t>(l.firstCell) + static_cast<size_t>(cv) * l.acrossU + cu, ends, 1u);
            }
        return;
    }
    const uint32_t twoU = cu1 != cu0, twoV = cv1 != cv0;
    // Along each axis: the ends in the first cell, then in the second (when there is one).
    const uint32_t uEnds[2] = {(lu0 - (cu0 << cellShift)) | std::min<uint32_t>(lu1 - (cu0 << cellShift), lastStepInCell) << 8,
                               std::min<uint32_t>(lu1 - (cu1 << cellShift), lastStepInCell) << 8};
    const uint32_t vEnds[2] = {(lv0 - (cv0 << cellShift)) << 16 | std::min<uint32_t>(lv1 - (cv0 << cellShift), lastStepInCell) << 24,
                               std::min<uint32_t>(lv1 - (cv1 << cellShift), lastStepInCell) << 24};
    const size_t row0 = static_cast<size_t>(l.firstCell) + static_cast<size_t>(cv0) * l.acrossU;
    const size_t row1 = static_cast<size_t>(l.firstCell) + static_cast<size_t>(cv1) * l.acrossU;
    visit(row0 + cu0, uEnds[0] | vEnds[0], 1u);
    visit(row0 + cu1, uEnds[1] | vEnds[0], twoU);
    visit(row1 + cu0, uEnds[0] | vEnds[1], twoV);
    visit(row1 + cu1, uEnds[1] | vEnds[1], twoU & twoV);
}

} // namespace

// What the stages of one grid's layout decide, in the order they decide it.
struct LayoutPlan {
    int axis = 0, u = 0, v = 0;
    // sampleSizes: the rectangles' sizes along u and v of an even sample of the polygons the
    // ray along this axis can cross.
    int sampled = 0;
    float sampleWidths[sampleSize];
    float sampleHeights[sampleSize];
    // chooseLevelZeroCells: the mesh's extent along u and v, level-0 cells along each (whole
    // numbers, as doubles), the largest magnitude of each coordinate within the mesh's bounds,
    // and the entries this grid may take from the pool.
    double span[2] = {0.0, 0.0};
    double across[2] = {1.0, 1.0};
    double reach[3] = {0.0, 0.0, 0.0};
    size_t allowance = 0;
    // sizeLevels: cells of all levels, and the coarsest level.
    size_t cellTotal = 0;
    uint32_t coarsest = 0;
    // countEntries: polygons by natural level, whether sparse levels hand theirs to the coarsest,
    // and the entries counted (each cell's rounded up to a group).
    size_t perLevel[CrossingIndex::maxLevels] = {};
    uint32_t fewAt[CrossingIndex::maxLevels][fewPolygons];   // while a level holds only a few: which
    bool promote = false;
    bool handDown = false;
    size_t entryTotal = 0;
    // fillEntries: the grid's entries before its padding.
    size_t limit = 0;
};

namespace {

// A level above the first holding only a few polygons costs every query one more cell: its
// polygons go to the coarsest level instead, which every query reads anyway.
inline bool promoted(const LayoutPlan &plan, uint32_t level) noexcept
{
    return plan.promote && level > 0 && level < plan.coarsest && plan.perLevel[level] <= fewPolygons;
}

inline bool atOneCell(const LayoutPlan &plan) noexcept
{
    return plan.across[0] <= 1.0 && plan.across[1] <= 1.0;
}
// Fewer, wider level-0 cells: `keep` of their count along each axis, at least one.
inline void widenCells(LayoutPlan &plan, double keep) noexcept
{
    plan.across[0] = std::max(1.0, std::floor(plan.across[0] * keep));
    plan.across[1] = std::max(1.0, std::floor(plan.across[1] * keep));
}

// Entries per sampled polygon at the plan's level-0 cells: a rectangle overlaps on average
// 1 + w / S cells along an axis, at the level whose cells S it fits in.
double entriesPerPolygon(const LayoutPlan &plan) noexcept
{
    double cellSize[2];
    for (int d = 0; d < 2; ++d)
        cellSize[d] = plan.across[d] > 1.0 ? plan.span[d] / plan.across[d] : HUGE_VAL;
    double sum = 0.0;
    for (int k = 0; k < plan.sampled; ++k) {
        double su = cellSize[0], sv = cellSize[1];
        for (int level = 0; level < CrossingIndex::maxLevels &&
                            (plan.sampleWidths[k] > su || plan.sampleHeights[k] > sv);
             ++level) {
            su *= 2.0;
            sv *= 2.0;
        }
        sum += (1.0 + std::min(plan.sampleWidths[k] / su, 1.0)) * (1.0 + std::min(plan.sampleHeights[k] / sv, 1.0));
    }
    return plan.sampled > 0 ? sum / plan.sampled : 1.0;
}

} // namespace

// The polygon's rectangle across the axis's ray in the grid's level-0 steps (low u, high u, low
// v, high v); false for a polygon the ray along this axis cannot cross, or an empty rectangle (no
// number in a coordinate), which holds no point.
bool CrossingIndex::rectangleSteps(int axis, size_t polygon, uint32_t s[4]) const noexcept
{
    const Grid &g = grids[axis];
    const int u = crossFirstAxis[axis], v = crossSecondAxis[axis];
    float e[6];
    std::memcpy(e, extents + polygon * extentBytes, extentBytes);
    if (!(crossedAlong[polygon] & (1u << axis)) || !(e[u] <= e[3 + u] && e[v] <= e[3 + v]))
        return false;
    s[0] = quantise(e[u], g.low[0], g.scale[0], g.steps[0]);
    s[1] = quantise(e[3 + u], g.low[0], g.scale[0], g.steps[0]);
    s[2] = quantise(e[v], g.low[1], g.scale[1], g.steps[1]);
    s[3] = quantise(e[3 + v], g.low[1], g.scale[1], g.steps[1]);
    return true;
}

void CrossingIndex::sampleSizes(LayoutPlan &plan) const noexcept
{
    for (int k = 0; k < sampleSize && polygonCount > 0; ++k) {
        const size_t i = polygonCount * static_cast<size_t>(k) / sampleSize;
        float e[6];
        std::memcpy(e, extents + i * extentBytes, extentBytes);
        const float w = e[3 + plan.u] - e[plan.u], h = e[3 + plan.v] - e[plan.v];
        if ((crossedAlong[i] & (1u << plan.axis)) && std::isfinite(w) && std::isfinite(h) && w >= 0.0f && h >= 0.0f) {
            plan.sampleWidths[plan.sampled] = w;
            plan.sampleHeights[plan.sampled] = h;
            ++plan.sampled;
        }
    }
}

void CrossingIndex::chooseLevelZeroCells(LayoutPlan &plan) const noexcept
{
    // Typical rectangle size along u and v: the sample's quantile.
    double size[2] = {0.0, 0.0};
    if (plan.sampled > 0) {
        float widths[sampleSize], heights[sampleSize];
        std::copy(plan.sampleWidths, plan.sampleWidths + plan.sampled, widths);
        std::copy(plan.sampleHeights, plan.sampleHeights + plan.sampled, heights);
        const int pick = static_cast<int>(cellQuantile * plan.sampled);
        std::nth_element(widths, widths + pick, widths + plan.sampled);
        std::nth_element(heights, heights + pick, heights + plan.sampled);
        size[0] = widths[pick];
        size[1] = heights[pick];
    }

    // Level-0 cells of about that size over the mesh's extent: one along an axis without a finite
    // positive extent, and no more in all than an eighth of the polygons (the levels above add up
    // to a third as many again).
    plan.span[0] = meshBounds.high[plan.u] - meshBounds.low[plan.u];
    plan.span[1] = meshBounds.high[plan.v] - meshBounds.low[plan.v];
    laidOutSpan[plan.axis][0] = plan.span[0];
    laidOutSpan[plan.axis][1] = plan.span[1];
    const double budget = static_cast<double>(polygonCount / 8 + 1);
    for (int d = 0; d < 2; ++d) {
        if (!(std::isfinite(plan.span[d]) && plan.span[d] > 0.0))
            continue;
        plan.across[d] = size[d] > 0.0 ? std::ceil(plan.span[d] / size[d]) : std::sqrt(budget);
        plan.across[d] = std::min(std::max(plan.across[d], 1.0), static_cast<double>(maxCellsPerAxis));
    }
    if (plan.across[0] * plan.across[1] > budget) {
        const double shrink = std::sqrt(budget / (plan.across[0] * plan.across[1]));
        plan.across[0] = std::max(1.0, std::floor(plan.across[0] * shrink));
        plan.across[1] = std::max(1.0, std::floor(plan.across[1] * shrink));
    }

    for (int c = 0; c < 3; ++c)
        plan.reach[c] = std::max(magnitude(meshBounds.low[c]), magnitude(meshBounds.high[c]));

    // Entries this grid may take from the pool: what is left once every axis not yet laid out has
    // one entry per polygon and a group set aside. That always fits (a single cell holds each
    // polygon once), so the widening in layOut ends.
    size_t others = 0;
    for (int a = 0; a < gridCount; ++a)
        others += a != plan.axis && !laidOut[a].load(std::memory_order_relaxed);
    const size_t perAxis = polygonCount + 3 * entryPadding;
    plan.allowance = (poolEntries - poolUsed - others * perAxis - entryPadding) & ~(groupEntries - 1);
    if (everyAxisShares)
        plan.allowance = std::min(plan.allowance, gridShare(polygonCount) & ~(groupEntries - 1));

    // Wider cells while the sample says the entries would not fit.
    const double counted = static_cast<double>(polygonCount) * plan.sampled / sampleSize;
    while (!atOneCell(plan) && entriesPerPolygon(plan) * counted > static_cast<double>(plan.allowance))
        widenCells(plan, keepForEntries);
}

// The levels, coarser until two cells span each axis, over wider level-0 cells while they would
// not fit the storage; then the grid's steps.
void CrossingIndex::sizeLevels(LayoutPlan &plan) const noexcept
{
    Grid &g = grids[plan.axis];
    for (;;) {
        plan.cellTotal = 0;
        g.levelCount = 0;
        for (int d = 0; d < 2; ++d)
            g.steps[d] = static_cast<uint32_t>(plan.across[d]) << cellShift;
        for (int level = 0; level < maxLevels; ++level) {
            Level &l = g.levels[level];
            l.acrossU = ((g.steps[0] - 1) >> (cellShift + static_cast<uint32_t>(level))) + 1;
            l.acrossV = ((g.steps[1] - 1) >> (cellShift + static_cast<uint32_t>(level))) + 1;
            l.firstCell = static_cast<uint32_t>(plan.cellTotal);
            plan.cellTotal += l.cellCount();
            g.levelCount = level + 1;
            if (l.acrossU <= 2 && l.acrossV <= 2)
                break;
        }
        // The cells, one holding the end and a spare one for repeated corners.
        if (plan.cellTotal + 3 <= cellCapacity(polygonCapacity) || atOneCell(plan))
            break;
        widenCells(plan, keepForCells);
    }
    for (int d = 0; d < 2; ++d) {
        const int c = d == 0 ? plan.u : plan.v;
        const bool spread = plan.across[d] > 1.0;
        g.scale[d] = spread ? static_cast<double>(g.steps[d]) / plan.span[d] : 0.0;
        g.low[d] = spread ? frameLow(meshBounds.low[c], g.scale[d]) : 0.0;
    }
    plan.coarsest = static_cast<uint32_t>(g.levelCount - 1);
}

// Entries per cell (in each cell's `split`) and polygons per natural level; then the polygons of
// the levels that hand theirs to the coarsest move there; then the entries in all.
void CrossingIndex::countEntries(LayoutPlan &plan) const noexcept
{
    Grid &g = grids[plan.axis];
    plan.promote = false;
    std::fill(plan.perLevel, plan.perLevel + maxLevels, size_t{0});
    for (size_t c = 0; c <= plan.cellTotal; ++c)
        g.cells[c] = Cell{0, 0, noCoarseKey, noCoarseKey};
    const auto tally = [&g](size_t cell, uint32_t, uint32_t real) noexcept { g.cells[cell].split += real; };
    for (size_t i = 0; i < polygonCount; ++i) {
        uint32_t st[4];
        if (!rectangleSteps(plan.axis, i, st))
            continue;
        const uint32_t level = naturalLevel(st);
        if (plan.perLevel[level] < fewPolygons)
            plan.fewAt[level][plan.perLevel[level]] = static_cast<uint32_t>(i);
        ++plan.perLevel[level];
        forEachCell(g, st, level, tally);
    }
    for (uint32_t level = 1; level < plan.coarsest; ++level)
        plan.promote |= plan.perLevel[level] > 0 && plan.perLevel[level] <= fewPolygons;
    for (size_t i = 0; plan.promote && i < polygonCount; ++i) {
        uint32_t st[4];
        if (!rectangleSteps(plan.axis, i, st) || !promoted(plan, naturalLevel(st)))
            continue;
        forEachCell(g, st, naturalLevel(st),
                    [&g](size_t cell, uint32_t, uint32_t real) noexcept { g.cells[cell].split -= real; });
        forEachCell(g, st, plan.coarsest, tally);
    }
    plan.entryTotal = 0;
    for (size_t c = 0; c < plan.cellTotal; ++c)
        plan.entryTotal += roundUpToGroup(g.cells[c].split);
    handDownTheCoarsest(plan);
}

// A coarsest level of only a few polygons, above a used level 0, costs every query a cell of its
// own: its polygons go to every level-0 cell they overlap instead, when those entries fit.
void CrossingIndex::handDownTheCoarsest(LayoutPlan &plan) const noexcept
{
    Grid &g = grids[plan.axis];
    plan.handDown = false;
    size_t held = plan.perLevel[plan.coarsest];
    for (uint32_t level = 1; level < plan.coarsest; ++level)
        held += promoted(plan, level) ? plan.perLevel[level] : 0;
    if (plan.coarsest == 0 || held == 0 || held > fewPolygons || plan.perLevel[0] == 0)
        return;
    const auto move = [&](uint32_t from, uint32_t to) noexcept {
        for (uint32_t level = 1; level <= plan.coarsest; ++level) {
            if (level != plan.coarsest && !promoted(plan, level))
                continue;
            for (size_t k = 0; k < plan.perLevel[level]; ++k) {
                uint32_t st[4];
                rectangleSteps(plan.axis, plan.fewAt[level][k], st);
                forEachCell(g, st, from, [&g](size_t cell, uint32_t, uint32_t real) noexcept { g.cells[cell].split -= real; });
                forEachCell(g, st, to, [&g](size_t cell, uint32_t, uint32_t real) noexcept { g.cells[cell].split += real; });
            }
        }
    };
    move(plan.coarsest, 0);
    size_t total = 0;
    for (size_t c = 0; c < plan.cellTotal; ++c)
        total += roundUpToGroup(g.cells[c].split);
    if (total > plan.allowance) {
        move(0, plan.coarsest);
        return;
    }
    plan.handDown = true;
    plan.entryTotal = total;
}

// Each cell's entries from the pool: cell c's start where the cells before it end, at a group's
// start, its `split` the cursor of the fill; then the entries. The grid's part of the pool keeps
// a sixteenth more within the allowance, so that a refit whose polygons crowd some cells more
// (a deformation) can still count its rooms anew there.
void CrossingIndex::fillEntries(LayoutPlan &plan) const noexcept
{
    Grid &g = grids[plan.axis];
    const size_t room = std::min(plan.entryTotal + roundUpToGroup(static_cast<uint32_t>(plan.entryTotal / 16)),
                                 plan.allowance) +
                        entryPadding;
    g.entries.words = entriesBlock + entryWords * poolUsed;
    poolUsed += room;

    plan.limit = room - entryPadding;
    entryLimit[plan.axis] = static_cast<uint32_t>(plan.limit);
    largestCell[plan.axis] = startCells(plan);
    placeEntries(plan);
}

// Each cell's start where the cells before it end, at a group's start, from its count (in its
// `split`), which becomes the cursor of the fill. The most entries a cell holds.
uint32_t CrossingIndex::startCells(LayoutPlan &plan) const noexcept
{
    Grid &g = grids[plan.axis];
    uint32_t sum = 0, largest = 0;
    for (size_t c = 0; c < plan.cellTotal; ++c) {
        const uint32_t n = g.cells[c].split;
        g.cells[c] = Cell{sum, sum, noCoarseKey, noCoarseKey};
        sum += roundUpToGroup(n);
        largest = std::max(largest, n);
    }
    g.cells[plan.cellTotal] = Cell{sum, sum, noCoarseKey, noCoarseKey};
    return largest;
}

// Every counted polygon's entries, in the cells of the level it is placed at (its natural level
// when that level is used, otherwise the coarsest), each cell's from its `split` on, raising the
// cell's `top` to the highest of its entries' tops. False, at the first, when a cell has no room
// left for an entry.
bool CrossingIndex::placeEntries(LayoutPlan &plan) const noexcept
{
    Grid &g = grids[plan.axis];
    uint32_t *const words = g.entries.words;
    const size_t limit = plan.limit;
    const size_t spare = plan.cellTotal + 1;
    g.cells[spare] = Cell{static_cast<uint32_t>(limit), static_cast<uint32_t>(limit), noCoarseKey, noCoarseKey};
    uint32_t lost = 0;
    for (size_t i = 0; i < polygonCount && lost == 0; ++i) {
        uint32_t st[4];
        if (!rectangleSteps(plan.axis, i, st))
            continue;
        float e[6];
        std::memcpy(e, extents + i * extentBytes, extentBytes);
        const uint32_t copy = copyStart[i];
        const int32_t key = orderKey(planeTop(copyAt(copies, copy), plan.axis, plan.u, plan.v, e, plan.reach));
        const int16_t coarse = coarseKey(key);
        forEachCell(g, st, readLevel(g, st, plan.coarsest), [&](size_t cell, uint32_t ends, uint32_t real) noexcept {
            // A repeated corner goes to a spare cell past the last, whose cursor stays on the
            // padding (rewritten at the end of the layout), rather than waiting on the real
            // cell's cursor; so does an entry past its cell's room.
            const size_t c = real ? cell : spare;
            const uint32_t at = g.cells[c].split;
            const uint32_t placed = real & static_cast<uint32_t>(at < g.cells[real ? cell + 1 : spare].start && at < limit);
            lost |= real & ~placed;
            setEntry(words, placed ? at : limit, ends, key, copy);
            g.cells[c].split = at + placed;
            g.cells[c].top = std::max(g.cells[c].top, coarse);
        });
    }
    return lost == 0;
}

// The grid of the last full layout over the moved polygons: its levels and its part of the pool as
// they were, the steps counted from the mesh's new low corner. Each polygon goes to its cells at
// the level the query reads it at; first into each cell's room as it was (most polygons stay in
// their cells), and when one does not fit, into rooms made anew from a count. False (the grid is
// then laid out afresh) when the mesh's extent grew or shrank by more than an eighth along u or
// v since, when the entries no longer fit the grid's part of the pool, or when a cell would hold
// more than twice the most the full layout put in one (a query there would read them all).
bool CrossingIndex::refit(int axis) const noexcept
{
    Grid &g = grids[axis];
    LayoutPlan plan;
    plan.axis = axis;
    plan.u = crossFirstAxis[axis];
    plan.v = crossSecondAxis[axis];
    for (int d = 0; d < 2; ++d) {
        const int c = d == 0 ? plan.u : plan.v;
        const double span = meshBounds.high[c] - meshBounds.low[c];
        if (!(magnitude(span - laidOutSpan[axis][d]) <= 0.125 * laidOutSpan[axis][d]))
            return false;
        if (g.scale[d] != 0.0)
            g.low[d] = frameLow(meshBounds.low[c], g.scale[d]);
    }
    // A grid of no polygons has no level its polygons may now be read at.
    if (g.usedLevels == 0)
        return false;
    for (int c = 0; c < 3; ++c)
        plan.reach[c] = std::max(magnitude(meshBounds.low[c]), magnitude(meshBounds.high[c]));
    plan.coarsest = static_cast<uint32_t>(g.levelCount - 1);
    const Level &coarsestLevel = g.levels[plan.coarsest];
    plan.cellTotal = coarsestLevel.firstCell + coarsestLevel.cellCount();
    plan.limit = entryLimit[axis];
    for (size_t c = 0; c < plan.cellTotal; ++c)
        g.cells[c] = Cell{g.cells[c].start, g.cells[c].start, noCoarseKey, noCoarseKey};
    if (!placeEntries(plan)) {
        // Counted at the levels the query reads.
        for (size_t c = 0; c < plan.cellTotal; ++c)
            g.cells[c].split = 0;
        size_t total = 0;
        for (size_t i = 0; i < polygonCount; ++i) {
            uint32_t st[4];
            if (rectangleSteps(axis, i, st))
                forEachCell(g, st, readLevel(g, st, plan.coarsest),
                            [&g](size_t cell, uint32_t, uint32_t real) noexcept { g.cells[cell].split += real; });
        }
        for (size_t c = 0; c < plan.cellTotal; ++c)
            total += roundUpToGroup(g.cells[c].split);
        if (total > plan.limit || startCells(plan) > 2 * largestCell[axis] + groupEntries)
            return false;
        if (!placeEntries(plan))
            return false;
    }
    splitCellsByHeight(plan);
    layOutEdgeSlabsAcross(plan.v);
    padPastTheCells(plan);
    return true;
}

// Each cell's entries split in two by a height between its lowest and highest top: those with a
// top above it first, so that a point at or above it reads only those. The rest of the cell's
// last group is padding.
void CrossingIndex::splitCellsByHeight(LayoutPlan &plan) const noexcept
{
    Grid &g = grids[plan.axis];
    uint32_t *const words = g.entries.words;
    for (size_t c = 0; c < plan.cellTotal; ++c) {
        Cell &cell = g.cells[c];
        const uint32_t first = cell.start;
        const uint32_t last = static_cast<uint32_t>(std::min<size_t>(cell.split, plan.limit));
        for (uint32_t k = last; k < g.cells[c + 1].start && k < plan.limit; ++k)
            setPadding(words, k);
        if (first >= last) {
            cell.split = first;
            continue;
        }
        int32_t lowest = INT32_MAX, highest = INT32_MIN;
        for (uint32_t k = first; k < last; ++k) {
            lowest = std::min(lowest, static_cast<int32_t>(topOf(words, k)));
            highest = std::max(highest, static_cast<int32_t>(topOf(words, k)));
        }
        // Halfway between, then down to the highest top at or below that: on a surface folded
        // over itself, the highest top of the layers further down.
        const int32_t halfway = static_cast<int32_t>((static_cast<int64_t>(lowest) + highest) / 2);
        int32_t pivot = lowest;
        for (uint32_t k = first; k < last; ++k) {
            const int32_t key = static_cast<int32_t>(topOf(words, k));
            if (key <= halfway)
                pivot = std::max(pivot, key);
        }
        cell.pivot = coarseKey(pivot);
        uint32_t i = first, j = last;
        while (i < j) {
            if (static_cast<int32_t>(topOf(words, i)) > pivot) {
                ++i;
                continue;
            }
            --j;
            std::swap(endsOf(words, i), endsOf(words, j));
            std::swap(topOf(words, i), topOf(words, j));
            std::swap(copyOf(words, i), copyOf(words, j));
        }
        cell.split = i;
    }
}

void CrossingIndex::layOut(int axis) const noexcept
{
    LayoutPlan plan;
    plan.axis = axis;
    plan.u = crossFirstAxis[axis];
    plan.v = crossSecondAxis[axis];
    sampleSizes(plan);
    chooseLevelZeroCells(plan);
    // Fewer, wider level-0 cells while the counted entries would not fit the allowance.
    for (;;) {
        sizeLevels(plan);
        countEntries(plan);
        if (plan.entryTotal <= plan.allowance || atOneCell(plan))
            break;
        widenCells(plan, keepForEntries);
    }
    Grid &g = grids[axis];
    g.usedLevels = 0;
    for (uint32_t level = 0; level <= plan.coarsest; ++level)
        if (plan.perLevel[level] > 0 && !promoted(plan, level))
            g.usedLevels |= 1u << level;
    if (plan.promote)
        g.usedLevels |= 1u << plan.coarsest;
    if (plan.handDown)
        g.usedLevels &= ~(1u << plan.coarsest);
    fillEntries(plan);
    splitCellsByHeight(plan);
    layOutEdgeSlabsAcross(plan.v);
    padPastTheCells(plan);
}

// The padding past the last cell (a whole group, never counted), and past the grid's entries,
// where repeated corners were written.
void CrossingIndex::padPastTheCells(const LayoutPlan &plan) const noexcept
{
    Grid &g = grids[plan.axis];
    for (size_t k = 0; k < entryPadding; ++k) {
        setPadding(g.entries.words, g.cells[plan.cellTotal].start + k);
        setPadding(g.entries.words, plan.limit + k);
    }
}

// The slabs across v of every polygon of many vertices that a ray along an axis crossing v can
// cross: once for the two axes that share v.
void CrossingIndex::layOutEdgeSlabsAcross(int v) const noexcept
{
    bool &done = slabsLaidOut[v == 2];
    if (done || manyVertexPolygons == 0)
        return;
    unsigned char readBy = 0;
    for (int a = 0; a < gridCount; ++a)
        if (crossSecondAxis[a] == v)
            readBy = static_cast<unsigned char>(readBy | 1u << a);
    for (size_t i = 0; i < polygonCount; ++i) {
        if ((crossedAlong[i] & readBy) == 0)
            continue;   // no copy, or never counted along these axes
        unsigned char *copy = copies + static_cast<size_t>(copyStart[i]) * copyAlign;
        const size_t count = static_cast<size_t>(loadVertexCount(copy));
        if (hasEdgeSlabs(count))
            layOutEdgeSlabs(copy + edgeSlabsOffset(count, v), copy + vertexOffset, static_cast<int>(count), v);
    }
    done = true;
}

const char *CrossingIndex::check(int axis) const noexcept
{
    if (axis < 0 || axis >= gridCount || !ready || !prepared(axis))
        return nullptr;
    const Grid &g = grids[axis];
    if (g.levelCount < 1 || g.levelCount > maxLevels)
        return "the level count is out of range";
    const uint32_t coarsest = static_cast<uint32_t>(g.levelCount - 1);
    if (g.usedLevels >> coarsest >> 1 != 0)
        return "a used level lies above the coarsest";
    const Level &coarsestLevel = g.levels[coarsest];
    const size_t cellTotal = coarsestLevel.firstCell + coarsestLevel.cellCount();
    const uint32_t *words = g.entries.words;

    // Cells: each starts a group, after the one before it; its split within it; its entries'
    // tops at or under its top; the entries past its split at or under its pivot, so that a point
    // at or above the pivot may leave them out.
    size_t entries = 0;
    for (size_t c = 0; c < cellTotal; ++c) {
        const Cell &cell = g.cells[c];
        const uint32_t end = g.cells[c + 1].start;
        if (cell.start % groupEntries != 0 || (c == 0 && cell.start != 0))
            return "a cell's entries do not start a group";
        if (end < cell.start)
            return "a cell starts before the one before it ends";
        if (cell.split < cell.start || cell.split > end)
            return "a cell's split lies outside its entries";
        for (uint32_t k = cell.start; k < end; ++k) {
            const int32_t key = static_cast<int32_t>(topOf(words, k));
            if (coarseKey(key) > cell.top)
                return "an entry's top lies above its cell's top";
            if (k >= cell.split && key > static_cast<int64_t>(cell.pivot) * 65536)
                return "an entry past its cell's split has a top above the pivot";
            if (key == paddingTop && (endsOf(words, k) != 0 || copyOf(words, k) != 0))
                return "a padding entry has ends or a copy";
            entries += key != paddingTop;
        }
    }
    // The padding past the last cell never passes.
    for (size_t k = 0; k < entryPadding; ++k)
        if (static_cast<int32_t>(topOf(words, g.cells[cellTotal].start + k)) != paddingTop)
            return "the padding past the last cell can pass";

    return checkPolygons(axis, coarsest, entries);
}

// Every polygon the axis counts: its natural level at or under the coarsest, and an entry in
// every cell it overlaps at the level it was placed at (its natural level, or the coarsest when
// that level handed its polygons over); no other entries (the cells hold `entries`); and for each
// polygon of many vertices, its slabs across v.
const char *CrossingIndex::checkPolygons(int axis, uint32_t coarsest, size_t entries) const noexcept
{
    const Grid &g = grids[axis];
    const uint32_t *words = g.entries.words;
    size_t expected = 0;
    const char *missing = nullptr;
    for (size_t i = 0; i < polygonCount && !missing; ++i) {
        uint32_t st[4];
        if (!rectangleSteps(axis, i, st))
            continue;
        if (naturalLevel(st) > coarsest)
            return "a polygon's natural level lies above the coarsest";
        forEachCell(g, st, readLevel(g, st, coarsest), [&](size_t cell, uint32_t ends, uint32_t real) noexcept {
            if (!real)
                return;
            ++expected;
            bool found = false;
            for (uint32_t k = g.cells[cell].start; k < g.cells[cell + 1].start && !found; ++k)
                found = copyOf(words, k) == copyStart[i] && endsOf(words, k) == ends &&
                        static_cast<int32_t>(topOf(words, k)) != paddingTop;
            if (!found)
                missing = "a counted polygon is missing from one of its cells";
        });
    }
    if (missing)
        return missing;
    if (entries != expected)
        return "a grid holds entries of no polygon";

    for (size_t i = 0; i < polygonCount; ++i) {
        if (!(crossedAlong[i] >> axis & 1u))
            continue;
        const unsigned char *copy = copyAt(copies, copyStart[i]);
        const size_t count = static_cast<size_t>(loadVertexCount(copy));
        if (hasEdgeSlabs(count))
            if (const char *broken = checkEdgeSlabs(copy + edgeSlabsOffset(count, crossSecondAxis[axis]),
                                                    copy + vertexOffset, static_cast<int>(count), crossSecondAxis[axis]))
                return broken;
    }
    return nullptr;
}

} // namespace ostrevin
