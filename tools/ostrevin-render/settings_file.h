// The texture layer's settings as the module saves them to a file in the scene-file form: each
// line of the module's own stream as a record, a hexadecimal length line (the text and its NUL)
// and then the text, ending with "End All". Read here before the module sees the bytes, so that a
// file that is not one (empty, cut short, another kind of file) is refused by name instead of
// loading as partial settings.
#ifndef OSTREVIN_TOOLS_RENDER_SETTINGS_FILE_H
#define OSTREVIN_TOOLS_RENDER_SETTINGS_FILE_H

#include <string>
#include <utility>
#include <vector>

namespace render {

struct SavedSettings {
    std::string bytes;        // the file as it is, for the module's own load
    int itemID = 0;           // the target's ID in the scene it was saved from
    std::string itemName;     // and its name there
    int flip = 0;             // the In / Out choice: nonzero is Out
    std::vector<std::pair<std::string, std::string>> entries;   // every "key : value", in order
    std::vector<std::string> changes;   // what the module's load made of it otherwise (settingsChanges)
};

// Throws RenderError naming `source` and what is wrong.
SavedSettings parseSettings(const std::string &bytes, const std::string &source);

// What the module holds once it has loaded a file, as its panel shows it, and the data version
// its own saves carry.
struct LoadedSettings {
    int flip = 0;
    int fillRule = 0;
    int children = 0;
    double softEdge = 0.0;
    double version = 0.0;
};

// The module's load clamps what it cannot use, as the host would have it; a pre-flight check
// says so. One warning, naming `source`, for each value the load held otherwise (a fill rule
// out of range, a width that is no number), a version newer than the module's, each key the
// module does not read, and each key given again (the last one counts).
std::vector<std::string> settingsChanges(const SavedSettings &file, const LoadedSettings &loaded,
                                         const std::string &source);
// Reads the file first; a missing file, a directory or one too large to be settings is refused.
SavedSettings readSettingsFile(const std::string &path);

} // namespace render

#endif
