#include <embree3/rtcore.h>

#include <cmath>

#include "bench/embree_scene.h"
#include "bench/soft_edge_peers.h"
#include "texture/target/smooth_step.h"

namespace bench {

namespace {

using Vec = std::array<double, 3>;

Vec corner(const TriangleSoup &soup, unsigned int index)
{
    const auto &q = soup.points[index];
    return {q[0], q[1], q[2]};
}

double dot(const Vec &a, const Vec &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec minus(const Vec &a, const Vec &b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

// Squared distance from p to triangle abc by the regions of its closest point (vertex, edge, face).
double triangleDistanceSquared(const Vec &p, const Vec &a, const Vec &b, const Vec &c)
{
    const Vec ab = minus(b, a), ac = minus(c, a), ap = minus(p, a);
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    double v = 0, w = 0;
    if (d1 <= 0 && d2 <= 0) {
    } else {
        const Vec bp = minus(p, b);
        const double d3 = dot(ab, bp), d4 = dot(ac, bp);
        const Vec cp = minus(p, c);
        const double d5 = dot(ab, cp), d6 = dot(ac, cp);
        const double vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
        if (d3 >= 0 && d4 <= d3) {
            v = 1;
        } else if (d6 >= 0 && d5 <= d6) {
            w = 1;
        } else if (vc <= 0 && d1 >= 0 && d3 <= 0) {
            v = d1 / (d1 - d3);
        } else if (vb <= 0 && d2 >= 0 && d6 <= 0) {
            w = d2 / (d2 - d6);
        } else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
            w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
            v = 1 - w;
        } else {
            const double inverse = 1 / (va + vb + vc);
            v = vb * inverse;
            w = vc * inverse;
        }
    }
    const Vec q = {a[0] + v * ab[0] + w * ac[0], a[1] + v * ab[1] + w * ac[1], a[2] + v * ab[2] + w * ac[2]};
    const Vec d = minus(p, q);
    return dot(d, d);
}

struct Nearest {
    const TriangleSoup *soup;
    Vec p;
    double best;   // squared
};

bool measureTriangle(RTCPointQueryFunctionArguments *args)
{
    auto *nearest = static_cast<Nearest *>(args->userPtr);
    const auto &t = nearest->soup->triangles[args->primID];
    const double d = triangleDistanceSquared(nearest->p, corner(*nearest->soup, t[0]), corner(*nearest->soup, t[1]),
                                             corner(*nearest->soup, t[2]));
    if (!(d < nearest->best))
        return false;
    nearest->best = d;
    args->query->radius = static_cast<float>(std::sqrt(d));
    return true;
}

} // namespace

struct EmbreeSoftEdge::State {
    explicit State(const TriangleSoup &soup) : soup(soup), parity(soup) {}
    const TriangleSoup &soup;
    EmbreeParity parity;
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
};

EmbreeSoftEdge::EmbreeSoftEdge(const TriangleSoup &soup) : state(std::make_unique<State>(soup))
{
    state->device = rtcNewDevice("threads=1");
    state->scene = newTriangleScene(state->device, soup, RTC_SCENE_FLAG_NONE, nullptr);
}

EmbreeSoftEdge::~EmbreeSoftEdge()
{
    if (state->scene)
        rtcReleaseScene(state->scene);
    if (state->device)
        rtcReleaseDevice(state->device);
}

bool EmbreeSoftEdge::usable() const { return state->scene != nullptr && state->parity.usable(); }

double EmbreeSoftEdge::value(const double p[3], double width, int axis) const
{
    if (!state->parity.inside(p, axis))
        return 0.0;
    Nearest nearest{&state->soup, {p[0], p[1], p[2]}, width * width};
    RTCPointQuery query{};
    query.x = static_cast<float>(p[0]);
    query.y = static_cast<float>(p[1]);
    query.z = static_cast<float>(p[2]);
    query.time = 0.0f;
    // Rounded up a little: the radius is a float, and a triangle at the width changes nothing.
    query.radius = static_cast<float>(width) * (1.0f + 1e-6f);
    RTCPointQueryContext context;
    rtcInitPointQueryContext(&context);
    rtcPointQuery(state->scene, &query, &context, measureTriangle, &nearest);
    return ostrevin::smoothStep(std::sqrt(nearest.best) / width);
}

} // namespace bench
