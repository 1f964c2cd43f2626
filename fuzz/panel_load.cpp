// Arbitrary bytes into the base class's Panel-block load, through a binary and a text load state.
// A restored panel must save and load back to the same position.
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/texture_instance.h"
#include "host/standin_host.h"
#include "host/states.h"

using standin::LoadState;
using standin::SaveState;
using standin::StandInHost;
using standin::StateForm;

namespace {

struct PanelHooks : ostrevin::TextureInstance {
    PanelHooks() : TextureInstance(StandInHost::globalFunc(), nullptr) {}
    bool queryPanel(int *px, int *py) noexcept override
    {
        *px = x;
        *py = y;
        return restores > 0;
    }
    void restorePanel(int px, int py) noexcept override
    {
        ++restores;
        x = px;
        y = py;
    }
    int restores = 0, x = 0, y = 0;
};

void check(StateForm form, const std::string &bytes)
{
    PanelHooks first;
    LoadState load(form, bytes);
    first.load(load.state());
    if (first.restores > 1)
        __builtin_trap();

    SaveState save(form);
    first.save(save.state());
    PanelHooks second;
    LoadState again(form, save.bytes());
    second.load(again.state());
    if (second.restores != first.restores || second.x != first.x || second.y != first.y)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static StandInHost host;
    host.clearLookups();   // the host logs every lookup: keep the log from growing across inputs
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    check(StateForm::Binary, bytes);
    check(StateForm::Text, bytes);
    return 0;
}
