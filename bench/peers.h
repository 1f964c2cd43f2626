// Other inside tests run on the same meshes and points, for agreement and speed.
#ifndef OSTREVIN_BENCH_PEERS_H
#define OSTREVIN_BENCH_PEERS_H

#include <array>
#include <memory>
#include <vector>

namespace bench {

// The target's polygons fanned into triangles, in world coordinates as the host gives them (floats).
struct TriangleSoup {
    std::vector<std::array<float, 3>> points;
    std::vector<std::array<unsigned int, 3>> triangles;
};

// Ray parity along +axis, counting every triangle the ray passes (a filter rejects each hit so the
// traversal goes on), watertight ("robust") traversal, one thread.
class EmbreeParity {
public:
    explicit EmbreeParity(const TriangleSoup &soup);
    ~EmbreeParity();
    EmbreeParity(const EmbreeParity &) = delete;
    EmbreeParity &operator=(const EmbreeParity &) = delete;

    bool usable() const;
    bool inside(const double p[3], int axis) const;
    // A new scene from the soup's positions, on the same device: what a frame of a moving target
    // costs before its first ray.
    void rebuild(const TriangleSoup &soup);

private:
    struct State;
    std::unique_ptr<State> state;
};

// Exact-predicate side test on the triangle mesh; works only when the soup forms a valid surface.
class CgalSide {
public:
    enum Side { outside = 0, inside = 1, boundary = 2 };

    explicit CgalSide(const TriangleSoup &soup);
    ~CgalSide();
    CgalSide(const CgalSide &) = delete;
    CgalSide &operator=(const CgalSide &) = delete;

    bool usable() const;
    // Builds the search tree now, so it is not charged to the first query.
    void prepare();
    Side side(const double p[3]) const;

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace bench

#endif
