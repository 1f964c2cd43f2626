// Arbitrary bytes into the render tool's LWOB reader, as they are and inside a FORM LWOB header:
// a damaged object is one RenderError, and what is accepted has only polygons of three or more
// points in range. The mesh report runs over what it read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/lwob_reader.h"
#include "tools/ostrevin-render/mesh_report.h"

namespace {

void check(const std::string &bytes)
{
    try {
        const render::ImportedScene scene = render::readLwob(bytes, "fuzz", "fuzz.lwo");
        if (scene.objects.size() != 1)
            __builtin_trap();
        const render::ImportedObject &o = scene.objects[0];
        for (const std::vector<int> &polygon : o.polygons) {
            if (polygon.size() < 3)
                __builtin_trap();
            for (int i : polygon)
                if (i < 0 || static_cast<std::size_t>(i) >= o.points.size())
                    __builtin_trap();
        }
        const render::MeshReport report = render::reportMesh(o.points, o.polygons);
        if (report.points > o.points.size() || report.polygons != o.polygons.size())
            __builtin_trap();
    } catch (const render::RenderError &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    check(bytes);
    // Most inputs lack the header; the chunks inside one are where the reading happens.
    const std::size_t formSize = bytes.size() + 4;
    std::string wrapped = "FORM";
    for (int shift = 24; shift >= 0; shift -= 8)
        wrapped += static_cast<char>(formSize >> shift & 0xff);
    check(wrapped + "LWOB" + bytes);
    return 0;
}
