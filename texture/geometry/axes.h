// The ray runs along the texture axis; every test across it works in the other two, always paired
// the same way, so that any two stored forms of one polygon read the same coordinates.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_AXES_H
#define OSTREVIN_TEXTURE_GEOMETRY_AXES_H

namespace ostrevin {

// The two axes across the ray, by texture axis (u first, then v).
constexpr int crossFirstAxis[3] = {1, 0, 0};
constexpr int crossSecondAxis[3] = {2, 2, 1};

} // namespace ostrevin

#endif
