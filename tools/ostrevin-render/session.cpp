#include "tools/ostrevin-render/session.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/states.h"
#include "tools/ostrevin-render/errors.h"

namespace render {

std::string modulePathFor(const std::string &given)
{
    if (given.empty())
        return standin::defaultModulePath();
    if (!std::filesystem::path(given).has_parent_path())
        return (std::filesystem::path(".") / given).string();
    return given;
}

namespace {
constexpr unsigned targetItemControl = 0x8001;
constexpr unsigned inOutControl = 0x8002;
constexpr unsigned fillRuleControl = 0x8003;
constexpr unsigned childrenControl = 0x8004;
constexpr unsigned softEdgeControl = 0x8005;
} // namespace

Session::Session(const std::string &modulePath)
{
    if (!module.open(modulePath))
        throw RenderError(module.error());
    textureLayer = std::make_unique<standin::TextureLayer>(standIn, module);
    if (!textureLayer->create())
        throw RenderError("the module made no texture layer: " + textureLayer->error());
    if (!textureLayer->openPanel())
        throw RenderError("the module made no settings panel");
}

Session::~Session()
{
    if (rendering)
        end();
    moreLayers.clear();
    textureLayer.reset();   // the instance goes before its module
}

void Session::addScene(const ImportedScene &scene) { addToHost(scene, standIn.scene()); }

void Session::pickTarget(const std::string &name) { pickTarget(name, 0); }

void Session::pickTarget(const std::string &name, std::size_t index)
{
    standin::TextureLayer &layer = layerAt(index);
    auto &xpanel = standIn.xpanel();
    if (xpanel.popupIndexOf(layer.panel(), targetItemControl, name) < 0)
        throw RenderError("the panel's Target Item popup has no entry \"" + name + "\"");
    if (!layer.pickTarget(name))
        throw RenderError("the panel did not take \"" + name + "\" as its Target Item");
}

std::size_t Session::addObjectLayer(const std::string &bytes, const std::string &source)
{
    auto layer = std::make_unique<standin::TextureLayer>(standIn, module);
    if (!layer->create())
        throw RenderError("the module made no texture layer for " + source + ": " + layer->error());
    if (!layer->openPanel())
        throw RenderError("the module made no settings panel for " + source);
    standin::LoadState state(standin::StateForm::Binary, bytes);
    if (const char *error = layer->load(state.state()))
        throw RenderError("the module could not load " + source + ": " + error);
    moreLayers.push_back(std::move(layer));
    return moreLayers.size();
}

standin::TextureLayer &Session::layerAt(std::size_t index)
{
    return index == 0 ? *textureLayer : *moreLayers.at(index - 1);
}

int Session::targetPosition(std::size_t index)
{
    return standIn.xpanel().getInt(layerAt(index).panel(), targetItemControl, 0);
}

void Session::setInvert(bool invert)
{
    if (!textureLayer->setInvert(invert))
        throw RenderError("the panel did not take the In / Out choice");
}

// A width is a double: set through the panel's own set function, as the host's distance control does.
void Session::setSoftEdge(double width)
{
    const standin::XPanelRecord *panel = standIn.xpanel().panel(textureLayer->panel());
    if (!panel || !panel->set || !panel->set(panel->viewInstance, softEdgeControl, &width))
        throw RenderError("the panel did not take the Soft Edge width");
}

void Session::setValue(unsigned int valueID, int value)
{
    if (textureLayer->setValue(valueID, value) == 0)
        throw RenderError("the panel did not take value " + std::to_string(value) + " for control " +
                          std::to_string(valueID));
}

int Session::targetPosition() { return standIn.xpanel().getInt(textureLayer->panel(), targetItemControl, 0); }
int Session::value(unsigned int valueID) { return textureLayer->value(valueID, 0); }

double Session::softEdge()
{
    const void *width = standIn.xpanel().get(textureLayer->panel(), softEdgeControl);
    return width ? *static_cast<const double *>(width) : 0.0;
}

bool Session::inverted() { return standIn.xpanel().getInt(textureLayer->panel(), inOutControl, 0) != 0; }

void Session::saveSettings(const std::string &path)
{
    standin::SaveState state(standin::StateForm::Text, path);
    if (!state.fileOpen())
        throw RenderError("cannot write settings to " + path);
    if (const char *error = textureLayer->save(state.state()))
        throw RenderError("the module could not save its settings: " + std::string(error));
    state.close();
}

double Session::dataVersion()
{
    standin::SaveState state(standin::StateForm::Text);
    if (textureLayer->save(state.state()))
        return 0.0;
    for (const auto &[key, value] : parseSettings(state.bytes(), "the module's own save").entries)
        if (key == "version")
            return std::strtod(value.c_str(), nullptr);
    return 0.0;
}

SavedSettings Session::loadSettings(const std::string &path)
{
    SavedSettings saved = readSettingsFile(path);
    LoadedSettings loaded;
    loaded.version = dataVersion();
    standin::LoadState state(standin::StateForm::Text, saved.bytes);
    if (const char *error = textureLayer->load(state.state()))
        throw RenderError("the module could not load its settings from " + path + ": " + error);
    loaded.flip = value(inOutControl);
    loaded.fillRule = value(fillRuleControl);
    loaded.children = value(childrenControl);
    loaded.softEdge = softEdge();
    saved.changes = settingsChanges(saved, loaded, path);
    return saved;
}

void Session::begin()
{
    rendering = true;   // so that layers started before a refusal are cleaned up
    for (std::size_t i = 0; i < layerCount(); ++i)
        if (const char *error = layerAt(i).init(LWINIT_RENDER))
            throw RenderError(std::string("the texture refused to start rendering: ") + error);
}

void Session::frame(int frame, double seconds)
{
    for (std::size_t i = 0; i < layerCount(); ++i)
        if (const char *error = layerAt(i).newTime(frame, seconds))
            throw RenderError("the texture refused frame " + std::to_string(frame) + ": " + error);
}

double Session::evaluate(const Vec3 &p, int axis) { return textureLayer->evaluate(p[0], p[1], p[2], axis); }

void Session::end()
{
    for (std::size_t i = 0; i < layerCount(); ++i)
        layerAt(i).cleanup();
    rendering = false;
}

long Session::meshInfoCalls() { return standIn.scene().counters.meshInfo; }

} // namespace render
