// The stand-in host: answers a module's global lookups, records them, and owns the services it
// offers. One host is current at a time; the C functions it hands out reach it through current().
#ifndef OSTREVIN_HOST_STANDIN_HOST_H
#define OSTREVIN_HOST_STANDIN_HOST_H

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "framework/host_api.h"
#include "host/instance_update.h"
#include "host/multithreading.h"
#include "host/scene.h"
#include "host/xpanel.h"

namespace standin {

struct LookupCall {
    std::string name;
    int use;
};

class StandInHost {
public:
    StandInHost();
    ~StandInHost();
    StandInHost(const StandInHost &) = delete;
    StandInHost &operator=(const StandInHost &) = delete;

    static StandInHost *current();
    static GlobalFunc *globalFunc() { return lookup; }

    // Every service the module may ask for by name, in the order an instance asks.
    static const std::vector<std::string> &serviceNames();

    void withhold(const std::string &name) { withheld.insert(name); }
    void offer(const std::string &name) { withheld.erase(name); }
    void withholdAll();

    static constexpr std::uint32_t layoutSystemID = 0x00012345u;
    static constexpr std::uint32_t modelerSystemID = 0x10012345u;
    static constexpr std::uint32_t renderNodeSystemID = 0x20012345u;

    // A render farm node: the host runs without an interface, so the panel and message services
    // are absent (and no interface server is activated: that is its caller's part), and the
    // system ID names the render-node program.
    void becomeRenderNode();
    bool renderNode() const { return systemID == renderNodeSystemID; }
    std::uint32_t systemID = layoutSystemID;
    std::uint32_t productInfo = 0x00B20011u;   // LightWave-class product, build 1, revision 11.0

    std::vector<LookupCall> lookups() const;
    std::size_t lookupCount(const std::string &name) const;
    void clearLookups();

    MultiThreading &threads() { return mt; }
    XPanelHost &xpanel() { return panels; }
    InstanceUpdates &updates() { return instanceUpdates; }
    Scene &scene() { return world; }

private:
    static void *lookup(const char *name, int use);
    void *answer(const std::string &name);

    mutable std::mutex lookupMutex;
    std::vector<LookupCall> lookupLog;
    std::set<std::string> withheld;

    MultiThreading mt;
    XPanelHost panels;
    InstanceUpdates instanceUpdates;
    Scene world;

    // Services offered without behaviour: distinct, zero-filled tables.
    void *placeholders[64] = {};
};

} // namespace standin

#endif
