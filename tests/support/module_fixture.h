// A stand-in host with the shipped module file loaded, as the host would have it.
#ifndef OSTREVIN_TESTS_SUPPORT_MODULE_FIXTURE_H
#define OSTREVIN_TESTS_SUPPORT_MODULE_FIXTURE_H

#include <gtest/gtest.h>

#include "host/module_loader.h"
#include "host/standin_host.h"
#include "host/texture_layer.h"

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.open(standin::defaultModulePath())) << module.error();
    }

    standin::StandInHost host;
    standin::LoadedModule module;
};

#endif
