#include "tools/ostrevin-render/lwo2_reader.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>

#include "host/big_endian_reader.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/object_errors.h"
#include "tools/ostrevin-render/object_names.h"
#include "tools/ostrevin-render/surface_layers.h"

namespace render {

namespace {

using standin::BigEndianReader;

std::string nameAt(BigEndianReader &in)
{
    const unsigned char *start = in.position();
    std::size_t n = 0;
    while (n < in.remaining() && start[n] != 0)
        ++n;
    std::string out(reinterpret_cast<const char *>(start), n);
    in.skip(std::min(in.remaining(), (n + 2) & ~std::size_t{1}));
    return out;
}

class Reader {
public:
    Reader(const std::string &b, const std::string &s, int only) : bytes(b), source(s), onlyLayer(only) {}

    Lwo2Object run()
    {
        if (!isLwo2(bytes))
            throw RenderError(source + " is not an LWO2 object");
        const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
        std::size_t at = 12;
        while (bytes.size() - at >= 8) {
            char id[5] = {0, 0, 0, 0, 0};
            std::memcpy(id, data + at, 4);
            std::uint32_t size = 0;
            BigEndianReader(data + at + 4, data + at + 8).u4(size);
            const std::size_t begin = at + 8;
            if (size > bytes.size() - begin)
                throw RenderError(source + ": chunk " + id + " runs past the end of the file");
            chunk(id, BigEndianReader(data + begin, data + begin + size));
            at = begin + size + (size & 1u);
            if (at > bytes.size())
                break;
        }
        attachSurfaces();
        return std::move(out);
    }

private:
    bool keeping() const { return current && (onlyLayer < 0 || current->number == onlyLayer); }

    void chunk(const std::string &id, BigEndianReader in)
    {
        if (id == "TAGS") {
            while (in.remaining() > 0)
                tags.push_back(nameAt(in));
        } else if (id == "LAYR") {
            layer(in);
        } else if (id == "PNTS") {
            if (!current)
                layer(BigEndianReader(nullptr, nullptr));   // files without LAYR hold one layer 0
            if (keeping())
                points(in);
        } else if (id == "POLS" && keeping()) {
            polygons(in);
        } else if (id == "PTAG" && keeping()) {
            polygonTags(in);
        } else if (id == "SURF") {
            surfaces.push_back(readSurface(in.position(), in.remaining()));
        }
    }

    void layer(BigEndianReader in)
    {
        Lwo2Layer l;
        std::uint32_t number = static_cast<std::uint32_t>(out.layers.size()), flags = 0;
        if (in.u2(number) && in.u2(flags)) {
            for (double &c : l.pivot) {
                float f = 0;
                in.f4(f);
                c = std::isfinite(f) ? f : 0.0;
            }
            l.name = nameAt(in);
            std::uint32_t parent = 0;
            if (in.u2(parent) && parent != 0xFFFFu)
                l.parent = static_cast<int>(parent);
        }
        l.number = static_cast<int>(number);
        out.layers.push_back(std::move(l));
        current = &out.layers.back();
        pointBase = 0;
        polygonIndex.clear();   // a tag chunk names the polygons of its own layer's last POLS
    }

    void points(BigEndianReader &in)
    {
        std::vector<standin::Point3> &pts = current->object.points;
        pointBase = pts.size();
        pts.reserve(pts.size() + in.remaining() / 12);
        while (in.remaining() >= 12) {
            float x = 0, y = 0, z = 0;
            in.f4(x);
            in.f4(y);
            in.f4(z);
            for (const float c : {x, y, z})
                if (!std::isfinite(c))
                    throw nonFinitePoint(source, pts.size(), c);
            pts.push_back({x, y, -z});
        }
    }

    void polygons(BigEndianReader &in)
    {
        char type[4];
        if (!in.id(type))
            return;
        // Faces and subdivision cages bound volumes; curves, bones and the rest do not.
        const bool faces = std::memcmp(type, "FACE", 4) == 0 || std::memcmp(type, "PTCH", 4) == 0 ||
                           std::memcmp(type, "SUBD", 4) == 0;
        ImportedObject &o = current->object;
        const std::size_t count = o.points.size();
        polygonIndex.clear();
        std::uint32_t header = 0;
        std::size_t index = 0;
        while (in.u2(header)) {
            const std::uint32_t n = header & 0x03FFu;
            std::vector<int> polygon;
            polygon.reserve(n);
            for (std::uint32_t k = 0; k < n; ++k) {
                std::uint32_t v = 0;
                if (!in.vx(v))
                    throw RenderError(source + ": polygon " + std::to_string(index) + " runs past the end of its chunk");
                if (pointBase + v >= count)
                    throw pointPastEnd(source, index, v, count - pointBase);
                polygon.push_back(static_cast<int>(pointBase + v));
            }
            // Every record keeps its place, so that the polygon tags' indices still match.
            polygonIndex.push_back(faces && polygon.size() >= 3 ? static_cast<long>(o.polygons.size()) : -1);
            if (faces && polygon.size() >= 3)
                o.polygons.push_back(std::move(polygon));
            ++index;
        }
        o.polygons.shrink_to_fit();
        // Polygons after an earlier tag chunk carry no surface until a tag chunk names them.
        if (!o.polygonSurfaces.empty())
            o.polygonSurfaces.resize(o.polygons.size(), 0xFFFFu);
    }

    void polygonTags(BigEndianReader &in)
    {
        char type[4];
        if (!in.id(type) || std::memcmp(type, "SURF", 4) != 0)
            return;
        ImportedObject &o = current->object;
        o.polygonSurfaces.resize(o.polygons.size(), 0xFFFFu);
        std::uint32_t polygon = 0, tag = 0;
        while (in.vx(polygon) && in.u2(tag))
            if (polygon < polygonIndex.size() && polygonIndex[polygon] >= 0 &&
                static_cast<std::size_t>(polygonIndex[polygon]) < o.polygonSurfaces.size())
                o.polygonSurfaces[static_cast<std::size_t>(polygonIndex[polygon])] = static_cast<std::uint16_t>(tag);
    }

    // Each polygon names a tag; the surface of that name holds the layers.
    void attachSurfaces()
    {
        std::set<std::string> warned;
        for (Lwo2Layer &l : out.layers) {
            ImportedObject &o = l.object;
            if (o.polygonSurfaces.empty())
                continue;
            std::set<std::uint16_t> used(o.polygonSurfaces.begin(), o.polygonSurfaces.end());
            o.surfaces.resize(tags.size());
            for (std::size_t t = 0; t < tags.size(); ++t) {
                o.surfaces[t].surface = tags[t];
                for (const SurfaceLayers &s : surfaces)
                    if (s.surface == tags[t] && used.count(static_cast<std::uint16_t>(t))) {
                        o.surfaces[t].layers = s.layers;
                        for (const std::string &p : s.problems)
                            if (warned.insert(s.surface + p).second)
                                out.warnings.push_back("surface \"" + s.surface + "\": " + p);
                    }
            }
        }
    }

    const std::string &bytes;
    const std::string &source;
    int onlyLayer;
    Lwo2Object out;
    Lwo2Layer *current = nullptr;
    std::size_t pointBase = 0;
    std::vector<long> polygonIndex;
    std::vector<std::string> tags;
    std::vector<SurfaceLayers> surfaces;
};

} // namespace

bool isLwo2(const std::string &bytes)
{
    return bytes.size() >= 12 && bytes.compare(0, 4, "FORM") == 0 && bytes.compare(8, 4, "LWO2") == 0;
}

Lwo2Object readLwo2(const std::string &bytes, const std::string &source, int onlyLayer)
{
    return Reader(bytes, source, onlyLayer).run();
}

ImportedScene lwo2Scene(const std::string &bytes, const std::string &fileName, const std::string &source)
{
    Lwo2Object read = readLwo2(bytes, source);
    ImportedScene scene;
    scene.source = source;
    for (const std::string &w : read.warnings)
        scene.surfaceWarnings.push_back(source + ", " + w);
    std::set<std::string> taken;
    std::vector<int> objectOfLayer;
    for (Lwo2Layer &l : read.layers) {
        objectOfLayer.push_back(l.object.polygons.empty() ? -1 : static_cast<int>(scene.objects.size()));
        if (l.object.polygons.empty())
            continue;
        l.object.name = uniqueName(l.name.empty() ? fileName : l.name, scene.objects.size(), taken);
        l.object.file = source;
        scene.objects.push_back(std::move(l.object));
    }
    for (std::size_t i = 0; i < read.layers.size(); ++i) {
        const int object = objectOfLayer[i];
        if (object < 0 || read.layers[i].parent < 0)
            continue;
        for (std::size_t j = 0; j < read.layers.size(); ++j)
            if (read.layers[j].number == read.layers[i].parent && objectOfLayer[j] >= 0 && j != i)
                scene.objects[static_cast<std::size_t>(object)].parent = objectOfLayer[j];
    }
    if (scene.objects.empty())
        throw RenderError(source + " has no polygons");
    return scene;
}

} // namespace render
