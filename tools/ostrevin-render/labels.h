// Text on the images: the view's axes in the host's terms in a corner of every image, and the
// X-ray's colour legend, in a small built-in pixel font.
#ifndef OSTREVIN_TOOLS_RENDER_LABELS_H
#define OSTREVIN_TOOLS_RENDER_LABELS_H

#include <string>

#include "tools/ostrevin-render/image.h"
#include "tools/ostrevin-render/views.h"

namespace render {

// The host's name for the direction that runs right ("+X") or up in the framing's image.
std::string acrossLabel(const Framing &f);
std::string upLabel(const Framing &f);

// Glyphs are 3 by 5 cells of `scale` pixels; characters the font lacks are left blank.
void drawText(Image &image, int x, int y, const std::string &text, Rgb colour, int scale);
int textWidth(const std::string &text, int scale);

// "Z=0.25": the place of a slice at `depth` along the framing's view, as the host's coordinate.
std::string depthLabel(const Framing &f, double depth);
// That label in the upper left corner.
void drawDepthLabel(Image &image, const Framing &f, double depth);

// Two arrows from the lower left corner, right and up, each with its axis label.
void drawAxisLabels(Image &image, const Framing &f);
// The X-ray with a band below it: the colour ramp from 0% to 100% of the ray inside.
Image withXrayLegend(const Image &xray);

// Pixels per font cell for an image of this size: 1 below 300 pixels, 2 below 600, and so on.
int labelScale(int width, int height);

} // namespace render

#endif
