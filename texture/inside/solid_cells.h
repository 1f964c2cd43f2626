// Solid cells: a grid over a closed target whose cells away from the surface answer the parity
// test by a lookup, with no crossing test at all.
//
// Why a lookup answers as the records' scan does, to the bit (the scan's tests: record_scan.h;
// the target closed in the sense of texture/mesh/corner_list.h; every position one of the host's
// floats, widened). A cell is the set of points of the target's bounds that the quantiser
// (texture/geometry/quantiser.h) maps to its steps; the quantiser never decreases, so a cell is a
// box, and so are two cells side by side.
//
// 1. A polygon P marks, in each column of cells (along the ray) that its rectangle across the ray
//    grown by `margin` meets, the cells its plane's heights over that column's part of the grown
//    rectangle reach, widened by a slack: the plane test's rounding, and how far P's corners leave
//    the plane along the ray (a warped polygon's). So for a cell B that P does not mark, either
//    P's rectangle misses B's by at least `margin`, and the scan's rectangle test fails for every
//    point of B; or P's plane over B's part of the rectangle lies wholly ahead of B or wholly
//    behind it, by more than the slack, and the plane test answers the same for every point of B,
//    and P's edges there lie ahead (behind) as well. A polygon the scan passes over (its normal's
//    component along the ray exactly 0, or fewer than three corners) marks every cell below its
//    top within its grown rectangle.
// 2. So at a point q of B the scan's parity is the parity of the polygons A ahead of B whose
//    rectangle holds q and whose projection holds q by the edge rule (polygon_crossing.h). That
//    projection test is the exclusive or of one test per edge, and two polygons sharing an edge
//    make that test on the same operands in the same order (the ends are put in order first), so
//    the edges shared by two polygons of A cancel bit for bit, however they round. Left are the
//    edges W used an odd number of times in A. Each of those is used by a polygon Q outside A too
//    (the mesh closes), and its projection keeps farther than `margin` from B's: were a point x of
//    it that near, x would lie in the column part both P and Q were measured over, where the edge
//    lies ahead of B as part of P and behind it as part of Q (or below Q's top, for one the scan
//    passes over). That margin exceeds the side test's rounding for any point of B, so each edge
//    of W answers exactly. W is a cycle (a sum of polygons' outlines), and the edge rule counts a
//    cycle's crossings as the parity of its winding around q nudged a hair towards +u and +v: the
//    same for every q of B, which W never comes near.
// 3. The scan's rectangle test can still differ from step 2's sum: a polygon of A whose rectangle
//    does not hold q drops out, and its projection test is not always 0 there. Below its
//    rectangle, above it and to its right it is exactly 0 (no edge straddles the point's line,
//    or every side test is at most 0 by the rounding's monotonicity). Just to its left a side
//    test can round to 0 and drop a crossing, but only when q lies within about 2^-50 of the
//    coordinates' magnitude below one of the polygon's corners along u, and that corner's u is a
//    float: `nearFloatBelow` refuses every such point (and every point within 2^-18 of the
//    magnitude from u = 0, where floats crowd), and those go to the index. Every other point of B
//    then answers the same as every other, so one query at one such point of B classifies B.
// 4. Two unmarked cells side by side make one region as well: along the ray, a polygon's marked
//    cells in their column are a run, so it lies ahead of both or behind both; across it, the two
//    columns' parts of its rectangle overlap, its plane's height there is in both columns' ranges,
//    and so it is ahead of both or behind both again. A run of unmarked cells along x takes its
//    class from an unmarked neighbour already classified, and only a run without one is queried.
// Non-manifold edges need nothing more: the argument only pairs uses of an edge, and four uses
// pair as well as two. A mesh open at a single edge leaves that edge in W with nothing to keep it
// off the cells, so such a mesh gets no cells. Non-Zero's scan counts the parity's polygons, each
// +1 or -1, so an inside cell's odd count is a winding that is not 0, and a lookup of 1 answers
// Non-Zero as well. An outside cell is left to the index: its even count may be a winding of 2,
// and a polygon's sign times its parity is not a sum over its edges, so step 2 does not carry.
#ifndef OSTREVIN_TEXTURE_INSIDE_SOLID_CELLS_H
#define OSTREVIN_TEXTURE_INSIDE_SOLID_CELLS_H

#include <stddef.h>
#include <stdint.h>

#include "texture/geometry/bounds.h"
#include "texture/geometry/polygon_record.h"
#include "texture/geometry/quantiser.h"

namespace ostrevin {

class SolidCells {
public:
    // The parity the scan gives along +axis with the texture's pairing, through the index or not.
    using Parity = bool (*)(const void *context, const double p[3], int axis);

    SolidCells() noexcept = default;
    ~SolidCells() { delete[] states; }
    SolidCells(const SolidCells &) = delete;
    SolidCells &operator=(const SolidCells &) = delete;

    // Lays the cells out over the records of a closed mesh, within `bounds` (the records'), for
    // rays along `axis`, in storage that grows only with the cell count. False, with no cells,
    // when the records do not allow them (a position not finite, a flat box) or storage cannot be
    // had.
    bool fill(const PolygonRecord *polygons, int count, const Bounds &bounds, int axis, Parity parity,
              const void *context) noexcept;
    void clear() noexcept { filledAxis = -1; }
    int axis() const noexcept { return filledAxis; }

    // The scan's parity at p when a lookup gives it: 1 inside, 0 outside; -1 when p is not in an
    // inside or outside cell for rays along `axis` (or is a point step 3 above refuses).
    __attribute__((always_inline)) int lookup(const double p[3], int axis) const noexcept
    {
        if (axis != filledAxis || !withinInclusive(p, box))
            return -1;
        const int state = states[cellOf(p)];
        if (state == surfaceCell || nearFloatBelow(p[uAxis]))
            return -1;
        return state - outsideCell;
    }
    // Cells a polygon makes, on average: the grid's resolution. With cells marked by boxes, a
    // polygon's box set how thick the surface cells lay, and more cells bought little (the 1k and
    // 20k spheres went from 39% / 60% of random points looked up at 8 cells a polygon to 48% / 66%
    // at 128). Marked by planes the shell thins with the cells: at 24, 57% / 68%, with the 1k torus
    // and the LWO hierarchy from 45% / 34% at 8 to 50% / 42%, for 16 bytes a polygon more and a
    // moving target's cells laid out in about twice the time.
    double cellsPerPolygon = 24.0;
    int cellCount() const noexcept { return filledAxis >= 0 ? static_cast<int>(cells) : 0; }
    size_t bytes() const noexcept { return capacity; }
    // Counts of each kind of cell, for tests and reports.
    void census(size_t &surface, size_t &outside, size_t &inside) const noexcept;
    // The grid, for tests: its low corner, a cell's width and the cells along each axis.
    void grid(double origin[3], double cellWidth[3], int cellsAcross[3]) const noexcept
    {
        for (int c = 0; c < 3; ++c) {
            origin[c] = box.low[c];
            cellWidth[c] = width[c];
            cellsAcross[c] = static_cast<int>(across[c]);
        }
    }

private:
    static constexpr int surfaceCell = 0, outsideCell = 1, insideCell = 2, openCell = 3;

    // The cell of a point within the box.
    __attribute__((always_inline)) size_t cellOf(const double p[3]) const noexcept
    {
        return quantise(p[0], box.low[0], scale[0], across[0]) +
               static_cast<size_t>(quantise(p[1], box.low[1], scale[1], across[1])) * strideY +
               static_cast<size_t>(quantise(p[2], box.low[2], scale[2], across[2])) * strideZ;
    }
    // Whether some float lies in (x, x + nearness], or |x| is within `crowded` of 0 (see 3 above).
    // Beyond `crowded` floats are more than 4 nearness apart, so such a float is x's nearest.
    __attribute__((always_inline)) bool nearFloatBelow(double x) const noexcept
    {
        const double gap = __builtin_fabs(static_cast<double>(static_cast<float>(x)) - x);
        return ((gap > 0.0) & (gap <= nearness)) | (__builtin_fabs(x) <= crowded);
    }

    void markSurface(const PolygonRecord *polygons, int count, int axis) noexcept;
    void columnSpan(int c, uint32_t step, double lo, double hi, double &from, double &to) const noexcept;
    void spanProducts(int c, uint32_t step, double lo, double hi, double n, double &least, double &most) const noexcept;
    static constexpr uint32_t maxSpanCached = 32;
    void markBlock(const uint32_t first[3], const uint32_t last[3]) noexcept;
    void classify(int axis, Parity parity, const void *context) noexcept;

    unsigned char *states = nullptr;
    size_t capacity = 0;
    size_t cells = 0;
    Bounds box;                           // the records' bounds: the grid's
    double scale[3] = {0.0, 0.0, 0.0};    // steps (cells) per unit of length
    double width[3] = {0.0, 0.0, 0.0};    // a cell's width
    uint32_t across[3] = {0, 0, 0};
    size_t strideY = 0, strideZ = 0;
    // The polygons' bounds grow by `margin` across the ray (step 2); the plane's rounding is
    // `planeSlack` over the normal's component along the ray, plus the heights' own (step 1).
    double margin = 0.0, planeSlack = 0.0;
    double nearness = 0.0, crowded = 0.0;
    int filledAxis = -1;
    int uAxis = 0;
};

} // namespace ostrevin

#endif
