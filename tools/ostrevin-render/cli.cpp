#include "tools/ostrevin-render/cli.h"

#include <new>
#include <thread>

#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/mesh_report.h"
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

// Points are distinct positions, not polygon corners; edges tell whether each mesh closes. Below
// each, the file it came from as found, and the object it hangs under.
void listObjects(const ImportedScene &scene, std::FILE *out)
{
    std::fprintf(out, "%s: %s\n", scene.source.c_str(),
                 counted(static_cast<long long>(scene.objects.size()), "object", "objects").c_str());
    for (const ImportedObject &o : scene.objects) {
        const MeshReport mesh = reportMesh(o.points, o.polygons);
        std::fprintf(out, "  %-24s %6zu points %6zu polygons  %s\n", o.name.c_str(), mesh.points, mesh.polygons,
                     closednessText(mesh).c_str());
        std::string origin = "file " + o.file;
        if (o.parent >= 0 && static_cast<std::size_t>(o.parent) < scene.objects.size())
            origin += ", parent \"" + scene.objects[static_cast<std::size_t>(o.parent)].name + "\"";
        std::fprintf(out, "      %s\n", origin.c_str());
    }
    for (const MissingObject &m : scene.missing)
        std::fprintf(out, "  %-24s MISSING: %s\n", m.pathText.c_str(), m.reason.c_str());
    if (scene.animated)
        std::fprintf(out, "animated: frames %d-%d at %g fps\n", scene.firstFrame, scene.lastFrame, scene.fps);
}

} // namespace

int runCommand(const std::vector<std::string> &args, std::FILE *out, std::FILE *err)
{
    try {
        const Options o = parseOptions(args, static_cast<int>(std::thread::hardware_concurrency()));
        if (o.help || o.version) {
            std::fputs((o.help ? usageText() : versionText()).c_str(), out);
            return exitOk;
        }
        const ImportedScene scene =
            o.scene.empty() ? importExample() : importScene(o.scene, ImportSettings{o.contentDir, o.list});
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
