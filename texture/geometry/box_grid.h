// A uniform grid over a few boxes, to find those that may meet another box: each box is listed in
// every cell its extent covers, and a question visits the boxes of the cells the asked box covers,
// each once. Built when needed and thrown away; it holds its buffers from one build to the next.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_BOX_GRID_H
#define OSTREVIN_TEXTURE_GEOMETRY_BOX_GRID_H

#include <stddef.h>
#include <stdint.h>

#include "texture/geometry/bounds.h"

namespace ostrevin {

class BoxGrid {
public:
    BoxGrid() noexcept = default;
    ~BoxGrid();
    BoxGrid(const BoxGrid &) = delete;
    BoxGrid &operator=(const BoxGrid &) = delete;

    // Lists boxes[0..count) (each grown by `grow` on every side) over a grid covering `over`. About
    // one cell per box, fewer where large boxes would be listed too often. False when storage
    // cannot be had; the grid then finds nothing.
    bool build(const Bounds *const *boxes, int count, const Bounds &over, double grow) noexcept;

    // Calls visit(data, box) once for every listed box whose cells meet the cells of `box`: every
    // box that meets it, and some that only come near.
    void visitNear(const Bounds &box, void (*visit)(void *data, int box), void *data) noexcept;

private:
    void cellRange(const Bounds &box, double grow, uint32_t first[3], uint32_t last[3]) const noexcept;
    size_t entriesAt(const Bounds *const *boxes, int count, double grow) const noexcept;

    Bounds grid;
    double scale[3] = {0.0, 0.0, 0.0};
    uint32_t steps = 0;   // cells along each axis
    size_t *cellStart = nullptr;   // steps^3 + 1 offsets into entries
    size_t cellStartHeld = 0;
    int *entries = nullptr;
    size_t entriesHeld = 0;
    uint32_t *visited = nullptr;     // the question a box was last visited for
    size_t visitedHeld = 0;
    uint32_t question = 0;
    int boxCount = 0;
};

} // namespace ostrevin

#endif
