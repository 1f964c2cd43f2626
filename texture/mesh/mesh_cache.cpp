#include "texture/mesh/mesh_cache.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "framework/growing_buffer.h"
#include "texture/geometry/axes.h"
#include "texture/geometry/vector.h"
#include "texture/inside/edge_slabs.h"
#include "texture/inside/winding.h"

namespace ostrevin {

namespace {

// Every member a build calls; a record missing one is treated as no mesh at all.
bool readable(const LWMeshInfo *m) noexcept
{
    return m->numPolygons && m->scanPolys && m->polSize && m->polVertex && m->pntOtherPos;
}

} // namespace

extern "C" size_t scanPolygon(void *cache, LWPolID polygon) noexcept
{
    return static_cast<size_t>(static_cast<MeshCache *>(cache)->fillPolygon(polygon));
}

void MeshCache::build(LWItemID item, int rule) noexcept
{
    const bool tolerant = rule == tolerantRule;
    if (!item)
        return;
    LWMeshInfo *m = services.objectInfo && services.objectInfo->meshInfo
                        ? services.objectInfo->meshInfo(item, LWMESH_FROZEN)
                        : nullptr;
    // No mesh from the host. The same item keeps what its last build left (a passing failure);
    // another item must not answer with the previous item's polygons.
    if (!m || !readable(m)) {
        if (item != builtItem)
            forget();
        builtItem = item;
        if (m && m->destroy)
            m->destroy(m);
        return;
    }
    builtItem = item;

    mesh = m;
    // The host's count sizes the array; a negative one is an empty mesh.
    const int announced = m->numPolygons(m);
    const int n = announced > 0 ? announced : 0;

    // Grow the array only past what it already holds; on failure the cache has none.
    growOrFail(polygons, polygonCapacity, n);

    const int previousCount = polygonCount;
    polygonCount = 0;
    if (polygons) {
        fillCursor = polygons;
        fillEnd = polygons + n;
        copyTotal = 0;
        widest = 0;
        changed = !complete;
        // Without an index there is no copy of last time's positions: the scan compares them.
        comparePositions = !index.usable();
        moved = false;
        // Every rule reads the cells (Non-Zero their inside alone), so every build follows the list.
        corners.begin();
        m->scanPolys(m, scanPolygon, this);
        corners.end(polygons, static_cast<int>(fillCursor - polygons), changed || fillCursor - polygons != previousCount);
        // A scan that visits fewer polygons than announced leaves no stale record in use.
        polygonCount = static_cast<int>(fillCursor - polygons);
        // The same positions as last time, bit for bit, in the same polygons: the records'
        // bounds and planes, the mesh's bounds and the index are all still what a full build
        // would make of them. The index's copies hold last time's positions; without one the
        // scan compared them (so a small still target keeps its cells too).
        if (changed || polygonCount != previousCount || completedTolerant != tolerant ||
            (index.usable() ? !index.holdsPositionsOf(polygons, polygonCount) : moved))
            completeRecords(tolerant);
    } else {
        complete = false;
        index.clear();
    }
    // A list not followed is not known: the next build counts it afresh. Cells stand only over a
    // list known to close (the same positions may come with another list).
    if (!polygons)
        corners.forget();
    if (!corners.closed())
        cells.clear();
    fillCursor = nullptr;
    fillEnd = nullptr;
    mesh = nullptr;

    if (m->destroy)
        m->destroy(m);
}

void MeshCache::forget() noexcept
{
    if (!polygons)
        return;   // nothing was ever cached
    polygonCount = 0;
    complete = false;
    ++recordsVersion;
    index.clear();
    cells.clear();
    corners.forget();
    bounds.clear();
}

int MeshCache::fillPolygon(LWPolID polygon) noexcept
{
    // More polygons than announced: stop the scan rather than write past the array.
    if (!mesh || fillCursor == fillEnd)
        return 1;
    PolygonRecord &r = *fillCursor++;

    const int size = mesh->polSize(mesh, polygon);
    int k = size > 0 ? size : 0;

    // Replace the buffer only when it is too small. Without one, the record keeps no vertices and
    // no test ever reads it.
    if (k > r.vertexCapacity) {
        changed = true;
        if (!growOrFail(r.vertices, r.vertexCapacity, k))
            k = 0;
    }
    changed |= k != r.vertexCount;
    r.vertexCount = k;
    copyTotal += CrossingIndex::copySize(k);
    widest = k > widest ? k : widest;

    // Only the positions while the host's scan runs (read only to compare, without an index): the
    // rest of the record is computed in one tight pass afterwards, which costs far less than
    // interleaving it with the host's calls (a read here waits on memory between them).
    for (int i = 0; i < k; ++i) {
        float f[3] = {0.0f, 0.0f, 0.0f};
        const LWPntID point = mesh->polVertex(mesh, polygon, i);
        corners.corner(point);
        mesh->pntOtherPos(mesh, point, f);
        // Only while nothing else changed: a buffer just replaced holds no positions yet. Bit for
        // bit, as the index compares (-0 is not 0, and NaN is itself).
        if (comparePositions && !changed) {
            const double widened[3] = {f[0], f[1], f[2]};
            moved = moved || std::memcmp(widened, r.vertices[i], sizeof widened) != 0;
        }
        r.vertices[i][0] = f[0];
        r.vertices[i][1] = f[1];
        r.vertices[i][2] = f[2];
    }
    return 0;
}

void MeshCache::completeRecords(bool tolerant) noexcept
{
    ++recordsVersion;
    cells.clear();
    bounds.clear();
    // The index's storage comes after the records' buffers, and only when the counts grew. A few
    // polygons are scanned faster than any index is searched, unless one has many vertices.
    const bool wanted = polygonCount >= indexThreshold || widest >= manyVertices;
    // Tolerant on a closed mesh casts one ray, as Even-Odd does; only an open one needs every axis.
    closed = tolerant && edgesPairUp();
    completedTolerant = tolerant;
    const bool indexed = wanted && index.begin(polygonCount, copyTotal, tolerant && !closed);
    if (!indexed)
        index.clear();
    for (int i = 0; i < polygonCount; ++i) {
        PolygonRecord &r = polygons[i];
        const int k = r.vertexCount;

        // The polygon's bounds, then the mesh's. NaN widens no bounds.
        r.bounds.clear();
        for (int j = 0; j < k; ++j)
            r.bounds.include(r.vertices[j]);
        bounds.include(r.bounds);

        // Unit normal of the plane through the first three vertices, and its constant. A
        // degenerate start leaves the zero normal, which the inside test skips.
        if (k > 2) {
            double *n = r.normal;
            cornerNormal(r.vertices[0], r.vertices[1], r.vertices[2], n);
            const double len = std::sqrt(dot(n, n));
            if (len != 0.0) {
                const double scale = 1.0 / len;
                n[0] *= scale;
                n[1] *= scale;
                n[2] *= scale;
            }
            r.planeD = dot(n, r.vertices[0]);
            // A triangle's area vector is that very normal; only longer polygons can turn.
            r.orientation = k > 3 ? areaOrientation(r.vertices, k, n) : 1;
        }
        if (indexed)
            index.add(r);
    }
    if (indexed)
        index.finish(bounds);
    // An index that could not get its storage is tried again at the next build.
    complete = indexed || !wanted;
}

namespace {

bool parityThroughIndex(const void *cache, const double p[3], int axis) noexcept
{
    const MeshCache &c = *static_cast<const MeshCache *>(cache);
    return c.index.usable() ? c.index.isInside(p, axis)
                            : scanCrossingsAlong<false, false>(c.polygons, c.polygonCount, p, axis) != 0;
}

} // namespace

void MeshCache::prepareCells(int axis) noexcept
{
    if (!polygons || !complete || axis < 0 || axis > 2 || !corners.closed()) {
        cells.clear();
        return;
    }
    if (cells.axis() == axis && cellsVersion == recordsVersion)
        return;
    cellsVersion = recordsVersion;
    cells.fill(polygons, polygonCount, bounds, axis, parityThroughIndex, this);
}

namespace {

// A 64-bit mix of one word into a running hash (splitmix64's finaliser).
inline uint64_t mixed(uint64_t hash, uint64_t word) noexcept
{
    uint64_t z = hash ^ (word + 0x9E3779B97F4A7C15ull + (hash << 6) + (hash >> 2));
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The hash of an edge, the same whichever way a polygon walks it: its two corners' bits, the
// lesser corner first.
uint64_t edgeHash(const double a[3], const double b[3]) noexcept
{
    uint64_t first[3], second[3];
    std::memcpy(first, a, sizeof first);
    std::memcpy(second, b, sizeof second);
    const bool swap = first[0] != second[0] ? first[0] > second[0]
                      : first[1] != second[1] ? first[1] > second[1]
                                              : first[2] > second[2];
    const uint64_t *low = swap ? second : first, *high = swap ? first : second;
    uint64_t hash = 0;
    for (int c = 0; c < 3; ++c)
        hash = mixed(hash, low[c]);
    for (int c = 0; c < 3; ++c)
        hash = mixed(hash, high[c]);
    return hash;
}

} // namespace

// Edges shared by an even number of polygons cancel in a sum modulo 2 of their hashes; a mesh
// with a hole leaves its rim's edges, whose hashes cancel only by a 64-bit coincidence. No storage,
// and the same answer on every platform.
bool MeshCache::edgesPairUp() const noexcept
{
    uint64_t sum = 0;
    for (int i = 0; i < polygonCount; ++i) {
        const PolygonRecord &r = polygons[i];
        for (int j = 0, previous = r.vertexCount - 1; j < r.vertexCount; previous = j++)
            sum ^= edgeHash(r.vertices[previous], r.vertices[j]);
    }
    return sum == 0;
}

// On a closed mesh every ray agrees off the surface, so one is enough: Even-Odd's.
bool MeshCache::tolerantContains(const double p[3], int axis) const noexcept
{
    if (closed)
        return parityAlong(p, axis);
    return tolerantInside(axis, crossFirstAxis[axis], crossSecondAxis[axis],
                          [&](int along, bool backwards) noexcept { return windingAlong(p, along, backwards); });
}

} // namespace ostrevin
