#include "tools/ostrevin-render/lwob_reader.h"

#include <cstdint>
#include <cstring>

#include "tools/ostrevin-render/errors.h"

namespace render {

namespace {

class Reader {
public:
    Reader(const std::string &b, std::size_t begin, std::size_t end) : bytes(b), pos(begin), stop(end) {}
    bool left(std::size_t n) const { return stop - pos >= n; }
    std::uint32_t u2()
    {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data() + pos);
        pos += 2;
        return static_cast<std::uint32_t>(p[0] << 8 | p[1]);
    }
    std::uint32_t u4()
    {
        const std::uint32_t hi = u2();
        return hi << 16 | u2();
    }
    float f4()
    {
        const std::uint32_t bits = u4();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

private:
    const std::string &bytes;
    std::size_t pos, stop;
};

} // namespace

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
    std::vector<std::vector<int>> raw;
    std::size_t at = 12;
    while (bytes.size() - at >= 8) {
        const std::string id = bytes.substr(at, 4);
        Reader header(bytes, at + 4, at + 8);
        const std::uint32_t size = header.u4();
        const std::size_t begin = at + 8;
        if (size > bytes.size() - begin)
            throw RenderError(source + ": chunk " + id + " runs past the end of the file");
        Reader chunk(bytes, begin, begin + size);
        if (id == "PNTS") {
            while (chunk.left(12)) {
                const float x = chunk.f4(), y = chunk.f4(), z = chunk.f4();
                object.points.push_back({x, y, -z});
            }
        } else if (id == "POLS") {
            // Detail polygons follow their polygon as ordinary records, after a count.
            while (chunk.left(2)) {
                const std::uint32_t n = chunk.u2();
                if (!chunk.left(2 * std::size_t{n} + 2))
                    throw RenderError(source + ": a polygon runs past the end of its chunk");
                std::vector<int> polygon;
                for (std::uint32_t k = 0; k < n; ++k)
                    polygon.push_back(static_cast<int>(chunk.u2()));
                const auto surface = static_cast<std::int16_t>(chunk.u2());
                if (surface < 0 && chunk.left(2))
                    chunk.u2();
                if (polygon.size() >= 3)
                    raw.push_back(std::move(polygon));
            }
        }
        at = begin + size + (size & 1u);
        if (at > bytes.size())
            break;
    }
    for (std::vector<int> &polygon : raw) {
        bool valid = true;
        for (int i : polygon)
            valid = valid && static_cast<std::size_t>(i) < object.points.size();
        if (valid)
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
