#pragma once
// The engine's per-label stages as methods: thin adapters that convert their
// arguments once, run the native stage and convert the result once.
//
// Stages that take `labels` accept a list of record dicts (the records are
// read for the keys the stage uses, and the keys it sets are written back
// into the same dicts) or a `_LabelRecords` (run natively, no conversion).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <vector>

#include "engine/label_record.hpp"

namespace glyphway::module {

namespace py = pybind11;

py::dict density_profile_method(py::object self, py::object fs);
py::tuple line_endpoints_method(py::object self, py::object line);
void build_groups_method(py::object self, py::object labels);
py::tuple label_center_method(py::object self, py::object label);
// Candidate placement (placement_bindings.cpp).
py::object auto_place_labels_method(py::object self, py::object labels);
py::str calculate_utm_crs_method(py::object self, py::object lon, py::object lat);
py::object get_mesh_engine_method(py::object self, py::object font_size,
                                  py::object letter_spacing);
py::array_t<double> build_tbn_matrix_method(py::object self, py::object line, double distance,
                                            py::object auto_flip);
void apply_autofit_method(py::object self, py::object labels);
py::tuple prepare_data_method(py::object self);

// Placement run natively on records a native stage built, with the engine's
// settings read as auto_place_labels reads them and its failures raised as
// the same host errors; the indices of the kept records, ascending.
std::vector<std::size_t> place_native_records(py::handle self,
                                              std::vector<engine::LabelRecord>& records);

}  // namespace glyphway::module
