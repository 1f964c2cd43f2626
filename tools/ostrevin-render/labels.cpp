#include "tools/ostrevin-render/labels.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace render {

namespace {

const Rgb labelColour{225, 228, 235};
const Rgb shadowColour{0, 0, 0};
const Rgb legendBackground{18, 20, 26};

struct Glyph {
    char c;
    unsigned char rows[5];   // three bits a row, the high one on the left
};

const Glyph font[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'%', {5, 1, 2, 4, 5}}, {'+', {0, 2, 7, 2, 0}},
    {'-', {0, 0, 7, 0, 0}}, {'.', {0, 0, 0, 0, 2}}, {'=', {0, 7, 0, 7, 0}}, {'e', {2, 5, 7, 4, 3}},
    {'X', {5, 5, 2, 5, 5}}, {'Y', {5, 5, 2, 2, 2}}, {'Z', {7, 1, 2, 4, 7}},
};

// Letters and marks for names in legends; lower case is drawn as upper case.
const Glyph letters[] = {
    {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}}, {'C', {3, 4, 4, 4, 3}}, {'D', {6, 5, 5, 5, 6}},
    {'E', {7, 4, 6, 4, 7}}, {'F', {7, 4, 6, 4, 4}}, {'G', {3, 4, 5, 5, 3}}, {'H', {5, 5, 7, 5, 5}},
    {'I', {7, 2, 2, 2, 7}}, {'J', {1, 1, 1, 5, 2}}, {'K', {5, 5, 6, 5, 5}}, {'L', {4, 4, 4, 4, 7}},
    {'M', {5, 7, 7, 5, 5}}, {'N', {6, 5, 5, 5, 5}}, {'O', {2, 5, 5, 5, 2}}, {'P', {6, 5, 6, 4, 4}},
    {'Q', {2, 5, 5, 6, 3}}, {'R', {6, 5, 6, 5, 5}}, {'S', {3, 4, 2, 1, 6}}, {'T', {7, 2, 2, 2, 2}},
    {'U', {5, 5, 5, 5, 7}}, {'V', {5, 5, 5, 5, 2}}, {'W', {5, 5, 7, 7, 5}}, {':', {0, 2, 0, 2, 0}},
    {'.', {0, 0, 0, 0, 2}}, {',', {0, 0, 0, 2, 4}}, {'"', {5, 5, 0, 0, 0}}, {'(', {1, 2, 2, 2, 1}},
    {')', {4, 2, 2, 2, 4}}, {'/', {1, 1, 2, 4, 4}}, {'_', {0, 0, 0, 0, 7}}, {'#', {5, 7, 5, 7, 5}},
};

const Glyph *glyphOf(char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    for (const Glyph &g : font)
        if (g.c == c)
            return &g;
    for (const Glyph &g : letters)
        if (g.c == c)
            return &g;
    return nullptr;
}

void fill(Image &image, int x, int y, int w, int h, Rgb c)
{
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            image.blend(i, j, c, 1.0);
}

void drawGlyphs(Image &image, int x, int y, const std::string &text, Rgb colour, int scale)
{
    for (char c : text) {
        if (const Glyph *g = glyphOf(c))
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col)
                    if (g->rows[row] >> (2 - col) & 1)
                        fill(image, x + col * scale, y + row * scale, scale, scale, colour);
        x += 4 * scale;
    }
}

// A segment with a shadow one pixel down and right, so it reads on white and on black.
void shadowedLine(Image &image, int x0, int y0, int x1, int y1, int scale)
{
    for (int pass = 0; pass < 2; ++pass) {
        const int d = pass == 0 ? 1 : 0;
        const Rgb c = pass == 0 ? shadowColour : labelColour;
        fill(image, std::min(x0, x1) + d, std::min(y0, y1) + d, std::abs(x1 - x0) + scale,
             std::abs(y1 - y0) + scale, c);
    }
}

std::string hostAxis(int axis, int sign)
{
    // The host's z runs opposite to the scene's.
    const int hostSign = axis == 2 ? -sign : sign;
    return std::string(hostSign > 0 ? "+" : "-") + "XYZ"[axis >= 0 && axis < 3 ? axis : 0];
}

} // namespace

std::string acrossLabel(const Framing &f) { return hostAxis(f.across, f.acrossSign); }
std::string upLabel(const Framing &f) { return hostAxis(f.up, f.upSign); }

int labelScale(int width, int height) { return 1 + std::max(width, height) / 300; }

int textWidth(const std::string &text, int scale)
{
    return text.empty() ? 0 : static_cast<int>(text.size()) * 4 * scale - scale;
}

void drawText(Image &image, int x, int y, const std::string &text, Rgb colour, int scale)
{
    drawGlyphs(image, x + 1, y + 1, text, shadowColour, scale);
    drawGlyphs(image, x, y, text, colour, scale);
}

std::string depthLabel(const Framing &f, double depth)
{
    char text[40];
    std::snprintf(text, sizeof text, "%c=%.4g", "XYZ"[f.view >= 0 && f.view < 3 ? f.view : 0],
                  hostCoordinate(f.view, depth) + 0.0);
    return text;
}

void drawDepthLabel(Image &image, const Framing &f, double depth)
{
    const int s = labelScale(image.width(), image.height());
    drawText(image, 3 * s, 3 * s, depthLabel(f, depth), labelColour, s);
}

void drawAxisLabels(Image &image, const Framing &f)
{
    const int s = labelScale(image.width(), image.height());
    const int margin = 3 * s, length = 12 * s, head = 2 * s;
    const int ox = margin, oy = image.height() - 1 - margin - s;
    // Right: the shaft, an arrowhead and the label past its tip.
    shadowedLine(image, ox, oy, ox + length, oy, s);
    shadowedLine(image, ox + length - head, oy - head, ox + length - head, oy + head, s);
    drawText(image, ox + length + 2 * s, oy - 2 * s, acrossLabel(f), labelColour, s);
    // Up, the same way.
    shadowedLine(image, ox, oy, ox, oy - length, s);
    shadowedLine(image, ox - head, oy - length + head, ox + head, oy - length + head, s);
    drawText(image, ox - s, oy - length - 7 * s, upLabel(f), labelColour, s);
}

Image withXrayLegend(const Image &xray)
{
    const int s = labelScale(xray.width(), xray.height());
    const int gap = 2 * s, barHeight = 4 * s, band = gap + barHeight + gap + 5 * s + gap;
    Image out(xray.width(), xray.height() + band, legendBackground);
    out.paste(xray, 0, 0);
    const int left = gap, right = xray.width() - gap, top = xray.height() + gap;
    for (int x = left; x < right; ++x) {
        const double share = right - left > 1 ? static_cast<double>(x - left) / (right - left - 1) : 0.0;
        fill(out, x, top, 1, barHeight, xrayRamp(share));
    }
    const int textTop = top + barHeight + gap;
    drawText(out, left, textTop, "0%", labelColour, s);
    drawText(out, (left + right - textWidth("50%", s)) / 2, textTop, "50%", labelColour, s);
    drawText(out, right - textWidth("100%", s), textTop, "100%", labelColour, s);
    return out;
}

} // namespace render
