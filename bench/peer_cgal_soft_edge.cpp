#include <CGAL/AABB_face_graph_triangle_primitive.h>
#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Side_of_triangle_mesh.h>
#include <CGAL/Surface_mesh.h>

#include <cmath>
#include <optional>

#include "bench/soft_edge_peers.h"
#include "texture/target/smooth_step.h"

namespace bench {

namespace {
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<Kernel::Point_3>;
using Primitive = CGAL::AABB_face_graph_triangle_primitive<Mesh>;
using Tree = CGAL::AABB_tree<CGAL::AABB_traits<Kernel, Primitive>>;
using SideOf = CGAL::Side_of_triangle_mesh<Mesh, Kernel, CGAL::Default, Tree>;
} // namespace

struct CgalSoftEdge::State {
    Mesh mesh;
    std::optional<Tree> tree;
    std::optional<SideOf> sideOf;
};

CgalSoftEdge::CgalSoftEdge(const TriangleSoup &soup) : state(std::make_unique<State>())
{
    std::vector<Mesh::Vertex_index> vertices;
    vertices.reserve(soup.points.size());
    for (const auto &p : soup.points)
        vertices.push_back(state->mesh.add_vertex(Kernel::Point_3(p[0], p[1], p[2])));
    for (const auto &t : soup.triangles)
        if (state->mesh.add_face(vertices[t[0]], vertices[t[1]], vertices[t[2]]) == Mesh::null_face())
            return;
    if (!CGAL::is_closed(state->mesh) || state->mesh.number_of_faces() == 0)
        return;
    state->tree.emplace(faces(state->mesh).first, faces(state->mesh).second, state->mesh);
    state->sideOf.emplace(*state->tree);
}

CgalSoftEdge::~CgalSoftEdge() = default;

bool CgalSoftEdge::usable() const { return state->sideOf.has_value(); }

void CgalSoftEdge::prepare()
{
    if (!usable())
        return;
    state->tree->build();
    state->tree->accelerate_distance_queries();
    (*state->sideOf)(Kernel::Point_3(0, 0, 0));
    state->tree->squared_distance(Kernel::Point_3(0, 0, 0));
}

double CgalSoftEdge::value(const double p[3], double width) const
{
    const Kernel::Point_3 point(p[0], p[1], p[2]);
    if ((*state->sideOf)(point) != CGAL::ON_BOUNDED_SIDE)
        return 0.0;
    const double d = std::sqrt(CGAL::to_double(state->tree->squared_distance(point)));
    return ostrevin::smoothStep(d / width);
}

} // namespace bench
