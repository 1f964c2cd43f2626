// The corners of a set of polygons in the frame of four of them, to tell whether a later set is the
// same shape moved as a whole: an invertible affine image (moved, turned, scaled, sheared or
// mirrored) to within the positions' own rounding. Whatever depends only on how the polygons lie
// to one another (which cross, which face into which) holds for the moved shape as it did, and
// need not be worked out again on every frame of a target flying through the scene.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_SHAPE_FRAME_H
#define OSTREVIN_TEXTURE_GEOMETRY_SHAPE_FRAME_H

#include <stddef.h>

#include "texture/geometry/bounds.h"

namespace ostrevin {

struct PolygonRecord;

class ShapeFrame {
public:
    ShapeFrame() noexcept = default;
    ~ShapeFrame() { delete[] coordinates; }
    ShapeFrame(const ShapeFrame &) = delete;
    ShapeFrame &operator=(const ShapeFrame &) = delete;

    // Takes the records' corners as the shape. False, and nothing remembered, when there is nothing
    // to compare with later: no storage, a non-finite corner, or a flat shape (no four corners
    // span space).
    bool remember(const PolygonRecord *records, int count) noexcept;
    void forget() noexcept { known = false; }

    // Whether the records hold the remembered shape's corners, polygon for polygon, moved by one
    // invertible affine map to within `tolerance` of the largest coordinate of `bounds` (theirs).
    // With `fixedAxis` 0, 1 or 2 the map must also send that axis to itself, its direction kept
    // (any scale): a ray along it then meets the moved shape as it met the remembered one.
    bool sameShape(const PolygonRecord *records, int count, const Bounds &bounds, int fixedAxis) const noexcept;

    // Far above the rounding of float positions (2^-24 of a coordinate) and of the frame's own
    // floats, far below anything a change of shape would be modelled at.
    static constexpr double tolerance = 0x1p-18;

private:
    // Each corner as (a, b, c) in p = origin + a·e0 + b·e1 + c·e2, the edges from the first
    // reference corner to the other three.
    float (*coordinates)[3] = nullptr;
    size_t held = 0;
    size_t corners = 0;
    int polygons = 0;
    // The reference corners, as (polygon, vertex).
    int reference[4][2] = {};
    // The remembered frame's inverse, for the axis's image.
    double inverse[3][3] = {};
    bool known = false;
};

} // namespace ostrevin

#endif
