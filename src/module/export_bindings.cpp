// export_obj and export_csv: the adapters between the engine's label
// records and the native writers (src/export). Each runs the engine's data
// preparation, reads the visible records once, refreshes the frames the
// collision solver made stale (label_frame_refresh), and hands native rows
// or meshes to the writer. With the engine's own `_prepare_data` the records
// never leave native memory; a replacement `_prepare_data` (a subclass's, an
// instance attribute) is called and its record dicts are read. With
// style="cartographic" the labels come from the cartographic run
// (module/cartographic_run.hpp) instead, glyph by glyph.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/utf8_text.hpp"
#include "export/billboard_csv.hpp"
#include "export/obj_export.hpp"
#include "module/cartographic_run.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/options_reader.hpp"
#include "module/export_methods.hpp"
#include "module/label_frame_refresh.hpp"
#include "module/mesh_engines.hpp"
#include "module/interrupts.hpp"
#include "module/output_errors.hpp"
#include "module/prepared_run.hpp"
#include "module/text_engine_handle.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

void progress(const std::string& line) {
    py::module_::import("builtins").attr("print")(py::str(line));
}

// `labels, working_crs = result`, with the host's unpacking errors.
std::pair<py::object, py::object> unpack_pair(py::handle result) {
    PyObject* it = PyObject_GetIter(result.ptr());
    if (!it) {
        PyErr_Clear();
        throw py::type_error(std::string("cannot unpack non-iterable ") +
                             Py_TYPE(result.ptr())->tp_name + " object");
    }
    py::object iterator = py::reinterpret_steal<py::object>(it);
    py::object items[2];
    for (int i = 0; i < 2; ++i) {
        PyObject* item = PyIter_Next(iterator.ptr());
        if (!item) {
            if (PyErr_Occurred()) throw py::error_already_set();
            throw py::value_error("not enough values to unpack (expected 2, got " +
                                  std::to_string(i) + ")");
        }
        items[i] = py::reinterpret_steal<py::object>(item);
    }
    PyObject* extra = PyIter_Next(iterator.ptr());
    if (extra) {
        Py_DECREF(extra);
        throw py::value_error("too many values to unpack (expected 2)");
    }
    if (PyErr_Occurred()) throw py::error_already_set();
    return {std::move(items[0]), std::move(items[1])};
}

// --- OBJ ------------------------------------------------------------------

std::u32string host_u32(py::handle text) { return py::cast<std::u32string>(text); }

// What the OBJ writer needs of the engine, read once per export.
struct ObjSetup {
    export_::ObjSettings settings;
    py::object font_size;
    py::object letter_spacing;  // curved text only
};

ObjSetup obj_setup(py::handle self, MeshEngines& engines) {
    ObjSetup setup;
    export_::ObjSettings& settings = setup.settings;
    settings.separate_objects = host_truth(self.attr("separate_objects"));
    settings.curved_text = host_truth(self.attr("curved_text"));
    settings.posture = read_posture(self);
    setup.font_size = self.attr("font_size");
    if (settings.curved_text) {
        setup.letter_spacing = self.attr("letter_spacing");
    } else {
        settings.mesh_engine = engines.native(self.attr("mesh_engine"));
        settings.font_size = host_float(setup.font_size);
    }
    return setup;
}

void write_obj_labels(py::handle output_obj, const std::string& path,
                      const std::vector<export_::ObjLabel>& visible, const ObjSetup& setup,
                      MeshEngines& engines) {
    try {
        run_writer([&] { export_::write_obj(path, visible, setup.settings, check_host_signals); });
    } catch (...) {
        engines.print_warnings();
        throw;
    }
    engines.print_warnings();
    progress("[glyphway_maker] Finished! Exported to: " + host_text(output_obj));
}

// The labels a subclass's own `_prepare_data` returned, read from its dicts.
void export_obj_dicts(py::object self, py::object output_obj, py::handle labels) {
    progress("[glyphway_maker] Generating 3D Mesh and Exporting OBJ...");
    const std::string path = output_fs_path(output_obj);
    MeshEngines engines(self);
    const ObjSetup setup = obj_setup(self, engines);
    const export_::ObjSettings& settings = setup.settings;

    std::vector<py::object> dicts = record_dicts(labels);
    std::vector<export_::ObjLabel> visible;
    LineCache lines;
    for_each_visible(dicts, [&](std::size_t index, engine::LabelRecord& r, py::handle d) {
        export_::ObjLabel label;
        label.index = index;
        label.matrix = label_frame(r, d, settings.posture, lines, !settings.curved_text);
        py::handle text = required_item(d, Field::text);
        if (settings.separate_objects) label.name = export_::obj_object_name(host_text(text));
        if (!settings.curved_text) {
            label.text = host_u32(text);
        } else {
            PyObject* fitted = PyDict_GetItemWithError(
                d.ptr(), field_key_object(Field::effective_text).ptr());
            if (!fitted && PyErr_Occurred()) throw py::error_already_set();
            label.text = host_u32(fitted ? py::handle(fitted) : text);
            const auto fitted_or = [&](Field field, py::handle fallback) -> py::handle {
                PyObject* v = PyDict_GetItemWithError(d.ptr(), field_key_object(field).ptr());
                if (!v && PyErr_Occurred()) throw py::error_already_set();
                return v ? py::handle(v) : fallback;
            };
            label.engine =
                engines.get(fitted_or(Field::effective_font_size, setup.font_size),
                            fitted_or(Field::effective_letter_spacing, setup.letter_spacing));
            // An empty text has no glyphs and never reaches its road.
            if (!label.text.empty()) {
                read_curved_road(r, d, lines, label);
            }
        }
        visible.push_back(std::move(label));
    });
    write_obj_labels(output_obj, path, visible, setup, engines);
}

// The engine's own preparation: the records are read as they are, never as
// dicts. Each value is the one its dict would have held.
void export_obj_records(py::object self, py::object output_obj,
                        std::vector<engine::LabelRecord>& records) {
    progress("[glyphway_maker] Generating 3D Mesh and Exporting OBJ...");
    const std::string path = output_fs_path(output_obj);
    MeshEngines engines(self);
    const ObjSetup setup = obj_setup(self, engines);
    const export_::ObjSettings& settings = setup.settings;

    std::vector<export_::ObjLabel> visible;
    for_each_visible_record(records, [&](std::size_t index, engine::LabelRecord& r) {
        export_::ObjLabel label;
        label.index = index;
        label.matrix = record_frame(r, settings.posture, !settings.curved_text);
        if (settings.separate_objects) label.name = export_::obj_object_name(r.text);
        if (!settings.curved_text) {
            label.text = engine::code_points(r.text);
        } else {
            label.text = engine::code_points(r.present.has(Field::effective_text)
                                                 ? r.effective_text
                                                 : r.text);
            const auto fitted_or = [&](Field field, double value, py::handle fallback) {
                return r.present.has(field) ? py::object(py::float_(value))
                                            : py::reinterpret_borrow<py::object>(fallback);
            };
            label.engine = engines.get(
                fitted_or(Field::effective_font_size, r.effective_font_size, setup.font_size),
                fitted_or(Field::effective_letter_spacing, r.effective_letter_spacing,
                          setup.letter_spacing));
            if (!label.text.empty()) {
                label.line = r.line;
                label.distance = r.distance;
                label.line_len = r.line_len;
            }
        }
        visible.push_back(std::move(label));
    });
    write_obj_labels(output_obj, path, visible, setup, engines);
}

void export_obj_cartographic(py::object self, py::object output_obj, double max_char_angle) {
    const CartographicRun run = run_cartographic_style(self, max_char_angle);
    if (run.labels.empty()) return;
    progress("[glyphway_maker] Generating 3D Mesh and Exporting OBJ...");
    const std::string path = output_fs_path(output_obj);
    MeshEngines engines(self);
    ObjSetup setup;
    setup.settings.separate_objects = host_truth(self.attr("separate_objects"));
    setup.settings.curved_text = true;  // always glyph by glyph
    setup.settings.posture = read_posture(self);
    setup.font_size = self.attr("font_size");
    text::TextMeshEngine* engine = engines.get(setup.font_size, self.attr("letter_spacing"));
    const double base_size = host_float(setup.font_size);
    std::vector<export_::ObjLabel> visible;
    visible.reserve(run.labels.size());
    for (std::size_t i = 0; i < run.labels.size(); ++i) {
        visible.push_back(cartographic_obj_label(run.labels[i], i, setup.settings.posture, engine,
                                                 base_size, setup.settings.separate_objects));
    }
    write_obj_labels(output_obj, path, visible, setup, engines);
}

void export_obj_method(py::object self, py::object output_obj, py::object style,
                       py::object max_char_angle) {
    const bool cartographic = is_cartographic_style(style);
    const double max_turn = checked_max_char_angle(max_char_angle);
    if (cartographic) {
        export_obj_cartographic(self, output_obj, max_turn);
        return;
    }
    if (uses_own_prepare_data(self)) {
        PreparedRun run = prepare_native(self);
        if (run.labels.empty()) return;
        // The table's host objects serve only record dicts; the records keep
        // the lines they stand on.
        run.table = FeatureTable{};
        export_obj_records(self, output_obj, run.labels);
        return;
    }
    auto [labels, working_crs] = unpack_pair(self.attr("_prepare_data")());
    (void)working_crs;
    if (!host_truth(labels)) return;
    export_obj_dicts(self, output_obj, labels);
}

// --- CSV ------------------------------------------------------------------

// The decimals of the rotation columns, from the host's "." + str(n) + "f",
// or nothing when the text is not a count (pipeline::angle_decimals).
std::optional<int> angle_decimals(py::handle angle_precision) {
    return refusing_options([&] { return pipeline::angle_decimals(host_text(angle_precision)); });
}

// A precision that is not a count, met when there are rows to format: the
// host's format() raises the error the host would.
[[noreturn]] void refuse_angle_precision(py::handle angle_precision) {
    const std::string digits = host_text(angle_precision);
    py::module_::import("builtins").attr("format")(0.0, "." + digits + "f");
    throw py::value_error("unsupported angle precision: " + digits);
}

// The name column: the csv writer writes nothing for None and str() of
// anything else.
std::string csv_text(py::handle value) { return value.is_none() ? std::string() : host_text(value); }

// The billboard rows of the visible labels, re-projected and written.
// `collect` appends one row per visible label, its frame and name set.
template <typename Collect>
void write_billboards(py::handle self, py::handle output_csv, py::handle target_crs,
                      py::handle output_quaternion, py::handle output_both_angles,
                      py::handle angle_unit, py::handle angle_precision,
                      const std::optional<int>& decimals, py::object working_crs,
                      Collect collect) {
    progress("[glyphway_maker] Calculating Rotations and Projections for Billboard CSV...");

    py::module_ pyproj = py::module_::import("pyproj");
    py::object output_crs = working_crs;
    py::object transformer = py::none();
    if (host_truth(target_crs)) {
        output_crs = py::reinterpret_borrow<py::object>(target_crs);
        py::object differs = py::reinterpret_steal<py::object>(
            PyObject_RichCompare(working_crs.ptr(), target_crs.ptr(), Py_NE));
        if (!differs) throw py::error_already_set();
        if (host_truth(differs)) {
            transformer = pyproj.attr("Transformer").attr("from_crs")(
                working_crs, target_crs, py::arg("always_xy") = true);
        }
    }
    const bool is_geo = host_truth(pyproj.attr("CRS")(output_crs).attr("is_geographic"));

    export_::BillboardOptions options;
    options.xy_precision = is_geo ? 7 : 3;
    options.degrees = host_equals(angle_unit.attr("lower")(), "degree");
    options.quaternion = host_truth(output_quaternion);
    options.both_angles = host_truth(output_both_angles);

    const engine::Posture posture = read_posture(self);
    std::vector<export_::BillboardRow> rows;
    collect(posture, rows);
    for (export_::BillboardRow& row : rows) {
        row.x = row.matrix[3];
        row.y = row.matrix[7];
        row.z = row.matrix[11];
    }
    if (!rows.empty()) {
        if (!decimals) refuse_angle_precision(angle_precision);
        options.angle_precision = *decimals;
        if (!transformer.is_none()) {
            // One call for all anchors: PROJ transforms the arrays point by
            // point exactly as it would single points.
            py::array_t<double> xs(static_cast<py::ssize_t>(rows.size()));
            py::array_t<double> ys(static_cast<py::ssize_t>(rows.size()));
            double* x = xs.mutable_data();
            double* y = ys.mutable_data();
            for (std::size_t i = 0; i < rows.size(); ++i) {
                x[i] = rows[i].x;
                y[i] = rows[i].y;
            }
            auto [out_x, out_y] = unpack_pair(transformer.attr("transform")(xs, ys));
            using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
            Doubles east = Doubles::ensure(out_x);
            Doubles north = Doubles::ensure(out_y);
            if (!east || !north) throw py::error_already_set();
            if (static_cast<std::size_t>(east.size()) != rows.size() ||
                static_cast<std::size_t>(north.size()) != rows.size()) {
                throw py::value_error("the transformer returned a different number of points");
            }
            for (std::size_t i = 0; i < rows.size(); ++i) {
                rows[i].x = east.data()[i];
                rows[i].y = north.data()[i];
            }
        }
    }

    progress("[glyphway_maker] Generating Billboard Data and Exporting CSV...");
    const std::string path = output_fs_path(output_csv);
    run_writer([&] { export_::write_billboard_csv(path, rows, options, check_host_signals); });
    progress("[glyphway_maker] Finished! Exported to: " + host_text(output_csv));
}


void export_csv_method(py::object self, py::object output_csv, py::object target_crs,
                       py::object output_quaternion, py::object output_both_angles,
                       py::object angle_unit, py::object angle_precision, py::object style,
                       py::object max_char_angle) {
    const bool cartographic = is_cartographic_style(style);
    const double max_turn = checked_max_char_angle(max_char_angle);
    const std::optional<int> decimals = angle_decimals(angle_precision);
    if (cartographic) {
        // One row per label, at its middle glyph and turned as that glyph is.
        const CartographicRun run = run_cartographic_style(self, max_turn);
        if (run.labels.empty()) return;
        write_billboards(self, output_csv, target_crs, output_quaternion, output_both_angles,
                         angle_unit, angle_precision, decimals, run.working_crs,
                         [&](engine::Posture posture, std::vector<export_::BillboardRow>& rows) {
                             rows.reserve(run.labels.size());
                             for (const placement::CartographicLabel& label : run.labels) {
                                 export_::BillboardRow row;
                                 row.matrix = cartographic_glyph_frame(anchor_glyph(label), posture);
                                 row.name = label.text;
                                 rows.push_back(std::move(row));
                             }
                         });
        return;
    }
    if (uses_own_prepare_data(self)) {
        PreparedRun run = prepare_native(self);
        if (run.labels.empty()) return;
        // The table's host objects serve only record dicts; the records keep
        // the lines they stand on.
        run.table = FeatureTable{};
        write_billboards(self, output_csv, target_crs, output_quaternion, output_both_angles,
                         angle_unit, angle_precision, decimals, run.working_crs,
                         [&](engine::Posture posture, std::vector<export_::BillboardRow>& rows) {
                             // At most one row per record: no regrowth of a
                             // country's rows, each move a fresh copy of them.
                             rows.reserve(run.labels.size());
                             for_each_visible_record(
                                 run.labels, [&](std::size_t, engine::LabelRecord& r) {
                                     export_::BillboardRow row;
                                     row.matrix = record_frame(r, posture, true);
                                     row.name = r.text;
                                     rows.push_back(std::move(row));
                                 });
                         });
        return;
    }
    auto [labels, working_crs] = unpack_pair(self.attr("_prepare_data")());
    if (!host_truth(labels)) return;
    write_billboards(self, output_csv, target_crs, output_quaternion, output_both_angles,
                     angle_unit, angle_precision, decimals, working_crs,
                     [&](engine::Posture posture, std::vector<export_::BillboardRow>& rows) {
                         std::vector<py::object> dicts = record_dicts(labels);
                         LineCache lines;
                         for_each_visible(
                             dicts, [&](std::size_t, engine::LabelRecord& r, py::handle d) {
                                 export_::BillboardRow row;
                                 row.matrix = label_frame(r, d, posture, lines, true);
                                 row.name = csv_text(required_item(d, Field::text));
                                 rows.push_back(std::move(row));
                             });
                     });
}

}  // namespace

void register_export_methods(py::handle cls) {
    add_engine_method(cls, "export_obj", &export_obj_method, py::arg("output_obj"), py::kw_only(),
                      py::arg("style") = kIntervalStyle,
                      py::arg("max_char_angle") = kDefaultMaxCharAngle);
    add_engine_method(cls, "export_csv", &export_csv_method, py::arg("output_csv"),
                      py::arg("target_crs"), py::arg("output_quaternion"),
                      py::arg("output_both_angles"), py::arg("angle_unit"),
                      py::arg("angle_precision"), py::kw_only(), py::arg("style") = kIntervalStyle,
                      py::arg("max_char_angle") = kDefaultMaxCharAngle);
    register_glb_export_method(cls);
}

}  // namespace glyphway::module
