#pragma once
// Road grouping: every candidate label gets a repeat group, so placement can
// limit how many labels one road carries and how close they may be.
//
//   feature         one group per source feature
//   name            one group per road name
//   name_connected  pieces with the same name that touch end to end (within
//                   a tolerance), transitively, form one group
#include <optional>
#include <vector>

#include "engine/label_record.hpp"

namespace glyphway::engine {

enum class RepeatMode { feature, name, name_connected };

struct GroupingSettings {
    RepeatMode mode = RepeatMode::name_connected;
    // The engine's font size: the fall-back of effective_font_size in the
    // median that sets the default tolerance.
    double font_size = 0.0;
    // Absolute join tolerance; none means half the median visible font size.
    std::optional<double> connect_eps;
};

inline constexpr Field kGroupingOrder[] = {Field::group_id};

// The join tolerance of name_connected grouping.
double join_tolerance(const std::vector<LabelRecord>& records, const GroupingSettings& settings);

// Writes group_id into every record ("feature:<id>", "name:<text>",
// "name_connected:<text>:<component>" or "name_connected:<text>:solo" for a
// record without a line key). Throws std::invalid_argument when two end
// points of different dimensions have to be compared.
void build_groups(std::vector<LabelRecord>& records, const GroupingSettings& settings);

}  // namespace glyphway::engine
