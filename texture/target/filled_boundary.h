// Under Non-Zero, the polygons the soft edge measures from: those on the boundary of what is
// filled, where the winding number changes between zero and non-zero. A mesh of overlapping
// closed parts fills as one solid, and the faces of one part that lie inside another are then no
// surface at all: measured, they would drop the ramp to 0 along a seam through the solid.
//
// Each polygon is decided once per build, by the winding just off either side of it, at a point
// well inside it (the same rays the inside test casts). Non-zero on both sides, it lies inside
// the filled region and is left out, unless another polygon of the mesh crosses it or touches it
// inside (an edge through its plane, or ending on it, or lying in it, at a point farther than a
// rounding margin from its outline): the winding may then differ from one part of it to another,
// and it is kept whole. Nothing crossing it, the winding just off it is the same all over it, and
// it is left out whole. So a point's depth is exact wherever no polygon crosses another part;
// near one that does, a kept polygon may lie inside by part of it, and the depth is then too
// small by at most that polygon's size (its inside part reaches the true boundary within the
// polygon), only within that distance of the curves where parts cross. One gap: an edge lying in
// the plane is tested at its ends and middle only, so a part resting on a face in its very plane
// that cuts across a corner of it may leave that face out; the depth is then too large there by
// at most the face's size, its neighbours being measured.
//
// A polygon with no plane never changes the winding and is kept, as on a mesh of parts that do
// not overlap every polygon is: the measured set, and every distance, are then today's to the bit.
//
// What is decided depends only on how the polygons lie to one another, and on the ray's direction
// through them: an invertible affine map of the whole mesh keeps every crossing and every winding's
// being 0 (a mirror turns its sign). A later build of the same polygon list whose corners are such
// an image of the decided ones (shape_frame.h) keeps the decision: a target moved, turned or
// scaled as a whole costs no search. The map must keep the ray's direction unless the mesh is
// closed with its fronts agreeing, where the winding is the same whichever way a ray leaves. The
// shape is matched to 2^-18 of the largest coordinate, far above the float positions' rounding;
// a change of shape below that can change a decision only where parts touch or cross that closely,
// where the decision made afresh would be as near a toss-up.
#ifndef OSTREVIN_TEXTURE_TARGET_FILLED_BOUNDARY_H
#define OSTREVIN_TEXTURE_TARGET_FILLED_BOUNDARY_H

#include <stddef.h>

#include "texture/geometry/box_grid.h"
#include "texture/geometry/shape_frame.h"

namespace ostrevin {

class MeshCache;
struct BoundaryPlane;

class FilledBoundary {
public:
    FilledBoundary() noexcept = default;
    ~FilledBoundary();
    FilledBoundary(const FilledBoundary &) = delete;
    FilledBoundary &operator=(const FilledBoundary &) = delete;

    // Decides every record of the cache, its windings along `axis` (0, 1 or 2): kept[i] is 1 for
    // a boundary polygon, 0 for one left out. The count left out; 0 when none is, or when storage
    // is missing (every polygon then counts, as under Even-Odd). The last decision stands when the
    // cache holds the same list and shape, moved as a whole (above).
    int decide(const MeshCache &cache, int axis) noexcept;
    // Whether the last decide() kept the decision before it. For tests and the bench.
    bool reusedLast() const noexcept { return reused; }

    unsigned char *kept = nullptr;

private:
    // The decision itself; -1 when storage is missing.
    int decideAfresh(const MeshCache &cache, int axis) noexcept;

    // The last decision, and the list, shape and axis it was made for; no decision is held while
    // `decidedLeft` is negative.
    ShapeFrame shape;
    int decidedLeft = -1;
    unsigned int decidedList = 0;
    int decidedAxis = -1;
    bool reused = false;

    size_t held = 0;
    // The polygons filled on both sides, and what the search for those crossing them needs.
    int *candidates = nullptr;
    size_t candidatesHeld = 0;
    const Bounds **candidateBoxes = nullptr;
    size_t boxesHeld = 0;
    BoundaryPlane *planes = nullptr;
    size_t planesHeld = 0;
    unsigned char *crossed = nullptr;
    size_t crossedHeld = 0;
    BoxGrid near;
};

} // namespace ostrevin

#endif
