#include "tools/ostrevin-render/object_names.h"

namespace render {

std::string uniqueName(std::string name, std::size_t index, std::set<std::string> &taken)
{
    if (name.size() > 240)
        name.resize(240);
    if (name.empty())
        name = "object " + std::to_string(index + 1);
    std::string candidate = name;
    for (int k = 2; candidate == "(none)" || taken.count(candidate); ++k)
        candidate = name + " (" + std::to_string(k) + ")";
    taken.insert(candidate);
    return candidate;
}

} // namespace render
