// A reader for the newer LightWave object format (FORM LWO2), used instead of Assimp's: its
// layers' points and polygons, each polygon's surface, and the surfaces' procedural layers of
// this module. It holds one copy of the geometry, where Assimp's import held several.
#ifndef OSTREVIN_TOOLS_RENDER_LWO2_READER_H
#define OSTREVIN_TOOLS_RENDER_LWO2_READER_H

#include <array>
#include <string>
#include <vector>

#include "tools/ostrevin-render/scene_import.h"

namespace render {

bool isLwo2(const std::string &bytes);

struct Lwo2Layer {
    int number = 0;                       // as the file numbers it, from 0
    int parent = -1;                      // the parent layer's number, or -1
    std::array<double, 3> pivot{0.0, 0.0, 0.0};   // host axes
    std::string name;
    ImportedObject object;                // points in the tool's axes, polygons, surfaces
};

struct Lwo2Object {
    std::vector<Lwo2Layer> layers;        // in file order
    std::vector<std::string> warnings;    // surface layers that could not be read
};

// Reads every layer, or only the one numbered `onlyLayer` (counted from 0), whose geometry is
// then the only geometry kept. Throws RenderError naming `source` when the file is malformed:
// a chunk past the end, a point that is not finite, a polygon corner past the layer's points.
Lwo2Object readLwo2(const std::string &bytes, const std::string &source, int onlyLayer = -1);

// A model file of this format as a scene: one object per layer with polygons, named after the
// layer, or after `fileName` when the layer has no name; parents from the layers' own.
ImportedScene lwo2Scene(const std::string &bytes, const std::string &fileName, const std::string &source);

} // namespace render

#endif
