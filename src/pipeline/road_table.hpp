#pragma once
// The roads a run labels, as native data: the rows of the road table that
// carry a usable name and at least one line, each with its lines, and the
// rules that make a row a road. Reading the table's columns (and whatever
// host objects the caller keeps beside them) is the host's part.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/line_geometry.hpp"
#include "engine/wkb_lines.hpp"

namespace glyphway::pipeline {

struct RoadTable {
    // The rows that are roads, in table order.
    std::vector<engine::SampledFeature> features;
    // Every line of those rows, by running number (line_uid).
    std::vector<std::shared_ptr<const engine::LineGeometry>> lines;
    std::vector<std::size_t> line_feature;  // the feature each line belongs to
};

// The name a row is labelled with, from the text form of its name value:
// without control characters (C0, DEL, C1; those that are whitespace become
// spaces), stripped of whitespace at both ends (the characters the host language's
// strip() takes), or nothing when that leaves it blank or reading "none" or
// "nan" in any letter case, which attribute tables write for a missing
// name. `text` is well-formed UTF-8.
std::optional<std::string> cleaned_road_name(std::string_view text);

// What a row's geometry gives, by its GEOS type id (-1: no geometry): a
// LineString (a LinearRing is one too) is one line, a MultiLineString one
// line per part, anything else none.
engine::RowShape row_shape_of_geometry_type(int type_id);

// Adds a road named `name` (as cleaned_road_name gives it) to `table`
// whose `line_count` lines are, or are about to be, the table's next ones.
// A row that gives no line has nothing to label and is no road: false,
// and nothing is added.
bool add_road(RoadTable& table, engine::SampledFeature feature, std::size_t line_count);

}  // namespace glyphway::pipeline
