// Which points count as inside, from the polygons that rays from the point cross.
#ifndef OSTREVIN_TEXTURE_INSIDE_FILL_RULE_H
#define OSTREVIN_TEXTURE_INSIDE_FILL_RULE_H

namespace ostrevin {

// The panel's popup positions and the saved values; Even-Odd is the default.
constexpr int evenOddRule = 0;    // an odd number of crossings
constexpr int nonZeroRule = 1;    // crossings summed +1 or -1 by the side they pass; the sum not 0
constexpr int tolerantRule = 2;   // rays along the axes vote, each by Non-Zero: holes in the mesh heal

// A value from the panel or a file outside the rules: the nearest rule.
constexpr int clampedFillRule(int value) noexcept
{
    return value < evenOddRule ? evenOddRule : value > tolerantRule ? tolerantRule : value;
}

// The popup's labels, in the rules' order.
constexpr const char *fillRuleLabels[] = {"Even-Odd", "Non-Zero", "Tolerant", nullptr};

} // namespace ostrevin

#endif
