#include "tools/ostrevin-render/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "tools/ostrevin-render/errors.h"

namespace render {

namespace {

constexpr int maxPixels = 16384;

long parseLong(const std::string &option, const std::string &text, long lo, long hi)
{
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < lo || value > hi)
        throw UsageError(option + " wants a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                         ", not \"" + text + "\"");
    return value;
}

int parseInt(const std::string &option, const std::string &text, int lo, int hi)
{
    return static_cast<int>(parseLong(option, text, lo, hi));
}

// The host's viewports by name, in any case; right, top and front also by the axis each looks along.
int parseView(const std::string &text)
{
    static const char *const names[][2] = {{"right", "x"}, {"top", "y"}, {"front", "z"},
                                           {"left", ""},   {"bottom", ""}, {"back", ""}};
    std::string lower = text;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int v = 0; v < 6; ++v)
        for (const char *name : names[v])
            if (*name && lower == name)
                return v;
    throw UsageError("--view wants camera, front, back, top, bottom, right or left (or x, y, z), not \"" + text +
                     "\"");
}

bool isCameraView(const std::string &text)
{
    std::string lower = text;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "camera";
}

int parseAxis(const std::string &option, const std::string &text)
{
    if (text == "x" || text == "X")
        return 0;
    if (text == "y" || text == "Y")
        return 1;
    if (text == "z" || text == "Z")
        return 2;
    throw UsageError(option + " wants x, y or z, not \"" + text + "\"");
}

// "A-B", "A-B/STEP" or "A"; frame numbers may be negative, as in "-5--1".
void parseFrames(const std::string &given, Options &o)
{
    const std::size_t slash = given.find('/');
    const std::string text = given.substr(0, slash);
    o.frameStep = slash == std::string::npos ? 1 : parseInt("--frames step", given.substr(slash + 1), 1, 1000000);
    const std::size_t dash = text.find('-', 1);
    const std::string a = text.substr(0, dash);
    const std::string b = dash == std::string::npos ? a : text.substr(dash + 1);
    o.firstFrame = parseInt("--frames", a, -1000000, 1000000);
    o.lastFrame = parseInt("--frames", b, -1000000, 1000000);
    if (o.lastFrame < o.firstFrame)
        throw UsageError("--frames " + given + " ends before it starts");
    if ((static_cast<long>(o.lastFrame) - o.firstFrame) / o.frameStep >= 100000)
        throw UsageError("--frames " + given + " asks for too many frames");
    o.framesGiven = true;
}

void parseSize(const std::string &text, Options &o)
{
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        throw UsageError("--size wants WIDTHxHEIGHT, not \"" + text + "\"");
    o.width = parseInt("--size width", text.substr(0, x), 1, maxPixels);
    o.height = parseInt("--size height", text.substr(x + 1), 1, maxPixels);
}

// A number written whole, finite and within what `accepts` allows; else the option's complaint.
template <typename Accepts>
double parseReal(const std::string &text, Accepts accepts, const std::string &complaint)
{
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || !accepts(value))
        throw UsageError(complaint + ", not \"" + text + "\"");
    return value;
}

// "R,G,B", each 0-255.
void parseColour(const std::string &text, int (&out)[3])
{
    std::size_t at = 0;
    for (int c = 0; c < 3; ++c) {
        const std::size_t comma = c < 2 ? text.find(',', at) : std::string::npos;
        if (c < 2 && comma == std::string::npos)
            throw UsageError("--effect-color wants R,G,B (0-255 each), not \"" + text + "\"");
        const std::size_t length = comma == std::string::npos ? std::string::npos : comma - at;
        out[c] = parseInt("--effect-color", text.substr(at, length), 0, 255);
        at = comma + 1;
    }
}

// The arguments one by one: each option's name, and its value given after '=' or as the next
// argument. After "--" every argument is a scene name, even one that starts with '-'.
class Arguments {
public:
    explicit Arguments(const std::vector<std::string> &all) : args(all) {}

    // Moves to the next argument, skipping a first "--"; false at the end.
    bool next()
    {
        if (++at >= args.size())
            return false;
        name = args[at];
        hasInline = false;
        if (ended)
            return true;
        if (name == "--") {
            ended = true;
            return next();
        }
        const std::size_t eq = name.rfind("--", 0) == 0 ? name.find('=') : std::string::npos;
        if (eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
            hasInline = true;
        }
        return true;
    }
    bool isOption() const { return !ended && name.size() > 1 && name[0] == '-'; }
    const std::string &option() const { return name; }

    std::string value()
    {
        if (hasInline)
            return inlineValue;
        if (at + 1 >= args.size())
            throw UsageError(name + " needs a value");
        return args[++at];
    }
    // A value that may not be empty.
    std::string nonEmptyValue(const char *wants)
    {
        std::string v = value();
        if (v.empty())
            throw UsageError(name + " needs " + wants);
        return v;
    }
    void flag() const
    {
        if (hasInline)
            throw UsageError(name + " takes no value");
    }

private:
    const std::vector<std::string> &args;
    std::size_t at = static_cast<std::size_t>(-1);
    std::string name, inlineValue;
    bool hasInline = false;
    bool ended = false;
};

// The texture layer's settings: the target, In / Out, fill rule, children, axis, soft edge, and
// settings files. False when the option is none of these.
bool takeTextureOption(Arguments &a, Options &o)
{
    const std::string &arg = a.option();
    if (arg == "--target") {
        o.target = a.nonEmptyValue("an object name");
    } else if (arg == "--invert" || arg == "--in") {
        a.flag();
        (arg == "--in" ? o.in : o.invert) = true;
        if (o.in && o.invert)
            throw UsageError("--in and --invert ask for opposite things");
    } else if (arg == "--fill-rule") {
        const std::string name = a.value();
        const char *const rules[] = {"even-odd", "non-zero", "tolerant"};
        o.fillRule = -1;
        for (int r = 0; r < 3; ++r)
            if (name == rules[r])
                o.fillRule = r;
        if (o.fillRule < 0)
            throw UsageError("--fill-rule wants even-odd, non-zero or tolerant, not \"" + name + "\"");
    } else if (arg == "--children") {
        a.flag();
        o.children = true;
    } else if (arg == "--axis") {
        o.axis = parseAxis(arg, a.value());
    } else if (arg == "--soft-edge") {
        o.softEdge = parseReal(a.value(), [](double w) { return w >= 0.0; }, "--soft-edge wants a width of 0 or more");
    } else if (arg == "--save-settings") {
        o.saveSettings = a.value();
    } else if (arg == "--load-settings") {
        o.loadSettings = a.value();
    } else {
        return false;
    }
    return true;
}

// What the images show and of which frames. False when the option is none of these.
bool takeImageOption(Arguments &a, Options &o)
{
    const std::string &arg = a.option();
    if (arg == "--slice-at") {
        o.sliceAt = parseReal(a.value(), [](double) { return true; }, "--slice-at wants a coordinate");
        o.sliceGiven = true;
    } else if (arg == "--frames") {
        parseFrames(a.value(), o);
    } else if (arg == "--fps") {
        o.fps = parseReal(a.value(), [](double f) { return f > 0.0 && f <= 1e6; },
                          "--fps wants a number above 0 and at most 1,000,000");
    } else if (arg == "--size") {
        parseSize(a.value(), o);
    } else if (arg == "--resolution") {
        o.resolution = parseInt(arg, a.value(), 1, maxPixels);
        o.width = o.height = 0;
    } else if (arg == "--depth") {
        o.depthSamples = parseInt(arg, a.value(), 1, 4096);
    } else if (arg == "--sheet") {
        o.sheetSlices = parseInt(arg, a.value(), 0, 64);
    } else {
        return false;
    }
    return true;
}

// The camera view's options, and --view, which picks it or a viewport. False when the option is
// none of these.
bool takeCameraOption(Arguments &a, Options &o)
{
    const std::string &arg = a.option();
    if (arg == "--view") {
        const std::string text = a.value();
        o.cameraView = isCameraView(text) ? 1 : 0;
        if (o.cameraView == 0)
            o.view = parseView(text);
    } else if (arg == "--apply-to") {
        const std::string text = a.value();
        o.applyTo.clear();
        for (std::size_t at = 0; at <= text.size();) {
            const std::size_t comma = std::min(text.find(',', at), text.size());
            if (comma == at)
                throw UsageError("--apply-to wants object names separated by commas, not \"" + text + "\"");
            o.applyTo.push_back(text.substr(at, comma - at));
            at = comma + 1;
        }
    } else if (arg == "--effect-color") {
        parseColour(a.value(), o.effectColour);
    } else if (arg == "--gif" || arg == "--no-gif") {
        a.flag();
        o.gif = arg == "--gif" ? 1 : 0;
    } else if (arg == "--samples") {
        o.samplesPerSide = parseInt(arg, a.value(), 1, 8);
    } else {
        return false;
    }
    return true;
}

// How the program runs and where its output goes. False when the option is none of these.
bool takeRunOption(Arguments &a, Options &o)
{
    const std::string &arg = a.option();
    bool *flag = arg == "-h" || arg == "--help" ? &o.help
                 : arg == "--version"           ? &o.version
                 : arg == "--clean"             ? &o.clean
                 : arg == "--force"             ? &o.force
                 : arg == "--quiet" || arg == "-q" ? &o.quiet
                 : arg == "--list"              ? &o.list
                 : arg == "--render-node"       ? &o.renderNode
                                                : nullptr;
    if (flag) {
        a.flag();
        *flag = true;
    } else if (arg == "--module") {
        o.modulePath = a.value();
    } else if (arg == "--content") {
        o.contentDir = a.nonEmptyValue("a directory");
    } else if (arg == "--threads") {
        o.threads = parseInt(arg, a.value(), 1, 256);
    } else if (arg == "--out") {
        o.outDir = a.nonEmptyValue("a directory");
    } else if (arg == "--name") {
        o.namePattern = a.nonEmptyValue("a pattern, such as {kind}_{frame:04}");
    } else {
        return false;
    }
    return true;
}

void takeScene(const std::string &name, Options &o)
{
    if (!o.scene.empty())
        throw UsageError("more than one scene given: " + o.scene + " and " + name);
    if (name.empty())
        throw UsageError("the scene file name is empty");
    o.scene = name;
}

} // namespace

Options parseOptions(const std::vector<std::string> &args, int hardwareThreads)
{
    Options o;
    o.threads = hardwareThreads > 0 ? hardwareThreads : 1;
    Arguments a(args);
    while (a.next()) {
        if (!a.isOption())
            takeScene(a.option(), o);
        else if (!takeTextureOption(a, o) && !takeImageOption(a, o) && !takeCameraOption(a, o) &&
                 !takeRunOption(a, o))
            throw UsageError("unknown option " + a.option() + " (try --help)");
    }
    return o;
}

std::string usageText()
{
    return "usage: ostrevin-render [SCENE] [options]\n"
           "Renders the Ostrevin texture over a scene: the scene through its camera, or slice and X-ray\n"
           "views per frame and a contact sheet.\n"
           "Without SCENE it renders the bundled example (a star moving past an L).\n"
           "  SCENE                 .lws, .lwo (LWO2, LWOB) or any file Assimp reads (OBJ, PLY, STL, ...)\n"
           "  --target NAME         the target object, in any case when only one has the name\n"
           "                        (default: the first object)\n"
           "  --invert              In / Out: 1.0 outside the target instead of inside\n"
           "  --in                  1.0 inside, over loaded settings that say Out\n"
           "  --fill-rule RULE      even-odd (default), non-zero (overlapping shells filled) or\n"
           "                        tolerant (holes in the target healed)\n"
           "  --children            the objects below the target join it (at most 63 of them, and\n"
           "                        32 levels down, as the module takes them)\n"
           "  --axis x|y|z          the texture axis the inside test casts along (default z)\n"
           "  --soft-edge W         ramp the inside up from 0 at the surface to 1 at depth W (default 0)\n"
           "  --view VIEW           what the images show: camera, the scene through its camera (the\n"
           "                        default for scenes with one), or the viewport the host draws:\n"
           "                        front, back, top, bottom, right or left; z, y and x are front,\n"
           "                        top and right (default front)\n"
           "  --slice-at POS        the slice's place along the view's axis, as the host gives\n"
           "                        coordinates (default: through the middle of the target)\n"
           "  --frames A-B/STEP     frames A to B, every STEP-th (STEP 1 if left out), or A alone\n"
           "                        (default: the scene's animation and step, or frame 0)\n"
           "  --fps F               frames per second (default: the scene's rate, or 30)\n"
           "  --resolution N        pixels along the longer side (default 384)\n"
           "  --size WxH            image size; the target's box is fitted inside\n"
           "  --depth N             samples along each X-ray (default 64)\n"
           "  --sheet N             slices on the contact sheet, 0 for none (default 9)\n"
           "  --threads N           evaluation threads (default: all cores)\n"
           "  --out DIR             output directory (default out)\n"
           "  --name PATTERN        image names: {kind} (slice, volume, sheet), {frame} and {index}\n"
           "                        (the frame's place in the run), each with an optional width as\n"
           "                        in {frame:04}; default {kind}_{frame:04}, or {kind}_{index:04}_f{frame}\n"
           "                        when frames below 0 are rendered, so that names sort\n"
           "  --clean               remove the images of earlier runs that the pattern matches first\n"
           "  --force               render images past the memory cap (2 GB; 0.75 GB on 32-bit)\n"
           "  --content DIR         where a scene's object paths start (default: the scene's folder,\n"
           "                        or its parent when that folder is called Scenes)\n"
           "  --module PATH         the module file (default Ostrevin.p next to this program)\n"
           "  --save-settings FILE  save the texture layer's settings through the module\n"
           "  --load-settings FILE  load them back before --target, --invert and --in apply; a\n"
           "                        target saved in another scene is found by its name\n"
           "  --render-node         run as a render farm node: no settings panel, so the layer is\n"
           "                        the one --load-settings gives, as saved on a workstation\n"
           "  --apply-to A,B,...    the camera view's objects that carry the texture, where no\n"
           "                        surface of theirs does (default: all but the target and below)\n"
           "  --effect-color R,G,B  the effect's colour in the camera view, 0-255 each (default\n"
           "                        255,140,0)\n"
           "  --samples N           camera samples a pixel: N by N (default 2)\n"
           "  --gif, --no-gif       write camera.gif of the camera frames (default: when more than\n"
           "                        one frame is rendered)\n"
           "  --list                list the scene's objects, their points, polygons and open edges,\n"
           "                        the file each was loaded from and its parent\n"
           "  --quiet               no progress output\n"
           "  --version             the program's version\n"
           "  --                    ends the options: what follows is the scene\n";
}

std::string versionText() { return "ostrevin-render " OSTREVIN_VERSION "\n"; }

const char *axisName(int axis)
{
    static const char *const names[] = {"x", "y", "z"};
    return axis >= 0 && axis < 3 ? names[axis] : "?";
}

const char *viewName(int view)
{
    static const char *const names[] = {"right", "top", "front", "left", "bottom", "back"};
    return view >= 0 && view < 6 ? names[view] : "?";
}

std::string counted(long long n, const char *singular, const char *plural)
{
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

} // namespace render
