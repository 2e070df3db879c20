#pragma once
// The two end points of a road line, used to tell which pieces of one road
// touch end to end.
#include <optional>
#include <utility>

#include "engine/line_geometry.hpp"

namespace glyphway::engine {

// First and last vertex, z = 0.0 for two-dimensional lines; nothing for a
// line without vertices, which keeps that piece out of every join.
std::optional<std::pair<Vec3, Vec3>> line_endpoints_3d(const LineGeometry& line);

}  // namespace glyphway::engine
