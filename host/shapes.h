// Closed meshes for the stand-in scene: every generator appends points and polygons to an object,
// shares each point between the polygons that meet there (no cracks, no duplicated points), and
// orders vertices counter-clockwise seen from outside. Several shapes may go into one object.
//
//   appendBox(scene.addObject("Cube"), {-1, -1, -1}, {1, 1, 1});
#ifndef OSTREVIN_HOST_SHAPES_H
#define OSTREVIN_HOST_SHAPES_H

#include <array>
#include <vector>

#include "host/scene.h"

namespace standin {

using Point2 = std::array<double, 2>;

// Axis-aligned box; each face a grid of divisions x divisions quads.
void appendBox(SceneObject &object, const Point3 &low, const Point3 &high, int divisions = 1);

// The same box with every grid cell split into two triangles, the diagonal alternating from cell
// to cell, so that both diagonal directions meet lattice points.
void appendTriangulatedBox(SceneObject &object, const Point3 &low, const Point3 &high, int divisions = 1);

// Icosahedron subdivided `level` times, projected onto the sphere: 20 * 4^level triangles
// (level 8: 1,310,720) and 10 * 4^level + 2 points.
void appendIcosphere(SceneObject &object, const Point3 &centre, double radius, int level);

// Sphere of `segments` meridians and `rings` bands around the Z axis: triangle fans at the two
// poles (points on the axis), quads between. segments >= 3, rings >= 2.
void appendUVSphere(SceneObject &object, const Point3 &centre, double radius, int segments, int rings);

// Torus around the Z axis: majorSegments quads around the axis times minorSegments around the
// tube. Both counts >= 3.
void appendTorus(SceneObject &object, const Point3 &centre, double majorRadius, double minorRadius,
                 int majorSegments, int minorSegments);

// Extrusion of a simple outline (either winding) from `low` to `high` along `axis` (0 X, 1 Y,
// 2 Z): two n-gon caps and one quad per outline edge. The outline's two coordinates go to the
// axes after `axis` in cyclic order: (Y, Z) for X, (Z, X) for Y, (X, Y) for Z.
void appendPrism(SceneObject &object, const std::vector<Point2> &outline, double low, double high, int axis = 2);

// Star of `spikes` points alternating between the two radii, starting at an outer point on the
// first axis: a concave 2*spikes-gon.
std::vector<Point2> starOutline(const Point2 &centre, double outerRadius, double innerRadius, int spikes);

// L of two arms of the given thickness from the corner (x0, y0): width along the first
// coordinate, height along the second. A concave hexagon.
std::vector<Point2> lOutline(const Point2 &corner, double width, double height, double thickness);

} // namespace standin

#endif
