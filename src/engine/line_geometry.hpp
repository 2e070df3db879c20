#pragma once
// A road line's vertices, read once from the host geometry, and the
// length-indexed interpolation every stage uses to find a point at a given
// distance along the line.
//
// Lengths and distances follow GEOS (and so Shapely): they are measured in
// the plan (x, y) only, also on three-dimensional lines, and z is carried
// along by linear interpolation. A vertical segment therefore has length 0
// and no distance ever lands inside it.
#include <cstddef>
#include <optional>
#include <vector>

#include "engine/vec3.hpp"

namespace glyphway::engine {

struct LineGeometry {
    std::vector<Vec3> points;       // z = 0.0 when the line is two-dimensional
    std::vector<double> cumulative; // plan length from points[0] to points[i]
    bool has_z = false;
};

// Builds the line and its cumulative lengths. The running sum adds the
// segment lengths in vertex order exactly as GEOS's length does, so
// line_length() is bit-identical to Shapely's `length`.
LineGeometry make_line_geometry(std::vector<Vec3> points, bool has_z);

// Plan length of segment i (points[i] to points[i + 1]), computed the way
// GEOS computes it.
double segment_length(const LineGeometry& line, std::size_t i);

inline double line_length(const LineGeometry& line) {
    return line.cumulative.empty() ? 0.0 : line.cumulative.back();
}

// The point at `distance` along the line, as Shapely's `interpolate` with an
// absolute distance gives it: a negative distance counts back from the end,
// values outside the line clamp to its ends, and at a vertex shared by
// several segments the point is taken from the first segment that extends
// strictly beyond the distance. Empty lines and NaN distances have no point
// (Shapely answers an empty point or nothing).
std::optional<Vec3> interpolate(const LineGeometry& line, double distance);

}  // namespace glyphway::engine
