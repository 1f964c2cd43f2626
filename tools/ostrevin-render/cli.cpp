#include "tools/ostrevin-render/cli.h"

#include <new>
#include <thread>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/options.h"
#include "tools/ostrevin-render/progress.h"
#include "tools/ostrevin-render/render_job.h"
#include "tools/ostrevin-render/scene_import.h"

namespace render {

namespace {

void fail(std::FILE *err, const std::string &message)
{
    std::fprintf(err, "ostrevin-render: %s\n", message.c_str());
    std::fflush(err);
}

void listObjects(const ImportedScene &scene, std::FILE *out)
{
    std::fprintf(out, "%s: %zu objects\n", scene.source.c_str(), scene.objects.size());
    for (const ImportedObject &o : scene.objects)
        std::fprintf(out, "  %-24s %6zu points %6zu polygons\n", o.name.c_str(), o.points.size(), o.polygons.size());
    if (scene.animated)
        std::fprintf(out, "animated: frames %d-%d at %g fps\n", scene.firstFrame, scene.lastFrame, scene.fps);
}

} // namespace

int runCommand(const std::vector<std::string> &args, std::FILE *out, std::FILE *err)
{
    try {
        const Options o = parseOptions(args, static_cast<int>(std::thread::hardware_concurrency()));
        if (o.help) {
            std::fputs(usageText().c_str(), out);
            return exitOk;
        }
        const ImportedScene scene = o.scene.empty() ? importExample() : importScene(o.scene);
        if (o.list) {
            listObjects(scene, out);
            return exitOk;
        }
        Progress progress(err, Progress::styleFor(err, o.quiet));
        const RenderStats stats = runRender(o, scene, progress);
        std::fputs(summary(stats).c_str(), out);
        std::fflush(out);
        return exitOk;
    } catch (const UsageError &e) {
        fail(err, e.what());
        return exitUsage;
    } catch (const RenderError &e) {
        fail(err, e.what());
    } catch (const std::bad_alloc &) {
        fail(err, "out of memory");
    } catch (const std::exception &e) {
        fail(err, std::string("unexpected failure: ") + e.what());
    } catch (...) {
        fail(err, "unexpected failure");
    }
    return exitFailure;
}

} // namespace render
