// Evaluates a fixed scene through the module file, as the host would, and writes every point
// and every value as the bit pattern of its double. Two builds (Linux and the Windows DLL under
// Wine) agree only if their outputs are identical, byte for byte.
//
//   ostrevin-cross-values OUTPUT [MODULE]
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/scene.h"
#include "host/standin_host.h"
#include "host/texture_layer.h"

// The 32-bit layout checks in host_api.h are keyed on this macro; without it they would be skipped.
#if !defined(__SIZEOF_POINTER__)
#error "the compiler does not state its pointer size"
#endif

namespace {

using Vec = std::array<double, 3>;

// splitmix64 written out: the standard distributions may give different numbers in different
// standard libraries, this gives the same sequence everywhere.
class FixedRandom {
public:
    explicit FixedRandom(std::uint64_t seed) : state(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // In [0, 1): 53 random bits, an exact conversion and an exact scaling.
    double unit()
    {
        const std::uint64_t bits = next() >> 11;
        const double high = static_cast<double>(static_cast<std::uint32_t>(bits >> 32));
        const double low = static_cast<double>(static_cast<std::uint32_t>(bits));
        return (high * 4294967296.0 + low) * (1.0 / 9007199254740992.0);
    }

    double between(double low, double high) { return low + (high - low) * unit(); }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t state;
};

// A rotation with rational cosines and sines, so no library trigonometry enters the scene.
standin::Transform placement(double tx, double ty, double tz)
{
    // About X by (cos 3/5, sin 4/5), then about Z by (cos 5/13, sin 12/13).
    const double rx[3][3] = {{1, 0, 0}, {0, 0.6, -0.8}, {0, 0.8, 0.6}};
    const double rz[3][3] = {{5.0 / 13.0, -12.0 / 13.0, 0}, {12.0 / 13.0, 5.0 / 13.0, 0}, {0, 0, 1}};
    standin::Transform t = standin::Transform::translation(tx, ty, tz);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t.m[r][c] = rz[r][0] * rx[0][c] + rz[r][1] * rx[1][c] + rz[r][2] * rx[2][c];
    return t;
}

// Cube from -1 to 1, every face split into two triangles, the diagonal alternating by face.
void addCube(standin::Scene &scene)
{
    standin::SceneObject &cube = scene.addObject("Cube");
    for (int i = 0; i < 8; ++i)
        cube.points.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    const int faces[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
    for (int f = 0; f < 6; ++f) {
        const int *q = faces[f];
        if (f % 2 == 0) {
            cube.addPolygon({q[0], q[1], q[2]});
            cube.addPolygon({q[0], q[2], q[3]});
        } else {
            cube.addPolygon({q[0], q[1], q[3]});
            cube.addPolygon({q[1], q[2], q[3]});
        }
    }
}

// Octahedron off the origin by amounts no float holds exactly.
void addOctahedron(standin::Scene &scene)
{
    standin::SceneObject &octa = scene.addObject("Octahedron");
    const float c[3] = {0.1f, 0.2f, 0.3f};
    for (int axis = 0; axis < 3; ++axis)
        for (float sign : {1.25f, -1.25f}) {
            standin::Point3 p = {c[0], c[1], c[2]};
            p[axis] += sign;
            octa.points.push_back(p);
        }
    // Points 0/1: +X/-X, 2/3: +Y/-Y, 4/5: +Z/-Z.
    for (int x : {0, 1})
        for (int y : {2, 3})
            for (int z : {4, 5})
                octa.addPolygon({x, y, z});
}

// L-shaped prism, concave, with triangulated caps and quadrilateral sides, turned and moved so
// that world positions round; it moves between frame 0 and frame 1.
void addTiltedL(standin::Scene &scene)
{
    standin::SceneObject &l = scene.addObject("TiltedL");
    const float outline[6][2] = {{0, 0}, {2, 0}, {2, 0.5f}, {0.5f, 0.5f}, {0.5f, 1.5f}, {0, 1.5f}};
    for (float z : {-0.4f, 0.6f})
        for (const auto &o : outline)
            l.points.push_back({o[0], o[1], z});
    const int cap[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}};
    for (const auto &t : cap) {
        l.addPolygon({t[2], t[1], t[0]});
        l.addPolygon({t[0] + 6, t[1] + 6, t[2] + 6});
    }
    for (int i = 0; i < 6; ++i) {
        const int j = (i + 1) % 6;
        l.addPolygon({i, j, j + 6, i + 6});
    }
    l.motion = [](double time) { return time < 0.5 ? placement(0.3, -0.7, 0.45) : placement(0.3, -0.6, 0.45125); };
}

// The world positions the scene hands out at `time`, widened as the cache widens them.
std::vector<Vec> worldPoints(const standin::SceneObject &object, double time)
{
    const standin::Transform t = object.motion ? object.motion(time) : standin::Transform{};
    std::vector<Vec> out;
    for (const standin::Point3 &p : object.points) {
        const standin::Point3 w = t.apply(p);
        out.push_back({w[0], w[1], w[2]});
    }
    return out;
}

Vec along(const Vec &a, const Vec &b, double s)
{
    return {a[0] + (b[0] - a[0]) * s, a[1] + (b[1] - a[1]) * s, a[2] + (b[2] - a[2]) * s};
}

// Points where the inside test is hardest: vertices, points on edges and faces, points whose
// ray runs through a vertex, a lattice through the bounds, and random points.
std::vector<Vec> probePoints(const standin::SceneObject &object, const std::vector<Vec> &world, std::uint64_t seed)
{
    std::vector<Vec> out(world);
    Vec low = world.front(), high = world.front();
    for (const Vec &w : world)
        for (int c = 0; c < 3; ++c) {
            low[c] = w[c] < low[c] ? w[c] : low[c];
            high[c] = w[c] > high[c] ? w[c] : high[c];
        }
    for (int c = 0; c < 3; ++c) {
        low[c] -= 0.5;
        high[c] += 0.5;
    }

    for (const std::vector<int> &polygon : object.polygons) {
        const std::size_t n = polygon.size();
        Vec centroid = {0, 0, 0};
        for (std::size_t k = 0; k < n; ++k) {
            const Vec &a = world[polygon[k]];
            const Vec &b = world[polygon[(k + 1) % n]];
            out.push_back(along(a, b, 0.5));
            out.push_back(along(a, b, 1.0 / 3.0));
            for (int c = 0; c < 3; ++c)
                centroid[c] += a[c];
        }
        for (int c = 0; c < 3; ++c)
            centroid[c] /= static_cast<double>(n);
        out.push_back(centroid);
    }

    constexpr int steps = 6;
    for (int i = 0; i <= steps; ++i)
        for (int j = 0; j <= steps; ++j)
            for (int k = 0; k <= steps; ++k)
                out.push_back({low[0] + (high[0] - low[0]) * i / steps, low[1] + (high[1] - low[1]) * j / steps,
                               low[2] + (high[2] - low[2]) * k / steps});

    FixedRandom random(seed);
    for (const Vec &w : world)
        for (int axis = 0; axis < 3; ++axis) {
            Vec p = w;
            p[axis] = random.between(low[axis], high[axis]);
            out.push_back(p);
        }
    for (int i = 0; i < 200; ++i)
        out.push_back({random.between(low[0], high[0]), random.between(low[1], high[1]),
                       random.between(low[2], high[2])});
    for (int i = 0; i < 200; ++i) {
        const std::vector<int> &polygon = object.polygons[random.below(object.polygons.size())];
        const std::size_t fan = 1 + random.below(polygon.size() - 2);
        double s = random.unit(), t = random.unit();
        if (s + t > 1.0) {
            s = 1.0 - s;
            t = 1.0 - t;
        }
        const Vec &a = world[polygon[0]], &b = world[polygon[fan]], &c = world[polygon[fan + 1]];
        Vec p;
        for (int k = 0; k < 3; ++k)
            p[k] = a[k] + s * (b[k] - a[k]) + t * (c[k] - a[k]);
        out.push_back(p);
    }
    return out;
}

std::string hex(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    static const char digits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, bits >>= 4)
        text[static_cast<std::size_t>(i)] = digits[bits & 15];
    return text;
}

struct Tally {
    long zero = 0, one = 0, other = 0;
    void add(double v) { (v == 0.0 ? zero : v == 1.0 ? one : other) += 1; }
};

// One target at one frame: a line per point with the values along X, Y and Z.
bool evaluateTarget(std::FILE *out, standin::StandInHost &host, const standin::LoadedModule &module,
                    const standin::SceneObject &object, int frame, std::uint64_t seed)
{
    standin::TextureLayer layer(host, module);
    if (!layer.create()) {
        std::fprintf(stderr, "ostrevin-cross-values: %s\n", layer.error().c_str());
        return false;
    }
    layer.openPanel();
    const bool picked = layer.pickTarget(object.name);
    layer.init(LWINIT_RENDER);
    layer.newTime(frame, frame);

    Tally tally;
    const std::vector<Vec> world = worldPoints(object, frame);
    std::fprintf(out, "target %s frame %d picked %d\n", object.name.c_str(), frame, picked ? 1 : 0);
    for (const Vec &p : probePoints(object, world, seed)) {
        std::string line = hex(p[0]) + " " + hex(p[1]) + " " + hex(p[2]);
        for (int axis = 0; axis < 3; ++axis) {
            const double v = layer.evaluate(p[0], p[1], p[2], axis);
            tally.add(v);
            line += " " + hex(v);
        }
        std::fprintf(out, "%s\n", line.c_str());
    }
    layer.cleanup();
    std::fprintf(out, "summary %s frame %d: 0.0 x %ld, 1.0 x %ld, other x %ld\n", object.name.c_str(), frame,
                 tally.zero, tally.one, tally.other);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: ostrevin-cross-values OUTPUT [MODULE]\n");
        return 2;
    }
    const std::string path = argc > 2 ? argv[2] : standin::defaultModulePath();
    standin::StandInHost host;
    standin::LoadedModule module;
    if (!module.open(path)) {
        std::fprintf(stderr, "ostrevin-cross-values: %s\n", module.error().c_str());
        return 1;
    }
    // Binary, so that a Windows build writes the same line ends as a Linux one.
    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::fprintf(stderr, "ostrevin-cross-values: cannot write %s\n", argv[1]);
        return 1;
    }

    standin::Scene &scene = host.scene();
    addCube(scene);
    addOctahedron(scene);
    addTiltedL(scene);

    bool ok = true;
    std::uint64_t seed = 0x4F53545245564E31ull;
    for (int frame = 0; frame <= 1; ++frame)
        for (const auto &object : scene.objects())
            ok = ok && evaluateTarget(out, host, module, *object, frame, seed++);
    ok = std::fclose(out) == 0 && ok;
    return ok ? 0 : 1;
}
