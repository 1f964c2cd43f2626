#include "host/shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace standin {

namespace {

using Vec3 = std::array<double, 3>;

constexpr double pi = 3.14159265358979323846;

// Integer keys to point indices: open addressing, sized once for the expected count, so a
// million-triangle sphere does not spend its time in a node-based map.
class IndexMap {
public:
    explicit IndexMap(std::size_t expected)
    {
        std::size_t size = 16;
        while (size < expected * 2)
            size *= 2;
        keys.assign(size, empty);
        values.resize(size);
        mask = size - 1;
    }

    // The index stored under `key`, or the one `make` returns, stored then.
    template <class Make>
    int find(std::uint64_t key, Make make)
    {
        std::size_t slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
        while (keys[slot] != empty) {
            if (keys[slot] == key)
                return values[slot];
            slot = (slot + 1) & mask;
        }
        if (++used * 2 > keys.size())
            throw std::length_error("IndexMap: more keys than announced");
        keys[slot] = key;
        return values[slot] = make();
    }

private:
    static constexpr std::uint64_t empty = ~std::uint64_t{0};
    std::vector<std::uint64_t> keys;
    std::vector<int> values;
    std::size_t mask = 0;
    std::size_t used = 0;
};

int addPoint(SceneObject &object, const Vec3 &p)
{
    object.points.push_back({static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});
    return static_cast<int>(object.points.size() - 1);
}

Vec3 normalised(const Vec3 &v)
{
    const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {v[0] / len, v[1] / len, v[2] / len};
}

void requireAtLeast(int value, int minimum, const char *what)
{
    if (value < minimum)
        throw std::invalid_argument(what);
}

// Boxes: the surface lattice of (divisions + 1)^3 points, each face a grid of cells.
void appendGridBox(SceneObject &object, const Point3 &low, const Point3 &high, int divisions, bool triangles)
{
    requireAtLeast(divisions, 1, "box divisions must be at least 1");
    const std::uint64_t d = static_cast<std::uint64_t>(divisions);
    IndexMap lattice(static_cast<std::size_t>(6 * d * d + 2));
    auto coordinate = [&](int axis, std::uint64_t i) {
        // The far side exactly at `high`, whatever the rounding of the steps would give.
        if (i == d)
            return static_cast<double>(high[axis]);
        return static_cast<double>(low[axis]) +
               (static_cast<double>(high[axis]) - low[axis]) * static_cast<double>(i) / static_cast<double>(d);
    };
    auto point = [&](const std::uint64_t (&at)[3]) {
        const std::uint64_t key = (at[0] * (d + 1) + at[1]) * (d + 1) + at[2];
        return lattice.find(key, [&] {
            return addPoint(object, {coordinate(0, at[0]), coordinate(1, at[1]), coordinate(2, at[2])});
        });
    };

    object.polygons.reserve(object.polygons.size() + static_cast<std::size_t>(6 * d * d * (triangles ? 2 : 1)));
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3, c = (a + 2) % 3;   // (b, c, a) right-handed: b x c = +a
        for (std::uint64_t side : {std::uint64_t{0}, d}) {
            const bool outwardIsPlus = side == d;
            for (std::uint64_t i = 0; i < d; ++i)
                for (std::uint64_t j = 0; j < d; ++j) {
                    auto corner = [&](std::uint64_t di, std::uint64_t dj) {
                        std::uint64_t at[3];
                        at[a] = side;
                        at[b] = i + di;
                        at[c] = j + dj;
                        return point(at);
                    };
                    const int q00 = corner(0, 0), q10 = corner(1, 0), q11 = corner(1, 1), q01 = corner(0, 1);
                    auto emit = [&](std::vector<int> polygon) {
                        if (!outwardIsPlus)
                            std::reverse(polygon.begin(), polygon.end());
                        object.addPolygon(std::move(polygon));
                    };
                    if (!triangles) {
                        emit({q00, q10, q11, q01});
                    } else if ((i + j) % 2 == 0) {
                        emit({q00, q10, q11});
                        emit({q00, q11, q01});
                    } else {
                        emit({q00, q10, q01});
                        emit({q10, q11, q01});
                    }
                }
        }
    }
}

} // namespace

void appendBox(SceneObject &object, const Point3 &low, const Point3 &high, int divisions)
{
    appendGridBox(object, low, high, divisions, false);
}

void appendTriangulatedBox(SceneObject &object, const Point3 &low, const Point3 &high, int divisions)
{
    appendGridBox(object, low, high, divisions, true);
}

void appendIcosphere(SceneObject &object, const Point3 &centre, double radius, int level)
{
    requireAtLeast(level, 0, "icosphere level must not be negative");
    if (level > 11)
        throw std::invalid_argument("icosphere level above 11 overflows the point indices");

    // Unit icosahedron, every face turned outward.
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<Vec3> unit = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                              {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    for (Vec3 &v : unit)
        v = normalised(v);
    std::vector<std::array<int, 3>> faces = {
        {0, 11, 5}, {0, 5, 1}, {0, 1, 7}, {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
        {11, 10, 2}, {10, 7, 6}, {7, 1, 8}, {3, 9, 4}, {3, 4, 2}, {3, 2, 6}, {3, 6, 8},
        {3, 8, 9}, {4, 9, 5}, {2, 4, 11}, {6, 2, 10}, {8, 6, 7}, {9, 8, 1}};
    for (auto &f : faces) {
        const Vec3 &p = unit[f[0]], &q = unit[f[1]], &r = unit[f[2]];
        const Vec3 e1{q[0] - p[0], q[1] - p[1], q[2] - p[2]}, e2{r[0] - p[0], r[1] - p[1], r[2] - p[2]};
        const Vec3 n{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        if (n[0] * (p[0] + q[0] + r[0]) + n[1] * (p[1] + q[1] + r[1]) + n[2] * (p[2] + q[2] + r[2]) < 0)
            std::swap(f[1], f[2]);
    }

    // Each level splits every triangle in four at its edge midpoints, shared through the map.
    std::size_t edges = 30;
    unit.reserve(10 * (std::size_t{1} << (2 * level)) + 2);
    for (int l = 0; l < level; ++l, edges *= 4) {
        IndexMap midpoints(edges);
        auto midpoint = [&](int i, int j) {
            const std::uint64_t lo = static_cast<std::uint64_t>(std::min(i, j)), hi = static_cast<std::uint64_t>(std::max(i, j));
            return midpoints.find((lo << 32) | hi, [&] {
                const Vec3 &p = unit[i], &q = unit[j];
                unit.push_back(normalised({p[0] + q[0], p[1] + q[1], p[2] + q[2]}));
                return static_cast<int>(unit.size() - 1);
            });
        };
        std::vector<std::array<int, 3>> next;
        next.reserve(faces.size() * 4);
        for (const auto &f : faces) {
            const int ab = midpoint(f[0], f[1]), bc = midpoint(f[1], f[2]), ca = midpoint(f[2], f[0]);
            next.push_back({f[0], ab, ca});
            next.push_back({f[1], bc, ab});
            next.push_back({f[2], ca, bc});
            next.push_back({ab, bc, ca});
        }
        faces.swap(next);
    }

    const int base = static_cast<int>(object.points.size());
    object.points.reserve(object.points.size() + unit.size());
    for (const Vec3 &u : unit)
        addPoint(object, {centre[0] + radius * u[0], centre[1] + radius * u[1], centre[2] + radius * u[2]});
    object.polygons.reserve(object.polygons.size() + faces.size());
    for (const auto &f : faces)
        object.addPolygon({base + f[0], base + f[1], base + f[2]});
}

void appendUVSphere(SceneObject &object, const Point3 &centre, double radius, int segments, int rings)
{
    requireAtLeast(segments, 3, "UV sphere needs at least 3 segments");
    requireAtLeast(rings, 2, "UV sphere needs at least 2 rings");
    // Poles exactly on the axis through the centre; circles k = 1 .. rings-1 from the north pole.
    const int north = addPoint(object, {centre[0], centre[1], static_cast<double>(centre[2]) + radius});
    const int first = static_cast<int>(object.points.size());
    for (int k = 1; k < rings; ++k) {
        const double theta = pi * k / rings;
        const double z = radius * std::cos(theta), r = radius * std::sin(theta);
        for (int j = 0; j < segments; ++j) {
            const double phi = 2.0 * pi * j / segments;
            addPoint(object, {centre[0] + r * std::cos(phi), centre[1] + r * std::sin(phi), centre[2] + z});
        }
    }
    const int south = addPoint(object, {centre[0], centre[1], static_cast<double>(centre[2]) - radius});
    auto at = [&](int k, int j) { return first + (k - 1) * segments + j % segments; };

    object.polygons.reserve(object.polygons.size() + static_cast<std::size_t>(segments) * rings);
    for (int j = 0; j < segments; ++j) {
        object.addPolygon({north, at(1, j), at(1, j + 1)});
        for (int k = 1; k + 1 < rings; ++k)
            object.addPolygon({at(k, j), at(k + 1, j), at(k + 1, j + 1), at(k, j + 1)});
        object.addPolygon({at(rings - 1, j), south, at(rings - 1, j + 1)});
    }
}

void appendTorus(SceneObject &object, const Point3 &centre, double majorRadius, double minorRadius,
                 int majorSegments, int minorSegments)
{
    requireAtLeast(majorSegments, 3, "torus needs at least 3 major segments");
    requireAtLeast(minorSegments, 3, "torus needs at least 3 minor segments");
    const int first = static_cast<int>(object.points.size());
    for (int i = 0; i < majorSegments; ++i) {
        const double phi = 2.0 * pi * i / majorSegments;
        for (int j = 0; j < minorSegments; ++j) {
            const double psi = 2.0 * pi * j / minorSegments;
            const double r = majorRadius + minorRadius * std::cos(psi);
            addPoint(object, {centre[0] + r * std::cos(phi), centre[1] + r * std::sin(phi),
                              centre[2] + minorRadius * std::sin(psi)});
        }
    }
    auto at = [&](int i, int j) { return first + (i % majorSegments) * minorSegments + j % minorSegments; };
    object.polygons.reserve(object.polygons.size() + static_cast<std::size_t>(majorSegments) * minorSegments);
    for (int i = 0; i < majorSegments; ++i)
        for (int j = 0; j < minorSegments; ++j)
            object.addPolygon({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
}

void appendPrism(SceneObject &object, const std::vector<Point2> &outline, double low, double high, int axis)
{
    if (outline.size() < 3)
        throw std::invalid_argument("prism outline needs at least 3 points");
    if (axis < 0 || axis > 2)
        throw std::invalid_argument("prism axis must be 0, 1 or 2");

    // Counter-clockwise, so the top cap faces +axis.
    std::vector<Point2> ring = outline;
    double area = 0.0;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
        area += ring[j][0] * ring[i][1] - ring[i][0] * ring[j][1];
    if (area < 0.0)
        std::reverse(ring.begin(), ring.end());

    const int b = (axis + 1) % 3, c = (axis + 2) % 3;
    const int n = static_cast<int>(ring.size());
    const int first = static_cast<int>(object.points.size());
    for (double level : {low, high})
        for (const Point2 &p : ring) {
            Vec3 v;
            v[axis] = level;
            v[b] = p[0];
            v[c] = p[1];
            addPoint(object, v);
        }
    auto bottom = [&](int i) { return first + i % n; };
    auto top = [&](int i) { return first + n + i % n; };

    std::vector<int> cap(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        cap[static_cast<std::size_t>(i)] = top(i);
    object.addPolygon(cap);
    for (int i = 0; i < n; ++i)
        cap[static_cast<std::size_t>(i)] = bottom(n - 1 - i);
    object.addPolygon(cap);
    for (int i = 0; i < n; ++i)
        object.addPolygon({bottom(i), bottom(i + 1), top(i + 1), top(i)});
}

std::vector<Point2> starOutline(const Point2 &centre, double outerRadius, double innerRadius, int spikes)
{
    requireAtLeast(spikes, 2, "a star needs at least 2 spikes");
    std::vector<Point2> outline;
    outline.reserve(static_cast<std::size_t>(2 * spikes));
    for (int k = 0; k < 2 * spikes; ++k) {
        const double angle = pi * k / spikes;
        const double r = k % 2 == 0 ? outerRadius : innerRadius;
        outline.push_back({centre[0] + r * std::cos(angle), centre[1] + r * std::sin(angle)});
    }
    return outline;
}

std::vector<Point2> lOutline(const Point2 &corner, double width, double height, double thickness)
{
    const double x = corner[0], y = corner[1];
    return {{x, y}, {x + width, y}, {x + width, y + thickness}, {x + thickness, y + thickness},
            {x + thickness, y + height}, {x, y + height}};
}

} // namespace standin
