// The shipped module file, loaded and driven as the host drives it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/shapes.h"
#include "support/module_fixture.h"

using standin::TextureLayer;

TEST_F(ModuleTest, DescriptorCarriesSyncVersionMachineAndStartupValue)
{
    const ModuleDescriptor *d = module.descriptor();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->sysSync, MODULE_SYNC_WORD);
    EXPECT_EQ(d->sysVersion, MODULE_SYSTEM_VERSION);
    EXPECT_EQ(d->sysMachine, MODULE_MACHINE_WORD);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(module.startupResult()), MODULE_STARTUP_RESULT);
    ASSERT_NE(d->shutdown, nullptr);
}

// The exported bytes as the host's loader reads them, at its offsets for this pointer width and
// without the module's own struct: three 32-bit words, then three pointers aligned to their size.
TEST_F(ModuleTest, ExportedDescriptorBytesSitAtTheHostsOffsets)
{
    constexpr std::size_t word = sizeof(void *);
    constexpr std::size_t firstPointer = word == 8 ? 16 : 12;
    const auto *bytes = reinterpret_cast<const unsigned char *>(module.descriptor());
    ASSERT_NE(bytes, nullptr);
    auto u32At = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, bytes + at, sizeof v);
        return v;
    };
    auto pointerAt = [](const unsigned char *base, std::size_t at) {
        void *p;
        std::memcpy(&p, base + at, sizeof p);
        return p;
    };
    EXPECT_EQ(u32At(0), 0x04121994u);
    EXPECT_EQ(u32At(4), 3u);
    EXPECT_EQ(u32At(8), MODULE_MACHINE_WORD);
    if (word == 8) {
        EXPECT_EQ(u32At(12), 0u) << "padding before the start-up pointer";
    }

    using Startup = void *(*)();
    void *startup = pointerAt(bytes, firstPointer);
    ASSERT_NE(startup, nullptr);
    Startup call;
    std::memcpy(&call, &startup, sizeof call);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(call()), 4u);
    EXPECT_NE(pointerAt(bytes, firstPointer + word), nullptr) << "shut-down";

    // The server list: records of four pointers; a tag is a text pointer, then a 32-bit tag.
    const auto *server = static_cast<const unsigned char *>(pointerAt(bytes, firstPointer + 2 * word));
    ASSERT_NE(server, nullptr);
    const char *classes[] = {"TextureHandler", "TextureInterface"};
    for (int i = 0; i < 2; ++i, server += 4 * word) {
        EXPECT_STREQ(static_cast<const char *>(pointerAt(server, 0)), classes[i]);
        EXPECT_STREQ(static_cast<const char *>(pointerAt(server, word)), "Dabrel_Ostrevin");
        EXPECT_NE(pointerAt(server, 2 * word), nullptr) << "activation";
        const auto *tag = static_cast<const unsigned char *>(pointerAt(server, 3 * word));
        ASSERT_NE(tag, nullptr);
        std::uint32_t value;
        std::memcpy(&value, tag + 2 * (2 * word) + word, sizeof value);
        EXPECT_EQ(value, 0x10000u) << "the third tag, two records of " << 2 * word << " bytes in";
    }
    for (std::size_t k = 0; k < 4; ++k)
        EXPECT_EQ(pointerAt(server, k * word), nullptr) << "the list's terminator, member " << k;
}

TEST_F(ModuleTest, OffersTwoServersSharingOneTagList)
{
    const auto &servers = module.servers();
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].className, "TextureHandler");
    EXPECT_EQ(servers[1].className, "TextureInterface");
    EXPECT_EQ(servers[0].name, "Dabrel_Ostrevin");
    EXPECT_EQ(servers[1].name, "Dabrel_Ostrevin");
    ASSERT_EQ(servers[0].tags, servers[1].tags);

    const unsigned int expected[] = {0x409, 0x411, 0x10000, 0x40000};
    const ServerTagInfo *tags = servers[0].tags;
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(tags[i].string, nullptr);
        EXPECT_STREQ(tags[i].string, "Dabrel_Ostrevin");
        EXPECT_EQ(tags[i].tag, expected[i]) << "tag " << i;
    }
    EXPECT_EQ(tags[4].string, nullptr);
    EXPECT_EQ(tags[4].tag, 0u);

    const ServerRecord *end = module.descriptor()->serverDefs + 2;
    EXPECT_EQ(end->className, nullptr);
    EXPECT_EQ(end->name, nullptr);
    EXPECT_EQ(end->activate, nullptr);
    EXPECT_EQ(end->tagInfo, nullptr);
}

TEST_F(ModuleTest, HandlerActivationRefusesOtherVersionsAndWritesNothing)
{
    ActivateFunc *activate = module.find("TextureHandler", "Dabrel_Ostrevin");
    ASSERT_NE(activate, nullptr);
    for (int version : {7, 6, 4, 0, -1}) {
        LWInstanceFuncs inst{};
        LWItemFuncs item{};
        LWRenderFuncs rend{};
        LWTextureHandler table{&inst, &item, &rend, nullptr, nullptr};
        EXPECT_EQ(activate(version, standin::StandInHost::globalFunc(), &table, nullptr), 1) << version;
        EXPECT_EQ(inst.create, nullptr);
        EXPECT_EQ(inst.priv, nullptr);
        EXPECT_EQ(item.useItems, nullptr);
        EXPECT_EQ(rend.init, nullptr);
        EXPECT_EQ(table.evaluate, nullptr);
        EXPECT_EQ(table.flags, nullptr);
    }
}

TEST_F(ModuleTest, HandlerActivationFillsEveryEntryAndKeepsTheLookupAsPrivateDatum)
{
    ActivateFunc *activate = module.find("TextureHandler", "Dabrel_Ostrevin");
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
    LWTextureHandler table{&inst, &item, &rend, nullptr, nullptr};
    ASSERT_EQ(activate(5, standin::StandInHost::globalFunc(), &table, nullptr), 0);
    EXPECT_EQ(inst.priv, reinterpret_cast<void *>(standin::StandInHost::globalFunc()));
    for (const void *entry : {reinterpret_cast<const void *>(inst.create), reinterpret_cast<const void *>(inst.destroy),
                              reinterpret_cast<const void *>(inst.copy), reinterpret_cast<const void *>(inst.load),
                              reinterpret_cast<const void *>(inst.save), reinterpret_cast<const void *>(inst.descln),
                              reinterpret_cast<const void *>(item.useItems), reinterpret_cast<const void *>(item.changeID),
                              reinterpret_cast<const void *>(rend.init), reinterpret_cast<const void *>(rend.cleanup),
                              reinterpret_cast<const void *>(rend.newTime), reinterpret_cast<const void *>(table.evaluate),
                              reinterpret_cast<const void *>(table.flags)})
        EXPECT_NE(entry, nullptr);
    EXPECT_EQ(item.changeName, nullptr) << "a member the module does not fill stays as the host gave it";
}

TEST_F(ModuleTest, HandlerActivationWithoutItemTableFillsTheRest)
{
    ActivateFunc *activate = module.find("TextureHandler", "Dabrel_Ostrevin");
    LWInstanceFuncs inst{};
    LWRenderFuncs rend{};
    LWTextureHandler table{&inst, nullptr, &rend, nullptr, nullptr};
    EXPECT_EQ(activate(5, standin::StandInHost::globalFunc(), &table, nullptr), 0);
    EXPECT_NE(inst.create, nullptr);
    EXPECT_NE(rend.newTime, nullptr);
    EXPECT_NE(table.evaluate, nullptr);
    EXPECT_EQ(table.item, nullptr);
}

TEST_F(ModuleTest, InterfaceActivationAcceptsOnlyVersionFour)
{
    TextureLayer layer(host, module);
    ASSERT_TRUE(layer.create()) << layer.error();
    ActivateFunc *activate = module.find("TextureInterface", "Dabrel_Ostrevin");
    ASSERT_NE(activate, nullptr);

    auto sentinel = reinterpret_cast<LWError (*)(LWInstance)>(0x1);
    for (int version : {1, 2, 3, 5}) {
        LWInterface refused{layer.instance(), nullptr, sentinel, nullptr};
        EXPECT_EQ(activate(version, standin::StandInHost::globalFunc(), &refused, nullptr), 1) << version;
        EXPECT_EQ(refused.options, sentinel);
    }
    EXPECT_TRUE(host.xpanel().calls.empty());

    LWInterface accepted{layer.instance(), nullptr, sentinel, nullptr};
    EXPECT_EQ(activate(4, standin::StandInHost::globalFunc(), &accepted, nullptr), 0);
    EXPECT_EQ(accepted.options, nullptr);
    EXPECT_EQ(accepted.command, nullptr);
    EXPECT_NE(accepted.panel, nullptr);
}

// The host steps the handler down from its newest version and counts the interface up from 1.
TEST_F(ModuleTest, AHostOfferingSevenFirstEndsWithAWorkingTexture)
{
    standin::appendBox(host.scene().addObject("Cube"), {-1, -1, -1}, {1, 1, 1});
    TextureLayer layer(host, module);
    ASSERT_TRUE(layer.create()) << layer.error();
    EXPECT_EQ(layer.handlerOffers(), (std::vector<int>{7, 6, 5}));
    EXPECT_EQ(layer.handlerVersion(), 5);
    ASSERT_NE(layer.openPanel(), nullptr);
    EXPECT_EQ(layer.interfaceOffers(), (std::vector<int>{1, 2, 3, 4}));
    ASSERT_TRUE(layer.pickTarget("Cube"));
    ASSERT_EQ(layer.init(LWINIT_RENDER), nullptr);
    ASSERT_EQ(layer.newTime(0, 0.0), nullptr);
    EXPECT_EQ(layer.evaluate(0.25, 0.5, 0.1), 1.0);
    EXPECT_EQ(layer.evaluate(2.0, 0.0, 0.0), 0.0);
    layer.cleanup();
}

TEST_F(ModuleTest, ConstructionLooksEveryServiceUpOnceInOrder)
{
    TextureLayer layer(host, module);
    host.clearLookups();
    ASSERT_TRUE(layer.create()) << layer.error();

    // Every service the stand-in host offers, in its order, but the panel's, which only a panel asks for.
    std::vector<std::string> expected = standin::StandInHost::serviceNames();
    expected.erase(std::remove(expected.begin(), expected.end(), "LWXPanel"), expected.end());
    const auto calls = host.lookups();
    ASSERT_EQ(calls.size(), expected.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].name, expected[i]) << "lookup " << i;
        EXPECT_EQ(calls[i].use, 0) << calls[i].name;
    }
    EXPECT_EQ(host.threads().creates.load(), 1);
}

TEST_F(ModuleTest, CreateAndDestroyReleaseTheMutexGroup)
{
    {
        TextureLayer layer(host, module);
        ASSERT_TRUE(layer.create());
        EXPECT_EQ(host.threads().liveGroups.load(), 1);
    }
    EXPECT_EQ(host.threads().destroys.load(), 1);
    EXPECT_EQ(host.threads().liveGroups.load(), 0);
}

TEST_F(ModuleTest, AHostWithoutAnyServiceStillGetsAWorkingInstance)
{
    host.withholdAll();
    TextureLayer layer(host, module);
    ASSERT_TRUE(layer.create()) << layer.error();
    EXPECT_EQ(host.threads().creates.load(), 0);
    EXPECT_EQ(layer.init(LWINIT_RENDER), nullptr);
    EXPECT_EQ(layer.newTime(1, 0.04), nullptr);
    EXPECT_EQ(layer.evaluate(0, 0, 0), 0.0);
    layer.cleanup();
    EXPECT_EQ(layer.openPanel(), nullptr);
    layer.destroy();
    EXPECT_EQ(host.threads().destroys.load(), 0);
}

TEST_F(ModuleTest, DestroyEntryIgnoresANullInstance)
{
    TextureLayer layer(host, module);
    ASSERT_TRUE(layer.create());
    LWInstanceFuncs inst{};
    LWRenderFuncs rend{};
    LWTextureHandler table{&inst, nullptr, &rend, nullptr, nullptr};
    ASSERT_EQ(module.find("TextureHandler", "Dabrel_Ostrevin")(5, standin::StandInHost::globalFunc(), &table, nullptr), 0);
    inst.destroy(nullptr);
}

TEST_F(ModuleTest, PanelCallbacksToleratesANullInstance)
{
    TextureLayer layer(host, module);
    ASSERT_TRUE(layer.create());
    ASSERT_NE(layer.openPanel(), nullptr);
    const standin::XPanelRecord *panel = host.xpanel().panel(layer.panel());
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(panel->get, nullptr);
    ASSERT_NE(panel->set, nullptr);
    int value = 1;
    EXPECT_EQ(panel->get(nullptr, 0x8001), nullptr);
    EXPECT_EQ(panel->set(nullptr, 0x8001, &value), 0);
}
