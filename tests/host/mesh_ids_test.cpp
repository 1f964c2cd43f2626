// Point and polygon IDs are the host's addresses. On 64-bit builds the stand-in hands out IDs
// above 4 GB whose low half is the same for every point and every polygon, so a module that
// narrows one loses the mesh.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "host/shapes.h"
#include "host/standin_host.h"

namespace {

struct Visit {
    LWMeshInfo *mesh;
    std::set<std::uintptr_t> ids;
};

size_t collect(void *data, LWPolID polygon)
{
    auto *visit = static_cast<Visit *>(data);
    visit->ids.insert(reinterpret_cast<std::uintptr_t>(polygon));
    for (int i = 0; i < visit->mesh->polSize(visit->mesh, polygon); ++i)
        visit->ids.insert(reinterpret_cast<std::uintptr_t>(visit->mesh->polVertex(visit->mesh, polygon, i)));
    return 0;
}

} // namespace

TEST(MeshIDs, LieAbove4GBOn64BitBuildsAndNarrowedNameNothing)
{
    standin::StandInHost host;
    standin::SceneObject &cube = host.scene().addObject("Cube");
    standin::appendBox(cube, {-1, -1, -1}, {1, 1, 1});
    LWMeshInfo *mesh = host.scene().objectInfoTable()->meshInfo(cube.id, LWMESH_FROZEN);
    ASSERT_NE(mesh, nullptr);
    Visit visit{mesh, {}};
    mesh->scanPolys(mesh, collect, &visit);
    EXPECT_EQ(visit.ids.size(), 6u + 8u) << "distinct IDs for six faces and eight corners";

    const bool wide = sizeof(void *) == 8;
    std::set<std::uintptr_t> lowHalves;
    for (std::uintptr_t id : visit.ids) {
        EXPECT_TRUE(!wide || id >> 16 >> 16 != 0) << std::hex << id << " lies below 4 GB";
        lowHalves.insert(id & 0xFFFFFFFFu);
        const auto narrowed = reinterpret_cast<LWPolID>(id & 0xFFFFFFFFu);
        EXPECT_TRUE(!wide || mesh->polSize(mesh, narrowed) == 0) << std::hex << id << " narrowed names a polygon";
    }
    EXPECT_EQ(lowHalves.size(), wide ? 2u : visit.ids.size()) << "one for points, one for polygons";
    mesh->destroy(mesh);
}
