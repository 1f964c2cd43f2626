#include "tools/ostrevin-render/surface_layers.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "host/big_endian_reader.h"

namespace render {

const char *const textureServerName = "Dabrel_Ostrevin";

namespace {

using standin::BigEndianReader;

// A string padded to even length, as the format stores names.
bool readName(BigEndianReader &in, std::string &out)
{
    out.clear();
    const unsigned char *start = in.position();
    for (std::size_t i = 0; i < in.remaining(); ++i) {
        if (start[i] == 0) {
            out.assign(reinterpret_cast<const char *>(start), i);
            return in.skip(std::min(in.remaining(), (i + 2) & ~std::size_t{1}));
        }
    }
    return false;
}

bool readVector(BigEndianReader &in, Vec3 &out)
{
    for (double &c : out) {
        float f = 0;
        if (!in.f4(f) || !std::isfinite(f))
            return false;
        c = f;
    }
    return true;
}

// Sub-chunks inside a surface: an ID and a two-byte length, padded to even length.
struct SubChunk {
    char id[5] = {0, 0, 0, 0, 0};
    BigEndianReader body{nullptr, nullptr};
};

bool nextSubChunk(BigEndianReader &in, SubChunk &out)
{
    std::uint32_t size = 0;
    if (!in.id(out.id) || !in.u2(size) || size > in.remaining())
        return false;
    out.body = BigEndianReader(in.position(), in.position() + size);
    in.skip(size);
    if (size & 1u)
        in.skip(1);
    return true;
}

bool is(const SubChunk &c, const char *id) { return std::memcmp(c.id, id, 4) == 0; }

// The texture mapping's sub-chunks; a vector's envelope index is passed over.
bool readMapping(BigEndianReader in, TextureMapping &m, std::string &problem)
{
    SubChunk c;
    while (in.remaining() > 0) {
        if (!nextSubChunk(in, c)) {
            problem = "its texture mapping is cut short";
            return false;
        }
        if (is(c, "CNTR") || is(c, "SIZE") || is(c, "ROTA")) {
            Vec3 v{};
            if (!readVector(c.body, v)) {
                problem = std::string("its mapping's ") + c.id + " is not three numbers";
                return false;
            }
            (is(c, "CNTR") ? m.centre : is(c, "SIZE") ? m.size : m.rotation) = v;
        } else if (is(c, "OREF")) {
            if (!readName(c.body, m.referenceObject)) {
                problem = "its mapping's reference object has no name";
                return false;
            }
            if (m.referenceObject == "(none)")
                m.referenceObject.clear();
        } else if (is(c, "CSYS")) {
            std::uint32_t v = 0;
            c.body.u2(v);
            m.world = v == 1;
        }
    }
    return true;
}

// One BLOK: false when it is not a procedural of ours; `problem` says why ours was not read.
bool readBlock(BigEndianReader in, ProceduralLayer &layer, std::string &problem)
{
    SubChunk header;
    if (!nextSubChunk(in, header) || !is(header, "PROC"))
        return false;
    std::string ordinal;
    readName(header.body, ordinal);
    SubChunk c;
    while (header.body.remaining() > 0 && nextSubChunk(header.body, c)) {
        std::uint32_t v = 0;
        if (is(c, "CHAN") && c.body.remaining() >= 4) {
            char id[4];
            c.body.id(id);
            layer.channel.assign(id, 4);
        } else if (is(c, "ENAB") && c.body.u2(v)) {
            layer.enabled = v != 0;
        } else if (is(c, "NEGA") && c.body.u2(v)) {
            layer.negative = v != 0;
        } else if (is(c, "OPAC") && c.body.u2(v)) {
            float f = 1;
            if (c.body.f4(f) && std::isfinite(f))
                layer.opacity = f;
        } else if (is(c, "AXIS") && c.body.u2(v)) {
            layer.axis = static_cast<int>(v);
        }
    }
    bool named = false;
    while (in.remaining() > 0) {
        if (!nextSubChunk(in, c)) {
            problem = "the block is cut short";
            return named && layer.server == textureServerName;
        }
        std::uint32_t v = 0;
        if (is(c, "TMAP")) {
            if (!readMapping(c.body, layer.mapping, problem))
                return true;
        } else if (is(c, "AXIS") && c.body.u2(v)) {
            layer.axis = static_cast<int>(v);
        } else if (is(c, "FUNC")) {
            if (!readName(c.body, layer.server))
                return false;
            named = true;
            if (layer.server != textureServerName)
                return false;
            layer.data.assign(reinterpret_cast<const char *>(c.body.position()), c.body.remaining());
        }
    }
    if (!named)
        return false;
    if (layer.axis < 0 || layer.axis > 2)
        problem = "its texture axis is " + std::to_string(layer.axis) + ", not X, Y or Z";
    return true;
}

} // namespace

SurfaceLayers readSurface(const unsigned char *body, std::size_t size)
{
    SurfaceLayers out;
    BigEndianReader in(body, body + size);
    std::string source;
    if (!readName(in, out.surface) || !readName(in, source))
        return out;
    SubChunk c;
    while (in.remaining() > 0 && nextSubChunk(in, c)) {
        if (!is(c, "BLOK"))
            continue;
        ProceduralLayer layer;
        std::string problem;
        if (!readBlock(c.body, layer, problem))
            continue;
        layer.surface = out.surface;
        if (!problem.empty())
            out.problems.push_back(problem);
        else
            out.layers.push_back(std::move(layer));
    }
    return out;
}

Vec3 TextureMapping::coordinates(const Vec3 &point) const
{
    // Into the host's axes, where the mapping's numbers live.
    const Vec3 d{point[0] - centre[0], point[1] - centre[1], -point[2] - centre[2]};
    const double ch = std::cos(rotation[0]), sh = std::sin(rotation[0]);
    const double cp = std::cos(rotation[1]), sp = std::sin(rotation[1]);
    const double cb = std::cos(rotation[2]), sb = std::sin(rotation[2]);
    // The transpose of heading * pitch * bank, applied as bank, pitch and heading undone in turn.
    const double hx = ch * d[0] - sh * d[2], hz = sh * d[0] + ch * d[2], hy = d[1];
    const double py = cp * hy + sp * hz, pz = -sp * hy + cp * hz, px = hx;
    const double bx = cb * px + sb * py, by = -sb * px + cb * py, bz = pz;
    auto scaled = [](double v, double s) { return s != 0.0 ? v / s : v; };
    return {scaled(bx, size[0]), scaled(by, size[1]), -scaled(bz, size[2])};
}

std::string channelName(const std::string &channel)
{
    static const char *const names[][2] = {{"COLR", "Color"},        {"DIFF", "Diffuse"},      {"LUMI", "Luminosity"},
                                           {"SPEC", "Specularity"},  {"GLOS", "Glossiness"},   {"REFL", "Reflection"},
                                           {"TRAN", "Transparency"}, {"RIND", "Refraction Index"},
                                           {"TRNL", "Translucency"}, {"BUMP", "Bump"}};
    for (const auto &n : names)
        if (channel == n[0])
            return n[1];
    return channel;
}

} // namespace render
