// The texture layer's settings as an object file keeps them: each line of the module's stream as
// a two-byte big-endian count (the text and its NUL) and then those bytes. Checked here, before
// the module sees them, so that damaged data is left out by name rather than loaded in part.
#ifndef OSTREVIN_TOOLS_RENDER_OBJECT_SETTINGS_H
#define OSTREVIN_TOOLS_RENDER_OBJECT_SETTINGS_H

#include <string>

#include "tools/ostrevin-render/settings_file.h"

namespace render {

// Throws RenderError naming `source` and what is wrong; `bytes` is kept as given.
SavedSettings parseObjectSettings(const std::string &bytes, const std::string &source);

} // namespace render

#endif
