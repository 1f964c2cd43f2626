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
#include "tools/ostrevin-render/mask_objects.h"
#include "tools/ostrevin-render/output_names.h"
#include "tools/ostrevin-render/png_writer.h"
#include "tools/ostrevin-render/session.h"

namespace render {

namespace {

constexpr int sheetGap = 4;
// The panel's "Fill Rule" and "Include Children" value IDs.
constexpr unsigned int fillRuleValue = 0x8003;
constexpr unsigned int childrenValue = 0x8004;
constexpr int tolerantRule = 2;

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

// The object --target names: its name exactly, or in any case when only one object has it so.
std::string targetNamed(const ImportedScene &scene, const std::string &given)
{
    const std::vector<const ImportedObject *> matches = scene.findAnyCase(given);
    if (matches.size() == 1)
        return matches.front()->name;
    if (matches.empty())
        throw RenderError("no object named \"" + given + "\" in " + scene.source + " (objects: " + scene.objectNames() +
                          ")");
    std::string names;
    for (const ImportedObject *m : matches)
        names += (names.empty() ? "" : ", ") + m->name;
    throw RenderError("\"" + given + "\" matches " + names + " in " + scene.source + "; give the name in its own case");
}

// Sets the layer up: settings first, then what the command line asks on top of them.
const ImportedObject &configure(Session &session, const Options &o, const std::string &targetName,
                                const ImportedScene &scene, RenderStats &stats, Progress &progress)
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
        for (const std::string &change : saved.changes)
            progress.warn(change);
        if (targetName.empty())
            stats.settingsNote = o.loadSettings + ": " + matchSavedTarget(session, saved, o.loadSettings, scene) +
                                 (session.renderNode() ? ", on a render node" : "");
    }
    if (!targetName.empty())
        session.pickTarget(targetName);
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

// What the panel holds once settings are loaded and the options applied.
void readSettingsInEffect(Session &session, RenderStats &stats)
{
    const LoadedSettings held = session.held();
    stats.inverted = held.flip != 0;
    stats.fillRule = held.fillRule;
    stats.softEdge = held.softEdge;
    stats.includeChildren = held.children != 0;
}

// The module leaves out objects past its limits without a word; a pre-flight check says so.
void warnOfLeftOutChildren(const MaskObjects &mask, const std::string &target, Progress &progress)
{
    if (mask.pastChildLimit)
        progress.warn("Include Children takes at most " + std::to_string(maskChildLimit) + " objects below \"" +
                      target + "\"; " + counted(static_cast<long long>(mask.pastChildLimit), "more is", "more are") +
                      " left out");
    if (mask.pastLevelLimit)
        progress.warn("Include Children goes at most " + std::to_string(maskLevelLimit) + " levels below \"" + target +
                      "\"; " + counted(static_cast<long long>(mask.pastLevelLimit), "object", "objects") +
                      " further down " + (mask.pastLevelLimit == 1 ? "is" : "are") + " left out");
}

// An open mesh has no inside of its own: Even-Odd and Non-Zero then answer by the texture axis,
// while Tolerant votes along every axis and answers the same on each.
void warnOfOpenMeshes(const RenderStats &stats, const MaskObjects &mask, Progress &progress)
{
    if (stats.fillRule == tolerantRule)
        return;
    for (const std::size_t m : mask.members) {
        const auto &[name, mesh] = stats.meshes[m];
        if (!mesh.closed())
            progress.warn(std::string(m == mask.members.front() ? "the target" : "the child") + " \"" + name +
                          "\" is " + closednessText(mesh) + "; what the texture answers depends on the texture axis");
    }
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
    const std::string targetName = o.target.empty() ? std::string() : targetNamed(scene, o.target);

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
    stats.frameStep = o.framesGiven                            ? std::max(1, o.frameStep)
                      : scene.animated && scene.frameStep > 1 ? scene.frameStep
                                                              : 1;
    stats.sheetFrame = stats.firstFrame + (stats.lastFrame - stats.firstFrame) / stats.frameStep / 2 * stats.frameStep;

    const long long frameCount = (static_cast<long long>(stats.lastFrame) - stats.firstFrame) / stats.frameStep + 1;
    stats.namePattern = o.namePattern.empty() ? defaultNamePattern(stats.firstFrame) : o.namePattern;
    const NamePattern names(stats.namePattern);
    if (frameCount > 1 && !names.numbersFrames())
        throw UsageError("--name " + stats.namePattern + " needs {frame} or {index} for " +
                         counted(frameCount, "frame", "frames"));

    Session session(modulePathFor(o.modulePath), o.renderNode);
    session.addScene(scene);
    const ImportedObject &target = configure(session, o, targetName, scene, stats, progress);
    stats.target = target.name;
    readSettingsInEffect(session, stats);
    const MaskObjects mask = maskObjects(scene, static_cast<std::size_t>(&target - scene.objects.data()),
                                         stats.includeChildren);
    for (std::size_t k = 1; k < mask.members.size(); ++k)
        stats.children.push_back(scene.objects[mask.members[k]].name);
    stats.childrenLeftOut = mask.pastChildLimit + mask.pastLevelLimit;
    for (const ImportedObject &object : scene.objects)
        stats.meshes.emplace_back(object.name, reportMesh(object.points, object.polygons));

    // One framing for every frame, so that motion shows and the images line up; with children,
    // of everything the texture masks by.
    Box all;
    for (int f = stats.firstFrame; f <= stats.lastFrame; f += stats.frameStep) {
        const Box b = maskBounds(scene, mask, f / stats.fps);
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
    if (o.sliceGiven)
        stats.slicePlace = depthLabel(framing, hostCoordinate(framing.view, o.sliceAt));
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

    warnOfLeftOutChildren(mask, target.name, progress);
    warnOfOpenMeshes(stats, mask, progress);

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
            std::vector<std::vector<Vec3>> world;
            for (const std::size_t m : mask.members)
                world.push_back(scene.objects[m].worldPoints(seconds));
            auto outline = [&](const Framing &plane, double depth) {
                std::vector<Segment> segments;
                for (std::size_t k = 0; k < world.size(); ++k) {
                    const std::vector<Segment> own =
                        sectionOutline(world[k], scene.objects[mask.members[k]].polygons, plane, depth);
                    segments.insert(segments.end(), own.begin(), own.end());
                }
                return segments;
            };
            // Across and up stay put from frame to frame; along the view, slices and X-rays
            // follow the target, so that they always cut through it.
            const Box box = maskBounds(scene, mask, seconds);
            Framing view = framing, tileView = tileFraming;
            if (!box.empty()) {
                view.depthMin = tileView.depthMin = box.min[static_cast<std::size_t>(framing.view)];
                view.depthMax = tileView.depthMax = box.max[static_cast<std::size_t>(framing.view)];
            }
            const double sliceDepth =
                o.sliceGiven ? hostCoordinate(framing.view, o.sliceAt) : (view.depthMin + view.depthMax) / 2;

            Field slice = account.run([&](PassStats &ps) {
                return sampleSlice(sampler, view, sliceDepth, o.threads, ps, tick(label + " slice"));
            });
            Image sliceImage = colourSlice(slice);
            drawOutline(sliceImage, view, outline(view, sliceDepth));
            drawAxisLabels(sliceImage, view);
            drawDepthLabel(sliceImage, view, sliceDepth);
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
                    drawOutline(tileImage, tileView, outline(tileView, depth));
                    drawAxisLabels(tileImage, tileView);
                    drawDepthLabel(tileImage, tileView, depth);
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

namespace {

// Every setting of the layer in effect, as its panel names them.
std::string settingsLine(const RenderStats &s)
{
    static const char *const rules[] = {"Even-Odd", "Non-Zero", "Tolerant"};
    char width[32];
    std::snprintf(width, sizeof width, "%g", s.softEdge);
    std::string line = std::string("  settings           Fill Rule ") +
                       (s.fillRule >= 0 && s.fillRule < 3 ? rules[s.fillRule] : "?") + ", Soft Edge " +
                       (s.softEdge > 0.0 ? width : "0 (hard)") + ", Include Children ";
    if (!s.includeChildren)
        return line + "off\n";
    line += "on (" + counted(static_cast<long long>(s.children.size()), "object", "objects") + " below the target";
    if (s.childrenLeftOut)
        line += ", " + std::to_string(s.childrenLeftOut) + " left out";
    return line + ")\n";
}

} // namespace

std::string summary(const RenderStats &s)
{
    char buf[512];
    std::string out;
    std::snprintf(buf, sizeof buf, "ostrevin-render: %s, target \"%s\" (%s), texture axis %s, view %s\n",
                  s.source.c_str(), s.target.c_str(), s.inverted ? "Out" : "In", axisName(s.axis),
                  viewName(s.view));
    out += buf;
    out += settingsLine(s);
    std::snprintf(buf, sizeof buf,
                  "  frames %d-%d step %d at %g fps, %dx%d pixels, slice %s, %d samples per X-ray, %s\n",
                  s.firstFrame, s.lastFrame, s.frameStep, s.fps, s.framing.width, s.framing.height,
                  s.slicePlace.empty() ? "through the middle" : ("at " + s.slicePlace).c_str(), s.depthSamples,
                  counted(s.threads, "thread", "threads").c_str());
    out += buf;
    if (!s.settingsNote.empty())
        out += "  loaded             " + s.settingsNote + "\n";
    // Whether each mesh closes: an open target's answer depends on the texture axis.
    constexpr std::size_t shownMeshes = 12;
    for (std::size_t i = 0; i < s.meshes.size() && i < shownMeshes; ++i) {
        const auto &[name, mesh] = s.meshes[i];
        const bool child = std::find(s.children.begin(), s.children.end(), name) != s.children.end();
        std::snprintf(buf, sizeof buf, "  %-18s %s, %s, %s\n", name == s.target ? "target" : child ? "child" : "object",
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
