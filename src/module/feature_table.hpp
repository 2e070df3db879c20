#pragma once
// The road feature table as data preparation reads it: the plain arrays
// glyphway_maker/_road_input.py takes out of the table (the name and weight
// columns, the index labels, the geometry as lines and coordinates)
// converted into the native roads (pipeline::RoadTable, whose rules make a
// row a road), and beside them the host objects the record dicts hand out:
// each road's index label and weight, and its Shapely lines.
#include <pybind11/pybind11.h>

#include <memory>
#include <vector>

#include "engine/wkb_lines.hpp"
#include "pipeline/road_table.hpp"

namespace glyphway::module {

namespace py = pybind11;

// The roads (features, lines, line_feature) and their host objects.
struct FeatureTable : pipeline::RoadTable {
    std::vector<py::object> index_objects;   // per feature: its index label
    std::vector<py::object> weight_objects;  // per feature: its weight as the record holds it
    // The Shapely lines themselves; empty for a table read from WKB, whose
    // records build their line objects only when they become dicts.
    std::vector<py::object> line_objects;
};

// The roads of rows given by `columns` (a _road_input.RoadColumns) with
// their lines decoded from WKB (already in the working system).
FeatureTable read_decoded_feature_table(py::handle columns, const engine::WkbLines& decoded);

// The roads of a GeoDataFrame's rows as _road_input.frame_rows hands them
// down (a FrameRows: the columns, and the lines as Shapely objects with
// their coordinates); the table keeps those Shapely lines.
FeatureTable read_frame_feature_table(py::handle frame_rows);

// The Shapely line of every line marked in `wanted` (by line_uid): the
// table's own objects when it holds them, else lines built from the native
// vertices (two or three dimensions, as read).
std::vector<py::object> line_objects_for(const FeatureTable& table, const std::vector<bool>& wanted);

}  // namespace glyphway::module
