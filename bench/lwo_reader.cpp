#include "bench/lwo_reader.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/big_endian_reader.h"

namespace bench {

namespace {

using Reader = standin::BigEndianReader;

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
