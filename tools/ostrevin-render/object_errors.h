// The errors an object file's damaged data ends with, in one form for every reader.
#ifndef OSTREVIN_TOOLS_RENDER_OBJECT_ERRORS_H
#define OSTREVIN_TOOLS_RENDER_OBJECT_ERRORS_H

#include <cstddef>
#include <string>

#include "tools/ostrevin-render/errors.h"

namespace render {

// Damaged data the host would hand the texture as it is: "FILE: point 3 has a coordinate that is
// not a finite number (nan)", the point counted from 0 in the object's order.
RenderError nonFinitePoint(const std::string &file, std::size_t point, float value);
// "FILE: polygon 4 uses point 9, past the object's 8 points", both counted from 0 in the file.
RenderError pointPastEnd(const std::string &file, std::size_t polygon, std::size_t point, std::size_t points);

} // namespace render

#endif
