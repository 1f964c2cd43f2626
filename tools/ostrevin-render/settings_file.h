// The texture layer's settings as the module saves them to a file in the scene-file form: each
// line of the module's own stream as a record, a hexadecimal length line (the text and its NUL)
// and then the text, ending with "End All". Read here before the module sees the bytes, so that a
// file that is not one (empty, cut short, another kind of file) is refused by name instead of
// loading as partial settings.
#ifndef OSTREVIN_TOOLS_RENDER_SETTINGS_FILE_H
#define OSTREVIN_TOOLS_RENDER_SETTINGS_FILE_H

#include <string>

namespace render {

struct SavedSettings {
    std::string bytes;        // the file as it is, for the module's own load
    int itemID = 0;           // the target's ID in the scene it was saved from
    std::string itemName;     // and its name there
    int flip = 0;             // the In / Out choice: nonzero is Out
};

// Throws RenderError naming `source` and what is wrong.
SavedSettings parseSettings(const std::string &bytes, const std::string &source);
// Reads the file first; a missing file, a directory or one too large to be settings is refused.
SavedSettings readSettingsFile(const std::string &path);

} // namespace render

#endif
