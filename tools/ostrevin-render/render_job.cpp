#include "tools/ostrevin-render/render_job.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

#include "host/module_loader.h"
#include "tools/ostrevin-render/camera_job.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/gif_writer.h"
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

namespace {

// The frames to render, their rate and the names the images take.
NamePattern planFrames(const Options &o, const ImportedScene &scene, RenderStats &stats, long long &frameCount)
{
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
    stats.cameraView = o.cameraView == 1 || (o.cameraView < 0 && scene.camera.has_value());

    frameCount = (static_cast<long long>(stats.lastFrame) - stats.firstFrame) / stats.frameStep + 1;
    stats.namePattern = o.namePattern.empty() ? defaultNamePattern(stats.firstFrame) : o.namePattern;
    NamePattern names(stats.namePattern);
    if (frameCount > 1 && !names.numbersFrames())
        throw UsageError("--name " + stats.namePattern + " needs {frame} or {index} for " +
                         counted(frameCount, "frame", "frames"));
    return names;
}

// The box a set of objects sweeps over the frames.
Box sweptBox(const RenderStats &stats, const std::vector<const ImportedObject *> &objects)
{
    Box all;
    for (int f = stats.firstFrame; f <= stats.lastFrame; f += stats.frameStep)
        for (const ImportedObject *object : objects) {
            const Box b = object->worldBounds(f / stats.fps);
            if (!b.empty()) {
                all.add(b.min);
                all.add(b.max);
            }
        }
    return all;
}

void checkMemory(const Options &o, int width, int height, int sheetSlices)
{
    const double memory = memoryEstimate(width, height, sheetSlices);
    if (memory > memoryCap() && !o.force)
        throw RenderError("images of " + std::to_string(width) + "x" + std::to_string(height) + " pixels need about " +
                          gigabytes(memory) + " of memory, more than the " + gigabytes(memoryCap()) +
                          " allowed without --force; ask for a smaller --resolution or --size");
}

void prepareOutput(const Options &o, const NamePattern &names)
{
    std::error_code ec;
    std::filesystem::create_directories(o.outDir, ec);
    if (ec || !std::filesystem::is_directory(o.outDir))
        throw RenderError("cannot create the output directory " + o.outDir +
                          (ec ? ": " + ec.message() : std::string()));
    if (o.clean)
        removeEarlierImages(o.outDir, names);
}

// What every frame's pass shares: the session, its accounting and the images written.
struct FrameRun {
    const Options &o;
    const ImportedScene &scene;
    Session &session;
    const ImportedObject &target;
    const MaskObjects &mask;    // the target and the children it takes
    RenderStats &stats;
    Progress &progress;
    const NamePattern &names;
    Accounting account;
    int frameIndex = 0;   // the frame's place in the run

    std::string path(const char *kind, int frame) const
    {
        return (std::filesystem::path(o.outDir) / names.name(kind, frame, frameIndex)).string();
    }
    void write(const char *kind, int frame, const Image &image)
    {
        const std::string file = path(kind, frame);
        writePng(file, image);
        stats.files.push_back(file);
        progress.note("wrote " + file);
    }
    Tick tick(const std::string &what)
    {
        return [this, what](long long done) { progress.update(account.done + done, what); };
    }
};

void warnOfMask(FrameRun &run)
{
    warnOfLeftOutChildren(run.mask, run.target.name, run.progress);
    warnOfOpenMeshes(run.stats, run.mask, run.progress);
}

// The mask's objects, the box they sweep over the frames: one framing for every frame.
std::vector<const ImportedObject *> maskMembers(const FrameRun &run)
{
    std::vector<const ImportedObject *> members;
    for (const std::size_t m : run.mask.members)
        members.push_back(&run.scene.objects[m]);
    return members;
}

// Each mask member's points at a time, in the mask's order.
std::vector<std::vector<Vec3>> maskPoints(const FrameRun &run, double seconds)
{
    std::vector<std::vector<Vec3>> world;
    for (const std::size_t m : run.mask.members)
        world.push_back(run.scene.objects[m].worldPoints(seconds));
    return world;
}

// Where a plane cuts the target and its children.
std::vector<Segment> maskOutline(const FrameRun &run, const std::vector<std::vector<Vec3>> &world,
                                 const Framing &plane, double depth)
{
    std::vector<Segment> segments;
    for (std::size_t k = 0; k < world.size(); ++k) {
        const std::vector<Segment> own =
            sectionOutline(world[k], run.scene.objects[run.mask.members[k]].polygons, plane, depth);
        segments.insert(segments.end(), own.begin(), own.end());
    }
    return segments;
}

// Slices at even depths through the target, at half size, side by side, each labelled with its place.
Image renderSheet(FrameRun &run, const LayerSampler &sampler, const Framing &tileView,
                  const std::vector<std::vector<Vec3>> &world, const std::string &label)
{
    const Options &o = run.o;
    const int columns = static_cast<int>(std::ceil(std::sqrt(o.sheetSlices)));
    const int rows = (o.sheetSlices + columns - 1) / columns;
    Image sheet(columns * tileView.width + (columns + 1) * sheetGap, rows * tileView.height + (rows + 1) * sheetGap,
                sheetBackground);
    for (int k = 0; k < o.sheetSlices; ++k) {
        const double depth = tileView.depthMin + (k + 0.5) * (tileView.depthMax - tileView.depthMin) / o.sheetSlices;
        Field tile = run.account.run([&](PassStats &ps) {
            return sampleSlice(sampler, tileView, depth, o.threads, ps, run.tick(label + " sheet"));
        });
        Image tileImage = colourSlice(tile);
        drawOutline(tileImage, tileView, maskOutline(run, world, tileView, depth));
        drawAxisLabels(tileImage, tileView);
        drawDepthLabel(tileImage, tileView, depth);
        sheet.paste(tileImage, sheetGap + (k % columns) * (tileView.width + sheetGap),
                    sheetGap + (k / columns) * (tileView.height + sheetGap));
    }
    return sheet;
}

// Slices, X-rays and the contact sheet, framed on the box the target (with its children) sweeps
// over every frame, so that motion shows and the images line up.
void renderViewFrames(FrameRun &run, long long frameCount, bool keepFields)
{
    const Options &o = run.o;
    RenderStats &stats = run.stats;
    const ImportedObject &target = run.target;
    const Box all = sweptBox(stats, maskMembers(run));
    if (all.empty())
        throw RenderError("the target \"" + target.name + "\" has no finite points");
    int width = o.width, height = o.height;
    if (width <= 0 || height <= 0)
        sizeFor(all, o.view, o.resolution, o.margin, width, height);
    const Framing framing = frameBox(all, o.view, width, height, o.margin);
    stats.framing = framing;
    if (o.sliceGiven)
        stats.slicePlace = depthLabel(framing, hostCoordinate(framing.view, o.sliceAt));
    checkMemory(o, width, height, o.sheetSlices);

    const int tileWidth = std::max(1, width / 2), tileHeight = std::max(1, height / 2);
    const Framing tileFraming = frameBox(all, o.view, tileWidth, tileHeight, o.margin);
    prepareOutput(o, run.names);
    warnOfMask(run);

    const long long pixels = static_cast<long long>(width) * height;
    run.progress.start(frameCount * pixels * (1 + o.depthSamples) +
                       static_cast<long long>(o.sheetSlices) * tileWidth * tileHeight);
    const LayerSampler sampler(run.session, o.axis);
    run.session.begin();
    for (int f = stats.firstFrame; f <= stats.lastFrame; f += stats.frameStep, ++run.frameIndex) {
        const double seconds = f / stats.fps;
        run.session.frame(f, seconds);
        const std::string label = "frame " + std::to_string(f);
        const std::vector<std::vector<Vec3>> world = maskPoints(run, seconds);
        // Across and up stay put from frame to frame; along the view, slices and X-rays
        // follow the target, so that they always cut through it.
        const Box box = maskBounds(run.scene, run.mask, seconds);
        Framing view = framing, tileView = tileFraming;
        if (!box.empty()) {
            view.depthMin = tileView.depthMin = box.min[static_cast<std::size_t>(framing.view)];
            view.depthMax = tileView.depthMax = box.max[static_cast<std::size_t>(framing.view)];
        }
        const double sliceDepth =
            o.sliceGiven ? hostCoordinate(framing.view, o.sliceAt) : (view.depthMin + view.depthMax) / 2;

        Field slice = run.account.run([&](PassStats &ps) {
            return sampleSlice(sampler, view, sliceDepth, o.threads, ps, run.tick(label + " slice"));
        });
        Image sliceImage = colourSlice(slice);
        drawOutline(sliceImage, view, maskOutline(run, world, view, sliceDepth));
        drawAxisLabels(sliceImage, view);
        drawDepthLabel(sliceImage, view, sliceDepth);
        run.write("slice", f, sliceImage);

        Field volume = run.account.run([&](PassStats &ps) {
            return sampleVolume(sampler, view, o.depthSamples, o.threads, ps, run.tick(label + " x-ray"));
        });
        Image volumeImage = colourVolume(volume);
        drawAxisLabels(volumeImage, view);
        run.write("volume", f, withXrayLegend(volumeImage));

        if (f == stats.sheetFrame && o.sheetSlices > 0)
            run.write("sheet", f, renderSheet(run, sampler, tileView, world, label));

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
    }
    run.session.end();
}

// The scene through its camera, frame by frame, and the animation of those frames.
void renderCameraFrames(FrameRun &run, long long frameCount)
{
    const Options &o = run.o;
    RenderStats &stats = run.stats;
    const CameraTexturing texturing = setUpTexturing(run.session, run.scene, o, run.mask, run.progress);
    stats.surfaceLayers = texturing.surfaceLayers;
    stats.legend = texturing.legend;
    std::vector<const ImportedObject *> everything;
    for (const ImportedObject &object : run.scene.objects)
        everything.push_back(&object);
    const Box all = sweptBox(stats, everything);
    const CameraView first = cameraFor(run.scene, o, all, stats.firstFrame / stats.fps);
    stats.camera = run.scene.camera ? "\"" + run.scene.camera->name + "\"" : std::string("framing every object");
    stats.cameraWidth = first.width;
    stats.cameraHeight = first.height;
    checkMemory(o, first.width, first.height, 0);
    prepareOutput(o, run.names);
    warnOfMask(run);

    const long long perFrame = static_cast<long long>(first.width) * first.height * o.samplesPerSide * o.samplesPerSide;
    run.progress.start(frameCount * perFrame);
    std::unique_ptr<GifWriter> gif;
    if (o.gif == 1 || (o.gif < 0 && frameCount > 1)) {
        stats.gif = (std::filesystem::path(o.outDir) / "camera.gif").string();
        gif = std::make_unique<GifWriter>(stats.gif, first.width, first.height, stats.fps);
    }
    run.session.begin();
    for (int f = stats.firstFrame; f <= stats.lastFrame; f += stats.frameStep, ++run.frameIndex) {
        const double seconds = f / stats.fps;
        run.session.frame(f, seconds);
        const CameraView camera = cameraFor(run.scene, o, all, seconds);
        CameraPassStats pass;
        const long long before = run.session.meshInfoCalls();
        const std::string what = "frame " + std::to_string(f) + " camera";
        const long long base = run.frameIndex * perFrame;
        Image image = renderCameraImage(run.scene, texturing, camera, o, seconds, pass, [&](long long done) {
            run.progress.update(base + std::min(done, perFrame), what);
        });
        const long built = run.session.meshInfoCalls() - before;
        stats.points += pass.points;
        stats.evaluationSeconds += pass.textureSeconds / std::max(1, o.threads);
        if (built > 0) {
            stats.builds += built;
            stats.buildSeconds += pass.slowestFirst;
        }
        stats.cameraPoints += pass.points;
        stats.cameraSeconds += pass.seconds;
        stats.raySeconds += pass.raySeconds;
        stats.textureSeconds += pass.textureSeconds;
        run.progress.update(base + perFrame, what);
        run.write("camera", f, image);
        if (gif)
            gif->add(image);
    }
    run.session.end();
    if (gif) {
        gif->close();
        stats.gifFrames = gif->frames();
        stats.files.push_back(stats.gif);
        run.progress.note("wrote " + stats.gif);
    }
}

} // namespace

RenderStats runRender(const Options &o, const ImportedScene &scene, Progress &progress, bool keepFields)
{
    if (scene.objects.empty())
        throw RenderError(scene.source + " has no polygons");
    const std::string targetName = o.target.empty() ? std::string() : targetNamed(scene, o.target);

    RenderStats stats;
    long long frameCount = 0;
    const NamePattern names = planFrames(o, scene, stats, frameCount);

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

    FrameRun run{o, scene, session, target, mask, stats, progress, names, Accounting(session, stats)};
    try {
        if (stats.cameraView)
            renderCameraFrames(run, frameCount);
        else
            renderViewFrames(run, frameCount, keepFields);
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
                  s.cameraView ? "camera" : viewName(s.view));
    out += buf;
    out += settingsLine(s);
    if (s.cameraView)
        std::snprintf(buf, sizeof buf, "  frames %d-%d step %d at %g fps, %dx%d pixels through camera %s, %s\n",
                      s.firstFrame, s.lastFrame, s.frameStep, s.fps, s.cameraWidth, s.cameraHeight, s.camera.c_str(),
                      counted(s.threads, "thread", "threads").c_str());
    else
        std::snprintf(buf, sizeof buf,
                      "  frames %d-%d step %d at %g fps, %dx%d pixels, slice %s, %d samples per X-ray, %s\n",
                      s.firstFrame, s.lastFrame, s.frameStep, s.fps, s.framing.width, s.framing.height,
                      s.slicePlace.empty() ? "through the middle" : ("at " + s.slicePlace).c_str(), s.depthSamples,
                      counted(s.threads, "thread", "threads").c_str());
    out += buf;
    if (s.cameraView) {
        out += "  surface layers     " + std::to_string(s.surfaceLayers) + " read from the objects' surfaces";
        for (const std::string &entry : s.legend)
            out += "; " + entry;
        out += "\n";
    }
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
    if (s.cameraView) {
        // Thread time: ray casting and the texture's evaluate calls, summed over the threads.
        const double busy = s.raySeconds + s.textureSeconds;
        std::snprintf(buf, sizeof buf,
                      "  camera view        %.2f s: ray casting %.2f s (%.0f%%), texture %.2f s (%.0f%%) of thread time\n",
                      s.cameraSeconds, s.raySeconds, busy > 0 ? 100 * s.raySeconds / busy : 0.0, s.textureSeconds,
                      busy > 0 ? 100 * s.textureSeconds / busy : 0.0);
        out += buf;
        const double perThread = s.textureSeconds > 0 ? static_cast<double>(s.cameraPoints) / s.textureSeconds : 0.0;
        std::snprintf(buf, sizeof buf, "  texture per thread %.2f million points per second\n", perThread / 1e6);
        out += buf;
    }
    std::snprintf(buf, sizeof buf, "  cache builds       %ld (meshInfo calls), %.3f ms per build\n", s.builds,
                  s.builds ? s.buildSeconds * 1e3 / static_cast<double>(s.builds) : 0.0);
    out += buf;
    std::snprintf(buf, sizeof buf, "  images             %zu written to %s as %s\n", s.files.size(), s.outDir.c_str(),
                  s.namePattern.c_str());
    out += buf;
    if (!s.gif.empty())
        out += "  animation          " + s.gif + ", " + counted(s.gifFrames, "frame", "frames") + "\n";
    return out;
}

} // namespace render
