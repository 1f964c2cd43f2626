// The render tool's command line.
#ifndef OSTREVIN_TOOLS_RENDER_OPTIONS_H
#define OSTREVIN_TOOLS_RENDER_OPTIONS_H

#include <string>
#include <vector>

namespace render {

struct Options {
    std::string scene;            // empty: the bundled example
    std::string modulePath;       // empty: Ostrevin.p next to the executable
    std::string target;           // empty: the first object, unless settings are loaded
    bool invert = false;
    int fillRule = -1;            // --fill-rule: 0 even-odd, 1 non-zero, 2 tolerant; -1 leaves the layer's
    bool children = false;        // --children: the target's children join it
    int axis = 2;                 // the texture axis: 0 X, 1 Y, 2 Z
    int view = 2;                 // the axis the images look along
    int threads = 1;
    std::string outDir = "out";
    bool framesGiven = false;
    int firstFrame = 0;
    int lastFrame = 0;
    int width = 0;                // --size; 0 when the resolution decides
    int height = 0;
    int resolution = 384;         // pixels along the longer side of the framed region
    int depthSamples = 64;        // samples along each ray of the volume view
    int sheetSlices = 9;          // slices on the contact sheet; 0 for none
    double fps = 0.0;             // 0: the scene's own rate
    double margin = 0.1;          // framed region around the target's box, as a share of its larger side
    std::string saveSettings;
    std::string loadSettings;
    bool quiet = false;
    bool list = false;
    bool help = false;
};

// Reads the arguments after the program name; throws UsageError naming the bad one.
Options parseOptions(const std::vector<std::string> &args, int hardwareThreads);

std::string usageText();

// "x", "y" or "z".
const char *axisName(int axis);

} // namespace render

#endif
