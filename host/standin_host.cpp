#include "host/standin_host.h"

#include <stdexcept>

namespace standin {

namespace {
StandInHost *currentHost = nullptr;
} // namespace

StandInHost::StandInHost()
{
    if (currentHost)
        throw std::logic_error("only one stand-in host may exist at a time");
    currentHost = this;
}

StandInHost::~StandInHost() { currentHost = nullptr; }

StandInHost *StandInHost::current() { return currentHost; }

const std::vector<std::string> &StandInHost::serviceNames()
{
    static const std::vector<std::string> names = {
        "Instance Update", "LW Scene Info 3", "LW Interface Info 3", "Scene Objects 4", "LW Object Info 4",
        "LW Item Info 3", "Surface Functions 2", "LW Bone Info 3", "LW Light Info 3", "LW Camera Info 2",
        "LW Image List 3", "Image Utility", "Directory Info", "Info Messages 2", "Animation Envelopes",
        "Channel Info 2", "Texture Functions 3", "Texture Editor 2", "File IO", "File Request",
        "File Request 2", "Global Memory", "LWVParmFuncs 2", "Instance Update", "LWPanelServices",
        "RasterServices", "LW Viewport Info", "LW Backdrop Info 2", "LW Command Interface", "System ID",
        "Product Info", "MultiThreading Utilities", "LWXPanel",
    };
    return names;
}

void StandInHost::withholdAll()
{
    for (const std::string &name : serviceNames())
        withheld.insert(name);
}

void StandInHost::becomeRenderNode()
{
    systemID = renderNodeSystemID;
    for (const char *name : {"LWXPanel", "LWPanelServices", "Info Messages 2"})
        withheld.insert(name);
}

std::vector<LookupCall> StandInHost::lookups() const
{
    std::lock_guard<std::mutex> hold(lookupMutex);
    return lookupLog;
}

std::size_t StandInHost::lookupCount(const std::string &name) const
{
    std::lock_guard<std::mutex> hold(lookupMutex);
    std::size_t n = 0;
    for (const LookupCall &c : lookupLog)
        n += c.name == name;
    return n;
}

void StandInHost::clearLookups()
{
    std::lock_guard<std::mutex> hold(lookupMutex);
    lookupLog.clear();
}

void *StandInHost::lookup(const char *name, int use)
{
    StandInHost *host = currentHost;
    if (!host || !name)
        return nullptr;
    const std::string key = name;
    {
        std::lock_guard<std::mutex> hold(host->lookupMutex);
        host->lookupLog.push_back({key, use});
    }
    return host->answer(key);
}

void *StandInHost::answer(const std::string &name)
{
    if (withheld.count(name))
        return nullptr;
    if (name == "System ID")
        return reinterpret_cast<void *>(static_cast<std::uintptr_t>(systemID));
    if (name == "Product Info")
        return reinterpret_cast<void *>(static_cast<std::uintptr_t>(productInfo));
    if (name == "MultiThreading Utilities")
        return const_cast<LWMTUtilFuncs *>(mt.table());
    if (name == "LWXPanel")
        return const_cast<LWXPanelFuncs *>(panels.table());
    if (name == "Instance Update")
        return reinterpret_cast<void *>(instanceUpdates.function());
    if (name == "LW Item Info 3")
        return const_cast<LWItemInfo *>(world.itemInfoTable());
    if (name == "LW Object Info 4")
        return const_cast<LWObjectInfo *>(world.objectInfoTable());
    const std::vector<std::string> &names = serviceNames();
    for (std::size_t i = 0; i < names.size() && i < sizeof placeholders / sizeof placeholders[0]; ++i)
        if (names[i] == name)
            return &placeholders[i];
    return nullptr;
}

} // namespace standin
