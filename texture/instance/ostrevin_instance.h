// The texture's instance: one per texture layer of this kind. The main header of texture/.
//
// A newcomer's route. texture/ is in layers, each folder including only its own files, the
// folders below it and framework/ (the texture_layers test holds that):
//   settings/   the panel and persistence (the instance's settings, in and out)
//   instance/   this class: the frame's build under the locks, and evaluate
//   target/     the target and the objects below it (TargetSet), each a MaskedObject: its mesh
//               cache and soft edge, "inside, then ramp"
//   mesh/       the mesh cache: the records of one object, and its inside test by a fill rule;
//               the corner list (the host's polygon list, and whether it closes)
//   inside/     distance/   side by side: the crossing count (the records' scan, the crossing
//               index with its edge slabs, the solid cells, winding and the fill rules); and each
//               polygon's distance (a polygon of many corners through its outline's slabs) with
//               the distance index over them
//   geometry/   bounds, vectors, the quantiser, the axes across the ray, the plane test, the
//               crossing rule in a polygon's projection, the polygon record, and the box grid
//               (which boxes may meet another)
// Follow one point: evaluate (instance/ostrevin_instance.cpp) asks TargetSet::valueAt, whose
// MaskedObject::valueAt asks MeshCache::contains (for the parity a solid cell's lookup first, then
// CrossingIndex::isInside, or the records' scan on a small mesh) and, inside,
// SoftEdgeFrame::insideValue (DistanceIndex).
//
// Glossary (each word in this one meaning throughout texture/; the crossing index, the distance
// index and the edge slabs keep the glossaries of their own words in their headers):
//   target     the object the panel picks; "the target set" is it and the objects below it.
//   child      an object below the target in the scene's hierarchy (at any depth).
//   record     one polygon as the mesh cache holds it (PolygonRecord), in world coordinates.
//   bounds     an axis-aligned box with an honest empty (Bounds); "inclusive" tests count its
//              boundary as within.
//   axis       the texture axis, along which the ray runs; u and v the two across it
//              (crossFirstAxis, crossSecondAxis).
//   crossing   the ray passing through a polygon strictly ahead of the point; its sign +1 when it
//              leaves through the polygon's front (crossingSign).
//   parity, winding  the crossings counted modulo 2, or summed by sign.
//   fill rule  which crossings make a point inside: Even-Odd, Non-Zero, Tolerant.
//   closed     every edge used by an even number of polygons: Tolerant's check matches edges by
//              their corners' positions (MeshCache::closed), the corner list by the host's point
//              IDs (CornerList::closed), which the solid cells need.
//   corner list  the host's polygon list as its point IDs, kept from build to build (CornerList).
//   cell       one box of a grid, its steps the quantiser's. The solid cells' (SolidCells) are
//              "surface" where some polygon's grown bounds meet them, otherwise "inside" or
//              "outside": a point there is answered by a lookup.
//   width      the soft edge's width; depth a point's distance to the nearest polygon, inside.
//   ramp       the smooth step of depth over width.
//   step       what the quantiser maps a coordinate to along one axis of a grid.
//   index      an acceleration structure built over the records: the crossing index, the
//              distance index.
//   build      rebuilding from the host's mesh (the cache) or from the records (an index), once
//              per frame; a layout (the crossing index's grids) is made at an axis's first query.
#ifndef OSTREVIN_TEXTURE_INSTANCE_OSTREVIN_INSTANCE_H
#define OSTREVIN_TEXTURE_INSTANCE_OSTREVIN_INSTANCE_H

#include <atomic>
#include <cstdint>

#include "framework/host_services.h"
#include "framework/mutex_group.h"
#include "framework/texture_instance.h"
#include "texture/target/target_set.h"

namespace ostrevin {

// Panel controls; the same numbers serve as value IDs.
constexpr unsigned int targetItemControl = 0x8001;
constexpr unsigned int inOutControl = 0x8002;
constexpr unsigned int fillRuleControl = 0x8003;
constexpr unsigned int childrenControl = 0x8004;
constexpr unsigned int softEdgeControl = 0x8005;

// An on/off setting from the panel or a file: below 0 is off, above 1 on.
constexpr int clampedSwitch(int value) noexcept
{
    return value < 0 ? 0 : value > 1 ? 1 : value;
}

// What the module publishes that the texture shows or saves: the name heading its panel and its
// layer's description, and the version its saved settings carry. They belong to the boundary
// (plugin/), which hands them over as values when it makes an instance.
struct PublishedNames {
    const char *pluginName;
    double dataVersion;
};

class OstrevinInstance : public TextureInstance {
public:
    OstrevinInstance(GlobalFunc *lookup, void *context, const PublishedNames &published) noexcept;
    ~OstrevinInstance() override;

    // Persistence, copy, description and item tracking (persistence.cpp).
    LWError load(const LWLoadState *state) noexcept override;
    LWError save(const LWSaveState *state) noexcept override;
    LWError copy(const TextureInstance *source) noexcept override;
    const char *descln() noexcept override;
    const LWItemID *useItems() noexcept override;
    void changeID(const LWItemID *idList) noexcept override;
    // itemName := the scene's name of the target, "(none)" without one. Called when the target
    // changes and at save; the layer's description reads itemName.
    void nameTarget() noexcept;

    // Render protocol and evaluation (ostrevin_instance.cpp).
    LWError init(int mode) noexcept override;
    void cleanup() noexcept override;
    LWError newTime(LWFrame frame, LWTime time) noexcept override;
    double evaluate(LWTextureAccess *access) noexcept override;

    // Settings panel (settings_panel.cpp).
    LWXPanelID createPanel(GlobalFunc *lookup, LWXPanelGetFunc *get, LWXPanelSetFunc *set) noexcept override;
    void *panelGet(unsigned int id) noexcept override;
    int panelSet(unsigned int id, void *value) noexcept override;
    static int popupCount(void *instance) noexcept;
    static const char *popupName(void *instance, int index) noexcept;

    bool isModeler() const noexcept;
    // Builds the cache at the first evaluation of a frame, whose ray axis the soft edge's windings
    // take (texture/target/filled_boundary.h); the others wait for it to finish.
    void buildForFrame(int axis) noexcept;

    // Framework members: first, in this order.
    HostServices services;
    std::uint32_t systemID;
    std::uint32_t productInfo;
    MutexGroup mutexes;

    // The texture's own fields.
    const PublishedNames published;
    LWItemID itemID = nullptr;
    char itemName[textLength] = {};
    int popupIndex = -1;
    // The text of the popup entry asked for last; valid until the next ask.
    char popupText[textLength] = {};
    int flipFlg = 0;
    std::atomic<bool> cacheBuilt{false};
    int renderMode = -1;
    LWXPanelID panelID = nullptr;
    // Which crossings make a point inside (texture/inside/fill_rule.h), and whether the objects below the
    // target join it; both 0 by default, which is the texture as it always was.
    int fillRule = 0;
    int includeChildren = 0;
    // The target and the objects below it, each with its cache and soft edge, as the frame's
    // build left them.
    TargetSet targets;

    // Published with release once the frame's build has finished: evaluations that see it skip
    // the locks and read the finished cache.
    std::atomic<bool> cacheReady{false};
    // Serialises builds when the host's mutex cannot be had (no group, or a lock that fails).
    std::atomic_flag buildLock = ATOMIC_FLAG_INIT;

    // The soft edge's width in metres, finite and not negative; 0 keeps the edge hard. Like a new
    // target, a new width reaches evaluation at the first evaluation after the next newTime.
    double softEdge = 0.0;
};

// The host's XPanel table, stored at every panel creation; shared by all instances.
extern const LWXPanelFuncs *xpanelFuncs;

} // namespace ostrevin

#endif
