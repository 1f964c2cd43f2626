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

// The host's viewports by name, and the axis each looks along as an alias.
int parseView(const std::string &text)
{
    static const char *const names[][2] = {{"right", "x"}, {"top", "y"}, {"front", "z"}};
    for (int v = 0; v < 3; ++v)
        for (const char *name : names[v]) {
            std::string lower = text;
            for (char &c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower == name)
                return v;
        }
    throw UsageError("--view wants top, front or right (or x, y, z), not \"" + text + "\"");
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

// "A-B" or "A"; frame numbers may be negative, as in "-5--1".
void parseFrames(const std::string &text, Options &o)
{
    const std::size_t dash = text.find('-', 1);
    const std::string a = text.substr(0, dash);
    const std::string b = dash == std::string::npos ? a : text.substr(dash + 1);
    o.firstFrame = parseInt("--frames", a, -1000000, 1000000);
    o.lastFrame = parseInt("--frames", b, -1000000, 1000000);
    if (o.lastFrame < o.firstFrame)
        throw UsageError("--frames " + text + " ends before it starts");
    if (static_cast<long>(o.lastFrame) - o.firstFrame >= 100000)
        throw UsageError("--frames " + text + " asks for too many frames");
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

// "R,G,B", each 0-255.
void parseColour(const std::string &text, int (&out)[3])
{
    std::size_t at = 0;
    for (int c = 0; c < 3; ++c) {
        const std::size_t comma = c < 2 ? text.find(',', at) : std::string::npos;
        if (c < 2 && comma == std::string::npos)
            throw UsageError("--effect-color wants R,G,B (0-255 each), not \"" + text + "\"");
        out[c] = parseInt("--effect-color", text.substr(at, comma == std::string::npos ? std::string::npos : comma - at), 0, 255);
        at = comma + 1;
    }
}

// The camera view's options; false when `arg` is not one of them.
bool cameraOption(const std::string &arg, const std::function<std::string()> &value,
                  const std::function<void()> &flag, Options &o)
{
    if (arg == "--view") {
        const std::string text = value();
        o.cameraView = text == "camera" ? 1 : 0;
        if (o.cameraView == 0)
            o.view = parseView(text);
    } else if (arg == "--apply-to") {
        const std::string text = value();
        o.applyTo.clear();
        for (std::size_t at = 0; at <= text.size();) {
            const std::size_t comma = std::min(text.find(',', at), text.size());
            if (comma == at)
                throw UsageError("--apply-to wants object names separated by commas, not \"" + text + "\"");
            o.applyTo.push_back(text.substr(at, comma - at));
            at = comma + 1;
        }
    } else if (arg == "--effect-color") {
        parseColour(value(), o.effectColour);
    } else if (arg == "--gif" || arg == "--no-gif") {
        flag();
        o.gif = arg == "--gif" ? 1 : 0;
    } else if (arg == "--samples") {
        o.samplesPerSide = parseInt(arg, value(), 1, 8);
    } else {
        return false;
    }
    return true;
}

} // namespace

Options parseOptions(const std::vector<std::string> &args, int hardwareThreads)
{
    Options o;
    o.threads = hardwareThreads > 0 ? hardwareThreads : 1;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string inlineValue;
        bool hasInline = false;
        if (optionsEnded) {
            arg.clear();   // a scene name, even one that starts with '-'
        } else if (arg == "--") {
            optionsEnded = true;
            continue;
        } else if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInline = true;
            }
        }
        auto value = [&]() -> std::string {
            if (hasInline)
                return inlineValue;
            if (i + 1 >= args.size())
                throw UsageError(arg + " needs a value");
            return args[++i];
        };
        auto flag = [&]() {
            if (hasInline)
                throw UsageError(arg + " takes no value");
        };

        if (optionsEnded) {
            if (!o.scene.empty())
                throw UsageError("more than one scene given: " + o.scene + " and " + args[i]);
            o.scene = args[i];
            if (o.scene.empty())
                throw UsageError("the scene file name is empty");
        } else if (arg == "-h" || arg == "--help") {
            flag();
            o.help = true;
        } else if (arg == "--module") {
            o.modulePath = value();
        } else if (arg == "--content") {
            o.contentDir = value();
            if (o.contentDir.empty())
                throw UsageError("--content needs a directory");
        } else if (arg == "--target") {
            o.target = value();
            if (o.target.empty())
                throw UsageError("--target needs an object name");
        } else if (arg == "--version") {
            flag();
            o.version = true;
        } else if (arg == "--invert" || arg == "--in") {
            flag();
            (arg == "--in" ? o.in : o.invert) = true;
            if (o.in && o.invert)
                throw UsageError("--in and --invert ask for opposite things");
        } else if (arg == "--fill-rule") {
            const std::string name = value();
            const char *const rules[] = {"even-odd", "non-zero", "tolerant"};
            o.fillRule = -1;
            for (int r = 0; r < 3; ++r)
                if (name == rules[r])
                    o.fillRule = r;
            if (o.fillRule < 0)
                throw UsageError("--fill-rule wants even-odd, non-zero or tolerant, not \"" + name + "\"");
        } else if (arg == "--children") {
            flag();
            o.children = true;
        } else if (arg == "--axis") {
            o.axis = parseAxis(arg, value());
        } else if (cameraOption(arg, value, flag, o)) {
            continue;
        } else if (arg == "--threads") {
            o.threads = parseInt(arg, value(), 1, 256);
        } else if (arg == "--out") {
            o.outDir = value();
            if (o.outDir.empty())
                throw UsageError("--out needs a directory");
        } else if (arg == "--name") {
            o.namePattern = value();
            if (o.namePattern.empty())
                throw UsageError("--name needs a pattern, such as {kind}_{frame:04}");
        } else if (arg == "--clean") {
            flag();
            o.clean = true;
        } else if (arg == "--force") {
            flag();
            o.force = true;
        } else if (arg == "--frames") {
            parseFrames(value(), o);
        } else if (arg == "--size") {
            parseSize(value(), o);
        } else if (arg == "--resolution") {
            o.resolution = parseInt(arg, value(), 1, maxPixels);
            o.width = o.height = 0;
        } else if (arg == "--depth") {
            o.depthSamples = parseInt(arg, value(), 1, 4096);
        } else if (arg == "--sheet") {
            o.sheetSlices = parseInt(arg, value(), 0, 64);
        } else if (arg == "--fps") {
            const std::string text = value();
            char *end = nullptr;
            o.fps = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(o.fps) || o.fps <= 0.0 || o.fps > 1e6)
                throw UsageError("--fps wants a positive number, not \"" + text + "\"");
        } else if (arg == "--soft-edge") {
            const std::string text = value();
            char *end = nullptr;
            o.softEdge = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(o.softEdge) || o.softEdge < 0.0)
                throw UsageError("--soft-edge wants a width of 0 or more, not \"" + text + "\"");
        } else if (arg == "--save-settings") {
            o.saveSettings = value();
        } else if (arg == "--load-settings") {
            o.loadSettings = value();
        } else if (arg == "--quiet" || arg == "-q") {
            flag();
            o.quiet = true;
        } else if (arg == "--list") {
            flag();
            o.list = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg + " (try --help)");
        } else if (o.scene.empty()) {
            o.scene = arg;
            if (o.scene.empty())
                throw UsageError("the scene file name is empty");
        } else {
            throw UsageError("more than one scene given: " + o.scene + " and " + arg);
        }
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
           "  --target NAME         the target object (default: the first object)\n"
           "  --invert              In / Out: 1.0 outside the target instead of inside\n"
           "  --in                  1.0 inside, over loaded settings that say Out\n"
           "  --fill-rule RULE      even-odd (default), non-zero (overlapping shells filled) or\n"
           "                        tolerant (holes in the target healed)\n"
           "  --children            the objects below the target join it\n"
           "  --axis x|y|z          the texture axis the inside test casts along (default z)\n"
           "  --soft-edge W         ramp the inside up from 0 at the surface to 1 at depth W (default 0)\n"
           "  --view camera|front|top|right  what the images show: the scene through its camera\n"
           "                        (the default for scenes with one), or a viewport as the host\n"
           "                        draws it; z, y and x are front, top and right (default front)\n"
           "  --frames A-B | A      frames to render (default: the scene's animation, or 0)\n"
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
           "  --apply-to A,B,...    the camera view's objects that carry the texture, where no\n"
           "                        surface of theirs does (default: all but the target and below)\n"
           "  --effect-color R,G,B  the effect's colour in the camera view, 0-255 each (default\n"
           "                        255,140,0)\n"
           "  --samples N           camera samples a pixel: N by N (default 2)\n"
           "  --gif, --no-gif       write camera.gif of the camera frames (default: when more than\n"
           "                        one frame is rendered)\n"
           "  --list                list the scene's objects, their points, polygons and open edges\n"
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
    static const char *const names[] = {"right", "top", "front"};
    return view >= 0 && view < 3 ? names[view] : "?";
}

std::string counted(long long n, const char *singular, const char *plural)
{
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

} // namespace render
