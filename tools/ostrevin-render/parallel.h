// Runs a pass of evaluations over image rows on several threads at once, the way the host shades
// from several threads, and reports progress from the calling thread while they work.
#ifndef OSTREVIN_TOOLS_RENDER_PARALLEL_H
#define OSTREVIN_TOOLS_RENDER_PARALLEL_H

#include <functional>

#include "tools/ostrevin-render/geometry.h"

namespace render {

// What the views ask a point's texture value of; called from several threads at once.
class Sampler {
public:
    virtual ~Sampler() = default;
    virtual double sample(const Vec3 &p) const = 0;
};

// One thread's share of a pass: counts its evaluations and times its first, which is the one
// that waits for (or does) the frame's cache build.
class WorkerContext {
public:
    explicit WorkerContext(const Sampler &s) : sampler(s) {}
    double operator()(const Vec3 &p);
    long long points = 0;
    double firstSeconds = 0.0;

private:
    const Sampler &sampler;
};

struct PassStats {
    long long points = 0;
    double seconds = 0.0;
    double slowestFirst = 0.0;   // the longest first evaluation of any thread
};

// Calls row(r, context) for every r in [0, rows) spread over `threads` threads; `tick`, when
// given, is called on this thread with the points done so far, a few times a second and at the
// end. An exception from any row is rethrown here after every thread has stopped.
PassStats runRows(const Sampler &sampler, int rows, int threads,
                  const std::function<void(int row, WorkerContext &context)> &row,
                  const std::function<void(long long pointsDone)> &tick = {});

} // namespace render

#endif
