#include "texture/distance/distance_index.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <new>

#include "framework/growing_buffer.h"
#include "texture/geometry/bounds.h"
#include "texture/geometry/quantiser.h"
#include "texture/geometry/vector.h"
#include "texture/distance/polygon_distance.h"
#include "texture/geometry/polygon_record.h"

namespace ostrevin {

namespace {

// Cells the grid may have for a polygon count: a few bytes per polygon, and some for tiny meshes.
constexpr size_t gridCellCapacity(size_t polygons) noexcept
{
    return 8 * polygons + 32;
}
// Cells a grid may mark in all, beyond which it is not worth building (polygons spanning much of
// the mesh each): the search alone then answers every point.
constexpr size_t markBudget(size_t polygons) noexcept
{
    return 16 * gridCellCapacity(polygons) + 64 * polygons;
}
// Cells along one axis: a line of them is copied to the stack while the grid is built.
constexpr uint32_t maxCellsPerAxis = 4096;
// Cells about a quarter of the width wide: a point is then found deeper than the width once it is
// at most a cell and a half deeper, give or take.
constexpr double cellsPerWidth = 4.0;

// Trees of at most this many leaves are searched leaf by leaf, without their nodes.
constexpr uint32_t smallTreeLeaves = 4;

// The margins, each a power of two so that scaling by it is exact. Both distance computations
// (the plain scan's and the boxes') round at most a few dozen times, each by 2^-53 of a
// coordinate's magnitude; every margin covers that many times over, and stays far below any
// width a user would set.
//   Searches leave a box out only beyond the best distance plus marginScale of the largest
//   coordinate (of the mesh's bounds, and again of the point).
constexpr double marginScale = 0x1p-36;
//   A polygon's plane, rounded to floats, is off by at most a few float steps (2^-24 each) of
//   the terms it sums: planeSlackScale of them is passed over only when farther still.
constexpr double planeSlackScale = 0x1p-21;
//   Nodes are tested in floats, from the point rounded to floats: each gap may come out larger
//   than the exact one by a few float steps of the coordinates, covered by floatSlackScale of
//   them, and the square by floatSquareSlack.
constexpr double floatSlackScale = 0x1p-19;
constexpr double floatSquareSlack = 0x1p-18;
//   A band's direction is stored a little short of unit length, so that its distance never
//   exceeds the true one whatever the rounding of its float components.
constexpr double bandShortening = 0x1p-20;
// Points beyond this magnitude (or not a number) are measured against every record plainly: the
// float tests above need room to spare below the floats' largest.
constexpr double floatReach = 0x1p100;

// Nodes waiting in a search. Each node taken out pushes at most four, so the stack holds at most
// 1 + 3 per level of rows; a tree of at most 2^31 leaves (reserve's bound on the count) has at
// most 16 levels of rows (two tree levels each).
constexpr int maxPending = 128;
static_assert(1 + 3 * 16 <= maxPending, "the search's stack holds the deepest tree");

// Pairs of a far cell and a polygon check() measures at most: beyond, it samples the cells evenly.
constexpr double checkedPairs = 0x1p24;

// Bits of each coordinate in a position along the curve.
constexpr int curveBits = 10;
constexpr double curveSteps = 1 << curveBits;

// Leaves of the tree for a polygon count, rounded up to a power of two (at least one).
size_t leafCapacity(size_t polygons) noexcept
{
    const size_t leaves = (polygons + DistanceIndex::leafSize - 1) / DistanceIndex::leafSize;
    size_t p = 1;
    while (p < leaves)
        p *= 2;
    return p;
}

// Rows for a polygon count: one per node at an even depth above the leaves.
size_t rowCapacity(size_t polygons) noexcept
{
    size_t rows = 0;
    for (size_t first = 1; first < leafCapacity(polygons); first *= 4)
        rows += first;
    return rows;
}

// The float next below a finite float or an infinity; bounds are rounded outwards with it.
float floatBelow(float f) noexcept
{
    if (f == 0.0f)
        return -FLT_TRUE_MIN;
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    bits = f > 0.0f ? bits - 1 : bits + 1;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
float roundedDown(double x) noexcept
{
    const float f = static_cast<float>(x);
    return static_cast<double>(f) > x ? floatBelow(f) : f;
}
float roundedUp(double x) noexcept
{
    return -roundedDown(-x);
}

DistanceIndex::Box emptyBox() noexcept
{
    return {{HUGE_VALF, HUGE_VALF, HUGE_VALF}, {-HUGE_VALF, -HUGE_VALF, -HUGE_VALF}, {0.0f, 0.0f, 0.0f}, -HUGE_VALF,
            HUGE_VALF};
}

// Nodes over at most this many polygons get a band; above, their polygons' normals spread too
// widely for one to help, and fitting it would cost a pass over every vertex per level.
constexpr uint32_t bandPolygons = 64;

void widen(DistanceIndex::Box &box, const DistanceIndex::Box &by) noexcept
{
    for (int c = 0; c < 3; ++c) {
        box.low[c] = lesserOf(by.low[c], box.low[c]);
        box.high[c] = greaterOf(by.high[c], box.high[c]);
    }
}

// Squared distance from p to a box: 0 inside, +infinity for an empty box.
inline double boxDistanceSquared(const double low[3], const double high[3], const double p[3]) noexcept
{
    double sum = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double below = low[c] - p[c], above = p[c] - high[c];
        const double gap = below > above ? below : above;
        const double g = gap > 0.0 ? gap : 0.0;
        sum += g * g;
    }
    return sum;
}

// Ten bits spread to every third bit.
uint32_t spreadBits(uint32_t x) noexcept
{
    x &= 0x3FFu;
    x = (x | x << 16) & 0x030000FFu;
    x = (x | x << 8) & 0x0300F00Fu;
    x = (x | x << 4) & 0x030C30C3u;
    x = (x | x << 2) & 0x09249249u;
    return x;
}

bool measuredRecord(const PolygonRecord &r) noexcept
{
    return r.vertexCount >= 3 && r.vertices;
}

} // namespace

DistanceIndex::~DistanceIndex()
{
    delete[] keys;
    delete[] scratch;
    delete[] nodes;
    delete[] rows;
    delete[] cells;
    delete[] polygonBoxes;
}

void DistanceIndex::clear() noexcept
{
    ready = false;
    records = nullptr;
    keptRecords = nullptr;
    measured = 0;
    gridOn = false;
    outlines.clear();
}

bool DistanceIndex::reserve(size_t n) noexcept
{
    if (n > UINT32_MAX / 2)
        return false;
    // Each block by the counts alone; one that cannot grow leaves the index unusable, and the
    // next build asks again.
    bool held = growOrFail(keys, keysHeld, n);
    held = growOrFail(scratch, scratchHeld, n) && held;
    held = growOrFail(nodes, nodesHeld, 2 * leafCapacity(n)) && held;
    held = growOrFail(rows, rowsHeld, rowCapacity(n)) && held;
    held = growOrFail(cells, cellsHeld, gridCellCapacity(n)) && held;
    held = growOrFail(polygonBoxes, polygonBoxesHeld, n) && held;
    return held;
}

bool DistanceIndex::build(const PolygonRecord *polygons, int count, const Bounds &bounds, double width,
                          const unsigned char *kept) noexcept
{
    clear();
    if (!(width > 0.0) || !(width <= DBL_MAX) || (count > 0 && !polygons))
        return false;
    // Never a zero-sized block: an empty mesh still gets a tree to answer from.
    const size_t n = count > 0 ? static_cast<size_t>(count) : 1;
    if (!reserve(n))
        return false;
    records = polygons;
    recordCount = count > 0 ? count : 0;
    builtWidth = width;

    double largest = 0.0;
    for (int c = 0; c < 3; ++c)
        for (const double x : {bounds.low[c], bounds.high[c]})
            if (std::isfinite(x) && __builtin_fabs(x) > largest)
                largest = __builtin_fabs(x);
    marginBase = largest * marginScale;

    keptRecords = kept;
    for (int i = 0; i < count; ++i)
        if (measuredRecord(polygons[i]) && (!kept || kept[i]))
            keys[measured++] = static_cast<uint64_t>(i);
    sortByCurve(bounds);
    buildTree();
    buildRows();
    buildGrid(bounds);
    // Without its storage every polygon is walked whole: the same distances, only slower.
    outlines.build(polygons, recordCount, kept);
    ready = true;
    return true;
}

void DistanceIndex::sortByCurve(const Bounds &bounds) noexcept
{
    double low[3], perUnit[3];
    for (int c = 0; c < 3; ++c) {
        const double extent = bounds.high[c] - bounds.low[c];
        low[c] = bounds.low[c];
        perUnit[c] = extent > 0.0 && extent <= DBL_MAX ? curveSteps / extent : 0.0;
    }
    // Each polygon's place on the curve, from the centre of its box, above its record number.
    for (uint32_t k = 0; k < measured; ++k) {
        const PolygonRecord &r = records[keys[k]];
        uint32_t code = 0;
        for (int c = 0; c < 3; ++c) {
            const double centre = 0.5 * r.bounds.low[c] + 0.5 * r.bounds.high[c];
            code |= spreadBits(quantise(centre, low[c], perUnit[c], static_cast<uint32_t>(curveSteps))) << c;
        }
        keys[k] |= static_cast<uint64_t>(code) << 32;
    }
    // Sorted by the curve's 30 bits, ten at a time, stable: a pass's output is the next one's input.
    uint64_t *from = keys, *to = scratch;
    for (int shift = 32; shift < 32 + 3 * curveBits; shift += curveBits) {
        uint32_t start[1u << curveBits] = {};
        for (uint32_t k = 0; k < measured; ++k)
            ++start[(from[k] >> shift) & 0x3FFu];
        uint32_t sum = 0;
        for (uint32_t &s : start) {
            const uint32_t c = s;
            s = sum;
            sum += c;
        }
        for (uint32_t k = 0; k < measured; ++k)
            to[start[(from[k] >> shift) & 0x3FFu]++] = from[k];
        uint64_t *swap = from;
        from = to;
        to = swap;
    }
    sorted = from;
}

void DistanceIndex::buildTree() noexcept
{
    const uint32_t leaves = (measured + leafSize - 1) / leafSize;
    firstLeaf = static_cast<uint32_t>(leafCapacity(measured));
    for (uint32_t j = 0; j < firstLeaf; ++j) {
        Box box = emptyBox();
        for (uint32_t k = j * leafSize; j < leaves && k < measured && k < (j + 1) * leafSize; ++k) {
            const PolygonRecord &r = records[static_cast<uint32_t>(sorted[k])];
            const Bounds measuredBox = measuredBounds(r);
            Box own = emptyBox();
            for (int c = 0; c < 3; ++c) {
                own.low[c] = roundedDown(measuredBox.low[c]);
                own.high[c] = roundedUp(measuredBox.high[c]);
                polygonBoxes[k].low[c] = own.low[c];
                polygonBoxes[k].high[c] = own.high[c];
            }
            double n[3] = {0.0, 0.0, 0.0}, d = 0.0;
            bool drops;
            if (!measuredPlane(r, n, d, drops) || !(__builtin_fabs(d) < static_cast<double>(FLT_MAX)))
                n[0] = n[1] = n[2] = d = 0.0;
            for (int c = 0; c < 3; ++c)
                polygonBoxes[k].plane[c] = static_cast<float>(n[c]);
            polygonBoxes[k].plane[3] = static_cast<float>(d);
            widen(box, own);
        }
        nodes[firstLeaf + j] = box;
    }
    for (uint32_t i = firstLeaf - 1; i >= 1; --i) {
        const Box bandless = emptyBox();
        nodes[i] = nodes[2 * i];
        widen(nodes[i], nodes[2 * i + 1]);
        for (int c = 0; c < 3; ++c)
            nodes[i].across[c] = 0.0f;
        nodes[i].bandLow = bandless.bandLow;
        nodes[i].bandHigh = bandless.bandHigh;
    }
    // Bands on the lower nodes: node i at height h (leaves 0) holds leaves (i << h) - firstLeaf on.
    for (uint32_t height = 0, span = leafSize; span <= bandPolygons && (firstLeaf >> height) > 0; ++height, span *= 2)
        for (uint32_t i = firstLeaf >> height; i < (firstLeaf >> height) * 2; ++i) {
            const uint32_t begin = ((i << height) - firstLeaf) * leafSize;
            if (begin < measured)
                fitBand(nodes[i], begin, begin + span < measured ? begin + span : measured);
        }
}

void DistanceIndex::fitBand(Box &node, uint32_t begin, uint32_t end) const noexcept
{
    // The direction: the polygons' normals, each turned to the first one's side, summed.
    double sum[3] = {0.0, 0.0, 0.0};
    const double *first = nullptr;
    for (uint32_t k = begin; k < end; ++k) {
        const double *n = records[static_cast<uint32_t>(sorted[k])].normal;
        if (!first)
            first = n;
        const double sign = n[0] * first[0] + n[1] * first[1] + n[2] * first[2] < 0.0 ? -1.0 : 1.0;
        for (int c = 0; c < 3; ++c)
            sum[c] += sign * n[c];
    }
    const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    if (!(length > 0.0 && length <= DBL_MAX))
        return;
    // A little short of unit length, as floats: the band's distance then never exceeds the true one.
    double across[3];
    for (int c = 0; c < 3; ++c) {
        node.across[c] = static_cast<float>(sum[c] / length * (1.0 - bandShortening));
        across[c] = node.across[c];
    }
    // Every vertex, and where they are dropped onto the polygon's plane also the dropped ones: what
    // is measured of each polygon lies in the hull of these.
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (uint32_t k = begin; k < end; ++k) {
        const PolygonRecord &r = records[static_cast<uint32_t>(sorted[k])];
        double n[3], d;
        bool drops = false;
        if (!measuredPlane(r, n, d, drops))
            drops = false;
        for (int j = 0; j < r.vertexCount; ++j) {
            double x[3] = {r.vertices[j][0], r.vertices[j][1], r.vertices[j][2]};
            for (int pass = 0; pass <= (drops ? 1 : 0); ++pass) {
                if (pass)
                    dropOntoPlane(r.vertices[j], n, d, x);
                const double t = across[0] * x[0] + across[1] * x[1] + across[2] * x[2];
                low = t < low ? t : low;
                high = t > high ? t : high;
            }
        }
    }
    if (!(low <= high) || !std::isfinite(low) || !std::isfinite(high)) {
        for (float &a : node.across)
            a = 0.0f;
        return;
    }
    node.bandLow = roundedDown(low);
    node.bandHigh = roundedUp(high);
}

uint32_t DistanceIndex::rowOf(uint32_t node) const noexcept
{
    // Node i at depth 2k is the (i - 4^k)-th of its depth, after the (4^k - 1) / 3 above it.
    const uint32_t depth = 31 - static_cast<uint32_t>(__builtin_clz(node));
    const uint32_t first = 1u << depth;
    return (first - 1) / 3 + (node - first);
}

void DistanceIndex::buildRows() noexcept
{
    for (uint32_t depth = 0; (1u << depth) < firstLeaf; depth += 2)
        for (uint32_t i = 1u << depth; i < (2u << depth); ++i) {
            NodeRow &g = rows[rowOf(i)];
            // Grandchildren, or just above the leaves (an odd count of levels) two children.
            const bool grand = (4 * static_cast<size_t>(i)) < 2 * static_cast<size_t>(firstLeaf);
            for (uint32_t lane = 0; lane < 4; ++lane) {
                const Box b = grand ? nodes[4 * i + lane] : lane < 2 ? nodes[2 * i + lane] : emptyBox();
                for (int c = 0; c < 3; ++c) {
                    g.low[c][lane] = b.low[c];
                    g.high[c][lane] = b.high[c];
                    g.across[c][lane] = b.across[c];
                }
                g.bandLow[lane] = b.bandLow;
                g.bandHigh[lane] = b.bandHigh;
            }
        }
}

// Cubes a quarter of the width wide, larger when there would be more than the storage holds:
// their size and how many along each axis. False when no size fits after many tries.
bool DistanceIndex::chooseCellSize(const double extent[3], double &size, double along[3]) const noexcept
{
    const double cap = static_cast<double>(cellsHeld);
    size = builtWidth / cellsPerWidth;
    for (int attempt = 0;; ++attempt) {
        double total = 1.0, longest = 0.0;
        for (int c = 0; c < 3; ++c) {
            along[c] = std::floor(extent[c] / size) + 1.0;
            longest = along[c] > longest ? along[c] : longest;
            total *= along[c];
        }
        if (total <= cap && longest <= maxCellsPerAxis)
            return true;
        if (attempt == 64)
            return false;
        // At least a few per cent larger each time: on few cells the one cell each axis gets
        // beyond the extent's share keeps the count from falling in proportion.
        const double byTotal = std::cbrt(total / cap), byLongest = longest / maxCellsPerAxis;
        const double factor = (byTotal > byLongest ? byTotal : byLongest) * 1.01;
        size *= factor > 1.05 ? factor : 1.05;
    }
}

// Every cell a measured polygon's box touches at distance 0. False when that would mark more cells
// than the budget: the search alone then answers every point.
bool DistanceIndex::markTouchedCells() noexcept
{
    const size_t strideY = cellCount[0], strideZ = static_cast<size_t>(cellCount[0]) * cellCount[1];
    size_t work = 0;
    const size_t budget = markBudget(keysHeld);
    for (uint32_t k = 0; k < measured; ++k) {
        const Bounds box = measuredBounds(records[static_cast<uint32_t>(sorted[k])]);
        const double *low = box.low, *high = box.high;
        if (!(low[0] <= high[0] && low[1] <= high[1] && low[2] <= high[2]))
            continue;
        uint32_t from[3], to[3];
        size_t cellsTouched = 1;
        for (int c = 0; c < 3; ++c) {
            from[c] = quantise(low[c], gridLow[c], cellsPerUnit, cellCount[c]);
            to[c] = quantise(high[c], gridLow[c], cellsPerUnit, cellCount[c]);
            cellsTouched *= to[c] - from[c] + 1;
        }
        work += cellsTouched;
        if (work > budget)
            return false;
        for (uint32_t z = from[2]; z <= to[2]; ++z)
            for (uint32_t y = from[1]; y <= to[1]; ++y)
                std::memset(cells + z * strideZ + y * strideY + from[0], 0, to[0] - from[0] + 1);
    }
    return true;
}

// Each cell's least sum over the axes of (cells between it and a touched cell)^2, axis by axis (the
// sum separates), looking `window` cells either way, up to the cap: a line at a time through a
// copy of it.
void DistanceIndex::spreadDistances(uint32_t window) noexcept
{
    const size_t stride[3] = {1, cellCount[0], static_cast<size_t>(cellCount[0]) * cellCount[1]};
    unsigned char line[maxCellsPerAxis];
    for (int c = 0; c < 3; ++c) {
        const int a = c == 0 ? 1 : 0, b = c == 2 ? 1 : 2;
        const uint32_t n = cellCount[c];
        for (uint32_t i = 0; i < cellCount[a]; ++i)
            for (uint32_t j = 0; j < cellCount[b]; ++j) {
                unsigned char *first = cells + i * stride[a] + j * stride[b];
                for (uint32_t t = 0; t < n; ++t)
                    line[t] = first[t * stride[c]];
                for (uint32_t t = 0; t < n; ++t) {
                    unsigned int least = line[t];
                    for (uint32_t gap = 2; gap <= window && least > 0; ++gap) {
                        const unsigned int step = (gap - 1) * (gap - 1);
                        if (t >= gap && line[t - gap] + step < least)
                            least = line[t - gap] + step;
                        if (t + gap < n && line[t + gap] + step < least)
                            least = line[t + gap] + step;
                    }
                    // Next to a touched cell nothing lies between: as near as the cell itself.
                    if (t >= 1 && line[t - 1] < least)
                        least = line[t - 1];
                    if (t + 1 < n && line[t + 1] < least)
                        least = line[t + 1];
                    first[t * stride[c]] = static_cast<unsigned char>(least < 255 ? least : 255);
                }
            }
    }
}

void DistanceIndex::buildGrid(const Bounds &bounds) noexcept
{
    gridOn = false;
    const double reach = builtWidth + marginBase;
    double extent[3];
    for (int c = 0; c < 3; ++c) {
        extent[c] = bounds.high[c] - bounds.low[c];
        if (!(extent[c] >= 0.0 && extent[c] <= DBL_MAX) || !std::isfinite(bounds.low[c]))
            return;
    }

    double size, along[3];
    if (!chooseCellSize(extent, size, along))
        return;
    // A polygon within the reach of a point lies at most this many cells away along some axes
    // (squared, summed over the axes, each less the one cell either may span); the cells' own
    // distances are held up to it, which it stays well below.
    const double cellsAway = reach / size;
    const double far2 = std::ceil(cellsAway * cellsAway);
    if (!(far2 < 254.0))
        return;
    farFrom = static_cast<unsigned char>(far2);
    cellsPerUnit = 1.0 / size;
    size_t total = 1;
    for (int c = 0; c < 3; ++c) {
        cellCount[c] = static_cast<uint32_t>(along[c]);
        gridLow[c] = bounds.low[c];
        total *= cellCount[c];
    }
    std::memset(cells, 255, total);

    if (!markTouchedCells())
        return;
    spreadDistances(static_cast<uint32_t>(cellsAway) + 2);
    gridOn = true;
}

bool DistanceIndex::inFarCell(const double p[3]) const noexcept
{
    if (!ready || !gridOn)
        return false;
    const size_t x = quantise(p[0], gridLow[0], cellsPerUnit, cellCount[0]);
    const size_t y = quantise(p[1], gridLow[1], cellsPerUnit, cellCount[1]);
    const size_t z = quantise(p[2], gridLow[2], cellsPerUnit, cellCount[2]);
    return cells[(z * cellCount[1] + y) * cellCount[0] + x] >= farFrom;
}

void DistanceIndex::leafNearest(uint32_t leaf, const double p[3], double &best, double &limit,
                                double margin) const noexcept
{
    const uint32_t end = (leaf + 1) * leafSize < measured ? (leaf + 1) * leafSize : measured;
    // Each polygon's own box first, from the leaf's compact run of them; only the records of those
    // that pass are fetched (they lie anywhere in the cache's array), all at once.
    uint32_t passing[leafSize];
    uint32_t count = 0;
    const double size = __builtin_fabs(p[0]) + __builtin_fabs(p[1]) + __builtin_fabs(p[2]);
    for (uint32_t k = leaf * leafSize; k < end; ++k) {
        const PolygonBox &b = polygonBoxes[k];
        const double low[3] = {b.low[0], b.low[1], b.low[2]}, high[3] = {b.high[0], b.high[1], b.high[2]};
        // The plane's distance, from its rounded normal and constant: off by at most a few float
        // steps of the terms, so the polygon is passed over only when farther by more than that.
        const double h = __builtin_fabs(static_cast<double>(b.plane[0]) * p[0] + static_cast<double>(b.plane[1]) * p[1] +
                                        static_cast<double>(b.plane[2]) * p[2] - static_cast<double>(b.plane[3]));
        const double beyond = h - (size + __builtin_fabs(static_cast<double>(b.plane[3]))) * planeSlackScale;
        if (beyond > 0.0 && beyond * beyond > limit)
            continue;
        if (boxDistanceSquared(low, high, p) <= limit) {
            passing[count++] = static_cast<uint32_t>(sorted[k]);
            __builtin_prefetch(records + static_cast<uint32_t>(sorted[k]));
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        const double d = outlines.distanceSquared(records, static_cast<int>(passing[i]), p, limit);
        if (d < best) {
            best = d;
            const double reach = std::sqrt(d) + margin;
            limit = reach * reach;
        }
    }
}

namespace {

typedef float Lanes4 __attribute__((vector_size(4 * sizeof(float))));
typedef int32_t Mask4 __attribute__((vector_size(4 * sizeof(int32_t))));

inline Lanes4 loadLanes(const float (&x)[4]) noexcept
{
    Lanes4 v;
    std::memcpy(&v, x, sizeof v);
    return v;
}
inline Lanes4 largerOf(Lanes4 a, Lanes4 b) noexcept
{
    return a > b ? a : b;
}

} // namespace

double DistanceIndex::distanceWithinWidth(const double p[3]) const noexcept
{
    const double width = builtWidth;
    if (!ready || inFarCell(p))
        return width;
    double largest = 0.0;
    for (int c = 0; c < 3; ++c)
        largest = __builtin_fabs(p[c]) > largest ? __builtin_fabs(p[c]) : largest;
    // Beyond what floats hold with room to spare (or not a number): every record, plainly.
    if (!(largest < floatReach)) {
        const double nearest = std::sqrt(nearestDistanceSquared(records, recordCount, p, keptRecords));
        return nearest < width ? nearest : width;
    }
    const double margin = marginBase + largest * marginScale;
    double best = HUGE_VAL;
    const double reach = width + margin;
    double limit = reach * reach;

    // A tree of a few leaves: their polygons' own boxes and planes, leaf after leaf, cost less than
    // a descent through the nodes above them.
    if (firstLeaf <= smallTreeLeaves) {
        for (uint32_t leaf = 0; leaf < firstLeaf; ++leaf)
            leafNearest(leaf, p, best, limit, margin);
    } else {
        searchTree(p, largest, margin, reach, best, limit);
    }
    const double nearest = std::sqrt(best);
    return nearest < width ? nearest : width;
}

namespace {

// The four lanes' bounds on the squared distance from the point (rounded to floats) to what a
// row's nodes hold: each box's gap and each band's, the larger.
__attribute__((always_inline)) inline Lanes4 laneBounds(const DistanceIndex::NodeRow &g, Lanes4 px, Lanes4 py,
                                                        Lanes4 pz) noexcept
{
    const Lanes4 zero = Lanes4{};
    const Lanes4 gx = largerOf(largerOf(loadLanes(g.low[0]) - px, px - loadLanes(g.high[0])), zero);
    const Lanes4 gy = largerOf(largerOf(loadLanes(g.low[1]) - py, py - loadLanes(g.high[1])), zero);
    const Lanes4 gz = largerOf(largerOf(loadLanes(g.low[2]) - pz, pz - loadLanes(g.high[2])), zero);
    const Lanes4 box = gx * gx + gy * gy + gz * gz;
    const Lanes4 t = loadLanes(g.across[0]) * px + loadLanes(g.across[1]) * py + loadLanes(g.across[2]) * pz;
    const Lanes4 gs = largerOf(largerOf(loadLanes(g.bandLow) - t, t - loadLanes(g.bandHigh)), zero);
    return largerOf(box, gs * gs);
}

} // namespace

// The descent: nearer nodes first, every node whose bound is beyond the reach left out, the
// reach shrinking as nearer polygons are found. Inlined into its one caller.
inline __attribute__((always_inline)) void DistanceIndex::searchTree(const double p[3], double largest, double margin,
                                                                     double reach, double &best, double &limit) const noexcept
{
    // Nodes are tested in floats, from the point rounded to floats: each gap may come out larger
    // than the exact one by a few units in the last place of the coordinates involved, so a node
    // is left out only beyond the reach plus that much (and a float's rounding of the square).
    const double slack = (largest + marginBase / marginScale) * floatSlackScale;
    const auto threshold = [slack](double r) noexcept {
        const double t = (r + slack) * (r + slack) * (1.0 + floatSquareSlack);
        return t < static_cast<double>(FLT_MAX) ? static_cast<float>(t) : HUGE_VALF;
    };
    float floatLimit = threshold(reach);
    const Lanes4 px = Lanes4{} + static_cast<float>(p[0]), py = Lanes4{} + static_cast<float>(p[1]),
                 pz = Lanes4{} + static_cast<float>(p[2]);

    // Nodes waiting, nearest last; each with the bound it was pushed with, tested again when it
    // comes up since a nearer polygon may have been found meanwhile.
    struct Pending {
        uint32_t node;
        float bound;
    } pending[maxPending];
    int waiting = 0;
    pending[waiting++] = {1, 0.0f};
    while (waiting > 0) {
        const Pending next = pending[--waiting];
        if (next.bound > floatLimit)
            continue;
        const uint32_t node = next.node;
        if (node >= firstLeaf) {
            leafNearest(node - firstLeaf, p, best, limit, margin);
            floatLimit = threshold(std::sqrt(limit));
            continue;
        }
        const Lanes4 bound = laneBounds(rows[rowOf(node)], px, py, pz);

        // Children by the node's layout; the passing ones pushed farthest first.
        const bool grand = (4 * static_cast<size_t>(node)) < 2 * static_cast<size_t>(firstLeaf);
        const uint32_t firstChild = grand ? 4 * node : 2 * node;
        uint32_t order[4];
        int passing = 0;
        for (uint32_t lane = 0; lane < 4; ++lane)
            if (bound[lane] <= floatLimit && (grand || lane < 2)) {
                // Insertion by bound, largest first.
                int k = passing++;
                while (k > 0 && bound[order[k - 1]] < bound[lane]) {
                    order[k] = order[k - 1];
                    --k;
                }
                order[k] = lane;
            }
        // Each one's row (or a leaf's first records) fetched now, while the nearer ones are
        // searched: on a large mesh every node is a trip to memory.
        for (int k = 0; k < passing; ++k) {
            const uint32_t child = firstChild + order[k];
            if (child < firstLeaf)
                __builtin_prefetch(rows + rowOf(child));
            else if ((child - firstLeaf) * leafSize < measured)
                __builtin_prefetch(polygonBoxes + (child - firstLeaf) * leafSize);
            pending[waiting++] = {child, bound[order[k]]};
        }
    }
}

namespace {

// Whether `outer` holds `inner` (an empty inner box is held by every box).
bool holds(const float outerLow[3], const float outerHigh[3], const float innerLow[3], const float innerHigh[3]) noexcept
{
    for (int c = 0; c < 3; ++c)
        if (innerLow[c] <= innerHigh[c] && !(outerLow[c] <= innerLow[c] && innerHigh[c] <= outerHigh[c]))
            return false;
    return true;
}

} // namespace

const char *DistanceIndex::check() const noexcept
{
    if (!ready)
        return nullptr;
    if (measured > static_cast<uint32_t>(recordCount) || firstLeaf != leafCapacity(measured))
        return "the tree's size does not fit its polygon count";

    // The tree's order: sorted along the curve, each measured record exactly once.
    unsigned char *seen = new (std::nothrow) unsigned char[static_cast<size_t>(recordCount) + 1]();
    if (!seen)
        return nullptr;
    const char *broken = nullptr;
    uint32_t counted = 0;
    for (int i = 0; i < recordCount; ++i)
        counted += measuredRecord(records[i]) && (!keptRecords || keptRecords[i]);
    for (uint32_t k = 0; k < measured && !broken; ++k) {
        const uint32_t record = static_cast<uint32_t>(sorted[k]);
        if (k > 0 && (sorted[k] >> 32) < (sorted[k - 1] >> 32))
            broken = "the polygons are not in the curve's order";
        else if (record >= static_cast<uint32_t>(recordCount) || !measuredRecord(records[record]) ||
                 (keptRecords && !keptRecords[record]) || seen[record]++)
            broken = "a measured polygon is missing from the tree or in it twice";
    }
    delete[] seen;
    if (broken)
        return broken;
    if (counted != measured)
        return "a measured polygon is missing from the tree or in it twice";

    // Each polygon's own box holds what is measured of it, and its leaf's box holds its own.
    for (uint32_t k = 0; k < measured; ++k) {
        const Bounds exact = measuredBounds(records[static_cast<uint32_t>(sorted[k])]);
        const PolygonBox &own = polygonBoxes[k];
        for (int c = 0; c < 3; ++c)
            if (exact.low[c] <= exact.high[c] && !(own.low[c] <= exact.low[c] && exact.high[c] <= own.high[c]))
                return "a polygon's box does not hold the polygon";
        const Box &leaf = nodes[firstLeaf + k / leafSize];
        if (!holds(leaf.low, leaf.high, own.low, own.high))
            return "a leaf's box does not hold one of its polygons";
    }
    // Every node's box holds its children's; every row holds its node's grandchildren (or, just
    // above the leaves, its two children), lane by lane.
    for (uint32_t i = 1; i < firstLeaf; ++i)
        for (uint32_t child = 2 * i; child < 2 * i + 2; ++child)
            if (!holds(nodes[i].low, nodes[i].high, nodes[child].low, nodes[child].high))
                return "a node's box does not hold a child's";
    for (uint32_t depth = 0; (1u << depth) < firstLeaf; depth += 2)
        for (uint32_t i = 1u << depth; i < (2u << depth); ++i) {
            const NodeRow &g = rows[rowOf(i)];
            const bool grand = (4 * static_cast<size_t>(i)) < 2 * static_cast<size_t>(firstLeaf);
            for (uint32_t lane = 0; lane < (grand ? 4u : 2u); ++lane) {
                const Box &b = nodes[grand ? 4 * i + lane : 2 * i + lane];
                for (int c = 0; c < 3; ++c)
                    if (g.low[c][lane] != b.low[c] || g.high[c][lane] != b.high[c] || g.across[c][lane] != b.across[c])
                        return "a row's lane differs from its node";
            }
        }
    if (const char *bands = checkBands())
        return bands;
    return checkGrid();
}

// A band holds every vertex of the node's polygons, and every vertex dropped onto its plane.
const char *DistanceIndex::checkBands() const noexcept
{
    for (uint32_t height = 0, span = leafSize; span <= bandPolygons && (firstLeaf >> height) > 0; ++height, span *= 2)
        for (uint32_t i = firstLeaf >> height; i < (firstLeaf >> height) * 2; ++i) {
            const Box &node = nodes[i];
            if (node.across[0] == 0.0f && node.across[1] == 0.0f && node.across[2] == 0.0f)
                continue;
            const double across[3] = {node.across[0], node.across[1], node.across[2]};
            const uint32_t begin = ((i << height) - firstLeaf) * leafSize;
            for (uint32_t k = begin; k < begin + span && k < measured; ++k) {
                const PolygonRecord &r = records[static_cast<uint32_t>(sorted[k])];
                double n[3], d;
                bool drops = false;
                const bool dropped = measuredPlane(r, n, d, drops) && drops;
                for (int j = 0; j < r.vertexCount; ++j) {
                    double x[3] = {r.vertices[j][0], r.vertices[j][1], r.vertices[j][2]};
                    for (int pass = 0; pass <= (dropped ? 1 : 0); ++pass) {
                        if (pass)
                            dropOntoPlane(r.vertices[j], n, d, x);
                        const double t = dot(across, x);
                        if (!(node.bandLow <= t && t <= node.bandHigh))
                            return "a band does not hold its polygons";
                    }
                }
            }
        }
    return nullptr;
}

// The grid: every cell a polygon's box touches at distance 0, and no polygon within the width of
// a cell marked far (its box against the cell's, the grid's outermost cells open outwards).
const char *DistanceIndex::checkGrid() const noexcept
{
    if (!gridOn)
        return nullptr;
    if (!(farFrom < 255) || static_cast<size_t>(cellCount[0]) * cellCount[1] * cellCount[2] > cellsHeld)
        return "the grid does not fit its storage";
    // Far cells against every polygon: all of them on a small grid, an even sample on a large one.
    const double size = 1.0 / cellsPerUnit;
    const size_t total = static_cast<size_t>(cellCount[0]) * cellCount[1] * cellCount[2];
    const size_t stride = 1 + static_cast<size_t>(static_cast<double>(total) * measured / checkedPairs);
    for (size_t cell = 0; cell < total; cell += stride) {
        if (cells[cell] < farFrom)
            continue;
        const uint32_t at[3] = {static_cast<uint32_t>(cell % cellCount[0]),
                                static_cast<uint32_t>(cell / cellCount[0] % cellCount[1]),
                                static_cast<uint32_t>(cell / cellCount[0] / cellCount[1])};
        double low[3], high[3];
        for (int c = 0; c < 3; ++c) {
            low[c] = at[c] == 0 ? -HUGE_VAL : gridLow[c] + at[c] * size;
            high[c] = at[c] + 1 == cellCount[c] ? HUGE_VAL : gridLow[c] + (at[c] + 1) * size;
        }
        for (uint32_t k = 0; k < measured; ++k) {
            const Bounds box = measuredBounds(records[static_cast<uint32_t>(sorted[k])]);
            double gap = 0.0;
            for (int c = 0; c < 3; ++c) {
                const double g = greaterOf(greaterOf(box.low[c] - high[c], low[c] - box.high[c]), 0.0);
                gap += g * g;
            }
            if (gap < builtWidth * builtWidth)
                return "a cell marked far lies within the width of a polygon";
        }
    }
    for (uint32_t k = 0; k < measured; ++k) {
        const Bounds box = measuredBounds(records[static_cast<uint32_t>(sorted[k])]);
        if (box.low[0] <= box.high[0] && box.low[1] <= box.high[1] && box.low[2] <= box.high[2])
            for (const double *corner : {box.low, box.high}) {
                const size_t x = quantise(corner[0], gridLow[0], cellsPerUnit, cellCount[0]);
                const size_t y = quantise(corner[1], gridLow[1], cellsPerUnit, cellCount[1]);
                const size_t z = quantise(corner[2], gridLow[2], cellsPerUnit, cellCount[2]);
                if (cells[(z * cellCount[1] + y) * cellCount[0] + x] != 0)
                    return "a cell a polygon touches is not at distance 0";
            }
    }
    return nullptr;
}

size_t DistanceIndex::bytes() const noexcept
{
    return (keysHeld + scratchHeld) * sizeof(uint64_t) + nodesHeld * sizeof(Box) + rowsHeld * sizeof(NodeRow) +
           cellsHeld + polygonBoxesHeld * sizeof(PolygonBox) + outlines.bytes();
}

} // namespace ostrevin
