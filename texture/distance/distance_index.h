// The soft edge's acceleration structure: how far a point lies from the nearest polygon of the
// target, wanted only up to a width w, for points the inside test found inside.
//
// Two parts, both built from the records' bounds. A tree of boxes over the polygons, in the order
// of their centres along a Z-order curve, four to a leaf and laid out as a complete binary tree
// (node i has children 2i and 2i + 1, so no links are stored); its lower nodes also bound their
// polygons by a band across their normals, which is what leaves most of them out near a curved
// surface, where boxes are fat. A search tests four grandchildren at a time, in floats with a
// margin that keeps the test conservative, goes nearer nodes first, and leaves out every node
// farther than the nearest polygon found so far, starting at w, so it looks only within w of the
// point. And a grid of cubic cells over the mesh's bounds, each holding how many cells lie
// between it and the nearest cell a polygon's box touches: a point in a cell far enough is deeper
// than w, which it learns without measuring any polygon.
//
// The answer is the plain scan's (nearestDistanceSquared) to the bit whenever that is below w: a
// box is left out only when every polygon in it is farther, with a margin above the rounding of
// either computation.
//
// All storage is sized by the polygon count alone, so a build whose count does not grow allocates
// nothing, whatever the width; a search allocates nothing and writes nothing, so any number of
// threads may search at once.
#ifndef OSTREVIN_TEXTURE_DISTANCE_DISTANCE_INDEX_H
#define OSTREVIN_TEXTURE_DISTANCE_DISTANCE_INDEX_H

#include <stddef.h>
#include <stdint.h>

#include "texture/distance/outline_slabs.h"
#include "texture/geometry/bounds.h"

namespace ostrevin {

struct PolygonRecord;

class DistanceIndex {
public:
    static constexpr int leafSize = 4;

    DistanceIndex() noexcept = default;
    ~DistanceIndex();
    DistanceIndex(const DistanceIndex &) = delete;
    DistanceIndex &operator=(const DistanceIndex &) = delete;

    // Builds over the first `count` records, whose bounds, normals and planes are complete, for a
    // width w > 0 (and finite); the records are read again by every search until the next build.
    // With `kept`, only the records whose byte there is not 0 are measured (kept[i] for record i,
    // read again like the records). False when storage cannot be had or the width is not usable:
    // the index is then unusable until a later build succeeds.
    bool build(const PolygonRecord *records, int count, const Bounds &bounds, double width,
               const unsigned char *kept = nullptr) noexcept;
    void clear() noexcept;
    bool usable() const noexcept { return ready; }
    double width() const noexcept { return builtWidth; }

    // The distance from p to the nearest measured polygon when it is less than the width, and the
    // width itself otherwise. Only when usable().
    double distanceWithinWidth(const double p[3]) const noexcept;
    // Whether p lies in a cell farther than the width from every polygon (for tests and reports).
    bool inFarCell(const double p[3]) const noexcept;

    // Bytes of storage held, for reports.
    size_t bytes() const noexcept;

    // The first invariant the last build breaks, described; null when it keeps them all (or there
    // is no build). For tests, after every build: it reads every node and every polygon.
    const char *check() const noexcept;

    // A node of the tree: a box, as floats rounded outwards (empty, low above high, for a padding
    // leaf); and a band between two planes across a direction near its polygons' normals, which
    // on a gently curved surface lies far closer around them than the box (none: a zero
    // direction and an unbounded band).
    struct Box {
        float low[3];
        float high[3];
        float across[3];
        float bandLow, bandHigh;
    };

    // A polygon's own box, rounded outwards, and the plane it is measured on, rounded (zero for
    // none), in the tree's order: what a leaf tests before it reads the polygon's record.
    struct PolygonBox {
        float low[3];
        float high[3];
        float plane[4];
    };

    // A row: four nodes side by side, the grandchildren of a node at an even depth (or, just
    // above the leaves, its two children and two empty lanes), field by field, so that a search
    // tests all four with the same few vector operations.
    struct NodeRow {
        float low[3][4];
        float high[3][4];
        float across[3][4];
        float bandLow[4], bandHigh[4];
    };

private:
    bool reserve(size_t polygons) noexcept;
    void buildRows() noexcept;
    uint32_t rowOf(uint32_t node) const noexcept;
    void sortByCurve(const Bounds &bounds) noexcept;
    void buildTree() noexcept;
    void fitBand(Box &node, uint32_t begin, uint32_t end) const noexcept;
    void buildGrid(const Bounds &bounds) noexcept;
    bool chooseCellSize(const double extent[3], double &size, double along[3]) const noexcept;
    bool markTouchedCells() noexcept;
    void spreadDistances(uint32_t window) noexcept;
    const char *checkBands() const noexcept;
    const char *checkGrid() const noexcept;
    void searchTree(const double p[3], double largest, double margin, double reach, double &best,
                    double &limit) const noexcept;
    void leafNearest(uint32_t leaf, const double p[3], double &best, double &limit, double margin) const noexcept;

    // Storage, each block sized by the polygon count it was last grown for, and what it holds.
    size_t keysHeld = 0, scratchHeld = 0, nodesHeld = 0, rowsHeld = 0, cellsHeld = 0, polygonBoxesHeld = 0;
    uint64_t *keys = nullptr;      // curve position above, record number below; sorted
    uint64_t *scratch = nullptr;   // the sort's other buffer
    Box *nodes = nullptr;          // node 1 the root; leaves from `firstLeaf`
    NodeRow *rows = nullptr;       // by node at an even depth above the leaves, depth by depth
    PolygonBox *polygonBoxes = nullptr;   // by place in the tree's order
    unsigned char *cells = nullptr;

    const PolygonRecord *records = nullptr;
    int recordCount = 0;
    const unsigned char *keptRecords = nullptr;   // the build's `kept`, for the plain scan's fallback
    // Keys or scratch, whichever the sort ended in: record numbers in the tree's order.
    uint64_t *sorted = nullptr;
    uint32_t measured = 0;              // polygons in the tree
    uint32_t firstLeaf = 1;
    double builtWidth = 0.0;
    // Searches leave a box out only beyond the best distance plus this (a scale of the mesh's
    // coordinates times far more than any rounding of the two distance computations).
    double marginBase = 0.0;

    // The grid: cells along each axis, where it starts, cells per unit of length. Off when none
    // of its cells can be far (a width as large as the mesh) or marking would cost too much.
    bool gridOn = false;
    uint32_t cellCount[3] = {0, 0, 0};
    double gridLow[3] = {0.0, 0.0, 0.0};
    double cellsPerUnit = 0.0;
    // A cell holds the least sum over the axes of the squared count of cells between it and a cell
    // a polygon touches; from this sum on, every polygon is farther than the width.
    unsigned char farFrom = 255;

    // The polygons of many corners, measured by their slabs (outline_slabs.h).
    OutlineSlabs outlines;

    bool ready = false;
};

} // namespace ostrevin

#endif
