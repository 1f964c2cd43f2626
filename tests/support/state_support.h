// Helpers for the settings tests: binary records, and a load state whose results are scripted.
#ifndef OSTREVIN_TESTS_SETTINGS_STATE_SUPPORT_H
#define OSTREVIN_TESTS_SETTINGS_STATE_SUPPORT_H

#include <algorithm>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "framework/host_api.h"
#include "host/states.h"

namespace settings_test {

// One line as the binary form frames it: big-endian count, the text and its NUL.
inline std::string record(const std::string &text)
{
    const std::size_t n = text.size() + 1;
    std::string out{static_cast<char>((n >> 8) & 0xFF), static_cast<char>(n & 0xFF)};
    out += text;
    out.push_back('\0');
    return out;
}

inline std::string records(std::initializer_list<std::string> lines)
{
    std::string out;
    for (const std::string &line : lines)
        out += record(line);
    return out;
}

inline std::string textLines(std::initializer_list<std::string> lines)
{
    std::string out;
    for (const std::string &line : lines)
        out += line + "\n";
    return out;
}

// The panel block of an open panel at 120, -40, and the end line.
inline const std::initializer_list<std::string> &panelExample()
{
    static const std::initializer_list<std::string> lines = {"{ Panel : ", "  open : 1", "  x : 120", "  y : -40",
                                                              "}    ", "End All"};
    return lines;
}

// A load state that answers each read with the next scripted step: it copies the step's bytes
// (no more than asked, never a terminator) and returns the step's result, however absurd.
class ScriptedLoad {
public:
    struct Step {
        int result;
        std::string bytes;
    };

    explicit ScriptedLoad(int ioMode)
    {
        table.ioMode = ioMode;
        table.readData = this;
        table.read = [](void *d, char *buf, int len) {
            auto &s = *static_cast<ScriptedLoad *>(d);
            s.asked.push_back(len);
            if (s.reads.empty())
                return s.endResult;
            const Step step = s.reads.front();
            s.reads.pop_front();
            std::memcpy(buf, step.bytes.data(), std::min(step.bytes.size(), static_cast<std::size_t>(len)));
            return step.result;
        };
        table.readU2 = [](void *d, unsigned short *vals, int) {
            auto &s = *static_cast<ScriptedLoad *>(d);
            if (s.counts.empty())
                return 0;
            *vals = s.counts.front();
            s.counts.pop_front();
            return 1;
        };
    }

    const LWLoadState *state() const { return &table; }

    std::deque<Step> reads;
    std::deque<unsigned short> counts;
    std::deque<int> asked;
    int endResult = -1;

private:
    LWLoadState table{};
};

// What `owner` (an instance or a layer) saves in `form`; a save that reports an error fails the test.
template <class Owner>
std::string saved(Owner &owner, standin::StateForm form = standin::StateForm::Binary)
{
    standin::SaveState save(form);
    EXPECT_EQ(owner.save(save.state()), nullptr);
    return save.bytes();
}

// Loads `bytes` in `form` into `owner`; a load that reports an error fails the test.
template <class Owner>
void load(Owner &owner, const std::string &bytes, standin::StateForm form = standin::StateForm::Binary)
{
    standin::LoadState state(form, bytes);
    EXPECT_EQ(owner.load(state.state()), nullptr);
}

} // namespace settings_test

#endif
