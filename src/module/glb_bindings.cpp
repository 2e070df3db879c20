// export_glb: the adapter between the engine's label records and the GLB
// writer (src/export/glb_export). It reads the visible records the way
// export_obj does, so the GLB draws the OBJ's meshes, adds each label's row
// of the label table, and describes the working system with pyproj. The
// cartographic style's labels are drawn from its own run, as the OBJ's are.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/utf8_text.hpp"
#include "export/glb_export.hpp"
#include "module/cartographic_run.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/options_reader.hpp"
#include "module/export_methods.hpp"
#include "module/interrupts.hpp"
#include "module/label_frame_refresh.hpp"
#include "module/mesh_engines.hpp"
#include "module/output_errors.hpp"
#include "module/prepared_run.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

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

struct GlbSetup {
    export_::GlbSettings settings;
    py::object font_size;
    py::object letter_spacing;
};

GlbSetup glb_setup(py::handle self, MeshEngines& engines, bool instancing) {
    GlbSetup setup;
    export_::ObjSettings& mesh = setup.settings.mesh;
    mesh.separate_objects = host_truth(self.attr("separate_objects"));
    mesh.curved_text = host_truth(self.attr("curved_text"));
    mesh.posture = read_posture(self);
    setup.font_size = self.attr("font_size");
    setup.letter_spacing = self.attr("letter_spacing");
    if (!mesh.curved_text) {
        mesh.mesh_engine = engines.native(self.attr("mesh_engine"));
        mesh.font_size = host_float(setup.font_size);
    }
    setup.settings.instancing = instancing;
    return setup;
}

void write_glb_labels(py::handle output_glb, const std::vector<export_::GlbLabel>& labels,
                      GlbSetup& setup, MeshEngines& engines, py::handle working_crs) {
    setup.settings.crs = describe_crs(working_crs);
    const std::string path = output_fs_path(output_glb);
    try {
        run_writer([&] { export_::write_glb(path, labels, setup.settings, check_host_signals); });
    } catch (...) {
        engines.print_warnings();
        throw;
    }
    engines.print_warnings();
    progress("[glyphway_maker] Finished! Exported to: " + host_text(output_glb));
}

// The engine's own records, read as export_obj reads them.
void export_glb_records(py::handle self, py::handle output_glb, PreparedRun& run,
                        bool instancing) {
    progress("[glyphway_maker] Generating 3D Mesh and Exporting GLB...");
    MeshEngines engines(self);
    GlbSetup setup = glb_setup(self, engines, instancing);
    const export_::ObjSettings& s = setup.settings.mesh;
    const double base_size = host_float(setup.font_size);
    const double base_spacing = host_float(setup.letter_spacing);
    // Node names come from the labels only in plain meshes.
    const bool named = s.separate_objects && !instancing;
    std::vector<export_::GlbLabel> labels;
    labels.reserve(run.labels.size());
    for_each_visible_record(run.labels, [&](std::size_t index, engine::LabelRecord& r) {
        export_::GlbLabel label;
        export_::ObjLabel& mesh = label.mesh;
        mesh.index = index;
        mesh.matrix = record_frame(r, s.posture, true);
        if (named) mesh.name = export_::obj_object_name(r.text);
        const bool fitted = r.present.has(Field::effective_text);
        if (!s.curved_text) {
            mesh.text = engine::code_points(r.text);
        } else {
            mesh.text = engine::code_points(fitted ? r.effective_text : r.text);
            const bool has_size = r.present.has(Field::effective_font_size);
            const bool has_spacing = r.present.has(Field::effective_letter_spacing);
            // Most labels share a handful of sizes: those engines are found
            // without making host numbers for every label.
            mesh.engine = engines.find(has_size ? r.effective_font_size : base_size,
                                       has_spacing ? r.effective_letter_spacing : base_spacing);
            if (!mesh.engine) {
                const auto fitted_or = [&](bool present, double value, py::handle fallback) {
                    return present ? py::object(py::float_(value))
                                   : py::reinterpret_borrow<py::object>(fallback);
                };
                mesh.engine =
                    engines.get(fitted_or(has_size, r.effective_font_size, setup.font_size),
                                fitted_or(has_spacing, r.effective_letter_spacing,
                                          setup.letter_spacing));
            }
            if (!mesh.text.empty()) {
                mesh.line = r.line;
                mesh.distance = r.distance;
                mesh.line_len = r.line_len;
            }
        }
        label.text = r.text;
        label.effective_text = fitted ? r.effective_text : r.text;
        if (r.present.has(Field::group_id)) label.group_id = r.group_id;
        if (r.present.has(Field::weight)) label.weight = r.weight;
        label.font_size = s.curved_text && r.present.has(Field::effective_font_size)
                              ? r.effective_font_size
                              : base_size;
        label.anchor[0] = mesh.matrix[3];
        label.anchor[1] = mesh.matrix[7];
        label.anchor[2] = mesh.matrix[11];
        labels.push_back(std::move(label));
    });
    write_glb_labels(output_glb, labels, setup, engines, run.working_crs);
}

// A replaced `_prepare_data`: its record dicts, read as export_obj reads them.
void export_glb_dicts(py::handle self, py::handle output_glb, py::handle dicts_object,
                      py::handle working_crs, bool instancing) {
    progress("[glyphway_maker] Generating 3D Mesh and Exporting GLB...");
    MeshEngines engines(self);
    GlbSetup setup = glb_setup(self, engines, instancing);
    const export_::ObjSettings& s = setup.settings.mesh;
    const double base_size = host_float(setup.font_size);
    std::vector<py::object> dicts = record_dicts(dicts_object);
    std::vector<export_::GlbLabel> labels;
    LineCache lines;
    const auto item = [](py::handle d, Field field) -> py::handle {
        PyObject* v = PyDict_GetItemWithError(d.ptr(), field_key_object(field).ptr());
        if (!v && PyErr_Occurred()) throw py::error_already_set();
        return v;
    };
    for_each_visible(dicts, [&](std::size_t index, engine::LabelRecord& r, py::handle d) {
        export_::GlbLabel label;
        export_::ObjLabel& mesh = label.mesh;
        mesh.index = index;
        mesh.matrix = label_frame(r, d, s.posture, lines, true);
        py::handle text = required_item(d, Field::text);
        py::handle fitted = item(d, Field::effective_text);
        if (s.separate_objects && !instancing) mesh.name = export_::obj_object_name(host_text(text));
        if (!s.curved_text) {
            mesh.text = py::cast<std::u32string>(text);
        } else {
            mesh.text = py::cast<std::u32string>(fitted ? fitted : text);
            py::handle size = item(d, Field::effective_font_size);
            py::handle spacing = item(d, Field::effective_letter_spacing);
            mesh.engine = engines.get(size ? size : setup.font_size,
                                      spacing ? spacing : setup.letter_spacing);
            if (size) label.font_size = host_float(size);
            if (!mesh.text.empty()) {
                read_curved_road(r, d, lines, mesh);
            }
        }
        if (!(s.curved_text && item(d, Field::effective_font_size))) label.font_size = base_size;
        label.text = host_text(text);
        label.effective_text = host_text(fitted ? fitted : text);
        if (py::handle group = item(d, Field::group_id)) label.group_id = host_text(group);
        if (py::handle weight = item(d, Field::weight)) label.weight = host_float(weight);
        label.anchor[0] = mesh.matrix[3];
        label.anchor[1] = mesh.matrix[7];
        label.anchor[2] = mesh.matrix[11];
        labels.push_back(std::move(label));
    });
    write_glb_labels(output_glb, labels, setup, engines, working_crs);
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
    GlbSetup setup;
    export_::ObjSettings& s = setup.settings.mesh;
    s.separate_objects = host_truth(self.attr("separate_objects"));
    s.curved_text = true;  // always glyph by glyph
    s.posture = read_posture(self);
    setup.font_size = self.attr("font_size");
    setup.letter_spacing = self.attr("letter_spacing");
    setup.settings.instancing = instancing;
    text::TextMeshEngine* engine = engines.get(setup.font_size, setup.letter_spacing);
    const double base_size = host_float(setup.font_size);
    const bool named = s.separate_objects && !instancing;
    std::vector<export_::GlbLabel> labels;
    labels.reserve(run.labels.size());
    for (std::size_t i = 0; i < run.labels.size(); ++i) {
        const placement::CartographicLabel& placed = run.labels[i];
        export_::GlbLabel label;
        label.mesh = cartographic_obj_label(placed, i, s.posture, engine, base_size, named);
        const export_::ObjLabel& mesh = label.mesh;
        label.text = placed.text;
        label.effective_text = placed.text;
        label.group_id = cartographic_group_id(placed);
        label.weight = run.weights[i];
        label.font_size = placed.font_size;
        label.anchor[0] = mesh.matrix[3];
        label.anchor[1] = mesh.matrix[7];
        label.anchor[2] = mesh.matrix[11];
        labels.push_back(std::move(label));
    }
    write_glb_labels(output_glb, labels, setup, engines, run.working_crs);
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
    if (uses_own_prepare_data(self)) {
        PreparedRun run = prepare_native(self);
        if (run.labels.empty()) return;
        run.table = FeatureTable{};
        export_glb_records(self, output_glb, run, instanced);
        return;
    }
    py::object result = self.attr("_prepare_data")();
    py::tuple pair = py::cast<py::tuple>(result);
    if (pair.size() != 2) throw py::value_error("_prepare_data must return (labels, working_crs)");
    if (!host_truth(pair[0])) return;
    export_glb_dicts(self, output_glb, pair[0], pair[1], instanced);
}

}  // namespace

void register_glb_export_method(py::handle cls) {
    add_engine_method(cls, "export_glb", &export_glb_method, py::arg("output_glb"),
                      py::arg("instancing") = true, py::kw_only(),
                      py::arg("style") = kIntervalStyle,
                      py::arg("max_char_angle") = kDefaultMaxCharAngle);
}

}  // namespace glyphway::module
