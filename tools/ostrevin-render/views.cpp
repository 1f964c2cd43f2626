#include "tools/ostrevin-render/views.h"

#include <algorithm>
#include <cmath>

namespace render {

Vec3 Framing::at(double x, double y, double depth) const
{
    Vec3 p{};
    p[static_cast<std::size_t>(across)] = centreAcross + acrossSign * (x - width / 2.0) * pixel;
    p[static_cast<std::size_t>(up)] = centreUp - upSign * (y - height / 2.0) * pixel;
    p[static_cast<std::size_t>(view)] = depth;
    return p;
}

double Framing::imageX(double worldAcross) const
{
    return acrossSign * (worldAcross - centreAcross) / pixel + width / 2.0;
}
double Framing::imageY(double worldUp) const { return height / 2.0 - upSign * (worldUp - centreUp) / pixel; }

void orient(Framing &f, int view)
{
    struct Axes {
        int across, acrossSign, up, upSign;
    };
    static const Axes table[viewCount] = {
        {2, -1, 1, 1},   // right: the host's +Z (the scene's -z) right, +Y up
        {0, 1, 2, -1},   // top: +X right, the host's +Z up
        {0, -1, 1, 1},   // front, from the host's +Z looking back: +X left, +Y up
        {2, 1, 1, 1},    // left: the host's +Z left, +Y up
        {0, 1, 2, 1},    // bottom: +X right, the host's +Z down
        {0, 1, 1, 1},    // back, from the host's -Z: +X right, +Y up
    };
    if (view < 0 || view >= viewCount)
        view = 2;
    const Axes &a = table[view];
    f.view = viewAxis(view);
    f.across = a.across;
    f.acrossSign = a.acrossSign;
    f.up = a.up;
    f.upSign = a.upSign;
}

namespace {

struct Region {
    double extentAcross, extentUp, centreAcross, centreUp;
};

Region widened(const Box &box, int across, int up, double margin)
{
    const auto a = static_cast<std::size_t>(across), u = static_cast<std::size_t>(up);
    double ea = box.max[a] - box.min[a], eu = box.max[u] - box.min[u];
    const double larger = std::max(ea, eu);
    // A flat or point-like target still gets a visible square around it.
    const double floor = larger > 0 ? larger * 1e-3 : 1.0;
    ea = std::max(ea, floor) + 2 * margin * std::max(larger, floor);
    eu = std::max(eu, floor) + 2 * margin * std::max(larger, floor);
    return {ea, eu, (box.min[a] + box.max[a]) / 2, (box.min[u] + box.max[u]) / 2};
}

} // namespace

Framing frameBox(const Box &box, int view, int width, int height, double margin)
{
    Framing f;
    orient(f, view);
    f.width = std::max(1, width);
    f.height = std::max(1, height);
    const Region r = widened(box, f.across, f.up, margin);
    f.pixel = std::max(r.extentAcross / f.width, r.extentUp / f.height);
    f.centreAcross = r.centreAcross;
    f.centreUp = r.centreUp;
    f.depthMin = box.min[static_cast<std::size_t>(f.view)];
    f.depthMax = box.max[static_cast<std::size_t>(f.view)];
    return f;
}

void sizeFor(const Box &box, int view, int resolution, double margin, int &width, int &height)
{
    Framing f;
    orient(f, view);
    const Region r = widened(box, f.across, f.up, margin);
    const double larger = std::max(r.extentAcross, r.extentUp);
    width = std::max(1, static_cast<int>(std::lround(resolution * r.extentAcross / larger)));
    height = std::max(1, static_cast<int>(std::lround(resolution * r.extentUp / larger)));
}

Field sampleSlice(const Sampler &sampler, const Framing &f, double depth, int threads, PassStats &stats,
                  const Tick &tick)
{
    Field field{f.width, f.height, std::vector<double>(static_cast<std::size_t>(f.width) * f.height)};
    stats = runRows(
        sampler, f.height, threads,
        [&](int y, WorkerContext &evaluate) {
            double *out = &field.values[static_cast<std::size_t>(y) * f.width];
            for (int x = 0; x < f.width; ++x)
                out[x] = evaluate(f.at(x + 0.5, y + 0.5, depth));
        },
        tick);
    return field;
}

Field sampleVolume(const Sampler &sampler, const Framing &f, int samples, int threads, PassStats &stats,
                   const Tick &tick)
{
    Field field{f.width, f.height, std::vector<double>(static_cast<std::size_t>(f.width) * f.height)};
    const int n = std::max(1, samples);
    const double step = (f.depthMax - f.depthMin) / n;
    stats = runRows(
        sampler, f.height, threads,
        [&](int y, WorkerContext &evaluate) {
            double *out = &field.values[static_cast<std::size_t>(y) * f.width];
            for (int x = 0; x < f.width; ++x) {
                double sum = 0.0;
                for (int k = 0; k < n; ++k)
                    sum += evaluate(f.at(x + 0.5, y + 0.5, f.depthMin + (k + 0.5) * step));
                out[x] = sum / n;
            }
        },
        tick);
    return field;
}

std::vector<Segment> sectionOutline(const std::vector<Vec3> &points, const std::vector<std::vector<int>> &polygons,
                                    const Framing &f, double depth)
{
    const auto v = static_cast<std::size_t>(f.view), a = static_cast<std::size_t>(f.across),
               u = static_cast<std::size_t>(f.up);
    std::vector<Segment> out;
    std::vector<std::pair<double, double>> cuts;
    for (const std::vector<int> &poly : polygons) {
        const std::size_t n = poly.size();
        bool valid = n >= 2;
        for (int i : poly)
            valid = valid && i >= 0 && static_cast<std::size_t>(i) < points.size();
        if (!valid)
            continue;
        cuts.clear();
        bool inPlane = true;
        for (std::size_t i = 0; i < n; ++i) {
            const Vec3 &p = points[static_cast<std::size_t>(poly[i])];
            const Vec3 &q = points[static_cast<std::size_t>(poly[(i + 1) % n])];
            const double dp = p[v] - depth, dq = q[v] - depth;
            inPlane = inPlane && dp == 0.0 && dq == 0.0;
            // Half-open test, so a vertex on the plane is cut once, not by both of its edges.
            if ((dp < 0.0) != (dq < 0.0)) {
                const double t = dp / (dp - dq);
                cuts.emplace_back(p[a] + t * (q[a] - p[a]), p[u] + t * (q[u] - p[u]));
            }
        }
        if (inPlane) {
            for (std::size_t i = 0; i < n; ++i) {
                const Vec3 &p = points[static_cast<std::size_t>(poly[i])];
                const Vec3 &q = points[static_cast<std::size_t>(poly[(i + 1) % n])];
                out.push_back({p[a], p[u], q[a], q[u]});
            }
            continue;
        }
        if (cuts.size() < 2)
            continue;
        // Order the cuts along the intersection line, by whichever coordinate spreads them more.
        const auto [minA, maxA] = std::minmax_element(cuts.begin(), cuts.end(),
                                                      [](const auto &l, const auto &r) { return l.first < r.first; });
        const auto [minU, maxU] = std::minmax_element(
            cuts.begin(), cuts.end(), [](const auto &l, const auto &r) { return l.second < r.second; });
        if (maxA->first - minA->first >= maxU->second - minU->second)
            std::sort(cuts.begin(), cuts.end());
        else
            std::sort(cuts.begin(), cuts.end(), [](const auto &l, const auto &r) { return l.second < r.second; });
        for (std::size_t i = 0; i + 1 < cuts.size(); i += 2)
            out.push_back({cuts[i].first, cuts[i].second, cuts[i + 1].first, cuts[i + 1].second});
    }
    return out;
}

} // namespace render
