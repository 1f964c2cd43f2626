// "LWXPanel": keeps what a module describes, records every call by table position, and drives
// panels the way the host does (get and set with the view instance, popups with the bound data).
#ifndef OSTREVIN_HOST_XPANEL_H
#define OSTREVIN_HOST_XPANEL_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/host_api.h"

namespace standin {

struct XPanelCall {
    int position;             // member of the table, counting the version as 0
    LWXPanelID panel;
    unsigned int id;          // control or value ID where the member takes one
};

struct XPanelControlInfo {
    unsigned int id;
    std::string label;
    std::string controlClass;   // the control's class, or the value's data type
    bool known = false;         // a class or type the host offers (others show nothing)
};

struct XPanelHintInfo {
    unsigned int tag;
    unsigned int id;
    std::vector<void *> args;
};

struct XPanelRecord {
    int type = 0;
    std::vector<XPanelControlInfo> controls;
    std::vector<XPanelControlInfo> data;      // value ID, name, type
    LWXPanelGetFunc *get = nullptr;
    LWXPanelSetFunc *set = nullptr;
    std::vector<XPanelHintInfo> hints;
    std::map<unsigned int, void *> userData;  // by control ID, 0 for the whole panel
    void *viewInstance = nullptr;
    int refreshes = 0;
    bool destroyed = false;
};

class XPanelHost {
public:
    XPanelHost();
    const LWXPanelFuncs *table() const { return &funcs; }

    bool createFails = false;
    std::vector<XPanelCall> calls;

    XPanelRecord *panel(LWXPanelID id);
    // The control classes and data types the host offers, as modules name them.
    static bool knownControlClass(const std::string &name);
    static bool knownDataType(const std::string &name);
    LWXPanelID lastPanel() const { return last; }

    // Driving a panel as the host does.
    void *get(LWXPanelID id, unsigned int vid);
    int getInt(LWXPanelID id, unsigned int vid, int fallback = -1);
    int setInt(LWXPanelID id, unsigned int vid, int value);
    std::vector<std::string> popupEntries(LWXPanelID id, unsigned int cid);
    // Index of the first popup entry with that name, or -1.
    int popupIndexOf(LWXPanelID id, unsigned int cid, const std::string &name);
    std::vector<std::string> stringList(LWXPanelID id, unsigned int cid);

private:
    static XPanelHost &service();
    static LWXPanelID create(int type, LWXPanelControl *controls);
    static void destroy(LWXPanelID panel);
    static void describe(LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get, LWXPanelSetFunc *set);
    static void hint(LWXPanelID panel, unsigned int id, LWXPanelHint *hints);
    static void *getData(LWXPanelID panel, unsigned int id);
    static void setData(LWXPanelID panel, unsigned int id, void *data);
    static void *formGet(LWXPanelID panel, unsigned int vid);
    static void formSet(LWXPanelID panel, unsigned int vid, void *value);
    static void viewInst(LWXPanelID panel, void *inst);
    static void viewRefresh(LWXPanelID panel);
    static int post(LWXPanelID panel);
    static int open(LWXPanelID panel);

    LWXPanelFuncs funcs{};
    std::map<LWXPanelID, std::unique_ptr<XPanelRecord>> panels;
    LWXPanelID last = nullptr;
};

} // namespace standin

#endif
