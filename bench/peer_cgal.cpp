#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Side_of_triangle_mesh.h>
#include <CGAL/Surface_mesh.h>

#include <optional>

#include "bench/peers.h"

namespace bench {

namespace {
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<Kernel::Point_3>;
using SideOf = CGAL::Side_of_triangle_mesh<Mesh, Kernel>;
} // namespace

struct CgalSide::State {
    Mesh mesh;
    std::optional<SideOf> sideOf;
};

CgalSide::CgalSide(const TriangleSoup &soup) : state(std::make_unique<State>())
{
    std::vector<Mesh::Vertex_index> vertices;
    vertices.reserve(soup.points.size());
    for (const auto &p : soup.points)
        vertices.push_back(state->mesh.add_vertex(Kernel::Point_3(p[0], p[1], p[2])));
    for (const auto &t : soup.triangles) {
        // A face the half-edge structure refuses (not a 2-manifold there) leaves the peer unusable.
        if (state->mesh.add_face(vertices[t[0]], vertices[t[1]], vertices[t[2]]) == Mesh::null_face())
            return;
    }
    if (!CGAL::is_closed(state->mesh) || state->mesh.number_of_faces() == 0)
        return;
    state->sideOf.emplace(state->mesh);
}

CgalSide::~CgalSide() = default;

bool CgalSide::usable() const { return state->sideOf.has_value(); }

void CgalSide::prepare()
{
    if (usable())
        (*state->sideOf)(Kernel::Point_3(0, 0, 0));
}

CgalSide::Side CgalSide::side(const double p[3]) const
{
    switch ((*state->sideOf)(Kernel::Point_3(p[0], p[1], p[2]))) {
    case CGAL::ON_BOUNDED_SIDE:
        return inside;
    case CGAL::ON_BOUNDARY:
        return boundary;
    default:
        return outside;
    }
}

} // namespace bench
