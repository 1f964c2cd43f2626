#include "tools/ostrevin-render/render_job.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "host/module_loader.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/image.h"
#include "tools/ostrevin-render/png_writer.h"
#include "tools/ostrevin-render/session.h"

namespace render {

namespace {

constexpr int sheetGap = 4;
// The panel's "Fill Rule" and "Include Children" value IDs.
constexpr unsigned int fillRuleValue = 0x8003;
constexpr unsigned int childrenValue = 0x8004;

std::string framePath(const std::string &dir, const char *kind, int frame)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s_%04d.png", kind, frame);
    return (std::filesystem::path(dir) / name).string();
}

// Sets the layer up: settings first, then what the command line asks on top of them.
const ImportedObject &configure(Session &session, const Options &o, const ImportedScene &scene)
{
    if (!o.loadSettings.empty())
        session.loadSettings(o.loadSettings);
    if (!o.target.empty())
        session.pickTarget(o.target);
    else if (o.loadSettings.empty())
        session.pickTarget(scene.objects.front().name);
    if (o.invert)
        session.setInvert(true);
    if (o.fillRule >= 0)
        session.setValue(fillRuleValue, o.fillRule);
    if (o.children)
        session.setValue(childrenValue, 1);

    const int position = session.targetPosition();
    if (position < 1 || static_cast<std::size_t>(position) > scene.objects.size()) {
        if (!o.loadSettings.empty())
            throw RenderError("the settings in " + o.loadSettings + " name no object of " + scene.source);
        throw RenderError("the texture has no Target Item");
    }
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

} // namespace

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
    stats.sheetFrame = stats.firstFrame + (stats.lastFrame - stats.firstFrame) / 2;

    Session session(o.modulePath.empty() ? standin::defaultModulePath() : o.modulePath);
    session.addScene(scene);
    const ImportedObject &target = configure(session, o, scene);
    stats.target = target.name;
    stats.inverted = session.inverted();

    // One framing for every frame, so that motion shows and the images line up.
    Box all;
    for (int f = stats.firstFrame; f <= stats.lastFrame; ++f) {
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

    const int sheetColumns = o.sheetSlices > 0 ? static_cast<int>(std::ceil(std::sqrt(o.sheetSlices))) : 0;
    const int sheetRows = sheetColumns ? (o.sheetSlices + sheetColumns - 1) / sheetColumns : 0;
    const int tileWidth = std::max(1, width / 2), tileHeight = std::max(1, height / 2);
    const Framing tileFraming = frameBox(all, o.view, tileWidth, tileHeight, o.margin);

    std::error_code ec;
    std::filesystem::create_directories(o.outDir, ec);
    if (ec || !std::filesystem::is_directory(o.outDir))
        throw RenderError("cannot create the output directory " + o.outDir +
                          (ec ? ": " + ec.message() : std::string()));

    const long long frameCount = static_cast<long long>(stats.lastFrame) - stats.firstFrame + 1;
    const long long pixels = static_cast<long long>(width) * height;
    progress.start(frameCount * pixels * (1 + o.depthSamples) +
                   static_cast<long long>(o.sheetSlices) * tileWidth * tileHeight);

    const LayerSampler sampler(session, o.axis);
    Accounting account(session, stats);
    auto write = [&](const std::string &path, const Image &image) {
        writePng(path, image);
        stats.files.push_back(path);
        progress.note("wrote " + path);
    };

    try {
        session.begin();
        for (int f = stats.firstFrame; f <= stats.lastFrame; ++f) {
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
            drawOutline(sliceImage, view, sectionOutline(world, target.polygons, o.view, sliceDepth));
            write(framePath(o.outDir, "slice", f), sliceImage);

            Field volume = account.run([&](PassStats &ps) {
                return sampleVolume(sampler, view, o.depthSamples, o.threads, ps, tick(label + " x-ray"));
            });
            write(framePath(o.outDir, "volume", f), colourVolume(volume));

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
                    drawOutline(tileImage, tileView, sectionOutline(world, target.polygons, o.view, depth));
                    sheet.paste(tileImage, sheetGap + (k % sheetColumns) * (tileWidth + sheetGap),
                                sheetGap + (k / sheetColumns) * (tileHeight + sheetGap));
                }
                write(framePath(o.outDir, "sheet", f), sheet);
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
        }
        session.end();
    } catch (...) {
        progress.abandon();
        throw;
    }
    progress.finish();
    return stats;
}

std::string summary(const RenderStats &s)
{
    char buf[512];
    std::string out;
    std::snprintf(buf, sizeof buf, "ostrevin-render: %s, target \"%s\" (%s), texture axis %s, view %s\n",
                  s.source.c_str(), s.target.c_str(), s.inverted ? "Out" : "In", axisName(s.axis),
                  axisName(s.view));
    out += buf;
    std::snprintf(buf, sizeof buf, "  frames %d-%d at %g fps, %dx%d pixels, %d samples per X-ray, %d threads\n",
                  s.firstFrame, s.lastFrame, s.fps, s.framing.width, s.framing.height, s.depthSamples, s.threads);
    out += buf;
    std::snprintf(buf, sizeof buf, "  points evaluated   %lld\n", s.points);
    out += buf;
    const double rate = s.evaluationSeconds > 0 ? static_cast<double>(s.points) / s.evaluationSeconds : 0.0;
    std::snprintf(buf, sizeof buf, "  points per second  %.2f million\n", rate / 1e6);
    out += buf;
    std::snprintf(buf, sizeof buf, "  cache builds       %ld (meshInfo calls), %.3f ms per build\n", s.builds,
                  s.builds ? s.buildSeconds * 1e3 / static_cast<double>(s.builds) : 0.0);
    out += buf;
    std::snprintf(buf, sizeof buf, "  images             %zu written to %s\n", s.files.size(), s.outDir.c_str());
    out += buf;
    return out;
}

} // namespace render
