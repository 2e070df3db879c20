// `_glyph_frames(engine)`: where every glyph of the engine's visible labels
// goes, for measuring a placement (how sharply text bends, which way it
// reads, whether glyphs of two labels overlap) without parsing a mesh file.
// The labels are drawn as export_obj draws them and the frames computed
// from that view by the OBJ's own layout (export/drawn_label_columns.hpp),
// so they are the frames the OBJ draws on.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/orientation_frame.hpp"
#include "export/drawn_label.hpp"
#include "export/drawn_label_columns.hpp"
#include "export/glyph_layout.hpp"
#include "module/bindings.hpp"
#include "module/cartographic_run.hpp"
#include "module/drawn_label_sources.hpp"
#include "module/options_reader.hpp"
#include "module/label_frame_refresh.hpp"
#include "module/mesh_engines.hpp"
#include "module/text_engine_handle.hpp"
#include "module/prepared_run.hpp"
#include "module/error_translation.hpp"
#include "module/host_calls.hpp"
#include "pipeline/cartographic_labels.hpp"
#include "placement/cartographic_placement.hpp"

namespace glyphway::module {

namespace {

// Column `column` of every frame (0: reading direction, 3: origin) as n x 3.
py::array_t<double> frame_column(const std::vector<engine::Mat4>& frames, int column) {
    py::array_t<double> out({static_cast<py::ssize_t>(frames.size()), py::ssize_t{3}});
    double* d = out.mutable_data();
    for (const engine::Mat4& m : frames) {
        for (int r = 0; r < 3; ++r) *d++ = m[4 * r + column];
    }
    return out;
}

py::dict glyph_columns(const export_::GlyphFrameColumns& glyphs) {
    const std::vector<engine::Mat4>& frames = glyphs.frames;
    py::array_t<double> matrices(
        {static_cast<py::ssize_t>(frames.size()), py::ssize_t{4}, py::ssize_t{4}});
    double* d = matrices.mutable_data();
    for (const engine::Mat4& m : frames) {
        for (double v : m) *d++ = v;
    }
    py::dict out;
    out["label"] = to_array(glyphs.label);
    out["position"] = to_array(glyphs.position);
    out["char"] = to_array(glyphs.character);
    out["origin"] = frame_column(frames, 3);
    out["direction"] = frame_column(frames, 0);
    out["frame"] = matrices;
    out["advance"] = to_array(glyphs.advance);
    out["font_size"] = to_array(glyphs.font_size);
    out["has_mesh"] = to_mask(glyphs.has_mesh);
    return out;
}

// One row per drawn label: its record index, anchor, drawn size and texts.
py::dict label_columns(const std::vector<export_::DrawnLabel>& labels) {
    std::vector<std::int64_t> index;
    std::vector<double> font_size;
    py::array_t<double> anchors({static_cast<py::ssize_t>(labels.size()), py::ssize_t{3}});
    double* a = anchors.mutable_data();
    py::list text, effective_text, group_id;
    for (const export_::DrawnLabel& label : labels) {
        index.push_back(static_cast<std::int64_t>(label.index));
        for (double v : export_::label_anchor(label)) *a++ = v;
        font_size.push_back(label.font_size);
        text.append(py::str(label.text));
        effective_text.append(py::str(label.effective_text));
        group_id.append(label.group_id ? py::object(py::str(*label.group_id)) : py::none());
    }
    py::dict out;
    out["index"] = to_array(index);
    out["anchor"] = anchors;
    out["font_size"] = to_array(font_size);
    out["text"] = text;
    out["effective_text"] = effective_text;
    out["group_id"] = group_id;
    return out;
}

py::tuple frames_of(const std::vector<export_::DrawnLabel>& labels, engine::Posture posture,
                    py::handle working_crs) {
    const export_::GlyphFrameColumns glyphs =
        with_host_errors([&] { return export_::glyph_frame_columns(labels, posture); });
    return py::make_tuple(glyph_columns(glyphs), label_columns(labels), working_crs);
}

py::tuple glyph_frames(py::object self) {
    if (!uses_own_prepare_data(self)) {
        throw py::type_error(
            "_glyph_frames reads the engine's own prepared records; this engine's "
            "_prepare_data is replaced");
    }
    PreparedLabels prepared = prepare_labels(self);
    PreparedRun& run = *prepared.native;
    if (run.labels.empty()) return frames_of({}, engine::Posture::flat, prepared.working_crs);
    MeshEngines engines(self);
    const MeshSetup setup = mesh_setup(self, engines);
    const std::vector<export_::DrawnLabel> labels =
        drawn_native_meshes(self, run, setup, engines, false);
    py::tuple out = frames_of(labels, setup.posture, prepared.working_crs);
    for (text::TextMeshEngine* engine : engines.drawn()) print_glyph_warnings(*engine);
    return out;
}

py::tuple cartographic_glyph_frames(py::object self, py::object max_char_angle,
                                    py::object cjk_orientation) {
    pipeline::Options options;
    options.max_char_angle = checked_max_char_angle(max_char_angle);
    options.cjk_orientation = checked_cjk_orientation(cjk_orientation);
    const CartographicRun run = run_cartographic_style(self, options);
    const engine::Posture posture = pipeline::measured_posture(run.placed, options);
    return frames_of(pipeline::drawn_cartographic_points(run.placed, posture), posture,
                     run.working_crs);
}

}  // namespace

void register_glyph_frames_bindings(py::module_& m) {
    m.def("_glyph_frames", &glyph_frames, py::arg("engine"),
          "(glyphs, labels, working_crs) of the engine's prepared run, laid out as the OBJ "
          "lays it out. glyphs, one row per glyph that takes up room (blanks too, has_mesh "
          "false): label (row in labels), position (index in the drawn text), char (code "
          "point), origin (n x 3), direction (reading direction, the frame's x axis, n x 3), "
          "frame (n x 4 x 4, row-major), advance, font_size, has_mesh. labels, one row per "
          "visible label: index (record index), anchor (n x 3), font_size, and text, "
          "effective_text and group_id as lists. Straight text puts each glyph at its share "
          "of the string's advance on the label's frame.");
    m.def("_cartographic_glyph_frames", &cartographic_glyph_frames, py::arg("engine"),
          py::arg("max_char_angle") = kDefaultMaxCharAngle,
          py::arg("cjk_orientation") = kDefaultCjkOrientation,
          "(glyphs, labels, working_crs) as _glyph_frames gives them, for the cartographic "
          "placement of the engine's table: names shaped with the engine's font and laid "
          "along the merged roads (upright where cjk_orientation says so, as in generate()), in "
          "the engine's posture. labels.index is the row itself and group_id names the merged "
          "road.");
    m.def("_class_font_scale", &placement::class_font_scale, py::arg("weight"),
          "The cartographic style's class size of a road of this weight, as a share of the "
          "font size.");
}

}  // namespace glyphway::module
