#include "tools/ostrevin-render/camera_view.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <utility>

#include "tools/ostrevin-render/labels.h"
#include "tools/ostrevin-render/parallel.h"

namespace render {

namespace {

using Clock = std::chrono::steady_clock;

const Rgb background{34, 37, 45};
const Rgb targetOutline{128, 128, 128};
const Rgb legendBackground{18, 20, 26};
const Rgb legendText{225, 228, 235};

// Rotated-grid offsets inside a pixel for 2 x 2 samples; other counts use a plain grid.
const double rotatedGrid[4][2] = {{0.375, 0.125}, {0.875, 0.375}, {0.125, 0.625}, {0.625, 0.875}};

class NoSampler : public Sampler {
public:
    double sample(const Vec3 &) const override { return 0.0; }
};

Vec3 transformed(const standin::Transform &m, const Vec3 &p)
{
    Vec3 out{};
    for (std::size_t r = 0; r < 3; ++r)
        out[r] = m.m[r][0] * p[0] + m.m[r][1] * p[1] + m.m[r][2] * p[2] + m.m[r][3];
    return out;
}

double clamp01(double v) { return std::isfinite(v) ? std::min(1.0, std::max(0.0, v)) : 0.0; }

struct Sample {
    RayHit hit;
    Vec3 point{};
    double effect = 0.0;
};

} // namespace

bool ObjectTexturing::any() const
{
    if (!everywhere.empty())
        return true;
    for (const auto &s : bySurface)
        if (!s.empty())
            return true;
    return false;
}

standin::Transform inverse(const standin::Transform &t)
{
    const auto &m = t.m;
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    standin::Transform out;
    if (!(std::fabs(det) > 1e-300))
        return out;
    const double k = 1.0 / det;
    out.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * k;
    out.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * k;
    out.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * k;
    out.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * k;
    out.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * k;
    out.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * k;
    out.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * k;
    out.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * k;
    out.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * k;
    for (int r = 0; r < 3; ++r)
        out.m[r][3] = -(out.m[r][0] * m[0][3] + out.m[r][1] * m[1][3] + out.m[r][2] * m[2][3]);
    return out;
}

LWTextureAccess accessFor(const LayerUse &use, const Vec3 &world, const standin::Transform &objectInverse,
                          const std::vector<standin::Transform> &inverses)
{
    LWTextureAccess access{};
    for (int c = 0; c < 3; ++c)
        access.wPos[c] = world[static_cast<std::size_t>(c)];
    access.axis = use.axis;
    access.amp = 1.0;
    access.size[0] = access.size[1] = access.size[2] = 1.0;
    Vec3 t = world;
    if (use.mapping) {
        // World coordinates place the texture in the scene; otherwise it rides on the object,
        // or on the reference object when the mapping names one.
        if (use.referenceObject >= 0 && static_cast<std::size_t>(use.referenceObject) < inverses.size())
            t = transformed(inverses[static_cast<std::size_t>(use.referenceObject)], world);
        else if (!use.mapping->world)
            t = transformed(objectInverse, world);
        t = transformed(use.texture, t);
        for (int c = 0; c < 3; ++c)
            access.size[c] = use.mapping->size[static_cast<std::size_t>(c)];
    }
    for (int c = 0; c < 3; ++c)
        access.tPos[c] = t[static_cast<std::size_t>(c)];
    return access;
}

Image renderCameraFrame(const CameraFrame &frame, CameraPassStats &stats, const Tick &tick)
{
    const CameraView &camera = *frame.camera;
    Image image(camera.width, camera.height, background);
    const int side = std::max(1, frame.samplesPerSide);
    const int perPixel = side * side;
    std::vector<std::array<double, 2>> offsets;
    for (int k = 0; k < perPixel; ++k)
        offsets.push_back(side == 2 ? std::array<double, 2>{rotatedGrid[k][0], rotatedGrid[k][1]}
                                    : std::array<double, 2>{(k % side + 0.5) / side, (k / side + 0.5) / side});
    std::vector<standin::Transform> inverses;
    for (const standin::Transform &t : frame.placements)
        inverses.push_back(inverse(t));

    std::atomic<long long> rayNanos{0}, textureNanos{0};
    const NoSampler none;
    const Vec3 light = camera.forward;
    const PassStats pass = runRows(
        none, camera.height, frame.threads,
        [&](int y, WorkerContext &context) {
            std::vector<Sample> samples(static_cast<std::size_t>(camera.width) * perPixel);
            const Clock::time_point start = Clock::now();
            for (int x = 0; x < camera.width; ++x)
                for (int k = 0; k < perPixel; ++k) {
                    Sample &s = samples[static_cast<std::size_t>(x * perPixel + k)];
                    const Vec3 d = camera.ray(x + offsets[static_cast<std::size_t>(k)][0],
                                              y + offsets[static_cast<std::size_t>(k)][1]);
                    s.hit = frame.rays->cast(camera.eye, d);
                    if (s.hit.object >= 0)
                        for (std::size_t c = 0; c < 3; ++c)
                            s.point[c] = camera.eye[c] + d[c] * s.hit.distance;
                }
            const Clock::time_point cast = Clock::now();
            for (Sample &s : samples) {
                if (s.hit.object < 0)
                    continue;
                const auto object = static_cast<std::size_t>(s.hit.object);
                if (object >= frame.texturing.size())
                    continue;
                const ObjectTexturing &texturing = frame.texturing[object];
                double keep = 1.0;
                auto evaluate = [&](const LayerUse &use) {
                    LWTextureAccess access = accessFor(use, s.point, inverses[object], inverses);
                    double v;
                    if (context.points++ == 0) {
                        const Clock::time_point first = Clock::now();
                        v = use.layer->evaluate(access);
                        context.firstSeconds = std::chrono::duration<double>(Clock::now() - first).count();
                    } else {
                        v = use.layer->evaluate(access);
                    }
                    v = clamp01(v);
                    if (use.negative)
                        v = 1.0 - v;
                    keep *= 1.0 - clamp01(use.opacity) * v;
                };
                for (const LayerUse &use : texturing.everywhere)
                    evaluate(use);
                if (texturing.polygonSurfaces && static_cast<std::size_t>(s.hit.polygon) < texturing.polygonSurfaces->size()) {
                    const std::size_t surface = (*texturing.polygonSurfaces)[static_cast<std::size_t>(s.hit.polygon)];
                    if (surface < texturing.bySurface.size())
                        for (const LayerUse &use : texturing.bySurface[surface])
                            evaluate(use);
                }
                s.effect = 1.0 - keep;
            }
            const Clock::time_point shaded = Clock::now();
            rayNanos += std::chrono::duration_cast<std::chrono::nanoseconds>(cast - start).count();
            textureNanos += std::chrono::duration_cast<std::chrono::nanoseconds>(shaded - cast).count();
            for (int x = 0; x < camera.width; ++x) {
                double r = 0, g = 0, b = 0;
                for (int k = 0; k < perPixel; ++k) {
                    const Sample &s = samples[static_cast<std::size_t>(x * perPixel + k)];
                    if (s.hit.object < 0) {
                        r += background.r, g += background.g, b += background.b;
                        continue;
                    }
                    const double lambert = std::fabs(s.hit.normal[0] * light[0] + s.hit.normal[1] * light[1] +
                                                     s.hit.normal[2] * light[2]);
                    const double grey = 255.0 * (0.2 + 0.62 * lambert);
                    const double lit = 0.45 + 0.55 * lambert;
                    r += grey * (1 - s.effect) + frame.effect.r * lit * s.effect;
                    g += grey * (1 - s.effect) + frame.effect.g * lit * s.effect;
                    b += grey * (1 - s.effect) + frame.effect.b * lit * s.effect;
                }
                auto byte = [&](double v) { return static_cast<unsigned char>(std::lround(std::min(255.0, v / perPixel))); };
                image.set(x, y, {byte(r), byte(g), byte(b)});
            }
        },
        tick);
    stats.points += pass.points;
    stats.seconds += pass.seconds;
    stats.slowestFirst = std::max(stats.slowestFirst, pass.slowestFirst);
    stats.raySeconds += static_cast<double>(rayNanos.load()) * 1e-9;
    stats.textureSeconds += static_cast<double>(textureNanos.load()) * 1e-9;
    return image;
}

void drawTargetOutline(Image &image, const CameraView &camera, const std::vector<Vec3> &points,
                       const std::vector<std::vector<int>> &polygons)
{
    // Every polygon's edges, each with whether its polygon faces the camera; sorted, so that
    // the uses of an edge sit together.
    struct EdgeUse {
        int a, b;
        bool facing;
        bool operator<(const EdgeUse &o) const { return a != o.a ? a < o.a : b < o.b; }
    };
    std::vector<EdgeUse> uses;
    for (const std::vector<int> &poly : polygons) {
        const std::size_t n = poly.size();
        bool valid = n >= 3;
        for (int i : poly)
            valid = valid && i >= 0 && static_cast<std::size_t>(i) < points.size();
        if (!valid)
            continue;
        Vec3 normal{0, 0, 0};
        for (std::size_t i = 0; i < n; ++i) {
            const Vec3 &p = points[static_cast<std::size_t>(poly[i])];
            const Vec3 &q = points[static_cast<std::size_t>(poly[(i + 1) % n])];
            normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
            normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
            normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
        }
        const Vec3 &corner = points[static_cast<std::size_t>(poly[0])];
        const bool facing = normal[0] * (corner[0] - camera.eye[0]) + normal[1] * (corner[1] - camera.eye[1]) +
                                normal[2] * (corner[2] - camera.eye[2]) < 0;
        for (std::size_t i = 0; i < n; ++i) {
            const int a = poly[i], b = poly[(i + 1) % n];
            uses.push_back({std::min(a, b), std::max(a, b), facing});
        }
    }
    std::sort(uses.begin(), uses.end());
    for (std::size_t i = 0; i < uses.size();) {
        std::size_t j = i, facing = 0;
        for (; j < uses.size() && uses[j].a == uses[i].a && uses[j].b == uses[i].b; ++j)
            facing += uses[j].facing ? 1 : 0;
        // An open edge, or one between a polygon facing the camera and one facing away.
        const bool silhouette = j - i == 1 || (facing > 0 && facing < j - i);
        double x0, y0, x1, y1;
        if (silhouette && camera.project(points[static_cast<std::size_t>(uses[i].a)], x0, y0) &&
            camera.project(points[static_cast<std::size_t>(uses[i].b)], x1, y1))
            image.line(x0, y0, x1, y1, targetOutline, 0.55);
        i = j;
    }
}

Image withCameraLegend(const Image &image, const std::vector<std::string> &entries, Rgb effect)
{
    const int s = labelScale(image.width(), image.height());
    const int gap = 3 * s, line = 8 * s;
    const int rows = std::max<int>(1, static_cast<int>(entries.size()));
    Image out(image.width(), image.height() + gap + rows * line + gap - 3 * s, legendBackground);
    out.paste(image, 0, 0);
    int top = image.height() + gap;
    for (int r = 0; r < rows; ++r, top += line) {
        const std::string text = entries.empty() ? "no surface carries the texture" : entries[static_cast<std::size_t>(r)];
        for (int y = top; y < top + 5 * s; ++y)
            for (int x = gap; x < gap + 8 * s; ++x)
                out.blend(x, y, entries.empty() ? legendText : effect, 1.0);
        drawText(out, gap + 11 * s, top, text, legendText, s);
    }
    return out;
}

} // namespace render
