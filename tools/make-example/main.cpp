// Writes the bundled example scene: two LWO2 prisms with concave n-gon caps (a star and an "L")
// and a LightWave scene that moves and turns the star over a few frames; and a second scene for
// the fill rules and "Include Children": a cup with no lid (an open target) and a hub whose two
// spokes hang under it; and a third of two overlapping parts in one object, a cross.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Vec2 {
    double x, y;
};

// LWO2 is big-endian throughout; chunks are padded to even lengths.
class Bytes {
public:
    std::vector<unsigned char> data;

    void u2(unsigned v)
    {
        data.push_back(static_cast<unsigned char>(v >> 8));
        data.push_back(static_cast<unsigned char>(v));
    }
    void u4(std::uint32_t v)
    {
        u2(v >> 16);
        u2(v & 0xFFFFu);
    }
    void f4(float f)
    {
        std::uint32_t bits;
        static_assert(sizeof bits == sizeof f, "IEEE single");
        std::memcpy(&bits, &f, sizeof bits);
        u4(bits);
    }
    void id(const char *four) { data.insert(data.end(), four, four + 4); }
    void s0(const std::string &s)
    {
        data.insert(data.end(), s.begin(), s.end());
        data.push_back(0);
        if (data.size() % 2)
            data.push_back(0);
    }
    void vx(unsigned index)
    {
        if (index < 0xFF00u)
            u2(index);
        else
            u4(0xFF000000u | index);
    }
    void chunk(const char *four, const Bytes &body)
    {
        id(four);
        u4(static_cast<std::uint32_t>(body.data.size()));
        data.insert(data.end(), body.data.begin(), body.data.end());
        if (body.data.size() % 2)
            data.push_back(0);
    }
};

// A sub-chunk of a surface: its ID, a two-byte length and the body, padded to even length.
void subChunk(Bytes &to, const char *four, const Bytes &body)
{
    to.id(four);
    to.u2(static_cast<unsigned>(body.data.size()));
    to.data.insert(to.data.end(), body.data.begin(), body.data.end());
    if (body.data.size() % 2)
        to.data.push_back(0);
}

// The texture's settings as the module saves them into an object file: each line a two-byte
// count (the text and its NUL) and the bytes.
Bytes savedSettings(const std::vector<std::string> &lines)
{
    Bytes out;
    for (const std::string &line : lines) {
        out.u2(static_cast<unsigned>(line.size() + 1));
        out.data.insert(out.data.end(), line.begin(), line.end());
        out.data.push_back(0);
    }
    return out;
}

// A surface's procedural texture layer of the module on the colour channel, along Z, in world
// coordinates, with the module's settings naming `target`.
Bytes ostrevinBlock(const std::string &target)
{
    Bytes header, chan, enab, opac, nega, axis;
    header.s0("\x80");
    chan.id("COLR");
    subChunk(header, "CHAN", chan);
    enab.u2(1);
    subChunk(header, "ENAB", enab);
    opac.u2(0);
    opac.f4(1.0f);
    opac.vx(0);
    subChunk(header, "OPAC", opac);
    nega.u2(0);
    subChunk(header, "NEGA", nega);
    axis.u2(2);
    subChunk(header, "AXIS", axis);

    Bytes tmap, cntr, size, rota, oref, csys;
    for (float v : {0.0f, 0.0f, 0.0f})
        cntr.f4(v);
    cntr.vx(0);
    for (float v : {1.0f, 1.0f, 1.0f})
        size.f4(v);
    size.vx(0);
    for (float v : {0.0f, 0.0f, 0.0f})
        rota.f4(v);
    rota.vx(0);
    oref.s0("(none)");
    csys.u2(1);
    subChunk(tmap, "CNTR", cntr);
    subChunk(tmap, "SIZE", size);
    subChunk(tmap, "ROTA", rota);
    subChunk(tmap, "OREF", oref);
    subChunk(tmap, "CSYS", csys);

    // The host's first object is item 0x10000000; the name finds it in any other scene.
    Bytes func;
    func.s0("Dabrel_Ostrevin");
    const Bytes data = savedSettings(
        {"version : 1.100000", "itemID : 268435456", "itemName : " + target, "flipFlg : 0", "End All"});
    func.data.insert(func.data.end(), data.data.begin(), data.data.end());

    Bytes block;
    subChunk(block, "PROC", header);
    subChunk(block, "TMAP", tmap);
    subChunk(block, "AXIS", axis);
    subChunk(block, "FUNC", func);
    return block;
}

// One prism of an object: an outline between two heights.
struct Prism {
    std::vector<Vec2> outline;
    double z0, z1;
};

// Prisms over simple outlines, as one object: each with its bottom cap at z0 (left out when
// `open`: the renderer, whose Z runs the other way, then sees it open towards +Z), its top cap at
// z1, one quad per outline edge.
// With a `textureTarget`, its surface carries the module's texture layer masking by that object.
void writePrisms(const std::string &path, const std::string &layerName, const std::vector<Prism> &prisms, float r,
                 float g, float b, bool open = false, const std::string &textureTarget = {})
{
    Bytes tags, layr, pnts, bbox, pols, ptag, surf;
    tags.s0(layerName);

    layr.u2(0);
    layr.u2(0);
    layr.f4(0);
    layr.f4(0);
    layr.f4(0);
    layr.s0(layerName);

    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (const Prism &prism : prisms)
        for (double z : {prism.z0, prism.z1})
            for (const Vec2 &p : prism.outline) {
                const float v[3] = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(z)};
                for (int c = 0; c < 3; ++c) {
                    pnts.f4(v[c]);
                    lo[c] = std::fmin(lo[c], v[c]);
                    hi[c] = std::fmax(hi[c], v[c]);
                }
            }
    for (float v : lo)
        bbox.f4(v);
    for (float v : hi)
        bbox.f4(v);

    // Caps keep the whole outline as one polygon; the top one runs the other way round.
    pols.id("FACE");
    unsigned first = 0, polygons = 0;
    for (const Prism &prism : prisms) {
        const unsigned n = static_cast<unsigned>(prism.outline.size());
        if (!open) {
            pols.u2(n);
            for (unsigned i = 0; i < n; ++i)
                pols.vx(first + i);
        }
        pols.u2(n);
        for (unsigned i = 0; i < n; ++i)
            pols.vx(first + n + (n - 1 - i));
        for (unsigned i = 0; i < n; ++i) {
            const unsigned j = (i + 1) % n;
            pols.u2(4);
            pols.vx(first + i);
            pols.vx(first + n + i);
            pols.vx(first + n + j);
            pols.vx(first + j);
        }
        first += 2 * n;
        polygons += n + (open ? 1 : 2);
    }
    ptag.id("SURF");
    for (unsigned p = 0; p < polygons; ++p) {
        ptag.vx(p);
        ptag.u2(0);
    }

    surf.s0(layerName);
    surf.s0("");
    Bytes colr;
    colr.f4(r);
    colr.f4(g);
    colr.f4(b);
    colr.vx(0);
    surf.id("COLR");
    surf.u2(static_cast<unsigned>(colr.data.size()));
    surf.data.insert(surf.data.end(), colr.data.begin(), colr.data.end());
    if (!textureTarget.empty())
        subChunk(surf, "BLOK", ostrevinBlock(textureTarget));

    Bytes form;
    form.id("LWO2");
    form.chunk("TAGS", tags);
    form.chunk("LAYR", layr);
    form.chunk("PNTS", pnts);
    form.chunk("BBOX", bbox);
    form.chunk("POLS", pols);
    form.chunk("PTAG", ptag);
    form.chunk("SURF", surf);
    Bytes file;
    file.chunk("FORM", form);

    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(file.data.data()), static_cast<std::streamsize>(file.data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<Vec2> star(int points, double outer, double inner)
{
    const double pi = std::acos(-1.0);
    std::vector<Vec2> v;
    for (int i = 0; i < 2 * points; ++i) {
        const double a = pi / 2 + i * pi / points;
        const double rad = i % 2 ? inner : outer;
        v.push_back({rad * std::cos(a), rad * std::sin(a)});
    }
    return v;
}

// One channel of an object's motion: linear spans between (time in seconds, value) keys.
std::string envelope(int channel, const std::vector<std::pair<double, double>> &keys)
{
    std::string s = "Channel " + std::to_string(channel) + "\n{ Envelope\n  " + std::to_string(keys.size()) + "\n";
    char line[160];
    for (const auto &k : keys) {
        std::snprintf(line, sizeof line, "  Key %.17g %.17g 3 0 0 0 0 0 0\n", k.second, k.first);
        s += line;
    }
    return s + "  Behaviors 1 1\n}\n";
}

std::string objectMotion(const std::vector<std::vector<std::pair<double, double>>> &channels)
{
    std::string s = "ObjectMotion\nNumChannels 9\n";
    for (int c = 0; c < 9; ++c)
        s += envelope(c, channels[static_cast<std::size_t>(c)]);
    return s;
}

void writePrism(const std::string &path, const std::string &layerName, const std::vector<Vec2> &outline, double z0,
                double z1, float r, float g, float b, bool open = false, const std::string &textureTarget = {})
{
    writePrisms(path, layerName, {{outline, z0, z1}}, r, g, b, open, textureTarget);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string dir = argc > 1 ? argv[1] : "examples";
    try {
        writePrism(dir + "/star.lwo", "Star", star(5, 1.0, 0.42), -0.35, 0.35, 0.9f, 0.75f, 0.2f);
        writePrism(dir + "/ell.lwo", "Ell",
                   {{0.0, 0.0}, {0.9, 0.0}, {0.9, 0.35}, {0.35, 0.35}, {0.35, 1.1}, {0.0, 1.1}}, -0.3, 0.3, 0.3f,
                   0.5f, 0.9f);

        const int lastFrame = 5;
        const double fps = 30.0, end = lastFrame / fps;
        const double pi = std::acos(-1.0);
        using Keys = std::vector<std::pair<double, double>>;
        const Keys zero{{0.0, 0.0}}, one{{0.0, 1.0}};
        // The star slides along X, turns a fifth of a turn about Z (bank) and tips about Y (heading).
        const std::vector<Keys> starMotion{
            {{0.0, -0.3}, {end, 0.3}}, zero, zero, {{0.0, 0.0}, {end, 0.5}}, zero, {{0.0, 0.0}, {end, 2 * pi / 5}},
            one, one, one};
        const std::vector<Keys> ellMotion{{{0.0, 1.6}}, {{0.0, -0.5}}, zero, zero, zero, zero, one, one, one};
        // A wall across the star's path, whose surface carries the texture masked by the star.
        writePrism(dir + "/wall.lwo", "Wall", {{-1.7, -1.15}, {1.35, -1.15}, {1.35, 1.15}, {-1.7, 1.15}}, -0.03, 0.03,
                   0.7f, 0.7f, 0.7f, false, "Star");
        const std::vector<Keys> wallMotion{zero, zero, {{0.0, 0.1}}, zero, zero, zero, one, one, one};
        // The camera in front of the wall, a little above, looking slightly down.
        const std::vector<Keys> cameraMotion{{{0.0, 0.35}}, {{0.0, 0.55}}, {{0.0, -4.4}}, zero, {{0.0, 0.11}}, zero};

        std::ofstream lws(dir + "/ostrevin-demo.lws");
        lws << "LWSC\n5\n\nFirstFrame 0\nLastFrame " << lastFrame << "\nFrameStep 1\nFramesPerSecond " << fps
            << "\n\n";
        lws << "LoadObjectLayer 1 10000000 star.lwo\nChangeObject 0\nShowObject 7 -1\n" << objectMotion(starMotion)
            << "\n";
        lws << "LoadObjectLayer 1 10000001 ell.lwo\nChangeObject 0\nShowObject 7 -1\n" << objectMotion(ellMotion)
            << "\n";
        lws << "LoadObjectLayer 1 10000002 wall.lwo\nChangeObject 0\nShowObject 7 -1\n" << objectMotion(wallMotion)
            << "\n";
        lws << "AddCamera 30000000\nCameraName Camera\nShowCamera 1 -1\nCameraMotion\nNumChannels 6\n";
        for (int c = 0; c < 6; ++c)
            lws << envelope(c, cameraMotion[static_cast<std::size_t>(c)]);
        lws << "ZoomFactor 3.2\nFrameSize 640 360\nPixelAspect 1\n\n";
        if (!lws)
            throw std::runtime_error("cannot write " + dir + "/ostrevin-demo.lws");

        // The fill rules' scene, still: a cup without its lid, and a hub with two spokes below it.
        const std::vector<Vec2> square{{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}};
        writePrism(dir + "/cup.lwo", "Cup", square, -0.5, 0.5, 0.8f, 0.4f, 0.3f, true);
        writePrism(dir + "/hub.lwo", "Hub", square, -0.25, 0.25, 0.4f, 0.7f, 0.4f);
        writePrism(dir + "/spoke.lwo", "Spoke", {{0.0, -0.1}, {0.9, -0.1}, {0.9, 0.1}, {0.0, 0.1}}, -0.1, 0.1, 0.4f,
                   0.6f, 0.8f);
        auto still = [&one](double x, double y, double heading) {
            return objectMotion({{{0.0, x}}, {{0.0, y}}, {{0.0, 0.0}}, {{0.0, heading}}, {{0.0, 0.0}}, {{0.0, 0.0}},
                                 one, one, one});
        };
        std::ofstream fill(dir + "/ostrevin-fill.lws");
        fill << "LWSC\n5\n\nFirstFrame 0\nLastFrame 0\nFrameStep 1\nFramesPerSecond 30\n\n";
        fill << "LoadObjectLayer 1 10000000 cup.lwo\nChangeObject 0\nShowObject 7 -1\n" << still(-1.2, 0.0, 0.0) << "\n";
        fill << "LoadObjectLayer 1 10000001 hub.lwo\nChangeObject 0\nShowObject 7 -1\n" << still(1.0, 0.0, 0.0) << "\n";
        for (int k = 0; k < 2; ++k)
            fill << "LoadObjectLayer 1 1000000" << 2 + k << " spoke.lwo\nChangeObject 0\nShowObject 7 -1\n"
                 << still(0.0, 0.0, k * pi) << "ParentItem 10000001\n\n";
        if (!fill)
            throw std::runtime_error("cannot write " + dir + "/ostrevin-fill.lws");

        // Two overlapping bars as one object, a cross: each outline has corners where the other
        // bar's sides meet it, so no polygon crosses the other bar, and under Non-Zero the soft
        // edge ramps from the cross's outside alone. Each outline turns within its first three
        // corners and its last three (collinear ones would leave a cap without a plane).
        const std::vector<Vec2> bar{{0.25, -0.25}, {0.9, -0.25}, {0.9, 0.25}, {0.25, 0.25},
                                    {-0.25, 0.25}, {-0.9, 0.25}, {-0.9, -0.25}, {-0.25, -0.25}};
        std::vector<Vec2> across;
        for (const Vec2 &p : bar)
            across.push_back({-p.y, p.x});
        writePrisms(dir + "/cross.lwo", "Cross", {{bar, -0.25, 0.25}, {across, -0.25, 0.25}}, 0.9f, 0.5f, 0.3f);
        std::ofstream parts(dir + "/ostrevin-parts.lws");
        parts << "LWSC\n5\n\nFirstFrame 0\nLastFrame 0\nFrameStep 1\nFramesPerSecond 30\n\n";
        parts << "LoadObjectLayer 1 10000000 cross.lwo\nChangeObject 0\nShowObject 7 -1\n" << still(0.0, 0.0, 0.0) << "\n";
        if (!parts)
            throw std::runtime_error("cannot write " + dir + "/ostrevin-parts.lws");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "make-example: %s\n", e.what());
        return 1;
    }
    return 0;
}
