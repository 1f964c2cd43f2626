#include "tools/ostrevin-render/render_job.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>

#include "host/module_loader.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/image.h"
#include "tools/ostrevin-render/labels.h"
#include "tools/ostrevin-render/output_names.h"
#include "tools/ostrevin-render/png_writer.h"
#include "tools/ostrevin-render/session.h"

namespace render {

namespace {

constexpr int sheetGap = 4;
// The panel's "Fill Rule" and "Include Children" value IDs.
constexpr unsigned int fillRuleValue = 0x8003;
constexpr unsigned int childrenValue = 0x8004;

// The object at a popup position, or null for "(none)" and positions past the scene.
const ImportedObject *objectAt(const ImportedScene &scene, int position)
{
    return position >= 1 && static_cast<std::size_t>(position) <= scene.objects.size()
               ? &scene.objects[static_cast<std::size_t>(position - 1)]
               : nullptr;
}

// Item IDs are the saving scene's; in another scene the same ID may be another object. The name
// saved beside it decides then, as a user would expect of a target chosen by name.
std::string matchSavedTarget(Session &session, const SavedSettings &saved, const std::string &path,
                             const ImportedScene &scene)
{
    const ImportedObject *byID = objectAt(scene, session.targetPosition());
    if (byID && byID->name == saved.itemName)
        return "target \"" + saved.itemName + "\" by its saved item ID";
    if (!scene.find(saved.itemName))
        throw RenderError("the settings in " + path + " name \"" + saved.itemName + "\", which " + scene.source +
                          " does not have (objects: " + scene.objectNames() + ")");
    session.pickTarget(saved.itemName);
    return "target \"" + saved.itemName + "\" by its saved name; the saved item ID is " +
           (byID ? "\"" + byID->name + "\" in this scene" : "no object of this scene");
}

// Sets the layer up: settings first, then what the command line asks on top of them.
const ImportedObject &configure(Session &session, const Options &o, const ImportedScene &scene, RenderStats &stats)
{
    if (session.renderNode()) {
        if (o.loadSettings.empty())
            throw UsageError("--render-node renders a saved layer: give it --load-settings FILE");
        if (!o.target.empty() || o.invert || o.in || o.softEdge > 0.0 || o.fillRule >= 0 || o.children)
            throw UsageError("--render-node renders the layer as saved: --target, --invert, --in, --fill-rule, "
                             "--children and --soft-edge need the settings panel a render node does not have");
    }
    if (!o.loadSettings.empty()) {
        const SavedSettings saved = session.loadSettings(o.loadSettings);
        if (o.target.empty())
            stats.settingsNote = o.loadSettings + ": " + matchSavedTarget(session, saved, o.loadSettings, scene) +
                                 (session.renderNode() ? ", on a render node" : "");
    }
    if (!o.target.empty())
        session.pickTarget(o.target);
    else if (o.loadSettings.empty())
        session.pickTarget(scene.objects.front().name);
    if (o.invert || o.in)
        session.setInvert(o.invert);
    if (o.softEdge > 0.0)
        session.setSoftEdge(o.softEdge);
    if (o.fillRule >= 0)
        session.setValue(fillRuleValue, o.fillRule);
    if (o.children)
        session.setValue(childrenValue, 1);

    const int position = session.targetPosition();
    if (!objectAt(scene, position))
        throw RenderError("the texture has no Target Item");
    if (!o.saveSettings.empty())
        session.saveSettings(o.saveSettings);
    return scene.objects[static_cast<std::size_t>(position - 1)];
}

class Accounting {
public:
    Accounting(Session &s, RenderStats &st) : session(s), stats(st) {}
    // Wraps one pass: its points and time, and the cache builds it caused.
    template <typename Pass> Field run(Pass pass)
    {
        const long before = session.meshInfoCalls();
        PassStats passStats;
        Field field = pass(passStats);
        const long built = session.meshInfoCalls() - before;
        stats.points += passStats.points;
        stats.evaluationSeconds += passStats.seconds;
        if (built > 0) {
            stats.builds += built;
            stats.buildSeconds += passStats.slowestFirst;
        }
        done += passStats.points;
        return field;
    }
    long long done = 0;

private:
    Session &session;
    RenderStats &stats;
};

bool isPng(const std::filesystem::path &p)
{
    std::string ext = p.extension().string();
    for (char &c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".png";
}

// Earlier runs' images the pattern names, removed before this run writes its own.
void removeEarlierImages(const std::string &dir, const NamePattern &names)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const fs::directory_entry &entry : fs::directory_iterator(dir, ec)) {
        if (entry.is_regular_file(ec) && names.matches(entry.path().filename().string())) {
            if (!fs::remove(entry.path(), ec) || ec)
                throw RenderError("cannot remove " + entry.path().string() + (ec ? ": " + ec.message() : ""));
        }
    }
}

// Images in the directory that this run did not write: left from an earlier run, most likely.
void warnOfOtherImages(const RenderStats &stats, const Options &o, Progress &progress)
{
    namespace fs = std::filesystem;
    std::set<std::string> written;
    for (const std::string &f : stats.files)
        written.insert(fs::path(f).filename().string());
    std::vector<std::string> others;
    std::error_code ec;
    for (const fs::directory_entry &entry : fs::directory_iterator(o.outDir, ec))
        if (entry.is_regular_file(ec) && isPng(entry.path()) && !written.count(entry.path().filename().string()))
            others.push_back(entry.path().filename().string());
    if (others.empty())
        return;
    std::sort(others.begin(), others.end());
    progress.warn(o.outDir + " also holds " + counted(static_cast<long long>(others.size()), "image", "images") +
                  " this run did not write, such as " + others.front() +
                  (o.clean ? "" : " (--clean removes earlier images its --name pattern matches)"));
}

std::string gigabytes(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
    return text;
}

} // namespace

double memoryEstimate(int width, int height, int sheetSlices)
{
    // Per pixel: two fields of doubles, their two colour images, the X-ray's copy with its
    // legend and libpng's rows; the sheet holds a quarter-size field and image per slice.
    const double pixels = static_cast<double>(width) * height;
    const double sheet = sheetSlices > 0 ? pixels / 4 * (sheetSlices * 3 + 8 + 3) : 0.0;
    return pixels * (2 * 8 + 3 * 3 + 3) + sheet;
}

double memoryCap() { return sizeof(void *) >= 8 ? 2e9 : 0.75e9; }

RenderStats runRender(const Options &o, const ImportedScene &scene, Progress &progress, bool keepFields)
{
    if (scene.objects.empty())
        throw RenderError(scene.source + " has no polygons");
    if (!o.target.empty() && !scene.find(o.target))
        throw RenderError("no object named \"" + o.target + "\" in " + scene.source + " (objects: " +
                          scene.objectNames() + ")");

    RenderStats stats;
    stats.source = scene.source;
    stats.axis = o.axis;
    stats.view = o.view;
    stats.threads = o.threads;
    stats.depthSamples = o.depthSamples;
    stats.outDir = o.outDir;
    stats.fps = o.fps > 0 ? o.fps : scene.fps;
    stats.firstFrame = o.framesGiven ? o.firstFrame : scene.animated ? scene.firstFrame : 0;
    stats.lastFrame = o.framesGiven ? o.lastFrame : scene.animated ? scene.lastFrame : 0;
    stats.frameStep = !o.framesGiven && scene.animated && scene.frameStep > 1 ? scene.frameStep : 1;
    stats.sheetFrame = stats.firstFrame + (stats.lastFrame - stats.firstFrame) / stats.frameStep / 2 * stats.frameStep;

    const long long frameCount = (static_cast<long long>(stats.lastFrame) - stats.firstFrame) / stats.frameStep + 1;
    stats.namePattern = o.namePattern.empty() ? defaultNamePattern(stats.firstFrame) : o.namePattern;
    const NamePattern names(stats.namePattern);
    if (frameCount > 1 && !names.numbersFrames())
        throw UsageError("--name " + stats.namePattern + " needs {frame} or {index} for " +
                         counted(frameCount, "frame", "frames"));

    Session session(modulePathFor(o.modulePath), o.renderNode);
    session.addScene(scene);
    const ImportedObject &target = configure(session, o, scene, stats);
    stats.target = target.name;
    stats.inverted = session.inverted();
    for (const ImportedObject &object : scene.objects)
        stats.meshes.emplace_back(object.name, reportMesh(object.points, object.polygons));

    // One framing for every frame, so that motion shows and the images line up.
    Box all;
    for (int f = stats.firstFrame; f <= stats.lastFrame; f += stats.frameStep) {
        const Box b = target.worldBounds(f / stats.fps);
        if (!b.empty()) {
            all.add(b.min);
            all.add(b.max);
        }
    }
    if (all.empty())
        throw RenderError("the target \"" + target.name + "\" has no finite points");
    int width = o.width, height = o.height;
    if (width <= 0 || height <= 0)
        sizeFor(all, o.view, o.resolution, o.margin, width, height);
    const Framing framing = frameBox(all, o.view, width, height, o.margin);
    stats.framing = framing;
    const double memory = memoryEstimate(width, height, o.sheetSlices);
    if (memory > memoryCap() && !o.force)
        throw RenderError("images of " + std::to_string(width) + "x" + std::to_string(height) + " pixels need about " +
                          gigabytes(memory) + " of memory, more than the " + gigabytes(memoryCap()) +
                          " allowed without --force; ask for a smaller --resolution or --size");

    const int sheetColumns = o.sheetSlices > 0 ? static_cast<int>(std::ceil(std::sqrt(o.sheetSlices))) : 0;
    const int sheetRows = sheetColumns ? (o.sheetSlices + sheetColumns - 1) / sheetColumns : 0;
    const int tileWidth = std::max(1, width / 2), tileHeight = std::max(1, height / 2);
    const Framing tileFraming = frameBox(all, o.view, tileWidth, tileHeight, o.margin);

    std::error_code ec;
    std::filesystem::create_directories(o.outDir, ec);
    if (ec || !std::filesystem::is_directory(o.outDir))
        throw RenderError("cannot create the output directory " + o.outDir +
                          (ec ? ": " + ec.message() : std::string()));
    if (o.clean)
        removeEarlierImages(o.outDir, names);

    const MeshReport &targetMesh = stats.meshes[static_cast<std::size_t>(&target - scene.objects.data())].second;
    if (!targetMesh.closed())
        progress.warn("the target \"" + target.name + "\" is " + closednessText(targetMesh) +
                      "; what the texture answers depends on the texture axis");

    const long long pixels = static_cast<long long>(width) * height;
    progress.start(frameCount * pixels * (1 + o.depthSamples) +
                   static_cast<long long>(o.sheetSlices) * tileWidth * tileHeight);

    const LayerSampler sampler(session, o.axis);
    Accounting account(session, stats);
    int frameIndex = 0;   // the frame's place in the run
    auto write = [&](const char *kind, int frame, const Image &image) {
        const std::string path = (std::filesystem::path(o.outDir) / names.name(kind, frame, frameIndex)).string();
        writePng(path, image);
        stats.files.push_back(path);
        progress.note("wrote " + path);
    };

    try {
        session.begin();
        for (int f = stats.firstFrame; f <= stats.lastFrame; f += stats.frameStep) {
            const double seconds = f / stats.fps;
            session.frame(f, seconds);
            const std::string label = "frame " + std::to_string(f);
            auto tick = [&](const std::string &what) {
                return [&progress, &account, what](long long done) { progress.update(account.done + done, what); };
            };
            const std::vector<Vec3> world = target.worldPoints(seconds);
            // Across and up stay put from frame to frame; along the view, slices and X-rays
            // follow the target, so that they always cut through it.
            const Box box = target.worldBounds(seconds);
            Framing view = framing, tileView = tileFraming;
            if (!box.empty()) {
                view.depthMin = tileView.depthMin = box.min[static_cast<std::size_t>(o.view)];
                view.depthMax = tileView.depthMax = box.max[static_cast<std::size_t>(o.view)];
            }
            const double sliceDepth = (view.depthMin + view.depthMax) / 2;

            Field slice = account.run([&](PassStats &ps) {
                return sampleSlice(sampler, view, sliceDepth, o.threads, ps, tick(label + " slice"));
            });
            Image sliceImage = colourSlice(slice);
            drawOutline(sliceImage, view, sectionOutline(world, target.polygons, view, sliceDepth));
            drawAxisLabels(sliceImage, view);
            write("slice", f, sliceImage);

            Field volume = account.run([&](PassStats &ps) {
                return sampleVolume(sampler, view, o.depthSamples, o.threads, ps, tick(label + " x-ray"));
            });
            Image volumeImage = colourVolume(volume);
            drawAxisLabels(volumeImage, view);
            write("volume", f, withXrayLegend(volumeImage));

            if (f == stats.sheetFrame && o.sheetSlices > 0) {
                Image sheet(sheetColumns * tileWidth + (sheetColumns + 1) * sheetGap,
                            sheetRows * tileHeight + (sheetRows + 1) * sheetGap, sheetBackground);
                for (int k = 0; k < o.sheetSlices; ++k) {
                    const double depth =
                        tileView.depthMin + (k + 0.5) * (tileView.depthMax - tileView.depthMin) / o.sheetSlices;
                    Field tile = account.run([&](PassStats &ps) {
                        return sampleSlice(sampler, tileView, depth, o.threads, ps, tick(label + " sheet"));
                    });
                    Image tileImage = colourSlice(tile);
                    drawOutline(tileImage, tileView, sectionOutline(world, target.polygons, tileView, depth));
                    drawAxisLabels(tileImage, tileView);
                    sheet.paste(tileImage, sheetGap + (k % sheetColumns) * (tileWidth + sheetGap),
                                sheetGap + (k / sheetColumns) * (tileHeight + sheetGap));
                }
                write("sheet", f, sheet);
            }

            if (keepFields) {
                FrameResult r;
                r.frame = f;
                r.seconds = seconds;
                r.targetBounds = box;
                r.framing = view;
                r.sliceDepth = sliceDepth;
                r.slice = std::move(slice);
                r.volume = std::move(volume);
                stats.frames.push_back(std::move(r));
            }
            ++frameIndex;
        }
        session.end();
    } catch (...) {
        progress.abandon();
        throw;
    }
    progress.finish();
    warnOfOtherImages(stats, o, progress);
    return stats;
}

std::string summary(const RenderStats &s)
{
    char buf[512];
    std::string out;
    std::snprintf(buf, sizeof buf, "ostrevin-render: %s, target \"%s\" (%s), texture axis %s, view %s\n",
                  s.source.c_str(), s.target.c_str(), s.inverted ? "Out" : "In", axisName(s.axis),
                  viewName(s.view));
    out += buf;
    std::snprintf(buf, sizeof buf, "  frames %d-%d at %g fps, %dx%d pixels, %d samples per X-ray, %s\n",
                  s.firstFrame, s.lastFrame, s.fps, s.framing.width, s.framing.height, s.depthSamples,
                  counted(s.threads, "thread", "threads").c_str());
    out += buf;
    if (!s.settingsNote.empty())
        out += "  settings           " + s.settingsNote + "\n";
    // Whether each mesh closes: an open target's answer depends on the texture axis.
    constexpr std::size_t shownMeshes = 12;
    for (std::size_t i = 0; i < s.meshes.size() && i < shownMeshes; ++i) {
        const auto &[name, mesh] = s.meshes[i];
        std::snprintf(buf, sizeof buf, "  %-18s %s, %s, %s\n", name == s.target ? "target" : "object",
                      ("\"" + name + "\"").c_str(), counted(static_cast<long long>(mesh.points), "point", "points").c_str(),
                      closednessText(mesh).c_str());
        out += buf;
    }
    if (s.meshes.size() > shownMeshes)
        out += "  and " + counted(static_cast<long long>(s.meshes.size() - shownMeshes), "more object", "more objects") +
               " (see --list)\n";
    std::snprintf(buf, sizeof buf, "  points evaluated   %lld\n", s.points);
    out += buf;
    const double rate = s.evaluationSeconds > 0 ? static_cast<double>(s.points) / s.evaluationSeconds : 0.0;
    std::snprintf(buf, sizeof buf, "  points per second  %.2f million\n", rate / 1e6);
    out += buf;
    std::snprintf(buf, sizeof buf, "  cache builds       %ld (meshInfo calls), %.3f ms per build\n", s.builds,
                  s.builds ? s.buildSeconds * 1e3 / static_cast<double>(s.builds) : 0.0);
    out += buf;
    std::snprintf(buf, sizeof buf, "  images             %zu written to %s as %s\n", s.files.size(), s.outDir.c_str(),
                  s.namePattern.c_str());
    out += buf;
    return out;
}

} // namespace render
