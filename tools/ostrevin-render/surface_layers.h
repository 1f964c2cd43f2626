// The procedural texture layers an object file keeps in its surfaces: which server each names,
// the channel it drives, its texture mapping and the module's own saved bytes. Read from the
// blocks of the newer object format's surface chunks.
#ifndef OSTREVIN_TOOLS_RENDER_SURFACE_LAYERS_H
#define OSTREVIN_TOOLS_RENDER_SURFACE_LAYERS_H

#include <string>
#include <vector>

#include "host/scene.h"
#include "tools/ostrevin-render/geometry.h"

namespace render {

extern const char *const textureServerName;   // "Dabrel_Ostrevin"

// Where a layer's texture space sits. Values are in the host's axes, rotation as heading, pitch
// and bank in radians; centre, size and rotation are taken relative to the reference object when
// one is named; world coordinates place the space in the scene rather than on the object.
struct TextureMapping {
    Vec3 centre{0.0, 0.0, 0.0};
    Vec3 size{1.0, 1.0, 1.0};
    Vec3 rotation{0.0, 0.0, 0.0};
    std::string referenceObject;
    bool world = false;

    // The texture coordinates of a point: moved to the centre, turned back by the rotation and
    // divided by the size. `point` is in the tool's axes (the object's own unless world, or the
    // reference object's when one is given); so is the result.
    Vec3 coordinates(const Vec3 &point) const;
    // The same as one affine transform, for use at every shaded point.
    standin::Transform transform() const;
};

struct ProceduralLayer {
    std::string surface;          // the surface that carries it
    std::string server;           // the procedural's name: ours is textureServerName
    std::string channel = "COLR"; // the surface channel it drives
    bool enabled = true;
    double opacity = 1.0;
    bool negative = false;
    int axis = 0;                 // the texture axis: 0 X, 1 Y, 2 Z
    TextureMapping mapping;
    std::string data;             // the module's saved bytes, in the object-file form
};

struct SurfaceLayers {
    std::string surface;
    std::vector<ProceduralLayer> layers;     // this module's, in the surface's order
    std::vector<std::string> problems;       // one per block that could not be read
};

// One SURF chunk's body. Blocks of other kinds and procedurals of other servers are passed over;
// a damaged block of ours is left out with a problem naming what was wrong.
SurfaceLayers readSurface(const unsigned char *body, std::size_t size);

// The channel's name as the host's surface panel shows it ("Color" for COLR).
std::string channelName(const std::string &channel);

} // namespace render

#endif
