// The soft edge of the frame being rendered: the width in force, and the distance index the
// frame's build made for it. With a width of 0 the texture's edge is hard and nothing is built.
#ifndef OSTREVIN_TEXTURE_TARGET_SOFT_EDGE_H
#define OSTREVIN_TEXTURE_TARGET_SOFT_EDGE_H

#include "texture/distance/distance_index.h"
#include "texture/inside/fill_rule.h"
#include "texture/target/filled_boundary.h"

namespace ostrevin {

class MeshCache;
struct PolygonRecord;

// A width as a setting may hold: finite and not negative (NaN and anything below 0 give 0, +inf
// the largest double).
double clampedWidth(double width) noexcept;

class SoftEdgeFrame {
public:
    // After the frame's cache build, under the same lock: takes the width and, when it is not 0,
    // builds the index over the cache's records, unless they, the width and the rule are those it
    // holds. Under Non-Zero only the boundary of what is filled is measured (filled_boundary.h),
    // its windings taken along `axis`.
    void prepare(const MeshCache &cache, double width, int rule = evenOddRule, int axis = 2) noexcept;
    bool on() const noexcept { return frameWidth > 0.0; }
    double width() const noexcept { return frameWidth; }

    // The value at a point the inside test found inside: the smooth step of its distance to the
    // nearest measured polygon over the width, 1 from the width on. Through the index, or when it
    // could not get its storage by scanning every record (then every polygon, as under Even-Odd).
    double insideValue(const MeshCache &cache, const double p[3]) const noexcept;

    DistanceIndex index;
    // Polygons left out of the last build's index as inside what is filled (0 but under Non-Zero).
    int leftOut() const noexcept { return innerPolygons; }

private:
    FilledBoundary boundary;
    int innerPolygons = 0;
    bool builtFilled = false;   // the index measures the filled region's boundary alone
    double frameWidth = 0.0;
    // What the index was built over: a frame whose records and width are the same keeps it.
    unsigned int builtVersion = 0;
    const PolygonRecord *builtRecords = nullptr;
    int builtCount = 0;
};

} // namespace ostrevin

#endif
