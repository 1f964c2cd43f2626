#include "tools/ostrevin-render/ray_caster.h"

#include <cmath>
#include <limits>
#include <string>

#include <embree3/rtcore.h>

#include "tools/ostrevin-render/errors.h"

namespace render {

namespace {

double cross2(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Whether q lies inside or on the triangle a, b, c of positive turn.
bool inTriangle(const double *a, const double *b, const double *c, const double *q)
{
    return cross2(b[0] - a[0], b[1] - a[1], q[0] - a[0], q[1] - a[1]) >= 0 &&
           cross2(c[0] - b[0], c[1] - b[1], q[0] - b[0], q[1] - b[1]) >= 0 &&
           cross2(a[0] - c[0], a[1] - c[1], q[0] - c[0], q[1] - c[1]) >= 0;
}

} // namespace

std::vector<int> triangulate(const std::vector<Vec3> &points, const std::vector<int> &corners)
{
    std::vector<int> out;
    const std::size_t n = corners.size();
    if (n < 3)
        return out;
    if (n == 3) {
        out.assign(corners.begin(), corners.end());
        return out;
    }
    // Newell's normal picks the plane to work in.
    double normal[3] = {0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3 &p = points[static_cast<std::size_t>(corners[i])];
        const Vec3 &q = points[static_cast<std::size_t>(corners[(i + 1) % n])];
        normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
        normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
        normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
    }
    int drop = 0;
    for (int c = 1; c < 3; ++c)
        if (std::fabs(normal[c]) > std::fabs(normal[drop]))
            drop = c;
    const int u = (drop + 1) % 3, v = (drop + 2) % 3;
    const bool flip = normal[drop] < 0;
    std::vector<std::array<double, 2>> flat(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3 &p = points[static_cast<std::size_t>(corners[i])];
        flat[i] = {p[static_cast<std::size_t>(u)], flip ? -p[static_cast<std::size_t>(v)] : p[static_cast<std::size_t>(v)]};
    }
    std::vector<std::size_t> left(n);
    for (std::size_t i = 0; i < n; ++i)
        left[i] = i;
    // Ear clipping; when no ear is found (a self-crossing outline), a fan finishes the rest.
    while (left.size() > 3) {
        const std::size_t m = left.size();
        bool clipped = false;
        for (std::size_t i = 0; i < m && !clipped; ++i) {
            const std::size_t a = left[(i + m - 1) % m], b = left[i], c = left[(i + 1) % m];
            const double *pa = flat[a].data(), *pb = flat[b].data(), *pc = flat[c].data();
            if (cross2(pb[0] - pa[0], pb[1] - pa[1], pc[0] - pb[0], pc[1] - pb[1]) <= 0)
                continue;
            bool empty = true;
            for (std::size_t k = 0; k < m && empty; ++k) {
                const std::size_t q = left[k];
                if (q != a && q != b && q != c && inTriangle(pa, pb, pc, flat[q].data()))
                    empty = false;
            }
            if (!empty)
                continue;
            out.insert(out.end(), {corners[a], corners[b], corners[c]});
            left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
            clipped = true;
        }
        if (!clipped)
            break;
    }
    for (std::size_t i = 1; i + 1 < left.size(); ++i)
        out.insert(out.end(), {corners[left[0]], corners[left[i]], corners[left[i + 1]]});
    return out;
}

struct RayCaster::Impl {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    std::vector<std::vector<int>> triangleOwner;   // per object: each triangle's polygon
};

RayCaster::RayCaster() : impl(std::make_unique<Impl>())
{
    impl->device = rtcNewDevice("threads=1");
    if (!impl->device)
        throw RenderError("Embree could not start");
    impl->scene = rtcNewScene(impl->device);
}

RayCaster::~RayCaster()
{
    if (impl->scene)
        rtcReleaseScene(impl->scene);
    if (impl->device)
        rtcReleaseDevice(impl->device);
}

void RayCaster::addObject(const std::vector<Vec3> &points, const std::vector<std::vector<int>> &polygons)
{
    std::vector<int> owner, indices;
    for (std::size_t p = 0; p < polygons.size(); ++p) {
        bool valid = true;
        for (int i : polygons[p])
            valid = valid && i >= 0 && static_cast<std::size_t>(i) < points.size();
        if (!valid)
            continue;
        const std::vector<int> t = triangulate(points, polygons[p]);
        indices.insert(indices.end(), t.begin(), t.end());
        owner.insert(owner.end(), t.size() / 3, static_cast<int>(p));
    }
    impl->triangleOwner.push_back(std::move(owner));
    if (indices.empty() || points.empty())
        return;
    RTCGeometry geometry = rtcNewGeometry(impl->device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto *v = static_cast<float *>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                           3 * sizeof(float), points.size()));
    auto *t = static_cast<unsigned *>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                              3 * sizeof(unsigned), indices.size() / 3));
    if (!v || !t) {
        rtcReleaseGeometry(geometry);
        throw RenderError("Embree could not hold the scene's triangles");
    }
    for (std::size_t i = 0; i < points.size(); ++i)
        for (std::size_t c = 0; c < 3; ++c)
            v[3 * i + c] = std::isfinite(points[i][c]) ? static_cast<float>(points[i][c]) : 0.0f;
    for (std::size_t i = 0; i < indices.size(); ++i)
        t[i] = static_cast<unsigned>(indices[i]);
    rtcCommitGeometry(geometry);
    rtcAttachGeometryByID(impl->scene, geometry, static_cast<unsigned>(impl->triangleOwner.size() - 1));
    rtcReleaseGeometry(geometry);
}

void RayCaster::commit() { rtcCommitScene(impl->scene); }

RayHit RayCaster::cast(const Vec3 &origin, const Vec3 &direction) const
{
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit rh{};
    rh.ray.org_x = static_cast<float>(origin[0]);
    rh.ray.org_y = static_cast<float>(origin[1]);
    rh.ray.org_z = static_cast<float>(origin[2]);
    rh.ray.dir_x = static_cast<float>(direction[0]);
    rh.ray.dir_y = static_cast<float>(direction[1]);
    rh.ray.dir_z = static_cast<float>(direction[2]);
    rh.ray.tnear = 0.0f;
    rh.ray.tfar = std::numeric_limits<float>::infinity();
    rh.ray.mask = 0xFFFFFFFFu;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(impl->scene, &context, &rh);
    RayHit hit;
    if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID)
        return hit;
    hit.object = static_cast<int>(rh.hit.geomID);
    hit.polygon = impl->triangleOwner[rh.hit.geomID][rh.hit.primID];
    hit.distance = rh.ray.tfar;
    Vec3 n{rh.hit.Ng_x, rh.hit.Ng_y, rh.hit.Ng_z};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const double facing = n[0] * direction[0] + n[1] * direction[1] + n[2] * direction[2];
    const double s = len > 0 ? (facing > 0 ? -1.0 : 1.0) / len : 0.0;
    hit.normal = {n[0] * s, n[1] * s, n[2] * s};
    return hit;
}

} // namespace render
