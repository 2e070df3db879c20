#pragma once
// Bezier curves flattened into line segments by the adaptive subdivision of
// Anti-Grain Geometry's curve3_div / curve4_div, with the settings
// Matplotlib's path-to-polygon conversion leaves them at (approximation
// scale 1, no angle or cusp limit). Text outlines must come out point for
// point the way Matplotlib flattens them, so the arithmetic here follows
// that algorithm step by step and is compiled without contracting
// multiply-adds into FMAs.
#include <cstddef>
#include <vector>

#include "text/planar_shape.hpp"

namespace glyphway::text::detail {

// How finely to flatten, and how much work the caller allows. Every
// subdivision step costs one; once none are left the flatteners stop
// appending where they are, and the caller is expected to throw the
// points away and flatten again more coarsely. Without a limit, a huge
// outline (or one with NaN coordinates, which never counts as flat)
// would be split down to the recursion limit: billions of steps.
struct Flattening {
    // The largest distance a flattened segment may stray from the curve,
    // squared: half a unit at approximation scale 1.
    double distance_tolerance_square = 0.5 * 0.5;
    std::size_t steps_left = 0;

    bool exhausted() const { return steps_left == 0; }
};

// Both append the points that replace the curve from p1 to its end: the
// subdivision points, then the end point. The start point is not appended;
// it is the previous segment's end.
void flatten_quadratic(const Point2& p1, const Point2& p2, const Point2& p3, std::vector<Point2>& out,
                       Flattening& flattening);
void flatten_cubic(const Point2& p1, const Point2& p2, const Point2& p3, const Point2& p4,
                   std::vector<Point2>& out, Flattening& flattening);

}  // namespace glyphway::text::detail
