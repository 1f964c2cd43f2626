#include "host/xpanel.h"

#include <initializer_list>

#include "host/standin_host.h"

namespace standin {

namespace {
constexpr std::size_t maxRecords = 4096;   // a list without its terminator must not run on

bool oneOf(const std::string &name, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (name == n)
            return true;
    return false;
}
} // namespace

bool XPanelHost::knownControlClass(const std::string &name)
{
    return oneOf(name, {"iPopChoice", "iChoice", "iBoolean", "integer", "float", "distance"});
}

bool XPanelHost::knownDataType(const std::string &name) { return oneOf(name, {"integer", "float", "distance"}); }

XPanelHost::XPanelHost()
{
    funcs.version = 1;
    funcs.create = create;
    funcs.destroy = destroy;
    funcs.describe = describe;
    funcs.hint = hint;
    funcs.getData = getData;
    funcs.setData = setData;
    funcs.formGet = formGet;
    funcs.formSet = formSet;
    funcs.viewInst = viewInst;
    funcs.viewRefresh = viewRefresh;
    funcs.post = post;
    funcs.open = open;
}

XPanelHost &XPanelHost::service() { return StandInHost::current()->xpanel(); }

XPanelRecord *XPanelHost::panel(LWXPanelID id)
{
    auto it = panels.find(id);
    return it == panels.end() ? nullptr : it->second.get();
}

LWXPanelID XPanelHost::create(int type, LWXPanelControl *controls)
{
    XPanelHost &x = service();
    x.calls.push_back({2, nullptr, 0});
    if (x.createFails)
        return nullptr;
    auto record = std::make_unique<XPanelRecord>();
    record->type = type;
    for (std::size_t i = 0; controls && controls[i].cid && i < maxRecords; ++i) {
        const std::string cls = controls[i].ctrlclass ? controls[i].ctrlclass : "";
        record->controls.push_back({controls[i].cid, controls[i].label ? controls[i].label : "", cls, knownControlClass(cls)});
    }
    LWXPanelID id = record.get();
    x.panels[id] = std::move(record);
    x.calls.back().panel = id;
    x.last = id;
    return id;
}

void XPanelHost::destroy(LWXPanelID id)
{
    XPanelHost &x = service();
    x.calls.push_back({3, id, 0});
    if (XPanelRecord *p = x.panel(id))
        p->destroyed = true;
}

void XPanelHost::describe(LWXPanelID id, LWXPanelDataDesc *data, LWXPanelGetFunc *get, LWXPanelSetFunc *set)
{
    XPanelHost &x = service();
    x.calls.push_back({4, id, 0});
    XPanelRecord *p = x.panel(id);
    if (!p)
        return;
    p->data.clear();
    for (std::size_t i = 0; data && data[i].vid && i < maxRecords; ++i) {
        const std::string type = data[i].datatype ? data[i].datatype : "";
        p->data.push_back({data[i].vid, data[i].name ? data[i].name : "", type, knownDataType(type)});
    }
    p->get = get;
    p->set = set;
}

void XPanelHost::hint(LWXPanelID id, unsigned int hintId, LWXPanelHint *hints)
{
    XPanelHost &x = service();
    x.calls.push_back({5, id, hintId});
    XPanelRecord *p = x.panel(id);
    if (!p || !hints)
        return;
    // Only the forms the host documents are parsed; anything else ends the walk.
    std::size_t i = 0;
    // Tags and control IDs are 32-bit values in pointer-sized elements: with any higher bit set
    // (a sign-extended tag, say) an element is no tag the host knows.
    auto word = [](LWXPanelHint element) {
        const auto bits = reinterpret_cast<std::uintptr_t>(element);
        return bits >> 16 >> 16 ? 0u : static_cast<unsigned int>(bits);   // two shifts: any width
    };
    while (i < maxRecords && hints[i]) {
        const unsigned int tag = word(hints[i]);
        const unsigned int cid = word(hints[i + 1]);
        if (tag == XPTAG_LABEL || tag == XPTAG_STRLIST) {
            p->hints.push_back({tag, cid, {hints[i + 2]}});
            i += 4;   // tag, ID, argument, null
        } else if (tag == XPTAG_POPFUNCS) {
            p->hints.push_back({tag, cid, {hints[i + 2], hints[i + 3]}});
            i += 4;   // tag, ID, count, name
        } else {
            p->hints.push_back({tag, 0, {}});
            break;
        }
    }
}

void *XPanelHost::getData(LWXPanelID id, unsigned int cid)
{
    XPanelHost &x = service();
    x.calls.push_back({6, id, cid});
    XPanelRecord *p = x.panel(id);
    if (!p)
        return nullptr;
    auto it = p->userData.find(cid);
    return it == p->userData.end() ? nullptr : it->second;
}

void XPanelHost::setData(LWXPanelID id, unsigned int cid, void *data)
{
    XPanelHost &x = service();
    x.calls.push_back({7, id, cid});
    if (XPanelRecord *p = x.panel(id))
        p->userData[cid] = data;
}

void *XPanelHost::formGet(LWXPanelID id, unsigned int vid)
{
    service().calls.push_back({8, id, vid});
    return nullptr;
}

void XPanelHost::formSet(LWXPanelID id, unsigned int vid, void *) { service().calls.push_back({9, id, vid}); }

void XPanelHost::viewInst(LWXPanelID id, void *inst)
{
    XPanelHost &x = service();
    x.calls.push_back({10, id, 0});
    if (XPanelRecord *p = x.panel(id))
        p->viewInstance = inst;
}

void XPanelHost::viewRefresh(LWXPanelID id)
{
    XPanelHost &x = service();
    x.calls.push_back({11, id, 0});
    if (XPanelRecord *p = x.panel(id))
        ++p->refreshes;
}

int XPanelHost::post(LWXPanelID id)
{
    service().calls.push_back({12, id, 0});
    return 1;
}

int XPanelHost::open(LWXPanelID id)
{
    service().calls.push_back({13, id, 0});
    return 1;
}

void *XPanelHost::get(LWXPanelID id, unsigned int vid)
{
    XPanelRecord *p = panel(id);
    return p && p->get ? p->get(p->viewInstance, vid) : nullptr;
}

int XPanelHost::getInt(LWXPanelID id, unsigned int vid, int fallback)
{
    const void *value = get(id, vid);
    return value ? *static_cast<const int *>(value) : fallback;
}

int XPanelHost::setInt(LWXPanelID id, unsigned int vid, int value)
{
    XPanelRecord *p = panel(id);
    return p && p->set ? p->set(p->viewInstance, vid, &value) : 0;
}

std::vector<std::string> XPanelHost::popupEntries(LWXPanelID id, unsigned int cid)
{
    std::vector<std::string> entries;
    XPanelRecord *p = panel(id);
    if (!p)
        return entries;
    for (const XPanelHintInfo &h : p->hints) {
        if (h.tag != XPTAG_POPFUNCS || h.id != cid || h.args.size() < 2)
            continue;
        auto *count = reinterpret_cast<LWXPanelPopCntFunc *>(h.args[0]);
        auto *name = reinterpret_cast<LWXPanelPopNameFunc *>(h.args[1]);
        auto it = p->userData.find(cid);
        void *data = it == p->userData.end() ? nullptr : it->second;
        const int n = count ? count(data) : 0;
        for (int i = 0; i < n && name; ++i) {
            const char *text = name(data, i);
            entries.push_back(text ? text : "");
        }
    }
    return entries;
}

int XPanelHost::popupIndexOf(LWXPanelID id, unsigned int cid, const std::string &wanted)
{
    const std::vector<std::string> entries = popupEntries(id, cid);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == wanted)
            return static_cast<int>(i);
    return -1;
}

std::vector<std::string> XPanelHost::stringList(LWXPanelID id, unsigned int cid)
{
    std::vector<std::string> list;
    XPanelRecord *p = panel(id);
    if (!p)
        return list;
    for (const XPanelHintInfo &h : p->hints) {
        if (h.tag != XPTAG_STRLIST || h.id != cid || h.args.empty())
            continue;
        auto *const *texts = static_cast<const char *const *>(h.args[0]);
        for (std::size_t i = 0; texts && texts[i] && i < maxRecords; ++i)
            list.emplace_back(texts[i]);
    }
    return list;
}

} // namespace standin
