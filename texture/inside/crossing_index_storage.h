// How the crossing index lays out its words: the entry groups, the copies, the step function and
// the capacities the build sizes its blocks by. Shared by the index's build, layout and query
// files only; the terms are those of the glossary in crossing_index.h.
#ifndef OSTREVIN_TEXTURE_INSIDE_CROSSING_INDEX_STORAGE_H
#define OSTREVIN_TEXTURE_INSIDE_CROSSING_INDEX_STORAGE_H

#include <stddef.h>
#include <stdint.h>

#include <cstring>

#include "texture/inside/crossing_index.h"
#include "texture/inside/edge_slabs.h"

namespace ostrevin {
namespace indexstorage {

using Index = CrossingIndex;

// Entry `at`'s words: its group's words start at entryWords * (at rounded down to a group), and
// within them the ends, tops and copies of the group's entries follow one another.
// Word is uint32_t to write an entry, const uint32_t to read one.
template <class Word>
inline Word *groupOf(Word *words, size_t at) noexcept
{
    return words + Index::entryWords * (at & ~(Index::groupEntries - 1));
}
inline size_t laneOf(size_t at) noexcept
{
    return at & (Index::groupEntries - 1);
}
template <class Word>
inline Word &endsOf(Word *words, size_t at) noexcept
{
    return groupOf(words, at)[Index::groupEndsWord + laneOf(at)];
}
template <class Word>
inline Word &topOf(Word *words, size_t at) noexcept
{
    return groupOf(words, at)[Index::groupTopsWord + laneOf(at)];
}
template <class Word>
inline Word &copyOf(Word *words, size_t at) noexcept
{
    return groupOf(words, at)[Index::groupCopiesWord + laneOf(at)];
}
inline void setEntry(uint32_t *words, size_t at, uint32_t ends, int32_t top, uint32_t copy) noexcept
{
    endsOf(words, at) = ends;
    topOf(words, at) = static_cast<uint32_t>(top);
    copyOf(words, at) = copy;
}
// An entry that never passes: no step range, and a top under every point's height.
constexpr int32_t paddingTop = INT32_MIN;
inline void setPadding(uint32_t *words, size_t at) noexcept
{
    setEntry(words, at, 0, paddingTop, 0);
}
inline uint32_t roundUpToGroup(uint32_t count) noexcept
{
    return (count + Index::groupEntries - 1) & ~static_cast<uint32_t>(Index::groupEntries - 1);
}

// A height key in a cell, to 16 bits: rounded up, so that a point whose key's upper half is at or
// above it is at or above the key itself. Every key of a float fits (the largest, infinity's,
// rounds up to 0x7F80).
inline int16_t coarseKey(int32_t key) noexcept
{
    return static_cast<int16_t>((static_cast<int64_t>(key) + 0xFFFF) >> 16);
}
// A key's upper half, rounded down: at or above a cell's coarse key, the key is at or above the
// key the cell's stands for.
inline int32_t coarseHeight(int32_t key) noexcept
{
    return key >> 16;
}
constexpr int16_t noCoarseKey = INT16_MIN;
static_assert((-65537 >> 16) == -2 && (int64_t{-65537} >> 16) == -2, "right shifts of negative keys round down");

// A copy's bytes, from its start (a multiple of copyAlign, counted in copyAlign-byte words).
constexpr size_t copyAlign = Index::copyAlign;
struct CopyHeader {
    double normal[3];
    double planeD;
    int32_t vertexCount;
};
constexpr size_t normalOffset = offsetof(CopyHeader, normal);
constexpr size_t planeOffset = offsetof(CopyHeader, planeD);
constexpr size_t countOffset = offsetof(CopyHeader, vertexCount);
constexpr size_t vertexOffset = countOffset + sizeof(int32_t);
constexpr size_t vertexBytes = 3 * sizeof(float);
static_assert(planeOffset == 3 * sizeof(double) && countOffset == 4 * sizeof(double), "no padding in a copy's head");

// A polygon of many vertices (edge_slabs.h) has more after its vertices, from a copyAlign-byte
// boundary: its rectangle in all three axes as floats, low corner then high (so that a point on
// its edge's step need not walk its vertices), then its edges in slabs across Y and across Z (the
// v of every texture axis), each laid out with the first grid whose axis reads it.
constexpr size_t outlineRectangleBytes = 6 * sizeof(float);
constexpr bool hasEdgeSlabs(size_t vertexCount) noexcept
{
    return vertexCount >= static_cast<size_t>(manyVertices);
}
constexpr size_t outlineOffset(size_t vertexCount) noexcept
{
    return (vertexOffset + vertexCount * vertexBytes + copyAlign - 1) & ~(copyAlign - 1);
}
constexpr size_t edgeSlabsOffset(size_t vertexCount, int v) noexcept
{
    return outlineOffset(vertexCount) + outlineRectangleBytes +
           (v == 2 ? edgeSlabsBytes(static_cast<int>(vertexCount), 1) : 0);
}
static_assert(outlineRectangleBytes % copyAlign == 0, "the slabs start on a copyAlign-byte boundary");

constexpr size_t copyBytes(size_t vertexCount) noexcept
{
    return hasEdgeSlabs(vertexCount) ? edgeSlabsOffset(vertexCount, 2) + edgeSlabsBytes(static_cast<int>(vertexCount), 2)
                                     : outlineOffset(vertexCount);
}
inline const unsigned char *copyAt(const unsigned char *copies, uint32_t copyWord) noexcept
{
    return copies + static_cast<size_t>(copyWord) * copyAlign;
}

inline double loadDouble(const unsigned char *at) noexcept
{
    double x;
    std::memcpy(&x, at, sizeof x);
    return x;
}
inline int32_t loadVertexCount(const unsigned char *copy) noexcept
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

// Per polygon, before the copies: its rectangle in all three axes as floats, low corner then high.
constexpr size_t extentBytes = 6 * sizeof(float);

// Steps per level-0 cell, as a shift: 64 keeps an entry's ends (up to two cells) in a byte.
constexpr uint32_t cellShift = 6;
constexpr uint32_t lastStepInCell = (1u << cellShift) - 1;
constexpr uint32_t maxCellsPerAxis = 1u << 20;

// Cells of all levels a grid may have beyond its polygon count, and how many polygons a level-0
// cell holds at the least (the levels above add up to a third as many cells again).
constexpr size_t spareCells = 16;
constexpr size_t cellsPerPolygonDivisor = 5;
// Cells a grid may have for a polygon count: every level's, and one more.
constexpr size_t cellCapacity(size_t polygons) noexcept
{
    return polygons / cellsPerPolygonDivisor + spareCells;
}

// Entries the three grids share, with their padding: four and a quarter per polygon, five and a
// quarter under roomyPoolBelow polygons. The first grid laid out may take all but one per polygon
// for each of the other two (a polygon sits in up to four cells of its level); every grid gets at
// least one per polygon, and a group's worth more (each cell starts a group).
// The extra entry lets the first grid keep narrower cells (a query reads fewer entries: a tenth
// fewer instructions on the 1k and 20k spheres) where the index may take half again the records'
// bytes; from roomyPoolBelow polygons on it stays within the records' size (a 32-bit host's
// address space).
constexpr size_t poolEntriesPerPolygon = 4;
constexpr size_t roomyPoolBelow = 100000;
constexpr size_t poolSpareEntries = 1 + 12 * Index::entryPadding;
constexpr size_t poolSize(size_t polygons) noexcept
{
    return polygons * (polygons < roomyPoolBelow ? poolEntriesPerPolygon + 1 : poolEntriesPerPolygon) + polygons / 4 +
           poolSpareEntries;
}
// With rays along every axis (Tolerant), each grid may take what the first alone may otherwise,
// two and a quarter per polygon and its padding, from a pool of three such shares: a grid laid
// out second or third no longer makes do with wide cells of one entry per polygon.
constexpr size_t gridShare(size_t polygons) noexcept
{
    return polygons * 2 + polygons / 4 + 1 + 4 * Index::entryPadding;
}
constexpr size_t poolSizeEveryAxis(size_t polygons) noexcept
{
    return Index::gridCount * gridShare(polygons) + poolSpareEntries;
}
constexpr size_t poolEntriesPerPolygonAtMost = 7;
static_assert(poolSize(1000) <= 1000 * poolEntriesPerPolygonAtMost + poolSpareEntries &&
                  poolSizeEveryAxis(1000) <= 1000 * poolEntriesPerPolygonAtMost + poolSpareEntries + 3 * (1 + 4 * Index::entryPadding),
              "the bound on entries per polygon covers both pools");

// The largest polygon count whose blocks' sizes in bytes all fit a size_t: the entries (at most
// poolEntriesPerPolygonAtMost + 1 per polygon), the cells and the per-polygon bytes.
constexpr size_t maxPolygons() noexcept
{
    const size_t byEntries = (SIZE_MAX / (Index::entryWords * sizeof(uint32_t)) - poolSpareEntries) /
                             (poolEntriesPerPolygonAtMost + 1);
    const size_t byCells = SIZE_MAX / (Index::gridCount * sizeof(Index::Cell)) - spareCells;
    const size_t byBytes = SIZE_MAX / (extentBytes + 1 + copyAlign);
    const size_t least = byEntries < byCells ? byEntries : byCells;
    return least < byBytes ? least : byBytes;
}

// |x|. The builtin compiles to a mask on the vector registers; the library's fabs is a call on
// some 32-bit C libraries, made with the x87 unit (the module keeps its arithmetic off it).
inline double magnitude(double x) noexcept
{
    return __builtin_fabs(x);
}

} // namespace indexstorage
} // namespace ostrevin

#endif
