#pragma once
// The road feature table as data preparation reads it: each row's index
// label, geometry, cleaned name and weight, taken column by column with a
// handful of vectorised calls, and the rows' road lines as native
// geometries.
//
// The row values are the ones the table's row iteration (`iterrows`) would
// hand out: each row is a slice of the table interleaved to one common
// dtype, so a value is read from its column converted to that dtype.
#include <pybind11/pybind11.h>

#include <memory>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/line_geometry.hpp"
#include "engine/wkb_lines.hpp"

namespace glyphway::module {

namespace py = pybind11;

struct FeatureTable {
    // The rows that carry a usable name and a geometry, in table order.
    std::vector<engine::SampledFeature> features;
    std::vector<py::object> index_objects;   // per feature: its index label
    std::vector<py::object> weight_objects;  // per feature: its weight as the record holds it

    // Every line of those rows, by running number (line_uid).
    std::vector<std::shared_ptr<const engine::LineGeometry>> lines;
    // The Shapely lines themselves; empty for a table read from WKB, whose
    // records build their line objects only when they become dicts.
    std::vector<py::object> line_objects;
    std::vector<std::size_t> line_feature;   // the feature each line belongs to
};

// Reads the rows of `frame` (attributes) with `geometries` (their Shapely
// geometries in the working system, one per row, as an object array).
// A row is skipped without a geometry, or when its name is missing, blank
// or reads "none"/"nan" in any case; its weight is `w if w > 1 else 1` with
// `w` from `weight_field` (1 when the table has no such column), compared
// by the host so that a text weight raises its TypeError. LineStrings (and
// rings) are one line, MultiLineStrings one line per part, any other
// geometry none.
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
