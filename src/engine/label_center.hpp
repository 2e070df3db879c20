#pragma once
// The plan position of a label: the point of its line at its current
// distance, with any z dropped. Placement measures separations with it.
#include <optional>

#include "engine/label_record.hpp"
#include "engine/line_geometry.hpp"

namespace glyphway::engine {

struct PlanPoint {
    double x = 0.0;
    double y = 0.0;
};

// Nothing where the line has no point at `distance` (empty line, NaN).
std::optional<PlanPoint> label_center_xy(const LineGeometry& line, double distance);

// The same for a record that carries its line and distance.
std::optional<PlanPoint> label_center_xy(const LabelRecord& record);

}  // namespace glyphway::engine
