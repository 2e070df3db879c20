#pragma once
// Caps and side walls of an extruded planar shape.
#include "text/mesh.hpp"
#include "text/planar_shape.hpp"

namespace glyphway::text {

// Turns every polygon of `shape` into a closed prism between z = 0 and
// z = depth. Per polygon: bottom vertices then top vertices (ring points as
// given, closing points included, exterior first then each hole of 3 or more
// points); faces are the bottom cap (reversed), the top cap (triangulator
// order) and two wall triangles per ring edge. Polygons whose exterior has
// fewer than 3 points, or that the triangulator cannot split, are dropped.
Mesh triangulate_extrude(const PlanarShape& shape, double depth);

// Ear-clipping of one polygon given as a flat point list and cumulative ring
// ends; returns corner indices into `points`, three per triangle.
std::vector<VertexIndex> triangulate_rings(const std::vector<Point2>& points,
                                           const std::vector<VertexIndex>& ring_ends);

}  // namespace glyphway::text
