// The functions the host calls: activation, creation and the forwarding entries.
#ifndef OSTREVIN_PLUGIN_ENTRIES_H
#define OSTREVIN_PLUGIN_ENTRIES_H

#include "framework/host_api.h"

extern "C" {

int TextureHandlerActivate(int version, GlobalFunc *lookup, void *local, void *serverData) noexcept;
int TextureInterfaceActivate(int version, GlobalFunc *lookup, void *local, void *serverData) noexcept;

LWInstance createInstance(void *lookup, void *context, LWError *errorOut) noexcept;
void destroyInstance(LWInstance instance) noexcept;

LWError copyEntry(LWInstance to, LWInstance from) noexcept;
LWError loadEntry(LWInstance instance, const LWLoadState *state) noexcept;
LWError saveEntry(LWInstance instance, const LWSaveState *state) noexcept;
const char *desclnEntry(LWInstance instance) noexcept;
const LWItemID *useItemsEntry(LWInstance instance) noexcept;
void changeIDEntry(LWInstance instance, const LWItemID *idList) noexcept;
LWError initEntry(LWInstance instance, int mode) noexcept;
void cleanupEntry(LWInstance instance) noexcept;
LWError newTimeEntry(LWInstance instance, LWFrame frame, LWTime time) noexcept;
double evaluateEntry(LWInstance instance, LWTextureAccess *access) noexcept;
unsigned int flagsEntry(LWInstance instance) noexcept;
void *panelGetEntry(void *instance, unsigned int vid) noexcept;
int panelSetEntry(void *instance, unsigned int vid, void *value) noexcept;

} // extern "C"

#endif
