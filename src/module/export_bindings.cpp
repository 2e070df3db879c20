// export_obj, export_csv and export_glb: each reads the call's options,
// picks where the labels come from and hands both to the pipeline's writer
// (pipeline/label_outputs.hpp), which runs, draws and writes. The source is
// picked by the call: style="cartographic" runs the cartographic placement;
// otherwise the engine's own `_prepare_data` runs the interval stages
// natively and its records never leave native memory, and a replacement (a
// subclass's, an instance attribute) is called and its record dicts are
// read (module/drawn_label_sources.hpp). The engine answers the writers' questions
// as their host (module/host_bridge.hpp); the core's failures become the
// host's exceptions here.
#include <pybind11/pybind11.h>

#include <optional>

#include "module/cartographic_run.hpp"
#include "module/drawn_label_sources.hpp"
#include "module/engine_class.hpp"
#include "module/export_methods.hpp"
#include "module/host_bridge.hpp"
#include "module/options_reader.hpp"
#include "module/output_errors.hpp"
#include "pipeline/label_outputs.hpp"

namespace glyphway::module {

namespace {

using Writer = void (*)(pipeline::LabelSource&, const pipeline::Options&, pipeline::OutputHost&);

// Runs `write` on the source the call picks, with the core's failures as
// the host's errors. `angle_precision`: export_csv's, for the error of a
// precision that is no count.
void write_from_source(py::object self, pipeline::Options& options, OutputBridge& host,
                       Writer write, py::handle angle_precision = py::none()) {
    std::optional<CartographicSource> cartographic;
    std::optional<PreparedSource> prepared;
    pipeline::LabelSource* source = nullptr;
    if (options.style == pipeline::Style::cartographic) {
        source = &cartographic.emplace(self, options, host);
    } else {
        source = &prepared.emplace(self, host);
    }
    try {
        run_writer([&] { write(*source, options, host); });
    } catch (const pipeline::UnusableAnglePrecision&) {
        refuse_angle_precision(angle_precision);
    }
}

void export_obj_method(py::object self, py::object output_obj, py::object style,
                       py::object max_char_angle, py::object cjk_orientation) {
    pipeline::Options options;
    read_run_keywords(style, max_char_angle, cjk_orientation, options);
    read_mesh_output_options(self, options);
    OutputBridge host(self, output_obj);
    write_from_source(self, options, host, &pipeline::write_obj);
}

void export_glb_method(py::object self, py::object output_glb, py::object instancing,
                       py::object style, py::object max_char_angle,
                       py::object cjk_orientation) {
    pipeline::Options options;
    options.instancing = host_truth(instancing);
    read_run_keywords(style, max_char_angle, cjk_orientation, options);
    read_mesh_output_options(self, options);
    OutputBridge host(self, output_glb);
    write_from_source(self, options, host, &pipeline::write_glb);
}

void export_csv_method(py::object self, py::object output_csv, py::object target_crs,
                       py::object output_quaternion, py::object output_both_angles,
                       py::object angle_unit, py::object angle_precision, py::object style,
                       py::object max_char_angle, py::object cjk_orientation) {
    pipeline::Options options;
    read_run_keywords(style, max_char_angle, cjk_orientation, options);
    read_billboard_options(target_crs, output_quaternion, output_both_angles, angle_unit,
                           angle_precision, options);
    OutputBridge host(self, output_csv, target_crs);
    write_from_source(self, options, host, &pipeline::write_csv, angle_precision);
}

}  // namespace

void register_export_methods(py::handle cls) {
    add_engine_method(cls, "export_obj", &export_obj_method, py::arg("output_obj"), py::kw_only(),
                      py::arg("style") = kIntervalStyle,
                      py::arg("max_char_angle") = kDefaultMaxCharAngle,
                      py::arg("cjk_orientation") = kDefaultCjkOrientation);
    add_engine_method(cls, "export_csv", &export_csv_method, py::arg("output_csv"),
                      py::arg("target_crs"), py::arg("output_quaternion"),
                      py::arg("output_both_angles"), py::arg("angle_unit"),
                      py::arg("angle_precision"), py::kw_only(), py::arg("style") = kIntervalStyle,
                      py::arg("max_char_angle") = kDefaultMaxCharAngle,
                      py::arg("cjk_orientation") = kDefaultCjkOrientation);
    add_engine_method(cls, "export_glb", &export_glb_method, py::arg("output_glb"),
                      py::arg("instancing") = true, py::kw_only(),
                      py::arg("style") = kIntervalStyle,
                      py::arg("max_char_angle") = kDefaultMaxCharAngle,
                      py::arg("cjk_orientation") = kDefaultCjkOrientation);
}

}  // namespace glyphway::module
