// Loads a module file the way the host does and walks what its descriptor offers.
#ifndef OSTREVIN_HOST_MODULE_LOADER_H
#define OSTREVIN_HOST_MODULE_LOADER_H

#include <string>
#include <vector>

#include "framework/host_api.h"

namespace standin {

struct ServerEntry {
    std::string className;
    std::string name;
    ActivateFunc *activate = nullptr;
    const ServerTagInfo *tags = nullptr;
};

class LoadedModule {
public:
    LoadedModule() = default;
    ~LoadedModule();
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    // Opens the file, finds `_mod_descrip`, calls the start-up function and reads the server list.
    bool open(const std::string &path);
    void close();

    const std::string &error() const { return lastError; }
    const ModuleDescriptor *descriptor() const { return descrip; }
    void *startupResult() const { return startupValue; }
    const std::vector<ServerEntry> &servers() const { return serverEntries; }

    // The activation function of the server of that class and name, or null.
    ActivateFunc *find(const std::string &className, const std::string &name) const;

private:
    void *handle = nullptr;
    ModuleDescriptor *descrip = nullptr;
    void *startupValue = nullptr;
    std::vector<ServerEntry> serverEntries;
    std::string lastError;
};

// Where the build puts the module: next to the running executable, unless OSTREVIN_MODULE says.
std::string defaultModulePath();

} // namespace standin

#endif
