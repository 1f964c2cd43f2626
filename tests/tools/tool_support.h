// Helpers for the render tool's tests: scenes built from the stand-in host's shapes, scratch
// directories, small renders and PNG reading.
#ifndef OSTREVIN_TESTS_TOOLS_TOOL_SUPPORT_H
#define OSTREVIN_TESTS_TOOLS_TOOL_SUPPORT_H

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <png.h>

#include "host/scene.h"
#include "host/shapes.h"
#include "tools/ostrevin-render/cli.h"
#include "tools/ostrevin-render/options.h"
#include "tools/ostrevin-render/progress.h"
#include "tools/ostrevin-render/render_job.h"
#include "tools/ostrevin-render/scene_import.h"

namespace tooltest {

// An object made by one of the host's shape generators, placed by `motion` (identity if empty).
inline render::ImportedObject shape(const std::string &name, const std::function<void(standin::SceneObject &)> &make,
                                    std::function<standin::Transform(double)> motion = {})
{
    standin::Scene scratch;
    standin::SceneObject &o = scratch.addObject(name);
    make(o);
    render::ImportedObject out;
    out.name = name;
    out.points = o.points;
    out.polygons = o.polygons;
    out.motion = std::move(motion);
    return out;
}

inline render::ImportedScene sceneOf(std::vector<render::ImportedObject> objects, const std::string &source = "test")
{
    render::ImportedScene s;
    s.source = source;
    s.objects = std::move(objects);
    return s;
}

inline render::ImportedObject cube(const std::string &name = "Cube", double half = 1.0)
{
    return shape(name, [half](standin::SceneObject &o) {
        const float h = static_cast<float>(half);
        standin::appendBox(o, {-h, -h, -h}, {h, h, h});
    });
}

// A scratch directory, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        path = std::filesystem::temp_directory_path() / ("ostrevin-tools-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(path);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string operator/(const std::string &name) const { return (path / name).string(); }
    std::string str() const { return path.string(); }

private:
    std::filesystem::path path;
};

inline void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The file's bytes; empty when it cannot be read.
inline std::string readFile(const std::string &path)
{
    std::string bytes;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

// What a scratch file holds from its start, as far as written so far; the file stays open.
inline std::string writtenTo(std::FILE *f)
{
    std::fflush(f);
    std::rewind(f);
    std::string s;
    for (int c; (c = std::fgetc(f)) != EOF;)
        s += static_cast<char>(c);
    return s;
}

// The whole command run in process: its status and what it wrote to each stream.
struct CommandOutcome {
    int status;
    std::string out, err;
};

inline CommandOutcome runInProcess(const std::vector<std::string> &args)
{
    std::FILE *out = std::tmpfile(), *err = std::tmpfile();
    const int status = render::runCommand(args, out, err);
    CommandOutcome outcome{status, writtenTo(out), writtenTo(err)};
    std::fclose(out);
    std::fclose(err);
    return outcome;
}

// Small, quick renders of the slice and X-ray views: no contact sheet, two threads.
inline render::Options smallOptions(const std::string &outDir, int resolution = 32)
{
    render::Options o;
    o.cameraView = 0;
    o.outDir = outDir;
    o.resolution = resolution;
    o.depthSamples = 8;
    o.sheetSlices = 0;
    o.threads = 2;
    o.quiet = true;
    return o;
}

inline render::RenderStats render(const render::Options &o, const render::ImportedScene &scene)
{
    render::Progress quiet(nullptr, render::Progress::Style::Quiet);
    return render::runRender(o, scene, quiet, true);
}

struct Png {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;   // packed rows
};

// Reads an 8-bit RGB PNG; width 0 when the file is not one.
inline Png readPng(const std::string &path)
{
    Png out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return out;
    image.format = PNG_FORMAT_RGB;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return Png{};
    }
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    return out;
}

} // namespace tooltest

#endif
