// Colour images for the views: the slice and X-ray colourings, faint outlines and the contact sheet.
#ifndef OSTREVIN_TOOLS_RENDER_IMAGE_H
#define OSTREVIN_TOOLS_RENDER_IMAGE_H

#include <vector>

#include "tools/ostrevin-render/views.h"

namespace render {

struct Rgb {
    unsigned char r = 0, g = 0, b = 0;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

class Image {
public:
    Image(int width, int height, Rgb fill = {});
    int width() const { return w; }
    int height() const { return h; }
    Rgb at(int x, int y) const { return px[index(x, y)]; }
    void set(int x, int y, Rgb c) { px[index(x, y)] = c; }
    // Mixes `c` into the pixel by `alpha` (0 keeps it, 1 replaces it); outside the image, nothing.
    void blend(int x, int y, Rgb c, double alpha);
    // A one-pixel line between image positions, clipped to the image.
    void line(double x0, double y0, double x1, double y1, Rgb c, double alpha);
    void paste(const Image &tile, int x, int y);
    const std::vector<Rgb> &pixels() const { return px; }

private:
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * w + x; }
    int w, h;
    std::vector<Rgb> px;
};

// Inside white, outside near-black.
Image colourSlice(const Field &field);
// The X-ray ramp: deep blue through violet and amber to warm white as the share inside grows.
Rgb xrayRamp(double share);
Image colourVolume(const Field &field);
// Draws the segments, given in the framing's world coordinates, in a dim outline colour.
void drawOutline(Image &image, const Framing &f, const std::vector<Segment> &segments);

extern const Rgb outlineColour;
extern const Rgb sheetBackground;

} // namespace render

#endif
