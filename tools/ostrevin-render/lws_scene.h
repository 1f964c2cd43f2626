// A LightWave scene file read as the host reads it: the frame range and rate, every item with
// the object file it loads, its parent, pivot and motion channels, in both the old (versions 1
// and 2) and the current formats. No object file is opened here.
#ifndef OSTREVIN_TOOLS_RENDER_LWS_SCENE_H
#define OSTREVIN_TOOLS_RENDER_LWS_SCENE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/scene.h"
#include "tools/ostrevin-render/envelope.h"

namespace render {

struct LwsItem {
    enum class Kind { Object, Null, Light, Camera, Bone };
    Kind kind = Kind::Object;
    std::uint32_t id = 0;         // the scene's item number: type in the top four bits
    std::string pathText;         // objects: the file as the scene writes it
    int layer = 1;                // objects: the layer loaded, counted from 1
    std::string name;             // nulls, lights and cameras
    int line = 0;                 // where the item starts in the scene file
    int parent = -1;              // index into the scene's items
    bool pivotGiven = false;      // else the object file's own pivot applies
    std::array<double, 3> pivot{0.0, 0.0, 0.0};   // object coordinates, host axes
    // Position x, y, z; heading, pitch, bank in radians; scale x, y, z.
    std::array<Envelope, 9> channels{Envelope::constant(0), Envelope::constant(0), Envelope::constant(0),
                                     Envelope::constant(0), Envelope::constant(0), Envelope::constant(0),
                                     Envelope::constant(1), Envelope::constant(1), Envelope::constant(1)};
};

// A camera's lens and frame: its zoom factor over time (the vertical field of view's half-angle
// has tangent 1 / zoom), its frame in pixels and the width of a pixel over its height.
struct LwsCameraLens {
    std::size_t item = 0;         // the camera's index among the items
    Envelope zoom = Envelope::constant(3.2);
    int width = 0, height = 0;    // 0: the scene's frame size
    double pixelAspect = 0.0;     // 0: the scene's
};

struct LwsScene {
    int version = 0;
    double fps = 30.0;
    bool frameRangeGiven = false;
    int firstFrame = 0, lastFrame = 0, frameStep = 1;
    std::vector<LwsItem> items;
    std::vector<LwsCameraLens> cameras;   // in the scene's order
    int currentCamera = 0;                // the one rendered through, among the cameras
    int frameWidth = 640, frameHeight = 480;
    double pixelAspect = 1.0;

    // The item's placement at a time, in the tool's axes: the host's left-handed axes with Z
    // turned round, as the object readers turn the points round.
    standin::Transform placement(std::size_t item, double seconds) const;
    // Whether any channel of any item changes over time.
    bool animated() const;
    // The earliest and latest key time of any item, in seconds; 0 and 0 without keys.
    double firstKey() const;
    double lastKey() const;
};

// Whether the bytes begin like a scene file.
bool isLwsText(const std::string &bytes);

// Throws RenderError "SOURCE line N: ..." for a file that is not a scene or is damaged.
LwsScene parseLws(const std::string &text, const std::string &source);

} // namespace render

#endif
