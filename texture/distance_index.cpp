#include "texture/distance_index.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <new>

#include "texture/mesh_cache.h"
#include "texture/polygon_distance.h"

namespace ostrevin {

namespace {

// Cells the grid may have for a polygon count: a few bytes per polygon, and some for tiny meshes.
constexpr size_t cellCapacity(size_t polygons) noexcept
{
    return 8 * polygons + 64;
}
// Cells a grid may mark in all, beyond which it is not worth building (polygons spanning much of
// the mesh each): the search alone then answers every point.
constexpr size_t markBudget(size_t polygons) noexcept
{
    return 16 * cellCapacity(polygons) + 64 * polygons;
}
constexpr uint32_t maxCellsPerAxis = 1u << 20;
// Cells about a quarter of the width wide: a point is then found deeper than the width once it is
// at most a cell and a half deeper, give or take.
constexpr double cellsPerWidth = 4.0;

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

// The float next below and next above a finite float or an infinity; used to round bounds out.
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
    return {{HUGE_VALF, HUGE_VALF, HUGE_VALF}, {-HUGE_VALF, -HUGE_VALF, -HUGE_VALF}};
}

void widen(DistanceIndex::Box &box, const DistanceIndex::Box &by) noexcept
{
    for (int c = 0; c < 3; ++c) {
        box.low[c] = by.low[c] < box.low[c] ? by.low[c] : box.low[c];
        box.high[c] = by.high[c] > box.high[c] ? by.high[c] : box.high[c];
    }
}

// Squared distance from p to a box: 0 inside, +infinity for an empty box.
template <class T>
inline double boxDistanceSquared(const T low[3], const T high[3], const double p[3]) noexcept
{
    double sum = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double below = static_cast<double>(low[c]) - p[c], above = p[c] - static_cast<double>(high[c]);
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

// A coordinate's step along one axis, clamped to [0, steps - 1], NaN to 0. Never decreases as x
// grows, which is all the grid's proof of distance needs.
inline uint32_t stepOf(double x, double low, double perUnit, uint32_t steps) noexcept
{
    const double t = (x - low) * perUnit;
    const double last = static_cast<double>(steps - 1);
    const double above = t > 0.0 ? t : 0.0;
    return static_cast<uint32_t>(above < last ? above : last);
}

bool measuredRecord(const CachedPolygon &r) noexcept
{
    return r.vertexCount >= 3 && r.vertices;
}

} // namespace

DistanceIndex::~DistanceIndex()
{
    delete[] keys;
    delete[] scratch;
    delete[] nodes;
    delete[] cells;
}

void DistanceIndex::clear() noexcept
{
    ready = false;
    records = nullptr;
    measured = 0;
    gridOn = false;
}

bool DistanceIndex::reserve(size_t n) noexcept
{
    if (n <= capacity && keys)
        return true;
    delete[] keys;
    delete[] scratch;
    delete[] nodes;
    delete[] cells;
    keys = nullptr;
    scratch = nullptr;
    nodes = nullptr;
    cells = nullptr;
    capacity = 0;
    if (n > UINT32_MAX / 2 || n > SIZE_MAX / (16 * sizeof(Box)))
        return false;
    keys = new (std::nothrow) uint64_t[n];
    scratch = new (std::nothrow) uint64_t[n];
    nodes = new (std::nothrow) Box[2 * leafCapacity(n)];
    cells = new (std::nothrow) unsigned char[cellCapacity(n)];
    if (!keys || !scratch || !nodes || !cells) {
        delete[] keys;
        delete[] scratch;
        delete[] nodes;
        delete[] cells;
        keys = nullptr;
        scratch = nullptr;
        nodes = nullptr;
        cells = nullptr;
        return false;
    }
    capacity = n;
    return true;
}

bool DistanceIndex::build(const CachedPolygon *polygons, int count, const double boundsMin[3],
                          const double boundsMax[3], double width) noexcept
{
    clear();
    if (!(width > 0.0) || !(width <= DBL_MAX) || (count > 0 && !polygons))
        return false;
    // Never a zero-sized block: an empty mesh still gets a tree to answer from.
    const size_t n = count > 0 ? static_cast<size_t>(count) : 1;
    if (!reserve(n))
        return false;
    records = polygons;
    builtWidth = width;

    double largest = 0.0;
    for (int c = 0; c < 3; ++c)
        for (const double x : {boundsMin[c], boundsMax[c]})
            if (std::isfinite(x) && __builtin_fabs(x) > largest)
                largest = __builtin_fabs(x);
    marginBase = largest * 0x1p-36;

    for (int i = 0; i < count; ++i)
        if (measuredRecord(polygons[i]))
            keys[measured++] = static_cast<uint64_t>(i);
    sortByCurve(boundsMin, boundsMax);
    buildTree();
    buildGrid(boundsMin, boundsMax);
    ready = true;
    return true;
}

void DistanceIndex::sortByCurve(const double boundsMin[3], const double boundsMax[3]) noexcept
{
    double low[3], perUnit[3];
    for (int c = 0; c < 3; ++c) {
        const double extent = boundsMax[c] - boundsMin[c];
        low[c] = boundsMin[c];
        perUnit[c] = extent > 0.0 && extent <= DBL_MAX ? curveSteps / extent : 0.0;
    }
    // Each polygon's place on the curve, from the centre of its box, above its record number.
    for (uint32_t k = 0; k < measured; ++k) {
        const CachedPolygon &r = records[keys[k]];
        uint32_t code = 0;
        for (int c = 0; c < 3; ++c) {
            const double centre = 0.5 * r.boundsMin[c] + 0.5 * r.boundsMax[c];
            code |= spreadBits(stepOf(centre, low[c], perUnit[c], static_cast<uint32_t>(curveSteps))) << c;
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
            double low[3], high[3];
            measuredBounds(records[static_cast<uint32_t>(sorted[k])], low, high);
            Box own;
            for (int c = 0; c < 3; ++c) {
                own.low[c] = roundedDown(low[c]);
                own.high[c] = roundedUp(high[c]);
            }
            widen(box, own);
        }
        nodes[firstLeaf + j] = box;
    }
    for (uint32_t i = firstLeaf - 1; i >= 1; --i) {
        nodes[i] = nodes[2 * i];
        widen(nodes[i], nodes[2 * i + 1]);
    }
}

void DistanceIndex::buildGrid(const double boundsMin[3], const double boundsMax[3]) noexcept
{
    gridOn = false;
    const double reach = builtWidth + marginBase;
    double extent[3];
    for (int c = 0; c < 3; ++c) {
        extent[c] = boundsMax[c] - boundsMin[c];
        if (!(extent[c] >= 0.0 && extent[c] <= DBL_MAX) || !std::isfinite(boundsMin[c]))
            return;
    }

    // Cells a quarter of the width wide, coarser when there would be more than the storage holds.
    const double cap = static_cast<double>(cellCapacity(capacity));
    double size = builtWidth / cellsPerWidth;
    double along[3];
    for (int attempt = 0;; ++attempt) {
        double total = 1.0;
        for (int c = 0; c < 3; ++c) {
            const double wanted = std::ceil(extent[c] / size);
            along[c] = wanted < 1.0 ? 1.0 : wanted > maxCellsPerAxis ? maxCellsPerAxis : wanted;
            total *= along[c];
        }
        if (total <= cap)
            break;
        if (attempt == 8)
            return;
        size *= std::cbrt(total / cap) * 1.01;
    }
    size_t total = 1;
    uint32_t radius[3];
    for (int c = 0; c < 3; ++c) {
        cellCount[c] = static_cast<uint32_t>(along[c]);
        gridLow[c] = boundsMin[c];
        cellsPerUnit[c] = extent[c] > 0.0 ? along[c] / extent[c] : 0.0;
        // Cells along this axis that a polygon within the width may lie beyond: each cell is at
        // most 1 / cellsPerUnit wide.
        const double r = std::ceil(reach * cellsPerUnit[c]);
        radius[c] = r < along[c] ? static_cast<uint32_t>(r) : cellCount[c];
        total *= cellCount[c];
    }
    std::memset(cells, 0, total);

    // Every cell a measured polygon's box touches.
    const size_t strideY = cellCount[0], strideZ = static_cast<size_t>(cellCount[0]) * cellCount[1];
    size_t work = 0;
    const size_t budget = markBudget(capacity);
    for (uint32_t k = 0; k < measured; ++k) {
        double low[3], high[3];
        measuredBounds(records[static_cast<uint32_t>(sorted[k])], low, high);
        if (!(low[0] <= high[0] && low[1] <= high[1] && low[2] <= high[2]))
            continue;
        uint32_t from[3], to[3];
        size_t cellsTouched = 1;
        for (int c = 0; c < 3; ++c) {
            from[c] = stepOf(low[c], gridLow[c], cellsPerUnit[c], cellCount[c]);
            to[c] = stepOf(high[c], gridLow[c], cellsPerUnit[c], cellCount[c]);
            cellsTouched *= to[c] - from[c] + 1;
        }
        work += cellsTouched;
        if (work > budget)
            return;
        for (uint32_t z = from[2]; z <= to[2]; ++z)
            for (uint32_t y = from[1]; y <= to[1]; ++y)
                std::memset(cells + z * strideZ + y * strideY + from[0], 1, to[0] - from[0] + 1);
    }

    // Then every cell within the radius of a touched one, axis by axis (a box around each touched
    // cell): bit 1 collects the result of both sweeps of a line while bit 0 still holds its input.
    const size_t stride[3] = {1, strideY, strideZ};
    for (int c = 0; c < 3; ++c) {
        if (radius[c] == 0)
            continue;
        const int a = c == 0 ? 1 : 0, b = c == 2 ? 1 : 2;
        const uint32_t n = cellCount[c], r = radius[c];
        for (uint32_t i = 0; i < cellCount[a]; ++i)
            for (uint32_t j = 0; j < cellCount[b]; ++j) {
                unsigned char *line = cells + i * stride[a] + j * stride[b];
                uint32_t since = r + 1;
                for (uint32_t t = 0; t < n; ++t) {
                    unsigned char &cell = line[t * stride[c]];
                    since = (cell & 1) ? 0 : since <= r ? since + 1 : since;
                    cell = static_cast<unsigned char>(cell | (since <= r ? 2 : 0));
                }
                since = r + 1;
                for (uint32_t t = n; t-- > 0;) {
                    unsigned char &cell = line[t * stride[c]];
                    since = (cell & 1) ? 0 : since <= r ? since + 1 : since;
                    cell = static_cast<unsigned char>(cell | (since <= r ? 2 : 0));
                }
            }
        for (size_t k = 0; k < total; ++k)
            cells[k] = static_cast<unsigned char>(cells[k] >> 1);
    }
    gridOn = true;
}

bool DistanceIndex::inFarCell(const double p[3]) const noexcept
{
    if (!ready || !gridOn)
        return false;
    const size_t x = stepOf(p[0], gridLow[0], cellsPerUnit[0], cellCount[0]);
    const size_t y = stepOf(p[1], gridLow[1], cellsPerUnit[1], cellCount[1]);
    const size_t z = stepOf(p[2], gridLow[2], cellsPerUnit[2], cellCount[2]);
    return cells[(z * cellCount[1] + y) * cellCount[0] + x] == 0;
}

void DistanceIndex::leafNearest(uint32_t leaf, const double p[3], double &best, double &limit,
                                double margin) const noexcept
{
    const uint32_t end = (leaf + 1) * leafSize < measured ? (leaf + 1) * leafSize : measured;
    for (uint32_t k = leaf * leafSize; k < end; ++k) {
        const CachedPolygon &r = records[static_cast<uint32_t>(sorted[k])];
        // The record's own bounds hold what is measured of a triangle; a larger polygon may be
        // measured beyond them (dropped onto its plane), so the leaf's box alone stands for it.
        if (r.vertexCount == 3 && boxDistanceSquared(r.boundsMin, r.boundsMax, p) > limit)
            continue;
        const double d = polygonDistanceSquared(r, p);
        if (d < best) {
            best = d;
            const double reach = std::sqrt(d) + margin;
            limit = reach * reach;
        }
    }
}

double DistanceIndex::distanceWithinWidth(const double p[3]) const noexcept
{
    const double width = builtWidth;
    if (!ready || inFarCell(p))
        return width;
    double largest = 0.0;
    for (int c = 0; c < 3; ++c)
        largest = __builtin_fabs(p[c]) > largest ? __builtin_fabs(p[c]) : largest;
    const double margin = marginBase + largest * 0x1p-36;
    double best = HUGE_VAL;
    const double reach = width + margin;
    double limit = reach * reach;

    // Nearer child first; the farther one waits on the stack with its distance, and is left out
    // when it comes up if a nearer polygon has been found meanwhile. The tree is at most 32 deep.
    struct Pending {
        uint32_t node;
        double distance;
    } pending[64];
    int waiting = 0;
    uint32_t node = 1;
    double distance = boxDistanceSquared(nodes[1].low, nodes[1].high, p);
    for (;;) {
        if (distance <= limit) {
            if (node >= firstLeaf) {
                leafNearest(node - firstLeaf, p, best, limit, margin);
            } else {
                const uint32_t left = 2 * node;
                const double dl = boxDistanceSquared(nodes[left].low, nodes[left].high, p);
                const double dr = boxDistanceSquared(nodes[left + 1].low, nodes[left + 1].high, p);
                const bool leftFirst = !(dr < dl);
                if ((leftFirst ? dr : dl) <= limit)
                    pending[waiting++] = {leftFirst ? left + 1 : left, leftFirst ? dr : dl};
                node = leftFirst ? left : left + 1;
                distance = leftFirst ? dl : dr;
                continue;
            }
        }
        if (waiting == 0)
            break;
        --waiting;
        node = pending[waiting].node;
        distance = pending[waiting].distance;
    }
    const double nearest = std::sqrt(best);
    return nearest < width ? nearest : width;
}

size_t DistanceIndex::bytes() const noexcept
{
    if (!keys)
        return 0;
    return capacity * 2 * sizeof(uint64_t) + 2 * leafCapacity(capacity) * sizeof(Box) + cellCapacity(capacity);
}

} // namespace ostrevin
