// The base of every texture instance: twenty virtual operations, each with a default, in the
// order the module's host entries dispatch to them.
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

    virtual ~TextureInstance();
    virtual LWError load(const LWLoadState *state) noexcept;
    virtual LWError save(const LWSaveState *state) noexcept;
    virtual LWError copy(const TextureInstance *source) noexcept;
    virtual const char *descln() noexcept;
    virtual const LWItemID *useItems() noexcept;
    virtual void changeID(const LWItemID *idList) noexcept;
    virtual LWError init(int mode) noexcept;
    virtual void cleanup() noexcept;
    virtual LWError newTime(LWFrame frame, LWTime time) noexcept;
    virtual void notifyUpdate() noexcept;
    virtual void restorePanel(int x, int y) noexcept;
    virtual void spareHook() noexcept;
    virtual bool queryPanel(int *x, int *y) noexcept;
    virtual void onNewTime(LWFrame frame, LWTime time) noexcept;
    virtual LWXPanelID createPanel(GlobalFunc *lookup, LWXPanelGetFunc *get, LWXPanelSetFunc *set) noexcept;
    virtual void *panelGet(unsigned int id) noexcept;
    virtual int panelSet(unsigned int id, void *value) noexcept;
    virtual double evaluate(LWTextureAccess *access) noexcept;
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
