// The index's build: storage sized by the counts, each polygon's rectangle and copy, and the
// lock under which a grid is laid out at its first query.
#include "texture/inside/crossing_index.h"

#include <algorithm>

#include <cstring>
#include <new>

#include "framework/growing_buffer.h"
#include "framework/spin_lock.h"
#include "texture/geometry/polygon_record.h"
#include "texture/inside/crossing_index_storage.h"

namespace ostrevin {

using namespace indexstorage;

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
    for (int a = 0; a < gridCount; ++a)
        refitDue[a] = refitted[a] = false;
    slabsLaidOut[0] = slabsLaidOut[1] = false;
    manyVertexPolygons = 0;
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

bool CrossingIndex::begin(int count, size_t copyTotal, bool everyAxis) noexcept
{
    // The grids asked for since the last build, and whether every grid holding a part of the pool
    // is among them (one refitted for the last build may not have been asked for).
    const size_t last = ready ? polygonCount : SIZE_MAX;
    const bool lastEveryAxis = everyAxisShares;
    bool asked[gridCount];
    bool everyPartAsked = true;
    for (int a = 0; a < gridCount; ++a) {
        asked[a] = laidOut[a].load(std::memory_order_relaxed);
        everyPartAsked = everyPartAsked && (asked[a] || !refitted[a]);
    }
    refitPoolUsed = poolUsed;
    clear();
    announced = count > 0 ? static_cast<size_t>(count) : 0;
    // Never a zero-sized block: an empty mesh still gets grids to answer from.
    const size_t n = announced > 0 ? announced : 1;
    if (n > maxPolygons() || copyTotal > SIZE_MAX - n * (extentBytes + 1) - copyAlign)
        return false;

    // Words and entries: sized by the polygon count, and the entries by the grids wanted.
    const size_t pool = everyAxis ? poolSizeEveryAxis(n) : poolSize(n);
    // The grids asked for since the last build, in their cells and their parts of the pool, serve
    // again when the polygons are as many and the pool is shared as it was, and no other grid
    // holds a part of the pool (the grids are then laid out afresh, from the pool's start).
    const bool sameCounts = announced == last && everyAxis == lastEveryAxis && n <= polygonCapacity && pool <= poolCapacity;
    for (int a = 0; a < gridCount; ++a)
        refitDue[a] = sameCounts && everyPartAsked && asked[a];
    if (n > polygonCapacity || pool > poolCapacity) {
        delete[] wordsBlock;
        delete[] cellsBlock;
        delete[] entriesBlock;
        polygonCapacity = 0;
        poolCapacity = 0;
        wordsBlock = new (std::nothrow) uint32_t[n];
        cellsBlock = new (std::nothrow) Cell[gridCount * cellCapacity(n)];
        entriesBlock = new (std::nothrow) uint32_t[entryWords * pool];
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
        poolCapacity = pool;
    }
    everyAxisShares = everyAxis;
    poolEntries = std::min(poolCapacity, everyAxis ? poolSizeEveryAxis(polygonCapacity) : poolSize(polygonCapacity));
    copyStart = wordsBlock;
    for (int a = 0; a < gridCount; ++a)
        grids[a].cells = cellsBlock + static_cast<size_t>(a) * cellCapacity(polygonCapacity);

    // Bytes: sized by the polygon and vertex counts, so it grows with either.
    const size_t head = (n * (extentBytes + 1) + copyAlign - 1) & ~(copyAlign - 1);
    if (!growOrFail(bytesBlock, bytesCapacity, head + copyTotal))
        return false;
    extents = bytesBlock;
    crossedAlong = bytesBlock + n * extentBytes;
    copies = bytesBlock + head;
    copiesCapacity = bytesCapacity - head;
    return true;
}

void CrossingIndex::add(const PolygonRecord &r) noexcept
{
    if (polygonCount >= announced)
        return;
    const size_t i = polygonCount++;
    // The record's bounds are the host's floats, widened: narrowing gives them back exactly.
    float e[6];
    for (int c = 0; c < 3; ++c) {
        e[c] = static_cast<float>(r.bounds.low[c]);
        e[3 + c] = static_cast<float>(r.bounds.high[c]);
    }
    std::memcpy(extents + i * extentBytes, e, extentBytes);
    // Fewer than three vertices never count, nor does an axis the plane is parallel to.
    crossedAlong[i] = 0;
    if (r.vertexCount < 3)
        return;
    const size_t k = static_cast<size_t>(r.vertexCount);
    const size_t need = copyBytes(k);
    // Beyond begin()'s counts, or beyond what an entry's copy word reaches: never counting it is
    // the safe answer.
    if (copiesUsed / copyAlign > UINT32_MAX || need > copiesCapacity - copiesUsed)
        return;
    unsigned char along = 0;
    for (int a = 0; a < 3; ++a)
        if (r.normal[a] != 0.0)
            along = static_cast<unsigned char>(along | 1u << a);
    crossedAlong[i] = along;
    unsigned char *copy = copies + copiesUsed;
    // The plane faces the polygon's front, so that a signed query reads the crossing's sign off
    // the normal. Negating both normal and constant is exact, and leaves the plane test's sign,
    // and so every parity answer and every top, as they were.
    const double sign = r.orientation < 0 ? -1.0 : 1.0;
    const double normal[3] = {sign * r.normal[0], sign * r.normal[1], sign * r.normal[2]};
    const double planeD = sign * r.planeD;
    std::memcpy(copy + normalOffset, normal, sizeof normal);
    std::memcpy(copy + planeOffset, &planeD, sizeof planeD);
    const int32_t n = r.vertexCount;
    std::memcpy(copy + countOffset, &n, sizeof n);
    unsigned char *out = copy + vertexOffset;
    for (size_t j = 0; j < k; ++j) {
        const float f[3] = {static_cast<float>(r.vertices[j][0]), static_cast<float>(r.vertices[j][1]),
                            static_cast<float>(r.vertices[j][2])};
        std::memcpy(out + j * vertexBytes, f, vertexBytes);
    }
    if (hasEdgeSlabs(k)) {
        std::memcpy(copy + outlineOffset(k), e, outlineRectangleBytes);
        ++manyVertexPolygons;
    }
    copyStart[i] = static_cast<uint32_t>(copiesUsed / copyAlign);
    copiesUsed += need;
}

bool CrossingIndex::holdsPositionsOf(const PolygonRecord *records, int count) const noexcept
{
    if (!ready || count < 0 || static_cast<size_t>(count) != polygonCount)
        return false;
    for (size_t i = 0; i < polygonCount; ++i) {
        const PolygonRecord &r = records[i];
        // Fewer than three vertices have no copy to compare with: taken as changed.
        if (r.vertexCount < 3)
            return false;
        const unsigned char *copy = copyAt(copies, copyStart[i]);
        if (loadVertexCount(copy) != r.vertexCount)
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

void CrossingIndex::finish(const Bounds &bounds) noexcept
{
    meshBounds = bounds;
    ready = true;

    // Every grid due is refitted, or none is: the grids laid out later take the pool from where
    // the last build's grids ended, or from its start. A refitted grid is ready at its axis's
    // first query; one never asked for is not refitted again.
    bool any = false, all = true;
    for (int a = 0; a < gridCount; ++a)
        if (refitDue[a]) {
            any = true;
            all = all && refit(a);
        }
    if (!any)
        return;
    if (all) {
        poolUsed = refitPoolUsed;
        for (int a = 0; a < gridCount; ++a)
            refitted[a] = refitDue[a];
    } else {
        poolUsed = 0;
        slabsLaidOut[0] = slabsLaidOut[1] = false;
    }
}

void CrossingIndex::prepare(int axis) const noexcept
{
    if (!ready || axis < 0 || axis > 2 || laidOut[axis].load(std::memory_order_acquire))
        return;
    const SpinGuard alone(layOutBusy);
    if (!laidOut[axis].load(std::memory_order_relaxed)) {
        if (!refitted[axis])
            layOut(axis);
        laidOut[axis].store(true, std::memory_order_release);
    }
}

size_t CrossingIndex::bytes() const noexcept
{
    if (!wordsBlock)
        return bytesCapacity;
    return bytesCapacity + polygonCapacity * sizeof(uint32_t) + gridCount * cellCapacity(polygonCapacity) * sizeof(Cell) +
           entryWords * poolCapacity * sizeof(uint32_t);
}

} // namespace ostrevin
