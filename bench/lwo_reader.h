// A minimal reader for object files in the host's own format (LWO2 and the older LWOB): points and
// polygons only, every layer merged, so the benchmarks can use real objects as targets.
#ifndef OSTREVIN_BENCH_LWO_READER_H
#define OSTREVIN_BENCH_LWO_READER_H

#include <string>

#include "host/scene.h"

namespace bench {

// Fills `object`'s points and polygons from the file; false (with `error`) when it cannot be read.
// Polygons of fewer than three vertices (points and lines) are kept: the host hands them over too.
bool readLwo(const std::string &path, standin::SceneObject &object, std::string &error);

} // namespace bench

#endif
