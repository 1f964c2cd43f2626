#include "tools/ostrevin-render/image.h"

#include <algorithm>
#include <cmath>

namespace render {

const Rgb outlineColour{110, 150, 230};
const Rgb sheetBackground{40, 42, 50};

namespace {

const Rgb inside{255, 255, 255};
const Rgb outside{18, 20, 26};

unsigned char mix(unsigned char a, unsigned char b, double t)
{
    return static_cast<unsigned char>(std::lround(a + (b - a) * t));
}

Rgb mix(Rgb a, Rgb b, double t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }

double clamp01(double t) { return std::isfinite(t) ? std::min(1.0, std::max(0.0, t)) : 0.0; }

// Liang-Barsky: clips the segment to the box; false when nothing is left.
bool clip(double &x0, double &y0, double &x1, double &y1, double lo, double hiX, double hiY)
{
    double t0 = 0.0, t1 = 1.0;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - lo, hiX - x0, y0 - lo, hiY - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1)
        return false;
    const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
    x1 = x0 + t1 * dx;
    y1 = y0 + t1 * dy;
    x0 = nx0;
    y0 = ny0;
    return true;
}

} // namespace

Image::Image(int width, int height, Rgb fill)
    : w(std::max(1, width)), h(std::max(1, height)), px(static_cast<std::size_t>(w) * h, fill)
{
}

void Image::blend(int x, int y, Rgb c, double alpha)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return;
    px[index(x, y)] = mix(px[index(x, y)], c, clamp01(alpha));
}

void Image::line(double x0, double y0, double x1, double y1, Rgb c, double alpha)
{
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return;
    if (!clip(x0, y0, x1, y1, 0.0, w, h))
        return;
    // One step per pixel along the longer direction; each pixel is blended once.
    const int steps = static_cast<int>(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))));
    int lastX = -1, lastY = -1;
    for (int s = 0; s <= steps; ++s) {
        const double t = steps ? static_cast<double>(s) / steps : 0.0;
        const int x = static_cast<int>(std::floor(x0 + t * (x1 - x0)));
        const int y = static_cast<int>(std::floor(y0 + t * (y1 - y0)));
        if (x == lastX && y == lastY)
            continue;
        blend(x, y, c, alpha);
        lastX = x;
        lastY = y;
    }
}

void Image::paste(const Image &tile, int x, int y)
{
    for (int ty = 0; ty < tile.h; ++ty)
        for (int tx = 0; tx < tile.w; ++tx)
            if (x + tx >= 0 && y + ty >= 0 && x + tx < w && y + ty < h)
                set(x + tx, y + ty, tile.at(tx, ty));
}

Image colourSlice(const Field &field)
{
    Image image(field.width, field.height);
    for (int y = 0; y < field.height; ++y)
        for (int x = 0; x < field.width; ++x)
            image.set(x, y, mix(outside, inside, clamp01(field(x, y))));
    return image;
}

Rgb xrayRamp(double share)
{
    static const Rgb stops[] = {{10, 12, 24}, {34, 44, 120}, {128, 58, 150}, {232, 128, 62}, {255, 246, 214}};
    const double t = clamp01(share) * 4.0;
    const int i = std::min(3, static_cast<int>(t));
    return mix(stops[i], stops[i + 1], t - i);
}

Image colourVolume(const Field &field)
{
    Image image(field.width, field.height);
    for (int y = 0; y < field.height; ++y)
        for (int x = 0; x < field.width; ++x)
            image.set(x, y, xrayRamp(field(x, y)));
    return image;
}

void drawOutline(Image &image, const Framing &f, const std::vector<Segment> &segments)
{
    for (const Segment &s : segments)
        image.line(f.imageX(s.a0), f.imageY(s.u0), f.imageX(s.a1), f.imageY(s.u1), outlineColour, 0.55);
}

} // namespace render
