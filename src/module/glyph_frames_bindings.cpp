// `_glyph_frames(engine)`: where every glyph of the engine's visible labels
// goes, for measuring a placement (how sharply text bends, which way it
// reads, whether glyphs of two labels overlap) without parsing a mesh file.
// The records are read as export_obj reads them and curved text is laid out
// by the OBJ's own layout, so the frames are those the OBJ draws on.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/utf8_text.hpp"
#include "export/glyph_layout.hpp"
#include "module/bindings.hpp"
#include "module/cartographic_run.hpp"
#include "module/engine_convert.hpp"
#include "module/options_reader.hpp"
#include "module/label_frame_refresh.hpp"
#include "module/mesh_engines.hpp"
#include "module/interrupts.hpp"
#include "module/prepared_run.hpp"
#include "text/glyph_outline.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

struct GlyphColumns {
    std::vector<std::int64_t> label;
    std::vector<std::int32_t> position;
    std::vector<std::uint32_t> character;
    std::vector<engine::Mat4> frames;
    std::vector<double> advance, font_size;
    std::vector<bool> has_mesh;

    void add(std::size_t row, std::size_t pos, const text::GlyphRecord& g,
             const engine::Mat4& frame, double size) {
        add_raw(row, pos, g.character, frame, g.advance, size, g.has_mesh());
    }

    void add_raw(std::size_t row, std::size_t pos, char32_t c, const engine::Mat4& frame,
                 double glyph_advance, double size, bool mesh) {
        label.push_back(static_cast<std::int64_t>(row));
        position.push_back(static_cast<std::int32_t>(pos));
        character.push_back(static_cast<std::uint32_t>(c));
        frames.push_back(frame);
        advance.push_back(glyph_advance);
        font_size.push_back(size);
        has_mesh.push_back(mesh);
    }

    py::dict finish() const;
};

struct LabelColumns {
    std::vector<std::int64_t> index;
    std::vector<std::array<double, 3>> anchor;
    std::vector<double> font_size;
    py::list text, effective_text, group_id;

    py::dict finish() const;
};

template <typename T>
py::array_t<T> to_array(const std::vector<T>& values) {
    py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
    T* data = out.mutable_data();
    for (std::size_t i = 0; i < values.size(); ++i) data[i] = values[i];
    return out;
}

py::array_t<bool> to_mask(const std::vector<bool>& values) {
    py::array_t<bool> out(static_cast<py::ssize_t>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) out.mutable_data()[i] = values[i];
    return out;
}

// Column `column` of every frame (0: reading direction, 3: origin) as n x 3.
py::array_t<double> frame_column(const std::vector<engine::Mat4>& frames, int column) {
    py::array_t<double> out({static_cast<py::ssize_t>(frames.size()), py::ssize_t{3}});
    double* d = out.mutable_data();
    for (const engine::Mat4& m : frames) {
        for (int r = 0; r < 3; ++r) *d++ = m[4 * r + column];
    }
    return out;
}

py::dict GlyphColumns::finish() const {
    py::array_t<double> matrices(
        {static_cast<py::ssize_t>(frames.size()), py::ssize_t{4}, py::ssize_t{4}});
    double* d = matrices.mutable_data();
    for (const engine::Mat4& m : frames) {
        for (double v : m) *d++ = v;
    }
    py::dict out;
    out["label"] = to_array(label);
    out["position"] = to_array(position);
    out["char"] = to_array(character);
    out["origin"] = frame_column(frames, 3);
    out["direction"] = frame_column(frames, 0);
    out["frame"] = matrices;
    out["advance"] = to_array(advance);
    out["font_size"] = to_array(font_size);
    out["has_mesh"] = to_mask(has_mesh);
    return out;
}

py::dict LabelColumns::finish() const {
    py::array_t<double> points({static_cast<py::ssize_t>(anchor.size()), py::ssize_t{3}});
    double* a = points.mutable_data();
    for (const auto& p : anchor) {
        for (double v : p) *a++ = v;
    }
    py::dict out;
    out["index"] = to_array(index);
    out["anchor"] = points;
    out["font_size"] = to_array(font_size);
    out["text"] = text;
    out["effective_text"] = effective_text;
    out["group_id"] = group_id;
    return out;
}

// Straight text is one mesh of the whole string on the label's frame; each
// glyph is put at its share of the string's advance, centred on the anchor.
// The mesh sets glyphs outline to outline, so this is its layout up to the
// glyphs' side bearings.
void add_straight(GlyphColumns& glyphs, std::size_t row, const engine::Mat4& frame,
                  const std::vector<text::GlyphRecord>& records, double size) {
    double total = 0.0;
    for (const text::GlyphRecord& g : records) total += g.advance;
    double cursor = -0.5 * total;
    for (std::size_t pos = 0; pos < records.size(); ++pos) {
        const text::GlyphRecord& g = records[pos];
        if (g.advance <= 0.0) continue;
        const double offset = cursor + 0.5 * g.advance;
        cursor += g.advance;
        engine::Mat4 m = frame;
        for (int r = 0; r < 3; ++r) m[4 * r + 3] += offset * m[4 * r];
        glyphs.add(row, pos, g, m, size);
    }
}

py::tuple glyph_frames(py::object self) {
    if (!uses_own_prepare_data(self)) {
        throw py::type_error(
            "_glyph_frames reads the engine's own prepared records; this engine's "
            "_prepare_data is replaced");
    }
    PreparedRun run = prepare_native(self);
    GlyphColumns glyphs;
    LabelColumns labels;
    if (!run.labels.empty()) {
        MeshEngines engines(self);
        const bool curved = host_truth(self.attr("curved_text"));
        const engine::Posture posture = read_posture(self);
        py::object base_size_object = self.attr("font_size");
        py::object base_spacing_object = self.attr("letter_spacing");
        const double base_size = host_float(base_size_object);
        text::TextMeshEngine* straight_engine =
            curved ? nullptr : engines.native(self.attr("mesh_engine"));
        const auto value_or = [](const engine::LabelRecord& r, Field f, py::handle fallback) {
            return r.present.has(f) ? field_value(r, f)
                                    : py::reinterpret_borrow<py::object>(fallback);
        };
        for_each_visible_record(run.labels, [&](std::size_t index, engine::LabelRecord& r) {
            const std::size_t row = labels.index.size();
            const engine::Mat4 frame = record_frame(r, posture, true);
            const bool fitted = r.present.has(Field::effective_text);
            const double size = curved && r.present.has(Field::effective_font_size)
                                    ? r.effective_font_size
                                    : base_size;
            labels.index.push_back(static_cast<std::int64_t>(index));
            labels.anchor.push_back({frame[3], frame[7], frame[11]});
            labels.font_size.push_back(size);
            py::object text = field_value(r, Field::text);
            labels.text.append(text);
            labels.effective_text.append(value_or(r, Field::effective_text, text));
            labels.group_id.append(value_or(r, Field::group_id, py::none()));
            if (!curved) {
                add_straight(glyphs, row, frame,
                             straight_engine->generate_glyph_meshes(engine::code_points(r.text)),
                             size);
                return;
            }
            const std::u32string drawn = engine::code_points(fitted ? r.effective_text : r.text);
            if (drawn.empty()) return;  // as in the OBJ: no glyphs, no road
            const auto fitted_or = [&](Field field, double value, py::handle fallback) {
                return r.present.has(field) ? py::object(py::float_(value))
                                            : py::reinterpret_borrow<py::object>(fallback);
            };
            text::TextMeshEngine* mesh_engine = engines.get(
                fitted_or(Field::effective_font_size, r.effective_font_size, base_size_object),
                fitted_or(Field::effective_letter_spacing, r.effective_letter_spacing,
                          base_spacing_object));
            const export_::CurvedPlacement placement{r.line.get(), r.distance, r.line_len};
            try {
                export_::lay_out_curved_all(
                    placement, mesh_engine->generate_glyph_meshes(drawn), posture,
                    [&](const engine::Mat4& m, const text::GlyphRecord& g, std::size_t pos) {
                        glyphs.add(row, pos, g, m, size);
                    });
            } catch (const export_::NoFramePoint& e) {
                raise_no_point(e.empty_line());
            }
        });
        engines.print_warnings();
    }
    return py::make_tuple(glyphs.finish(), labels.finish(), run.working_crs);
}

py::tuple cartographic_glyph_frames(py::object self, py::object max_char_angle) {
    const CartographicRun run = run_cartographic_style(self, checked_max_char_angle(max_char_angle));
    const engine::Posture posture = run.labels.empty() ? engine::Posture::flat : read_posture(self);
    GlyphColumns glyphs;
    LabelColumns labels;
    for (const placement::CartographicLabel& label : run.labels) {
        const std::size_t row = labels.index.size();
        const std::u32string text = engine::code_points(label.text);
        const std::vector<placement::PlacedGlyph>& run_glyphs = label.run.glyphs;
        for (std::size_t pos = 0; pos < run_glyphs.size(); ++pos) {
            const placement::PlacedGlyph& g = run_glyphs[pos];
            const char32_t c = pos < text.size() ? text[pos] : U' ';
            glyphs.add_raw(row, pos, c, cartographic_glyph_frame(g, posture), g.advance,
                           label.font_size, !text::is_whitespace(c) && g.advance > 0.0);
        }
        const placement::PlacedGlyph& middle = anchor_glyph(label);
        labels.index.push_back(static_cast<std::int64_t>(row));
        labels.anchor.push_back({middle.origin.x, middle.origin.y, middle.origin.z});
        labels.font_size.push_back(label.font_size);
        labels.text.append(py::str(label.text));
        labels.effective_text.append(py::str(label.text));
        labels.group_id.append(py::str(cartographic_group_id(label)));
    }
    return py::make_tuple(glyphs.finish(), labels.finish(), run.working_crs);
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
          "(glyphs, labels, working_crs) as _glyph_frames gives them, for the cartographic "
          "placement of the engine's table: names shaped with the engine's font and laid "
          "along the merged roads, in the engine's posture. labels.index is the row itself and "
          "group_id names the merged road.");
}

}  // namespace glyphway::module
