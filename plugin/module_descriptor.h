#ifndef OSTREVIN_PLUGIN_MODULE_DESCRIPTOR_H
#define OSTREVIN_PLUGIN_MODULE_DESCRIPTOR_H

#include <cstdint>

#include "framework/host_api.h"

#if defined(_WIN32)
#define OSTREVIN_EXPORT  /* the module-definition file names the one export */
#else
#define OSTREVIN_EXPORT __attribute__((visibility("default")))
#endif

namespace ostrevin {

constexpr int tagListLength = 5;
constexpr int serverListLength = 3;

extern ServerTagInfo tagList[tagListLength];
extern ServerRecord serverList[serverListLength];

} // namespace ostrevin

extern "C" OSTREVIN_EXPORT ModuleDescriptor _mod_descrip;

#endif
