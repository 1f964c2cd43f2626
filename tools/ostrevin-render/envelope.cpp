#include "tools/ostrevin-render/envelope.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace render {

namespace {

// Hermite basis at t in [0, 1] for start value, end value, outgoing and incoming tangents.
double hermite(double t, double v0, double v1, double out, double in)
{
    const double t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * v0 + (-2 * t3 + 3 * t2) * v1 + (t3 - 2 * t2 + t) * out + (t3 - t2) * in;
}

double cubicBezier(double p0, double p1, double p2, double p3, double u)
{
    const double s = 1 - u;
    return s * s * s * p0 + 3 * s * s * u * p1 + 3 * s * u * u * p2 + u * u * u * p3;
}

// A key's span over a neighbour's, the factor that rescales a tangent from one span to two.
double spanRatio(double span, double wide)
{
    return wide > 0 ? span / wide : 0.0;
}

// A handle's slope over the span; a handle with no length stands for a vertical one.
double handleSlope(double value, double time, double span)
{
    return std::fabs(time) > 1e-5 ? value * span / time : value * span * 1e5;
}

} // namespace

Envelope::Envelope(std::vector<EnvelopeKey> keys, Behaviour pre, Behaviour post)
    : list(std::move(keys)), before(pre), after(post)
{
    std::stable_sort(list.begin(), list.end(), [](const EnvelopeKey &a, const EnvelopeKey &b) { return a.time < b.time; });
}

Envelope Envelope::constant(double value)
{
    EnvelopeKey key;
    key.value = value;
    return Envelope({key});
}

double Envelope::outgoing(std::size_t k0) const
{
    const EnvelopeKey &key0 = list[k0], &key1 = list[k0 + 1];
    const EnvelopeKey *prev = k0 > 0 ? &list[k0 - 1] : nullptr;
    const double d = key1.value - key0.value;
    const double ratio = prev ? spanRatio(key1.time - key0.time, key1.time - prev->time) : 1.0;
    switch (key0.shape) {
    case KeyShape::Tcb: {
        const double a = (1 - key0.tension) * (1 + key0.continuity) * (1 + key0.bias);
        const double b = (1 - key0.tension) * (1 - key0.continuity) * (1 - key0.bias);
        return prev ? ratio * (a * (key0.value - prev->value) + b * d) : b * d;
    }
    case KeyShape::Linear:
        return prev ? ratio * (key0.value - prev->value + d) : d;
    case KeyShape::Hermite:
    case KeyShape::Bezier:
        return key0.param[1] * ratio;
    case KeyShape::Bezier2D:
        return handleSlope(key0.param[3], key0.param[2], key1.time - key0.time);
    case KeyShape::Stepped:
        break;
    }
    return 0.0;
}

double Envelope::incoming(std::size_t k1) const
{
    const EnvelopeKey &key0 = list[k1 - 1], &key1 = list[k1];
    const EnvelopeKey *next = k1 + 1 < list.size() ? &list[k1 + 1] : nullptr;
    const double d = key1.value - key0.value;
    const double ratio = next ? spanRatio(key1.time - key0.time, next->time - key0.time) : 1.0;
    switch (key1.shape) {
    case KeyShape::Tcb: {
        const double a = (1 - key1.tension) * (1 - key1.continuity) * (1 + key1.bias);
        const double b = (1 - key1.tension) * (1 + key1.continuity) * (1 - key1.bias);
        return next ? ratio * (b * (next->value - key1.value) + a * d) : a * d;
    }
    case KeyShape::Linear:
        return next ? ratio * (next->value - key1.value + d) : d;
    case KeyShape::Hermite:
    case KeyShape::Bezier:
        return key1.param[0] * ratio;
    case KeyShape::Bezier2D:
        return handleSlope(key1.param[1], key1.param[0], key1.time - key0.time);
    case KeyShape::Stepped:
        break;
    }
    return 0.0;
}

double Envelope::bezier2D(std::size_t k0, double time) const
{
    const EnvelopeKey &key0 = list[k0], &key1 = list[k0 + 1];
    // A span into a 2D Bezier key from a key of another shape leaves at a third of the span.
    const bool own = key0.shape == KeyShape::Bezier2D;
    const double x1 = key0.time + (own ? key0.param[2] : (key1.time - key0.time) / 3);
    const double y1 = key0.value + (own ? key0.param[3] : key0.param[1] / 3);
    const double x2 = key1.time + key1.param[0], y2 = key1.value + key1.param[1];

    // The curve's parameter at this time, by bisection: the handles keep time increasing, and a
    // fixed count ends the search even when a damaged file's do not.
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 64; ++i) {
        const double mid = (lo + hi) / 2;
        if (cubicBezier(key0.time, x1, x2, key1.time, mid) > time)
            hi = mid;
        else
            lo = mid;
    }
    return cubicBezier(key0.value, y1, y2, key1.value, (lo + hi) / 2);
}

double Envelope::interpolate(double time) const
{
    const auto after1 = std::lower_bound(list.begin(), list.end(), time,
                                         [](const EnvelopeKey &k, double t) { return k.time < t; });
    if (after1 == list.begin())
        return list.front().value;
    if (after1 == list.end())
        return list.back().value;
    const std::size_t k1 = static_cast<std::size_t>(after1 - list.begin()), k0 = k1 - 1;
    const EnvelopeKey &key0 = list[k0], &key1 = list[k1];
    if (time == key1.time)
        return key1.value;
    const double t = (time - key0.time) / (key1.time - key0.time);
    switch (key1.shape) {
    case KeyShape::Tcb:
    case KeyShape::Hermite:
    case KeyShape::Bezier:
        return hermite(t, key0.value, key1.value, outgoing(k0), incoming(k1));
    case KeyShape::Bezier2D:
        return bezier2D(k0, time);
    case KeyShape::Linear:
        return key0.value + t * (key1.value - key0.value);
    case KeyShape::Stepped:
        break;
    }
    return key0.value;
}

double Envelope::evaluate(double time) const
{
    if (list.empty())
        return 0.0;
    const EnvelopeKey &first = list.front(), &last = list.back();
    if (list.size() == 1 || std::isnan(time))
        return first.value;

    const bool early = time < first.time;
    if (!early && !(time > last.time))
        return interpolate(time);

    switch (early ? before : after) {
    case Behaviour::Reset:
        return 0.0;
    case Behaviour::Constant:
        return early ? first.value : last.value;
    case Behaviour::Linear: {
        // Along the tangent the curve has at the end it leaves from.
        const std::size_t n = list.size();
        const double span = early ? list[1].time - first.time : last.time - list[n - 2].time;
        const double tangent = early ? outgoing(0) : incoming(n - 1);
        const double slope = span > 0 ? tangent / span : 0.0;
        return early ? first.value + slope * (time - first.time) : last.value + slope * (time - last.time);
    }
    case Behaviour::Repeat:
    case Behaviour::Oscillate:
    case Behaviour::OffsetRepeat:
        break;
    }

    const double length = last.time - first.time;
    if (!(length > 0) || !std::isfinite(time))
        return early ? first.value : last.value;
    // Which copy of the keyed stretch the time falls in, and where in it.
    const double cycle = std::floor((time - first.time) / length);
    double local = std::clamp(time - cycle * length, first.time, last.time);
    double offset = 0.0;
    const Behaviour behaviour = early ? before : after;
    if (behaviour == Behaviour::Oscillate && std::fmod(cycle, 2.0) != 0.0)
        local = first.time + last.time - local;
    if (behaviour == Behaviour::OffsetRepeat)
        offset = cycle * (last.value - first.value);
    return interpolate(local) + offset;
}

} // namespace render
