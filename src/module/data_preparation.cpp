// `_prepare_data` and `calculate_utm_crs`: the shapefile to the final list of
// label records.
//
// The table is read once with GeoPandas and converted once (feature_table);
// sampling, auto-fit, placement, frames and the collision solver then run
// on native records, and only the kept records become dicts at the end.
// The keys of a record dict come in the order the stages first set them,
// which is the order of the record's fields.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/text_autofit.hpp"
#include "engine/utm_zone.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/interrupts.hpp"
#include "module/engine_settings.hpp"
#include "module/engine_stages.hpp"
#include "module/feature_table.hpp"
#include "module/solver_errors.hpp"
#include "solver/label_solver_adaptor.hpp"
#include "solver/solver_record.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

py::object steal_or_throw(PyObject* result) {
    if (!result) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
}

// Progress goes through the interpreter's own print, so that it lands
// wherever the host has sent standard output.
void progress(py::handle message) { py::module_::import("builtins").attr("print")(message); }

void progress(const std::string& message) { progress(py::str(message)); }

// A real number the way arithmetic takes it: ints, floats and anything
// with __float__ or __index__; text is a TypeError.
double real_number(py::handle value) {
    const double v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

// The sampling parameters, checked before anything is read: a count that
// is set and positive is a range bound (an integer); without one the
// interval is used and must be a positive finite number.
engine::SamplingSettings read_sampling_settings(py::handle self) {
    engine::SamplingSettings s;
    py::object count = self.attr("text_count");
    if (!count.is_none()) {
        const int positive = PyObject_RichCompareBool(count.ptr(), py::int_(0).ptr(), Py_GT);
        if (positive < 0) throw py::error_already_set();
        if (positive) {
            py::object n = steal_or_throw(PyNumber_Index(count.ptr()));
            int overflow = 0;
            const long long v = PyLong_AsLongLongAndOverflow(n.ptr(), &overflow);
            if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
            s.text_count = overflow ? std::numeric_limits<std::int64_t>::max() : v;
        }
    }
    if (s.text_count == 0) s.distance_interval = real_number(self.attr("distance_interval"));
    s.add_at_endpoints = host_truth(self.attr("add_at_endpoints"));
    try {
        engine::check_sampling_settings(s);
    } catch (const engine::SamplingError& e) {
        throw py::value_error(e.what());
    }
    return s;
}

// The working system: the UTM zone around the centroid of all geometries
// (taken in geographic coordinates) or Web Mercator.
py::object working_crs_of(py::object self, py::handle frame) {
    if (!host_truth(self.attr("use_utm"))) return py::str("EPSG:3857");
    py::object geographic = frame.attr("geometry").attr("to_crs")("EPSG:4326");
    py::object merged =
        py::module_::import("shapely").attr("union_all")(geographic.attr("to_numpy")());
    py::object center = merged.attr("centroid");
    py::object x = center.attr("x");  // x first: an empty centre fails there
    py::object y = center.attr("y");
    return calculate_utm_crs_method(self, x, y);
}

std::vector<engine::LabelRecord> sample(const FeatureTable& table,
                                        const engine::SamplingSettings& settings) {
    try {
        return engine::sample_candidates(table.features, table.lines, settings,
                                         check_host_signals);
    } catch (const engine::SamplingError& e) {
        throw py::value_error(e.what());
    }
}

// How many labels the loops here handle between two interrupt checks.
constexpr std::size_t kLabelsPerCheck = 4096;

void set_frames(py::handle self, std::vector<engine::LabelRecord>& labels) {
    const engine::Posture posture = read_posture(self);
    std::size_t done = 0;
    for (engine::LabelRecord& r : labels) {
        if (++done % kLabelsPerCheck == 0) check_host_signals();
        const auto frame = engine::build_tbn_matrix(*r.line, r.distance, true, posture);
        // Sampled lines have finite points and the solver keeps distances
        // finite, so every label has a point on its line.
        if (!frame) throw py::value_error("a label's distance has no point on its line");
        r.matrix = *frame;
        engine::mark_written(r, Field::matrix);
    }
}

void resolve_collisions(py::handle self, std::vector<engine::LabelRecord>& labels) {
    const solver::SolverSizes sizes{
        solver::narrow_to_float(host_float(self.attr("char_width_est"))),
        solver::narrow_to_float(host_float(self.attr("font_size"))),
        solver::narrow_to_float(host_float(self.attr("letter_spacing")))};
    std::vector<std::size_t> indices(labels.size());
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = i;
    with_host_label_errors(
        [&] { solver::resolve_label_collisions(labels, indices, sizes, check_host_signals); });
}

// The record dicts. What the record holds as a host object stays that
// object: the feature's index label and weight, the Shapely line, and one
// pair of end point arrays per line, shared by the line's records.
py::list record_dicts_of(const std::vector<engine::LabelRecord>& labels,
                         const FeatureTable& table) {
    std::vector<py::object> starts(table.lines.size());
    std::vector<py::object> ends(table.lines.size());
    py::list out(labels.size());
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if ((i + 1) % kLabelsPerCheck == 0) check_host_signals();
        const engine::LabelRecord& r = labels[i];
        const auto uid = static_cast<std::size_t>(r.line_uid);
        const std::size_t feature = table.line_feature[uid];
        py::object dict = steal_or_throw(PyDict_New());
        for (Field f : engine::all_fields()) {
            if (!r.present.has(f)) continue;
            py::object value;
            switch (f) {
                case Field::id:
                case Field::feature_id: value = table.index_objects[feature]; break;
                case Field::line: value = table.line_objects[uid]; break;
                case Field::weight: value = table.weight_objects[feature]; break;
                case Field::line_start:
                    if (!starts[uid]) starts[uid] = field_value(r, f);
                    value = starts[uid];
                    break;
                case Field::line_end:
                    if (!ends[uid]) ends[uid] = field_value(r, f);
                    value = ends[uid];
                    break;
                default: value = field_value(r, f); break;
            }
            if (PyDict_SetItem(dict.ptr(), field_key_object(f).ptr(), value.ptr()) != 0) {
                throw py::error_already_set();
            }
        }
        out[i] = std::move(dict);
    }
    return out;
}

}  // namespace

py::str calculate_utm_crs_method(py::object, py::object lon, py::object lat) {
    const double longitude = real_number(lon);
    const double latitude = real_number(lat);
    if (const auto name = engine::utm_crs(longitude, latitude)) return py::str(*name);
    // A centre off the globe: the data is not in degrees (a projected file
    // without its .prj, say) or has broken coordinates.
    throw py::value_error("no UTM zone for longitude " + host_text(py::repr(lon)) +
                          ", latitude " + host_text(py::repr(lat)) +
                          ": a UTM zone needs a finite longitude in [-180, 180] and latitude "
                          "in [-90, 90]");
}

py::tuple prepare_data_method(py::object self) {
    const engine::SamplingSettings sampling = read_sampling_settings(self);

    progress("[glyphway_maker] Loading Data & CRS Setup...");
    py::object frame = py::module_::import("geopandas").attr("read_file")(self.attr("shp_path"));
    py::object columns = frame.attr("columns").attr("tolist")();
    py::object name_field = self.attr("name_field");
    const int has_names = PySequence_Contains(columns.ptr(), name_field.ptr());
    if (has_names < 0) throw py::error_already_set();
    if (!has_names) {
        py::object message = steal_or_throw(
            PyUnicode_Concat(py::str("[glyphway_maker] WARNING: Field '").ptr(), name_field.ptr()));
        message = steal_or_throw(
            PyUnicode_Concat(message.ptr(), py::str("' NOT FOUND in shapefile.").ptr()));
        progress(message);
        return py::make_tuple(py::list(), py::none());
    }

    py::object working_crs = working_crs_of(self, frame);
    py::object geometry = frame.attr("geometry");
    if (host_truth(steal_or_throw(
            PyObject_RichCompare(frame.attr("crs").ptr(), working_crs.ptr(), Py_NE)))) {
        geometry = geometry.attr("to_crs")(working_crs);
    }

    progress("[glyphway_maker] Sampling along 3D polylines...");
    const FeatureTable table = read_feature_table(frame, geometry.attr("to_numpy")(), name_field,
                                                  self.attr("weight_field"));
    std::vector<engine::LabelRecord> candidates = sample(table, sampling);

    const engine::AutofitSettings autofit = read_autofit_settings(self);
    if (autofit.enabled) engine::apply_autofit(candidates, autofit);

    std::vector<engine::LabelRecord> labels;
    if (host_truth(self.attr("curved_text"))) {
        const std::vector<std::size_t> kept = place_native_records(self, candidates);
        labels.reserve(kept.size());
        for (std::size_t i : kept) labels.push_back(std::move(candidates[i]));
    } else {
        labels = std::move(candidates);
    }

    progress("[glyphway_maker] Pre-computing Matrices for " + std::to_string(labels.size()) +
             " candidates...");
    if (labels.empty()) return py::make_tuple(py::list(), working_crs);

    set_frames(self, labels);
    progress("[glyphway_maker] Solving Collisions via Cython/OpenMP/AVX2...");
    resolve_collisions(self, labels);
    return py::make_tuple(record_dicts_of(labels, table), working_crs);
}

}  // namespace glyphway::module
