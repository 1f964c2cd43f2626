// An acceleration structure for the inside test: a compact copy of what the test reads from each
// polygon, and for each texture axis a grid over the polygons' rectangles across the ray.
//
// The grid only decides which polygons are looked at; every polygon whose rectangle holds the
// point is looked at, once, with the linear scan's arithmetic. So the answer is the linear scan's,
// to the bit, for every point.
//
// Layout. One function per grid maps a coordinate to a step number and never decreases as the
// coordinate grows; a cell of level 0 is 64 steps wide, a cell of level L 2^L times as wide. Each
// polygon belongs to the finest level whose cells are wide enough that its rectangle spans at most
// two of them along each axis (a level above the first that would hold only a few polygons hands
// them to the top level), and has an entry in each of those (up to four) cells. A point then finds
// every polygon whose rectangle may hold it in one cell per used level: its own. Each entry also
// keeps a height above which the polygon's plane cannot be ahead of the point, so most polygons
// behind the point are passed over without reading their copy; each cell keeps the highest of its
// entries' heights, so a point above everything in a cell passes the whole cell over, and holds
// its entries in two parts split by a height, so a point above the lower part reads only the
// upper one (on a closed surface: the layers ahead of the point, not those behind it).
//
// The three grids share one block of entries, four and a quarter per polygon: the first grid laid
// out may use up to two and a quarter per polygon (wider cells when it would need more), every
// grid at least one.
//
// A grid is laid out at the first query of its axis after a build, in storage the build sized.
#ifndef OSTREVIN_TEXTURE_CROSSING_INDEX_H
#define OSTREVIN_TEXTURE_CROSSING_INDEX_H

#include <stddef.h>
#include <stdint.h>

#include <atomic>

namespace ostrevin {

struct CachedPolygon;

class CrossingIndex {
public:
    static constexpr int maxLevels = 24;

    CrossingIndex() noexcept = default;
    ~CrossingIndex();
    CrossingIndex(const CrossingIndex &) = delete;
    CrossingIndex &operator=(const CrossingIndex &) = delete;

    // A build: begin() with the polygon count and the sum of copySize() over the polygons' vertex
    // counts, add() every finished record in order, then finish() with the mesh's bounds. All
    // storage is sized here by the counts alone, so a build whose counts do not grow allocates
    // nothing, and neither does any evaluation. False when storage cannot be had: the index is
    // then unusable until a later build gets it.
    static size_t copySize(int vertexCount) noexcept;
    bool begin(int polygonCount, size_t copyTotal) noexcept;
    void add(const CachedPolygon &record) noexcept;
    void finish(const double boundsMin[3], const double boundsMax[3]) noexcept;
    // Forgets the last build.
    void clear() noexcept;
    // Whether the copies hold exactly these records' positions, bit for bit (each record with as
    // many vertices as when it was added). Stops at the first difference.
    bool holdsPositionsOf(const CachedPolygon *records, int count) const noexcept;

    // Whether the last build completed; when not, the caller scans its records instead.
    bool usable() const noexcept { return ready; }
    // The ray from p towards +axis crosses the polygons an odd number of times (u, v: the two
    // other axes, as the texture pairs them). Only when usable(). The first call for an axis after
    // a build lays that axis's grid out; calls may come from several threads at once.
    bool isInside(const double p[3], int axis, int u, int v) const noexcept;

    // Lays an axis's grid out now rather than at its first query. Nothing without a completed build.
    void prepare(int axis) const noexcept;
    bool prepared(int axis) const noexcept { return laidOut[axis].load(std::memory_order_acquire); }

    // Copies beyond this many bytes: a query starts fetching each copy as soon as its entry
    // passes, rather than gathering the passing entries without a branch. Tests lower it.
    size_t farGatherBytes = size_t{1} << 22;

    // Bytes of storage held, for reports.
    size_t bytes() const noexcept;

    // The entries of a grid, cell after cell, each cell's from a multiple of four (the rest of its
    // last group never passes), in groups of four entries of twelve words, so that a query tests a
    // group with three loads: the four entries'
    //   ends: the polygon's rectangle's ends in steps of its level, counted from the cell's first
    //     step and clipped to the cell (0 to 63), a byte each: low u, high u, low v, high v from
    //     the least significant byte up;
    //   tops: a height such that no point within the mesh's bounds at or above it along the axis
    //     has the polygon's plane strictly ahead of it, whatever the rounding of the plane test
    //     (such a point need not look at the copy at all), as a float's bits made to order as
    //     signed integers (heightKey);
    //   copies: where each copy starts, in 8-byte words from the start of the copies.
    // Past the last cell, a group of padding.
    static constexpr size_t entryPadding = 4;
    struct Entries {
        uint32_t *words = nullptr;
    };

    // A cell: where its entries start; a height `pivot` splitting them in two, those with a top
    // above it first, up to `split`, so that a point at or above the pivot reads only those; and
    // the highest of their tops, so that a point at or above it passes the whole cell over. Both
    // heights are the upper halves of keys, rounded up (INT16_MIN for none).
    struct Cell {
        uint32_t start;
        uint32_t split;
        int16_t top;
        int16_t pivot;
    };

    struct Level {
        uint32_t cellsU = 0, cellsV = 0;
        uint32_t firstCell = 0;   // of this level in the grid's cells
    };

    struct Grid {
        double low[2] = {0.0, 0.0};     // where step 0 begins, along u and v
        double scale[2] = {0.0, 0.0};   // steps per unit of length
        uint32_t steps[2] = {64, 64};   // steps along u and v at level 0
        int levelCount = 0;
        Level levels[maxLevels];
        uint32_t usedLevels = 0;        // bit L set: level L holds a polygon
        Cell *cells = nullptr;          // every level's cells, then one more holding the end
        Entries entries;
    };

    const Grid &grid(int axis) const noexcept { return grids[axis]; }

private:
    void layOut(int axis) const noexcept;

    // Storage in four blocks, each sized by the counts: the bytes (per polygon its rectangle in
    // all three axes as floats, low corner then high, and the axes whose test can count it, bit a;
    // then the copies), the words (per polygon where its copy starts, in 8-byte words), each
    // grid's cells, and the grids' entries. A copy, from an 8-byte
    // boundary: normal and plane constant (four doubles), the vertex count (32 bits), the vertices
    // as the host's floats.
    unsigned char *bytesBlock = nullptr;
    size_t bytesCapacity = 0;
    uint32_t *wordsBlock = nullptr;
    Cell *cellsBlock = nullptr;
    uint32_t *entriesBlock = nullptr;   // the pool: three words per entry
    // Entries in the pool, and those the grids laid out so far have taken (each grid its entries
    // then its padding).
    size_t poolEntries = 0;
    mutable size_t poolUsed = 0;
    size_t polygonCapacity = 0;   // of the words and entries blocks

    unsigned char *extents = nullptr;
    unsigned char *countsOn = nullptr;
    unsigned char *copies = nullptr;
    size_t copiesCapacity = 0;
    size_t copiesUsed = 0;
    uint32_t *copyStart = nullptr;
    size_t polygonCount = 0;
    size_t announced = 0;
    double meshLow[3] = {0.0, 0.0, 0.0};
    double meshHigh[3] = {0.0, 0.0, 0.0};
    bool ready = false;

    // Grids are laid out at first use; a spin flag keeps two threads from laying out together.
    mutable Grid grids[3];
    mutable std::atomic<bool> laidOut[3] = {};
    mutable std::atomic_flag layOutBusy = ATOMIC_FLAG_INIT;
};

} // namespace ostrevin

#endif
