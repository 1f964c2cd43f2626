#include "tools/ostrevin-render/lwob_reader.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "host/big_endian_reader.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/object_errors.h"

namespace render {

bool isLwob(const std::string &bytes)
{
    return bytes.size() >= 12 && bytes.compare(0, 4, "FORM") == 0 && bytes.compare(8, 4, "LWOB") == 0;
}

ImportedScene readLwob(const std::string &bytes, const std::string &name, const std::string &source)
{
    if (!isLwob(bytes))
        throw RenderError(source + " is not an LWOB object");
    ImportedObject object;
    object.name = name.empty() ? "object 1" : name;
    object.file = source;
    // Each polygon with its record number in the file, for messages.
    std::vector<std::pair<std::size_t, std::vector<int>>> raw;
    std::size_t records = 0;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    std::size_t at = 12;
    while (bytes.size() - at >= 8) {
        const std::string id = bytes.substr(at, 4);
        std::uint32_t size = 0;
        standin::BigEndianReader(data + at + 4, data + at + 8).u4(size);
        const std::size_t begin = at + 8;
        if (size > bytes.size() - begin)
            throw RenderError(source + ": chunk " + id + " runs past the end of the file");
        standin::BigEndianReader chunk(data + begin, data + begin + size);
        if (id == "PNTS") {
            while (chunk.remaining() >= 12) {
                float x = 0, y = 0, z = 0;
                chunk.f4(x);
                chunk.f4(y);
                chunk.f4(z);
                for (const float c : {x, y, z})
                    if (!std::isfinite(c))
                        throw nonFinitePoint(source, object.points.size(), c);
                object.points.push_back({x, y, -z});
            }
        } else if (id == "POLS") {
            // Detail polygons follow their polygon as ordinary records, after a count.
            std::uint32_t n = 0;
            while (chunk.u2(n)) {
                if (chunk.remaining() < 2 * std::size_t{n} + 2)
                    throw RenderError(source + ": a polygon runs past the end of its chunk");
                std::vector<int> polygon;
                for (std::uint32_t k = 0, index = 0; k < n && chunk.u2(index); ++k)
                    polygon.push_back(static_cast<int>(index));
                std::uint32_t surface = 0;
                chunk.u2(surface);
                if (static_cast<std::int16_t>(surface) < 0)
                    chunk.skip(2);
                if (polygon.size() >= 3)
                    raw.emplace_back(records, std::move(polygon));
                ++records;
            }
        }
        at = begin + size + (size & 1u);
        if (at > bytes.size())
            break;
    }
    // An index past the points is damage, not a polygon to drop: the object would render with a hole.
    for (auto &[record, polygon] : raw) {
        for (int i : polygon)
            if (static_cast<std::size_t>(i) >= object.points.size())
                throw pointPastEnd(source, record, static_cast<std::size_t>(i), object.points.size());
        object.polygons.push_back(std::move(polygon));
    }
    if (object.polygons.empty())
        throw RenderError(source + " has no polygons");
    ImportedScene scene;
    scene.source = source;
    scene.objects.push_back(std::move(object));
    return scene;
}

} // namespace render
