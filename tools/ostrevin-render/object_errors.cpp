#include "tools/ostrevin-render/object_errors.h"

#include <cmath>

namespace render {

RenderError pointPastEnd(const std::string &file, std::size_t polygon, std::size_t point, std::size_t points)
{
    return RenderError(file + ": polygon " + std::to_string(polygon) + " uses point " + std::to_string(point) +
                       ", past the object's " + std::to_string(points) + (points == 1 ? " point" : " points"));
}

RenderError nonFinitePoint(const std::string &file, std::size_t point, float value)
{
    const char *text = std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
    return RenderError(file + ": point " + std::to_string(point) + " has a coordinate that is not a finite number (" +
                       text + ")");
}

} // namespace render
