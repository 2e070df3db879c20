// export_glb: the adapter between the engine's prepared labels and the GLB
// writer (src/export/glb_export). It draws the labels as export_obj does
// (module/drawn_label_sources.hpp), so the GLB draws the OBJ's meshes, each
// label with its row of the label table, and describes the working system
// with pyproj. The cartographic style's labels are drawn from its own run,
// as the OBJ's are.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "export/drawn_label.hpp"
#include "export/glb_export.hpp"
#include "module/cartographic_run.hpp"
#include "module/drawn_label_sources.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/options_reader.hpp"
#include "module/export_methods.hpp"
#include "module/interrupts.hpp"
#include "module/mesh_engines.hpp"
#include "module/output_errors.hpp"

namespace glyphway::module {

namespace {

void progress(const std::string& line) {
    py::module_::import("builtins").attr("print")(py::str(line));
}

// The working system as the file records it: EPSG code (when it has one),
// name, WKT and the unit of its first axis.
export_::GlbCrs describe_crs(py::handle working_crs) {
    export_::GlbCrs out;
    if (working_crs.is_none()) return out;
    py::object crs = py::module_::import("pyproj").attr("CRS").attr("from_user_input")(working_crs);
    py::object epsg = crs.attr("to_epsg")();
    if (!epsg.is_none()) out.epsg = host_int(epsg);
    out.name = host_text(crs.attr("name"));
    out.wkt = host_text(crs.attr("to_wkt")());
    py::object axes = crs.attr("axis_info");
    if (py::len(axes) > 0) out.unit = host_text(axes[py::int_(0)].attr("unit_name"));
    return out;
}

void write_glb_labels(py::handle output_glb, const std::vector<export_::DrawnLabel>& labels,
                      export_::GlbSettings& settings, MeshEngines& engines,
                      py::handle working_crs) {
    settings.crs = describe_crs(working_crs);
    const std::string path = output_fs_path(output_glb);
    try {
        run_writer([&] { export_::write_glb(path, labels, settings, check_host_signals); });
    } catch (...) {
        engines.print_warnings();
        throw;
    }
    engines.print_warnings();
    progress("[glyphway_maker] Finished! Exported to: " + host_text(output_glb));
}

// The cartographic style's labels: glyph by glyph on the frames placement
// gave them, anchored at their middle glyph.
void export_glb_cartographic(py::handle self, py::handle output_glb, bool instancing,
                             double max_char_angle) {
    const CartographicRun run =
        run_cartographic_style(py::reinterpret_borrow<py::object>(self), max_char_angle);
    if (run.labels.empty()) return;
    progress("[glyphway_maker] Generating 3D Mesh and Exporting GLB...");
    MeshEngines engines(self);
    export_::GlbSettings settings;
    settings.mesh.separate_objects = host_truth(self.attr("separate_objects"));
    settings.mesh.posture = read_posture(self);
    settings.instancing = instancing;
    // Node names come from the labels only in plain meshes.
    const bool names = settings.mesh.separate_objects && !instancing;
    const std::vector<export_::DrawnLabel> labels =
        drawn_cartographic_meshes(self, run, engines, settings.mesh.posture, names);
    write_glb_labels(output_glb, labels, settings, engines, run.working_crs);
}

void export_glb_method(py::object self, py::object output_glb, py::object instancing,
                       py::object style, py::object max_char_angle) {
    const bool instanced = host_truth(instancing);
    const bool cartographic = is_cartographic_style(style);
    const double max_turn = checked_max_char_angle(max_char_angle);
    if (cartographic) {
        export_glb_cartographic(self, output_glb, instanced, max_turn);
        return;
    }
    PreparedLabels prepared = prepare_labels(self);
    if (nothing_prepared(prepared)) return;
    progress("[glyphway_maker] Generating 3D Mesh and Exporting GLB...");
    MeshEngines engines(self);
    const MeshSetup setup = mesh_setup(self, engines);
    export_::GlbSettings settings;
    settings.mesh = setup.settings;
    settings.instancing = instanced;
    const bool names = setup.settings.separate_objects && !instanced;
    std::vector<export_::DrawnLabel> labels;
    if (prepared.native) {
        labels = drawn_native_meshes(self, *prepared.native, setup, engines, names);
    } else {
        DictReading reading;
        reading.output = DictOutput::glb;
        reading.posture = setup.settings.posture;
        reading.setup = &setup;
        reading.engines = &engines;
        reading.names = names;
        labels = drawn_dicts(prepared.dicts, reading).labels;
    }
    write_glb_labels(output_glb, labels, settings, engines, prepared.working_crs);
}

}  // namespace

void register_glb_export_method(py::handle cls) {
    add_engine_method(cls, "export_glb", &export_glb_method, py::arg("output_glb"),
                      py::arg("instancing") = true, py::kw_only(),
                      py::arg("style") = kIntervalStyle,
                      py::arg("max_char_angle") = kDefaultMaxCharAngle);
}

}  // namespace glyphway::module
