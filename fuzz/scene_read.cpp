// Arbitrary text into the render tool's scene reader: a damaged scene is one RenderError, and
// every item of a scene it accepts can be placed at any time, keys and behaviours whatever they
// are, without hanging.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/lws_scene.h"

namespace {

void check(const std::string &text)
{
    try {
        const render::LwsScene scene = render::parseLws(text, "fuzz.lws");
        for (std::size_t i = 0; i < scene.items.size(); ++i) {
            const render::LwsItem &item = scene.items[i];
            if (item.parent >= static_cast<int>(scene.items.size()))
                __builtin_trap();
            for (double t : {-1e9, -2.5, 0.0, 0.37, 1.0, 7.25, 1e9})
                (void)scene.placement(i, t);
        }
        (void)scene.firstKey();
        (void)scene.lastKey();
    } catch (const render::RenderError &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    check(bytes);
    // Most inputs lack the header; give the rest of the reader a turn at them too.
    check("LWSC\n5\n" + bytes);
    check("LWSC\n1\n" + bytes);
    return 0;
}
