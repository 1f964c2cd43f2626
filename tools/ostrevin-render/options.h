// The render tool's command line.
#ifndef OSTREVIN_TOOLS_RENDER_OPTIONS_H
#define OSTREVIN_TOOLS_RENDER_OPTIONS_H

#include <string>
#include <vector>

namespace render {

struct Options {
    std::string scene;            // empty: the bundled example
    std::string modulePath;       // empty: Ostrevin.p next to the executable
    std::string contentDir;       // empty: the scene's, found as the host finds it
    std::string target;           // empty: the first object, unless settings are loaded
    bool invert = false;          // --invert: Out, over loaded settings too
    bool in = false;              // --in: In, over loaded settings too
    double softEdge = 0.0;        // the soft edge's width; 0 leaves the edge hard (or as loaded)
    int fillRule = -1;            // --fill-rule: 0 even-odd, 1 non-zero, 2 tolerant; -1 leaves the layer's
    bool children = false;        // --children: the target's children join it
    int axis = 2;                 // the texture axis: 0 X, 1 Y, 2 Z
    int view = 2;                 // the viewport: 0 right, 1 top, 2 front, 3 left, 4 bottom, 5 back
    int threads = 1;
    std::string outDir = "out";
    std::string namePattern;      // --name; empty: the default for the frame range
    bool clean = false;           // remove earlier images the name pattern matches
    bool force = false;           // render past the memory cap
    bool framesGiven = false;
    int firstFrame = 0;
    int lastFrame = 0;
    int frameStep = 1;            // --frames A-B/STEP
    int width = 0;                // --size; 0 when the resolution decides
    int height = 0;
    bool sliceGiven = false;      // --slice-at: the slice's place along the view's axis, in the
    double sliceAt = 0.0;         // host's coordinates; else through the middle of the target
    int resolution = 384;         // pixels along the longer side of the framed region
    int depthSamples = 64;        // samples along each ray of the volume view
    int sheetSlices = 9;          // slices on the contact sheet; 0 for none
    double fps = 0.0;             // 0: the scene's own rate
    double margin = 0.1;          // framed region around the target's box, as a share of its larger side
    std::string saveSettings;
    std::string loadSettings;
    bool renderNode = false;      // --render-node: the host without an interface; settings from loadSettings
    // The camera view.
    int cameraView = -1;          // 1: --view camera; 0: another --view; -1: when the scene has a camera
    std::vector<std::string> applyTo;   // --apply-to: the objects the layer is on, where no surface says
    int effectColour[3] = {255, 140, 0};   // --effect-color, orange
    int gif = -1;                 // --gif 1, --no-gif 0; -1: when more than one frame is rendered
    int samplesPerSide = 2;       // camera samples a pixel: the square of this
    bool quiet = false;
    bool list = false;
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program name; throws UsageError naming the bad one.
Options parseOptions(const std::vector<std::string> &args, int hardwareThreads);

std::string usageText();

std::string versionText();

// "x", "y" or "z".
const char *axisName(int axis);
// "right", "top", "front", "left", "bottom" or "back": the host's viewport.
const char *viewName(int view);
// "1 object", "2 objects".
std::string counted(long long n, const char *singular, const char *plural);

} // namespace render

#endif
