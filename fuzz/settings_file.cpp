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
        const std::string end = "\n8\nEnd All";
        const std::size_t last = bytes.rfind(end);
        if (saved.bytes != bytes || last == std::string::npos || bytes.size() - last - end.size() > 1)
            __builtin_trap();
    } catch (const render::RenderError &) {
    }
    return 0;
}
