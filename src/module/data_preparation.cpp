// `_prepare_data` and `calculate_utm_crs`: the shapefile to the final list of
// label records.
//
// The run's steps and their order are the pipeline's (pipeline::load_roads,
// then pipeline::run_pipeline); the engine answers them as their host
// (host_bridge), reading the table once and converting it once
// (feature_table), and the engine's attributes are read once into the
// run's options (options_reader). Only `_prepare_data` turns the kept
// records into dicts at the end; the exports take the records as they are.
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
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/engine_fonts.hpp"
#include "module/interrupts.hpp"
#include "module/options_reader.hpp"
#include "module/engine_stages.hpp"
#include "module/error_translation.hpp"
#include "module/feature_table.hpp"
#include "module/host_bridge.hpp"
#include "module/prepared_run.hpp"
#include "module/host_calls.hpp"
#include "pipeline/label_pipeline.hpp"
#include "pipeline/options.hpp"
#include "pipeline/road_input.hpp"
#include "placement/candidate_placement.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

// The stages' failures reach the caller as the host errors of the dict API
// (error_translation.hpp).
std::vector<engine::LabelRecord> run_stages(py::handle self, const FeatureTable& table,
                                            const pipeline::Options& settings) {
    HostBridge host(self);
    return with_host_errors(
        [&] { return pipeline::run_pipeline(table.features, table.lines, settings, host); });
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
    throw py::value_error(no_utm_zone_message(lon, lat));
}

PreparedRun read_native_table(py::object self, pipeline::Options& settings) {
    read_sampling_options(self, settings);

    PreparedRun run;
    HostBridge host(self);
    std::optional<std::string> working_crs;
    try {
        working_crs = pipeline::load_roads(host);
    } catch (const pipeline::NoUtmZone& e) {
        throw py::value_error(no_utm_zone_message(py::float_(e.centre.longitude),
                                                  py::float_(e.centre.latitude)));
    }
    if (!working_crs) return run;
    run.working_crs = py::str(*working_crs);
    run.table = host.take_table();
    check_engine_fonts(self, run.table);
    read_stage_options(self, settings);
    return run;
}

PreparedRun prepare_native(py::object self) {
    pipeline::Options settings;
    PreparedRun run = read_native_table(self, settings);
    if (run.working_crs.is_none()) return run;  // no name column: nothing was read
    run.labels = run_stages(self, run.table, settings);
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
