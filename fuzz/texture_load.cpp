// Arbitrary bytes into the texture's load, as an object file (binary state) and as a scene file
// (text state). Whatever loads must save, load into a fresh instance and save again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "host/standin_host.h"
#include "host/states.h"
#include "texture/instance/ostrevin_instance.h"
#include "tests/support/published_names.h"

using ostrevin::OstrevinInstance;
using standin::LoadState;
using standin::SaveState;
using standin::StandInHost;
using standin::StateForm;

namespace {

std::string saved(OstrevinInstance &inst)
{
    SaveState save(StateForm::Binary);
    inst.save(save.state());
    return save.bytes();
}

void check(StateForm form, const std::string &bytes)
{
    OstrevinInstance first(StandInHost::globalFunc(), nullptr, modulePublishedNames());
    LoadState load(form, bytes);
    first.load(load.state());
    if (std::memchr(first.itemName, '\0', sizeof first.itemName) == nullptr)
        __builtin_trap();
    first.descln();

    const std::string once = saved(first);
    OstrevinInstance second(StandInHost::globalFunc(), nullptr, modulePublishedNames());
    LoadState again(StateForm::Binary, once);
    second.load(again.state());
    if (saved(second) != once)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static StandInHost host;
    host.clearLookups();   // the host logs every lookup: keep the log from growing across inputs
    // In Modeler the save writes the loaded name back instead of asking the scene for it.
    host.systemID = StandInHost::modelerSystemID;
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    check(StateForm::Binary, bytes);
    check(StateForm::Text, bytes);
    return 0;
}
