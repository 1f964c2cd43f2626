// Building an Embree scene from a triangle soup, shared by the bench's Embree peers.
#ifndef OSTREVIN_BENCH_EMBREE_SCENE_H
#define OSTREVIN_BENCH_EMBREE_SCENE_H

#include <embree3/rtcore.h>

#include "bench/peers.h"

namespace bench {

// A committed scene of the soup's triangles, with `flags`; `occludedFilter`, when given, sees
// every hit of an occlusion ray. Null without a device or triangles.
RTCScene newTriangleScene(RTCDevice device, const TriangleSoup &soup, RTCSceneFlags flags,
                          RTCFilterFunctionN occludedFilter);

} // namespace bench

#endif
