#include "texture/geometry/box_grid.h"

#include <cmath>

#include "framework/growing_buffer.h"
#include "texture/geometry/quantiser.h"

namespace ostrevin {

namespace {

// Cells along each axis: about one per box, and never so many that the offsets outgrow memory.
constexpr uint32_t mostSteps = 64;
// Entries allowed per box before the grid is made coarser (a box covers up to 8 cells at the
// finest grid when it is a cell wide; more means large boxes).
constexpr size_t entriesPerBox = 16;

} // namespace

BoxGrid::~BoxGrid()
{
    delete[] cellStart;
    delete[] entries;
    delete[] visited;
}

void BoxGrid::cellRange(const Bounds &box, double grow, uint32_t first[3], uint32_t last[3]) const noexcept
{
    for (int c = 0; c < 3; ++c) {
        first[c] = quantise(box.low[c] - grow, grid.low[c], scale[c], steps);
        last[c] = quantise(box.high[c] + grow, grid.low[c], scale[c], steps);
        if (last[c] < first[c])   // a NaN side
            last[c] = first[c];
    }
}

size_t BoxGrid::entriesAt(const Bounds *const *boxes, int count, double grow) const noexcept
{
    size_t total = 0;
    for (int b = 0; b < count; ++b) {
        uint32_t first[3], last[3];
        cellRange(*boxes[b], grow, first, last);
        total += static_cast<size_t>(last[0] - first[0] + 1) * (last[1] - first[1] + 1) * (last[2] - first[2] + 1);
    }
    return total;
}

bool BoxGrid::build(const Bounds *const *boxes, int count, const Bounds &over, double grow) noexcept
{
    boxCount = 0;
    steps = 0;
    if (count <= 0)
        return true;
    grid = over;
    uint32_t want = static_cast<uint32_t>(std::cbrt(static_cast<double>(count))) + 1;
    want = want < mostSteps ? want : mostSteps;
    for (;; want = (want + 1) / 2) {
        steps = want;
        for (int c = 0; c < 3; ++c) {
            const double extent = grid.high[c] - grid.low[c];
            scale[c] = extent > 0.0 && std::isfinite(extent) ? steps / extent : 0.0;
        }
        if (steps == 1 || entriesAt(boxes, count, grow) <= entriesPerBox * static_cast<size_t>(count))
            break;
    }
    const size_t cells = static_cast<size_t>(steps) * steps * steps;
    const size_t total = entriesAt(boxes, count, grow);
    if (!growOrFail(cellStart, cellStartHeld, cells + 1) || !growOrFail(entries, entriesHeld, total) ||
        !growOrFail(visited, visitedHeld, static_cast<size_t>(count))) {
        steps = 0;
        return false;
    }
    for (size_t i = 0; i <= cells; ++i)
        cellStart[i] = 0;
    // Counted into the cell after each, summed, then placed: cellStart[i] is the cell's first entry.
    for (int pass = 0; pass < 2; ++pass) {
        for (int b = 0; b < count; ++b) {
            uint32_t first[3], last[3];
            cellRange(*boxes[b], grow, first, last);
            for (uint32_t z = first[2]; z <= last[2]; ++z)
                for (uint32_t y = first[1]; y <= last[1]; ++y)
                    for (uint32_t x = first[0]; x <= last[0]; ++x) {
                        const size_t cell = (static_cast<size_t>(z) * steps + y) * steps + x;
                        if (pass == 0)
                            ++cellStart[cell + 1];
                        else
                            entries[cellStart[cell]++] = b;
                    }
        }
        if (pass == 0)
            for (size_t i = 0; i < cells; ++i)
                cellStart[i + 1] += cellStart[i];
    }
    // Placing moved each start to the next cell's; step them back.
    for (size_t i = cells; i > 0; --i)
        cellStart[i] = cellStart[i - 1];
    cellStart[0] = 0;
    for (int b = 0; b < count; ++b)
        visited[b] = 0;
    question = 0;
    boxCount = count;
    return true;
}

void BoxGrid::visitNear(const Bounds &box, void (*visit)(void *data, int box), void *data) noexcept
{
    if (steps == 0 || boxCount == 0)
        return;
    if (++question == 0) {   // wrapped: no box may look visited already
        for (int b = 0; b < boxCount; ++b)
            visited[b] = 0;
        question = 1;
    }
    uint32_t first[3], last[3];
    cellRange(box, 0.0, first, last);
    for (uint32_t z = first[2]; z <= last[2]; ++z)
        for (uint32_t y = first[1]; y <= last[1]; ++y)
            for (uint32_t x = first[0]; x <= last[0]; ++x) {
                const size_t cell = (static_cast<size_t>(z) * steps + y) * steps + x;
                for (size_t e = cellStart[cell]; e < cellStart[cell + 1]; ++e) {
                    const int b = entries[e];
                    if (visited[b] == question)
                        continue;
                    visited[b] = question;
                    visit(data, b);
                }
            }
}

} // namespace ostrevin
