// One texture layer driven the way the host drives it: activation fills the handler tables,
// create makes the instance, the interface activation builds its panel, and every later call
// goes through the tables the module filled.
#ifndef OSTREVIN_HOST_TEXTURE_LAYER_H
#define OSTREVIN_HOST_TEXTURE_LAYER_H

#include <string>
#include <vector>

#include "framework/host_api.h"
#include "host/module_loader.h"
#include "host/standin_host.h"

namespace standin {

class TextureLayer {
public:
    // Servers of the module loaded by `module`, found by class and the server name.
    TextureLayer(StandInHost &host, const LoadedModule &module, const std::string &serverName = "Dabrel_Ostrevin");
    // Activation functions given directly (a module linked into the test).
    TextureLayer(StandInHost &host, ActivateFunc *handlerActivate, ActivateFunc *interfaceActivate);
    ~TextureLayer();
    TextureLayer(const TextureLayer &) = delete;
    TextureLayer &operator=(const TextureLayer &) = delete;

    // The class versions this host knows. It offers a handler its newest first and steps down
    // until one is accepted; an interface it offers counting up from 1.
    static constexpr int newestHandlerVersion = 7;
    static constexpr int newestInterfaceVersion = 5;

    // Activates the handler and creates an instance; false (with error()) when either fails.
    bool create(void *context = nullptr);
    // Activates the interface for the instance; the panel it made, or null.
    LWXPanelID openPanel();
    void destroy();

    // The versions offered at the last activation of each class, in order, and the one accepted
    // (0: none).
    const std::vector<int> &handlerOffers() const { return handlerOffered; }
    const std::vector<int> &interfaceOffers() const { return interfaceOffered; }
    int handlerVersion() const { return handlerAccepted; }
    int interfaceVersion() const { return interfaceAccepted; }

    LWInstance instance() const { return inst; }
    LWXPanelID panel() const { return iface.panel; }
    const std::string &error() const { return lastError; }
    const LWTextureHandler &handler() const { return handlerTable; }
    const LWInterface &interfaceTable() const { return iface; }

    // Render protocol. newTime also moves the scene to that frame and time.
    LWError init(int mode);
    void cleanup();
    LWError newTime(int frame, double time);
    double evaluate(double x, double y, double z, int axis = 2);
    // Inline, as the host calls the handler's entry directly: no wrapper's call is timed with it.
    double evaluate(LWTextureAccess &access) { return handlerTable.evaluate(inst, &access); }
    unsigned int flags();
    std::string descln();
    LWError copyFrom(const TextureLayer &source);
    const LWItemID *useItems();
    void changeID(const LWItemID *pairs);
    LWError load(const LWLoadState *state);
    LWError save(const LWSaveState *state);

    // Panel helpers over the stand-in XPanel.
    bool pickTarget(const std::string &objectName);   // by popup entry name
    bool setInvert(bool invert);
    // Any integer-valued control, by value ID: the set callback's refresh code, and the value.
    int setValue(unsigned int valueID, int value);
    int value(unsigned int valueID, int fallback = -1);

private:
    StandInHost &host;
    ActivateFunc *handlerActivate = nullptr;
    ActivateFunc *interfaceActivate = nullptr;
    LWInstanceFuncs instFuncs{};
    LWItemFuncs itemFuncs{};
    LWRenderFuncs renderFuncs{};
    LWTextureHandler handlerTable{};
    LWInterface iface{};
    LWInstance inst = nullptr;
    std::string lastError;
    std::vector<int> handlerOffered, interfaceOffered;
    int handlerAccepted = 0, interfaceAccepted = 0;
};

} // namespace standin

#endif
