// Arbitrary bytes into the render tool's settings-file reader: anything that is not a complete
// settings file is one RenderError; what it accepts ends with its "End All" record.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    try {
        const render::SavedSettings saved = render::parseSettings(bytes, "fuzz.txt");
        // The last record is "End All" (its length line however the file writes the number),
        // with at most a newline after it.
        const std::string end = "\nEnd All";
        const std::size_t last = bytes.rfind(end);
        if (saved.bytes != bytes || last == std::string::npos || bytes.size() - last - end.size() > 1 ||
            (bytes.size() - last - end.size() == 1 && bytes.back() != '\n'))
            __builtin_trap();
    } catch (const render::RenderError &) {
    }
    return 0;
}
