// What the images show: a framing of the target's box seen along an axis, the texture sampled on
// a slice across it or summed along X-rays through it, and the target's outline on the slice.
#ifndef OSTREVIN_TOOLS_RENDER_VIEWS_H
#define OSTREVIN_TOOLS_RENDER_VIEWS_H

#include <functional>
#include <vector>

#include "tools/ostrevin-render/geometry.h"
#include "tools/ostrevin-render/parallel.h"

namespace render {

// The host's viewports: right (0), top (1) and front (2) look along the axis of their number, and
// left (3), bottom (4) and back (5) along the same axes from the other side. The host's axes are
// left-handed; an imported scene's are right-handed with z the other way, so the host's +Z is the
// scene's -z. Objects in the host face +Z, and each viewport shows the side it is named after:
// front looks from +Z, so +X runs left and +Y up, and back has +X right; top has +X right and +Z
// up, and bottom +X right and +Z down; right has +Z right and +Y up, and left +Z left. Pixel
// (i, j) covers the square around its centre (i + 0.5, j + 0.5); row 0 is the top.
constexpr int viewCount = 6;
inline int viewAxis(int view) { return view % 3; }
// A coordinate along an axis in the host's terms from the scene's, and back.
inline double hostCoordinate(int axis, double value) { return axis == 2 ? -value : value; }

struct Framing {
    int view = 2, across = 0, up = 1;      // `view` is the axis the viewport looks along
    int acrossSign = 1, upSign = 1;        // the scene's direction along `across` and `up` that
                                           // runs right and up in the image
    int width = 1, height = 1;
    double pixel = 1.0;                    // world units per pixel
    double centreAcross = 0.0, centreUp = 0.0;
    double depthMin = 0.0, depthMax = 0.0; // the target's box along the view

    // The world point at image position (x, y), in pixels, and the given depth.
    Vec3 at(double x, double y, double depth) const;
    double imageX(double worldAcross) const;
    double imageY(double worldUp) const;
};

// Sets the view's axes and signs, as above.
void orient(Framing &f, int view);

// Frames the box, widened by `margin` times its larger side on every side, as large as fits.
Framing frameBox(const Box &box, int view, int width, int height, double margin);
// The image size whose longer side has `resolution` pixels, for the same widened box.
void sizeFor(const Box &box, int view, int resolution, double margin, int &width, int &height);

// One value per pixel, row by row.
struct Field {
    int width = 0, height = 0;
    std::vector<double> values;
    double operator()(int x, int y) const { return values[static_cast<std::size_t>(y) * width + x]; }
};

using Tick = std::function<void(long long pointsDone)>;

// The texture at every pixel centre on the plane at `depth` along the view.
Field sampleSlice(const Sampler &sampler, const Framing &f, double depth, int threads, PassStats &stats,
                  const Tick &tick = {});
// The mean of `samples` values taken at the midpoints of equal steps along each pixel's ray
// through the target's box: the share of the ray that lies inside.
Field sampleVolume(const Sampler &sampler, const Framing &f, int samples, int threads, PassStats &stats,
                   const Tick &tick = {});

// A segment in image-plane world coordinates (across, up).
struct Segment {
    double a0, u0, a1, u1;
};

// Where the polygons cross the plane at `depth` along the framing's view: each polygon's edges are cut by the
// plane, and the cut points, ordered along the polygon's line of intersection, pair up into the
// parts of that line inside the polygon (so concave polygons give several). Polygons lying in the
// plane give their edges.
std::vector<Segment> sectionOutline(const std::vector<Vec3> &points, const std::vector<std::vector<int>> &polygons,
                                    const Framing &f, double depth);

} // namespace render

#endif
