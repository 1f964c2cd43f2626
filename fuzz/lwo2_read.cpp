// Arbitrary bytes into the render tool's LWO2 reader, as they are and inside a FORM LWO2 header:
// a damaged object is one RenderError; what is accepted has polygons of three or more points in
// range and surface indices inside the object's surfaces, and each surface layer's saved data
// is either refused by name or read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/lwo2_reader.h"
#include "tools/ostrevin-render/object_settings.h"

namespace {

void check(const std::string &bytes)
{
    try {
        const render::Lwo2Object object = render::readLwo2(bytes, "fuzz.lwo");
        for (const render::Lwo2Layer &layer : object.layers) {
            const render::ImportedObject &o = layer.object;
            for (const std::vector<int> &polygon : o.polygons) {
                if (polygon.size() < 3)
                    __builtin_trap();
                for (int i : polygon)
                    if (i < 0 || static_cast<std::size_t>(i) >= o.points.size())
                        __builtin_trap();
            }
            if (!o.polygonSurfaces.empty() && o.polygonSurfaces.size() != o.polygons.size())
                __builtin_trap();
            for (const render::SurfaceLayers &surface : o.surfaces)
                for (const render::ProceduralLayer &l : surface.layers) {
                    if (l.axis < 0 || l.axis > 2)
                        __builtin_trap();
                    try {
                        render::parseObjectSettings(l.data, "layer");
                    } catch (const render::RenderError &) {
                    }
                }
        }
    } catch (const render::RenderError &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    check(bytes);
    const std::size_t formSize = bytes.size() + 4;
    std::string wrapped = "FORM";
    for (int shift = 24; shift >= 0; shift -= 8)
        wrapped += static_cast<char>(formSize >> shift & 0xff);
    check(wrapped + "LWO2" + bytes);
    return 0;
}
