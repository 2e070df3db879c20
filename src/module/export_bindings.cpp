// export_obj and export_csv: the adapters between the engine's prepared
// labels and the native writers (src/export). Each prepares the labels the
// one way every output does (module/drawn_label_sources.hpp), draws them as
// the view the writers read, and hands that to the writer: the engine's own
// records never leave native memory; a replacement `_prepare_data` (a
// subclass's, an instance attribute) is called and its record dicts are
// read. With style="cartographic" the labels come from the cartographic run
// (module/cartographic_run.hpp) instead, glyph by glyph.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "export/billboard_csv.hpp"
#include "export/drawn_label.hpp"
#include "export/obj_export.hpp"
#include "module/cartographic_run.hpp"
#include "module/drawn_label_sources.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/options_reader.hpp"
#include "module/export_methods.hpp"
#include "module/interrupts.hpp"
#include "module/mesh_engines.hpp"
#include "module/output_errors.hpp"
#include "pipeline/cartographic_labels.hpp"

namespace glyphway::module {

namespace {

void progress(const std::string& line) {
    py::module_::import("builtins").attr("print")(py::str(line));
}

// --- OBJ ------------------------------------------------------------------

void write_obj_labels(py::handle output_obj, const std::string& path,
                      const std::vector<export_::DrawnLabel>& labels,
                      const export_::ObjSettings& settings, MeshEngines& engines) {
    try {
        run_writer([&] { export_::write_obj(path, labels, settings, check_host_signals); });
    } catch (...) {
        engines.print_warnings();
        throw;
    }
    engines.print_warnings();
    progress("[glyphway_maker] Finished! Exported to: " + host_text(output_obj));
}

void export_obj_cartographic(py::object self, py::object output_obj, double max_char_angle) {
    const CartographicRun run = run_cartographic_style(self, max_char_angle);
    if (run.labels.empty()) return;
    progress("[glyphway_maker] Generating 3D Mesh and Exporting OBJ...");
    const std::string path = output_fs_path(output_obj);
    MeshEngines engines(self);
    export_::ObjSettings settings;
    settings.separate_objects = host_truth(self.attr("separate_objects"));
    settings.posture = read_posture(self);
    const std::vector<export_::DrawnLabel> labels = drawn_cartographic_meshes(
        self, run, engines, settings.posture, settings.separate_objects);
    write_obj_labels(output_obj, path, labels, settings, engines);
}

void export_obj_method(py::object self, py::object output_obj, py::object style,
                       py::object max_char_angle) {
    const bool cartographic = is_cartographic_style(style);
    const double max_turn = checked_max_char_angle(max_char_angle);
    if (cartographic) {
        export_obj_cartographic(self, output_obj, max_turn);
        return;
    }
    PreparedLabels prepared = prepare_labels(self);
    if (nothing_prepared(prepared)) return;
    progress("[glyphway_maker] Generating 3D Mesh and Exporting OBJ...");
    const std::string path = output_fs_path(output_obj);
    MeshEngines engines(self);
    const MeshSetup setup = mesh_setup(self, engines);
    const bool names = setup.settings.separate_objects;
    std::vector<export_::DrawnLabel> labels;
    if (prepared.native) {
        labels = drawn_native_meshes(self, *prepared.native, setup, engines, names);
    } else {
        DictReading reading;
        reading.output = DictOutput::obj;
        reading.posture = setup.settings.posture;
        reading.setup = &setup;
        reading.engines = &engines;
        reading.names = names;
        labels = drawn_dicts(prepared.dicts, reading).labels;
    }
    write_obj_labels(output_obj, path, labels, setup.settings, engines);
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

// The billboard rows of the visible labels, re-projected and written.
// `collect(posture)` draws the visible labels.
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
    const std::vector<export_::DrawnLabel> labels = collect(posture);
    std::vector<export_::BillboardPoint> points;
    points.reserve(labels.size());
    for (const export_::DrawnLabel& label : labels) {
        points.push_back({label.frame[3], label.frame[7]});
    }
    if (!points.empty()) {
        if (!decimals) refuse_angle_precision(angle_precision);
        options.angle_precision = *decimals;
        if (!transformer.is_none()) {
            // One call for all anchors: PROJ transforms the arrays point by
            // point exactly as it would single points.
            py::array_t<double> xs(static_cast<py::ssize_t>(points.size()));
            py::array_t<double> ys(static_cast<py::ssize_t>(points.size()));
            double* x = xs.mutable_data();
            double* y = ys.mutable_data();
            for (std::size_t i = 0; i < points.size(); ++i) {
                x[i] = points[i].x;
                y[i] = points[i].y;
            }
            auto [out_x, out_y] = unpack_pair(transformer.attr("transform")(xs, ys));
            using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
            Doubles east = Doubles::ensure(out_x);
            Doubles north = Doubles::ensure(out_y);
            if (!east || !north) throw py::error_already_set();
            if (static_cast<std::size_t>(east.size()) != points.size() ||
                static_cast<std::size_t>(north.size()) != points.size()) {
                throw py::value_error("the transformer returned a different number of points");
            }
            for (std::size_t i = 0; i < points.size(); ++i) {
                points[i].x = east.data()[i];
                points[i].y = north.data()[i];
            }
        }
    }

    progress("[glyphway_maker] Generating Billboard Data and Exporting CSV...");
    const std::string path = output_fs_path(output_csv);
    run_writer([&] {
        export_::write_billboard_csv(path, labels, points, options, check_host_signals);
    });
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
                         [&](engine::Posture posture) {
                             pipeline::CartographicDrawing drawing;
                             drawing.posture = posture;
                             return pipeline::drawn_cartographic_labels(run.labels, run.weights,
                                                                        drawing);
                         });
        return;
    }
    PreparedLabels prepared = prepare_labels(self);
    if (nothing_prepared(prepared)) return;
    write_billboards(self, output_csv, target_crs, output_quaternion, output_both_angles,
                     angle_unit, angle_precision, decimals, prepared.working_crs,
                     [&](engine::Posture posture) {
                         if (prepared.native) {
                             return drawn_native_points(self, *prepared.native, posture);
                         }
                         DictReading reading;
                         reading.output = DictOutput::billboard;
                         reading.posture = posture;
                         return drawn_dicts(prepared.dicts, reading).labels;
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
