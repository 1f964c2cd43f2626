// PNG output through libpng.
#ifndef OSTREVIN_TOOLS_RENDER_PNG_WRITER_H
#define OSTREVIN_TOOLS_RENDER_PNG_WRITER_H

#include <string>

#include "tools/ostrevin-render/image.h"

namespace render {

// Writes an 8-bit RGB PNG; throws RenderError naming the file when it cannot.
void writePng(const std::string &path, const Image &image);

} // namespace render

#endif
