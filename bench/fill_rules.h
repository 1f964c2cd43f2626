// The fill rules' and "Include Children"'s throughput beside Even-Odd's, through the module.
#ifndef OSTREVIN_BENCH_FILL_RULES_H
#define OSTREVIN_BENCH_FILL_RULES_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/scene.h"

namespace bench {

struct FillRuleOptions {
    bool quick = false;
    std::string only;                 // targets whose name holds this; all when empty
    double seconds = 0.25;            // least time spent on each rate
    std::size_t points = std::size_t{1} << 16;
};

// A bench target: fills an object, or says why it cannot.
struct RuleTarget {
    std::string name;
    bool large = false;   // skipped by --quick
    std::function<bool(standin::SceneObject &, std::string &)> fill;
};

// Prints the rules' table over `targets` (the bench's closed ones) and open targets of its own,
// the children's table, and their goals; false when a target cannot be set up.
bool benchFillRules(const standin::LoadedModule &module, const FillRuleOptions &options,
                    const std::vector<RuleTarget> &targets);

} // namespace bench

#endif
