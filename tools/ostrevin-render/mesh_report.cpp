#include "tools/ostrevin-render/mesh_report.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>

#include "tools/ostrevin-render/options.h"

namespace render {

namespace {

// Positions compared by their bits, so that a NaN from a damaged file cannot upset the ordering;
// adding zero makes -0 and +0 one position.
using PositionKey = std::array<std::uint32_t, 3>;

PositionKey keyOf(const standin::Point3 &p)
{
    PositionKey key{};
    for (std::size_t c = 0; c < 3; ++c) {
        const float v = p[c] + 0.0f;
        std::memcpy(&key[c], &v, sizeof v);
    }
    return key;
}

} // namespace

MeshReport reportMesh(const std::vector<standin::Point3> &points, const std::vector<std::vector<int>> &polygons)
{
    MeshReport report;
    report.polygons = polygons.size();

    // Each index to the first index of its position, so that split corners weld back.
    std::map<PositionKey, int> firstAt;
    std::vector<int> weld(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        weld[i] = firstAt.emplace(keyOf(points[i]), static_cast<int>(i)).first->second;
    report.points = firstAt.size();

    std::map<std::pair<int, int>, int> uses;
    for (const std::vector<int> &polygon : polygons) {
        const std::size_t n = polygon.size();
        for (std::size_t k = 0; k < n; ++k) {
            const int a = polygon[k], b = polygon[(k + 1) % n];
            if (a < 0 || b < 0 || static_cast<std::size_t>(a) >= points.size() ||
                static_cast<std::size_t>(b) >= points.size())
                continue;
            const int wa = weld[static_cast<std::size_t>(a)], wb = weld[static_cast<std::size_t>(b)];
            if (wa != wb)
                ++uses[std::minmax(wa, wb)];
        }
    }
    for (const auto &edge : uses) {
        report.openEdges += edge.second == 1;
        report.overSharedEdges += edge.second > 2;
    }
    return report;
}

std::string closednessText(const MeshReport &report)
{
    if (report.closed())
        return "closed";
    std::string text = "open:";
    if (report.openEdges)
        text += " " + counted(static_cast<long long>(report.openEdges), "open edge", "open edges");
    if (report.overSharedEdges)
        text += std::string(report.openEdges ? "," : "") + " " +
                counted(static_cast<long long>(report.overSharedEdges), "edge", "edges") +
                " shared by more than two polygons";
    return text;
}

} // namespace render
