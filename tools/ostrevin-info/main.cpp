// Loads the module file like the host and prints what its descriptor offers.
#include <cstdint>
#include <cstdio>

#include "host/module_loader.h"
#include "host/standin_host.h"
#include "host/texture_layer.h"

int main(int argc, char **argv)
{
    const std::string path = argc > 1 ? argv[1] : standin::defaultModulePath();
    standin::StandInHost host;
    standin::LoadedModule module;
    if (!module.open(path)) {
        std::fprintf(stderr, "ostrevin-info: %s\n", module.error().c_str());
        return 1;
    }
    const ModuleDescriptor *d = module.descriptor();
    std::printf("module   %s\n", path.c_str());
    std::printf("sync     0x%08x  version %u  machine 0x%x  start-up gives %llu\n", d->sysSync, d->sysVersion,
                d->sysMachine, static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(module.startupResult())));
    for (const standin::ServerEntry &s : module.servers()) {
        std::printf("server   %-16s %s\n", s.className.c_str(), s.name.c_str());
        for (const ServerTagInfo *t = s.tags; t && t->string; ++t)
            std::printf("  tag    0x%05x  %s\n", t->tag, t->string);
    }
    standin::TextureLayer layer(host, module);
    if (!layer.create()) {
        std::fprintf(stderr, "ostrevin-info: %s\n", layer.error().c_str());
        return 1;
    }
    std::printf("instance flags %u, description \"%s\", %zu lookups at creation\n", layer.flags(),
                layer.descln().c_str(), host.lookups().size());
    return 0;
}
