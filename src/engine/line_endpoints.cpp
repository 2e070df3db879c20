#include "engine/line_endpoints.hpp"

namespace glyphway::engine {

std::optional<std::pair<Vec3, Vec3>> line_endpoints_3d(const LineGeometry& line) {
    if (line.points.empty()) return std::nullopt;
    return std::make_pair(line.points.front(), line.points.back());
}

}  // namespace glyphway::engine
