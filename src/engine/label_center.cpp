#include "engine/label_center.hpp"

namespace glyphway::engine {

std::optional<PlanPoint> label_center_xy(const LineGeometry& line, double distance) {
    const std::optional<Vec3> p = interpolate(line, distance);
    if (!p) return std::nullopt;
    return PlanPoint{p->x, p->y};
}

std::optional<PlanPoint> label_center_xy(const LabelRecord& record) {
    if (!record.line || !record.present.has(Field::distance)) return std::nullopt;
    return label_center_xy(*record.line, record.distance);
}

}  // namespace glyphway::engine
