#include "engine/line_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace glyphway::engine {

namespace {

double plan_distance(const Vec3& p0, const Vec3& p1) {
    const double dx = p1.x - p0.x;
    const double dy = p1.y - p0.y;
    return std::sqrt(dx * dx + dy * dy);
}

// GEOS's point along a segment: the ends themselves outside (0, 1), otherwise
// start + (end - start) * fraction per coordinate, in that order of operations.
Vec3 point_along(const Vec3& p0, const Vec3& p1, double fraction) {
    if (fraction <= 0.0) return p0;
    if (fraction >= 1.0) return p1;
    return {(p1.x - p0.x) * fraction + p0.x, (p1.y - p0.y) * fraction + p0.y,
            (p1.z - p0.z) * fraction + p0.z};
}

Vec3 point_in_segment(const LineGeometry& line, std::size_t i, double forward) {
    const double fraction = (forward - line.cumulative[i]) / segment_length(line, i);
    return point_along(line.points[i], line.points[i + 1], fraction);
}

// GEOS's walk, for lines whose running length turned NaN somewhere (NaN
// coordinates): once the sum is NaN no later segment can match, and the
// walk ends at the last point.
Vec3 interpolate_by_walk(const LineGeometry& line, double forward) {
    for (std::size_t i = 0; i + 1 < line.points.size(); ++i) {
        if (line.cumulative[i + 1] > forward) return point_in_segment(line, i, forward);
    }
    return line.points.back();
}

}  // namespace

LineGeometry make_line_geometry(std::vector<Vec3> points, bool has_z) {
    LineGeometry line;
    line.points = std::move(points);
    line.has_z = has_z;
    line.cumulative.reserve(line.points.size());
    double total = 0.0;
    for (std::size_t i = 0; i < line.points.size(); ++i) {
        if (i > 0) total += plan_distance(line.points[i - 1], line.points[i]);
        line.cumulative.push_back(total);
    }
    return line;
}

double segment_length(const LineGeometry& line, std::size_t i) {
    return plan_distance(line.points[i], line.points[i + 1]);
}

std::optional<Vec3> interpolate(const LineGeometry& line, double distance) {
    if (line.points.empty() || std::isnan(distance)) return std::nullopt;
    const double forward = distance < 0.0 ? line_length(line) + distance : distance;
    if (forward <= 0.0) return line.points.front();

    // GEOS walks the segments with a running length and stops at the first
    // segment whose running end exceeds `forward`. cumulative[i + 1] is that
    // running end, computed by the same additions, so while the sums are
    // ordered (no NaN) a binary search finds the same segment.
    if (std::isnan(line_length(line))) return interpolate_by_walk(line, forward);
    const auto first = line.cumulative.begin() + 1;
    const auto end_of_segment = std::upper_bound(first, line.cumulative.end(), forward);
    if (end_of_segment == line.cumulative.end()) return line.points.back();
    const auto i = static_cast<std::size_t>(end_of_segment - line.cumulative.begin()) - 1;
    return point_in_segment(line, i, forward);
}

}  // namespace glyphway::engine
