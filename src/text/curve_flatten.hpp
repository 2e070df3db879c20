#pragma once
// Bezier curves flattened into line segments by the adaptive subdivision of
// Anti-Grain Geometry's curve3_div / curve4_div, with the settings
// Matplotlib's path-to-polygon conversion leaves them at (approximation
// scale 1, no angle or cusp limit). Text outlines must come out point for
// point the way Matplotlib flattens them, so the arithmetic here follows
// that algorithm step by step and is compiled without contracting
// multiply-adds into FMAs.
#include <vector>

#include "text/planar_shape.hpp"

namespace glyphway::text::detail {

// Both append the points that replace the curve from p1 to its end: the
// subdivision points, then the end point. The start point is not appended;
// it is the previous segment's end.
void flatten_quadratic(const Point2& p1, const Point2& p2, const Point2& p3, std::vector<Point2>& out);
void flatten_cubic(const Point2& p1, const Point2& p2, const Point2& p3, const Point2& p4,
                   std::vector<Point2>& out);

}  // namespace glyphway::text::detail
