#include "host/module_loader.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace standin {

namespace {

constexpr std::size_t maxServers = 1024;   // a list without its terminator must not run on forever

void *openLibrary(const std::string &path, std::string &error)
{
#if defined(_WIN32)
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h)
        error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void *>(h);
#else
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
    }
    return h;
#endif
}

void *findSymbol(void *handle, const char *name)
{
#if defined(_WIN32)
    return reinterpret_cast<void *>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

void closeLibrary(void *handle)
{
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

} // namespace

LoadedModule::~LoadedModule() { close(); }

bool LoadedModule::open(const std::string &path)
{
    close();
    handle = openLibrary(path, lastError);
    if (!handle)
        return false;
    descrip = static_cast<ModuleDescriptor *>(findSymbol(handle, "_mod_descrip"));
    if (!descrip) {
        lastError = path + " exports no _mod_descrip";
        close();
        return false;
    }
    if (descrip->sysSync != MODULE_SYNC_WORD) {
        lastError = path + ": descriptor sync value is wrong";
        close();
        return false;
    }
    if (descrip->startup)
        startupValue = descrip->startup();
    for (const ServerRecord *r = descrip->serverDefs; r && r->className; ++r) {
        if (serverEntries.size() == maxServers)
            break;
        serverEntries.push_back({r->className, r->name ? r->name : "", r->activate, r->tagInfo});
    }
    return true;
}

void LoadedModule::close()
{
    if (handle) {
        if (descrip && descrip->shutdown)
            descrip->shutdown(startupValue);
        closeLibrary(handle);
    }
    handle = nullptr;
    descrip = nullptr;
    startupValue = nullptr;
    serverEntries.clear();
}

ActivateFunc *LoadedModule::find(const std::string &className, const std::string &name) const
{
    for (const ServerEntry &s : serverEntries)
        if (s.className == className && s.name == name)
            return s.activate;
    return nullptr;
}

std::string defaultModulePath()
{
    if (const char *env = std::getenv("OSTREVIN_MODULE"))
        return env;
    std::string exe;
#if defined(_WIN32)
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    exe.assign(buf, n < sizeof buf ? n : 0);
    const auto slash = exe.find_last_of("\\/");
#else
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    exe.assign(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    const auto slash = exe.find_last_of('/');
#endif
    const std::string dir = slash == std::string::npos ? "." : exe.substr(0, slash);
    return dir + "/Ostrevin.p";
}

} // namespace standin
