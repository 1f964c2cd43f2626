// What --list and the summary say about an object's mesh: its points as distinct positions (an
// importer may split a point per polygon corner) and whether it closes, edge by edge. An open
// mesh has no inside of its own: the texture's answer then depends on the axis it casts along.
#ifndef OSTREVIN_TOOLS_RENDER_MESH_REPORT_H
#define OSTREVIN_TOOLS_RENDER_MESH_REPORT_H

#include <cstddef>
#include <string>
#include <vector>

#include "host/scene.h"

namespace render {

struct MeshReport {
    std::size_t points = 0;          // distinct positions used or not
    std::size_t polygons = 0;
    std::size_t openEdges = 0;       // edges of one polygon only: a boundary
    std::size_t overSharedEdges = 0; // edges of three polygons or more
    bool closed() const { return openEdges == 0 && overSharedEdges == 0; }
};

// Edges join positions, not indices, so corners split by the importer still meet; an edge whose
// ends share a position is no edge. Indices out of range are skipped.
MeshReport reportMesh(const std::vector<standin::Point3> &points, const std::vector<std::vector<int>> &polygons);

// "closed", or "open: 4 open edges, 2 edges shared by more than two polygons".
std::string closednessText(const MeshReport &report);

} // namespace render

#endif
