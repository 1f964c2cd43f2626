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

standin::Transform TextureMapping::transform() const
{
    // The transpose of heading * pitch * bank (bank, pitch and heading undone in turn), in the
    // host's axes, where the mapping's numbers live; z turned round on both sides.
    const double ch = std::cos(rotation[0]), sh = std::sin(rotation[0]);
    const double cp = std::cos(rotation[1]), sp = std::sin(rotation[1]);
    const double cb = std::cos(rotation[2]), sb = std::sin(rotation[2]);
    const double r[3][3] = {{ch * cb + sh * sp * sb, cp * sb, -sh * cb + ch * sp * sb},
                            {-ch * sb + sh * sp * cb, cp * cb, sh * sb + ch * sp * cb},
                            {sh * cp, -sp, ch * cp}};
    standin::Transform t;
    for (int row = 0; row < 3; ++row) {
        const double s = size[static_cast<std::size_t>(row)] != 0.0 ? 1.0 / size[static_cast<std::size_t>(row)] : 1.0;
        const double out = row == 2 ? -1.0 : 1.0;
        double offset = 0.0;
        for (int c = 0; c < 3; ++c) {
            const double in = c == 2 ? -1.0 : 1.0;
            t.m[row][c] = out * s * r[row][c] * in;
            offset += r[row][c] * centre[static_cast<std::size_t>(c)];
        }
        t.m[row][3] = -out * s * offset;
    }
    return t;
}

Vec3 TextureMapping::coordinates(const Vec3 &point) const
{
    const standin::Transform t = transform();
    Vec3 out{};
    for (std::size_t r = 0; r < 3; ++r)
        out[r] = t.m[r][0] * point[0] + t.m[r][1] * point[1] + t.m[r][2] * point[2] + t.m[r][3];
    return out;
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
