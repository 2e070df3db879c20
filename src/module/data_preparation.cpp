// `_prepare_data` and `calculate_utm_crs`: the shapefile to the final list of
// label records.
//
// The table is read once with GeoPandas and converted once (feature_table),
// the engine's attributes once into the run's options (options_reader); the native pipeline
// (src/pipeline) then runs sampling, auto-fit, placement, frames and the
// collision solver, and only `_prepare_data` turns the kept records into
// dicts at the end. The exports take the records as they are.
// The keys of a record dict come in the order the stages first set them,
// which is the order of the record's fields.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/label_record.hpp"
#include "engine/text_autofit.hpp"
#include "engine/utm_zone.hpp"
#include "module/direct_read.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/interrupts.hpp"
#include "module/options_reader.hpp"
#include "module/engine_stages.hpp"
#include "module/feature_table.hpp"
#include "module/prepared_run.hpp"
#include "module/solver_errors.hpp"
#include "pipeline/label_pipeline.hpp"
#include "pipeline/pipeline_settings.hpp"
#include "placement/candidate_placement.hpp"

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

// The working system: the UTM zone around the centroid of all geometries
// (taken in geographic coordinates) or Web Mercator. `geometry` gives the
// table's GeoSeries; it is only asked for when a zone is to be chosen.
template <class GeometrySeries>
py::object working_crs_of(py::object self, GeometrySeries geometry) {
    if (!host_truth(self.attr("use_utm"))) return py::str("EPSG:3857");
    py::object geographic = geometry().attr("to_crs")("EPSG:4326");
    py::object merged =
        py::module_::import("shapely").attr("union_all")(geographic.attr("to_numpy")());
    py::object center = merged.attr("centroid");
    py::object x = center.attr("x");  // x first: an empty centre fails there
    py::object y = center.attr("y");
    return calculate_utm_crs_method(self, x, y);
}

bool differ(py::handle a, py::handle b) {
    return host_truth(steal_or_throw(PyObject_RichCompare(a.ptr(), b.ptr(), Py_NE)));
}

void warn_names_missing(py::handle name_field) {
    py::object message = steal_or_throw(
        PyUnicode_Concat(py::str("[glyphway_maker] WARNING: Field '").ptr(), name_field.ptr()));
    message = steal_or_throw(
        PyUnicode_Concat(message.ptr(), py::str("' NOT FOUND in shapefile.").ptr()));
    progress(message);
}

// Placement's failures as the host errors the dictionary code raises there.
[[noreturn]] void raise_placement_error(const placement::PlacementError& e) {
    using Reason = placement::PlacementError::Reason;
    switch (e.reason) {
        case Reason::missing_distance: throw py::key_error("distance");
        case Reason::missing_line: throw py::key_error("line");
        case Reason::empty_line: throw py::index_error(e.what());
        case Reason::nan_distance:
        case Reason::non_finite_centre: throw py::value_error(e.what());
    }
    throw py::value_error(e.what());
}

std::vector<engine::LabelRecord> run_stages(const FeatureTable& table,
                                            const pipeline::Settings& settings) {
    pipeline::Hooks hooks;
    hooks.interrupt = check_host_signals;
    hooks.progress = [](const std::string& line) { progress(line); };
    try {
        return with_host_label_errors(
            [&] { return pipeline::run_pipeline(table.features, table.lines, settings, hooks); });
    } catch (const engine::SamplingError& e) {
        throw py::value_error(e.what());
    } catch (const placement::PlacementError& e) {
        raise_placement_error(e);
    } catch (const pipeline::FrameError& e) {
        throw py::value_error(e.what());
    }
}

// How many records become dicts between two interrupt checks.
constexpr std::size_t kLabelsPerCheck = 4096;

// The record dicts. What the record holds as a host object stays that
// object: the feature's index label and weight, the Shapely line, and one
// pair of end point arrays per line, shared by the line's records.
py::list record_dicts_of(const std::vector<engine::LabelRecord>& labels,
                         const FeatureTable& table) {
    std::vector<py::object> starts(table.lines.size());
    std::vector<py::object> ends(table.lines.size());
    std::vector<bool> used(table.lines.size(), false);
    for (const engine::LabelRecord& r : labels) {
        if (r.present.has(Field::line)) used[static_cast<std::size_t>(r.line_uid)] = true;
    }
    const std::vector<py::object> line_objects = line_objects_for(table, used);
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
                case Field::line: value = line_objects[uid]; break;
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

PreparedRun read_native_table(py::object self, pipeline::Settings& settings) {
    read_sampling_options(self, settings);

    PreparedRun run;
    progress("[glyphway_maker] Loading Data & CRS Setup...");
    py::object shp_path = self.attr("shp_path");
    py::object name_field = self.attr("name_field");
    py::object weight_field = self.attr("weight_field");

    if (std::optional<DirectTable> direct = read_directly(shp_path, name_field, weight_field)) {
        if (!direct->has_names) {
            warn_names_missing(name_field);
            return run;
        }
        run.working_crs = working_crs_of(self, [&] { return geometry_series(*direct); });
        direct->wkb = py::none();
        if (differ(direct->crs, run.working_crs)) reproject(*direct, run.working_crs);
        progress("[glyphway_maker] Sampling along 3D polylines...");
        run.table = read_decoded_feature_table(direct->attributes, direct->lines, name_field,
                                               weight_field);
        direct.reset();  // the coordinate pools, before the stages need room
    } else {
        py::object frame = py::module_::import("geopandas").attr("read_file")(shp_path);
        py::object columns = frame.attr("columns").attr("tolist")();
        const int has_names = PySequence_Contains(columns.ptr(), name_field.ptr());
        if (has_names < 0) throw py::error_already_set();
        if (!has_names) {
            warn_names_missing(name_field);
            return run;
        }
        run.working_crs = working_crs_of(self, [&] { return frame.attr("geometry"); });
        py::object geometry = frame.attr("geometry");
        if (differ(frame.attr("crs"), run.working_crs)) {
            geometry = geometry.attr("to_crs")(run.working_crs);
        }
        progress("[glyphway_maker] Sampling along 3D polylines...");
        run.table = read_feature_table(frame, geometry.attr("to_numpy")(), name_field, weight_field);
    }
    read_stage_options(self, settings);
    return run;
}

PreparedRun prepare_native(py::object self) {
    pipeline::Settings settings;
    PreparedRun run = read_native_table(self, settings);
    if (run.working_crs.is_none()) return run;  // no name column: nothing was read
    run.labels = run_stages(run.table, settings);
    return run;
}

py::tuple prepare_data_method(py::object self) {
    const PreparedRun run = prepare_native(self);
    if (run.labels.empty()) return py::make_tuple(py::list(), run.working_crs);
    return py::make_tuple(record_dicts_of(run.labels, run.table), run.working_crs);
}

namespace {
PyObject* g_own_prepare_data = nullptr;  // a strong reference, held for the process
}  // namespace

void remember_own_prepare_data(py::handle cls) {
    g_own_prepare_data = py::object(cls.attr("_prepare_data")).release().ptr();
}

bool uses_own_prepare_data(py::handle self) {
    const PyObject* own = g_own_prepare_data;
    py::object bound = self.attr("_prepare_data");
    if (!PyMethod_Check(bound.ptr())) return false;
    return PyMethod_GET_FUNCTION(bound.ptr()) == own &&
           PyMethod_GET_SELF(bound.ptr()) == self.ptr();
}

}  // namespace glyphway::module
