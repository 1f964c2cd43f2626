#include <embree3/rtcore.h>

#include <limits>

#include "bench/embree_scene.h"
#include "bench/peers.h"

namespace bench {

namespace {

// The context Embree hands to the filter, extended with the crossing count.
struct CountingContext {
    RTCIntersectContext context;
    unsigned int crossings;
};

void countAndReject(const RTCFilterFunctionNArguments *args)
{
    // Embree passes our own context back; the count lives right after its part.
    auto *counting = reinterpret_cast<CountingContext *>(args->context);
    for (unsigned int i = 0; i < args->N; ++i) {
        if (args->valid[i] == 0)
            continue;
        ++counting->crossings;
        args->valid[i] = 0;
    }
}

} // namespace

RTCScene newTriangleScene(RTCDevice device, const TriangleSoup &soup, RTCSceneFlags flags,
                          RTCFilterFunctionN occludedFilter)
{
    if (!device || soup.triangles.empty())
        return nullptr;
    RTCScene scene = rtcNewScene(device);
    rtcSetSceneFlags(scene, flags);
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto *vertices = static_cast<float *>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), soup.points.size()));
    auto *indices = static_cast<unsigned int *>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned int), soup.triangles.size()));
    for (std::size_t i = 0; i < soup.points.size(); ++i)
        for (std::size_t c = 0; c < 3; ++c)
            vertices[3 * i + c] = soup.points[i][c];
    for (std::size_t i = 0; i < soup.triangles.size(); ++i)
        for (std::size_t c = 0; c < 3; ++c)
            indices[3 * i + c] = soup.triangles[i][c];
    if (occludedFilter)
        rtcSetGeometryOccludedFilterFunction(geometry, occludedFilter);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene);
    return scene;
}

struct EmbreeParity::State {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
};

EmbreeParity::EmbreeParity(const TriangleSoup &soup) : state(std::make_unique<State>())
{
    state->device = rtcNewDevice("threads=1");
    rebuild(soup);
}

void EmbreeParity::rebuild(const TriangleSoup &soup)
{
    if (state->scene)
        rtcReleaseScene(state->scene);
    state->scene = newTriangleScene(state->device, soup, RTC_SCENE_FLAG_ROBUST, countAndReject);
}

EmbreeParity::~EmbreeParity()
{
    if (state->scene)
        rtcReleaseScene(state->scene);
    if (state->device)
        rtcReleaseDevice(state->device);
}

bool EmbreeParity::usable() const { return state->scene != nullptr; }

bool EmbreeParity::inside(const double p[3], int axis) const
{
    CountingContext counting{};
    rtcInitIntersectContext(&counting.context);
    counting.crossings = 0;

    RTCRay ray{};
    ray.org_x = static_cast<float>(p[0]);
    ray.org_y = static_cast<float>(p[1]);
    ray.org_z = static_cast<float>(p[2]);
    ray.dir_x = axis == 0 ? 1.0f : 0.0f;
    ray.dir_y = axis == 1 ? 1.0f : 0.0f;
    ray.dir_z = axis == 2 ? 1.0f : 0.0f;
    ray.tnear = 0.0f;
    ray.tfar = std::numeric_limits<float>::infinity();
    ray.mask = 0xFFFFFFFFu;
    rtcOccluded1(state->scene, &counting.context, &ray);
    return (counting.crossings & 1u) != 0;
}

} // namespace bench
