// An acceleration structure for the inside test: a compact copy of what the test reads from each
// polygon, and for each texture axis a grid over the polygons' rectangles across the ray.
//
// The grid only decides which polygons are looked at; every polygon whose rectangle holds the
// point is looked at, once, with the linear scan's arithmetic. So the answer is the linear scan's,
// to the bit, for every point.
//
// A newcomer's route. A query starts in isInside (crossing_index_query.cpp): it maps the point to
// a step along u and v, finds its own cell in each used level, reads each cell's entries a group
// at a time (ends and tops only), and for the entries that pass reads their copies and runs the
// scan's tests on them (polygonCrosses). The grids are laid out in crossing_index_layout.cpp, one
// named stage after another (see layOut); the build that fills the copies is crossing_index.cpp,
// and the words' layouts are in crossing_index_storage.h. The cell size is chosen in
// chooseLevelZeroCells from a quantile of the polygons' sizes (cellQuantile) and capped by the
// storage; a cell's width in steps is fixed by cellShift. After any change, check() says whether
// the grids still hold what the query relies on, and the index tests compare every answer with
// the scan's.
//
// Glossary (each word in this one meaning throughout the index's code):
//   step   the unit of a grid along u and v: the quantiser maps a coordinate to one. A level-0
//          cell is 64 steps wide.
//   level  a grid of cells 2^L times as wide as level 0's. A polygon sits at its natural level
//          (the finest whose cells its rectangle spans at most two of along each axis) or, when
//          that level is sparse, at the coarsest level; a coarsest level of only a few polygons
//          hands them down to level 0 (in every cell they overlap), so that a query reads one
//          level fewer.
//   cell   one rectangle of a level, with its run of entries.
//   entry  a polygon in one cell: its rectangle's ends in the cell's steps, its top and where its
//          copy starts.
//   group  four entries stored together as twelve words (four ends, four tops, four copies), so
//          that a query tests them side by side; every cell's entries start a group.
//   lane   an entry's place within its group, and its place in the query's vectors.
//   copy   what the scan's tests read from a polygon: its plane, its vertex count and its
//          vertices as the host's floats; for a polygon of many vertices, also its rectangle and
//          its edges in slabs.
//   slab   a band across v of a polygon of many vertices, holding the edges whose ends' v span
//          it: a point tests only its own slab's edges (edge_slabs.h), so its cost does not grow
//          with the vertex count. Laid out with the first grid whose axis reads them. (The
//          distance index's bounds between two planes are "bands", never slabs.)
//   top    a height at or above which a point need not read the polygon's copy (its plane cannot
//          be ahead); a cell's top is the highest of its entries' tops.
//   pivot  a height splitting a cell's entries in two: those with a top above it first.
//   pool   the one block of entries the three grids share.
//   share  what of the pool one grid may hold when rays go along every axis (Tolerant): each
//          grid the same share (gridShare).
//   allowance  the entries a grid being laid out may take from the pool: what is left once every
//          grid not yet laid out has one entry per polygon set aside (and at most a share).
//   room   the entries a laid-out grid holds for a cell, or in all (its entries and a sixteenth
//          more, within the allowance), so that a refit can place moved polygons there.
//   limit  where a grid's entries end in its part of the pool, before its padding; nothing is
//          written at or past it but padding.
//   split  a cell's split point: the entries before it have a top above the cell's pivot. While
//          a grid is laid out the same word first holds the cell's entry count, then its fill
//          cursor (the next free entry), and ends as the split.
// Words of the layers around the index: step and quantiser (texture/geometry/quantiser.h), bounds
// (texture/geometry/bounds.h), record (texture/geometry/polygon_record.h); the edge slabs' own
// words are in edge_slabs.h.
//
// Layout. A polygon has an entry in each of the (up to four) cells its rectangle overlaps at its
// level. A point then finds every polygon whose rectangle may hold it in one cell per used
// level: its own. The tops let most polygons behind the point be passed over without reading
// their copy, a cell's top passes the whole cell over, and the pivot lets a point above the
// lower part of a cell read only the upper one (on a closed surface: the layers ahead of the
// point, not those behind it).
//
// The three grids share the pool, four and a quarter entries per polygon (five and a quarter on a
// mesh of under 100,000): the first grid laid out may use all but one per polygon for each of the
// others (wider cells when it would need more), every grid at least one.
//
// A grid is laid out at the first query of its axis after a build, in storage the build sized.
// When the polygons only moved (the same counts), the build refits the grids asked for since the
// last build instead: the same levels and cells, each polygon placed afresh within them.
#ifndef OSTREVIN_TEXTURE_INSIDE_CROSSING_INDEX_H
#define OSTREVIN_TEXTURE_INSIDE_CROSSING_INDEX_H

#include <stddef.h>
#include <stdint.h>

#include <atomic>

#include "texture/geometry/bounds.h"

namespace ostrevin {

struct PolygonRecord;
struct LayoutPlan;

class CrossingIndex {
public:
    static constexpr int maxLevels = 24;
    static constexpr int gridCount = 3;

    // The words of a group: the ends of its entries, then their tops, then their copies.
    static constexpr size_t groupEntries = 4;
    static constexpr size_t entryWords = 3;
    static constexpr size_t groupEndsWord = 0;
    static constexpr size_t groupTopsWord = groupEntries;
    static constexpr size_t groupCopiesWord = 2 * groupEntries;
    // Copies start on multiples of this many bytes, and entries count them in such words.
    static constexpr size_t copyAlign = 8;

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
    // With `everyAxis`, the entries hold a full share for a grid on each axis (texture/inside/winding.h's
    // rays go along all three).
    bool begin(int polygonCount, size_t copyTotal, bool everyAxis = false) noexcept;
    void add(const PolygonRecord &record) noexcept;
    void finish(const Bounds &bounds) noexcept;
    // Forgets the last build.
    void clear() noexcept;
    // Whether the copies hold exactly these records' positions, bit for bit (each record with as
    // many vertices as when it was added). Stops at the first difference.
    bool holdsPositionsOf(const PolygonRecord *records, int count) const noexcept;

    // Whether the last build completed; when not, the caller scans its records instead.
    bool usable() const noexcept { return ready; }
    bool roomOnEveryAxis() const noexcept { return everyAxisShares; }
    // The ray from p towards +axis crosses the polygons an odd number of times; the two axes
    // across it are the texture's pairing (crossFirstAxis and crossSecondAxis). Only when
    // usable(). The first call for an axis after a build lays that axis's grid out; calls may
    // come from several threads at once.
    bool isInside(const double p[3], int axis) const noexcept;
    // The signed crossings of the same polygons (MeshCache::windingAlong), along +axis, or along
    // -axis when `backwards` (no polygon is then passed over by its top).
    int winding(const double p[3], int axis, bool backwards) const noexcept;

    // Lays an axis's grid out now rather than at its first query. Nothing without a completed build.
    void prepare(int axis) const noexcept;
    bool prepared(int axis) const noexcept { return laidOut[axis].load(std::memory_order_acquire); }
    // Whether the last build refitted the axis's grid (ready at its first query) rather than leaving
    // it to be laid out afresh. For tests.
    bool refittedByBuild(int axis) const noexcept { return axis >= 0 && axis < gridCount && refitted[axis]; }

    // The first invariant a laid-out grid breaks, described; null when it keeps them all (or is
    // not laid out). For tests: it reads every entry.
    const char *check(int axis) const noexcept;

    // Copies beyond this many bytes: a query starts fetching each copy as soon as its entry
    // passes, rather than gathering the passing entries without a branch. Tests lower it.
    size_t farGatherBytes = size_t{1} << 22;

    // Bytes of storage held, for reports.
    size_t bytes() const noexcept;

    // The entries of a grid, cell after cell, each cell's from a group's start (the rest of its
    // last group is padding), so that a query tests a group with three loads: the four entries'
    //   ends: the polygon's rectangle's ends in steps of its level, counted from the cell's first
    //     step and clipped to the cell (0 to 63), a byte each: low u, high u, low v, high v from
    //     the least significant byte up;
    //   tops: a height such that no point within the mesh's bounds at or above it along the axis
    //     has the polygon's plane strictly ahead of it, whatever the rounding of the plane test
    //     (such a point need not look at the copy at all), as a float's bits made to order as
    //     signed integers (heightKey);
    //   copies: where each copy starts, in copyAlign-byte words from the start of the copies.
    // Past the last cell, a group of padding. Padding never passes: no ends, the lowest top.
    static constexpr size_t entryPadding = groupEntries;
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
        uint32_t acrossU = 0, acrossV = 0;   // cells along u and v
        uint32_t firstCell = 0;              // of this level in the grid's cells
        size_t cellCount() const noexcept { return static_cast<size_t>(acrossU) * acrossV; }
    };

    struct Grid {
        double low[2] = {0.0, 0.0};     // where step 0 begins, along u and v
        double scale[2] = {0.0, 0.0};   // steps per unit of length
        uint32_t steps[2] = {64, 64};   // steps along u and v at level 0
        int levelCount = 0;
        Level levels[maxLevels];
        uint32_t usedLevels = 0;        // a set of levels: 1 << L for level L holding a polygon
        Cell *cells = nullptr;          // every level's cells, then one more holding the end
        Entries entries;
    };

    const Grid &grid(int axis) const noexcept { return grids[axis]; }

private:
    // The query behind isInside and winding: the parity, or the sum of the crossings' signs.
    template <bool Signed, bool Backwards, int Axis>
    int crossings(const double p[3]) const noexcept;

    // The layout of one grid, in stages over a plan (crossing_index_layout.cpp).
    void layOut(int axis) const noexcept;
    void sampleSizes(LayoutPlan &plan) const noexcept;
    void chooseLevelZeroCells(LayoutPlan &plan) const noexcept;
    void sizeLevels(LayoutPlan &plan) const noexcept;
    void countEntries(LayoutPlan &plan) const noexcept;
    void handDownTheCoarsest(LayoutPlan &plan) const noexcept;
    void fillEntries(LayoutPlan &plan) const noexcept;
    uint32_t startCells(LayoutPlan &plan) const noexcept;
    bool placeEntries(LayoutPlan &plan) const noexcept;
    bool refit(int axis) const noexcept;
    void splitCellsByHeight(LayoutPlan &plan) const noexcept;
    void padPastTheCells(const LayoutPlan &plan) const noexcept;
    bool rectangleSteps(int axis, size_t polygon, uint32_t steps[4]) const noexcept;
    const char *checkPolygons(int axis, uint32_t coarsest, size_t entries) const noexcept;
    void layOutEdgeSlabsAcross(int v) const noexcept;

    // Storage in four blocks, each sized by the counts: the bytes (per polygon its rectangle in
    // all three axes as floats, low corner then high, and the axes along which the ray can cross
    // it; then the copies), the words (per polygon where its copy starts, in copyAlign-byte
    // words), each grid's cells, and the pool. A copy, from a copyAlign-byte boundary: normal and
    // plane constant (four doubles), the vertex count (32 bits), the vertices as the host's floats;
    // for a polygon of many vertices then its rectangle and slabs (crossing_index_storage.h).
    unsigned char *bytesBlock = nullptr;
    size_t bytesCapacity = 0;
    uint32_t *wordsBlock = nullptr;
    Cell *cellsBlock = nullptr;
    uint32_t *entriesBlock = nullptr;   // the pool
    // Entries in the pool, and those the grids laid out so far have taken (each grid its entries
    // then its padding).
    size_t poolEntries = 0;
    mutable size_t poolUsed = 0;
    size_t polygonCapacity = 0;   // of the words and entries blocks
    size_t poolCapacity = 0;      // entries the entries block holds
    bool everyAxisShares = false; // the last build asked for room on every axis

    unsigned char *extents = nullptr;
    unsigned char *crossedAlong = nullptr;   // per polygon: 1 << a when its plane is not parallel to axis a
    unsigned char *copies = nullptr;
    size_t copiesCapacity = 0;
    size_t copiesUsed = 0;
    uint32_t *copyStart = nullptr;
    size_t polygonCount = 0;
    size_t announced = 0;
    Bounds meshBounds;
    bool ready = false;

    // Grids are laid out at first use; a spin flag keeps two threads from laying out together.
    mutable Grid grids[gridCount];
    mutable std::atomic<bool> laidOut[gridCount] = {};
    mutable std::atomic_flag layOutBusy = ATOMIC_FLAG_INIT;
    // Per grid, as its last full layout left it: the mesh's extent along u and v, the entries
    // before its padding, and the most entries in a cell. A build with the last build's counts
    // refits the grids asked for since the last build (finish: `refitDue`, then `refitted`), in
    // their cells and their parts of the pool, where the extent holds and the entries fit; the
    // others are laid out afresh at first use. `refitPoolUsed`: the pool the last build's grids took.
    mutable double laidOutSpan[gridCount][2] = {};
    mutable uint32_t entryLimit[gridCount] = {};
    mutable uint32_t largestCell[gridCount] = {};
    bool refitDue[gridCount] = {};
    bool refitted[gridCount] = {};
    size_t refitPoolUsed = 0;
    // Polygons of many vertices, and whether their slabs across Y and across Z are laid out
    // (under layOutBusy).
    size_t manyVertexPolygons = 0;
    mutable bool slabsLaidOut[2] = {false, false};
};

} // namespace ostrevin

#endif
