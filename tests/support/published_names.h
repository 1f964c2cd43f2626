// The names the module's boundary hands every instance it makes (plugin/activation.cpp), for the
// tests and fuzz targets that make an instance themselves.
#ifndef OSTREVIN_TESTS_SUPPORT_PUBLISHED_NAMES_H
#define OSTREVIN_TESTS_SUPPORT_PUBLISHED_NAMES_H

#include "plugin/plugin_definition.h"
#include "texture/instance/ostrevin_instance.h"

inline ostrevin::PublishedNames modulePublishedNames() noexcept
{
    return {ostrevin::pluginDefinition.pluginName, ostrevin::pluginDefinition.dataVersion};
}

#endif
