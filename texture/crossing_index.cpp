#include "texture/crossing_index.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <new>
#include <thread>

#include "texture/geometry.h"
#include "texture/height_key.h"
#include "texture/mesh_cache.h"
#include "texture/polygon_crossing.h"

namespace ostrevin {

namespace {

// Entries in groups of four, twelve words a group: the four entries' ends, their tops, then where
// their copies start.
// Word is uint32_t to write an entry, const uint32_t to read one.
template <class Word>
inline Word &endsOf(Word *words, size_t at) noexcept
{
    return words[3 * (at & ~size_t{3}) + (at & 3)];
}
template <class Word>
inline Word &topOf(Word *words, size_t at) noexcept
{
    return words[3 * (at & ~size_t{3}) + 4 + (at & 3)];
}
template <class Word>
inline Word &copyOf(Word *words, size_t at) noexcept
{
    return words[3 * (at & ~size_t{3}) + 8 + (at & 3)];
}
inline void setEntry(uint32_t *words, size_t at, uint32_t ends, int32_t top, uint32_t copy) noexcept
{
    endsOf(words, at) = ends;
    topOf(words, at) = static_cast<uint32_t>(top);
    copyOf(words, at) = copy;
}
inline uint32_t roundUpToGroup(uint32_t count) noexcept
{
    return (count + 3) & ~uint32_t{3};
}

// A height key in a cell, to 16 bits: rounded up, so that a point whose key's upper half is at or
// above it is at or above the key itself. Every key of a float fits (the largest, infinity's,
// rounds up to 0x7F80).
inline int16_t coarseKey(int32_t key) noexcept
{
    return static_cast<int16_t>((static_cast<int64_t>(key) + 0xFFFF) >> 16);
}
constexpr int16_t noCoarseKey = INT16_MIN;
static_assert((-65537 >> 16) == -2 && (int64_t{-65537} >> 16) == -2, "right shifts of negative keys round down");

// Layout of one copy, in bytes from its start.
constexpr size_t countOffset = 4 * sizeof(double);
constexpr size_t vertexOffset = countOffset + sizeof(int32_t);
constexpr size_t vertexBytes = 3 * sizeof(float);
constexpr size_t extentBytes = 6 * sizeof(float);

constexpr size_t copyBytes(size_t vertexCount) noexcept
{
    return (vertexOffset + vertexCount * vertexBytes + 7) & ~size_t{7};
}

// Steps per level-0 cell, as a shift: 64 keeps an entry's ends (up to two cells) in a byte.
constexpr uint32_t cellShift = 6;
constexpr uint32_t maxCellsPerAxis = 1u << 20;
// Cells of all levels a grid may have beyond its polygon count.
constexpr size_t spareCells = 16;

// Cells a grid may have for a polygon count: every level's, and one more.
constexpr size_t cellCapacity(size_t polygons) noexcept
{
    return polygons / 5 + spareCells;
}

// Entries the three grids share, with their padding: four and a quarter per polygon. The first grid
// laid out may take all but one per polygon for each of the other two (a polygon sits in up to
// four cells of its level); every grid gets at least one per polygon, and a group's worth more
// (each cell starts a group).
constexpr size_t poolSize(size_t polygons) noexcept
{
    return polygons * 4 + polygons / 4 + 1 + 12 * CrossingIndex::entryPadding;
}
// Polygons a level above the first may hold before it is worth its own cells.
constexpr size_t fewPolygons = 8;
// Copies beyond this many bytes are not expected to stay in the caches between queries.
constexpr size_t farCopies = size_t{1} << 19;

// Level-0 cells about as wide as this fraction of the polygons' rectangles (from a sample): most
// polygons then sit at level 0, the wider ones a level or two up.
constexpr double cellQuantile = 0.75;
static_assert(cellQuantile >= 0.0 && cellQuantile < 1.0, "a quantile picks one of the sampled sizes");
constexpr int sampleSize = 512;

// The one position-to-step function of a grid, for the rectangles' ends and the query point
// alike. It never decreases as x grows, so a point within a rectangle gets a step within the
// rectangle's steps. NaN and everything below the grid go to step 0, everything above to the last.
inline uint32_t stepOf(double x, double low, double scale, uint32_t steps) noexcept
{
    // Clamped by selects the compiler makes minimum and maximum instructions (no branch): below
    // or NaN to 0, from the last step on to the last step (exactly representable, as is every
    // step count).
    const double t = (x - low) * scale;
    const double last = static_cast<double>(steps - 1);
    const double above = t > 0.0 ? t : 0.0;
    return static_cast<uint32_t>(above < last ? above : last);
}

// |x|. The builtin compiles to a mask on the vector registers; the library's fabs is a call on
// some 32-bit C libraries, made with the x87 unit (the module keeps its arithmetic off it).
inline double magnitude(double x) noexcept
{
    return __builtin_fabs(x);
}

inline double loadDouble(const unsigned char *at) noexcept
{
    double x;
    std::memcpy(&x, at, sizeof x);
    return x;
}

inline int32_t loadCount(const unsigned char *copy) noexcept
{
    int32_t n;
    std::memcpy(&n, copy + countOffset, sizeof n);
    return n;
}

inline float coordinate(const unsigned char *copy, int vertex, int axis) noexcept
{
    float x;
    std::memcpy(&x, copy + vertexOffset + static_cast<size_t>(vertex) * vertexBytes + static_cast<size_t>(axis) * sizeof(float),
                sizeof x);
    return x;
}

// Replaces the array when it is too small; its content is not kept.
template <class T>
bool atLeast(T *&array, size_t &capacity, size_t wanted) noexcept
{
    if (wanted <= capacity)
        return true;
    delete[] array;
    capacity = 0;
    array = new (std::nothrow) T[wanted];
    if (!array)
        return false;
    capacity = wanted;
    return true;
}

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
    std::memcpy(n, copy, sizeof n);
    const double d = loadDouble(copy + 24);
    const double inverse = 1.0 / n[axis], nu = n[u], nv = n[v];
    const double cu = 0.5 * (static_cast<double>(e[u]) + e[3 + u]), hu = 0.5 * (static_cast<double>(e[3 + u]) - e[u]);
    const double cv = 0.5 * (static_cast<double>(e[v]) + e[3 + v]), hv = 0.5 * (static_cast<double>(e[3 + v]) - e[v]);
    const double centre = (d - nu * cu - nv * cv) * inverse;
    const double top = centre + magnitude(nu * inverse) * hu + magnitude(nv * inverse) * hv;
    const double terms = magnitude(d) + magnitude(n[0]) * reach[0] + magnitude(n[1]) * reach[1] +
                         magnitude(n[2]) * reach[2] + magnitude(nu) * (magnitude(cu) + hu) +
                         magnitude(nv) * (magnitude(cv) + hv);
    const double slack = 64.0 * DBL_EPSILON * (terms * magnitude(inverse) + magnitude(top) + magnitude(centre));
    // Rounded up to a float: two float steps more than the bound, which nearest rounding cannot
    // undo, and the smallest normal float for bounds near zero.
    const double bound = top + slack;
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

} // namespace

CrossingIndex::~CrossingIndex()
{
    delete[] bytesBlock;
    delete[] wordsBlock;
    delete[] cellsBlock;
    delete[] entriesBlock;
}

void CrossingIndex::clear() noexcept
{
    ready = false;
    copiesUsed = 0;
    polygonCount = 0;
    poolUsed = 0;
    for (std::atomic<bool> &done : laidOut)
        done.store(false, std::memory_order_relaxed);
}

size_t CrossingIndex::copySize(int vertexCount) noexcept
{
    return vertexCount >= 3 ? copyBytes(static_cast<size_t>(vertexCount)) : 0;
}

bool CrossingIndex::begin(int count, size_t copyTotal) noexcept
{
    clear();
    announced = count > 0 ? static_cast<size_t>(count) : 0;
    // Never a zero-sized block: an empty mesh still gets grids to answer from.
    const size_t n = announced > 0 ? announced : 1;
    if (n > SIZE_MAX / (8 * sizeof(Cell)) || n > SIZE_MAX / (15 * sizeof(uint32_t)) - 3 * entryPadding ||
        copyTotal > SIZE_MAX - n * (extentBytes + 1) - 8)
        return false;

    // Words and entries: sized by the polygon count.
    if (n > polygonCapacity) {
        delete[] wordsBlock;
        delete[] cellsBlock;
        delete[] entriesBlock;
        polygonCapacity = 0;
        wordsBlock = new (std::nothrow) uint32_t[n];
        cellsBlock = new (std::nothrow) Cell[3 * cellCapacity(n)];
        entriesBlock = new (std::nothrow) uint32_t[3 * poolSize(n)];
        if (!wordsBlock || !cellsBlock || !entriesBlock) {
            delete[] wordsBlock;
            delete[] cellsBlock;
            delete[] entriesBlock;
            wordsBlock = nullptr;
            cellsBlock = nullptr;
            entriesBlock = nullptr;
            return false;
        }
        polygonCapacity = n;
    }
    poolEntries = poolSize(polygonCapacity);
    copyStart = wordsBlock;
    for (int a = 0; a < 3; ++a)
        grids[a].cells = cellsBlock + static_cast<size_t>(a) * cellCapacity(polygonCapacity);

    // Bytes: sized by the polygon and vertex counts, so it grows with either.
    const size_t head = (n * (extentBytes + 1) + 7) & ~size_t{7};
    if (!atLeast(bytesBlock, bytesCapacity, head + copyTotal))
        return false;
    extents = bytesBlock;
    countsOn = bytesBlock + n * extentBytes;
    copies = bytesBlock + head;
    copiesCapacity = bytesCapacity - head;
    return true;
}

void CrossingIndex::add(const CachedPolygon &r) noexcept
{
    if (polygonCount >= announced)
        return;
    const size_t i = polygonCount++;
    // The record's bounds are the host's floats, widened: narrowing gives them back exactly.
    float e[6];
    for (int c = 0; c < 3; ++c) {
        e[c] = static_cast<float>(r.boundsMin[c]);
        e[3 + c] = static_cast<float>(r.boundsMax[c]);
    }
    std::memcpy(extents + i * extentBytes, e, extentBytes);
    // Fewer than three vertices never count, nor does an axis the plane is parallel to.
    countsOn[i] = 0;
    if (r.vertexCount < 3)
        return;
    const size_t k = static_cast<size_t>(r.vertexCount);
    const size_t need = copyBytes(k);
    if (copiesUsed / 8 > UINT32_MAX || need > copiesCapacity - copiesUsed)
        return;   // cannot happen with begin()'s counts; never counting it is the safe answer
    unsigned char on = 0;
    for (int a = 0; a < 3; ++a)
        if (r.normal[a] != 0.0)
            on = static_cast<unsigned char>(on | 1u << a);
    countsOn[i] = on;
    unsigned char *copy = copies + copiesUsed;
    const double plane[4] = {r.normal[0], r.normal[1], r.normal[2], r.planeD};
    std::memcpy(copy, plane, sizeof plane);
    const int32_t n = r.vertexCount;
    std::memcpy(copy + countOffset, &n, sizeof n);
    unsigned char *out = copy + vertexOffset;
    for (size_t j = 0; j < k; ++j) {
        const float f[3] = {static_cast<float>(r.vertices[j][0]), static_cast<float>(r.vertices[j][1]),
                            static_cast<float>(r.vertices[j][2])};
        std::memcpy(out + j * vertexBytes, f, vertexBytes);
    }
    copyStart[i] = static_cast<uint32_t>(copiesUsed / 8);
    copiesUsed += need;
}

bool CrossingIndex::holdsPositionsOf(const CachedPolygon *records, int count) const noexcept
{
    if (!ready || count < 0 || static_cast<size_t>(count) != polygonCount)
        return false;
    for (size_t i = 0; i < polygonCount; ++i) {
        const CachedPolygon &r = records[i];
        // Fewer than three vertices have no copy to compare with: taken as changed.
        if (r.vertexCount < 3)
            return false;
        const unsigned char *copy = copies + static_cast<size_t>(copyStart[i]) * 8;
        if (loadCount(copy) != r.vertexCount)
            return false;
        const unsigned char *at = copy + vertexOffset;
        for (int j = 0; j < r.vertexCount; ++j)
            for (int c = 0; c < 3; ++c) {
                // Widening is exact and one to one, so equal doubles mean equal float bits.
                float f;
                std::memcpy(&f, at + (static_cast<size_t>(j) * 3 + static_cast<size_t>(c)) * sizeof(float), sizeof f);
                const double x = f;
                if (std::memcmp(&x, &r.vertices[j][c], sizeof x) != 0)
                    return false;
            }
    }
    return true;
}

void CrossingIndex::finish(const double boundsMin[3], const double boundsMax[3]) noexcept
{
    for (int c = 0; c < 3; ++c) {
        meshLow[c] = boundsMin[c];
        meshHigh[c] = boundsMax[c];
    }
    ready = true;
}

void CrossingIndex::prepare(int axis) const noexcept
{
    if (!ready || axis < 0 || axis > 2 || laidOut[axis].load(std::memory_order_acquire))
        return;
    while (layOutBusy.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
    if (!laidOut[axis].load(std::memory_order_relaxed)) {
        layOut(axis);
        laidOut[axis].store(true, std::memory_order_release);
    }
    layOutBusy.clear(std::memory_order_release);
}

void CrossingIndex::layOut(int axis) const noexcept
{
    Grid &g = grids[axis];
    const int u = crossFirstAxis[axis], v = crossSecondAxis[axis];
    const uint8_t bit = static_cast<uint8_t>(1u << axis);

    // Typical rectangle size along u and v, from an even sample of the polygons this axis counts.
    float widths[sampleSize], heights[sampleSize];
    int sampled = 0;
    for (int k = 0; k < sampleSize && polygonCount > 0; ++k) {
        const size_t i = polygonCount * static_cast<size_t>(k) / sampleSize;
        float e[6];
        std::memcpy(e, extents + i * extentBytes, extentBytes);
        const float w = e[3 + u] - e[u], h = e[3 + v] - e[v];
        if ((countsOn[i] & bit) && std::isfinite(w) && std::isfinite(h) && w >= 0.0f && h >= 0.0f) {
            widths[sampled] = w;
            heights[sampled] = h;
            ++sampled;
        }
    }
    float sampleWidths[sampleSize], sampleHeights[sampleSize];
    std::copy(widths, widths + sampled, sampleWidths);
    std::copy(heights, heights + sampled, sampleHeights);
    double size[2] = {0.0, 0.0};
    if (sampled > 0) {
        const int pick = static_cast<int>(cellQuantile * sampled);
        std::nth_element(widths, widths + pick, widths + sampled);
        std::nth_element(heights, heights + pick, heights + sampled);
        size[0] = widths[pick];
        size[1] = heights[pick];
    }

    // Level-0 cells of about that size over the mesh's extent: one along an axis without a finite
    // positive extent, and no more in all than an eighth of the polygons (the levels above add up
    // to a third as many again).
    const double span[2] = {meshHigh[u] - meshLow[u], meshHigh[v] - meshLow[v]};
    const double budget = static_cast<double>(polygonCount / 8 + 1);
    double cells[2] = {1.0, 1.0};
    for (int d = 0; d < 2; ++d) {
        if (!(std::isfinite(span[d]) && span[d] > 0.0))
            continue;
        cells[d] = size[d] > 0.0 ? std::ceil(span[d] / size[d]) : std::sqrt(budget);
        cells[d] = std::min(std::max(cells[d], 1.0), static_cast<double>(maxCellsPerAxis));
    }
    if (cells[0] * cells[1] > budget) {
        const double shrink = std::sqrt(budget / (cells[0] * cells[1]));
        cells[0] = std::max(1.0, std::floor(cells[0] * shrink));
        cells[1] = std::max(1.0, std::floor(cells[1] * shrink));
    }

    // The largest magnitude of each coordinate within the mesh's bounds.
    double reach[3];
    for (int c = 0; c < 3; ++c)
        reach[c] = std::max(magnitude(meshLow[c]), magnitude(meshHigh[c]));

    // Entries this grid may take from the pool: what is left once every axis not yet laid out has
    // one entry per polygon and a group set aside. That always fits (a single cell holds each
    // polygon once), so the loop below ends.
    size_t others = 0;
    for (int a = 0; a < 3; ++a)
        others += a != axis && !laidOut[a].load(std::memory_order_relaxed);
    const size_t perAxis = polygonCount + 3 * entryPadding;
    const size_t allowance = (poolEntries - poolUsed - others * perAxis - entryPadding) & ~size_t{3};

    // Wider cells while the sample says the entries would not fit: a rectangle overlaps on
    // average 1 + w / S cells along an axis, at the level whose cells S it fits in.
    const auto entriesPerPolygon = [&]() noexcept {
        double cellSize[2];
        for (int d = 0; d < 2; ++d)
            cellSize[d] = cells[d] > 1.0 ? span[d] / cells[d] : HUGE_VAL;
        double sum = 0.0;
        for (int k = 0; k < sampled; ++k) {
            double su = cellSize[0], sv = cellSize[1];
            for (int level = 0; level < maxLevels && (sampleWidths[k] > su || sampleHeights[k] > sv); ++level) {
                su *= 2.0;
                sv *= 2.0;
            }
            sum += (1.0 + std::min(sampleWidths[k] / su, 1.0)) * (1.0 + std::min(sampleHeights[k] / sv, 1.0));
        }
        return sampled > 0 ? sum / sampled : 1.0;
    };
    const double counted = static_cast<double>(polygonCount) * sampled / sampleSize;
    while ((cells[0] > 1.0 || cells[1] > 1.0) && entriesPerPolygon() * counted > static_cast<double>(allowance)) {
        cells[0] = std::max(1.0, std::floor(cells[0] * 0.85));
        cells[1] = std::max(1.0, std::floor(cells[1] * 0.85));
    }

    // The levels, coarser until two cells span each axis; then each polygon counted in every cell
    // it overlaps at its level. Fewer, wider level-0 cells when the cells or the entries would not
    // fit the storage.
    const uint32_t bitOf = bit;
    size_t cellTotal = 0;
    size_t perLevel[maxLevels] = {};
    uint32_t top = 0;
    bool promote = false;
    const auto stepsOf = [&](size_t i, uint32_t s[4]) noexcept {
        float e[6];
        std::memcpy(e, extents + i * extentBytes, extentBytes);
        // An empty rectangle (no number in a coordinate) holds no point.
        if (!(countsOn[i] & bitOf) || !(e[u] <= e[3 + u] && e[v] <= e[3 + v]))
            return false;
        s[0] = stepOf(e[u], g.low[0], g.scale[0], g.steps[0]);
        s[1] = stepOf(e[3 + u], g.low[0], g.scale[0], g.steps[0]);
        s[2] = stepOf(e[v], g.low[1], g.scale[1], g.steps[1]);
        s[3] = stepOf(e[3 + v], g.low[1], g.scale[1], g.steps[1]);
        return true;
    };
    const auto naturalLevel = [](const uint32_t s[4]) noexcept {
        return std::max(levelFor(s[0], s[1]), levelFor(s[2], s[3]));
    };
    // A level above the first holding only a few polygons costs every query one more cell: its
    // polygons go to the top level instead, which every query reads anyway.
    const auto promoted = [&](uint32_t level) noexcept {
        return promote && level > 0 && level < top && perLevel[level] <= fewPolygons;
    };
    const auto levelOf = [&](const uint32_t s[4]) noexcept {
        const uint32_t level = naturalLevel(s);
        return promoted(level) ? top : level;
    };
    // Calls `visit(cell, ends, real)` for the four corners of the block of cells the polygon
    // overlaps at `level` (one or two along each axis), with its rectangle's ends in that cell's
    // steps (clipped to the cell: a low end 0, a high end 63 where it goes on); `real` is 0 for a
    // corner that repeats another, whose visit must change nothing. Always four visits: whether a
    // rectangle crosses a cell's edge is a coin toss, not worth a mispredicted branch.
    const auto forEachCell = [&](const uint32_t s[4], uint32_t level, auto &&visit) noexcept {
        const Level &l = g.levels[level];
        const uint32_t shift = cellShift + level;
        const uint32_t lu0 = s[0] >> level, lu1 = s[1] >> level, lv0 = s[2] >> level, lv1 = s[3] >> level;
        const uint32_t cu0 = s[0] >> shift, cu1 = s[1] >> shift, cv0 = s[2] >> shift, cv1 = s[3] >> shift;
        const uint32_t twoU = cu1 != cu0, twoV = cv1 != cv0;
        // Along each axis: the ends in the first cell, then in the second (when there is one).
        const uint32_t uEnds[2] = {(lu0 - (cu0 << cellShift)) | std::min<uint32_t>(lu1 - (cu0 << cellShift), 63) << 8,
                                   std::min<uint32_t>(lu1 - (cu1 << cellShift), 63) << 8};
        const uint32_t vEnds[2] = {(lv0 - (cv0 << cellShift)) << 16 | std::min<uint32_t>(lv1 - (cv0 << cellShift), 63) << 24,
                                   std::min<uint32_t>(lv1 - (cv1 << cellShift), 63) << 24};
        const size_t row0 = static_cast<size_t>(l.firstCell) + static_cast<size_t>(cv0) * l.cellsU;
        const size_t row1 = static_cast<size_t>(l.firstCell) + static_cast<size_t>(cv1) * l.cellsU;
        visit(row0 + cu0, uEnds[0] | vEnds[0], 1u);
        visit(row0 + cu1, uEnds[1] | vEnds[0], twoU);
        visit(row1 + cu0, uEnds[0] | vEnds[1], twoV);
        visit(row1 + cu1, uEnds[1] | vEnds[1], twoU & twoV);
    };

    size_t total = 0;
    for (;;) {
        for (;;) {
            cellTotal = 0;
            g.levelCount = 0;
            for (int d = 0; d < 2; ++d)
                g.steps[d] = static_cast<uint32_t>(cells[d]) << cellShift;
            for (int level = 0; level < maxLevels; ++level) {
                Level &l = g.levels[level];
                l.cellsU = ((g.steps[0] - 1) >> (cellShift + static_cast<uint32_t>(level))) + 1;
                l.cellsV = ((g.steps[1] - 1) >> (cellShift + static_cast<uint32_t>(level))) + 1;
                l.firstCell = static_cast<uint32_t>(cellTotal);
                cellTotal += static_cast<size_t>(l.cellsU) * l.cellsV;
                g.levelCount = level + 1;
                if (l.cellsU <= 2 && l.cellsV <= 2)
                    break;
            }
            if (cellTotal + 3 <= cellCapacity(polygonCapacity) || (cells[0] <= 1.0 && cells[1] <= 1.0))
                break;
            cells[0] = std::max(1.0, std::floor(cells[0] / 2));
            cells[1] = std::max(1.0, std::floor(cells[1] / 2));
        }
        for (int d = 0; d < 2; ++d) {
            const int c = d == 0 ? u : v;
            const bool spread = cells[d] > 1.0;
            g.low[d] = spread ? meshLow[c] : 0.0;
            g.scale[d] = spread ? static_cast<double>(g.steps[d]) / span[d] : 0.0;
        }
        top = static_cast<uint32_t>(g.levelCount - 1);

        // Entries per cell and polygons per level; then the polygons of the levels that hand
        // theirs to the top move there.
        promote = false;
        std::fill(perLevel, perLevel + maxLevels, size_t{0});
        for (size_t c = 0; c <= cellTotal; ++c)
            g.cells[c] = Cell{0, 0, noCoarseKey, noCoarseKey};
        const auto count = [&](size_t cell, uint32_t, uint32_t real) noexcept { g.cells[cell].split += real; };
        for (size_t i = 0; i < polygonCount; ++i) {
            uint32_t st[4];
            if (!stepsOf(i, st))
                continue;
            const uint32_t level = naturalLevel(st);
            ++perLevel[level];
            forEachCell(st, level, count);
        }
        for (uint32_t level = 1; level < top; ++level)
            promote |= perLevel[level] > 0 && perLevel[level] <= fewPolygons;
        for (size_t i = 0; promote && i < polygonCount; ++i) {
            uint32_t st[4];
            if (!stepsOf(i, st) || !promoted(naturalLevel(st)))
                continue;
            forEachCell(st, naturalLevel(st), [&](size_t cell, uint32_t, uint32_t real) noexcept {
                g.cells[cell].split -= real;
            });
            forEachCell(st, top, count);
        }
        // Each cell's entries from a group's start.
        total = 0;
        for (size_t c = 0; c < cellTotal; ++c)
            total += roundUpToGroup(g.cells[c].split);
        if (total <= allowance || (cells[0] <= 1.0 && cells[1] <= 1.0))
            break;
        cells[0] = std::max(1.0, std::floor(cells[0] * 0.85));
        cells[1] = std::max(1.0, std::floor(cells[1] * 0.85));
    }
    g.usedLevels = 0;
    for (uint32_t level = 0; level <= top; ++level)
        if (perLevel[level] > 0 && !promoted(level))
            g.usedLevels |= 1u << level;
    if (promote)
        g.usedLevels |= 1u << top;

    // This grid's entries, from the pool.
    const size_t room = std::min(total, allowance) + entryPadding;
    uint32_t *const words = entriesBlock + 3 * poolUsed;
    poolUsed += room;
    g.entries.words = words;

    // Cell c's entries start where the cells before it end, at a group's start; its `split` is
    // the cursor of the fill.
    const size_t limit = room - entryPadding;
    const size_t spare = cellTotal + 1;
    uint32_t sum = 0;
    for (size_t c = 0; c < cellTotal; ++c) {
        const uint32_t n = g.cells[c].split;
        g.cells[c].start = sum;
        g.cells[c].split = sum;
        sum += roundUpToGroup(n);
    }
    g.cells[cellTotal] = Cell{sum, sum, noCoarseKey, noCoarseKey};
    g.cells[spare] = Cell{static_cast<uint32_t>(limit), static_cast<uint32_t>(limit), noCoarseKey, noCoarseKey};
    for (size_t i = 0; i < polygonCount; ++i) {
        uint32_t st[4];
        if (!stepsOf(i, st))
            continue;
        float e[6];
        std::memcpy(e, extents + i * extentBytes, extentBytes);
        const int32_t key = orderKey(planeTop(copies + static_cast<size_t>(copyStart[i]) * 8, axis, u, v, e, reach));
        const int16_t coarse = coarseKey(key);
        const uint32_t copy = copyStart[i];
        forEachCell(st, levelOf(st), [&](size_t cell, uint32_t ends, uint32_t real) noexcept {
            // A repeated corner goes to a spare cell past the last, whose cursor stays on the
            // padding (reset below), rather than waiting on the real cell's cursor; so would an
            // entry beyond the count, which cannot happen: the count above is what fits.
            const size_t c = real ? cell : spare;
            const uint32_t at = g.cells[c].split;
            real &= static_cast<uint32_t>(at < limit);
            setEntry(words, real ? at : limit, ends, key, copy);
            g.cells[c].split = at + real;
            g.cells[c].top = std::max(g.cells[c].top, coarse);
        });
    }
    // Each cell's entries split in two by a height between its lowest and highest top: those with
    // a top above it first, so that a point at or above it reads only those. The rest of the
    // cell's last group holds entries that never pass.
    for (size_t c = 0; c < cellTotal; ++c) {
        Cell &cell = g.cells[c];
        const uint32_t first = cell.start;
        const uint32_t last = static_cast<uint32_t>(std::min<size_t>(cell.split, limit));
        for (uint32_t k = last; k < g.cells[c + 1].start && k < limit; ++k)
            setEntry(words, k, 0, INT32_MIN, 0);
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

    // The padding past the last entry (a whole group) is read by no query and never counted;
    // repeated corners were written there.
    for (size_t k = 0; k < entryPadding; ++k)
        setEntry(words, limit + k, 0, INT32_MIN, 0);
}

namespace {

// The rectangle test on an entry's four ends at once, a byte each (every value below 128): for a
// point at steps (qu, qv) of the entry's cell, lane by lane `above` must be at least `below`:
//   above = qu, high u, qv, high v      below = low u, qu, low v, qv
// Setting each lane's top bit before subtracting keeps borrows inside the lane, and leaves the
// top bit set exactly where the lane is not below. A lane of exactly 0x80 is an equality: the
// point on the step of one of the rectangle's edges.
constexpr uint32_t laneTops = 0x80808080u;
constexpr uint32_t highEnds = 0xFF00FF00u;
constexpr uint32_t lowEnds = 0x00FF00FFu;
constexpr uint32_t signFlip = 0x80000000u;

// An entry's lane differences for a point whose lanes in the entry's cell are `above` and
// `below`; for one entry, or for a group of them as a vector.
template <class Ends>
inline Ends laneDifferences(Ends ends, uint32_t above, uint32_t below) noexcept
{
    return ((ends & highEnds) | above | laneTops) - ((ends & lowEnds) | below);
}

inline bool onEdgeStep(uint32_t differences) noexcept
{
    const uint32_t x = differences ^ laneTops;   // a lane of 0x80 becomes 0
    return ((x - 0x01010101u) & ~x & laneTops) != 0;
}

// The linear scan's tests on a polygon whose rectangle's steps hold the point. With the point
// strictly inside the steps the rectangle holds it (the step function never decreases), so the
// exact comparison is made only for a point on an edge's step. Otherwise without early exits, so
// that outcomes that vary from polygon to polygon cost no mispredicted branches; the operations
// and their order are the scan's. Kept out of line: inlined, it makes every query slower (the
// gathering loop around it then spills).
__attribute__((noinline)) bool counts(const unsigned char *copy, bool onEdge, const double p[3], int axis, int u, int v) noexcept
{
    const double pu = p[u], pv = p[v];
    const int count = loadCount(copy);
    bool inRect = true;
    if (onEdge) {
        // The record's rectangle, from the same floats: NaN widens nothing.
        float uLow = HUGE_VALF, uHigh = -HUGE_VALF, vLow = HUGE_VALF, vHigh = -HUGE_VALF;
        for (int j = 0; j < count; ++j) {
            const float a = coordinate(copy, j, u), b = coordinate(copy, j, v);
            uLow = a < uLow ? a : uLow;
            uHigh = a > uHigh ? a : uHigh;
            vLow = b < vLow ? b : vLow;
            vHigh = b > vHigh ? b : vHigh;
        }
        inRect = (uLow <= pu) & (vLow <= pv) & (pu <= uHigh) & (pv <= vHigh);
    }
    double normal[3];
    std::memcpy(normal, copy, sizeof normal);
    const bool ahead = planeAheadOfPoint(normal, loadDouble(copy + 24), p, axis);
    const bool contains = projectionContainsBy(
        count, pu, pv, [&](int j) noexcept { return static_cast<double>(coordinate(copy, j, u)); },
        [&](int j) noexcept { return static_cast<double>(coordinate(copy, j, v)); });
    return inRect & ahead & contains;
}

constexpr int foundCapacity = 32;

// The crossing parity of the gathered entries of one cell (their numbers in `words`; `above` and
// `below` the point's lanes in that cell), the copies first fetched together when asked. Always
// inlined: a call here costs a tenth of a query.
__attribute__((always_inline)) inline bool countFound(const unsigned char *copies, const uint32_t *words,
                                                      const uint32_t *found, uint32_t n, uint32_t above,
                                                      uint32_t below, bool prefetch, const double p[3], int axis,
                                                      int u, int v) noexcept
{
    if (prefetch)
        for (uint32_t j = 0; j < n; ++j) {
            const unsigned char *copy = copies + static_cast<size_t>(copyOf(words, found[j])) * 8;
            __builtin_prefetch(copy);
            __builtin_prefetch(copy + 63);
        }
    bool odd = false;
    for (uint32_t j = 0; j < n; ++j) {
        const uint32_t differences = laneDifferences(endsOf(words, found[j]), above, below);
        odd ^= counts(copies + static_cast<size_t>(copyOf(words, found[j])) * 8, onEdgeStep(differences), p, axis, u, v);
    }
    return odd;
}

// Entries tested at once, as a vector the compiler maps to the target's (or to plain integers).
constexpr uint32_t lanes = 4;

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
typedef int32_t Lanes __attribute__((vector_size(lanes * sizeof(int32_t))));
typedef uint32_t Steps __attribute__((vector_size(lanes * sizeof(uint32_t))));
static_assert(lanes <= CrossingIndex::entryPadding, "the padding covers a last group of lanes");

} // namespace

bool CrossingIndex::isInside(const double p[3], int axis, int u, int v) const noexcept
{
    if (!prepared(axis))
        prepare(axis);
    const Grid &g = grids[axis];
    const bool fetchEarly = copiesUsed > farCopies;
    // Polygons whose plane cannot be ahead are passed over by height, for a point within the
    // mesh's bounds (the bound on the test's rounding holds there). Elsewhere the point is lower
    // than every key, so no entry is passed over by height (only the padding and empty cells,
    // whose key is the lowest there is).
    const bool within = withinBoundsInclusive(p, meshLow, meshHigh);
    const int32_t height = within ? heightKey(p[axis]) : INT32_MIN;
    // Its upper half, for the cells' keys (rounded up): at or above one, the point is at or above
    // the key it stands for.
    const int32_t coarseHeight = height >> 16;
    const uint32_t su = stepOf(p[u], g.low[0], g.scale[0], g.steps[0]);
    const uint32_t sv = stepOf(p[v], g.low[1], g.scale[1], g.steps[1]);
    const Entries &entries = g.entries;

    // On a large mesh every step below is a trip to memory; they are ordered so that each trip
    // fetches everything it can at once. First the runs of entries to read: the point's cell in
    // each used level (each polygon is in every cell its rectangle overlaps at its level).
    struct Run {
        uint32_t begin, end;
        uint32_t above, below;   // the point's lanes for the lane differences
    };
    Run runs[maxLevels];
    int runCount = 0;
    for (uint32_t used = g.usedLevels; used != 0; used &= used - 1) {
        const uint32_t level = static_cast<uint32_t>(__builtin_ctz(used));
        const Level &l = g.levels[level];
        const uint32_t lu = su >> level, lv = sv >> level;
        const uint32_t cu = lu >> cellShift, cv = lv >> cellShift;
        const uint32_t qu = lu - (cu << cellShift), qv = lv - (cv << cellShift);
        const Cell *own = g.cells + l.firstCell + static_cast<size_t>(cv) * l.cellsU + cu;
        Run &r = runs[runCount];
        r.begin = own->start;
        r.end = coarseHeight >= own->pivot ? own->split : own[1].start;
        r.above = qu | qv << 16;
        r.below = qu << 8 | qv << 24;
        // A cell none of whose polygons can be ahead of the point is left out (written all the
        // same: whether it is kept is as much a coin toss as an entry's test).
        runCount += own->top > coarseHeight;
        __builtin_prefetch(entries.words + 3 * static_cast<size_t>(r.begin));
        __builtin_prefetch(entries.words + 3 * static_cast<size_t>(r.begin) + 12);
    }

    // Then the entries whose steps hold the point, a few at a time, gathered without a branch on
    // which of them pass (from entry to entry that is a coin toss, and a mispredicted branch costs
    // more than a group's test): every lane's number is written, and the count moves on only past
    // those that pass. The copies are then fetched together before any is tested, cell by cell.
    uint32_t found[foundCapacity + lanes];
    bool inside = false;
    // Copies spread over far more than the caches hold: a copy's fetch is started the moment its
    // entry passes, which is worth a branch per passing entry.
    const bool fetchAtOnce = copiesUsed > farGatherBytes;
    const bool prefetchFound = fetchEarly && !fetchAtOnce;
    for (int k = 0; k < runCount; ++k) {
        const Run &r = runs[k];
        uint32_t n = 0;
        // Entry numbers lane by lane, compared as signed numbers with the top bit flipped (the
        // unsigned order, in the one comparison the vector unit has).
        const Lanes endFlipped = Lanes{} + static_cast<int32_t>(r.end ^ signFlip);
        Steps at = Steps{0, 1, 2, 3} + r.begin;
        for (uint32_t i = r.begin; i < r.end; i += lanes, at += lanes) {
            // A group of four from a cell's start; lanes past the run never pass.
            const uint32_t *group = entries.words + 3 * static_cast<size_t>(i);
            Steps ends;
            Lanes tops;
            std::memcpy(&ends, group, sizeof ends);
            std::memcpy(&tops, group + lanes, sizeof tops);
            const Steps d = laneDifferences(ends, r.above, r.below);
            const Lanes before = reinterpret_cast<Lanes>(at ^ signFlip) < endFlipped;
            const Lanes pass = ((d & laneTops) == laneTops) & (tops > height) & before;
            Lanes bits = pass & Lanes{1, 2, 4, 8};
            bits |= __builtin_shufflevector(bits, bits, 2, 3, 0, 1);
            bits |= __builtin_shufflevector(bits, bits, 1, 0, 3, 2);
            const uint32_t passing = static_cast<uint32_t>(bits[0]);
            if (fetchAtOnce) {
                for (uint32_t rest = passing; rest != 0; rest &= rest - 1) {
                    const uint32_t lane = static_cast<uint32_t>(__builtin_ctz(rest));
                    const unsigned char *copy = copies + static_cast<size_t>(group[2 * lanes + lane]) * 8;
                    __builtin_prefetch(copy);
                    __builtin_prefetch(copy + 63);
                    found[n++] = i + lane;
                }
            } else {
                // All four numbers stored at once, the passing lanes first.
                Steps shift;
                std::memcpy(&shift, passingFirst.shift[passing], sizeof shift);
                const Steps numbers = at + shift;
                std::memcpy(found + n, &numbers, sizeof numbers);
                n += passingFirst.count[passing];
            }
            if (n > foundCapacity - lanes) {
                inside ^= countFound(copies, entries.words, found, n, r.above, r.below, prefetchFound, p, axis, u, v);
                n = 0;
            }
        }
        inside ^= countFound(copies, entries.words, found, n, r.above, r.below, prefetchFound, p, axis, u, v);
    }
    return inside;
}

size_t CrossingIndex::bytes() const noexcept
{
    if (!wordsBlock)
        return bytesCapacity;
    return bytesCapacity + polygonCapacity * sizeof(uint32_t) + 3 * cellCapacity(polygonCapacity) * sizeof(Cell) +
           3 * poolSize(polygonCapacity) * sizeof(uint32_t);
}

} // namespace ostrevin
