// A reader for the first LightWave object format (FORM LWOB), used instead of Assimp's, which
// turns every such file down: points and polygons (detail polygons included), one object.
#ifndef OSTREVIN_TOOLS_RENDER_LWOB_READER_H
#define OSTREVIN_TOOLS_RENDER_LWOB_READER_H

#include <string>

#include "tools/ostrevin-render/scene_import.h"

namespace render {

bool isLwob(const std::string &bytes);

// The object is named after the file; z is negated, as Assimp does for LightWave's left-handed
// axes. Throws RenderError naming `source` when the data is malformed or has no polygons.
ImportedScene readLwob(const std::string &bytes, const std::string &name, const std::string &source);

} // namespace render

#endif
