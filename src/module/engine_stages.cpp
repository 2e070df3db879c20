#include "module/engine_stages.hpp"

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/density_profile.hpp"
#include "engine/label_center.hpp"
#include "engine/line_endpoints.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/road_grouping.hpp"
#include "engine/text_autofit.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/engine_fonts.hpp"
#include "module/engine_label_records.hpp"
#include "module/error_translation.hpp"
#include "module/options_reader.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

// A dict-path stage: the records read for the stage's keys, run, and the
// keys written back into the same dicts.
template <typename Read, typename Run, typename Fields>
void run_on_dicts(py::handle labels, Read read, Run run, const Fields& written) {
    std::vector<py::object> dicts = record_dicts(labels);
    std::vector<engine::LabelRecord> records(dicts.size());
    for (std::size_t i = 0; i < dicts.size(); ++i) read(records[i], dicts[i]);
    run(records);
    for (std::size_t i = 0; i < dicts.size(); ++i) write_back(dicts[i], records[i], written);
}

}  // namespace

py::dict density_profile_method(py::object self, py::object fs) {
    const double size = host_float(fs);
    const engine::DensityProfile profile = engine::density_profile(density_name(self), size);

    py::dict out;
    out["global_min_sep"] = profile.global_min_sep;
    out["repeat_min_interval"] = profile.repeat_min_interval;
    out["max_labels_per_group"] = profile.max_labels_per_group;
    out["iterations"] = profile.iterations;
    py::object override_iterations = self.attr("max_global_iterations");
    if (!override_iterations.is_none()) {
        // An unusable override is ignored and the profile keeps its count.
        PyObject* count = PyNumber_Long(override_iterations.ptr());
        if (count) {
            out["iterations"] = py::reinterpret_steal<py::object>(count);
        } else if (PyErr_ExceptionMatches(PyExc_Exception)) {
            PyErr_Clear();
        } else {
            throw py::error_already_set();
        }
    }
    return out;
}

py::tuple line_endpoints_method(py::object, py::object line) {
    const auto ends = engine::line_endpoints_3d(read_line(line, /*allow_point=*/true));
    if (!ends) return py::make_tuple(py::none(), py::none());
    return py::make_tuple(vector_array({ends->first, 3}), vector_array({ends->second, 3}));
}

void build_groups_method(py::object self, py::object labels) {
    if (NativeLabels* native = as_native_labels(labels)) {
        engine::build_groups(native->records, read_grouping_settings(self, native->records));
        native->note_stage(engine::kGroupingOrder);
        return;
    }
    const engine::RepeatMode mode = read_repeat_mode(self);
    // Each mode reads only what it uses.
    std::unordered_set<std::string> seen_keys;
    const auto read = [&](engine::LabelRecord& r, py::handle d) {
        switch (mode) {
            case engine::RepeatMode::feature:
                read_field(r, Field::feature_id, d);
                read_field(r, Field::id, d);
                return;
            case engine::RepeatMode::name:
                read_field(r, Field::text, d);
                return;
            case engine::RepeatMode::name_connected:
                read_field(r, Field::line_key, d);
                read_field(r, Field::text, d);
                read_piece_ends(r, d, seen_keys);
                read_field(r, Field::hidden, d);
                if (!engine::record_hidden(r)) read_field(r, Field::effective_font_size, d);
                return;
        }
    };
    const auto run = [&](std::vector<engine::LabelRecord>& records) {
        engine::build_groups(records, read_grouping_settings(self, records));
    };
    run_on_dicts(labels, read, run, engine::kGroupingOrder);
}

py::tuple label_center_method(py::object, py::object label) {
    py::object line = label["line"];
    py::object position = label["distance"];
    const double distance = host_float(position);
    const engine::LineGeometry geometry = read_line(line);
    const auto center = engine::label_center_xy(geometry, distance);
    if (!center) raise_no_point(geometry.points.empty());
    return py::make_tuple(center->x, center->y);
}

py::object get_mesh_engine_method(py::object self, py::object font_size,
                                  py::object letter_spacing) {
    py::object size = host_float_object(font_size);
    py::object spacing = host_float_object(letter_spacing);
    py::tuple key = py::make_tuple(size, spacing);
    py::object cache = self.attr("_mesh_engine_cache");
    py::object found = cache.attr("get")(key);
    if (!found.is_none()) return found;
    py::object mesh_engine = engine_host_module().attr("_TextMeshEngine")(
        engine_fonts(self), size, self.attr("extrusion_depth"), spacing);
    cache[key] = mesh_engine;
    return mesh_engine;
}

py::array_t<double> build_tbn_matrix_method(py::object self, py::object line, double distance,
                                            py::object auto_flip) {
    const engine::LineGeometry geometry = read_line(line);
    const bool flip = host_truth(auto_flip);
    const auto frame = engine::build_tbn_matrix(geometry, distance, flip, read_posture(self));
    if (!frame) raise_no_point(geometry.points.empty());
    return matrix_array(*frame);
}

void apply_autofit_method(py::object self, py::object labels) {
    const engine::AutofitSettings settings = read_autofit_settings(self);
    if (!settings.enabled) return;
    if (NativeLabels* native = as_native_labels(labels)) {
        engine::apply_autofit(native->records, settings);
        native->note_stage(engine::kAutofitOrder);
        return;
    }
    // The lengths are read only for a record with a name.
    const auto read = [](engine::LabelRecord& r, py::handle d) {
        read_field(r, Field::text, d);
        if (engine::record_text(r).empty()) return;
        read_field(r, Field::line_len, d);
        read_field(r, Field::text_len, d);
    };
    const auto run = [&](std::vector<engine::LabelRecord>& records) {
        engine::apply_autofit(records, settings);
    };
    run_on_dicts(labels, read, run, engine::kAutofitOrder);
}

}  // namespace glyphway::module
