// The render loop: sets the layer up as asked, runs the render protocol over the frames, writes
// the slice, X-ray and contact-sheet images, and accounts for the work.
#ifndef OSTREVIN_TOOLS_RENDER_RENDER_JOB_H
#define OSTREVIN_TOOLS_RENDER_RENDER_JOB_H

#include <string>
#include <utility>
#include <vector>

#include "tools/ostrevin-render/mesh_report.h"
#include "tools/ostrevin-render/options.h"
#include "tools/ostrevin-render/progress.h"
#include "tools/ostrevin-render/scene_import.h"
#include "tools/ostrevin-render/views.h"

namespace render {

struct FrameResult {
    int frame = 0;
    double seconds = 0.0;
    Box targetBounds;      // the target's world box at this frame
    Framing framing;       // the shared framing, with this frame's depth range
    double sliceDepth = 0.0;
    Field slice;
    Field volume;
};

struct RenderStats {
    std::string source;
    std::string target;
    bool inverted = false;
    int fillRule = 0;           // the settings in effect: loaded, then changed by the options
    double softEdge = 0.0;
    bool includeChildren = false;
    std::vector<std::string> children;   // the objects below the target that join it
    std::size_t childrenLeftOut = 0;     // below it, past the module's limits
    int axis = 2, view = 2;
    int firstFrame = 0, lastFrame = 0;
    int frameStep = 1;          // the scene's own step, unless --frames is given
    int sheetFrame = 0;         // the middle frame: the contact sheet's
    double fps = 30.0;
    int threads = 1;
    int depthSamples = 0;
    std::string slicePlace;     // "Z=0.5" as --slice-at gives it; empty for the middle of the target
    Framing framing;            // across and up: the box of the target (and children) over every frame
    long long points = 0;
    double evaluationSeconds = 0.0;
    long builds = 0;            // the host's meshInfo calls
    double buildSeconds = 0.0;  // the slowest first evaluation of each pass that built
    std::vector<std::pair<std::string, MeshReport>> meshes;   // every object of the scene, in order
    std::string settingsNote;   // how loaded settings picked the target
    std::string namePattern;
    std::string outDir;
    std::vector<std::string> files;
    std::vector<FrameResult> frames;   // filled when asked to keep the fields

    // The camera view.
    bool cameraView = false;
    std::string camera;         // the scene's camera by name, or the framing camera
    int cameraWidth = 0, cameraHeight = 0;
    int surfaceLayers = 0;      // layers read from the objects' surfaces and rendered
    std::vector<std::string> legend;
    long long cameraPoints = 0;
    double cameraSeconds = 0.0;
    double raySeconds = 0.0, textureSeconds = 0.0;   // summed over threads
    std::string gif;            // the animation's path, when written
    int gifFrames = 0;
};

// The memory a render of images this size holds at once, in bytes, and the most it may take
// without --force.
double memoryEstimate(int width, int height, int sheetSlices);
double memoryCap();

RenderStats runRender(const Options &options, const ImportedScene &scene, Progress &progress,
                      bool keepFields = false);

std::string summary(const RenderStats &stats);

} // namespace render

#endif
