// The stand-in host's scene: named objects with polygon meshes that may move from frame to frame,
// plus the hostile behaviours a real host or a broken file could show.
#ifndef OSTREVIN_HOST_SCENE_H
#define OSTREVIN_HOST_SCENE_H

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/host_api.h"

namespace standin {

using Point3 = std::array<float, 3>;

// Row-major 3x4 affine transform: world = m * (x, y, z, 1).
struct Transform {
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    static Transform translation(double x, double y, double z);
    Point3 apply(const Point3 &p) const;
};

struct SceneObject {
    LWItemID id = nullptr;
    std::string name;
    bool nameIsNull = false;                     // the host gives no name for it
    std::vector<Point3> points;                  // object coordinates
    std::vector<std::vector<int>> polygons;      // point indices, any count, host's order
    std::function<Transform(double time)> motion;  // world placement at a time; empty: identity
    LWItemID parent = nullptr;                   // item this one hangs under; null: the scene's top
    int type = LWI_OBJECT;                       // another type (a light, say) is never an object

    // Hostile behaviours.
    bool noMeshInfo = false;       // meshInfo gives null
    bool nullDestroy = false;      // the mesh record has no destroy entry
    int scanExtra = 0;             // scanPolys visits this many polygons beyond numPolygons
    int scanShort = 0;             // scanPolys stops this many polygons before numPolygons
    bool nonFinite = false;        // every position comes back as NaN and infinities
    bool reportCount = false;      // numPolygons answers reportedCount, whatever the mesh holds
    int reportedCount = 0;
    bool reportSize = false;       // polSize answers reportedSize for every polygon
    int reportedSize = 0;

    void addPolygon(std::vector<int> indices) { polygons.push_back(std::move(indices)); }
};

struct MeshCounters {
    std::atomic<long> meshInfo{0}, destroy{0}, numPolygons{0}, scanPolys{0}, polSize{0}, polVertex{0},
        pntOtherPos{0}, liveRecords{0};
    std::atomic<long> vertexOutOfRange{0};   // polVertex asked for an index the polygon lacks
    std::atomic<long> meshInfoFrozen{0};     // meshInfo calls that asked for the frozen mesh (flag 1)
    void reset();
};

class Scene {
public:
    Scene();

    // Adds an object; its item ID is `id` when given, otherwise one the scene picks.
    SceneObject &addObject(const std::string &name, LWItemID id = nullptr);
    void clear();
    SceneObject *find(LWItemID id);
    SceneObject *findByName(const std::string &name);
    const std::vector<std::unique_ptr<SceneObject>> &objects() const { return items; }

    // The time whose placement meshInfo gives.
    double time = 0.0;
    int frame = 0;

    const LWItemInfo *itemInfoTable() const { return &itemFuncs; }
    const LWObjectInfo *objectInfoTable() const { return &objectFuncs; }
    MeshCounters counters;

private:
    static LWItemID first(int type, LWItemID bone);
    static LWItemID next(LWItemID item);
    static LWItemID noItem(LWItemID);
    static LWItemID firstChild(LWItemID parent);
    static LWItemID nextChild(LWItemID parent, LWItemID previous);
    static LWItemID parentOf(LWItemID item);
    static int type(LWItemID item);
    static const char *name(LWItemID item);
    static const char *filename(LWItemID item);
    static int numPoints(LWItemID item);
    static int numPolygons(LWItemID item);
    static int shadowOpts(LWItemID);
    static double dissolve(LWItemID, LWTime);
    static LWMeshInfo *meshInfo(LWItemID item, int frozen);

    std::vector<std::unique_ptr<SceneObject>> items;
    LWItemInfo itemFuncs{};
    LWObjectInfo objectFuncs{};
    std::uintptr_t nextId = 0x10000;
    // Records handed out without a destroy entry: the scene frees them when it goes.
    std::vector<std::unique_ptr<void, void (*)(void *)>> orphans;
};

} // namespace standin

#endif
