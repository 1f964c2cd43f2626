#include "tools/ostrevin-render/session.h"

#include <cstdint>
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

Session::Session(const std::string &modulePath, bool renderNode) : node(renderNode)
{
    if (node)
        standIn.becomeRenderNode();
    if (!module.open(modulePath))
        throw RenderError(module.error());
    textureLayer = std::make_unique<standin::TextureLayer>(standIn, module);
    if (!textureLayer->create())
        throw RenderError("the module made no texture layer: " + textureLayer->error());
    if (!node && !textureLayer->openPanel())
        throw RenderError("the module made no settings panel");
}

void Session::requirePanel(const char *what) const
{
    if (node)
        throw RenderError(std::string("a render node has no settings panel to set ") + what +
                          " with: set it on a workstation and save the layer (--save-settings)");
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
    requirePanel("the Target Item");
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
    if (!node && !layer->openPanel())
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
    if (index == 0)
        return targetPosition();
    if (!node)
        return standIn.xpanel().getInt(layerAt(index).panel(), targetItemControl, 0);
    // No panel on a render node: the layer's own save names its target.
    standin::SaveState state(standin::StateForm::Text);
    if (layerAt(index).save(state.state()))
        return 0;
    for (const auto &[key, value] : parseSettings(state.bytes(), "the module's own save").entries)
        if (key == "itemID")
            return positionOf(std::atoi(value.c_str()));
    return 0;
}

void Session::setInvert(bool invert)
{
    requirePanel("In / Out");
    if (!textureLayer->setInvert(invert))
        throw RenderError("the panel did not take the In / Out choice");
}

// A width is a double: set through the panel's own set function, as the host's distance control does.
void Session::setSoftEdge(double width)
{
    requirePanel("the Soft Edge");
    const standin::XPanelRecord *panel = standIn.xpanel().panel(textureLayer->panel());
    if (!panel || !panel->set || !panel->set(panel->viewInstance, softEdgeControl, &width))
        throw RenderError("the panel did not take the Soft Edge width");
}

void Session::setValue(unsigned int valueID, int value)
{
    requirePanel("the layer's options");
    if (textureLayer->setValue(valueID, value) == 0)
        throw RenderError("the panel did not take value " + std::to_string(value) + " for control " +
                          std::to_string(valueID));
}

int Session::targetPosition()
{
    if (!node)
        return standIn.xpanel().getInt(textureLayer->panel(), targetItemControl, 0);
    return positionOf(savedLayer.itemID);
}

int Session::positionOf(int savedItemID)
{
    // The ID as the module reads it back from the scene file: a signed 32-bit decimal, widened.
    const auto loadedID = reinterpret_cast<LWItemID>(static_cast<std::intptr_t>(savedItemID));
    int position = 1;
    for (const auto &object : standIn.scene().objects()) {
        if (object->type != LWI_OBJECT)
            continue;
        if (object->id == loadedID)
            return position;
        ++position;
    }
    return 0;
}

bool Session::inverted() { return held().flip != 0; }

LoadedSettings Session::held()
{
    LoadedSettings held;
    if (!node) {
        held.flip = standIn.xpanel().getInt(textureLayer->panel(), inOutControl, 0);
        held.fillRule = textureLayer->value(fillRuleControl, 0);
        held.children = textureLayer->value(childrenControl, 0);
        const void *width = standIn.xpanel().get(textureLayer->panel(), softEdgeControl);
        held.softEdge = width ? *static_cast<const double *>(width) : 0.0;
        return held;
    }
    // A key the save leaves out holds its default.
    standin::SaveState state(standin::StateForm::Text);
    if (textureLayer->save(state.state()))
        return held;
    for (const auto &[key, value] : parseSettings(state.bytes(), "the module's own save").entries) {
        if (key == "flipFlg")
            held.flip = std::atoi(value.c_str());
        else if (key == "fillRule")
            held.fillRule = std::atoi(value.c_str());
        else if (key == "children")
            held.children = std::atoi(value.c_str());
        else if (key == "softEdge")
            held.softEdge = std::strtod(value.c_str(), nullptr);
    }
    return held;
}

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
    const double moduleVersion = dataVersion();
    standin::LoadState state(standin::StateForm::Text, saved.bytes);
    if (const char *error = textureLayer->load(state.state()))
        throw RenderError("the module could not load its settings from " + path + ": " + error);
    LoadedSettings loaded = held();
    loaded.version = moduleVersion;
    saved.changes = settingsChanges(saved, loaded, path);
    savedLayer = saved;
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
