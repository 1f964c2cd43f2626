// The base of every texture instance: twenty virtual operations, each with a default, in the
// order the module's host entries dispatch to them.
//
// Each operation below says which host entry (plugin/entries.cpp, plugin/activation.cpp) calls it,
// on which thread, and what the default does. "Main thread" means the host's own thread for scene
// and interface work; the host never runs it for an instance while evaluations of that instance
// run. Only evaluate is called from several render threads at once.
#ifndef OSTREVIN_FRAMEWORK_TEXTURE_INSTANCE_H
#define OSTREVIN_FRAMEWORK_TEXTURE_INSTANCE_H

#include "framework/host_api.h"

namespace ostrevin {

class TextureInstance {
public:
    static constexpr int textLength = 256;

    TextureInstance(GlobalFunc *lookup, void *context) noexcept;
    TextureInstance(const TextureInstance &) = delete;
    TextureInstance &operator=(const TextureInstance &) = delete;

    // destroyInstance (the instance table's destroy), main thread. Default: nothing to release.
    virtual ~TextureInstance();
    // loadEntry and saveEntry (load, save), main thread, when a scene or object file is read or
    // written. Default, in framework/panel_block.cpp: the "Panel" block, through queryPanel and
    // restorePanel below.
    virtual LWError load(const LWLoadState *state) noexcept;
    virtual LWError save(const LWSaveState *state) noexcept;
    // copyEntry (copy), main thread, onto this instance from `source`. Default: copies nothing.
    virtual LWError copy(const TextureInstance *source) noexcept;
    // desclnEntry (descln), main thread. Default: `description`, empty unless a class fills it.
    virtual const char *descln() noexcept;
    // useItemsEntry (useItems), main thread: the items this instance depends on. Default: none.
    virtual const LWItemID *useItems() noexcept;
    // changeIDEntry (changeID), main thread, after items were renumbered. Default: nothing.
    virtual void changeID(const LWItemID *idList) noexcept;
    // initEntry (init), main thread, before a render's or preview's evaluations (mode LWINIT_*).
    // Default: nothing, success.
    virtual LWError init(int mode) noexcept;
    // cleanupEntry (cleanup), main thread, after them. Default: nothing.
    virtual void cleanup() noexcept;
    // newTimeEntry (newTime), main thread, between frames. Default: keeps currentFrame and
    // currentTime, then calls onNewTime.
    virtual LWError newTime(LWFrame frame, LWTime time) noexcept;
    // No entry: a class calls it, on the main thread, when its settings change. Default: tells
    // the host through "Instance Update", when offered.
    virtual void notifyUpdate() noexcept;
    // No entry: the base load calls it, when the saved Panel block records an open panel.
    // Default: nothing.
    virtual void restorePanel(int x, int y) noexcept;
    // No entry and no caller: room for a class's own use. Default: nothing.
    virtual void spareHook() noexcept;
    // No entry: the base save calls it; true, with x and y, when the panel is open. Default: false,
    // x and y untouched.
    virtual bool queryPanel(int *x, int *y) noexcept;
    // No entry: the base newTime calls it. Default: nothing.
    virtual void onNewTime(LWFrame frame, LWTime time) noexcept;
    // TextureInterfaceActivate (the interface server's activation), main thread; the panel calls
    // get and set, which lead to panelGet and panelSet. Default: an empty view panel through
    // "LWXPanel", or null without one.
    virtual LWXPanelID createPanel(GlobalFunc *lookup, LWXPanelGetFunc *get, LWXPanelSetFunc *set) noexcept;
    // panelGetEntry and panelSetEntry (the panel's get and set callbacks), main thread. Default:
    // no value; set answers 1 (the host's default refresh) for every ID.
    virtual void *panelGet(unsigned int id) noexcept;
    virtual int panelSet(unsigned int id, void *value) noexcept;
    // evaluateEntry (evaluate), render threads, several at once, between init and cleanup.
    // Default: 0.0.
    virtual double evaluate(LWTextureAccess *access) noexcept;
    // flagsEntry (flags), main thread. Default: `textureFlags`.
    virtual unsigned int flags() noexcept;

    GlobalFunc *hostGlobal;
    LWInstUpdate *instUpdate = nullptr;
    void *context;
    char description[textLength] = {};
    int currentFrame = 0;
    double currentTime = 0.0;
    unsigned int textureFlags = 255;
};

} // namespace ostrevin

#endif
