#include "bench/lwo_reader.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace bench {

namespace {

// Big-endian cursor over a byte range; every read checks what remains first.
class Reader {
public:
    Reader(const unsigned char *begin, const unsigned char *end) : at(begin), end(end) {}

    std::size_t remaining() const { return static_cast<std::size_t>(end - at); }
    const unsigned char *position() const { return at; }
    bool skip(std::size_t n)
    {
        if (n > remaining())
            return false;
        at += n;
        return true;
    }
    bool u2(std::uint32_t &value)
    {
        if (remaining() < 2)
            return false;
        value = static_cast<std::uint32_t>(at[0]) << 8 | at[1];
        at += 2;
        return true;
    }
    bool u4(std::uint32_t &value)
    {
        if (remaining() < 4)
            return false;
        value = static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
                static_cast<std::uint32_t>(at[2]) << 8 | at[3];
        at += 4;
        return true;
    }
    bool f4(float &value)
    {
        std::uint32_t bits = 0;
        if (!u4(bits))
            return false;
        std::memcpy(&value, &bits, sizeof value);
        return true;
    }
    bool id(char out[4])
    {
        if (remaining() < 4)
            return false;
        std::memcpy(out, at, 4);
        at += 4;
        return true;
    }
    // LWO2's variable-length index: two bytes, or four when the first byte is 0xFF.
    bool vx(std::uint32_t &value)
    {
        if (remaining() >= 1 && at[0] == 0xFF) {
            if (!u4(value))
                return false;
            value &= 0x00FFFFFFu;
            return true;
        }
        return u2(value);
    }

private:
    const unsigned char *at;
    const unsigned char *end;
};

bool readPoints(Reader chunk, standin::SceneObject &object)
{
    while (chunk.remaining() >= 12) {
        standin::Point3 p{};
        if (!chunk.f4(p[0]) || !chunk.f4(p[1]) || !chunk.f4(p[2]))
            return false;
        object.points.push_back(p);
    }
    return chunk.remaining() == 0;
}

// Indices are relative to the points of the layer they belong to.
bool readPolygons(Reader chunk, bool lwo2, std::size_t layerBase, standin::SceneObject &object)
{
    if (lwo2) {
        char type[4];
        if (!chunk.id(type))
            return false;
        if (std::memcmp(type, "FACE", 4) != 0 && std::memcmp(type, "PTCH", 4) != 0 &&
            std::memcmp(type, "SUBD", 4) != 0)
            return true;   // bones, curves and the like are no surfaces
    }
    while (chunk.remaining() > 0) {
        std::uint32_t count = 0;
        if (!chunk.u2(count))
            return false;
        if (lwo2)
            count &= 0x03FFu;   // the top six bits are flags
        std::vector<int> indices;
        indices.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t index = 0;
            if (!(lwo2 ? chunk.vx(index) : chunk.u2(index)))
                return false;
            const std::size_t global = layerBase + index;
            if (global >= object.points.size())
                return false;
            indices.push_back(static_cast<int>(global));
        }
        if (!lwo2) {
            // LWOB: a surface number follows; a negative one announces detail polygons, which
            // are stored right after as ordinary polygons.
            std::uint32_t surface = 0;
            if (!chunk.u2(surface))
                return false;
            std::uint32_t details = 0;
            if ((surface & 0x8000u) && !chunk.u2(details))
                return false;
        }
        object.addPolygon(std::move(indices));
    }
    return true;
}

} // namespace

bool readLwo(const std::string &path, standin::SceneObject &object, std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Reader whole(bytes.data(), bytes.data() + bytes.size());

    char form[4], kind[4];
    std::uint32_t formSize = 0;
    if (!whole.id(form) || !whole.u4(formSize) || !whole.id(kind) || std::memcmp(form, "FORM", 4) != 0) {
        error = path + " is not an IFF file";
        return false;
    }
    const bool lwo2 = std::memcmp(kind, "LWO2", 4) == 0;
    if (!lwo2 && std::memcmp(kind, "LWOB", 4) != 0) {
        error = path + " is neither LWO2 nor LWOB";
        return false;
    }

    object.points.clear();
    object.polygons.clear();
    std::size_t layerBase = 0;
    while (whole.remaining() >= 8) {
        char chunkId[4];
        std::uint32_t size = 0;
        whole.id(chunkId);
        whole.u4(size);
        if (size > whole.remaining()) {
            error = path + ": chunk runs past the end of the file";
            return false;
        }
        const Reader chunk(whole.position(), whole.position() + size);
        if (std::memcmp(chunkId, "PNTS", 4) == 0) {
            layerBase = object.points.size();
            if (!readPoints(chunk, object)) {
                error = path + ": bad PNTS chunk";
                return false;
            }
        } else if (std::memcmp(chunkId, "POLS", 4) == 0) {
            if (!readPolygons(chunk, lwo2, layerBase, object)) {
                error = path + ": bad POLS chunk";
                return false;
            }
        }
        whole.skip(size + (size & 1u));   // chunks are padded to an even length
    }
    if (object.polygons.empty()) {
        error = path + " has no polygons";
        return false;
    }
    return true;
}

} // namespace bench
