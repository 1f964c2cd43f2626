// A texture layer of the shipped module over a stand-in scene, and independent answers to check
// its inside test against.
#ifndef OSTREVIN_TESTS_TEXTURE_TEXTURE_SUPPORT_H
#define OSTREVIN_TESTS_TEXTURE_TEXTURE_SUPPORT_H

#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "host/shapes.h"
#include "support/module_fixture.h"
#include "support/state_support.h"

using Vec3 = std::array<double, 3>;

// The fill rule's and "Include Children"'s value IDs.
constexpr unsigned int fillRuleValue = 0x8003;
constexpr unsigned int childrenValue = 0x8004;

class LayerTest : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        layerSlot.emplace(host, module);
    }
    standin::Scene &scene() { return host.scene(); }

    // A layer rendering frame 0 with the named object as its target (none for "").
    void start(const std::string &target, bool out = false)
    {
        ASSERT_TRUE(layer().create()) << layer().error();
        layer().openPanel();
        if (!target.empty())
            choose(target);
        if (out)
            setOut(true);
        ASSERT_EQ(layer().init(LWINIT_RENDER), nullptr);
        ASSERT_EQ(layer().newTime(0, 0.0), nullptr);
    }

    // A layer as start() makes it, with a fill rule and "Include Children" set through the panel.
    void startWith(const std::string &target, int rule, bool children = false)
    {
        start(target);
        ASSERT_EQ(layer().setValue(fillRuleValue, rule), 1);
        ASSERT_EQ(layer().setValue(childrenValue, children ? 1 : 0), 1);
    }

    // Through the panel, as a user would.
    void choose(const std::string &name) { ASSERT_TRUE(layer().pickTarget(name)) << name; }
    void setOut(bool out) { ASSERT_TRUE(layer().setInvert(out)); }

    double at(const Vec3 &p, int axis = 2) { return layer().evaluate(p[0], p[1], p[2], axis); }

    standin::TextureLayer &layer() { return *layerSlot; }
    std::optional<standin::TextureLayer> layerSlot;   // made once the module is open
};

// Side of a convex closed mesh: +1 inside, -1 outside, 0 within `margin` of a face's plane.
inline int convexSide(const standin::SceneObject &o, const Vec3 &p, double margin)
{
    int side = 1;
    for (const auto &poly : o.polygons) {
        const auto &a = o.points[poly[0]], &b = o.points[poly[1]], &c = o.points[poly[2]];
        const Vec3 e1{double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const Vec3 e2{double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
        const Vec3 n{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const double d = (n[0] * (p[0] - a[0]) + n[1] * (p[1] - a[1]) + n[2] * (p[2] - a[2])) / len;
        if (d > margin)
            return -1;
        if (d > -margin)
            side = 0;
    }
    return side;
}

// The module with a scene of one object, Cube (item 712), for the fill rule's and "Include
// Children"'s controls and saved keys.
class FillControls : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        host.scene().addObject("Cube", reinterpret_cast<LWItemID>(712));
    }
    // A layer with its panel open and Cube as its target.
    void open(standin::TextureLayer &layer)
    {
        ASSERT_TRUE(layer.create()) << layer.error();
        ASSERT_NE(layer.openPanel(), nullptr);
        ASSERT_TRUE(layer.pickTarget("Cube"));
    }
    static std::string cubeRecords(std::initializer_list<std::string> extra)
    {
        std::string out = settings_test::records({"version : 1.100000", "itemID : 712", "itemName : Cube", "flipFlg : 0"});
        for (const std::string &line : extra)
            out += settings_test::record(line);
        return out + settings_test::record("End All");
    }
};

#endif
