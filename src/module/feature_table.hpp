#pragma once
// The road feature table as data preparation reads it: the table's columns
// taken with a handful of vectorised calls into the native roads
// (pipeline::RoadTable, whose rules make a row a road), and beside them the
// host objects the record dicts hand out: each road's index label and
// weight, and its Shapely lines.
//
// The row values are the ones the table's row iteration (`iterrows`) would
// hand out: each row is a slice of the table interleaved to one common
// dtype, so a value is read from its column converted to that dtype.
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

// Reads the rows of `frame` (attributes) with `geometries` (their Shapely
// geometries in the working system, one per row, as an object array).
// A row is skipped without a geometry, or when its name is missing (None)
// or cleaned away (pipeline::cleaned_road_name); its weight is
// `w if w > 1 else 1` with `w` from `weight_field` (1 when the table has no
// such column), compared by the host so that a text weight raises its
// TypeError. Its geometry gives its lines as
// pipeline::row_shape_of_geometry_type says.
FeatureTable read_feature_table(py::handle frame, py::handle geometries, py::handle name_field,
                                py::handle weight_field);

// The same table from the rows' decoded geometries (already in the working
// system) and a table of their attributes, read without the geometry
// column; each row's index label is its position.
FeatureTable read_decoded_feature_table(py::handle attributes, const engine::WkbLines& decoded,
                                        py::handle name_field, py::handle weight_field);

// The Shapely line of every line marked in `wanted` (by line_uid): the
// table's own objects when it holds them, else lines built from the native
// vertices (two or three dimensions, as read).
std::vector<py::object> line_objects_for(const FeatureTable& table, const std::vector<bool>& wanted);

}  // namespace glyphway::module
