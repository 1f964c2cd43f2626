// One forwarding entry per host table member: each recovers the instance and calls one virtual
// operation. Only the XPanel callbacks may be handed a null instance by the host.
#include "plugin/entries.h"

#include "framework/texture_instance.h"

using ostrevin::TextureInstance;

namespace {
TextureInstance *self(LWInstance instance) noexcept { return static_cast<TextureInstance *>(instance); }
} // namespace

extern "C" {

LWError copyEntry(LWInstance to, LWInstance from) noexcept { return self(to)->copy(self(from)); }
LWError loadEntry(LWInstance instance, const LWLoadState *state) noexcept { return self(instance)->load(state); }
LWError saveEntry(LWInstance instance, const LWSaveState *state) noexcept { return self(instance)->save(state); }
const char *desclnEntry(LWInstance instance) noexcept { return self(instance)->descln(); }
const LWItemID *useItemsEntry(LWInstance instance) noexcept { return self(instance)->useItems(); }
void changeIDEntry(LWInstance instance, const LWItemID *idList) noexcept { self(instance)->changeID(idList); }
LWError initEntry(LWInstance instance, int mode) noexcept { return self(instance)->init(mode); }
void cleanupEntry(LWInstance instance) noexcept { self(instance)->cleanup(); }
LWError newTimeEntry(LWInstance instance, LWFrame frame, LWTime time) noexcept
{
    return self(instance)->newTime(frame, time);
}
double evaluateEntry(LWInstance instance, LWTextureAccess *access) noexcept
{
    return self(instance)->evaluate(access);
}
unsigned int flagsEntry(LWInstance instance) noexcept { return self(instance)->flags(); }

void *panelGetEntry(void *instance, unsigned int vid) noexcept
{
    return instance ? self(instance)->panelGet(vid) : nullptr;
}

int panelSetEntry(void *instance, unsigned int vid, void *value) noexcept
{
    return instance ? self(instance)->panelSet(vid, value) : 0;
}

} // extern "C"
