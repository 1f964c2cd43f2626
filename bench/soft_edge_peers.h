// The soft edge's value computed by the peers on the same triangles: inside the mesh, the smooth
// step of the distance to the nearest triangle over the width; outside, 0.
#ifndef OSTREVIN_BENCH_SOFT_EDGE_PEERS_H
#define OSTREVIN_BENCH_SOFT_EDGE_PEERS_H

#include <memory>

#include "bench/peers.h"

namespace bench {

// CGAL's AABB tree over the triangle mesh: its side-of-mesh test, then its closest point for the
// points inside; both on the one tree. Works only when the soup forms a valid closed surface.
class CgalSoftEdge {
public:
    explicit CgalSoftEdge(const TriangleSoup &soup);
    ~CgalSoftEdge();
    CgalSoftEdge(const CgalSoftEdge &) = delete;
    CgalSoftEdge &operator=(const CgalSoftEdge &) = delete;

    bool usable() const;
    // Builds the tree and its distance search structure now, so the first query is not charged.
    void prepare();
    double value(const double p[3], double width) const;

private:
    struct State;
    std::unique_ptr<State> state;
};

// Embree: the crossing parity along +axis (EmbreeParity), then a point query within the width
// whose callback measures each candidate triangle exactly (in double) and shrinks the radius.
class EmbreeSoftEdge {
public:
    explicit EmbreeSoftEdge(const TriangleSoup &soup);
    ~EmbreeSoftEdge();
    EmbreeSoftEdge(const EmbreeSoftEdge &) = delete;
    EmbreeSoftEdge &operator=(const EmbreeSoftEdge &) = delete;

    bool usable() const;
    double value(const double p[3], double width, int axis) const;

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace bench

#endif
