#include "texture/inside/solid_cells.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "framework/growing_buffer.h"
#include "texture/geometry/axes.h"

namespace ostrevin {

namespace {

// Cells along one axis at most, and in all.
constexpr double mostAcross = 1024;
constexpr double mostCells = 0x1p26;
// The representative points tried across u in a cell, as fractions of its width.
constexpr double probes[] = {0.5, 0.3125, 0.6875};

} // namespace

bool SolidCells::fill(const PolygonRecord *polygons, int count, const Bounds &bounds, int axis, Parity parity,
                      const void *context) noexcept
{
    filledAxis = -1;
    if (!polygons || count <= 0 || axis < 0 || axis > 2 || !parity)
        return false;
    // The argument holds for floats' positions, finite ones: the host's. x - x is 0 for those,
    // NaN for the rest, and a NaN stays in the sum.
    double spread = 0.0;
    for (int i = 0; i < count; ++i) {
        const PolygonRecord &r = polygons[i];
        for (int j = 0; j < r.vertexCount; ++j)
            spread += (r.vertices[j][0] - r.vertices[j][0]) + (r.vertices[j][1] - r.vertices[j][1]) +
                      (r.vertices[j][2] - r.vertices[j][2]);
    }
    if (spread != 0.0)
        return false;

    double extent[3], magnitude = 0.0;
    for (int c = 0; c < 3; ++c) {
        extent[c] = bounds.high[c] - bounds.low[c];
        if (!(extent[c] > 0.0) || !(extent[c] <= 2.0 * FLT_MAX))
            return false;   // a flat box: a closed mesh has no volume there to look up
        magnitude = greaterOf(greaterOf(__builtin_fabs(bounds.low[c]), __builtin_fabs(bounds.high[c])), magnitude);
    }
    // Cubic cells as near as the counts allow; each cube root apart, so no product overflows.
    // At least 8 along each axis: a box of six quads then answers most of its inside by lookup.
    const double wanted = greaterOf(lesserOf(cellsPerPolygon * count, mostCells / 4), 512.0);
    const double side = std::cbrt(extent[0]) * std::cbrt(extent[1]) * std::cbrt(extent[2]) / std::cbrt(wanted);
    double total = 1.0;
    for (int c = 0; c < 3; ++c) {
        const double n = greaterOf(lesserOf(std::ceil(extent[c] / side), mostAcross), 1.0);
        across[c] = static_cast<uint32_t>(n);
        total *= n;
        width[c] = extent[c] / n;
        scale[c] = n / extent[c];
    }
    if (!(total <= mostCells))
        return false;
    box = bounds;
    // Step 2's margin: the side test's rounding at a point of the box is at most about 12 units of
    // 2^-53 of the magnitude, plus underflow below 2^-925; step 3's nearness the same bound. The
    // plane test's rounding (four products and sums of the magnitude, their underflow, and the
    // product with the normal's component staying clear of underflow) is planeSlack.
    margin = magnitude * 0x1p-44 + 0x1p-800;
    nearness = margin;
    crowded = nearness * 0x1p26;
    planeSlack = magnitude * 0x1p-44 + 0x1p-400;

    cells = static_cast<size_t>(total);
    strideY = across[0];
    strideZ = strideY * across[1];
    if (!growOrFail(states, capacity, cells))
        return false;
    std::memset(states, openCell, cells);
    uAxis = crossFirstAxis[axis];
    markSurface(polygons, count, axis);
    classify(axis, parity, context);
    filledAxis = axis;
    return true;
}

// Step 1. A polygon the scan passes over marks its grown box and every cell below it; any other
// marks, in each column of cells its grown rectangle meets, the cells between its plane's least
// and greatest height over that column's part of the rectangle, widened by the slack. Heights
// beyond the box go to its end cells.
void SolidCells::markSurface(const PolygonRecord *polygons, int count, int axis) noexcept
{
    const int u = crossFirstAxis[axis], v = crossSecondAxis[axis];
    for (int i = 0; i < count; ++i) {
        const PolygonRecord &r = polygons[i];
        if (r.vertexCount == 0)
            continue;   // no edge: the scan never counts it, and it pairs with none
        double lo[3], hi[3];
        for (int c = 0; c < 3; ++c) {
            lo[c] = r.bounds.low[c] - margin;
            hi[c] = r.bounds.high[c] + margin;
        }
        const double along = r.normal[axis];
        uint32_t first[3], last[3];
        for (int c = 0; c < 3; ++c) {
            first[c] = quantise(lo[c], box.low[c], scale[c], across[c]);
            last[c] = quantise(hi[c], box.low[c], scale[c], across[c]);
        }
        if (r.vertexCount < 3 || along == 0.0) {
            // Passed over by the scan: its edges go unpaired for every cell below it.
            first[axis] = 0;
            markBlock(first, last);
            continue;
        }
        // How far the corners leave the plane along the ray (a warped polygon's), so that its
        // edges lie within the widened heights (step 2); the plane test's own rounding, over the
        // normal's component; the heights' rounding through the reciprocal, within 2^-44.
        const double reciprocal = 1.0 / __builtin_fabs(along);
        double warp = 0.0;
        for (int j = 0; j < r.vertexCount; ++j) {
            const double *c = r.vertices[j];
            warp = greaterOf(__builtin_fabs(r.normal[0] * c[0] + r.normal[1] * c[1] + r.normal[2] * c[2] - r.planeD), warp);
        }
        const double baseSlack = (warp * (1.0 + 0x1p-40) + planeSlack) * reciprocal + margin;
        // The height (d - nu pu - nv pv) / along is extreme at a corner of each column's part, and
        // its rounding never reverses an order, so the least and greatest computed heights come
        // from the least and greatest products along u and along v, each found once a row.
        const double towards = 1.0 / along;
        const uint32_t columnsV = last[v] - first[v] + 1;
        double productsV[2 * maxSpanCached];
        const bool cached = columnsV <= maxSpanCached;
        for (uint32_t k = 0; cached && k < columnsV; ++k)
            spanProducts(v, first[v] + k, lo[v], hi[v], r.normal[v], productsV[2 * k], productsV[2 * k + 1]);
        const size_t strides[3] = {1, strideY, strideZ};
        for (uint32_t cu = first[u]; cu <= last[u]; ++cu) {
            double leastU, mostU;
            spanProducts(u, cu, lo[u], hi[u], r.normal[u], leastU, mostU);
            for (uint32_t cv = first[v]; cv <= last[v]; ++cv) {
                double leastV, mostV;
                if (cached) {
                    leastV = productsV[2 * (cv - first[v])];
                    mostV = productsV[2 * (cv - first[v]) + 1];
                } else {
                    spanProducts(v, cv, lo[v], hi[v], r.normal[v], leastV, mostV);
                }
                const double low = (r.planeD - mostU - mostV) * towards, high = (r.planeD - leastU - leastV) * towards;
                const double least = lesserOf(low, high), most = greaterOf(low, high);
                const double slack = baseSlack + greaterOf(__builtin_fabs(least), __builtin_fabs(most)) * 0x1p-44;
                const double below = least - slack, above = most + slack;
                uint32_t from = 0, to = across[axis] - 1;   // a steep plane overflowed (or NaN): all
                if (below <= above) {
                    from = quantise(below, box.low[axis], scale[axis], across[axis]);
                    to = quantise(above, box.low[axis], scale[axis], across[axis]);
                }
                unsigned char *cell = states + cu * strides[u] + cv * strides[v] + from * strides[axis];
                for (uint32_t k = from; k <= to; ++k, cell += strides[axis])
                    *cell = surfaceCell;
            }
        }
    }
}

// The least and greatest of n x over the column part `columnSpan` gives.
void SolidCells::spanProducts(int c, uint32_t step, double lo, double hi, double n, double &least,
                              double &most) const noexcept
{
    double from, to;
    columnSpan(c, step, lo, hi, from, to);
    const double a = n * from, b = n * to;
    least = lesserOf(a, b);
    most = greaterOf(a, b);
}

// The part of [lo, hi] (a grown rectangle, along `c`) within `margin` of the points the
// quantiser maps to step `step`. The step's own ends are put a 256th of a cell outwards, far
// beyond the rounding of the division, and checked against the quantiser itself: it never
// decreases, so a point below an end that quantises below the step is not in it.
void SolidCells::columnSpan(int c, uint32_t step, double lo, double hi, double &from, double &to) const noexcept
{
    from = lo;
    to = hi;
    if (step > 0) {
        const double end = box.low[c] + (step - 0x1p-8) * width[c];
        if (quantise(end, box.low[c], scale[c], across[c]) < step)
            from = greaterOf(end - margin, lo);
    }
    if (step + 1 < across[c]) {
        const double end = box.low[c] + (step + 1 + 0x1p-8) * width[c];
        if (quantise(end, box.low[c], scale[c], across[c]) > step)
            to = lesserOf(end + margin, hi);
    }
}

void SolidCells::markBlock(const uint32_t first[3], const uint32_t last[3]) noexcept
{
    for (uint32_t z = first[2]; z <= last[2]; ++z)
        for (uint32_t y = first[1]; y <= last[1]; ++y) {
            // A few cells a row: a loop, not a call.
            unsigned char *row = states + z * strideZ + y * strideY;
            for (uint32_t x = first[0]; x <= last[0]; ++x)
                row[x] = surfaceCell;
        }
}

// Steps 3 and 4: each run of unmarked cells along x takes the class of an unmarked neighbour
// already classified (the row before, or the layer before), or else of one query at a point of
// the run's cells the lookup itself would answer. A run with no such point stays surface.
void SolidCells::classify(int axis, Parity parity, const void *context) noexcept
{
    const uint32_t nx = across[0], ny = across[1], nz = across[2];
    for (uint32_t z = 0; z < nz; ++z)
        for (uint32_t y = 0; y < ny; ++y) {
            unsigned char *row = states + z * strideZ + y * strideY;
            for (uint32_t x = 0; x < nx;) {
                if (row[x] != openCell) {
                    ++x;
                    continue;
                }
                uint32_t end = x;
                while (end < nx && row[end] == openCell)
                    ++end;
                int state = openCell;
                for (uint32_t i = x; i < end && state == openCell; ++i) {
                    const int before = y > 0 ? (row - strideY)[i] : surfaceCell;
                    const int under = z > 0 ? (row - strideZ)[i] : surfaceCell;
                    if (before == outsideCell || before == insideCell)
                        state = before;
                    else if (under == outsideCell || under == insideCell)
                        state = under;
                }
                for (uint32_t i = x; i < end && state == openCell; ++i) {
                    const uint32_t at[3] = {i, y, z};
                    double p[3];
                    for (int c = 0; c < 3; ++c)
                        p[c] = box.low[c] + (at[c] + 0.5) * width[c];
                    for (double probe : probes) {
                        p[uAxis] = box.low[uAxis] + (at[uAxis] + probe) * width[uAxis];
                        // A point of this very cell, by the lookup's own arithmetic.
                        if (withinInclusive(p, box) && cellOf(p) == z * strideZ + y * strideY + i &&
                            !nearFloatBelow(p[uAxis])) {
                            state = parity(context, p, axis) ? insideCell : outsideCell;
                            break;
                        }
                    }
                }
                if (state == openCell)
                    state = surfaceCell;
                std::memset(row + x, state, end - x);
                x = end;
            }
        }
}

void SolidCells::census(size_t &surface, size_t &outside, size_t &inside) const noexcept
{
    surface = outside = inside = 0;
    if (filledAxis < 0)
        return;
    for (size_t i = 0; i < cells; ++i) {
        surface += states[i] == surfaceCell;
        outside += states[i] == outsideCell;
        inside += states[i] == insideCell;
    }
}

} // namespace ostrevin
