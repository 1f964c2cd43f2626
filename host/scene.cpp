#include "host/scene.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <limits>

#include "host/standin_host.h"

namespace standin {

Transform Transform::translation(double x, double y, double z)
{
    Transform t;
    t.m[0][3] = x;
    t.m[1][3] = y;
    t.m[2][3] = z;
    return t;
}

Point3 Transform::apply(const Point3 &p) const
{
    Point3 out;
    for (int r = 0; r < 3; ++r)
        out[r] = static_cast<float>(m[r][0] * p[0] + m[r][1] * p[1] + m[r][2] * p[2] + m[r][3]);
    return out;
}

void MeshCounters::reset()
{
    meshInfo = destroy = numPolygons = scanPolys = polSize = polVertex = pntOtherPos = 0;
    vertexOutOfRange = meshInfoFrozen = 0;
}

namespace {

Scene &scene() { return StandInHost::current()->scene(); }

// One mesh-info record: the host's world positions of one object at one time.
struct MeshRecord {
    LWMeshInfo funcs;          // first, so the record's address is the table's
    const SceneObject *object;
    std::vector<Point3> world;
    MeshCounters *counters;
};

MeshRecord *record(LWMeshInfo *mesh) { return reinterpret_cast<MeshRecord *>(mesh); }

// Point and polygon IDs are addresses in the host. On 64-bit builds they lie above 4 GB with the
// index in the upper half and the kind's constant in the lower, so an ID cut to 32 bits anywhere
// names no point or polygon at all.
constexpr bool wideIDs = sizeof(void *) >= 8;
constexpr unsigned idShift = wideIDs ? 32 : 0;
constexpr std::uintptr_t pointLowBits = 0x5A5A0, polygonLowBits = 0xA5A50;
constexpr std::size_t noIndex = static_cast<std::size_t>(-1);

// On 32-bit builds points count up from 1 and polygons from the middle of the address space.
constexpr std::uintptr_t narrowPolygonBase = std::uintptr_t{1} << (sizeof(void *) * 8 - 1);

void *idOf(std::size_t index, std::uintptr_t lowBits, std::uintptr_t narrowBase)
{
    const std::uintptr_t n = static_cast<std::uintptr_t>(index) + 1;
    return reinterpret_cast<void *>(wideIDs ? n << idShift | lowBits : narrowBase + n);
}

std::size_t indexOf(void *id, std::uintptr_t lowBits, std::uintptr_t narrowBase)
{
    const std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(id);
    if (wideIDs && (bits & 0xFFFFFFFFu) != lowBits)
        return noIndex;
    const std::uintptr_t n = wideIDs ? bits >> idShift : bits - narrowBase;
    return n && (wideIDs || bits > narrowBase) ? static_cast<std::size_t>(n - 1) : noIndex;
}

LWPntID pointId(std::size_t index) { return idOf(index, pointLowBits, 0); }
LWPolID polygonId(std::size_t index) { return idOf(index, polygonLowBits, narrowPolygonBase); }
std::size_t pointIndex(LWPntID id) { return indexOf(id, pointLowBits, 0); }
std::size_t polygonIndex(LWPolID id) { return indexOf(id, polygonLowBits, narrowPolygonBase); }

void meshDestroy(LWMeshInfo *mesh)
{
    MeshRecord *r = record(mesh);
    ++r->counters->destroy;
    --r->counters->liveRecords;
    delete r;
}

int meshNumPoints(LWMeshInfo *mesh) { return static_cast<int>(record(mesh)->world.size()); }

int meshNumPolygons(LWMeshInfo *mesh)
{
    MeshRecord *r = record(mesh);
    ++r->counters->numPolygons;
    if (r->object->reportCount)
        return r->object->reportedCount;
    return static_cast<int>(r->object->polygons.size());
}

size_t meshScanPoints(LWMeshInfo *mesh, LWPntScanFunc *callback, void *data)
{
    MeshRecord *r = record(mesh);
    for (std::size_t i = 0; i < r->world.size(); ++i)
        if (size_t stop = callback(data, pointId(i)))
            return stop;
    return 0;
}

size_t meshScanPolys(LWMeshInfo *mesh, LWPolScanFunc *callback, void *data)
{
    MeshRecord *r = record(mesh);
    ++r->counters->scanPolys;
    const std::size_t n = r->object->polygons.size();
    std::size_t visits = n + (n ? static_cast<std::size_t>(std::max(0, r->object->scanExtra)) : 0);
    visits -= std::min(visits, static_cast<std::size_t>(std::max(0, r->object->scanShort)));
    for (std::size_t i = 0; i < visits; ++i)
        if (size_t stop = callback(data, polygonId(i % n)))
            return stop;
    return 0;
}

void meshPointPos(LWMeshInfo *mesh, LWPntID point, float pos[3])
{
    MeshRecord *r = record(mesh);
    const std::size_t i = pointIndex(point);
    const Point3 p = i < r->world.size() ? r->world[i] : Point3{0, 0, 0};
    pos[0] = p[0];
    pos[1] = p[1];
    pos[2] = p[2];
}

void meshOtherPos(LWMeshInfo *mesh, LWPntID point, float pos[3])
{
    ++record(mesh)->counters->pntOtherPos;
    meshPointPos(mesh, point, pos);
}

LWID meshPolType(LWMeshInfo *, LWPolID) { return 0x46414345u; /* FACE */ }

int meshPolSize(LWMeshInfo *mesh, LWPolID polygon)
{
    MeshRecord *r = record(mesh);
    ++r->counters->polSize;
    if (r->object->reportSize)
        return r->object->reportedSize;
    const std::size_t i = polygonIndex(polygon);
    return i < r->object->polygons.size() ? static_cast<int>(r->object->polygons[i].size()) : 0;
}

LWPntID meshPolVertex(LWMeshInfo *mesh, LWPolID polygon, int vertex)
{
    MeshRecord *r = record(mesh);
    ++r->counters->polVertex;
    const std::size_t i = polygonIndex(polygon);
    if (i >= r->object->polygons.size() || vertex < 0 ||
        static_cast<std::size_t>(vertex) >= r->object->polygons[i].size()) {
        ++r->counters->vertexOutOfRange;
        return nullptr;   // the host has no such vertex: a caller that asks is at fault
    }
    return pointId(static_cast<std::size_t>(r->object->polygons[i][static_cast<std::size_t>(vertex)]));
}

} // namespace

Scene::Scene()
{
    itemFuncs.first = first;
    itemFuncs.next = next;
    itemFuncs.firstChild = firstChild;
    itemFuncs.nextChild = nextChild;
    itemFuncs.parent = parentOf;
    itemFuncs.target = noItem;
    itemFuncs.goal = noItem;
    itemFuncs.type = type;
    itemFuncs.name = name;

    objectFuncs.filename = filename;
    objectFuncs.numPoints = numPoints;
    objectFuncs.numPolygons = numPolygons;
    objectFuncs.shadowOpts = shadowOpts;
    objectFuncs.dissolve = dissolve;
    objectFuncs.meshInfo = meshInfo;
}

SceneObject &Scene::addObject(const std::string &objectName, LWItemID id)
{
    auto object = std::make_unique<SceneObject>();
    object->name = objectName;
    object->id = id ? id : reinterpret_cast<LWItemID>(nextId++);
    items.push_back(std::move(object));
    return *items.back();
}

void Scene::clear() { items.clear(); }

SceneObject *Scene::find(LWItemID id)
{
    for (auto &o : items)
        if (o->id == id)
            return o.get();
    return nullptr;
}

SceneObject *Scene::findByName(const std::string &wanted)
{
    for (auto &o : items)
        if (o->name == wanted)
            return o.get();
    return nullptr;
}

LWItemID Scene::first(int itemType, LWItemID)
{
    for (const auto &o : scene().items)
        if (o->type == itemType)
            return o->id;
    return nullptr;
}

// The next item of the same type, in the order the items were added.
LWItemID Scene::next(LWItemID item)
{
    const auto &items = scene().items;
    std::size_t i = 0;
    while (i < items.size() && items[i]->id != item)
        ++i;
    for (std::size_t j = i + 1; j < items.size(); ++j)
        if (items[j]->type == items[i]->type)
            return items[j]->id;
    return nullptr;
}

LWItemID Scene::noItem(LWItemID) { return nullptr; }

// Children of any type, in the order the items were added.
LWItemID Scene::firstChild(LWItemID parent) { return nextChild(parent, nullptr); }

LWItemID Scene::nextChild(LWItemID parent, LWItemID previous)
{
    const auto &items = scene().items;
    std::size_t i = 0;
    if (previous) {
        while (i < items.size() && items[i]->id != previous)
            ++i;
        ++i;
    }
    for (; i < items.size(); ++i)
        if (parent && items[i]->parent == parent)
            return items[i]->id;
    return nullptr;
}

LWItemID Scene::parentOf(LWItemID item)
{
    const SceneObject *o = scene().find(item);
    return o ? o->parent : nullptr;
}

int Scene::type(LWItemID item)
{
    const SceneObject *o = scene().find(item);
    return o ? o->type : -1;
}

const char *Scene::name(LWItemID item)
{
    const SceneObject *o = scene().find(item);
    return o && !o->nameIsNull ? o->name.c_str() : nullptr;
}

const char *Scene::filename(LWItemID item) { return name(item); }

int Scene::numPoints(LWItemID item)
{
    const SceneObject *o = scene().find(item);
    return o ? static_cast<int>(o->points.size()) : 0;
}

int Scene::numPolygons(LWItemID item)
{
    const SceneObject *o = scene().find(item);
    return o ? static_cast<int>(o->polygons.size()) : 0;
}

int Scene::shadowOpts(LWItemID) { return 0; }
double Scene::dissolve(LWItemID, LWTime) { return 0.0; }

LWMeshInfo *Scene::meshInfo(LWItemID item, int frozen)
{
    Scene &s = scene();
    ++s.counters.meshInfo;
    if (frozen == 1)
        ++s.counters.meshInfoFrozen;
    const SceneObject *o = s.find(item);
    if (!o || o->noMeshInfo)
        return nullptr;

    auto *r = new MeshRecord{};
    r->funcs.priv = r;
    r->funcs.destroy = o->nullDestroy ? nullptr : meshDestroy;
    r->funcs.numPoints = meshNumPoints;
    r->funcs.numPolygons = meshNumPolygons;
    r->funcs.scanPoints = meshScanPoints;
    r->funcs.scanPolys = meshScanPolys;
    r->funcs.pntBasePos = meshPointPos;
    r->funcs.pntOtherPos = meshOtherPos;
    r->funcs.polType = meshPolType;
    r->funcs.polSize = meshPolSize;
    r->funcs.polVertex = meshPolVertex;
    r->object = o;
    r->counters = &s.counters;
    ++s.counters.liveRecords;
    if (o->nullDestroy)
        s.orphans.emplace_back(r, [](void *p) { delete static_cast<MeshRecord *>(p); });

    const Transform placement = o->motion ? o->motion(s.time) : Transform{};
    r->world.reserve(o->points.size());
    for (const Point3 &p : o->points) {
        if (o->nonFinite) {
            const float inf = std::numeric_limits<float>::infinity();
            r->world.push_back({std::numeric_limits<float>::quiet_NaN(), inf, -inf});
        } else {
            r->world.push_back(placement.apply(p));
        }
    }
    return &r->funcs;
}

} // namespace standin
