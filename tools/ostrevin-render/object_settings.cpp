#include "tools/ostrevin-render/object_settings.h"

#include <cstdio>

#include "tools/ostrevin-render/errors.h"

namespace render {

SavedSettings parseObjectSettings(const std::string &bytes, const std::string &source)
{
    // The same records in the scene-file form, whose reader checks every line.
    std::string text;
    for (std::size_t at = 0; at < bytes.size();) {
        if (bytes.size() - at < 2)
            throw RenderError(source + " is cut short inside a record's count");
        const std::size_t count = static_cast<unsigned char>(bytes[at]) << 8 | static_cast<unsigned char>(bytes[at + 1]);
        at += 2;
        if (count < 1 || count > bytes.size() - at)
            throw RenderError(source + " holds a record of " + std::to_string(count) + " bytes where " +
                              std::to_string(bytes.size() - at) + " are left");
        if (bytes[at + count - 1] != '\0')
            throw RenderError(source + " holds a record that does not end in a NUL");
        char length[16];
        std::snprintf(length, sizeof length, "%zx\n", count);
        text += length;
        text.append(bytes, at, count - 1);
        text += '\n';
        at += count;
    }
    SavedSettings saved = parseSettings(text, source);
    saved.bytes = bytes;
    return saved;
}

} // namespace render
