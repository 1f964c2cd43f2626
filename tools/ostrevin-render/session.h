// The texture as the host runs it: the module file loaded into a stand-in host, one texture layer
// with its panel, the scene's objects, the layer's settings and the render protocol.
#ifndef OSTREVIN_TOOLS_RENDER_SESSION_H
#define OSTREVIN_TOOLS_RENDER_SESSION_H

#include <memory>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/standin_host.h"
#include "host/texture_layer.h"
#include "tools/ostrevin-render/parallel.h"
#include "tools/ostrevin-render/scene_import.h"
#include "tools/ostrevin-render/settings_file.h"

namespace render {

// A bare file name means the current directory, as on a command line, not the loader's search path.
std::string modulePathFor(const std::string &given);

class Session {
public:
    // Loads the module, activates both servers, creates the layer and builds its panel. On a
    // render node the host has no interface: no panel, and the layer's settings come from a load.
    explicit Session(const std::string &modulePath, bool renderNode = false);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    standin::StandInHost &host() { return standIn; }
    standin::TextureLayer &layer() { return *textureLayer; }

    void addScene(const ImportedScene &scene);

    // Picks the object through the panel's "Target Item" popup, by the entry's name.
    void pickTarget(const std::string &name);
    void setInvert(bool invert);
    void setSoftEdge(double width);
    // Any other integer control of the panel, by value ID ("Fill Rule", "Include Children").
    void setValue(unsigned int valueID, int value);
    // The popup position the panel shows for the target: 0 for "(none)", k for the k-th object;
    // on a render node, the position of the object the loaded item ID names.
    int targetPosition();
    bool inverted();
    bool renderNode() const { return node; }
    // What the layer holds: as its panel shows it on a workstation; as the module's own save
    // writes it on a render node, which has no panel.
    LoadedSettings held();

    // The layer's settings through the module's own save and load, in a scene-file (text) state.
    void saveSettings(const std::string &path);
    // Checks the file is settings, then hands it to the module's own load; returns what it read,
    // with what the load made of it otherwise.
    SavedSettings loadSettings(const std::string &path);
    // The data version the module's saves carry.
    double dataVersion();

    // More layers of the module, for surfaces that keep their own settings: each made as the
    // first was and loaded from the object-file form of the settings (`bytes`), so that the
    // module reads its own data. Layer 0 is the first; the new layer's number is returned.
    std::size_t addObjectLayer(const std::string &bytes, const std::string &source);
    std::size_t layerCount() const { return 1 + moreLayers.size(); }
    standin::TextureLayer &layerAt(std::size_t index);
    int targetPosition(std::size_t index);
    void pickTarget(const std::string &name, std::size_t index);

    // The render protocol, for every layer.
    void begin();                             // init(LWINIT_RENDER)
    void frame(int frame, double seconds);    // newTime
    double evaluate(const Vec3 &p, int axis);
    void end();                               // cleanup

    long meshInfoCalls();

private:
    standin::StandInHost standIn;
    standin::LoadedModule module;
    std::unique_ptr<standin::TextureLayer> textureLayer;
    std::vector<std::unique_ptr<standin::TextureLayer>> moreLayers;
    bool rendering = false;
    bool node = false;
    SavedSettings savedLayer;   // a render node's view of the target: what it was given to load

    void requirePanel(const char *what) const;
    // The popup position of the object a saved item ID names, 0 for none.
    int positionOf(int savedItemID);
};

// Evaluates the session's layer along one texture axis; safe from several threads at once
// between begin() and end(), as the host's evaluations are.
class LayerSampler : public Sampler {
public:
    LayerSampler(Session &s, int textureAxis) : session(&s), axis(textureAxis) {}
    double sample(const Vec3 &p) const override { return session->evaluate(p, axis); }

private:
    Session *session;
    int axis;
};

} // namespace render

#endif
